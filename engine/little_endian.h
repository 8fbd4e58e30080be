#pragma once
// Little-endian integers in bytes, as the patch file, the journal, the match delta and the
// branch filter hold them; the VCDIFF decoder reads its bytes with the same bounded reader.
// LittleEndianReader reads a span front to back, never past its end: a read that needs more
// bytes than remain returns false and takes nothing, its output unchanged, and the caller says
// so in its own format's words. LittleEndianWriter appends integers to a byte vector. Example:
//     LittleEndianWriter(out).U16(0x1234);                // appends {0x34, 0x12}
//     LittleEndianReader reader(out.data(), out.size());  // out holds just those two bytes
//     reader.U16(value) && reader.AtEnd();                // true, value == 0x1234
//     reader.U8(byte);                                    // false: nothing remains, byte unchanged
// Portable, no platform headers.
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace hotfix::engine {

// The sizeof(T) bytes at `p` as an unsigned T, and back: for a layout of fixed offsets whose size
// the caller has checked, and for changing bytes in place.
template <typename T>
T LoadLittleEndian(const std::uint8_t* p) {
    static_assert(std::is_unsigned<T>::value, "an unsigned integer type");
    T value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) value = static_cast<T>((value << 8) | p[i]);
    return value;
}

template <typename T>
void StoreLittleEndian(std::uint8_t* p, T value) {
    static_assert(std::is_unsigned<T>::value, "an unsigned integer type");
    for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

class LittleEndianReader {
public:
    LittleEndianReader() = default;
    LittleEndianReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool U8(std::uint8_t& value) { return Integer(value); }
    bool U16(std::uint16_t& value) { return Integer(value); }
    bool U32(std::uint32_t& value) { return Integer(value); }
    bool U64(std::uint64_t& value) { return Integer(value); }
    // The next `count` bytes in place, as a reader of their own, or copied to `out`.
    bool Take(std::uint64_t count, const std::uint8_t*& where) {
        if (count > Remaining()) return false;
        where = m_data + m_position;
        m_position += static_cast<std::size_t>(count);
        return true;
    }
    bool Section(std::uint64_t count, LittleEndianReader& section);
    bool Bytes(std::uint8_t* out, std::size_t count);
    std::size_t Position() const { return m_position; }
    std::size_t Remaining() const { return m_size - m_position; }
    bool AtEnd() const { return m_position == m_size; }

private:
    template <typename T>
    bool Integer(T& value) {
        const std::uint8_t* where = nullptr;
        if (!Take(sizeof(T), where)) return false;
        value = LoadLittleEndian<T>(where);
        return true;
    }

    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0, m_position = 0;
};

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::vector<std::uint8_t>& out) : m_out(out) {}

    void U8(std::uint8_t value) { Integer(value); }
    void U16(std::uint16_t value) { Integer(value); }
    void U32(std::uint32_t value) { Integer(value); }
    void U64(std::uint64_t value) { Integer(value); }

private:
    template <typename T>
    void Integer(T value) {
        m_out.resize(m_out.size() + sizeof(T));
        StoreLittleEndian(m_out.data() + m_out.size() - sizeof(T), value);
    }

    std::vector<std::uint8_t>& m_out;
};

} // namespace hotfix::engine
