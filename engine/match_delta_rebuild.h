#pragma once
// Staging with a match delta: builds the new file of a change entry from the old file on disk
// and the entry's match delta, into the staged file's writer. Called by the transaction
// (patch_apply.cpp) for ContentMethod::MatchDelta; the transaction verifies, flushes and swaps.
#include "engine/engine_file_system.h"
#include "engine/patch_apply.h"
#include "engine/rtp_format.h"
#include "engine/vcdiff_decoder.h"

#include <string>

namespace hotfix::engine {

struct RebuildResult {
    bool ok = false;
    ApplyOutcome outcome = ApplyOutcome::CorruptPatch; // when !ok
    std::string message;                               // when !ok, naming the file
};

// Reads `entry.path` (of `from`'s size, otherwise NotApplicable) and decodes from.content against
// it into `writer`. Its bytes are not hashed here: the new file's hash, checked by the caller,
// proves them, and the caller looks at the file again only when that check fails. Memory: the old file, the streams'
// dictionaries (at most the new size plus a fixed amount) and fixed buffers. A writer that
// refuses bytes makes it fail with CorruptPatch; the caller tells a write failure apart by the
// writer's own status.
RebuildResult RebuildFromMatchDelta(EngineFileSystem& fs, ReadableFile& patch, const PatchEntry& entry,
                                    const OldVersion& from, VcdiffSink& writer);

} // namespace hotfix::engine
