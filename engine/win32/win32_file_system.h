#pragma once
// The engine's file-system port over a Win32 directory, with the A functions.
//
// The update directory may be writable by others, so no name is taken on its word: every entry
// is opened as itself (FILE_FLAG_OPEN_REPARSE_POINT: a link at the end of a name is not
// followed), and the final path of the handle must be the update directory's own final path
// followed by the name; anything else is a Link and is never read, written, renamed or deleted.
// Deleting and setting attributes go through that checked handle. Every directory the engine
// creates files in is held open without FILE_SHARE_DELETE for the life of the object, so it
// cannot be renamed away and replaced by a link meanwhile.
#include "engine/engine_file_system.h"
#include "support/win32/held_files.h"
#include "support/win32/unique_handle.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hotfix::engine {

class Win32FileSystem : public EngineFileSystem {
public:
    // `root`: the update directory, as given ("." or "C:\\Program Files\\App", with or without a
    // trailing backslash). Open() must succeed before anything else is asked.
    explicit Win32FileSystem(std::string root);

    // Opens and holds the update directory itself (reached through links or not: only what lies
    // below it is checked). Fails when it is not a directory.
    IoStatus Open();

    IoStatus Query(const std::string& path, PathKind& kind) override;
    IoStatus OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) override;
    IoStatus CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) override;
    IoStatus Rename(const std::string& from, const std::string& to, bool replace) override;
    IoStatus Delete(const std::string& path) override;
    IoStatus MakeDirectory(const std::string& path) override;
    IoStatus RemoveEmptyDirectory(const std::string& path) override;
    IoStatus ReadAttributes(const std::string& path, std::uint32_t& attributes) override;
    IoStatus WriteAttributes(const std::string& path, std::uint32_t attributes) override;
    IoStatus FreeSpace(std::uint64_t& bytes) override;

    std::string FullPath(const std::string& path) const;

    // Who hears of each wait for a file that another process held for a moment: every open,
    // rename and deletion that fails so is tried again for a while (support/win32/held_files.h).
    void ReportWaitsTo(win32::HeldWaitReport report) { m_waitReport = std::move(report); }

private:
    using FileHandle = win32::UniqueFile;
    enum class Found { Missing, Here, Elsewhere };

    // Opens `path` itself with `access` and `share`; `found` says whether it exists and whether
    // it is where its name says (Here) or a link / reached through one (Elsewhere; the handle is
    // closed then). `info` receives what the handle tells of it when Here.
    IoStatus OpenEntry(const std::string& path, DWORD access, DWORD share, DWORD flags, Found& found,
                       FileHandle& handle, BY_HANDLE_FILE_INFORMATION& info);
    // Makes sure every directory from the root down to `directory` is where its name says, and
    // holds each of them. "" is the root.
    IoStatus HoldDirectory(const std::string& directory);
    IoStatus HoldParentOf(const std::string& path);
    // `attempt`, tried again while another process holds the first of `paths` (the holders of
    // all of them are named).
    bool Held(const std::vector<std::string>& paths, const std::function<bool()>& attempt);

    std::string m_root;
    std::string m_rootFinal;
    FileHandle m_rootHandle;
    std::map<std::string, FileHandle> m_held; // PathKey of a directory -> its handle
    win32::HeldWaitReport m_waitReport;
};

// Opens any file by its Win32 path for reading: readers may share it, and so may a holder with
// delete access (the installer keeps the patch file it placed so), writers may not.
IoStatus OpenWin32Readable(const std::string& fullPath, std::unique_ptr<ReadableFile>& file);

} // namespace hotfix::engine
