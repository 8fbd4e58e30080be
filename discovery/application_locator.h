#pragma once
// Where the product is installed: the document type's open command, canonicalised, and the
// two path splitters.
#include <string>

#include "platform/code_page.h"
#include "platform/file_lookup.h"
#include "platform/registry.h"
#include "support/multibyte.h"   // FileNameOf, which the callers of the locator use with it

namespace hotfix {

// The registry key whose default value holds the installed executable's open command (under
// HKEY_CLASSES_ROOT; from the hotfix's definition: "Veltrix.Tarnovex.Document\shell\open\command").
extern const char kDocumentOpenCommandKey[];
// Size of the buffer the open command is read into; a longer value is not read at all.
constexpr unsigned kRegistryBufferSize = 260;

// The canonical full path of the executable named by the open command, a trailing " /dde"
// (exact, case significant) removed. Empty text when the key or its value cannot be read.
// Example: value "C:\PROGRA~1\Veltrix\TARNOVEX.EXE /dde" -> "C:\Program Files\Veltrix\Tarnovex.exe".
std::string FindInstalledExecutable(Registry& registry, FileLookup& files, const CodePage& codePage);

// `path` with each component replaced by its name as stored on disk, where the file system
// finds it. The drive prefix (up to the first colon) is copied as written, leading backslashes
// are kept (one for a rooted path, two for UNC), empty components are kept as they are, and a
// component that is not found is appended as written. One look-up per non-empty component,
// except a component holding a wildcard character (* ? < > "), which is never looked up and
// stays as written.
// Example: "c:\\PROGRA~1\\\\x" -> "c:\\Program Files\\\\x" when "x" does not exist.
std::string CanonicalPath(const std::string& path, FileLookup& files, const CodePage& codePage);

// The path up to and including its last backslash; the whole path without a backslash;
// empty text for an absent (null) path. Example: "C:\\A\\b.exe" -> "C:\\A\\".
std::string DirectoryOf(const char* path, const CodePage& codePage);
std::string DirectoryOf(const std::string& path, const CodePage& codePage);

} // namespace hotfix
