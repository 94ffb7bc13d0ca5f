// The Gen6 verdict on a whole MOCF: the MOCF-level checks, then which
// object records may appear and how often.
#pragma once

#include "MocfParser.h"

class CGen6MocfParser : public CMocfParser {
 public:
  CGen6MocfParser(const CTlv::Header_t* pContainer, size_t bytesAvailable);

  bool IsValid() override;
  bool HasObjectRecords();
  bool IsSystemUpdateMocf();

 private:
  bool ProductsExcludeEachOther(const CTlv::Header_t* pCompatProd);
  bool RecordsValidAndCounted();
};
