#pragma once
// The two byte streams of staging, each hashed in the background while the engine goes on:
// the delta's source, taken whole from the old file, and the new file, written to the staged
// file as it is produced.
#include "engine/background_work.h"
#include "engine/engine_file_system.h"
#include "engine/rtp_format.h"
#include "engine/sha256.h"
#include "engine/target_sink.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hotfix::engine {

// The old file a delta rebuilds from, as a private copy in memory: mapped where the file system
// can, otherwise read (into memory not zero-filled first). Its hash is taken on `work`, piece by
// piece as the bytes arrive. The file stays open until it is destroyed.
//
// A decoder that changes its copy (the match delta converts branch targets in place) must not
// race the hashing: a mapped file is then hashed as the file holds it, read a piece at a time on
// `work` (the private copy's changes never reach the file), and a file read into memory is
// hashed before Read returns.
class DeltaSource {
public:
    enum class Use { AsRead, ChangedInPlace };

    explicit DeltaSource(BackgroundWork& work) : m_work(work) {}
    ~DeltaSource(); // waits for the hashing of its bytes
    DeltaSource(const DeltaSource&) = delete;
    DeltaSource& operator=(const DeltaSource&) = delete;

    // Reads `path` when it is `size` bytes long; a file of another size is read no further, and
    // IsVersion() then says false.
    IoStatus Read(EngineFileSystem& fs, const std::string& path, std::uint64_t size, Use use);

    // Waits for the hash: whether the bytes read are `version`. Once only. False too when the
    // file could not be read for its hash (hashStatus()).
    bool IsVersion(const FileDigest& version);
    const IoStatus& hashStatus() const { return m_hashStatus; }

    std::uint8_t* data() { return m_bytes; }
    std::size_t size() const { return m_size; }

private:
    BackgroundWork& m_work;
    std::unique_ptr<ReadableFile> m_file;
    std::unique_ptr<std::uint8_t[]> m_read;  // when the file is not mapped
    std::unique_ptr<std::uint8_t[]> m_piece; // the hashing's buffer, when the mapping is changed
    std::uint8_t* m_bytes = nullptr;
    std::size_t m_size = 0;
    bool m_otherSize = false;
    Sha256 m_hasher;
    IoStatus m_hashStatus; // of the hashing task's own reads
    std::uint64_t m_lastTask = 0;
};

// Writes to the staged file, never more than expected, and hashes and counts what passes. The
// bytes are gathered into buffers of kChunk, each written and handed to the hashing in turn; a
// buffer is reused once its hash is taken. Drain() writes what is gathered.
class StagedWriter : public TargetSink {
public:
    static constexpr std::size_t kChunk = 256u << 10;
    static constexpr std::size_t kBuffers = 4;

    StagedWriter(WritableFile& file, std::uint64_t expected, BackgroundWork& work)
        : m_file(file), m_expected(expected), m_work(work) {}
    ~StagedWriter() override; // waits for the hashing of its buffers
    StagedWriter(const StagedWriter&) = delete;
    StagedWriter& operator=(const StagedWriter&) = delete;

    bool Write(const std::uint8_t* data, std::size_t size) override;
    // What it is given is checked by its hash, and a staged file that fails is removed.
    bool TakesUncheckedBytes() const override { return true; }
    bool Drain();
    const IoStatus& status() const { return m_status; }
    bool tooLong() const { return m_tooLong; }
    // Drains, waits for the hash and tells whether exactly `target` passed. Once only.
    bool Matches(const FileDigest& target);

private:
    WritableFile& m_file;
    std::uint64_t m_expected;
    BackgroundWork& m_work;
    std::uint64_t m_written = 0;
    bool m_tooLong = false;
    IoStatus m_status;
    Sha256 m_hasher;
    std::unique_ptr<std::uint8_t[]> m_buffers[kBuffers];
    std::uint64_t m_hashTask[kBuffers] = {}; // the task hashing each buffer's last bytes
    std::size_t m_current = 0;
    std::size_t m_filled = 0;
    std::uint64_t m_lastTask = 0;
};

} // namespace hotfix::engine
