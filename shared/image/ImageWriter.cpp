#include "image/ImageWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/Platform.h"
#include "run/RunContext.h"
#include "platform/ReadPace.h"
#include "platform/ReplaceFile.h"

namespace {

// Put together and written a chunk at a time, so that the digests follow
// closely and the few chunks of memory stay warm.
constexpr uint64_t kChunk = 2 << 20;
// Chunks in memory at once: one being put together, the others still being
// hashed and written.
constexpr size_t kRingChunks = 6;
// Writes in flight at once: a disk takes two at a time in not much more
// than the time it takes one (512 MiB around the cache here: 0.31 to 0.37 s
// by two writers against 0.62 to 0.83 s by one).
constexpr uint64_t kWriters = 2;
constexpr uint64_t kRing = kChunk * kRingChunks;
// Writes around the system's cache want their memory aligned so.
constexpr size_t kAlign = 4096;

// The few chunks of memory the image passes through, used again and again:
// byte i of the image is put at i % kRing.
class CRing {
 public:
  CRing() : m_Memory(new unsigned char[kRing + kAlign]) {
    const auto at = reinterpret_cast<uintptr_t>(m_Memory.get());
    m_pData = m_Memory.get() + (kAlign - at % kAlign) % kAlign;
  }
  unsigned char* Data() const { return m_pData; }
  unsigned char* At(uint64_t offset) const { return m_pData + offset % kRing; }

 private:
  std::unique_ptr<unsigned char[]> m_Memory;
  unsigned char* m_pData;
};

// Reads the pieces in order into the image's chunks. Each file is opened
// when its turn comes and read with no buffer of its own, straight to where
// its bytes go, so a list of many files holds one open at a time.
class CPieceSource {
 public:
  explicit CPieceSource(const std::vector<ImagePiece_t>& pieces) : m_Pieces(pieces) {}
  ~CPieceSource() { CloseFile(); }
  CPieceSource(const CPieceSource&) = delete;
  CPieceSource& operator=(const CPieceSource&) = delete;

  // Puts [from, to) of the image at pTo; asked in increasing order. False
  // when a file cannot be opened or holds fewer bytes than it did.
  bool Fill(uint64_t from, uint64_t to, unsigned char* pTo);

 private:
  bool Read(const ImagePiece_t& piece, uint64_t within, unsigned char* pTo, uint64_t size);
  void CloseFile();

  const std::vector<ImagePiece_t>& m_Pieces;
  size_t m_Index = 0;  // the first piece that does not end before the bytes asked for
  uint64_t m_At = 0;   // where it starts in the image
  std::FILE* m_pFile = nullptr;
  const ImagePiece_t* m_pOpen = nullptr;
};

void CPieceSource::CloseFile() {
  if (m_pFile) std::fclose(m_pFile);
  m_pFile = nullptr;
  m_pOpen = nullptr;
}

bool CPieceSource::Read(const ImagePiece_t& piece, uint64_t within, unsigned char* pTo,
                        uint64_t size) {
  // A file several pieces read in a row stays open.
  if (!m_pOpen || std::strcmp(m_pOpen->pPath, piece.pPath) != 0) {
    CloseFile();
    m_pFile = platform::OpenFile(piece.pPath, "rb");
    if (!m_pFile) return false;
    std::setvbuf(m_pFile, nullptr, _IONBF, 0);
    m_pOpen = &piece;
  }
  const uint64_t offset = piece.FileOffset + within;
  if (offset > static_cast<uint64_t>(std::numeric_limits<long>::max()) ||
      std::fseek(m_pFile, static_cast<long>(offset), SEEK_SET) != 0)
    return false;
  return std::fread(pTo, 1, static_cast<size_t>(size), m_pFile) == size;
}

bool CPieceSource::Fill(uint64_t from, uint64_t to, unsigned char* pTo) {
  while (m_Index < m_Pieces.size() && m_At + m_Pieces[m_Index].Size <= from)
    m_At += m_Pieces[m_Index++].Size;
  uint64_t at = m_At;
  for (size_t i = m_Index; i < m_Pieces.size() && at < to; at += m_Pieces[i++].Size) {
    const ImagePiece_t& piece = m_Pieces[i];
    const uint64_t begin = std::max(from, at), end = std::min(to, at + piece.Size);
    if (begin >= end) continue;
    unsigned char* pAt = pTo + (begin - from);
    const uint64_t within = begin - at, size = end - begin;
    if (piece.pPath) {
      if (!Read(piece, within, pAt, size)) return false;
    } else if (piece.pBytes) {
      std::memcpy(pAt, piece.pBytes + within, static_cast<size_t>(size));
    } else {
      std::memset(pAt, 0, static_cast<size_t>(size));
    }
  }
  return true;
}

void Report(const ImageJob_t& job, uint64_t written, uint64_t total) {
  if (job.Progress) job.Progress(written, total);
}

// Writes every kWriters-th chunk the ring holds as soon as it is put
// together, on its own thread, so that waiting for the disk overlaps
// reading the next chunk and the other writers' writes. A write that fails
// ends the writing: every later byte counts as written, so the one putting
// the image together never waits for it.
class CFollowingWriter {
 public:
  CFollowingWriter(CWriteProgress* pProgress, const CRing* pRing, uint64_t size,
                   CFileReplacement* pOut, uint64_t first)
      : m_pRing(pRing),
        m_Size(size),
        m_pOut(pOut),
        m_First(first),
        m_Follower(pProgress->Follow()),
        m_Thread(run::InThisRun([this, pProgress] { Run(pProgress); })) {}
  ~CFollowingWriter() {
    if (m_Thread.joinable()) m_Thread.join();
  }
  CFollowingWriter(const CFollowingWriter&) = delete;
  CFollowingWriter& operator=(const CFollowingWriter&) = delete;

