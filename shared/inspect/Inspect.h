// What a MOCF holds and whether the tool would append to it. Records are
// walked on demand rather than collected, so an image of millions of tiny
// records costs no memory beyond the image itself. Everything points into
// the caller's image, which must outlive the inspection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "format/TlvContainerParser.h"

namespace mocfinfo {

// What mocfinfo's work comes to, as its exit statuses: valid (or done),
// invalid (or not exactly), and could not read or write.
constexpr int kValid = 0;
constexpr int kInvalid = 1;
constexpr int kCouldNot = 2;

struct RecordInfo {
  int index;        // from 1, in file order
  uint64_t offset;  // from the start of the image
  const CTlv::Header_t* header;
  bool nestedLevel;  // tags inside an object record mean other kinds
  // False for a version, hash or product-list record after the first of its
  // tag: the checks read the first one only.
  bool read = true;

  unsigned int Tag() const { return CTlv::GetTag(header); }
  unsigned int Length() const { return CTlv::GetLength(header); }
  const unsigned char* Value() const { return CTlv::GetData(header); }
  const char* Kind() const;
};

// The records directly inside one container, in file order.
class RecordWalk {
 public:
  RecordWalk(const CTlv::Header_t* pContainer, size_t bytesAvailable, const unsigned char* pImage,
             bool nestedLevel, CReadPace* pPace = nullptr);
  // The records inside an object record.
  explicit RecordWalk(const RecordInfo& parent, const unsigned char* pImage);
  // False once the walk has ended.
  bool Next(RecordInfo* pRecord);
  // After the end: why the walk stopped before the container's end, or "".
  // Offsets in it count from the container's first byte.
  std::string Stop();

 private:
  CTlvContainerParser m_Parser;
  const unsigned char* m_pImage;
  bool m_NestedLevel;
  int m_Index = 0;
  bool m_Ended = false;
  bool m_Seen[3] = {};  // version, hash and product-list tags met so far
};

struct Inspection {
  std::string file;
  const unsigned char* image = nullptr;
  size_t size = 0;
  // Told of what is read, when the image lies in a mapped file.
  CReadPace* pace = nullptr;
  bool valid = false;
  std::string reason;  // empty when valid
  int recordCount = 0;
  std::string stop;  // why the walk ended before the container's end, if it did
  // The digest the records call for, as lower-case hex; empty when the
  // records do not fill the container.
  std::string digest;
  // A signature file beside the file read from a path, as named ("" when
  // none lies there); unset where nothing was looked for (bytes in memory).
  std::optional<std::string> signature;

  // None in a file that is no MOCF at all.
  RecordWalk Records() const;
  // Record n (from 1), or false when the walk does not reach it.
  bool Find(int n, RecordInfo* pRecord) const;
};

// Walks and judges an image. Any bytes at all are fine.
Inspection Inspect(const std::string& file, const unsigned char* pImage, size_t size,
                   CReadPace* pPace = nullptr);
// The same without hashing the image: the verdict takes the stored digest
// as right and leaves the digest empty, for work that needs only the walk.
Inspection InspectTrustingDigest(const std::string& file, const unsigned char* pImage,
                                 size_t size, CReadPace* pPace);

// The first record with this tag inside an object record.
bool FindNested(const RecordInfo& parent, const unsigned char* pImage, unsigned int tag,
                RecordInfo* pFound);

// What the kinds hold, read without trusting their counts or terminators.
uint64_t ProductCount(const RecordInfo& record);
unsigned int ProductAt(const RecordInfo& record, uint64_t i);
// A text record's text: its value up to the first NUL, or all of it.
std::string_view Text(const RecordInfo& record);
// A software-keys text's part number, as --PartNum gave it: what follows
// its last "FIMPNM" that begins the text or a setting, up to the '.' that
// closes the text, when that is 1 to 20 characters.
bool PartNumber(const RecordInfo& record, std::string_view* pPart);
// The digest a hash record stores, as hex; at most 32 bytes of it.
std::string StoredDigest(const RecordInfo& record);
bool DigestMatches(const Inspection& inspection, const RecordInfo& record);

}  // namespace mocfinfo
