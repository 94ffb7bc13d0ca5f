// Words for bytes: how reasons and listings show tags, offsets, digests and
// text taken from a MOCF, whatever bytes it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace describe {

// "0x44"; upper-case digits, no padding.
std::string Hex(uint64_t value);
// Lower-case hex pairs without separators: "3a4f…".
std::string HexBytes(const unsigned char* p, size_t size);
// Printable ASCII as it is except '\' and '"'; everything else as \n, \t,
// \r or \xHH. The result is always printable ASCII.
std::string Escaped(const unsigned char* p, size_t size);
// The same for at most maxBytes of them, with "..." when more follow.
std::string Shortened(const unsigned char* p, size_t size, size_t maxBytes);
// A byte as 'c' (0x63), or as 0x0A alone when it is not printable.
std::string Char(unsigned char c);

// What a record is, by its tag, directly inside a MOCF ("user file") and
// inside an object record ("file name").
const char* KindName(unsigned int tag);
const char* NestedKindName(unsigned int tag);

// "record 4 (user file at 0x44)": the record's number counted from 1 and
// its offset from the start of the image.
std::string RecordPlace(int index, unsigned int tag, uint64_t offset);

}  // namespace describe
