#include "patch/patch_sequence.h"

#include "app/product_catalogue.h"
#include "patch/file_removal.h"

namespace hotfix {

const char kEngineFrontEnd[] = "patch.exe";
const char kEngineLibrary[] = "Patchw32.dll";

std::string EngineCommandLine(const std::string& patchFile) {
    return std::string("\".\\") + kEngineFrontEnd + "\" . " + patchFile;
}

namespace {

int Extract(PatchServices& services, const std::string& directory, const std::string& name) {
    const int result = services.payloads.ExtractPayload(directory, name);
    if (services.events) services.events->PayloadWritten(directory + name, result);
    return result;
}

void Remove(PatchServices& services, const std::string& path) {
    const Removal removal = RemoveWrittenFile(services.files, path);
    if (!services.events) return;
    PatchEvents::Deletion deletion = PatchEvents::Deletion::Left;
    switch (removal) {
    case Removal::Removed: deletion = PatchEvents::Deletion::Deleted; break;
    case Removal::Absent: deletion = PatchEvents::Deletion::Absent; break;
    case Removal::ScheduledAtRestart: deletion = PatchEvents::Deletion::AtRestart; break;
    case Removal::Left: deletion = PatchEvents::Deletion::Left; break;
    }
    services.events->FileDeleted(path, deletion);
}

void RunEngine(PatchServices& services, const std::string& directory, const std::string& patchFile) {
    const std::string commandLine = EngineCommandLine(patchFile);
    std::string output;
    const bool capture = services.engineMode.captureOutput && services.events;
    const std::uint32_t result =
        services.runner.RunCommand(commandLine, services.engineMode.showMode, -1, capture ? &output : nullptr);
    if (!services.events) return;
    const std::optional<std::uint32_t> exitCode = services.runner.LastExitCode();
    services.events->EngineRan(directory, commandLine, result, exitCode.has_value(), exitCode.value_or(0), output);
}

} // namespace

int ApplyPatches(PatchServices& services, const std::string& applicationDirectory, int productCode) {
    if (Extract(services, applicationDirectory, kEngineFrontEnd) != 1) return 0;
    if (Extract(services, applicationDirectory, kEngineLibrary) != 1) {
        // A front end without its library is of no use to anyone: leave nothing behind.
        Remove(services, applicationDirectory + kEngineFrontEnd);
        return 0;
    }

    int result = 1;
    for (const std::string& patchFile : PatchFilesOf(productCode)) {
        result = Extract(services, applicationDirectory, patchFile);
        if (result != 1) continue;
        // The engine inherits the current directory and updates "." from there.
        services.files.ChangeDirectory(applicationDirectory);
        RunEngine(services, applicationDirectory, patchFile);
        result = 1;
        Remove(services, applicationDirectory + patchFile);
    }

    Remove(services, applicationDirectory + kEngineLibrary);
    Remove(services, applicationDirectory + kEngineFrontEnd);
    return result;
}

} // namespace hotfix
