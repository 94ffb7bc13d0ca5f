// The Gen6 verdict on an image that grows a record at a time. It is kept
// up to date from the rules CGen6MocfParser applies, so that each new record
// costs only its own check, never a walk over the records before it, and a
// refusal reads exactly as the check of the whole image would word it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/Gen6MocfParser.h"
#include "format/Refusal.h"

class CGen6Verdict : public CRefusal {
 public:
  // Takes in the records of the image to grow: a MOCF the tool would
  // append to, or the empty MOCF.
  void Start(const unsigned char* pImage, size_t size);
  // The same a record at a time, for an image read where it lies: whether
  // the record passes its own checks where it stands (the first version,
  // hash and compatible-products records theirs, every record its kind's
  // and the once-only count). The record may stand in as for Append.
  bool Take(const CTlv::Header_t* pRecord, uint64_t paddedSize);
  // Once all are taken: whether the rules over all of them hold too.
  bool HoldsTogether();
  // Whether the image is valid with this record appended after the others.
  // The record must be whole, or stand in for one whose checks read the
  // same bytes (a user file with its data left out, say). paddedSize is
  // what the real record takes in the image. After false, the verdict
  // holds the reason and is not to be used again.
  bool Append(const CTlv::Header_t* pRecord, uint64_t paddedSize);

  int GetRecordCount() const { return m_Count; }
  uint64_t GetSize() const { return m_End; }

 private:
  // What the rules learn from a record before it is judged.
  bool Note(const CTlv::Header_t* pRecord, int index, uint64_t offset);
  const CTlv::Header_t* CompatProd() const;

  CGen6Rules m_Rules;
  int m_FirstHash = 0;  // the index of the first hash record, 0 before one
  int m_Count = 0;
  uint64_t m_End = 0;
  bool m_HasObjects = false;
  bool m_HasFirmware = false;
  // The first compatible-products record, which the product rule reads.
  std::vector<unsigned char> m_CompatProd;
};
