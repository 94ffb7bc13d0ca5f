#include "format/MocfRecordParser.h"

#include <algorithm>
#include <cstdint>

#include "format/Coding.h"
#include "format/Describe.h"
#include "format/MocfTags.h"

namespace {

std::string Bytes(uint64_t count) { return std::to_string(count) + " bytes"; }

}  // namespace

bool CMocfVersionParser::IsValid() {
  if (CTlv::GetLength(m_pRecord) < 1)
    return Refuse("the version is empty; it needs a first byte 0x00");
  const unsigned char first = CTlv::GetData(m_pRecord)[0];
  if (first != 0)
    return Refuse("the version's first byte is 0x" + describe::HexBytes(&first, 1) + ", not 0x00");
  return true;
}

bool CMocfHashParser::IsValid() {
  const unsigned int length = CTlv::GetLength(m_pRecord);
  if (length != mocf::kHashSize)
    return Refuse("the digest is " + Bytes(length) + "; a SHA-1 digest is 20");
  return true;
}

const unsigned char* CMocfHashParser::GetHash() { return CTlv::GetData(m_pRecord); }

bool CMocfCompatProdParser::IsValid() {
  const uint64_t length = CTlv::GetLength(m_pRecord);
  if (length < 4)
    return Refuse("the product list is " + Bytes(length) + ", too few for its count (4)");
  const uint64_t count = GetNumItems();
  if (4 * (count + 1) != length)
    return Refuse("the product list is " + Bytes(length) + "; a count of " + std::to_string(count) +
                  " needs 4 + 4 * " + std::to_string(count));
  return true;
}

unsigned int CMocfCompatProdParser::GetNumItems() {
  if (CTlv::GetLength(m_pRecord) < 4) return 0;
  return coding::DecodeFixed32(CTlv::GetData(m_pRecord));
}

unsigned int CMocfCompatProdParser::ReadableItems() {
  const unsigned int length = CTlv::GetLength(m_pRecord);
  if (length < 4) return 0;
  return std::min(GetNumItems(), (length - 4) / 4);
}

bool CMocfCompatProdParser::FindId(unsigned int Id) {
  const unsigned char* pNumbers = CTlv::GetData(m_pRecord) + 4;
  const unsigned int count = ReadableItems();
  for (unsigned int i = 0; i < count; ++i) {
    if (coding::DecodeFixed32(pNumbers + 4 * static_cast<size_t>(i)) == Id) return true;
  }
  return false;
}
