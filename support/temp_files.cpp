#include "support/temp_files.h"

#include <cstdlib>

#include "support/multibyte.h"

namespace hotfix {

bool DirectoryExists(TempEnvironment& environment, const char* path) {
    if (path == nullptr) return false;
    const auto attributes = environment.Attributes(path);
    return attributes && (*attributes & kDirectoryAttribute) != 0;
}

bool FileExists(TempEnvironment& environment, const std::string& path) {
    return environment.Attributes(path).has_value();
}

std::string TempDirectory(TempEnvironment& environment, const char* fallback) {
    std::string result;
    if (auto temp = environment.Variable("TEMP"); temp && DirectoryExists(environment, temp->c_str())) {
        result = *temp;
    } else if (auto tmp = environment.Variable("TMP"); tmp && DirectoryExists(environment, tmp->c_str())) {
        result = *tmp;
    } else if (DirectoryExists(environment, fallback)) {
        result = fallback;
    }
    if (!result.empty() && FindLastChar(result, '\\', environment.AnsiCodePage()) != result.size() - 1) result += '\\';
    return result;
}

char RandomLetter(long long draw, long long randMax) {
    // 64-bit arithmetic: a generator whose RAND_MAX is 2^31-1 must not overflow the product.
    return static_cast<char>('A' + draw * 26 / (randMax + 1));
}

std::string RandomName(TempEnvironment& environment) {
    std::srand(static_cast<unsigned>(environment.Now()));
    std::string name = "01234567";
    for (char& ch : name) ch = RandomLetter(std::rand(), RAND_MAX);
    return name;
}

} // namespace hotfix
