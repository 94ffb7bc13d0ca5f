// Hashing a new image while it is still being written: a thread follows the
// writing a chunk behind, so that the digest is known about when the last
// byte is in place.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "format/Tlv.h"
#include "sha1/sha1.h"

// How far the image has been written, for the threads that follow it.
class CWriteProgress {
 public:
  void Advance(uint64_t written);
  // No more bytes will come, whether or not the image is complete.
  void Close();
  // Waits until more than pos bytes are written; false when none will be.
  bool WaitBeyond(uint64_t pos, uint64_t* pWritten);

  // For a writer that uses its memory again: each follower says how far it
  // is done with the bytes, and the writer waits for the slowest.
  size_t Follow();
  void Release(size_t follower, uint64_t upTo);
  void WaitReleased(uint64_t upTo);

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Advanced;
  std::condition_variable m_Released;
  uint64_t m_Written = 0;
  bool m_Closed = false;
  std::vector<uint64_t> m_Done;
};

// A stretch of an image, [From, To).
struct Range_t {
  uint64_t From;
  uint64_t To;
};

// The digest of an image by the MOCF rule, under a header given here, over
// the records from byte 8 to End but the hash records, which lie in Skips
// (sorted, apart). Whether those are all the hash records is for the
// caller to make sure of once the image is complete.
struct FollowedImage_t {
  const unsigned char* pImage;
  CTlv::Header_t Header;
  uint64_t End;
  std::vector<Range_t> Skips;
  // When not 0, the image is held in a ring of this many bytes (a multiple
  // of 1 MiB): byte i at pImage + i % Wrap.
  uint64_t Wrap = 0;
};

// That digest, fed the image's bytes in file order in stretches of any
// size, from wherever they are held.
class CImageDigest {
 public:
  explicit CImageDigest(const FollowedImage_t& image);
  // The bytes at offsets [from, from + size) of the image.
  void Feed(uint64_t from, const unsigned char* pBytes, uint64_t size);
  void GetResult(unsigned char* pDigest);

 private:
  void Hash(const unsigned char* pBytes, uint64_t size);

  FollowedImage_t m_Image;
  size_t m_Skip = 0;  // the first skip that does not end before the bytes fed
  CSha1 m_Sha1;
};

class CFollowingDigest {
 public:
  CFollowingDigest(CWriteProgress* pProgress, const FollowedImage_t& image);
  // Joins; the progress must be closed by then.
  ~CFollowingDigest();
  CFollowingDigest(const CFollowingDigest&) = delete;
  CFollowingDigest& operator=(const CFollowingDigest&) = delete;

  // Waits for the digest; false when the writing stopped short of End.
  bool Get(unsigned char* pDigest);

 private:
  void Run(CWriteProgress* pProgress);

  FollowedImage_t m_Image;
  bool m_Complete = false;
  unsigned char m_Digest[20] = {};
  size_t m_Follower;
  std::thread m_Thread;
};
