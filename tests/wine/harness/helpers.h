#pragma once
// Small helpers the Wine tests share: whole files, quoting, ASCII letter case, and whether a
// program is seen running (the installer's own running test on the real process list).
#include <string>

namespace hotfix::testing {

// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// True when something stands at `path`.
bool FileExists(const std::string& path);

// Replaces the file at `path` with `bytes`.
void WriteWholeFile(const std::string& path, const std::string& bytes);

// `text` between double quotes, as a command line names a path: Quoted("C:\\a b") == "\"C:\\a b\"".
std::string Quoted(const std::string& text);

// `text` with its ASCII letters in upper or lower case.
std::string Upper(std::string text);
std::string Lower(std::string text);

// True when `path` cannot be opened with `access` (sharing everything) because another process
// holds it so: without sharing at all for GENERIC_READ, without sharing deletion for DELETE.
bool HeldByAnother(const std::string& path, unsigned long access);

// True when a running process executes `path` (IsApplicationStopped says false).
bool SeenRunning(const std::string& path);

} // namespace hotfix::testing
