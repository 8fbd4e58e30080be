// hotfix-file-holder [--share-read] [--for MS [--after OTHER]] FILE
//
// Opens FILE for reading with no sharing at all, prints "held" and keeps it open until the
// process is killed. Another process cannot open, replace, rename or delete the file meanwhile,
// which is what a user's program holding a document or library open looks like. With
// --share-read others may still read it, as a scanner that reads a file for a moment does;
// with --for it lets the file go after MS milliseconds and exits 0, counted from the moment
// OTHER exists when --after names it.
// Exit code 1 (and "cannot open FILE: error N") when the file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    DWORD share = 0;
    DWORD forMs = INFINITE;
    const char* after = nullptr;
    int i = 1;
    for (; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--share-read") == 0) share = FILE_SHARE_READ;
        else if (std::strcmp(argv[i], "--for") == 0 && i + 2 < argc) forMs = std::strtoul(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--after") == 0 && i + 2 < argc) after = argv[++i];
        else break;
    }
    if (i + 1 != argc) {
        std::fputs("usage: hotfix-file-holder [--share-read] [--for MS [--after OTHER]] FILE\n", stderr);
        return 2;
    }
    const HANDLE file = ::CreateFileA(argv[i], GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s: error %lu\n", argv[i], ::GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (after != nullptr && ::GetFileAttributesA(after) == INVALID_FILE_ATTRIBUTES) ::Sleep(10);
    ::Sleep(forMs);
    ::CloseHandle(file);
    return 0;
}
