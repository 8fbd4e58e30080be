#include "patch/patch_sequence.h"

#include "app/product_catalogue.h"
#include "patch/file_removal.h"

namespace hotfix {

const char kEngineFrontEnd[] = "patch.exe";
const char kEngineLibrary[] = "Patchw32.dll";

std::string EngineCommandLine(const std::string& patchFile) {
    return std::string("\".\\") + kEngineFrontEnd + "\" . " + patchFile;
}

int ApplyPatches(PatchServices& services, const std::string& applicationDirectory, int productCode) {
    if (services.payloads.ExtractPayload(applicationDirectory, kEngineFrontEnd) != 1) return 0;
    if (services.payloads.ExtractPayload(applicationDirectory, kEngineLibrary) != 1) {
        // A front end without its library is of no use to anyone: leave nothing behind.
        RemoveWrittenFile(services.files, applicationDirectory + kEngineFrontEnd);
        return 0;
    }

    int result = 1;
    for (const std::string& patchFile : PatchFilesOf(productCode)) {
        result = services.payloads.ExtractPayload(applicationDirectory, patchFile);
        if (result != 1) continue;
        // The engine inherits the current directory and updates "." from there.
        services.files.ChangeDirectory(applicationDirectory);
        services.runner.RunCommand(EngineCommandLine(patchFile), kShowNormal, -1, nullptr);
        result = 1;
        RemoveWrittenFile(services.files, applicationDirectory + patchFile);
    }

    RemoveWrittenFile(services.files, applicationDirectory + kEngineLibrary);
    RemoveWrittenFile(services.files, applicationDirectory + kEngineFrontEnd);
    return result;
}

} // namespace hotfix
