// Little-endian access to byte buffers: the byte order of PE files and of the
// configuration block. Callers check bounds before reading.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovex {

using Bytes = std::vector<uint8_t>;

inline uint16_t readU16(const Bytes& bytes, std::size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline uint32_t readU32(const Bytes& bytes, std::size_t at) {
    return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<uint32_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

inline int32_t readI32(const Bytes& bytes, std::size_t at) {
    return static_cast<int32_t>(readU32(bytes, at));
}

inline void appendU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline void appendI32(Bytes& out, int32_t value) { appendU32(out, static_cast<uint32_t>(value)); }

}  // namespace tovex
