#pragma once
// A file-system port that passes every call on to another and adds up the wall time spent in
// each kind of call: reading, writing, flushing (the flushes of written files, and the durable
// renames, which flush the directory), and the rest (opening, looking, deleting). Bench only:
// the engine it measures is the shipped one, unchanged.
#include "engine/engine_file_system.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace hotfix::bench {

// Summed over the threads that call the port (the engine may read an old file for its hash on
// one of its own).
struct IoTimes {
    double read = 0, write = 0, flush = 0, other = 0;
    std::uint64_t readBytes = 0, writtenBytes = 0;
    std::mutex lock;
};

class Stopwatch {
public:
    Stopwatch(IoTimes& times, double IoTimes::*total, std::uint64_t IoTimes::*bytes = nullptr, std::uint64_t count = 0)
        : m_times(times), m_total(total), m_bytes(bytes), m_count(count), m_start(std::chrono::steady_clock::now()) {}
    ~Stopwatch() {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::lock_guard<std::mutex> hold(m_times.lock);
        m_times.*m_total += seconds;
        if (m_bytes != nullptr) m_times.*m_bytes += m_count;
    }

private:
    IoTimes& m_times;
    double IoTimes::*m_total;
    std::uint64_t IoTimes::*m_bytes;
    std::uint64_t m_count;
    std::chrono::steady_clock::time_point m_start;
};

class TimedReadable : public engine::ReadableFile {
public:
    TimedReadable(std::unique_ptr<engine::ReadableFile> file, IoTimes& times) : m_file(std::move(file)), m_times(times) {}
    std::uint64_t Size() const override { return m_file->Size(); }
    engine::IoStatus ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
        Stopwatch watch(m_times, &IoTimes::read, &IoTimes::readBytes, size);
        return m_file->ReadAt(offset, buffer, size);
    }
    std::uint8_t* MapPrivate() override {
        Stopwatch watch(m_times, &IoTimes::read);
        return m_file->MapPrivate();
    }

private:
    std::unique_ptr<engine::ReadableFile> m_file;
    IoTimes& m_times;
};

class TimedWritable : public engine::WritableFile {
public:
    TimedWritable(std::unique_ptr<engine::WritableFile> file, IoTimes& times) : m_file(std::move(file)), m_times(times) {}
    ~TimedWritable() override {
        Stopwatch watch(m_times, &IoTimes::other); // closing
        m_file.reset();
    }
    engine::IoStatus Write(const void* data, std::size_t size) override {
        Stopwatch watch(m_times, &IoTimes::write, &IoTimes::writtenBytes, size);
        return m_file->Write(data, size);
    }
    engine::IoStatus Flush() override {
        Stopwatch watch(m_times, &IoTimes::flush);
        return m_file->Flush();
    }

private:
    std::unique_ptr<engine::WritableFile> m_file;
    IoTimes& m_times;
};

class TimedFileSystem : public engine::EngineFileSystem {
public:
    TimedFileSystem(engine::EngineFileSystem& inner, IoTimes& times) : m_inner(inner), m_times(times) {}

    engine::IoStatus Query(const std::string& path, engine::PathKind& kind) override {
        Stopwatch watch(m_times, &IoTimes::other);
        return m_inner.Query(path, kind);
    }
    engine::IoStatus OpenRead(const std::string& path, std::unique_ptr<engine::ReadableFile>& file) override {
        Stopwatch watch(m_times, &IoTimes::other);
        std::unique_ptr<engine::ReadableFile> opened;
        engine::IoStatus status = m_inner.OpenRead(path, opened);
        if (status.ok) file = std::make_unique<TimedReadable>(std::move(opened), m_times);
        return status;
    }
    engine::IoStatus CreateNew(const std::string& path, std::unique_ptr<engine::WritableFile>& file) override {
        Stopwatch watch(m_times, &IoTimes::other);
        std::unique_ptr<engine::WritableFile> created;
        engine::IoStatus status = m_inner.CreateNew(path, created);
        if (status.ok) file = std::make_unique<TimedWritable>(std::move(created), m_times);
        return status;
    }
    engine::IoStatus Rename(const std::string& from, const std::string& to, bool replace) override {
        Stopwatch watch(m_times, &IoTimes::flush);
        return m_inner.Rename(from, to, replace);
    }
    engine::IoStatus Delete(const std::string& path) override {
        Stopwatch watch(m_times, &IoTimes::other);
        return m_inner.Delete(path);
    }
    engine::IoStatus MakeDirectory(const std::string& path) override {
        Stopwatch watch(m_times, &IoTimes::other);
        return m_inner.MakeDirectory(path);
    }
    engine::IoStatus RemoveEmptyDirectory(const std::string& path) override {
        Stopwatch watch(m_times, &IoTimes::other);
        return m_inner.RemoveEmptyDirectory(path);
    }
    engine::IoStatus ReadAttributes(const std::string& path, std::uint32_t& attributes) override {
        Stopwatch watch(m_times, &IoTimes::other);
        return m_inner.ReadAttributes(path, attributes);
    }
    engine::IoStatus WriteAttributes(const std::string& path, std::uint32_t attributes) override {
        Stopwatch watch(m_times, &IoTimes::other);
        return m_inner.WriteAttributes(path, attributes);
    }
    engine::IoStatus FreeSpace(std::uint64_t& bytes) override {
        Stopwatch watch(m_times, &IoTimes::other);
        return m_inner.FreeSpace(bytes);
    }

private:
    engine::EngineFileSystem& m_inner;
    IoTimes& m_times;
};

} // namespace hotfix::bench
