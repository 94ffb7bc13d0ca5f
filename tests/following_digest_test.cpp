// A digest that follows the writing must come out as the whole image hashed
// at once, however the writing is cut into steps and wherever the left-out
// ranges fall, and must say so when the writing stops short.
#include "image/FollowingDigest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "sha1/sha1.h"
#include "test_util.h"

using testutil::Bytes;

static std::string Hex(const unsigned char* p) { return testutil::ToHex(p, 20); }

// The header, then the bytes from 8 to end but those in any of the skips.
static std::string Expected(const Bytes& image, const CTlv::Header_t& header, uint64_t end,
                            const std::vector<Range_t>& skips) {
  Bytes message(CTlv::Bytes(&header), CTlv::Bytes(&header) + 8);
  for (uint64_t i = 8; i < end; ++i) {
    bool skipped = false;
    for (const Range_t& skip : skips) skipped |= i >= skip.From && i < skip.To;
    if (!skipped) message.push_back(image[i]);
  }
  unsigned char digest[20];
  CSha1().DoHash(message.data(), static_cast<unsigned int>(message.size()), digest);
  return Hex(digest);
}

// The digest a follower ends with, or "none" where the writing stopped short of its End.
static std::string Got(CFollowingDigest& follower) {
  unsigned char result[20];
  return follower.Get(result) ? Hex(result) : "none";
}

// Fed from the image's start, the header the image holds gives way to the
// one given, however the stretches cut it; fed from 8 on, as a follower
// feeds it, the same. Followers end where the writing ends, before it, and
// past it (which get no digest), however the writing advances.
TEST(FollowingDigestTest, MatchesTheImageHashedAtOnceWhateverTheStepsOrSaysItStoppedShort) {
  Bytes image(1000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 13);
  const CTlv::Header_t header = {0x46434F4D, 991};
  const std::vector<Range_t> skipSets[] = {
      {},
      {{20, 48}, {48, 60}, {61, 62}, {300, 328}},  // adjacent, and one byte apart
      {{8, 12}, {972, 1000}}, {{63, 64}}, {{1000, 1000}},  // at either end
      {{500, 501}, {990, 1200}},                           // beyond End
  };
  for (const std::vector<Range_t>& skips : skipSets) {
    for (const uint64_t step : {1u, 7u, 64u, 999u}) {
      SCOPED_TRACE(testing::Message() << "skips " << &skips - skipSets << " step " << step);
      for (const uint64_t end : {1000u, 777u}) {
        for (const uint64_t start : {0u, 3u, 8u}) {
          CImageDigest digest({image.data(), header, end, skips});
          for (uint64_t from = start; from < image.size(); from += step)
            digest.Feed(from, &image[from], std::min<uint64_t>(step, image.size() - from));
          unsigned char result[20];
          digest.GetResult(result);
          EXPECT_EQ(Expected(image, header, end, skips), Hex(result)) << end << " " << start;
        }
      }
      CWriteProgress progress;
      CFollowingDigest whole(&progress, {image.data(), header, 1000, skips}),
          part(&progress, {image.data(), header, 777, skips}),
          beyond(&progress, {image.data(), header, 1001, skips});
      for (uint64_t written = step; written < 1000; written += step) progress.Advance(written);
      progress.Advance(1000);
      progress.Close();
      EXPECT_EQ(Expected(image, header, 1000, skips) + Expected(image, header, 777, skips) + "none",
                Got(whole) + Got(part) + Got(beyond));
    }
  }
}

// A writer that puts each chunk where the chunk two before it was, once the
// followers are done with that one, still gets the digest of the whole (the
// image writer's ring of six chunks seldom makes a follower wait).
TEST(FollowingDigestTest, WriterThatUsesItsMemoryAgainWaitsForTheSlowestFollower) {
  const size_t kChunk = 1 << 20;
  Bytes image(6 * kChunk), ring(2 * kChunk);
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<unsigned char>(i * 13 + i / kChunk);
  CWriteProgress progress;
  CFollowingDigest whole(&progress, {ring.data(), {}, image.size(), {{100, 200}}, ring.size()}),
      old(&progress, {ring.data(), {}, 3 * kChunk + 5, {{100, 200}}, ring.size()});
  for (size_t i = 0; i < 6; ++i) {
    if (i >= 2) progress.WaitReleased((i - 1) * kChunk);
    std::memcpy(ring.data() + i % 2 * kChunk, image.data() + i * kChunk, kChunk);
    progress.Advance((i + 1) * kChunk);
  }
  progress.Close();
  EXPECT_EQ(Expected(image, {}, image.size(), {{100, 200}}), Got(whole));
  EXPECT_EQ(Expected(image, {}, 3 * kChunk + 5, {{100, 200}}), Got(old));
}
