#include "engine/patch_path.h"

#include <cstring>

namespace hotfix::engine {

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = Upper(c);
    return result;
}

// The platform treats these names as devices in any directory and with any extension.
bool IsDeviceName(const std::string& component) {
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    base = UpperAscii(base);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices)
        if (base == device) return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
        base[3] >= '0' && base[3] <= '9')
        return true;
    return false;
}

bool CheckComponent(const std::string& component, std::string& why) {
    if (component.empty()) {
        why = "empty path component";
        return false;
    }
    if (component == "." || component == "..") {
        why = "'" + component + "' component";
        return false;
    }
    if (component.back() == '.' || component.back() == ' ') {
        why = "component ends with a dot or a blank";
        return false;
    }
    if (component.front() == ' ') {
        why = "component starts with a blank";
        return false;
    }
    if (IsDeviceName(component)) {
        why = "device name '" + component + "'";
        return false;
    }
    return true;
}

} // namespace

bool IsSafePatchPath(const std::string& path, std::string& why) {
    if (path.empty()) {
        why = "empty path";
        return false;
    }
    if (path.size() > kMaxPatchPathLength) {
        why = "path longer than " + std::to_string(kMaxPatchPathLength) + " bytes";
        return false;
    }
    for (unsigned char c : path) {
        if (c < 0x20 || c > 0x7E) {
            why = "control or non-ASCII byte in path";
            return false;
        }
        if (std::strchr(":/<>\"|?*~", c) != nullptr) {
            why = std::string("character '") + static_cast<char>(c) + "' in path";
            return false;
        }
    }
    if (path.front() == '\\') {
        why = "absolute path";
        return false;
    }
    if (PathKey(path) == PathKey(kFrontEndName) || PathKey(path) == PathKey(kLibraryName)) {
        why = "'" + path + "' is the engine's own file";
        return false;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.find('\\', start);
        std::string component = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!CheckComponent(component, why)) return false;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    why.clear();
    return true;
}

std::string PathKey(const std::string& path) { return UpperAscii(path); }

std::string ParentOf(const std::string& path) {
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace hotfix::engine
