// hotfix-pack: makes a patch file (.RTP) from old trees and a new tree.
#include "tools/patch_builder.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

const char kHelp[] =
    "Usage: hotfix-pack --old DIR [--old DIR]... --new DIR --out FILE.RTP [--methods LIST]\n"
    "                   [--jobs N] [--quiet]\n"
    "\n"
    "Makes a patch file that takes any of the old trees to the new tree: files that differ are\n"
    "changed (stored, per old version, as the smallest of: a VCDIFF delta as\n"
    "`xdelta3 -e -9 -S none -A -D -n` makes it, deflated; a match delta (approximate matches\n"
    "over a suffix array, x86 branch targets of PE images made absolute, LZMA2 streams); the\n"
    "whole file, deflated), files only in the new tree are added, files only in old trees are\n"
    "removed. Each changed file's line names the method kept and its size, then the others'\n"
    "sizes in [].\n"
    "The same inputs give the same bytes, however many jobs made them.\n"
    "Before writing FILE.RTP the patch is applied to a copy of every old tree and checked\n"
    "against the new tree.\n"
    "\n"
    "  --old DIR        an installation the patch applies to (repeat for several versions)\n"
    "  --new DIR        the installation the patch makes\n"
    "  --out FILE       the patch file to write (replaced only when everything succeeded)\n"
    "  --methods LIST   the ways a changed file may be stored, comma-separated from vcdiff,\n"
    "                   match, whole (default: all three)\n"
    "  --jobs N         files encoded at once (default 2, never more than the cores; 0: every core)\n"
    "  --quiet          print nothing but errors\n"
    "Exit codes: 0 written, 1 bad input or failure (nothing written), 2 usage.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "hotfix-pack: %s\n\n%s", problem, kHelp);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    hotfix::tools::BuildOptions options;
    std::string out;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (argument == "--old") {
            std::string directory;
            if (!value(directory)) return Usage("--old needs a directory");
            options.oldDirectories.push_back(directory);
        } else if (argument == "--new") {
            if (!value(options.newDirectory)) return Usage("--new needs a directory");
        } else if (argument == "--out") {
            if (!value(out)) return Usage("--out needs a file name");
        } else if (argument == "--jobs") {
            std::string count;
            if (!value(count) || count.empty() || count.size() > 3 ||
                count.find_first_not_of("0123456789") != std::string::npos)
                return Usage("--jobs needs a number");
            options.workers = static_cast<unsigned>(std::stoul(count));
        } else if (argument == "--methods") {
            std::string list;
            if (!value(list)) return Usage("--methods needs a list");
            options.vcdiff = options.match = options.whole = false;
            for (std::size_t at = 0; at <= list.size();) {
                std::size_t comma = list.find(',', at);
                if (comma == std::string::npos) comma = list.size();
                const std::string method = list.substr(at, comma - at);
                if (method == "vcdiff") options.vcdiff = true;
                else if (method == "match") options.match = true;
                else if (method == "whole") options.whole = true;
                else return Usage(("unknown method " + method).c_str());
                at = comma + 1;
            }
        } else if (argument == "--quiet") {
            quiet = true;
        } else {
            return Usage(("unknown argument " + argument).c_str());
        }
    }
    if (options.oldDirectories.empty() || options.newDirectory.empty() || out.empty())
        return Usage("--old, --new and --out are required");

    hotfix::tools::BuildReport report = hotfix::tools::BuildPatch(options);
    if (!report.ok) {
        std::fprintf(stderr, "hotfix-pack: %s\n", report.error.c_str());
        return 1;
    }
    const std::string temporary = out + ".partial";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(report.patch.data()), static_cast<std::streamsize>(report.patch.size()));
        file.flush();
        if (!file) {
            std::remove(temporary.c_str());
            std::fprintf(stderr, "hotfix-pack: cannot write %s\n", temporary.c_str());
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), out.c_str()) != 0) {
        std::remove(temporary.c_str());
        std::fprintf(stderr, "hotfix-pack: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
        return 1;
    }
    if (!quiet) {
        for (const std::string& line : report.lines) std::printf("%s\n", line.c_str());
        std::printf("wrote %s: %zu bytes, verified against %zu old tree(s)\n", out.c_str(), report.patch.size(),
                    options.oldDirectories.size());
    }
    return 0;
}
