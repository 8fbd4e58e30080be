#include "process/running_test.h"

#include "process/file_name_compare.h"
#include "process/process_list.h"
#include "support/multibyte.h"

namespace hotfix {

bool IsApplicationStopped(std::string executablePath, ProcessSource& source, const CodePage& codePage) {
    // The whole list is built before any comparison.
    const std::unique_ptr<ProcessList> list = BuildProcessList(source);
    if (!list) return true;
    const std::string fileName = FileNameOf(executablePath, codePage);
    for (std::size_t i = 0; i < list->Size(); ++i) {
        const ProcessEntry& entry = list->At(i);
        if (entry.ProcessId() == 0) continue;
        if (SameFileName(entry.Path(), entry.PathRead() ? executablePath : fileName, codePage)) return false;
    }
    return true;
}

} // namespace hotfix
