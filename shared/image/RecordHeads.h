// A MOCF file read where it lies, for a program that appends to one too
// large to hold: each top-level record's header and, of its value, only
// what the Gen6 checks read. A record whose checks read little of it
// comes as a record that stands in for it (a user file with its data left
// out); one whose checks would read much (a long text) ends the walk, and
// the caller reads the file whole instead.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "format/Tlv.h"

struct RecordHead_t {
  uint64_t Offset;      // from the file's first byte
  uint64_t PaddedSize;  // what the record takes in the container
  CTlv::Header_t Header;  // the record's own
  // The record, or one the checks judge exactly as they judge it.
  std::vector<unsigned char> Checked;
};

class CRecordHeads {
 public:
  explicit CRecordHeads(const std::string& path);
  ~CRecordHeads();
  CRecordHeads(const CRecordHeads&) = delete;
  CRecordHeads& operator=(const CRecordHeads&) = delete;

  // The file's first eight bytes and its size; false when they can't be read.
  bool Start(CTlv::Header_t* pHeader, uint64_t* pFileSize);
  // The next record, or false: at the end of a container the records fill
  // exactly (AtEnd), or where the walk cannot go on this way.
  bool Next(RecordHead_t* pHead);
  bool AtEnd() const { return m_AtEnd; }
  // The record whose header lies at offset, its header and value before
  // end, as Next gives it; false where Next would end the walk. Needs no
  // Start: an object file is one record, from its first byte.
  bool RecordAt(uint64_t offset, uint64_t end, RecordHead_t* pHead);

 private:
  bool ReadAt(uint64_t offset, unsigned char* pTo, size_t size);
  bool StandIn(const CTlv::Header_t& header, uint64_t offset, std::vector<unsigned char>* pOut);

  std::FILE* m_pFile;
  uint64_t m_Pos = CTlv::kHeaderSize;
  uint64_t m_End = 0;
  bool m_AtEnd = false;
};

class CGen6Verdict;

// A MOCF file walked by its records' heads, each passing the checks a record
// passes where it stands and all of them passing together, handed to take in
// file order; the verdict, fresh, has taken them all. False where the heads
// cannot show the MOCF to be sound: the caller then reads the file whole,
// whose check says why.
bool WalkSoundHeads(const std::string& path, CTlv::Header_t* pHeader, uint64_t* pSize,
                    CGen6Verdict* pVerdict, const std::function<void(RecordHead_t& head)>& take);
