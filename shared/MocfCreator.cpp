#include "MocfCreator.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "Gen6Creators.h"
#include "Gen6MocfParser.h"
#include "MocfTags.h"

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

// Nothing follows the container in a file this tool writes, and an image
// without a hash record could not be finished: both are refused.
bool CMocfCreator::IsAdoptable(const unsigned char* pImage, size_t size, bool trustDigest) {
  if (size < CTlv::kHeaderSize) return false;
  const CTlv::Header_t* pHeader = CTlv::AtByte(pImage);
  if (CTlv::GetRecordSize(pHeader) != size) return false;
  CGen6MocfParser parser(pHeader, size);
  if (trustDigest) parser.TrustStoredHash();
  const CTlv::Header_t* pHash = nullptr;
  return parser.IsValid() && parser.FindRecord(mocf::kHashTag, &pHash, nullptr);
}

bool CMocfCreator::IsAdoptable(const std::vector<unsigned char>* pMocf, bool trustDigest) {
  return IsAdoptable(pMocf->data(), pMocf->size(), trustDigest);
}

bool CMocfCreator::Init(const std::vector<unsigned char>* pMocf) {
  if (!IsAdoptable(pMocf, false)) return false;
  CTlvContainerCreator::Set(pMocf);
  return true;
}

bool CMocfCreator::Init(std::vector<unsigned char>&& mocf) {
  if (!IsAdoptable(&mocf, false)) return false;
  CTlvContainerCreator::Set(std::move(mocf));
  return true;
}

bool CMocfCreator::InitTrustingDigest(std::vector<unsigned char>&& mocf) {
  if (!IsAdoptable(&mocf, true)) return false;
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
