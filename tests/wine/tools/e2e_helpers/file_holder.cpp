// hotfix-file-holder.exe FILE
//
// Opens FILE for reading with no sharing at all, prints "held" and keeps it open until the
// process is killed. Another process cannot open, replace, rename or delete the file meanwhile,
// which is what a user's program holding a document or library open looks like.
// Exit code 1 (and "cannot open FILE: error N") when the file cannot be opened.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: hotfix-file-holder FILE\n", stderr);
        return 2;
    }
    const HANDLE file = ::CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %s: error %lu\n", argv[1], ::GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) ::Sleep(INFINITE);
}
