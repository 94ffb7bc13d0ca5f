// The digests a signature needs of a MOCF, taken in one pass over its bytes,
// while another thread judges it as mocfinfo does (its own SHA-1 digest
// included), so that a MOCF of any size costs one sequential read and a
// window of memory.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "inspect/MocfImage.h"

namespace mocfsign {

struct MocfDigests_t {
  bool Read = true;                     // false: the file changed while it was read
  bool Valid = false;
  std::string Reason;                   // why the MOCF is not valid
  std::map<int, std::string> ByDigest;  // a digest's NID: its bytes
};

// A MOCF as its two readers see it: the judge reads its image in place; the
// digests read the same open file into a buffer of their own, which costs
// less than the mapping's page faults (and than taking them twice, once the
// judge's pace has given the pages back).
struct LoadedMocf_t {
  mocfinfo::CMocfImage Image;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> File{nullptr, std::fclose};
};

// False, with the reason's line, when it cannot be read. whyCutShort: as
// VerifyRequest_t's.
bool LoadMocf(const std::string& path, const std::string& whyCutShort, LoadedMocf_t* pMocf,
              std::string* pWhy);

// SHA-256, SHA-384 or SHA-512 (by NID) as asked; others are left out.
MocfDigests_t DigestMocf(const LoadedMocf_t& mocf, const std::string& name,
                         const std::vector<int>& digests);
MocfDigests_t DigestBytes(const unsigned char* pData, size_t size, const std::string& name,
                          const std::vector<int>& digests);

}  // namespace mocfsign
