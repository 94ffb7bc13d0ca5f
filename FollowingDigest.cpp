#include "FollowingDigest.h"

#include <algorithm>
#include <cstring>
#include <limits>

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

size_t CWriteProgress::Follow() {
  const std::lock_guard<std::mutex> lock(m_Mutex);
  m_Done.push_back(0);
  return m_Done.size() - 1;
}

void CWriteProgress::Release(size_t follower, uint64_t upTo) {
  {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Done[follower] = upTo;
  }
  m_Released.notify_all();
}

void CWriteProgress::WaitReleased(uint64_t upTo) {
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_Released.wait(lock, [&] {
    return std::all_of(m_Done.begin(), m_Done.end(), [&](uint64_t done) { return done >= upTo; });
  });
}

namespace {

// Hashed in steps, so that a writer waiting to use its memory again does
// not wait for all it has written.
constexpr uint64_t kStep = 1 << 20;

void Feed(CSha1* pSha1, const unsigned char* p, uint64_t from, uint64_t to) {
  while (from < to) {
    const unsigned int chunk = static_cast<unsigned int>(std::min<uint64_t>(to - from, 1u << 30));
    pSha1->Update(p + from, chunk);
    from += chunk;
  }
}

}  // namespace

CFollowingDigest::CFollowingDigest(CWriteProgress* pProgress, const FollowedImage_t& image)
    : m_Image(image),
      m_Follower(pProgress->Follow()),
      m_Thread([this, pProgress] { Run(pProgress); }) {}

CFollowingDigest::~CFollowingDigest() {
  if (m_Thread.joinable()) m_Thread.join();
}

bool CFollowingDigest::Get(unsigned char* pDigest) {
  if (m_Thread.joinable()) m_Thread.join();
  std::memcpy(pDigest, m_Digest, sizeof m_Digest);
  return m_Complete;
}

void CFollowingDigest::Run(CWriteProgress* pProgress) {
  // Done with every byte once it stops, however it stops.
  struct Releaser_t {
    CWriteProgress* p;
    size_t follower;
    ~Releaser_t() { p->Release(follower, std::numeric_limits<uint64_t>::max()); }
  } releaser{pProgress, m_Follower};
  const FollowedImage_t& image = m_Image;
  CSha1 sha1;
  sha1.Init();
  sha1.Update(CTlv::Bytes(&image.Header), CTlv::kHeaderSize);
  for (uint64_t pos = CTlv::kHeaderSize; pos < image.End;) {
    uint64_t written = 0;
    if (!pProgress->WaitBeyond(pos, &written)) return;
    const uint64_t to = std::min({written, image.End, pos + kStep});
    Feed(&sha1, image.pImage, pos, std::min(to, std::max(pos, image.SkipFrom)));
    Feed(&sha1, image.pImage, std::max(pos, image.SkipTo), to);
    pos = to;
    pProgress->Release(m_Follower, pos);
  }
  sha1.GetResult(m_Digest);
  m_Complete = true;
}
