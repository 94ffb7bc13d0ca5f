#include "FollowingDigest.h"

#include <algorithm>
#include <cstring>

#include "sha1.h"

void CWriteProgress::Advance(uint64_t written) {
  {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Written = written;
  }
  m_Advanced.notify_all();
}

void CWriteProgress::Close() {
  {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Closed = true;
  }
  m_Advanced.notify_all();
}

bool CWriteProgress::WaitBeyond(uint64_t pos, uint64_t* pWritten) {
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_Advanced.wait(lock, [&] { return m_Closed || m_Written > pos; });
  *pWritten = m_Written;
  return m_Written > pos;
}

namespace {

void Feed(CSha1* pSha1, const unsigned char* p, uint64_t from, uint64_t to) {
  while (from < to) {
    const unsigned int chunk = static_cast<unsigned int>(std::min<uint64_t>(to - from, 1u << 30));
    pSha1->Update(p + from, chunk);
    from += chunk;
  }
}

}  // namespace

CFollowingDigest::CFollowingDigest(CWriteProgress* pProgress, const FollowedImage_t& image)
    : m_Image(image), m_Thread([this, pProgress] { Run(pProgress); }) {}

CFollowingDigest::~CFollowingDigest() {
  if (m_Thread.joinable()) m_Thread.join();
}

bool CFollowingDigest::Get(unsigned char* pDigest) {
  if (m_Thread.joinable()) m_Thread.join();
  std::memcpy(pDigest, m_Digest, sizeof m_Digest);
  return m_Complete;
}

void CFollowingDigest::Run(CWriteProgress* pProgress) {
  const FollowedImage_t& image = m_Image;
  CSha1 sha1;
  sha1.Init();
  sha1.Update(CTlv::Bytes(&image.Header), CTlv::kHeaderSize);
  for (uint64_t pos = CTlv::kHeaderSize; pos < image.End;) {
    uint64_t written = 0;
    if (!pProgress->WaitBeyond(pos, &written)) return;
    const uint64_t to = std::min(written, image.End);
    Feed(&sha1, image.pImage, pos, std::min(to, std::max(pos, image.SkipFrom)));
    Feed(&sha1, image.pImage, std::max(pos, image.SkipTo), to);
    pos = to;
  }
  sha1.GetResult(m_Digest);
  m_Complete = true;
}
