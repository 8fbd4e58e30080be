#pragma once
// The sandbox of the end-to-end tests: the product's registry value, installations laid out in
// fresh directories of the Wine prefix, and the facts a test checks afterwards (short names,
// version labels, "nothing on disk changed").
//
// Typical use:
//
//   ScopedDocumentType registration;                 // no document type before, none after
//   Installation install = Installation::Create();   // in C:\Program Files\Veltrix Test
//   ASSERT_TRUE(install.CopyTreeFrom(SampleDirectory("Tarnovex", "7.22.24188.12")));
//   ASSERT_TRUE(WriteOpenCommand(install.Path() + "Tarnovex.exe /dde"));
//   ... run the installer ...
//   // both are removed when they go out of scope
//
// Nothing here throws; failures are false or empty results.
#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hotfix::testing {

// The key under HKEY_CLASSES_ROOT whose default value the installer reads, and its document
// type (the key's top), which the helpers below create and delete.
extern const char kOpenCommandKey[];
extern const char kDocumentTypeKey[];

// Writes the default value of HKCR\<kOpenCommandKey> as REG_SZ (terminating zero included),
// creating the key. True on success.
bool WriteOpenCommand(const std::string& value);

// Writes the default value with any type and exactly these bytes (no zero added), e.g.
// REG_EXPAND_SZ, REG_DWORD, REG_BINARY, or REG_SZ without a terminating zero.
bool WriteOpenCommandRaw(DWORD type, const std::vector<std::uint8_t>& bytes);

// Creates the key without any default value.
bool CreateOpenCommandKeyWithoutValue();

// Deletes the whole document type from the classes root (machine and user parts).
// True when it is gone afterwards, also when it never existed.
bool DeleteDocumentType();

// The default value as the registry holds it now; empty optional when it cannot be read.
std::optional<std::string> ReadOpenCommand();

// Deletes the document type when constructed and again when destroyed.
class ScopedDocumentType {
public:
    ScopedDocumentType() { DeleteDocumentType(); }
    ~ScopedDocumentType() { DeleteDocumentType(); }
    ScopedDocumentType(const ScopedDocumentType&) = delete;
    ScopedDocumentType& operator=(const ScopedDocumentType&) = delete;
};

// Where installations are laid out by default: a directory with blanks in its path.
extern const char kSandboxRoot[];  // "C:\\Program Files\\Veltrix Test\\"

// A fresh directory that is removed, with everything in it, when the object is destroyed.
class Installation {
public:
    // Makes <parent><prefix><unique>\ (parent with a trailing backslash; created if missing).
    // An invalid Installation (Valid() false) when it cannot be made.
    static Installation Create(const std::string& parent = kSandboxRoot,
                               const std::string& prefix = "install-");

    Installation() = default;
    Installation(Installation&& other) noexcept;
    Installation& operator=(Installation&& other) noexcept;
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    bool Valid() const { return !m_path.empty(); }
    // The directory, with a trailing backslash.
    const std::string& Path() const { return m_path; }

    // Copies every file and directory below `sourceDirectory` into this one.
    bool CopyTreeFrom(const std::string& sourceDirectory);
    // Copies one file to `relativeName` below this directory (its directories are made).
    bool CopyFileFrom(const std::string& source, const std::string& relativeName);
    // Writes a file with these bytes.
    bool WriteFile(const std::string& relativeName, const std::string& bytes);

private:
    std::string m_path;
};

// Removes a directory tree (read-only files included), never descending into a link. True when
// it is gone.
bool RemoveTree(const std::string& directory);
// Copies a directory tree into `target` (made if missing). Both may end with a backslash.
bool CopyTree(const std::string& source, const std::string& target);
// Makes a directory and its missing parents.
bool MakeDirectories(const std::string& directory);

// GetShortPathNameA of an existing path; empty when it fails. Wine's 8.3 names are hashed,
// so tests always ask for them.
std::string ShortPath(const std::string& path);

// The VersionLabel the installer would read for `path` (full form, "7.22 (7.22.24188.12)");
// empty optional when the file has no readable version resource.
std::optional<std::string> VersionLabelOf(const std::string& path);

// Every directory and file below a directory: relative name -> content. Directories appear
// with a trailing backslash and empty content. Compare two snapshots to assert that nothing
// on disk changed.
using DirectorySnapshot = std::map<std::string, std::string>;
DirectorySnapshot TakeSnapshot(const std::string& directory);

// One line per difference ("added X", "removed X", "changed X"); empty when equal.
std::string DescribeDifference(const DirectorySnapshot& before, const DirectorySnapshot& after);

} // namespace hotfix::testing
