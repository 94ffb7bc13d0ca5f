// An image described as pieces must land on disk as their concatenation
// with the digests of those very bytes, on the path for small images and on
// the ring whose chunks the pieces straddle; a source that lets it down must
// fail the write without a trace at the target; and compared with an image
// in place, the pieces must match it to the byte.
#include "image/ImageWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "platform/ReplaceFile.h"
#include "test_util.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#endif

using testutil::Bytes;

struct Outcome_t {
  bool Written;
  std::vector<Digest_t> Digests;
  std::vector<std::pair<uint64_t, uint64_t>> Progress;
};

// Writes and commits when the write succeeds; otherwise drops the
// replacement.
static Outcome_t Write(ImageJob_t job, const std::string& target) {
  Outcome_t outcome;
  job.Progress = [&](uint64_t done, uint64_t total) { outcome.Progress.emplace_back(done, total); };
  CFileReplacement replacement(target);
  outcome.Written = WriteImage(job, &replacement, &outcome.Digests);
  EXPECT_TRUE(!outcome.Written || replacement.Commit());
  return outcome;
}

// Pieces that make size bytes, zero-sized ones among them: stretches of
// the sources, files where a path is given and memory past them, and
// zeros. Their bytes go to *pExpected.
static std::vector<ImagePiece_t> Pieces(const std::vector<std::string>& paths,
                                        const std::vector<Bytes>& sources, uint64_t size,
                                        std::mt19937_64* pRng, Bytes* pExpected) {
  auto pick = [&](uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(*pRng); };
  std::vector<ImagePiece_t> pieces;
  while (pExpected->size() < size) {
    uint64_t n = std::min<uint64_t>(size - pExpected->size(), pick(6) == 0 ? 0 : pick(size / 100));
    const size_t s = pick(sources.size() + 2);
    if (s >= sources.size()) {
      pieces.push_back({nullptr, 0, nullptr, n});
      pExpected->resize(pExpected->size() + n, 0);
      continue;
    }
    const Bytes& source = sources[s];
    n = std::min<uint64_t>(n, source.size());
    const uint64_t at = pick(source.size() - n + 1);
    pieces.push_back({s < paths.size() ? paths[s].c_str() : nullptr, s < paths.size() ? at : 0,
                      s < paths.size() ? nullptr : source.data() + at, n});
    pExpected->insert(pExpected->end(), source.begin() + at, source.begin() + at + n);
  }
  return pieces;
}

TEST(ImageWriterTest, WritesTheConcatenationAndItsDigestsOnBothPaths) {
  testutil::TempDir in, out;
  std::mt19937_64 rng(77);
  std::vector<Bytes> sources;
  std::vector<std::string> paths;
  const std::string missing = in.File("missing");
  for (const size_t size : {1, 100, 70001, (3 << 20) + 5, 1 << 18}) {
    sources.emplace_back(size);
    for (unsigned char& c : sources.back()) c = static_cast<unsigned char>(rng());
    if (sources.size() == 5) break;  // the last one stays in memory
    paths.push_back(in.File(std::to_string(size)));
    testutil::WriteFile(paths.back(), sources.back());
  }
  // Small; and past the ring of six 2 MiB chunks, so that its memory serves
  // again (the digests following it too), with odd bytes so that the last
  // chunk is short.
  for (const uint64_t size : {uint64_t{200003}, (uint64_t{13} << 20) + 123}) {
    SCOPED_TRACE(size);
    Bytes expected;
    ImageJob_t job;
    job.Pieces = Pieces(paths, sources, size, &rng, &expected);
    // Digests over the whole, with adjacent skips; over an older, shorter
    // image with a skip past its End; and with no skips under a zero header.
    const uint64_t half = size / 2 & ~uint64_t{3}, third = size / 3 + 1;
    job.Digests = {{nullptr, {0x46434F4D, static_cast<uint32_t>(size - 8)}, size,
                    {{20, 48}, {48, 76}, {half, half + 28}}},
                   {nullptr, {0x46434F4D, 1234}, third, {{third - 10, size}}},
                   {nullptr, {0, 0}, size, {}}};
    const std::string target = out.File(std::to_string(size));
    const Outcome_t outcome = Write(job, target);
    ASSERT_TRUE(outcome.Written && outcome.Digests.size() == job.Digests.size());
    EXPECT_TRUE(testutil::ReadFile(target) == expected);
    // Written or only hashed, the digest of the image fed in one piece
    // (CImageDigest is checked against the bytes hashed by hand in
    // following_digest_test).
    Digest_t hashed, direct;
    for (size_t i = 0; i < job.Digests.size(); ++i) {
      ASSERT_TRUE(HashImage(job.Pieces, job.Digests[i], &hashed));
      CImageDigest whole(job.Digests[i]);
      whole.Feed(0, expected.data(), expected.size());
      whole.GetResult(direct.data());
      EXPECT_TRUE(direct == outcome.Digests[i] && direct == hashed) << i;
    }
    // A call a 2 MiB chunk, rising to the whole.
    std::vector<std::pair<uint64_t, uint64_t>> rising;
    for (uint64_t to = 2 << 20; to < size + (2 << 20); to += 2 << 20)
      rising.emplace_back(std::min(to, size), size);
    EXPECT_EQ(rising, outcome.Progress);
    // A file that holds fewer bytes than its piece takes, or none at all, at
    // the start or in the last chunk, while followers wait for bytes that
    // never come: the write fails and leaves nothing.
    for (const ImagePiece_t& piece : {ImagePiece_t{paths[1].c_str(), 50, nullptr, 51},
                                      {missing.c_str(), 0, nullptr, 10}}) {
      for (const bool last : {false, true}) {
        ImageJob_t bad;
        bad.Pieces = {{nullptr, 0, nullptr, size - piece.Size}};
        bad.Pieces.insert(last ? bad.Pieces.end() : bad.Pieces.begin(), piece);
        bad.Digests = job.Digests;
        EXPECT_FALSE(HashImage(bad.Pieces, bad.Digests[0], &hashed) ||
                     Write(bad, out.File("m")).Written) << piece.pPath << last;
      }
    }
    CFileReplacement failing(out.File("f"));  // a step no file can take fails all later ones
    EXPECT_FALSE(failing.WriteAt(~uint64_t{0} - 4, expected.data(), 1) ||
                 failing.Write(expected.data(), 9) || failing.Commit());
    EXPECT_EQ(size > kSmallImage ? 2 : 1,
              std::distance(std::filesystem::directory_iterator(out.path()), {}));
  }
}