  // Waits for the writing; false unless every byte was written.
  bool Get() {
    if (m_Thread.joinable()) m_Thread.join();
    return m_Complete;
  }

 private:
  void Run(CWriteProgress* pProgress) {
    struct Releaser_t {
      CWriteProgress* p;
      size_t follower;
      ~Releaser_t() { p->Release(follower, std::numeric_limits<uint64_t>::max()); }
    } releaser{pProgress, m_Follower};
    // Done with the chunks in between: the other writers have them.
    pProgress->Release(m_Follower, std::min(m_Size, m_First * kChunk));
    for (uint64_t chunk = m_First; chunk * kChunk < m_Size; chunk += kWriters) {
      const uint64_t from = chunk * kChunk, to = std::min(m_Size, from + kChunk);
      uint64_t written = 0;
      if (!pProgress->WaitBeyond(to - 1, &written)) return;
      if (!m_pOut->WriteThrough(from, m_pRing->At(from), static_cast<size_t>(to - from))) return;
      pProgress->Release(m_Follower, std::min(m_Size, to + (kWriters - 1) * kChunk));
    }
    m_Complete = true;
  }

  const CRing* m_pRing;
  uint64_t m_Size;
  CFileReplacement* m_pOut;
  uint64_t m_First;
  size_t m_Follower;
  bool m_Complete = false;
  std::thread m_Thread;
};

// Each chunk is put together in the ring and handed to the followers,
// which hash and write it; its memory serves again once all of them are
// done with it.
bool PutTogether(const ImageJob_t& job, uint64_t size, const CRing& ring, CPieceSource* pSource,
                 CWriteProgress* pProgress) {
  for (uint64_t from = 0; from < size; from += kChunk) {
    const uint64_t to = std::min(size, from + kChunk);
    if (from >= kRing) pProgress->WaitReleased(from - kRing + kChunk);
    if (!pSource->Fill(from, to, ring.At(from))) return false;
    pProgress->Advance(to);
    Report(job, to, size);
  }
  return true;
}

// Empty when the threads cannot be had.
std::optional<bool> WriteThroughRing(const ImageJob_t& job, uint64_t size, CFileReplacement* pOut,
                                     std::vector<Digest_t>* pDigests) {
  const CRing ring;
  CPieceSource source(job.Pieces);
  CWriteProgress progress;
  // Closed on every way out, or the followers would wait for bytes that
  // never come.
  struct Closer_t {
    CWriteProgress* p;
    ~Closer_t() { p->Close(); }
  };
  std::vector<std::unique_ptr<CFollowingDigest>> followers;
  std::vector<std::unique_ptr<CFollowingWriter>> writers;
  const Closer_t closer{&progress};
  // Without the threads (a process limit, no memory for a stack), the image
  // is written on this one instead; nothing has been read yet.
  try {
    for (FollowedImage_t image : job.Digests) {
      image.pImage = ring.Data();
      image.Wrap = kRing;
      followers.push_back(std::make_unique<CFollowingDigest>(&progress, image));
    }
    for (uint64_t first = 0; first < kWriters; ++first)
      writers.push_back(std::make_unique<CFollowingWriter>(&progress, &ring, size, pOut, first));
  } catch (const std::system_error&) {
    progress.Close();
    return std::nullopt;
  }
  const bool put = PutTogether(job, size, ring, &source, &progress);
  progress.Close();
  bool complete = put;
  for (const auto& writer : writers) complete = writer->Get() && complete;
  for (size_t i = 0; i < followers.size(); ++i)
    complete = followers[i]->Get((*pDigests)[i].data()) && complete;
  return complete;
}

// One chunk of memory, hashed and written on this thread: for small images,
// where threads cost more than they save.
bool WriteInPlace(const ImageJob_t& job, uint64_t size, CFileReplacement* pOut,
                  std::vector<Digest_t>* pDigests) {
  CPieceSource source(job.Pieces);
  std::vector<CImageDigest> digests(job.Digests.begin(), job.Digests.end());
  std::vector<unsigned char> chunk(static_cast<size_t>(std::min(size, kChunk)));
  for (uint64_t from = 0; from < size; from += kChunk) {
    const uint64_t to = std::min(size, from + kChunk);
    const size_t n = static_cast<size_t>(to - from);
    if (!source.Fill(from, to, chunk.data())) return false;
    for (CImageDigest& digest : digests) digest.Feed(from, chunk.data(), n);
    if (!pOut->WriteAt(from, chunk.data(), n)) return false;
    Report(job, to, size);
  }
  for (size_t i = 0; i < digests.size(); ++i) digests[i].GetResult((*pDigests)[i].data());
  return true;
}

}  // namespace

