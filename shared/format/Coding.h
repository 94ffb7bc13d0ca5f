// Fixed-width little-endian encoding. Record headers may sit at any byte
// offset inside a buffer, so every access goes through memcpy.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace coding {

inline uint32_t DecodeFixed32(const unsigned char* p) {
  unsigned char b[4];
  std::memcpy(b, p, 4);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void EncodeFixed32(unsigned char* p, uint32_t value) {
  unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                        static_cast<unsigned char>(value >> 16),
                        static_cast<unsigned char>(value >> 24)};
  std::memcpy(p, b, 4);
}

inline void PutFixed32(std::vector<unsigned char>* dst, uint32_t value) {
  const size_t end = dst->size();
  dst->resize(end + 4);
  EncodeFixed32(dst->data() + end, value);
}

}  // namespace coding
