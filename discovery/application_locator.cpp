#include "discovery/application_locator.h"

#include "hotfix_definition.h"
#include "support/multibyte.h"

namespace hotfix {

const char kDocumentOpenCommandKey[] = HOTFIX_DOCUMENT_OPEN_COMMAND_KEY;

namespace {

const char kDdeSwitch[] = " /dde";
const std::string kSeparator = "\\";

// The directory look-up takes its argument as a pattern: "*" and "?" (and "<", ">" and '"',
// their DOS forms) would make it report some other entry, and the installer would then patch
// a file that was never registered. A component holding one of them is not looked up.
bool HasWildcard(const std::string& component) {
    return component.find_first_of("*?<>\"") != std::string::npos;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

std::string FindInstalledExecutable(Registry& registry, FileLookup& files, const CodePage& codePage) {
    const std::optional<std::string> command =
        registry.ReadClassesRootDefault(kDocumentOpenCommandKey, kRegistryBufferSize);
    if (!command) return std::string();

    std::string path = *command;
    if (EndsWith(path, kDdeSwitch)) path.resize(path.size() - (sizeof kDdeSwitch - 1));
    return CanonicalPath(path, files, codePage);
}

std::string CanonicalPath(const std::string& path, FileLookup& files, const CodePage& codePage) {
    std::string rest = path;
    std::string result;

    const std::size_t colon = FindFirstChar(rest, ':', codePage);
    if (colon != std::string::npos) {
        result = rest.substr(0, colon + 1);
        rest.erase(0, colon + 1);
    }

    while (!rest.empty() && rest[0] == kSeparator[0]) {
        result += kSeparator;
        rest.erase(0, 1);
    }

    for (;;) {
        const std::size_t slash = FindFirstChar(rest, kSeparator[0], codePage);
        const bool lastPass = slash == std::string::npos;
        const std::string component = lastPass ? rest : rest.substr(0, slash);
        rest = lastPass ? std::string() : rest.substr(slash + 1);

        if (!component.empty() && HasWildcard(component)) {
            result += component;
        } else if (!component.empty()) {
            const std::optional<std::string> stored = files.FindStoredName(result + component);
            result += (stored && *stored != ".") ? *stored : component;
        }
        if (lastPass) break;
        result += kSeparator;
    }
    return result;
}

std::string DirectoryOf(const std::string& path, const CodePage& codePage) {
    const std::size_t slash = FindLastChar(path, kSeparator[0], codePage);
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

std::string DirectoryOf(const char* path, const CodePage& codePage) {
    return path ? DirectoryOf(std::string(path), codePage) : std::string();
}

} // namespace hotfix
