#include "format/MocfCreator.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "format/Gen6Creators.h"
#include "format/Gen6MocfParser.h"
#include "format/MocfTags.h"

CMocfVersionCreator::CMocfVersionCreator() {
  static const unsigned char kVersion[2] = {0, 0};
  SetRecord(GetMyTag(), kVersion, sizeof kVersion);
}

unsigned int CMocfVersionCreator::GetMyTag() { return mocf::kVersionTag; }

// The placeholder digest is zeros; Finish overwrites it.
CMocfHashCreator::CMocfHashCreator() {
  static const unsigned char kPlaceholder[mocf::kHashSize] = {};
  SetRecord(GetMyTag(), kPlaceholder, sizeof kPlaceholder);
}

unsigned int CMocfHashCreator::GetMyTag() { return mocf::kHashTag; }

unsigned int CCompatProdCreator::GetMyTag() { return mocf::kCompatProdTag; }

void CCompatProdCreator::Set(const std::vector<unsigned int>* pProducts) {
  const std::vector<unsigned char> value = EncodeProductList(pProducts);
  SetRecord(GetMyTag(), value.data(), value.size());
}

unsigned int CMocfCreator::GetMyTag() { return mocf::kMocfTag; }

void CMocfCreator::Init() {
  SetRecord(GetMyTag(), nullptr, 0);
  const CMocfVersionCreator version;
  const CMocfHashCreator hash;
  AddObject(&version);
  AddObject(&hash);
}

namespace {

bool Refused(std::string* pReason, std::string reason) {
  if (pReason) *pReason = std::move(reason);
  return false;
}

}  // namespace

// Nothing follows the container in a file this tool writes, and an image
// without a hash record could not be finished: both are refused.
bool CMocfCreator::IsAdoptable(const unsigned char* pImage, size_t size, bool trustDigest,
                               std::string* pReason, CReadPace* pPace) {
  if (CMocfParser::IsNotMocf(pImage, size, pReason)) return false;
  const std::string bytes = "the file is " + std::to_string(size) + " bytes";
  if (size < CTlv::kHeaderSize) return Refused(pReason, bytes + ", too few for a MOCF header (8)");
  const CTlv::Header_t* pHeader = CTlv::AtByte(pImage);
  if (CTlv::GetRecordSize(pHeader) != size)
    return Refused(pReason,
                   bytes + ", its header says 8 + " + std::to_string(CTlv::GetLength(pHeader)));
  CGen6MocfParser parser(pHeader, size);
  parser.SetPace(pPace);
  if (trustDigest) parser.TrustStoredHash();
  if (!parser.IsValid()) return Refused(pReason, parser.GetReason());
  const CTlv::Header_t* pHash = nullptr;
  if (!parser.FindRecord(mocf::kHashTag, &pHash, nullptr))
    return Refused(pReason, "there is no hash record (tag 0x1); a MOCF to append to needs one");
  return true;
}

bool CMocfCreator::Init(const std::vector<unsigned char>* pMocf) {
  if (!IsAdoptable(pMocf->data(), pMocf->size())) return false;
  CTlvContainerCreator::Set(pMocf);
  return true;
}

bool CMocfCreator::Init(std::vector<unsigned char>&& mocf) {
  if (!IsAdoptable(mocf.data(), mocf.size())) return false;
  CTlvContainerCreator::Set(std::move(mocf));
  return true;
}

bool CMocfCreator::InitTrustingDigest(std::vector<unsigned char>&& mocf) {
  if (!IsAdoptable(mocf.data(), mocf.size(), true)) return false;
  CTlvContainerCreator::Set(std::move(mocf));
  return true;
}

void CMocfCreator::Finish() {
  CGen6MocfParser parser(CTlv::AtByte(m_TlvContainer.data()), m_TlvContainer.size());
  Finish(&parser);
}

void CMocfCreator::Finish(CMocfParser* pParser) {
  unsigned char digest[mocf::kHashSize];
  pParser->CalcHash(digest);
  const CTlv::Header_t* pHash = nullptr;
  if (!pParser->FindRecord(mocf::kHashTag, &pHash, nullptr)) return;
  const size_t offset = static_cast<size_t>(CTlv::GetData(pHash) - m_TlvContainer.data());
  const size_t size = std::min<size_t>(CTlv::GetLength(pHash), mocf::kHashSize);
  std::memcpy(m_TlvContainer.data() + offset, digest, size);
}
