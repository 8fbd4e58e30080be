#include "patch/patch_sequence.h"

#include "catalogue/product_catalogue.h"
#include "patch/payload_store.h"

namespace hotfix {

std::string EngineCommandLine(const std::string& patchFile) {
    return std::string("\".\\") + kEngineFrontEnd + "\" . " + patchFile;
}

std::string EngineSettleCommandLine(const std::string& patchFile) {
    return std::string("\".\\") + kEngineFrontEnd + "\" " + engine::kSettleSwitch + " . " + patchFile;
}

namespace {

// The names an engine run leaves while it works, as the engine's contract spells them: its
// journal in the root, and beside each file it changes a staged and a backup file.
const char* const kJournalNames[] = {engine::kJournalName, engine::kJournalTempName};
const char* const kLeftoverSuffixes[] = {engine::kStagedSuffix, engine::kBackupSuffix};

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Names compare in any letter case, as the file system does.
// Example: IsEngineLeftover("hfx~journal") and IsEngineLeftover("bin\\a.dll.HFX~OLD") are true,
// IsEngineLeftover("bin\\hfx~journal") is false (journals stand in the root only).
bool IsEngineLeftover(const std::string& relative) {
    const std::string path = UpperAscii(relative);
    for (const char* journal : kJournalNames)
        if (path == UpperAscii(journal)) return true;
    for (const char* leftover : kLeftoverSuffixes) {
        const std::string suffix = UpperAscii(leftover);
        if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    }
    return false;
}

int Extract(PatchServices& services, const std::string& directory, const std::string& name) {
    const int result = services.payloads.ExtractPayload(directory, name);
    if (services.events) services.events->PayloadWritten(directory + name, result);
    return result;
}

void Remove(PatchServices& services, const std::string& directory, const std::string& name) {
    const Removal removal = services.payloads.RemovePayload(directory, name);
    if (services.events) services.events->FileDeleted(directory + name, removal);
}

enum class EngineJob { Apply, Settle };

void RunEngine(PatchServices& services, const std::string& directory, const std::string& patchFile, EngineJob job) {
    const std::string commandLine =
        job == EngineJob::Apply ? EngineCommandLine(patchFile) : EngineSettleCommandLine(patchFile);
    std::string output;
    const bool capture = services.engineMode.captureOutput && services.events;
    const std::uint32_t result =
        services.runner.RunCommand(commandLine, services.engineMode.showMode, -1, capture ? &output : nullptr);
    if (!services.events) return;
    const std::optional<std::uint32_t> exitCode = services.runner.LastExitCode();
    services.events->EngineRan(directory, commandLine, result, exitCode.has_value(), exitCode.value_or(0), output);
}

int RunSequence(PatchServices& services, const std::string& applicationDirectory,
                const std::vector<std::string>& patchFiles, EngineJob job) {
    if (Extract(services, applicationDirectory, kEngineFrontEnd) != 1) return 0;
    if (Extract(services, applicationDirectory, kEngineLibrary) != 1) {
        // A front end without its library is of no use to anyone: leave nothing behind.
        Remove(services, applicationDirectory, kEngineFrontEnd);
        return 0;
    }

    int result = 1;
    for (const std::string& patchFile : patchFiles) {
        result = Extract(services, applicationDirectory, patchFile);
        if (result != 1) continue;
        // The engine inherits the current directory and updates "." from there.
        services.files.ChangeDirectory(applicationDirectory);
        RunEngine(services, applicationDirectory, patchFile, job);
        result = 1;
        Remove(services, applicationDirectory, patchFile);
    }

    Remove(services, applicationDirectory, kEngineLibrary);
    Remove(services, applicationDirectory, kEngineFrontEnd);
    return result;
}

} // namespace

int ApplyPatches(PatchServices& services, const std::string& applicationDirectory, int productCode) {
    return RunSequence(services, applicationDirectory, PatchFilesOf(productCode), EngineJob::Apply);
}

int ApplyPatchFile(PatchServices& services, const std::string& applicationDirectory, const std::string& patchFile) {
    return RunSequence(services, applicationDirectory, {patchFile}, EngineJob::Apply);
}

int SettleInterruptedRun(PatchServices& services, const std::string& applicationDirectory, int productCode) {
    return RunSequence(services, applicationDirectory, SettlingFilesOf(productCode), EngineJob::Settle);
}

bool HasInterruptedRun(FileOperations& files, const std::string& applicationDirectory) {
    bool found = false;
    files.VisitEntries(applicationDirectory, [&](const std::string& relative) {
        found = IsEngineLeftover(relative);
        return !found;
    });
    return found;
}

} // namespace hotfix
