#include "tools/overlay_file_system.h"

#include "engine/native/posix_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace hotfix::tools {

namespace {

namespace fs = std::filesystem;
using engine::IoStatus;
using engine::PathKind;

// errno's values, so that a failure reads as the same failure on disk would.
IoStatus Refused(int code, const std::string& what) {
    return IoStatus::Failure(static_cast<std::uint32_t>(code), what + ": " + std::strerror(code));
}

class MemoryReadable : public engine::ReadableFile {
public:
    explicit MemoryReadable(std::shared_ptr<std::vector<std::uint8_t>> bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t Size() const override { return m_bytes->size(); }
    IoStatus ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
        if (offset > m_bytes->size() || size > m_bytes->size() - offset)
            return IoStatus::Failure(0, "read past the end of the file");
        if (size != 0) std::memcpy(buffer, m_bytes->data() + offset, size);
        return IoStatus::Success();
    }

private:
    std::shared_ptr<std::vector<std::uint8_t>> m_bytes;
};

// Writes into the node's buffer as it goes: what was written is there even if the engine never
// flushes (as on disk, where a crash is the only thing a flush guards against).
class MemoryWritable : public engine::WritableFile {
public:
    explicit MemoryWritable(std::shared_ptr<std::vector<std::uint8_t>> bytes) : m_bytes(std::move(bytes)) {}
    IoStatus Write(const void* data, std::size_t size) override {
        const auto* in = static_cast<const std::uint8_t*>(data);
        m_bytes->insert(m_bytes->end(), in, in + size);
        return IoStatus::Success();
    }
    IoStatus Flush() override { return IoStatus::Success(); }

private:
    std::shared_ptr<std::vector<std::uint8_t>> m_bytes;
};

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

OverlayFileSystem::OverlayFileSystem(const std::string& root) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::end(it); it.increment(error)) {
        std::string relative = fs::relative(it->path(), root).generic_string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        Node node;
        node.directory = it->is_directory(error);
        if (!node.directory) node.diskPath = it->path().string();
        m_nodes.emplace(relative, std::move(node));
    }
    if (error) throw std::runtime_error("cannot list " + root + ": " + error.message());
}

bool OverlayFileSystem::ParentIsDirectory(const std::string& path) const {
    const std::string parent = ParentOf(path);
    if (parent.empty()) return true;
    auto node = m_nodes.find(parent);
    return node != m_nodes.end() && node->second.directory;
}

IoStatus OverlayFileSystem::Query(const std::string& path, PathKind& kind) {
    auto node = m_nodes.find(path);
    kind = node == m_nodes.end() ? PathKind::Missing : node->second.directory ? PathKind::Directory : PathKind::File;
    return IoStatus::Success();
}

IoStatus OverlayFileSystem::OpenRead(const std::string& path, std::unique_ptr<engine::ReadableFile>& file) {
    auto node = m_nodes.find(path);
    if (node == m_nodes.end()) return Refused(ENOENT, "open " + path);
    if (node->second.directory) return Refused(EISDIR, "open " + path);
    if (node->second.written) {
        file = std::make_unique<MemoryReadable>(node->second.written);
        return IoStatus::Success();
    }
    return engine::OpenPosixReadable(node->second.diskPath, file);
}

IoStatus OverlayFileSystem::CreateNew(const std::string& path, std::unique_ptr<engine::WritableFile>& file) {
    if (m_nodes.count(path) != 0) return Refused(EEXIST, "create " + path);
    if (!ParentIsDirectory(path)) return Refused(ENOENT, "create " + path);
    Node node;
    node.written = std::make_shared<std::vector<std::uint8_t>>();
    file = std::make_unique<MemoryWritable>(node.written);
    m_nodes.emplace(path, std::move(node));
    return IoStatus::Success();
}

IoStatus OverlayFileSystem::Rename(const std::string& from, const std::string& to, bool replace) {
    auto source = m_nodes.find(from);
    if (source == m_nodes.end()) return Refused(ENOENT, "rename " + from);
    if (source->second.directory) return Refused(EISDIR, "rename " + from);
    if (!ParentIsDirectory(to)) return Refused(ENOENT, "rename " + from);
    auto target = m_nodes.find(to);
    if (target != m_nodes.end()) {
        if (!replace) return Refused(EEXIST, "rename " + from);
        if (target->second.directory) return Refused(EISDIR, "rename " + from);
    }
    if (from == to) return IoStatus::Success();
    Node moved = std::move(source->second);
    m_nodes.erase(source);
    m_nodes[to] = std::move(moved);
    return IoStatus::Success();
}

IoStatus OverlayFileSystem::Delete(const std::string& path) {
    auto node = m_nodes.find(path);
    if (node == m_nodes.end()) return Refused(ENOENT, "delete " + path);
    if (node->second.directory) return Refused(EISDIR, "delete " + path);
    m_nodes.erase(node);
    return IoStatus::Success();
}

IoStatus OverlayFileSystem::MakeDirectory(const std::string& path) {
    if (m_nodes.count(path) != 0) return Refused(EEXIST, "mkdir " + path);
    if (!ParentIsDirectory(path)) return Refused(ENOENT, "mkdir " + path);
    m_nodes[path].directory = true;
    return IoStatus::Success();
}

IoStatus OverlayFileSystem::RemoveEmptyDirectory(const std::string& path) {
    auto node = m_nodes.find(path);
    if (node == m_nodes.end()) return Refused(ENOENT, "rmdir " + path);
    if (!node->second.directory) return Refused(ENOTDIR, "rmdir " + path);
    const std::string below = path + "\\";
    auto child = m_nodes.lower_bound(below);
    if (child != m_nodes.end() && child->first.compare(0, below.size(), below) == 0)
        return Refused(ENOTEMPTY, "rmdir " + path);
    m_nodes.erase(node);
    return IoStatus::Success();
}

// Trees on disk here carry no such attributes, as with engine::PosixFileSystem.
IoStatus OverlayFileSystem::ReadAttributes(const std::string& path, std::uint32_t& attributes) {
    if (m_nodes.count(path) == 0) return Refused(ENOENT, "attributes of " + path);
    attributes = 0;
    return IoStatus::Success();
}

IoStatus OverlayFileSystem::WriteAttributes(const std::string& path, std::uint32_t) {
    if (m_nodes.count(path) == 0) return Refused(ENOENT, "attributes of " + path);
    return IoStatus::Success();
}

IoStatus OverlayFileSystem::FreeSpace(std::uint64_t& bytes) {
    bytes = UINT64_MAX;
    return IoStatus::Success();
}

std::vector<std::string> OverlayFileSystem::Files() const {
    std::vector<std::string> files;
    for (const auto& [path, node] : m_nodes)
        if (!node.directory) files.push_back(path);
    return files;
}

bool OverlayFileSystem::Contents(const std::string& path, std::vector<std::uint8_t>& bytes) const {
    auto node = m_nodes.find(path);
    if (node == m_nodes.end() || node->second.directory) return false;
    if (node->second.written) {
        bytes = *node->second.written;
        return true;
    }
    std::ifstream in(node->second.diskPath, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace hotfix::tools
