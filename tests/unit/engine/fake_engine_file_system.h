#pragma once
// An in-memory EngineFileSystem that counts its operations and can fail or "crash" at the Nth.
//   failAt = N:   operation N fails (does nothing, reports an error); the others succeed.
//   failFrom = N: operation N and every later one fail.
//   crashAt = N:  operation N throws SimulatedCrash before doing anything: the process "dies"
//                 there, with everything done so far kept (as on a disk after a kill).
//   exhaustAt = N: operation N throws std::bad_alloc, as an allocation that finds no memory.
// Names compare case-insensitively, as on the target platform. `locked` paths cannot be opened,
// renamed or deleted (held by another process without sharing). A link (PutLink) is reported as
// such, and so is everything under it; no operation goes through one.
#include "engine/engine_file_system.h"
#include "engine/patch_path.h"

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace hotfix::engine::testing {

struct SimulatedCrash {};

class FakeEngineFileSystem : public EngineFileSystem {
public:
    long failAt = 0;
    long failFrom = 0;
    long crashAt = 0;
    long exhaustAt = 0;
    long operations = 0;
    std::set<std::string> locked; // PathKey of locked paths
    bool mapFiles = false;        // files opened for reading can be mapped (as a private copy)
    // What FreeSpace reports: plenty, unless a test says otherwise. It is no counted operation
    // (the fault injection above keeps its numbering); freeSpaceFails makes it fail.
    std::uint64_t freeSpace = std::uint64_t(1) << 40;
    bool freeSpaceFails = false;
    // Called before each operation with its description ("create app.exe.hfx~new"), e.g. to
    // change a file behind the engine's back.
    std::function<void(const std::string&)> beforeStep;

    void PutFile(const std::string& path, const std::string& content) {
        m_nodes[PathKey(path)] = Node{false, path, std::make_shared<std::string>(content)};
    }
    void PutDirectory(const std::string& path) { m_nodes[PathKey(path)] = Node{true, path, nullptr}; }
    void PutLink(const std::string& path) { m_nodes[PathKey(path)] = Node{false, path, nullptr, 0, true}; }
    std::uint32_t AttributesOf(const std::string& path) const { return m_nodes.at(PathKey(path)).attributes; }
    void SetAttributes(const std::string& path, std::uint32_t attributes) { m_nodes.at(PathKey(path)).attributes = attributes; }

    // Every file, by its name as created, with its bytes.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& [key, node] : m_nodes)
            if (!node.directory) files[node.name] = node.link ? "<link>" : *node.bytes;
        return files;
    }
    std::set<std::string> Directories() const {
        std::set<std::string> directories;
        for (const auto& [key, node] : m_nodes)
            if (node.directory) directories.insert(node.name);
        return directories;
    }
    void ResetFaults() {
        failAt = failFrom = crashAt = exhaustAt = 0;
        operations = 0;
    }

    IoStatus Query(const std::string& path, PathKind& kind) override {
        IoStatus status = Step("query " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) {
            kind = PathKind::Link;
            return status;
        }
        auto node = m_nodes.find(PathKey(path));
        kind = node == m_nodes.end() ? PathKind::Missing : node->second.directory ? PathKind::Directory : PathKind::File;
        return status;
    }

    IoStatus OpenRead(const std::string& path, std::unique_ptr<ReadableFile>& file) override {
        IoStatus status = Step("open " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) return LinkRefused(path);
        if (IsLocked(path)) return IoStatus::Failure(32, "sharing violation: " + path);
        auto node = m_nodes.find(PathKey(path));
        if (node == m_nodes.end() || node->second.directory) return IoStatus::Failure(2, "no file " + path);
        file = std::make_unique<Reader>(*this, node->second.bytes);
        return status;
    }

    IoStatus CreateNew(const std::string& path, std::unique_ptr<WritableFile>& file) override {
        IoStatus status = Step("create " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) return LinkRefused(path);
        if (m_nodes.count(PathKey(path)) != 0) return IoStatus::Failure(80, "exists: " + path);
        if (!ParentExists(path)) return IoStatus::Failure(3, "no directory for " + path);
        auto bytes = std::make_shared<std::string>();
        m_nodes[PathKey(path)] = Node{false, path, bytes};
        file = std::make_unique<Writer>(*this, bytes);
        return status;
    }

    IoStatus Rename(const std::string& from, const std::string& to, bool replace) override {
        IoStatus status = Step("rename " + from + " -> " + to);
        if (!status.ok) return status;
        if (UnderLink(from) || UnderLink(to)) return LinkRefused(from + " -> " + to);
        if (IsLocked(from) || IsLocked(to)) return IoStatus::Failure(32, "sharing violation");
        auto source = m_nodes.find(PathKey(from));
        if (source == m_nodes.end() || source->second.directory) return IoStatus::Failure(2, "no file " + from);
        auto target = m_nodes.find(PathKey(to));
        if (target != m_nodes.end() && (!replace || target->second.directory))
            return IoStatus::Failure(183, "exists: " + to);
        if (!ParentExists(to)) return IoStatus::Failure(3, "no directory for " + to);
        Node moved = source->second;
        moved.name = to;
        m_nodes.erase(source);
        m_nodes[PathKey(to)] = moved;
        return status;
    }

    IoStatus Delete(const std::string& path) override {
        IoStatus status = Step("delete " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) return LinkRefused(path);
        if (IsLocked(path)) return IoStatus::Failure(32, "sharing violation");
        auto node = m_nodes.find(PathKey(path));
        if (node == m_nodes.end() || node->second.directory) return IoStatus::Failure(2, "no file " + path);
        m_nodes.erase(node);
        return status;
    }

    IoStatus MakeDirectory(const std::string& path) override {
        IoStatus status = Step("mkdir " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) return LinkRefused(path);
        if (m_nodes.count(PathKey(path)) != 0) return IoStatus::Failure(183, "exists: " + path);
        if (!ParentExists(path)) return IoStatus::Failure(3, "no directory for " + path);
        PutDirectory(path);
        return status;
    }

    IoStatus RemoveEmptyDirectory(const std::string& path) override {
        IoStatus status = Step("rmdir " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) return LinkRefused(path);
        auto node = m_nodes.find(PathKey(path));
        if (node == m_nodes.end() || !node->second.directory) return IoStatus::Failure(267, "no directory " + path);
        std::string prefix = PathKey(path) + "\\";
        for (const auto& [key, other] : m_nodes)
            if (key.compare(0, prefix.size(), prefix) == 0) return IoStatus::Failure(145, "not empty: " + path);
        m_nodes.erase(node);
        return status;
    }

    IoStatus ReadAttributes(const std::string& path, std::uint32_t& attributes) override {
        IoStatus status = Step("attributes " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) return LinkRefused(path);
        auto node = m_nodes.find(PathKey(path));
        if (node == m_nodes.end()) return IoStatus::Failure(2, "no file " + path);
        attributes = node->second.attributes;
        return status;
    }

    IoStatus WriteAttributes(const std::string& path, std::uint32_t attributes) override {
        IoStatus status = Step("set attributes " + path);
        if (!status.ok) return status;
        if (UnderLink(path)) return LinkRefused(path);
        auto node = m_nodes.find(PathKey(path));
        if (node == m_nodes.end()) return IoStatus::Failure(2, "no file " + path);
        node->second.attributes = attributes;
        return status;
    }

    IoStatus FreeSpace(std::uint64_t& bytes) override {
        if (freeSpaceFails) return IoStatus::Failure(21, "device not ready");
        bytes = freeSpace;
        IoStatus status;
        status.message = "the volume of the fake";
        return status;
    }

private:
    struct Node {
        bool directory = false;
        std::string name;
        std::shared_ptr<std::string> bytes;
        std::uint32_t attributes = 0;
        bool link = false;
    };

    // The path itself or one of its parents is a link.
    bool UnderLink(const std::string& path) const {
        for (std::string at = path; !at.empty(); at = ParentOf(at)) {
            auto node = m_nodes.find(PathKey(at));
            if (node != m_nodes.end() && node->second.link) return true;
        }
        return false;
    }
    static IoStatus LinkRefused(const std::string& what) { return IoStatus::Failure(5, "a link: " + what); }

    class Reader : public ReadableFile {
    public:
        Reader(FakeEngineFileSystem& fs, std::shared_ptr<std::string> bytes) : m_fs(fs), m_bytes(*bytes) {}
        std::uint64_t Size() const override { return m_bytes.size(); }
        IoStatus ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
            IoStatus status = m_fs.Step("read");
            if (!status.ok) return status;
            if (offset > m_bytes.size() || size > m_bytes.size() - offset) return IoStatus::Failure(38, "short read");
            std::memcpy(buffer, m_bytes.data() + offset, size);
            return status;
        }
        std::uint8_t* MapPrivate() override {
            if (!m_fs.mapFiles || m_bytes.empty()) return nullptr;
            if (m_mapped.empty()) m_mapped = m_bytes;
            return reinterpret_cast<std::uint8_t*>(&m_mapped[0]);
        }

    private:
        FakeEngineFileSystem& m_fs;
        std::string m_bytes;  // a snapshot, as an open handle sees a file nobody may write
        std::string m_mapped; // the private copy: changes to it never reach m_bytes
    };

    class Writer : public WritableFile {
    public:
        Writer(FakeEngineFileSystem& fs, std::shared_ptr<std::string> bytes) : m_fs(fs), m_bytes(std::move(bytes)) {}
        IoStatus Write(const void* data, std::size_t size) override {
            IoStatus status = m_fs.Step("write");
            if (status.ok) m_bytes->append(static_cast<const char*>(data), size);
            return status;
        }
        IoStatus Flush() override { return m_fs.Step("flush"); }

    private:
        FakeEngineFileSystem& m_fs;
        std::shared_ptr<std::string> m_bytes;
    };

    // A mapped source is hashed by reading it on a thread of the engine's own.
    IoStatus Step(const std::string& what) {
        std::lock_guard<std::mutex> lock(m_stepLock.mutex);
        if (beforeStep) beforeStep(what);
        ++operations;
        if (crashAt != 0 && operations == crashAt) throw SimulatedCrash{};
        if (exhaustAt != 0 && operations == exhaustAt) throw std::bad_alloc();
        if ((failAt != 0 && operations == failAt) || (failFrom != 0 && operations >= failFrom))
            return IoStatus::Failure(1117, "injected failure at operation " + std::to_string(operations) + ": " + what);
        return IoStatus::Success();
    }
    struct StepLock { // a copy of the file system gets a lock of its own
        StepLock() = default;
        StepLock(const StepLock&) {}
        StepLock& operator=(const StepLock&) { return *this; }
        std::mutex mutex;
    } m_stepLock;
    bool IsLocked(const std::string& path) const { return locked.count(PathKey(path)) != 0; }
    bool ParentExists(const std::string& path) const {
        std::string parent = ParentOf(path);
        if (parent.empty()) return true;
        auto node = m_nodes.find(PathKey(parent));
        return node != m_nodes.end() && node->second.directory;
    }

    std::map<std::string, Node> m_nodes;
};

} // namespace hotfix::engine::testing
