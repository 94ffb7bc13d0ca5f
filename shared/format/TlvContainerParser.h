// A read-only view of one container record held in memory: walks and
// searches its direct records in place. The view knows how many bytes it may
// read and never looks past them, whatever the lengths inside claim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ReadPace.h"
#include "format/Refusal.h"
#include "format/Tlv.h"

class CTlvContainerParser : public CRefusal {
 public:
  // pContainer points at the container's header; bytesAvailable is how many
  // bytes from there on belong to the buffer.
  CTlvContainerParser(const CTlv::Header_t* pContainer, size_t bytesAvailable);
  // Parsers are created by a factory and deleted through base pointers.
  virtual ~CTlvContainerParser() = default;

  // True when there is a container and its header and whole value lie
  // inside the bytes available.
  virtual bool IsValid();

  // A record is yielded only when its header and value lie wholly inside
  // the container's value; the first one that does not ends the walk.
  const CTlv::Header_t* GetFirstRecord();
  const CTlv::Header_t* GetNextRecord();

  static int CalcNumPaddingBytes(const CTlv::Header_t* pRecord);
  // 8 + Length + padding, without 32-bit overflow.
  static uint64_t GetPaddedSize(const CTlv::Header_t* pRecord);

  int GetLength();
  int GetContainerSize();
  bool FindRecord(unsigned int Tag, const CTlv::Header_t** ppRecord, int* pIndex);

  // After a walk has ended: true, with the reason, when it stopped before
  // the end of the container's value (within the bytes available).
  bool WalkStoppedShort(std::string* pWhy);
  // Offset of a byte from the container's first byte.
  uint64_t OffsetOf(const void* p) const;
  // Told of every step of a walk and every byte hashed, for bytes that lie
  // in a mapped file; none by default.
  void SetPace(CReadPace* pPace) { m_pPace = pPace; }

 protected:
  bool HeaderReadable() const;
  // The part of the container's value that lies inside the buffer.
  uint64_t ValueBytes() const;
  // Whether a record at pRecord fits in the bytesLeft bytes that follow it.
  static bool RecordFits(const CTlv::Header_t* pRecord, uint64_t bytesLeft);
  // Why no record fits at pAt, where bytesLeft bytes of the value are left.
  std::string WhyNoRecordAt(const unsigned char* pAt, uint64_t bytesLeft) const;

  struct ObjectFind_t {
    const CTlv::Header_t* pRecord;
    // Bytes from the current record to the end of the container's value.
    uint64_t BytesLeft;
  };

  const CTlv::Header_t* m_pTlvContainer;
  size_t m_BytesAvailable;
  ObjectFind_t m_ObjectFind;
  CReadPace* m_pPace = nullptr;
};
