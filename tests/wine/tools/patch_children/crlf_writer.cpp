// Writes text with CRLF line ends to the file named by its last argument, the way a console
// program's output lands in a file after "> path":
//   hotfix-crlf-writer.exe [zero] > PATH
// "zero" puts a zero byte in the middle of the text. The last line holds the OEM byte 0x82.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[argc - 2], ">") != 0) return 2;
    std::FILE* out = std::fopen(argv[argc - 1], "wb");
    if (!out) return 3;
    if (argc == 4 && std::strcmp(argv[1], "zero") == 0) {
        std::fwrite("before\0after\r\n", 1, 14, out);
    } else {
        std::fputs("first line\r\nsecond line\r\ncaf\x82\r\n", out);
    }
    std::fclose(out);
    return 0;
}
