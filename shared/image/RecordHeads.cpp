#include "image/RecordHeads.h"

#include <cstring>
#include <limits>

#include "format/Coding.h"
#include "format/Gen6Verdict.h"
#include "format/MocfTags.h"
#include "platform/Platform.h"
#include "format/TlvContainerParser.h"

namespace {

// Values the checks read whole are read so up to this size.
constexpr uint64_t kMaxReadValue = 1 << 20;

bool IsText(unsigned int tag) { return tag >= mocf::kSwKeysTag && tag <= mocf::kMenuSettingsTag; }
bool IsContainer(unsigned int tag) {
  return tag == mocf::kFirmwareTag || tag == mocf::kFirmwareAltTag || tag == mocf::kUserFileTag;
}
// Inside a user file the name is read, inside a firmware record the products.
bool NestedValueRead(unsigned int outer, unsigned int inner) {
  return outer == mocf::kUserFileTag ? inner == mocf::kFileNameTag
                                     : inner == mocf::kFwCompatProdTag;
}

void Append(std::vector<unsigned char>* pOut, const CTlv::Header_t& header,
            const unsigned char* pValue) {
  unsigned char bytes[CTlv::kHeaderSize];
  coding::EncodeFixed32(bytes, header.Tag);
  coding::EncodeFixed32(bytes + 4, header.Length);
  pOut->insert(pOut->end(), bytes, bytes + sizeof bytes);
  if (pValue) pOut->insert(pOut->end(), pValue, pValue + header.Length);
}

CTlv::Header_t Decode(const unsigned char* p) {
  return {coding::DecodeFixed32(p), coding::DecodeFixed32(p + 4)};
}

}  // namespace

CRecordHeads::CRecordHeads(const std::string& path) : m_pFile(platform::OpenFile(path, "rb")) {}

CRecordHeads::~CRecordHeads() {
  if (m_pFile) std::fclose(m_pFile);
}

bool CRecordHeads::ReadAt(uint64_t offset, unsigned char* pTo, size_t size) {
  return m_pFile && offset <= static_cast<uint64_t>(std::numeric_limits<long>::max()) &&
         std::fseek(m_pFile, static_cast<long>(offset), SEEK_SET) == 0 &&
         std::fread(pTo, 1, size, m_pFile) == size;
}

bool CRecordHeads::Start(CTlv::Header_t* pHeader, uint64_t* pFileSize) {
  unsigned char bytes[CTlv::kHeaderSize];
  if (!ReadAt(0, bytes, sizeof bytes) || std::fseek(m_pFile, 0, SEEK_END) != 0) return false;
  const long size = std::ftell(m_pFile);
  if (size < 0) return false;
  *pHeader = Decode(bytes);
  *pFileSize = static_cast<uint64_t>(size);
  m_End = CTlv::kHeaderSize + uint64_t{pHeader->Length};
  return true;
}

bool CRecordHeads::Next(RecordHead_t* pHead) {
  if (m_Pos == m_End) m_AtEnd = true;
  // The records must fill the container exactly, padding included.
  if (m_AtEnd || !RecordAt(m_Pos, m_End, pHead) || pHead->PaddedSize > m_End - m_Pos)
    return false;
  m_Pos += pHead->PaddedSize;
  return true;
}

bool CRecordHeads::RecordAt(uint64_t offset, uint64_t end, RecordHead_t* pHead) {
  unsigned char bytes[CTlv::kHeaderSize];
  if (end < offset || end - offset < CTlv::kHeaderSize || !ReadAt(offset, bytes, sizeof bytes))
    return false;
  const CTlv::Header_t header = Decode(bytes);
  if (CTlv::GetRecordSize(CTlv::AtByte(bytes)) > end - offset) return false;
  pHead->Offset = offset;
  pHead->PaddedSize = CTlvContainerParser::GetPaddedSize(CTlv::AtByte(bytes));
  pHead->Header = header;
  pHead->Checked.clear();
  return StandIn(header, offset, &pHead->Checked);
}

// The checks of the MOCF's own records and of texts read the value whole;
// those of user files and firmware read their nested records' heads and
// one nested value; those of every other kind read the tag alone.
bool CRecordHeads::StandIn(const CTlv::Header_t& header, uint64_t offset,
                           std::vector<unsigned char>* pOut) {
  const unsigned int tag = header.Tag;
  if (tag <= mocf::kCompatProdTag || IsText(tag)) {
    if (header.Length > kMaxReadValue) return false;
    std::vector<unsigned char> value(header.Length);
    if (!ReadAt(offset + CTlv::kHeaderSize, value.data(), value.size())) return false;
    Append(pOut, header, value.data());
    return true;
  }
  if (!IsContainer(tag)) {
    Append(pOut, {tag, 0}, nullptr);
    return true;
  }
  // The nested walk as a container parser makes it, over the real lengths.
  std::vector<unsigned char> nested;
  uint64_t pos = offset + CTlv::kHeaderSize, left = header.Length;
  for (int i = 0; i < 3 && left >= CTlv::kHeaderSize; ++i) {
    unsigned char bytes[CTlv::kHeaderSize];
    if (!ReadAt(pos, bytes, sizeof bytes)) return false;
    const CTlv::Header_t inner = Decode(bytes);
    if (CTlv::GetRecordSize(CTlv::AtByte(bytes)) > left) break;
    if (NestedValueRead(tag, inner.Tag)) {
      if (inner.Length > kMaxReadValue) return false;
      std::vector<unsigned char> value(inner.Length);
      if (!ReadAt(pos + CTlv::kHeaderSize, value.data(), value.size())) return false;
      Append(&nested, inner, value.data());
    } else {
      Append(&nested, {inner.Tag, 0}, nullptr);
    }
    nested.resize((nested.size() + 3) / 4 * 4, 0);
    const uint64_t step = CTlvContainerParser::GetPaddedSize(CTlv::AtByte(bytes));
    if (left <= step) break;
    pos += step;
    left -= step;
  }
  Append(pOut, {tag, static_cast<uint32_t>(nested.size())}, nested.data());
  return true;
}

bool WalkSoundHeads(const std::string& path, CTlv::Header_t* pHeader, uint64_t* pSize,
                    CGen6Verdict* pVerdict, const std::function<void(RecordHead_t& head)>& take) {
  CRecordHeads heads(path);
  if (!heads.Start(pHeader, pSize) || CTlv::GetTag(pHeader) != mocf::kMocfTag ||
      *pSize != CTlv::GetRecordSize(pHeader))
    return false;
  RecordHead_t head;
  while (heads.Next(&head)) {
    if (!pVerdict->Take(CTlv::AtByte(head.Checked.data()), head.PaddedSize)) return false;
    take(head);
  }
  return heads.AtEnd() && pVerdict->HoldsTogether();
}
