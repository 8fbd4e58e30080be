// hotfix-pack end to end on temporary trees: the real program, and the builder it runs.
#include "engine/native/posix_file_system.h"
#include "engine/patch_apply.h"
#include "engine/rtp_format.h"
#include "tools/patch_builder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace hotfix::engine {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

std::string PackProgram() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "hotfix-pack").string();
}

struct Outcome {
    int exitCode = -1;
    std::string output;
};

Outcome Pack(const std::string& arguments) {
    Outcome outcome;
    FILE* pipe = ::popen((PackProgram() + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) outcome.output += buffer;
    int status = ::pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

void Lay(const fs::path& root, const Files& files) {
    fs::create_directories(root);
    for (const auto& [path, bytes] : files) {
        fs::path file = root / path;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
}

Files Read(const fs::path& root) {
    Files files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (!item.is_regular_file()) continue;
        std::ifstream in(item.path(), std::ios::binary);
        files[fs::relative(item.path(), root).generic_string()] =
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    return files;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class HotfixPack : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(PackProgram())) GTEST_SKIP() << "hotfix-pack is not built";
        m_root = fs::path(::testing::TempDir()) / ("hotfix-pack-test-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override { fs::remove_all(m_root); }
    std::string At(const std::string& name) const { return (m_root / name).string(); }

    fs::path m_root;
};

std::string Program(int variant, std::size_t size) {
    std::mt19937 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 64);
    bytes.replace(size / 3, 12, "version " + std::to_string(variant) + "!!!");
    return bytes;
}

std::string Noise(unsigned seed, std::size_t size) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

TEST_F(HotfixPack, TakesEveryOldTreeToTheNewOneDeterministically) {
    const Files old1 = {{"app.exe", Program(1, 200000)}, {"lib/core.dll", "core 1"}, {"noise.bin", Noise(1, 4000)},
                        {"gone.txt", "obsolete"}, {"same.txt", "same"}};
    const Files old2 = {{"app.exe", Program(2, 200000)}, {"lib/core.dll", "core 2"}, {"noise.bin", Noise(2, 4000)},
                        {"same.txt", "same"}};
    const Files next = {{"app.exe", Program(3, 200000)}, {"lib/core.dll", "core 2"}, {"noise.bin", Noise(3, 4000)},
                        {"lib/sub/new.txt", "added"}, {"same.txt", "same"}};
    Lay(At("old1"), old1);
    Lay(At("old2"), old2);
    Lay(At("new"), next);
    const std::string arguments = "--old " + At("old1") + " --old " + At("old2") + " --new " + At("new");
    Outcome first = Pack(arguments + " --out " + At("a.rtp"));
    ASSERT_EQ(first.exitCode, 0) << first.output;
    Outcome second = Pack(arguments + " --out " + At("b.rtp") + " --quiet");
    ASSERT_EQ(second.exitCode, 0) << second.output;
    const std::string patch = Slurp(At("a.rtp"));
    EXPECT_EQ(patch, Slurp(At("b.rtp")));

    PatchModel model;
    std::string error;
    ASSERT_TRUE(ParsePatchBytes(reinterpret_cast<const std::uint8_t*>(patch.data()), patch.size(), model, error))
        << error;
    std::vector<std::string> paths;
    for (const PatchEntry& entry : model.entries) paths.push_back(entry.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"app.exe", "gone.txt", "lib\\core.dll", "lib\\sub\\new.txt",
                                               "noise.bin"}));
    // A small edit of a large file travels as deltas, random bytes as the whole file once.
    EXPECT_EQ(model.entries[0].olds.size(), 2u);
    EXPECT_EQ(model.entries[0].olds[0].content.method, ContentMethod::Delta);
    EXPECT_EQ(model.entries[0].olds[1].content.method, ContentMethod::Delta);
    EXPECT_LT(patch.size(), 30000u);
    EXPECT_EQ(model.entries[2].olds.size(), 1u); // old2 already has the new core.dll
    EXPECT_EQ(model.entries[4].olds[0].content.offset, model.entries[4].olds[1].content.offset);

    for (const char* old : {"old1", "old2"}) {
        const std::string copy = At(std::string("copy-") + old);
        fs::copy(At(old), copy, fs::copy_options::recursive);
        PosixFileSystem files(copy);
        MemoryReadableFile file(reinterpret_cast<const std::uint8_t*>(patch.data()), patch.size());
        ApplyListener quiet;
        ApplyResult result = ApplyPatch(files, file, quiet);
        EXPECT_EQ(result.outcome, ApplyOutcome::Applied) << old << ": " << result.message;
        EXPECT_EQ(Read(copy), next) << old;
    }
}

