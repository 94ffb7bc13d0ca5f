// Reads a MOCF image in place: the MOCF-level layout (version first, hash
// second) and the hash over the records. The Gen6 object-record rules sit on
// top of this in CGen6MocfParser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "format/TlvContainerParser.h"
#include "sha1/sha1.h"

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
  // The digest the same records had under another container header, read
  // from there (the header of the image before records were appended to
  // it): only the records within that header's Length are hashed, and the
  // container's own header is never read. Not remembered by the parser.
  bool CalcHash(const CTlv::Header_t* pHeader, unsigned char* pHash);
  // IsValid then takes the digest in the hash record as right, for a caller
  // that compares it itself, on another thread, beside other work.
  void TrustStoredHash() { m_TrustStoredHash = true; }
  // CalcHash then answers with this digest and verdict, for a caller that
  // hashed the same bytes by the same rule as they were being written.
  void SetHash(const unsigned char* pHash, bool filled);
  // Feeds one record's padded extent to the hash unless it is a hash
  // record; returns that extent. The caller makes sure it is readable.
  uint64_t HashNextRecord(const CTlv::Header_t* pRecord);
  static bool IsObjectRecord(const CTlv::Header_t* pRecord);
  // An image that begins with another tag is some other file, whatever its
  // next bytes happen to claim: every tool says so, in these words, rather
  // than read a header that is none. Shorter than a tag, it is left to the
  // header's checks. The reason can follow a file's name and " is ".
  static bool IsNotMocf(const unsigned char* pImage, size_t size, std::string* pReason = nullptr);
  static const char kNotMocf[];
  // Why a MOCF whose stored digest is not its records' is refused.
  static std::string DigestMismatch(const unsigned char* pStored, const unsigned char* pComputed);

 protected:
  CSha1 m_Sha1;

 private:
  bool m_TrustStoredHash = false;
  bool m_HashKnown = false;
  bool m_HashFilled = false;
  unsigned char m_Hash[20] = {};
  // Where the records stop short of filling the container, once known.
  std::string m_HashGap;

  std::string Place(const CTlv::Header_t* pRecord, int index) const;
  bool HasValidVersionFirst();
  bool HasValidHashOrNone();
  bool HasValidCompatProdOrNone();
  bool HashRecords(const CTlv::Header_t* pHeader);
};