// Each file is opened in its turn, so a list of many files never holds
// many open at once, even where the system allows few.
TEST(ImageWriterTest, ManySmallPiecesOverManyFilesKeepFewFilesOpen) {
  testutil::TempDir in, out;
  const std::string text = "0123456789abcdef";  // how each file starts
  std::vector<std::string> paths;
  for (int i = 0; i < 2000; ++i) {
    paths.push_back(in.File(std::to_string(i)));
    testutil::WriteFile(paths.back(), text + std::to_string(i));
  }
  Bytes expected;
  ImageJob_t job;
  for (uint64_t i = 0; i < 10000; ++i) {
    const uint64_t file = i * 7 % 2000, offset = i % 9, size = 1 + i % 7;
    job.Pieces.push_back({paths[file].c_str(), offset, nullptr, size});
    expected.insert(expected.end(), text.begin() + offset, text.begin() + offset + size);
  }
#if defined(__unix__) || defined(__APPLE__)
  rlimit was{};
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &was));
  const rlimit few = {std::min<rlim_t>(was.rlim_cur, 256), was.rlim_max};
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &few));
#endif
  const Outcome_t outcome = Write(job, out.File("m"));
#if defined(__unix__) || defined(__APPLE__)
  setrlimit(RLIMIT_NOFILE, &was);
#endif
  EXPECT_TRUE(outcome.Written && testutil::ReadFile(out.File("m")) == expected);
}

// Bytes in memory, zeros and a file to its end, the boundaries of the
// 2 MiB chunks the comparison goes in falling inside the zeros and the file.
TEST(ImageWriterTest, ImageEqualsFindsAnyByteThatDiffersButTheSkippedOnes) {
  constexpr uint64_t kMiB = 1 << 20;
  testutil::TempDir in;
  std::mt19937_64 rng(5);
  Bytes memory(kMiB + 3), file(3 * kMiB + 24);
  for (unsigned char& c : memory) c = static_cast<unsigned char>(rng());
  for (unsigned char& c : file) c = static_cast<unsigned char>(rng());
  testutil::WriteFile(in.File("f"), file);
  const std::string path = in.File("f");
  const uint64_t zeros = 2 * kMiB + 100 - memory.size();
  std::vector<ImagePiece_t> pieces = {{nullptr, 0, memory.data(), memory.size()},
                                      {nullptr, 0, nullptr, 0},
                                      {nullptr, 0, nullptr, zeros},
                                      {path.c_str(), 17, nullptr, file.size() - 17}};
  Bytes image(memory);
  image.resize(image.size() + zeros, 0);
  image.insert(image.end(), file.begin() + 17, file.end());
  const uint64_t size = image.size();
  const Range_t none = {0, 0}, digest = {2 * kMiB - 10, 2 * kMiB + 10};
  EXPECT_TRUE(ImageEquals(pieces, image.data(), size, none, nullptr));
  // In the memory, the zeros either side of a chunk's end, the file at one,
  // its last byte; and just outside the skipped bytes.
  for (const auto& [at, skipped] : std::vector<std::pair<uint64_t, Range_t>>{
           {5, none}, {2 * kMiB - 1, none}, {2 * kMiB, none}, {4 * kMiB, none},
           {size - 1, none}, {digest.From - 1, digest}, {digest.To, digest}}) {
    image[at] ^= 0x40;
    EXPECT_FALSE(ImageEquals(pieces, image.data(), size, skipped, nullptr)) << at;
    image[at] ^= 0x40;
  }
  // Inside them, across a chunk's end.
  for (const uint64_t at : {digest.From, 2 * kMiB, digest.To - 1}) image[at] ^= 1;
  EXPECT_TRUE(ImageEquals(pieces, image.data(), size, digest, nullptr));
  EXPECT_FALSE(ImageEquals(pieces, image.data(), size, none, nullptr));
  for (const uint64_t at : {digest.From, 2 * kMiB, digest.To - 1}) image[at] ^= 1;
  // One byte more in the pieces and the image.
  pieces.push_back({nullptr, 0, nullptr, 1});
  image.push_back(0);
  EXPECT_TRUE(ImageEquals(pieces, image.data(), size + 1, none, nullptr));
  // A file one byte short of its piece, whose missing byte the image has
  // where the chunk before left the same byte in the comparison's memory.
  pieces.pop_back();
  pieces.back().Size += 1;
  image.back() = image[size - 2 * kMiB];
  EXPECT_FALSE(ImageEquals(pieces, image.data(), size + 1, none, nullptr));
}
