#include "format/TlvContainerCreator.h"

#include <cassert>
#include <utility>

#include "format/Coding.h"
#include "format/TlvContainerParser.h"

CTlvContainerCreator& CTlvContainerCreator::operator=(const CTlvContainerCreator& Other) {
  if (this != &Other) m_TlvContainer = Other.m_TlvContainer;
  return *this;
}

CTlvContainerCreator& CTlvContainerCreator::operator=(CTlvContainerCreator&& Other) noexcept {
  if (this != &Other) m_TlvContainer = std::move(Other.m_TlvContainer);
  return *this;
}

void CTlvContainerCreator::Set(const CTlv::Header_t* pHeader, const unsigned char* pValue) {
  assert(!((pHeader->Length || pValue) && !(pHeader->Length && pValue)));
  m_TlvContainer.clear();
  m_TlvContainer.reserve(CTlv::kHeaderSize + pHeader->Length);
  coding::PutFixed32(&m_TlvContainer, pHeader->Tag);
  coding::PutFixed32(&m_TlvContainer, pHeader->Length);
  if (pHeader->Length) m_TlvContainer.insert(m_TlvContainer.end(), pValue, pValue + pHeader->Length);
}

void CTlvContainerCreator::Set(const CTlv::Header_t* pHeader,
                               const std::vector<unsigned char>* pValue) {
  assert(pHeader->Length == pValue->size());
  Set(pHeader, pHeader->Length ? pValue->data() : nullptr);
}

void CTlvContainerCreator::Set(const CTlv::Header_t* pHeader, std::vector<unsigned char>&& value) {
  assert(pHeader->Length == value.size());
  unsigned char header[CTlv::kHeaderSize];
  coding::EncodeFixed32(header, pHeader->Tag);
  coding::EncodeFixed32(header + 4, pHeader->Length);
  value.insert(value.begin(), header, header + CTlv::kHeaderSize);
  m_TlvContainer = std::move(value);
}

void CTlvContainerCreator::Set(const std::vector<unsigned char>* pTlv) { m_TlvContainer = *pTlv; }

void CTlvContainerCreator::Set(std::vector<unsigned char>&& tlv) { m_TlvContainer = std::move(tlv); }

void CTlvContainerCreator::SetRecord(unsigned int Tag, const unsigned char* pValue, size_t size) {
  const CTlv::Header_t header = {Tag, static_cast<uint32_t>(size)};
  assert(header.Length == size);
  Set(&header, size ? pValue : nullptr);
}

unsigned int CTlvContainerCreator::GetTlvTag() {
  assert(HasHeader());
  return coding::DecodeFixed32(m_TlvContainer.data());
}

unsigned int CTlvContainerCreator::GetTlvLength() {
  assert(HasHeader());
  return coding::DecodeFixed32(m_TlvContainer.data() + 4);
}

void CTlvContainerCreator::SetTlvLength(unsigned int Length) {
  assert(HasHeader());
  coding::EncodeFixed32(m_TlvContainer.data() + 4, Length);
}

void CTlvContainerCreator::AppendData(const std::vector<unsigned char>* pData) {
  AppendData(pData->data(), pData->size());
}

void CTlvContainerCreator::AppendData(const unsigned char* pData, size_t size) {
  assert(HasHeader());
  if (size == 0) return;
  m_TlvContainer.insert(m_TlvContainer.end(), pData, pData + size);
  SetTlvLength(GetTlvLength() + static_cast<unsigned int>(size));
}

void CTlvContainerCreator::AddObject(const CTlvContainerCreator* pObject) {
  assert(pObject->HasHeader());
  const std::vector<unsigned char>& child = pObject->m_TlvContainer;
  const int padding = CTlvContainerParser::CalcNumPaddingBytes(CTlv::AtByte(child.data()));
  AppendData(child.data(), child.size());
  static const unsigned char kZeros[4] = {0, 0, 0, 0};
  AppendData(kZeros, static_cast<size_t>(padding));
}

void CTlvContainerCreator::AddObject(CTlvContainerCreator&& object) {
  std::vector<unsigned char>& child = object.m_TlvContainer;
  assert(HasHeader() && object.HasHeader());
  const size_t padding =
      static_cast<size_t>(CTlvContainerParser::CalcNumPaddingBytes(CTlv::AtByte(child.data())));
  const size_t total = m_TlvContainer.size() + child.size() + padding;
  if (child.size() <= m_TlvContainer.size() || child.capacity() < total) {
    Reserve(child.size() + padding);
    AddObject(&object);
    return;
  }
  const unsigned int length = GetTlvLength() + static_cast<unsigned int>(child.size() + padding);
  child.insert(child.begin(), m_TlvContainer.begin(), m_TlvContainer.end());
  child.resize(total, 0);
  m_TlvContainer = std::move(child);
  SetTlvLength(length);
}

void CTlvContainerCreator::Reserve(size_t extraBytes) {
  if (m_TlvContainer.capacity() - m_TlvContainer.size() < extraBytes)
    m_TlvContainer.reserve(m_TlvContainer.size() + extraBytes);
}

unsigned int CTlvContainerCreator::GetMyTag() { return GetTlvTag(); }
