#pragma once
// Links planted where the installer and the engine work, pointing outside, as a hostile local
// user would plant them. Wine 8 does not create links itself (CreateSymbolicLinkA reports
// success and makes nothing), so they are Unix symbolic links, made by running the system's
// own ln. Under Wine a Unix link to a directory reports FILE_ATTRIBUTE_REPARSE_POINT, one to a
// file looks like a plain file; the final path of a handle opened through either is the target.
#include <string>

namespace hotfix::testing {

// The Unix path of a Windows path (Wine's own translation); empty when it cannot be told.
std::string UnixPathOf(const std::string& windowsPath);

// A directory outside drive C: (under Z:, the Unix root), removed with everything in it when
// destroyed. Targets of the planted links live here.
class OutsideArea {
public:
    OutsideArea();
    ~OutsideArea();
    OutsideArea(const OutsideArea&) = delete;
    OutsideArea& operator=(const OutsideArea&) = delete;
    // Windows path with a trailing backslash ("Z:\\tmp\\hotfix-outside-...\\").
    const std::string& Path() const { return m_path; }
    std::string UnixPath() const;

private:
    std::string m_path;
};

// A Unix symbolic link at `windowsLink` to `unixTarget`, removed (the link itself, never its
// target) when destroyed. Declare it after the Installation it lies in, so it goes first.
class ScopedUnixLink {
public:
    ScopedUnixLink(const std::string& windowsLink, const std::string& unixTarget);
    ~ScopedUnixLink();
    ScopedUnixLink(const ScopedUnixLink&) = delete;
    ScopedUnixLink& operator=(const ScopedUnixLink&) = delete;
    bool Made() const { return m_made; }

private:
    std::string m_unixLink;
    bool m_made = false;
};

} // namespace hotfix::testing
