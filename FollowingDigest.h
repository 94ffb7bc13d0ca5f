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

#include "Tlv.h"

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

// The digest of an image by the MOCF rule, under a header given here, over
// the records from byte 8 to End, when the one hash record among them is
// the one at [SkipFrom, SkipTo). Whether that is so is for the caller to
// make sure of once the image is complete.
struct FollowedImage_t {
  const unsigned char* pImage;
  CTlv::Header_t Header;
  uint64_t End;
  uint64_t SkipFrom;
  uint64_t SkipTo;
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
