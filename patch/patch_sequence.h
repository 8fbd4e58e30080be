#pragma once
// The patch sequence: the engine and the product's patch files written into the application
// directory, the engine run on each patch file there, and everything removed again.
#include <string>

#include "engine/contract/engine_contract.h"
#include "patch/patch_events.h"
#include "patch/patch_step.h"
#include "platform/patch_ports.h"

namespace hotfix {

// The engine's files by the names its contract gives them (engine/contract/engine_contract.h).
constexpr const char* kEngineFrontEnd = engine::kFrontEndName; // the console program that is run
constexpr const char* kEngineLibrary = engine::kLibraryName;   // loaded by the front end from its directory

constexpr int kShowNormal = 1;   // SW_SHOWNORMAL: the engine's console window is shown

// The engine's command line for one patch file, run in the application directory: the front
// end by relative path, "." as the directory to update, then the patch file's bare name.
// Example: EngineCommandLine("A.RTP") == "\".\\patch.exe\" . A.RTP".
std::string EngineCommandLine(const std::string& patchFile);

// The same with the engine's settle switch before the directory: the engine then only settles
// what an interrupted run of that patch file left, and changes nothing else.
// Example: EngineSettleCommandLine("A.RTP") == "\".\\patch.exe\" /settle . A.RTP".
std::string EngineSettleCommandLine(const std::string& patchFile);

// True when `applicationDirectory` holds what an interrupted engine run leaves behind (the
// contract's names, in any letter case): the engine's journal or its temporary file in the
// root, or a staged (NAME.hfx~new) or backup (NAME.hfx~old) file anywhere below, links not
// followed.
bool HasInterruptedRun(FileOperations& files, const std::string& applicationDirectory);

struct PatchServices {
    PayloadStore& payloads;
    FileOperations& files;
    CommandRunner& runner;
    // How the engine runs (default: its console shown, output left there), and who hears of
    // each file written, engine run and deletion (none: nobody).
    EngineRunMode engineMode;
    PatchEvents* events = nullptr;
};

// Writes "patch.exe" and "Patchw32.dll" into `applicationDirectory` (ending with a backslash),
// then for each patch file of PatchFilesOf(productCode), in order: writes it, makes the
// directory current, runs the engine on it without time limit, deletes it. Finally deletes the
// library and the front end. Every file is held from its writing to its deletion (see
// ExtractPayload). A patch file that cannot be written is skipped (not run).
// 1 when both engine files were written and either the list is empty or its last file was
// written and run; 0 when an engine file was not written (nothing run, nothing left behind) or
// the last patch file was not written. The engine's own success is not judged here.
int ApplyPatches(PatchServices& services, const std::string& applicationDirectory, int productCode);

// The same sequence over the one patch file `patchFile`.
int ApplyPatchFile(PatchServices& services, const std::string& applicationDirectory, const std::string& patchFile);

// The same sequence with the engine in settling mode (EngineSettleCommandLine) on each of the
// product's patch files and their reverse ones (SettlingFilesOf): what an interrupted run left
// is settled by whichever patch file it belongs to, and nothing is applied. Same result rules
// as ApplyPatches.
int SettleInterruptedRun(PatchServices& services, const std::string& applicationDirectory, int productCode);

// The PatchStep port over the patch services.
class PatchSequence final : public PatchStep, public EngineConfiguration {
public:
    explicit PatchSequence(PatchServices services) : m_services(services) {}
    int ApplyPatches(const std::string& applicationDirectory, int productCode) override {
        return hotfix::ApplyPatches(m_services, applicationDirectory, productCode);
    }
    int ApplyPatchFile(const std::string& applicationDirectory, const std::string& patchFile) override {
        return hotfix::ApplyPatchFile(m_services, applicationDirectory, patchFile);
    }
    bool HasInterruptedRun(const std::string& applicationDirectory) override {
        return hotfix::HasInterruptedRun(m_services.files, applicationDirectory);
    }
    int SettleInterruptedRun(const std::string& applicationDirectory, int productCode) override {
        return hotfix::SettleInterruptedRun(m_services, applicationDirectory, productCode);
    }
    void Configure(const EngineRunMode& mode, PatchEvents* events) override {
        m_services.engineMode = mode;
        m_services.events = events;
    }

private:
    PatchServices m_services;
};

} // namespace hotfix
