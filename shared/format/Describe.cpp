#include "format/Describe.h"

#include "format/MocfTags.h"

namespace describe {

namespace {

const char kDigits[] = "0123456789ABCDEF";
const char kLowerDigits[] = "0123456789abcdef";

bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

std::string HexByte(unsigned char c) {
  return std::string("\\x") + kLowerDigits[c >> 4] + kLowerDigits[c & 15];
}

std::string EscapedByte(unsigned char c) {
  switch (c) {
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    case '\r':
      return "\\r";
    case '\\':
      return "\\\\";
    case '"':
      return "\\\"";
    default:
      return IsPrintable(c) ? std::string(1, static_cast<char>(c)) : HexByte(c);
  }
}

}  // namespace

std::string Hex(uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return "0x" + digits;
}

std::string HexBytes(const unsigned char* p, size_t size) {
  std::string out;
  out.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    out += kLowerDigits[p[i] >> 4];
    out += kLowerDigits[p[i] & 15];
  }
  return out;
}

std::string Escaped(const unsigned char* p, size_t size) {
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < size; ++i) out += EscapedByte(p[i]);
  return out;
}

std::string Shortened(const unsigned char* p, size_t size, size_t maxBytes) {
  if (size <= maxBytes) return Escaped(p, size);
  return Escaped(p, maxBytes) + "...";
}

std::string Char(unsigned char c) {
  const std::string code = "0x" + std::string(1, kDigits[c >> 4]) + kDigits[c & 15];
  if (!IsPrintable(c)) return code;
  return "'" + std::string(1, static_cast<char>(c)) + "' (" + code + ")";
}

const char* KindName(unsigned int tag) {
  switch (tag) {
    case mocf::kVersionTag:
      return "version";
    case mocf::kHashTag:
      return "hash";
    case mocf::kCompatProdTag:
      return "compatible products";
    case mocf::kFirmwareTag:
    case mocf::kFirmwareAltTag:
      return "firmware";
    case mocf::kUserFileTag:
      return "user file";
    case mocf::kSwKeysTag:
      return "software keys";
    case mocf::kCustomDefaultsTag:
      return "custom defaults";
    case mocf::kMenuSettingsTag:
      return "menu settings";
    case mocf::kNestedMocfTag:
    case mocf::kMocfTag:
      return "nested MOCF";
    default:
      return "unknown";
  }
}

const char* NestedKindName(unsigned int tag) {
  switch (tag) {
    case mocf::kFileNameTag:
      return "file name";
    case mocf::kDataTag:
      return "data";
    case mocf::kSwVersionTag:
      return "software version";
    case mocf::kFwCompatProdTag:
      return "compatible products";
    default:
      return "unknown";
  }
}

std::string RecordPlace(int index, unsigned int tag, uint64_t offset) {
  return "record " + std::to_string(index) + " (" + KindName(tag) + " at " + Hex(offset) + ")";
}

}  // namespace describe
