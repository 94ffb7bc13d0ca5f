#include "inspect/Inspect.h"

#include <algorithm>
#include <cstring>

#include "format/Coding.h"
#include "format/Describe.h"
#include "format/MocfCreator.h"
#include "format/MocfParser.h"
#include "format/MocfTags.h"

namespace mocfinfo {

namespace {

// A parser needs somewhere to point even when the file is empty.
const unsigned char kNoBytes[CTlv::kHeaderSize] = {};

constexpr size_t kMaxDigestBytes = 32;

// Some other file's bytes would read as records of no meaning.
size_t Walkable(const unsigned char* pImage, size_t size) {
  return CMocfParser::IsNotMocf(pImage, size) ? 0 : size;
}

}  // namespace

const char* RecordInfo::Kind() const {
  return nestedLevel ? describe::NestedKindName(Tag()) : describe::KindName(Tag());
}

RecordWalk::RecordWalk(const CTlv::Header_t* pContainer, size_t bytesAvailable,
                       const unsigned char* pImage, bool nestedLevel, CReadPace* pPace)
    : m_Parser(pContainer, bytesAvailable), m_pImage(pImage), m_NestedLevel(nestedLevel) {
  m_Parser.SetPace(pPace);
}

RecordWalk::RecordWalk(const RecordInfo& parent, const unsigned char* pImage)
    : RecordWalk(parent.header, CTlv::GetRecordSize(parent.header), pImage, true) {}

bool RecordWalk::Next(RecordInfo* pRecord) {
  if (m_Ended) return false;
  const CTlv::Header_t* p = m_Index == 0 ? m_Parser.GetFirstRecord() : m_Parser.GetNextRecord();
  if (!p) {
    m_Ended = true;
    return false;
  }
  *pRecord =
      RecordInfo{++m_Index, static_cast<uint64_t>(CTlv::Bytes(p) - m_pImage), p, m_NestedLevel};
  const unsigned int tag = pRecord->Tag();
  if (!m_NestedLevel && tag <= mocf::kCompatProdTag) {
    pRecord->read = !m_Seen[tag];
    m_Seen[tag] = true;
  }
  return true;
}

std::string RecordWalk::Stop() {
  std::string why;
  return m_Parser.WalkStoppedShort(&why) ? why : "";
}

RecordWalk Inspection::Records() const {
  return RecordWalk(CTlv::AtByte(image), Walkable(image, size), image, false, pace);
}

bool Inspection::Find(int n, RecordInfo* pRecord) const {
  RecordWalk walk = Records();
  while (walk.Next(pRecord)) {
    if (pRecord->index == n) return true;
  }
  return false;
}

namespace {

Inspection InspectWith(const std::string& file, const unsigned char* pImage, size_t size,
                       CReadPace* pPace, bool trustDigest) {
  Inspection inspection;
  inspection.file = file;
  inspection.image = size == 0 ? kNoBytes : pImage;
  inspection.size = size;
  inspection.pace = pPace;
  inspection.valid =
      CMocfCreator::IsAdoptable(inspection.image, size, trustDigest, &inspection.reason, pPace);
  RecordWalk walk = inspection.Records();
  RecordInfo record;
  while (walk.Next(&record)) ++inspection.recordCount;
  inspection.stop = walk.Stop();
  CMocfParser parser(CTlv::AtByte(inspection.image), Walkable(inspection.image, size));
  parser.SetPace(pPace);
  const CTlv::Header_t* pHash = nullptr;
  if (trustDigest || !parser.FindRecord(mocf::kHashTag, &pHash, nullptr)) return inspection;
  // A valid image's stored digest has just been checked: no second pass.
  unsigned char digest[mocf::kHashSize];
  if (inspection.valid)
    inspection.digest = describe::HexBytes(CTlv::GetData(pHash), mocf::kHashSize);
  else if (parser.CalcHash(digest))
    inspection.digest = describe::HexBytes(digest, sizeof digest);
  return inspection;
}

}  // namespace

Inspection Inspect(const std::string& file, const unsigned char* pImage, size_t size,
                   CReadPace* pPace) {
  return InspectWith(file, pImage, size, pPace, false);
}

Inspection InspectTrustingDigest(const std::string& file, const unsigned char* pImage,
                                 size_t size, CReadPace* pPace) {
  return InspectWith(file, pImage, size, pPace, true);
}

bool FindNested(const RecordInfo& parent, const unsigned char* pImage, unsigned int tag,
                RecordInfo* pFound) {
  RecordWalk walk(parent, pImage);
  while (walk.Next(pFound)) {
    if (pFound->Tag() == tag) return true;
  }
  return false;
}

uint64_t ProductCount(const RecordInfo& record) {
  const unsigned int length = record.Length();
  if (length < 4) return 0;
  return std::min<uint64_t>(coding::DecodeFixed32(record.Value()), (length - 4) / 4);
}

unsigned int ProductAt(const RecordInfo& record, uint64_t i) {
  return coding::DecodeFixed32(record.Value() + 4 + 4 * i);
}

std::string_view Text(const RecordInfo& record) {
  const char* p = reinterpret_cast<const char*>(record.Value());
  const void* pNul = std::memchr(p, 0, record.Length());
  const size_t size =
      pNul ? static_cast<size_t>(static_cast<const char*>(pNul) - p) : record.Length();
  return std::string_view(p, size);
}

bool PartNumber(const RecordInfo& record, std::string_view* pPart) {
  constexpr std::string_view kMark = "FIMPNM";
  constexpr size_t kMaxPartNum = 20;
  std::string_view text = Text(record);
  // The builder closes the text with '.'; it is no part of the number.
  if (!text.empty() && text.back() == '.') text.remove_suffix(1);
  for (size_t at = text.rfind(kMark); at != std::string_view::npos;
       at = at ? text.rfind(kMark, at - 1) : std::string_view::npos) {
    const size_t size = text.size() - at - kMark.size();
    if (size >= 1 && size <= kMaxPartNum && (at == 0 || text[at - 1] == ';')) {
      *pPart = text.substr(at + kMark.size());
      return true;
    }
  }
  return false;
}

std::string StoredDigest(const RecordInfo& record) {
  const size_t size = std::min<size_t>(record.Length(), kMaxDigestBytes);
  return describe::HexBytes(record.Value(), size) + (record.Length() > size ? "..." : "");
}

bool DigestMatches(const Inspection& inspection, const RecordInfo& record) {
  return record.Length() == mocf::kHashSize && !inspection.digest.empty() &&
         StoredDigest(record) == inspection.digest;
}

}  // namespace mocfinfo
