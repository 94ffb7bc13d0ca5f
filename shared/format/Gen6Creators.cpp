#include "format/Gen6Creators.h"

#include <cstring>
#include <utility>

#include "format/Coding.h"
#include "format/MocfTags.h"

namespace {

// The characters of the text, then the terminator (if any), then NUL.
std::vector<unsigned char> TextValue(const char* pText, size_t size, const char* pTerminator) {
  std::vector<unsigned char> value(pText, pText + size);
  for (; *pTerminator; ++pTerminator) value.push_back(static_cast<unsigned char>(*pTerminator));
  value.push_back(0);
  return value;
}

}  // namespace

std::vector<unsigned char> EncodeProductList(const std::vector<unsigned int>* pProducts) {
  std::vector<unsigned char> value;
  value.reserve(4 * (pProducts->size() + 1));
  coding::PutFixed32(&value, static_cast<uint32_t>(pProducts->size()));
  for (unsigned int product : *pProducts) coding::PutFixed32(&value, product);
  return value;
}

unsigned int CGen6DataCreator::GetMyTag() { return mocf::kDataTag; }

void CGen6DataCreator::Set(const std::vector<unsigned char>* pData) {
  SetRecord(GetMyTag(), pData->data(), pData->size());
}

void CGen6DataCreator::Set(std::vector<unsigned char>&& data) {
  const CTlv::Header_t header = {GetMyTag(), static_cast<uint32_t>(data.size())};
  CTlvContainerCreator::Set(&header, std::move(data));
}

unsigned int CGen6FileNameCreator::GetMyTag() { return mocf::kFileNameTag; }

void CGen6FileNameCreator::Set(const char* pName) {
  const std::vector<unsigned char> value = TextValue(pName, std::strlen(pName), "");
  SetRecord(GetMyTag(), value.data(), value.size());
}

unsigned int CGen6SwVersionCreator::GetMyTag() { return mocf::kSwVersionTag; }

void CGen6SwVersionCreator::Set(const char* pVersion) {
  const std::vector<unsigned char> value = TextValue(pVersion, std::strlen(pVersion), "");
  SetRecord(GetMyTag(), value.data(), value.size());
}

unsigned int CGen6CompatProdCreator::GetMyTag() { return mocf::kFwCompatProdTag; }

void CGen6CompatProdCreator::Set(const std::vector<unsigned int>* pProducts) {
  const std::vector<unsigned char> value = EncodeProductList(pProducts);
  SetRecord(GetMyTag(), value.data(), value.size());
}

unsigned int CGen6UserFileCreator::GetMyTag() { return mocf::kUserFileTag; }

void CGen6UserFileCreator::Set(const CGen6FileNameCreator* pFileName,
                               const CGen6DataCreator* pData) {
  SetRecord(GetMyTag(), nullptr, 0);
  Reserve(pFileName->Get()->size() + pData->Get()->size() + 6);
  AddObject(pFileName);
  AddObject(pData);
}

void CGen6UserFileCreator::Set(const CGen6FileNameCreator* pFileName, CGen6DataCreator&& data) {
  SetRecord(GetMyTag(), nullptr, 0);
  AddObject(pFileName);
  AddObject(std::move(data));
}

// Firmware records are only recognised under 0x60000000 and 0x60000001;
// writing the first keeps what this creator builds acceptable.
unsigned int CGen6FirmwareCreator::GetMyTag() { return mocf::kFirmwareTag; }

void CGen6FirmwareCreator::Set(const CGen6CompatProdCreator* pCompatProducts,
                               const CGen6SwVersionCreator* pSwVersion,
                               const CGen6DataCreator* pData) {
  SetRecord(GetMyTag(), nullptr, 0);
  AddObject(pCompatProducts);
  AddObject(pSwVersion);
  AddObject(pData);
}

unsigned int CGen6MenuSettingsCreator::GetMyTag() { return mocf::kMenuSettingsTag; }

void CGen6MenuSettingsCreator::Set(const std::string* pText) {
  const std::vector<unsigned char> value = TextValue(pText->data(), pText->size(), ".");
  SetRecord(GetMyTag(), value.data(), value.size());
}

unsigned int CGen6SwKeysCreator::GetMyTag() { return mocf::kSwKeysTag; }

unsigned int CGen6CustomDefaultMenuSettingsCreator::GetMyTag() { return mocf::kCustomDefaultsTag; }

void CGen6CustomDefaultMenuSettingsCreator::Set(const std::string* pText) {
  const std::vector<unsigned char> value = TextValue(pText->data(), pText->size(), "@");
  SetRecord(GetMyTag(), value.data(), value.size());
}
