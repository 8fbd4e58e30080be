// hotfix-racer.exe DIRECTORY SECONDS NAME=SOURCE...
//
// A hostile local user racing the installer: for SECONDS it watches DIRECTORY, and whenever a
// file NAME stands there it tries at once to put the bytes of SOURCE in its place, by every way
// an ordinary user has (writing over it, replacing it by a rename, deleting it and copying in).
// Prints one line per NAME: how many times the bytes stood there as SOURCE's afterwards.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Target {
    std::string name;
    std::string source;
    int replaced = 0;
};

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Read(const std::string& path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    ::CloseHandle(file);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: hotfix-racer DIRECTORY SECONDS NAME=SOURCE...\n", stderr);
        return 2;
    }
    const std::string directory = argv[1];
    const DWORD limit = static_cast<DWORD>(std::atoi(argv[2])) * 1000u;
    std::vector<Target> targets;
    for (int i = 3; i < argc; ++i) {
        const std::string pair = argv[i];
        const std::string::size_type equals = pair.find('=');
        if (equals == std::string::npos) return 2;
        targets.push_back({pair.substr(0, equals), pair.substr(equals + 1)});
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const DWORD start = ::GetTickCount();
    int round = 0;
    while (::GetTickCount() - start < limit) {
        for (Target& target : targets) {
            const std::string path = directory + target.name;
            if (!Exists(path)) continue;
            const std::string spare = path + ".racer" + std::to_string(++round);
            switch (round % 3) {
            case 0: ::CopyFileA(target.source.c_str(), path.c_str(), FALSE); break;
            case 1:
                if (::CopyFileA(target.source.c_str(), spare.c_str(), FALSE) &&
                    !::MoveFileExA(spare.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
                    ::DeleteFileA(spare.c_str());
                break;
            case 2:
                if (::DeleteFileA(path.c_str())) ::CopyFileA(target.source.c_str(), path.c_str(), TRUE);
                break;
            }
            if (Read(path) == Read(target.source)) ++target.replaced;
        }
    }
    for (const Target& target : targets) std::printf("%s replaced %d\n", target.name.c_str(), target.replaced);
    return 0;
}
