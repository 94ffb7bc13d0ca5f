// The digests a signature needs of a MOCF, taken in one pass over its bytes,
// while another thread judges it as mocfinfo does (its own SHA-1 digest
// included), each reading at its own pace, so that a MOCF of any size costs
// one sequential read and a window of memory.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "inspect/MocfImage.h"

namespace mocfsign {

struct MocfDigests_t {
  bool Valid = false;
  std::string Reason;                   // why the MOCF is not valid
  std::map<int, std::string> ByDigest;  // a digest's NID: its bytes
};

// Loads a MOCF to digest, with the window its two readers share. False,
// with the reason's line, when it cannot be read.
bool LoadMocf(const std::string& path, mocfinfo::CMocfImage* pImage, std::string* pWhy);

// SHA-256, SHA-384 or SHA-512 (by NID) as asked; others are left out.
MocfDigests_t DigestMocf(const unsigned char* pData, size_t size, CReadPace* pPace,
                         const std::string& name, const std::vector<int>& digests);

}  // namespace mocfsign
