// Reads a MOCF image in place: the MOCF-level layout (version first, hash
// second) and the hash over the records. The Gen6 object-record rules sit on
// top of this in CGen6MocfParser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "TlvContainerParser.h"
#include "sha1.h"

class CMocfParser : public CTlvContainerParser {
 public:
  CMocfParser(const CTlv::Header_t* pContainer, size_t bytesAvailable);

  bool IsValid() override;
  // Digest over the MOCF header and every record except hash records.
  // True only when the records fill the container exactly; the digest is
  // written either way. Computed once per parser: the bytes it covers must
  // not change while the parser reads them, and storing a digest in a hash
  // record changes none of them.
  bool CalcHash(unsigned char* pHash);
  // Feeds one record's padded extent to the hash unless it is a hash
  // record; returns that extent. The caller makes sure it is readable.
  uint64_t HashNextRecord(const CTlv::Header_t* pRecord);
  static bool IsObjectRecord(const CTlv::Header_t* pRecord);

 protected:
  CSha1 m_Sha1;

 private:
  bool m_HashKnown = false;
  bool m_HashFilled = false;
  unsigned char m_Hash[20] = {};
  // Where the records stop short of filling the container, once known.
  std::string m_HashGap;

  std::string Place(const CTlv::Header_t* pRecord, int index) const;
  bool HasValidVersionFirst();
  bool HasValidHashOrNone();
  bool HasValidCompatProdOrNone();
  bool HashRecords();
};
