// Writes a new image that is described, not held: stretches of files and
// bytes in memory, put together a chunk at a time in a small ring of memory
// used again and again, hashed there and written from there on threads of
// their own, around the system's cache where it allows. The memory a write
// takes does not grow with the image.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "image/FollowingDigest.h"
#include "image/Sizes.h"

class CReadPace;

class CFileReplacement;

// Where a stretch of the new image comes from.
struct ImagePiece_t {
  const char* pPath;            // a file, read from FileOffset on; or null
  uint64_t FileOffset;
  const unsigned char* pBytes;  // without a path: these bytes, or zeros when null
  uint64_t Size;
};

using Digest_t = std::array<unsigned char, 20>;

struct ImageJob_t {
  std::vector<ImagePiece_t> Pieces;
  // The digests to take of the image as it is written; their pImage is
  // not read.
  std::vector<FollowedImage_t> Digests;
  // Told how many bytes of how many are written, after every chunk.
  std::function<void(uint64_t written, uint64_t total)> Progress;
};

// Writes the image at the start of the replacement's new file and takes
// the digests, one per job digest. False when a file holds fewer bytes
// than its pieces take from it, a write fails, or a digest would end past
// the image.
bool WriteImage(const ImageJob_t& job, CFileReplacement* pOut, std::vector<Digest_t>* pDigests);

// The digest of the image the pieces make, read a chunk at a time and not
// written anywhere. False when a file holds fewer bytes than it should, or
// the digest would end past the image.
bool HashImage(const std::vector<ImagePiece_t>& pieces, const FollowedImage_t& digest,
               Digest_t* pDigest);

// Whether the pieces make exactly size bytes equal to pImage's, except
// in the range skipped; read a chunk at a time. A pace is told of the
// image's bytes as they are compared.
bool ImageEquals(const std::vector<ImagePiece_t>& pieces, const unsigned char* pImage,
                 uint64_t size, Range_t skipped, CReadPace* pPace);

// The size of the image the pieces make.
uint64_t ImageSize(const std::vector<ImagePiece_t>& pieces);

