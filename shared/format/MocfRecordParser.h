// Readers of the single MOCF-level records: version, hash and compatible
// products. They are handed records found by a container walk, whose value
// is known to lie inside the buffer; they never read beyond that value.
#pragma once

#include "format/Refusal.h"
#include "format/Tlv.h"

class CMocfReocrdParser : public CRefusal {
 public:
  explicit CMocfReocrdParser(const CTlv::Header_t* pRecord) : m_pRecord(pRecord) {}
  virtual ~CMocfReocrdParser() = default;
  virtual bool IsValid() = 0;

 protected:
  const CTlv::Header_t* m_pRecord;
};

class CMocfVersionParser : public CMocfReocrdParser {
 public:
  using CMocfReocrdParser::CMocfReocrdParser;
  bool IsValid() override;
};

class CMocfHashParser : public CMocfReocrdParser {
 public:
  using CMocfReocrdParser::CMocfReocrdParser;
  bool IsValid() override;
  const unsigned char* GetHash();
};

// Also reads the compatible-products record nested in a firmware record,
// which has the same value layout under another tag.
class CMocfCompatProdParser : public CMocfReocrdParser {
 public:
  using CMocfReocrdParser::CMocfReocrdParser;
  bool IsValid() override;
  unsigned int GetNumItems();
  bool FindId(unsigned int Id);

 private:
  // How many numbers the value really holds, whatever the count claims.
  unsigned int ReadableItems();
};
