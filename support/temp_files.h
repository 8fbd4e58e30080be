#pragma once
// Temporary directory and random file names, for the command runner's capture file.
#include <string>

#include "platform/patch_ports.h"

namespace hotfix {

// The directory attribute bit of GetFileAttributesA.
constexpr std::uint32_t kDirectoryAttribute = 0x10;

// True when `path` names an existing directory. A null or empty path, or one that names a
// plain file, is false.
bool DirectoryExists(TempEnvironment& environment, const char* path);

// True when `path` names anything that exists, a directory included.
bool FileExists(TempEnvironment& environment, const std::string& path);

// The first of "TEMP", "TMP" and `fallback` (may be null) that names an existing directory,
// as it stands, with a backslash appended when it does not end in one (a trail byte 0x5C is
// none); empty text when none does.
// Example: TEMP="C:\Temp" (a directory) gives "C:\Temp\".
std::string TempDirectory(TempEnvironment& environment, const char* fallback);

// The letter for one draw of rand(): the range 0..randMax scaled in proportion onto 'A'..'Z'.
// Example: RandomLetter(0, 32767) == 'A', RandomLetter(32767, 32767) == 'Z',
// RandomLetter(16384, 32767) == 'N'.
char RandomLetter(long long draw, long long randMax);

// Eight random capital letters. Reseeds the standard generator (srand) from the clock on
// every call, so all calls within one second give the same name.
std::string RandomName(TempEnvironment& environment);

} // namespace hotfix