// --methods limits the ways a changed file may be stored; the patch is verified whichever it is.
TEST_F(HotfixPack, StoresAChangedFileOnlyInAnAllowedWay) {
    Lay(At("old"), {{"app.exe", Program(1, 100000)}});
    Lay(At("new"), {{"app.exe", Program(3, 100000)}});
    const struct {
        const char* methods;
        ContentMethod expected;
    } cases[] = {{"vcdiff", ContentMethod::Delta}, {"match", ContentMethod::MatchDelta},
                 {"whole", ContentMethod::Whole}, {"whole,match", ContentMethod::MatchDelta}};
    for (const auto& c : cases) {
        Outcome outcome = Pack("--old " + At("old") + " --new " + At("new") + " --out " + At("out.rtp") +
                               " --methods " + c.methods);
        ASSERT_EQ(outcome.exitCode, 0) << c.methods << ": " << outcome.output;
        const std::string patch = Slurp(At("out.rtp"));
        PatchModel model;
        std::string error;
        ASSERT_TRUE(ParsePatchBytes(reinterpret_cast<const std::uint8_t*>(patch.data()), patch.size(), model, error));
        EXPECT_EQ(model.entries[0].olds[0].content.method, c.expected) << c.methods << ": " << outcome.output;
    }
    EXPECT_EQ(Pack("--old " + At("old") + " --new " + At("new") + " --out " + At("x.rtp") + " --methods bsdiff").exitCode,
              2);
}

// However many workers make the entries, and on every run, the patch and the report are the
// same bytes; and the patch takes each old tree to the new one.
TEST_F(HotfixPack, GivesTheSameBytesWithAnyNumberOfWorkers) {
    Files old1, old2, next;
    for (int i = 0; i < 24; ++i) {
        const std::string name = "dir" + std::to_string(i % 3) + "/file" + std::to_string(i) + ".dll";
        old1[name] = Program(i, 3000 + 500 * i);
        old2[name] = i % 4 == 0 ? Noise(i, 2000) : Program(i + 1, 3000 + 500 * i);
        next[name] = Program(i + 2, 3000 + 500 * i);
    }
    old1["gone.txt"] = old2["gone.txt"] = "obsolete";
    next["added/new.txt"] = "added";
    Lay(At("old1"), old1);
    Lay(At("old2"), old2);
    Lay(At("new"), next);
    const unsigned kWorkers[] = {1, 2, 3, 1, 2};
    std::vector<tools::BuildReport> reports;
    for (unsigned workers : kWorkers) {
        tools::BuildOptions options;
        options.oldDirectories = {At("old1"), At("old2")};
        options.newDirectory = At("new");
        options.workers = workers;
        reports.push_back(tools::BuildPatch(options));
        ASSERT_TRUE(reports.back().ok) << workers << " workers: " << reports.back().error;
        EXPECT_EQ(reports.back().patch, reports.front().patch) << workers << " workers";
        EXPECT_EQ(reports.back().lines, reports.front().lines) << workers << " workers";
    }
    EXPECT_EQ(reports.front().lines.size(), 26u);
    const std::vector<std::uint8_t>& patch = reports.front().patch;
    for (const char* old : {"old1", "old2"}) {
        PosixFileSystem files(At(old));
        MemoryReadableFile file(patch.data(), patch.size());
        ApplyListener quiet;
        EXPECT_EQ(ApplyPatch(files, file, quiet).outcome, ApplyOutcome::Applied) << old;
        EXPECT_EQ(Read(At(old)), next) << old;
    }
}

TEST_F(HotfixPack, RefusesInputItCannotExpress) {
    Lay(At("a"), {{"x.txt", "1"}});
    Lay(At("b"), {{"x.txt", "2"}, {"y.txt", "y"}});
    Lay(At("c"), {{"x.txt", "3"}, {"y.txt", "new y"}});
    Lay(At("d"), {{"x.txt", "1"}});
    Lay(At("dir"), {{"x.txt/inner", "1"}});
    Lay(At("backslash"), {{"x.txt", "1"}, {"a\\b", "2"}});
    Lay(At("tilde"), {{"PROGRA~1.txt", "1"}});
    struct Case {
        const char* name;
        std::string arguments;
        int exitCode;
        const char* expected;
    };
    const Case cases[] = {
        {"missing directory", "--old " + At("nowhere") + " --new " + At("c"), 1, "not a directory"},
        {"present in some old trees only", "--old " + At("a") + " --old " + At("b") + " --new " + At("c"), 1,
         "y.txt"},
        {"file here, directory there", "--old " + At("a") + " --new " + At("dir"), 1, "x.txt"},
        {"backslash in a name", "--old " + At("a") + " --new " + At("backslash"), 1, "backslash"},
        {"unsafe name", "--old " + At("a") + " --new " + At("tilde"), 1, "PROGRA~1.txt"},
        {"identical trees", "--old " + At("a") + " --new " + At("d"), 1, "nothing to patch"},
        {"no new tree", "--old " + At("a"), 2, "required"},
    };
    for (const Case& c : cases) {
        Outcome outcome = Pack(c.arguments + " --out " + At("out.rtp"));
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name << ": " << outcome.output;
        EXPECT_NE(outcome.output.find(c.expected), std::string::npos) << c.name << ": " << outcome.output;
        EXPECT_FALSE(fs::exists(At("out.rtp"))) << c.name;
    }
}

} // namespace
} // namespace hotfix::engine
