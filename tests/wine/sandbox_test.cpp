// The sandbox helpers the end-to-end tests rely on: a snapshot that missed a change, or a
// registry helper that left a value behind, would let a faulty installer pass.
#include <gtest/gtest.h>

#include "harness/sandbox.h"
#include "harness/test_paths.h"

namespace hotfix::testing {
namespace {

TEST(Snapshot, SeesEveryKindOfChangeAndNothingElse) {
    Installation install = Installation::Create();
    ASSERT_TRUE(install.Valid());
    ASSERT_TRUE(install.WriteFile("a.txt", "same size"));
    ASSERT_TRUE(install.WriteFile("sub\\deep\\b.bin", std::string("\0\1\2", 3)));
    ASSERT_TRUE(install.WriteFile("gone.txt", "x"));
    const DirectorySnapshot before = TakeSnapshot(install.Path());
    EXPECT_EQ(before.size(), 5u);  // three files, two directories
    EXPECT_EQ(DescribeDifference(before, TakeSnapshot(install.Path())), "");

    ASSERT_TRUE(install.WriteFile("a.txt", "SAME SIZE"));  // same length, other bytes
    ASSERT_TRUE(install.WriteFile("sub\\new.txt", ""));    // an empty new file
    ASSERT_TRUE(::DeleteFileA((install.Path() + "gone.txt").c_str()));
    EXPECT_EQ(DescribeDifference(before, TakeSnapshot(install.Path())),
              "changed a.txt\nremoved gone.txt\nadded sub\\new.txt\n");
}

TEST(InstallationDirectory, IsFreshHasBlanksAndIsRemovedWithReadOnlyFiles) {
    std::string path;
    {
        Installation first = Installation::Create();
        Installation second = Installation::Create();
        ASSERT_TRUE(first.Valid() && second.Valid());
        EXPECT_NE(first.Path(), second.Path());
        EXPECT_NE(first.Path().find(' '), std::string::npos);
        EXPECT_EQ(first.Path().back(), '\\');
        path = first.Path();
        ASSERT_TRUE(first.WriteFile("dir\\locked.txt", "x"));
        ASSERT_TRUE(::SetFileAttributesA((path + "dir\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        Installation moved = std::move(first);
        EXPECT_FALSE(first.Valid());
        EXPECT_NE(::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(::GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(InstallationDirectory, CopiesATreeByteForByte) {
    Installation source = Installation::Create();
    ASSERT_TRUE(source.WriteFile("x.exe", "MZ"));
    ASSERT_TRUE(source.WriteFile("data\\y.dat", "payload"));
    Installation copy = Installation::Create();
    ASSERT_TRUE(copy.CopyTreeFrom(source.Path()));
    EXPECT_EQ(TakeSnapshot(copy.Path()), TakeSnapshot(source.Path()));
}

TEST(OpenCommand, IsWrittenReadAndDeletedWhole) {
    ScopedDocumentType registration;
    EXPECT_FALSE(ReadOpenCommand());
    ASSERT_TRUE(WriteOpenCommand("C:\\A B\\Tarnovex.exe /dde"));
    EXPECT_EQ(ReadOpenCommand(), std::optional<std::string>("C:\\A B\\Tarnovex.exe /dde"));

    ASSERT_TRUE(WriteOpenCommandRaw(REG_BINARY, {'a', 'b'}));
    DWORD type = 0;
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kOpenCommandKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(::RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 2u);

    // A user-level registration hides behind the same classes root: it must go too.
    HKEY userKey = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER,
                                (std::string("Software\\Classes\\") + kOpenCommandKey).c_str(), 0,
                                nullptr, 0, KEY_WRITE, nullptr, &userKey, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(userKey);
    EXPECT_TRUE(DeleteDocumentType());
    EXPECT_FALSE(ReadOpenCommand());
    HKEY probe = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kDocumentTypeKey, 0, KEY_READ, &probe), ERROR_SUCCESS);
    EXPECT_TRUE(DeleteDocumentType());  // deleting what is not there is fine
}

TEST(FileFacts, VersionLabelsAndShortPaths) {
    EXPECT_EQ(VersionLabelOf(VersionedTestProgram("7.22.24188.12")),
              std::optional<std::string>("7.22 (7.22.24188.12)"));
    EXPECT_EQ(VersionLabelOf(VersionedTestProgram("10.5.3.0")),
              std::optional<std::string>("10.05 (10.05.03.00)"));
    EXPECT_FALSE(VersionLabelOf(VersionedTestProgram("")));
    EXPECT_FALSE(VersionLabelOf("C:\\no such file.exe"));

    Installation install = Installation::Create();
    ASSERT_TRUE(install.WriteFile("A Long File Name.txt", "x"));
    const std::string shortPath = ShortPath(install.Path() + "A Long File Name.txt");
    ASSERT_FALSE(shortPath.empty());
    EXPECT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
    EXPECT_EQ(ShortPath(install.Path() + "missing.txt"), "");
}

} // namespace
} // namespace hotfix::testing
