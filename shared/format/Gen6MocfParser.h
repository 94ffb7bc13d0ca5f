// The Gen6 verdict on a whole MOCF: the MOCF-level checks, then which
// object records may appear and how often.
#pragma once

#include <cstdint>

#include "format/MocfParser.h"

// The Gen6 rules that weigh records against each other, applied as records
// come in file order. A whole image is walked through them once; an image
// that grows a record at a time keeps them and applies them to each new one.
class CGen6Rules : public CRefusal {
 public:
  // Every MOCF needs its compatible-products record.
  bool RequireCompatProd(bool present);
  // Products 1, 2 and 3 cannot share a MOCF that carries objects for them,
  // unless it carries a firmware record (tag 0x60000000) too.
  bool CheckProducts(const CTlv::Header_t* pCompatProd, bool hasObjects, bool hasFirmware);
  // The next record passes its kind's check, and the once-only kinds (all
  // but user files) appear at most once.
  bool CheckRecord(const CTlv::Header_t* pRecord, int index, uint64_t offset);

 private:
  unsigned int m_Counts[6] = {};
};

class CGen6MocfParser : public CMocfParser {
 public:
  CGen6MocfParser(const CTlv::Header_t* pContainer, size_t bytesAvailable);

  bool IsValid() override;
  bool HasObjectRecords();
  bool IsSystemUpdateMocf();
};
