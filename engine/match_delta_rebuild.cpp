#include "engine/match_delta_rebuild.h"

#include "engine/match_delta.h"

#include <memory>

namespace hotfix::engine {

RebuildResult RebuildFromMatchDelta(EngineFileSystem& fs, ReadableFile& patch, const PatchEntry& entry,
                                    const OldVersion& from, VcdiffSink& writer) {
    RebuildResult result;
    auto failed = [&](ApplyOutcome outcome, const std::string& message) {
        result.outcome = outcome;
        result.message = message;
        return result;
    };
    std::unique_ptr<ReadableFile> file;
    IoStatus status = fs.OpenRead(entry.path, file);
    const std::uint64_t oldSize = status.ok ? file->Size() : 0;
    if (status.ok && oldSize != from.digest.size)
        return failed(ApplyOutcome::NotApplicable, entry.path + " changed while the patch was being applied");
    // Not zero-filled first: the old file is read straight into it.
    std::unique_ptr<std::uint8_t[]> old(new std::uint8_t[oldSize == 0 ? 1 : static_cast<std::size_t>(oldSize)]);
    if (status.ok && oldSize > 0) status = file->ReadAt(0, old.get(), static_cast<std::size_t>(oldSize));
    if (!status.ok) {
        std::string message = "cannot read " + entry.path + ": " + status.message;
        if (status.code != 0) message += " (error " + std::to_string(status.code) + ")";
        return failed(ApplyOutcome::IoFailureRolledBack, message);
    }
    file.reset();
    const MatchDeltaResult decoded = DecodeMatchDelta(patch, from.content.offset, from.content.storedSize, old.get(),
                                                      static_cast<std::size_t>(oldSize), entry.target.size, writer);
    if (!decoded.ok)
        return failed(decoded.ioFailed ? ApplyOutcome::IoFailureRolledBack : ApplyOutcome::CorruptPatch,
                      "delta of " + entry.path + ": " + decoded.error);
    result.ok = true;
    return result;
}

} // namespace hotfix::engine
