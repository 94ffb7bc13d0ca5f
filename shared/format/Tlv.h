// The record format every MOCF structure is made of: a 32-bit tag, a 32-bit
// value length (both little-endian) and the value. Inside a container each
// record is followed by zero padding up to a multiple of four bytes.
#pragma once

#include <cstddef>
#include <cstdint>

class CTlv {
 public:
  struct Header_t {
    uint32_t Tag;
    uint32_t Length;
  };
  static constexpr size_t kHeaderSize = 8;

  static unsigned int GetTag(const Header_t* pHeader);
  static unsigned int GetLength(const Header_t* pHeader);
  static const unsigned char* GetData(const Header_t* pHeader);

  // Header plus value, computed wide so a hostile Length cannot wrap.
  static uint64_t GetRecordSize(const Header_t* pHeader) {
    return kHeaderSize + static_cast<uint64_t>(GetLength(pHeader));
  }
  static const Header_t* AtByte(const unsigned char* p) {
    return reinterpret_cast<const Header_t*>(p);
  }
  static const unsigned char* Bytes(const Header_t* pHeader) {
    return reinterpret_cast<const unsigned char*>(pHeader);
  }
};
