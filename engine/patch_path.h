#pragma once
// Paths of files named by a patch file. Every path is relative to the update directory, with
// components separated by '\\', and must pass IsSafePatchPath before the engine touches
// anything through it. Portable, no platform headers.
#include <cstddef>
#include <string>

#include "engine/contract/engine_contract.h"

namespace hotfix::engine {

// Longest accepted path, in bytes. The update directory is prefixed to it and the A functions
// of the platform stop at 259 characters.
constexpr std::size_t kMaxPatchPathLength = 180;

// The engine's own names, which patch paths may not use (the staged and backup suffixes beside
// a target, the journal and its temporary file, the front end and the library in the root), are
// the contract's: kStagedSuffix, kBackupSuffix, kJournalName, kJournalTempName, kFrontEndName
// and kLibraryName (engine/contract/engine_contract.h).

// True when `path` is a safe relative path; otherwise false with the reason in `why`.
// Accepted: printable ASCII (0x20-0x7E), components separated by single '\\'.
// Refused, with examples:
//   ""  "\\a"  "\\\\server\\share"  "C:\\a"  "a:stream"       absolute, drive, UNC, stream
//   "..\\a"  "a\\.\\b"  "a\\\\b"  "a\\"                    climbing, dot and empty components
//   "CON"  "nul.txt"  "com1"  "LPT9.log"  "a\\aux"          device names, with or without extension
//   "a."  "a "  " a"                                        trailing dots or blanks, leading blanks
//   "a/b"  "a\tb"  "a*b"  "a<b"                              '/', control and wildcard characters
//   "é" (0xE9) ...                                          bytes above 0x7E (code-page dependent)
//   "PROGRA~1"                                              '~' (8.3 aliases could name another
//                                                           entry's file; also the engine's own names)
//   "patch.exe"  "PATCHW32.DLL"                             the engine's own files, in the root
bool IsSafePatchPath(const std::string& path, std::string& why);

// The key under which two paths name the same file on a case-insensitive file system:
// ASCII upper case. Example: PathKey("Bin\\App.dll") == "BIN\\APP.DLL".
std::string PathKey(const std::string& path);

// The directory part of a path, empty for a file in the root. Example: "a\\b\\c" -> "a\\b".
std::string ParentOf(const std::string& path);

} // namespace hotfix::engine
