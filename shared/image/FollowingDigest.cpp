#include "image/FollowingDigest.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "run/RunContext.h"


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

}  // namespace

CImageDigest::CImageDigest(const FollowedImage_t& image) : m_Image(image) {
  m_Sha1.Init();
  m_Sha1.Update(CTlv::Bytes(&image.Header), CTlv::kHeaderSize);
}

void CImageDigest::Feed(uint64_t from, const unsigned char* pBytes, uint64_t size) {
  const uint64_t to = std::min(from + size, m_Image.End);
  if (from >= to) return;
  // The header hashed is the one given, not the one the image holds.
  if (from < CTlv::kHeaderSize) {
    const uint64_t header = std::min<uint64_t>(CTlv::kHeaderSize, to) - from;
    pBytes += header;
    from += header;
  }
  const std::vector<Range_t>& skips = m_Image.Skips;
  while (from < to) {
    while (m_Skip < skips.size() && skips[m_Skip].To <= from) ++m_Skip;
    const bool inSkip = m_Skip < skips.size() && skips[m_Skip].From <= from;
    const uint64_t end = m_Skip < skips.size()
                             ? std::min(to, inSkip ? skips[m_Skip].To : skips[m_Skip].From)
                             : to;
    if (!inSkip) Hash(pBytes, end - from);
    pBytes += end - from;
    from = end;
  }
}

// The hash takes 32-bit counts.
void CImageDigest::Hash(const unsigned char* pBytes, uint64_t size) {
  while (size > 0) {
    const unsigned int chunk = static_cast<unsigned int>(std::min<uint64_t>(size, 1u << 30));
    m_Sha1.Update(pBytes, chunk);
    pBytes += chunk;
    size -= chunk;
  }
}

void CImageDigest::GetResult(unsigned char* pDigest) { m_Sha1.GetResult(pDigest); }

CFollowingDigest::CFollowingDigest(CWriteProgress* pProgress, const FollowedImage_t& image)
    : m_Image(image),
      m_Follower(pProgress->Follow()),
      m_Thread(run::InThisRun([this, pProgress] { Run(pProgress); })) {}

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
  CImageDigest digest(image);
  for (uint64_t pos = CTlv::kHeaderSize; pos < image.End;) {
    uint64_t written = 0;
    if (!pProgress->WaitBeyond(pos, &written)) return;
    // Steps end on multiples of kStep, so none runs over a ring's end.
    const uint64_t to = std::min({written, image.End, (pos / kStep + 1) * kStep});
    const uint64_t at = image.Wrap ? pos % image.Wrap : pos;
    digest.Feed(pos, image.pImage + at, to - pos);
    pos = to;
    pProgress->Release(m_Follower, pos);
  }
  digest.GetResult(m_Digest);
  m_Complete = true;
}