bool HashImage(const std::vector<ImagePiece_t>& pieces, const FollowedImage_t& digest,
               Digest_t* pDigest) {
  const uint64_t size = ImageSize(pieces);
  if (digest.End > size) return false;
  CPieceSource source(pieces);
  CImageDigest hash(digest);
  std::vector<unsigned char> chunk(static_cast<size_t>(std::min(size, kChunk)));
  for (uint64_t from = 0; from < size; from += kChunk) {
    const uint64_t to = std::min(size, from + kChunk);
    if (!source.Fill(from, to, chunk.data())) return false;
    hash.Feed(from, chunk.data(), to - from);
  }
  hash.GetResult(pDigest->data());
  return true;
}

bool ImageEquals(const std::vector<ImagePiece_t>& pieces, const unsigned char* pImage,
                 uint64_t size, Range_t skipped, CReadPace* pPace) {
  if (ImageSize(pieces) != size) return false;
  CPieceSource source(pieces);
  std::vector<unsigned char> chunk(static_cast<size_t>(std::min(size, kChunk)));
  for (uint64_t from = 0; from < size; from += kChunk) {
    const uint64_t to = std::min(size, from + kChunk);
    if (!source.Fill(from, to, chunk.data())) return false;
    // The skipped bytes are made equal here, so one comparison covers the rest.
    const uint64_t skipFrom = std::clamp(skipped.From, from, to);
    const uint64_t skipTo = std::clamp(skipped.To, skipFrom, to);
    std::memcpy(chunk.data() + (skipFrom - from), pImage + skipFrom, skipTo - skipFrom);
    if (std::memcmp(chunk.data(), pImage + from, to - from) != 0) return false;
    CReadPace::Moved(pPace, to - from);
  }
  return true;
}

uint64_t ImageSize(const std::vector<ImagePiece_t>& pieces) {
  uint64_t size = 0;
  for (const ImagePiece_t& piece : pieces) size += piece.Size;
  return size;
}

bool WriteImage(const ImageJob_t& job, CFileReplacement* pOut, std::vector<Digest_t>* pDigests) {
  const uint64_t size = ImageSize(job.Pieces);
  pDigests->assign(job.Digests.size(), Digest_t{});
  for (const FollowedImage_t& digest : job.Digests)
    if (digest.End > size) return false;
  if (size >= kSmallImage) {
    if (const std::optional<bool> written = WriteThroughRing(job, size, pOut, pDigests))
      return *written;
  }
  return WriteInPlace(job, size, pOut, pDigests);
}
