// A digest that follows the writing must come out as the whole image hashed
// at once, however the writing is cut into steps and wherever the left-out
// ranges fall, and must say so when the writing stops short.
#include "FollowingDigest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sha1.h"
#include "test_util.h"

namespace {

std::string Hex(const unsigned char* p) { return testutil::ToHex(p, 20); }

// The header, then the bytes from 8 to end but those in any of the skips.
std::string Expected(const testutil::Bytes& image, const CTlv::Header_t& header, uint64_t end,
                     const std::vector<Range_t>& skips) {
  testutil::Bytes message(CTlv::Bytes(&header), CTlv::Bytes(&header) + 8);
  for (uint64_t i = 8; i < end; ++i) {
    bool skipped = false;
    for (const Range_t& skip : skips) skipped |= i >= skip.From && i < skip.To;
    if (!skipped) message.push_back(image[i]);
  }
  CSha1 sha1;
  unsigned char digest[20];
  sha1.DoHash(message.data(), static_cast<unsigned int>(message.size()), digest);
  return Hex(digest);
}

// Followers ending where the writing ends, before it, and past it (which
// get no digest), however the writing advances.
TEST(FollowingDigestTest, MatchesTheImageHashedAtOnceWhateverTheStepsOrSaysItStoppedShort) {
  testutil::Bytes image(1000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 7);
  const CTlv::Header_t header = {0x46434F4D, 4242};
  const std::vector<Range_t> skipSets[] = {{{20, 48}}, {{8, 100}}, {{990, 1000}}, {{1000, 1000}},
                                           {{63, 64}}, {}};
  for (const std::vector<Range_t>& skips : skipSets) {
    for (uint64_t step : {1u, 7u, 64u, 999u}) {
      SCOPED_TRACE("skips " + std::to_string(&skips - skipSets) + " step " + std::to_string(step));
      CWriteProgress progress;
      CFollowingDigest whole(&progress, {image.data(), header, 1000, skips});
      CFollowingDigest part(&progress, {image.data(), header, 777, skips});
      CFollowingDigest beyond(&progress, {image.data(), header, 1001, skips});
      for (uint64_t written = step; written < 1000; written += step) progress.Advance(written);
      progress.Advance(1000);
      progress.Close();
      unsigned char result[20];
      ASSERT_TRUE(whole.Get(result));
      EXPECT_EQ(Expected(image, header, 1000, skips), Hex(result));
      ASSERT_TRUE(part.Get(result));
      EXPECT_EQ(Expected(image, header, 777, skips), Hex(result));
      EXPECT_FALSE(beyond.Get(result));
    }
  }
}

// Fed from the image's start, the header the image holds gives way to the
// one given, however the stretches cut it; fed from 8 on, as a follower
// feeds it, the same.
TEST(FollowingDigestTest, ImageDigestLeavesOutEverySkipWhereverTheStretchesEnd) {
  testutil::Bytes image(1000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 11 + 3);
  const CTlv::Header_t header = {0x46434F4D, 991};
  const std::vector<Range_t> skipSets[] = {
      {},
      {{20, 48}, {48, 60}, {61, 62}, {300, 328}},  // adjacent, and one byte apart
      {{8, 12}, {972, 1000}},                      // at either end
      {{500, 501}, {990, 1200}},                   // beyond End
  };
  for (const uint64_t end : {1000u, 777u}) {
    for (const std::vector<Range_t>& skips : skipSets) {
      for (const uint64_t step : {1u, 7u, 64u, 1000u}) {
        for (const uint64_t start : {0u, 3u, 8u}) {
          // The digest reads the description where it lies.
          const FollowedImage_t followed = {image.data(), header, end, skips};
          CImageDigest digest(followed);
          for (uint64_t from = start; from < image.size(); from += step)
            digest.Feed(from, image.data() + from, std::min<uint64_t>(step, image.size() - from));
          unsigned char result[20];
          digest.GetResult(result);
          EXPECT_EQ(Expected(image, header, end, skips), Hex(result))
              << "end " << end << " skips " << skips.size() << " step " << step << " from "
              << start;
        }
      }
    }
  }
}

// A writer that puts each chunk where the chunk two before it was, once the
// followers are done with that one, still gets the digest of the whole.
TEST(FollowingDigestTest, WriterThatUsesItsMemoryAgainWaitsForTheSlowestFollower) {
  const size_t kChunk = 1 << 20, kChunks = 6;
  testutil::Bytes image(kChunk * kChunks);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 13 + i / kChunk);
  testutil::Bytes ring(2 * kChunk);
  CWriteProgress progress;
  const uint64_t oldEnd = 3 * kChunk + 5;
  CFollowingDigest whole(&progress, {ring.data(), {}, image.size(), {{100, 200}}, ring.size()});
  CFollowingDigest old(&progress, {ring.data(), {}, oldEnd, {{100, 200}}, ring.size()});
  for (size_t i = 0; i < kChunks; ++i) {
    if (i >= 2) progress.WaitReleased((i - 1) * kChunk);
    std::memcpy(ring.data() + i % 2 * kChunk, image.data() + i * kChunk, kChunk);
    progress.Advance((i + 1) * kChunk);
  }
  progress.Close();
  unsigned char result[20];
  ASSERT_TRUE(whole.Get(result));
  EXPECT_EQ(Expected(image, {}, image.size(), {{100, 200}}), Hex(result));
  ASSERT_TRUE(old.Get(result));
  EXPECT_EQ(Expected(image, {}, oldEnd, {{100, 200}}), Hex(result));
}

}  // namespace
