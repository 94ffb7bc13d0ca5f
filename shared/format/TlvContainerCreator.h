// Builds one TLV record in a byte vector it owns, and grows it as a
// container by appending child records with their padding. Every record
// creator of the format derives from it; a plain one carries a finished
// record from one layer to the next.
#pragma once

#include <cstddef>
#include <vector>

#include "format/Tlv.h"

class CTlvContainerCreator {
 public:
  CTlvContainerCreator() = default;
  virtual ~CTlvContainerCreator() = default;
  CTlvContainerCreator(const CTlvContainerCreator&) = default;
  CTlvContainerCreator(CTlvContainerCreator&&) noexcept = default;
  CTlvContainerCreator& operator=(const CTlvContainerCreator& Other);
  // Records can be hundreds of MiB; handing one on should not copy it.
  CTlvContainerCreator& operator=(CTlvContainerCreator&& Other) noexcept;

  // pValue must be null exactly when pHeader->Length is 0.
  void Set(const CTlv::Header_t* pHeader, const unsigned char* pValue);
  void Set(const CTlv::Header_t* pHeader, const std::vector<unsigned char>* pValue);
  // The value moved in; the header goes in front of it in place, so a
  // large value is not copied when its vector has room for eight more bytes.
  void Set(const CTlv::Header_t* pHeader, std::vector<unsigned char>&& value);
  // A complete record image, taken as it is.
  void Set(const std::vector<unsigned char>* pTlv);
  void Set(std::vector<unsigned char>&& tlv);

  const std::vector<unsigned char>* Get() const { return &m_TlvContainer; }

  unsigned int GetTlvTag();
  unsigned int GetTlvLength();
  void SetTlvLength(unsigned int Length);

  void AppendData(const std::vector<unsigned char>* pData);
  void AppendData(const unsigned char* pData, size_t size);
  void AddObject(const CTlvContainerCreator* pObject);
  // The same, but when the child is the larger of the two and its vector
  // has room, this container's bytes move in front of the child's instead
  // of the child being copied.
  void AddObject(CTlvContainerCreator&& object);
  // Room for this many more bytes, so a large child is appended in one go.
  void Reserve(size_t extraBytes);

  virtual unsigned int GetMyTag();

 protected:
  // Starts a record with a fixed tag and a value of the given bytes.
  void SetRecord(unsigned int Tag, const unsigned char* pValue, size_t size);
  bool HasHeader() const { return m_TlvContainer.size() >= CTlv::kHeaderSize; }

  std::vector<unsigned char> m_TlvContainer;
};
