#pragma once
// Seam through which a hotfix run reaches the patch sequence.
#include <string>

namespace hotfix {

class PatchStep {
public:
    virtual ~PatchStep() = default;
    // Applies the product's patch files in `applicationDirectory` (ending with a backslash).
    // 1 when the sequence went through; any other value is a failure.
    virtual int ApplyPatches(const std::string& applicationDirectory, int productCode) = 0;

    // The same sequence over the one patch file `patchFile` of the payload (a reverse patch
    // file, when the hotfix is removed). Same result.
    virtual int ApplyPatchFile(const std::string& applicationDirectory, const std::string& patchFile) = 0;

    // True when an interrupted run of the patch engine left its traces in the directory: its
    // installation may then be half old, half new, whatever its executable's version says.
    virtual bool HasInterruptedRun(const std::string& applicationDirectory) = 0;

    // Lets the engine settle such a run (all old or all new), applying nothing. 1 when the
    // engine could be placed and run; whether the run is settled, HasInterruptedRun tells after.
    virtual int SettleInterruptedRun(const std::string& applicationDirectory, int productCode) = 0;
};

} // namespace hotfix
