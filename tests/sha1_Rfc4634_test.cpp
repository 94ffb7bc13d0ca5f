#include "sha1_Rfc4634.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

namespace {

Bytes Pattern(size_t size) {
  Bytes out(size);
  for (size_t k = 0; k < size; ++k) out[k] = static_cast<unsigned char>(k * 31 + 7);
  return out;
}

// Digests of Pattern(n), from the system sha1sum.
const std::pair<size_t, const char*> kPatternDigests[] = {
    {0, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {55, "749bbefb28edc4638b28b2b9a9e03ab9a4032b90"},
    {56, "a5b6e9c29d201c774753ff8e7fb64931656f5e63"},
    {63, "d1a454409359fc372b4d22b3cea6488d6ba1be00"},
    {64, "39a0d8b645ad85f1f976731ed112ac9455e28b78"},
    {65, "d0c96e18890114a14716e9686528d2e3fdba8d9e"},
    {300, "92de59cf7739d2cf8c2598a6c55b469c29ff92b6"},
};
const char kPattern200[] = "9194d8145e556594766df1e7699e2dfda424d1ee";

std::string Digest(const Bytes& msg, size_t split = 0) {
  SHA1Context ctx;
  unsigned char digest[SHA1HashSize];
  EXPECT_EQ(SHA1Reset(&ctx), shaSuccess);
  EXPECT_EQ(SHA1Input(&ctx, msg.data(), unsigned(split)), shaSuccess);
  EXPECT_EQ(SHA1Input(&ctx, msg.data() + split, unsigned(msg.size() - split)),
            shaSuccess);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaSuccess);
  return ToHex(digest, sizeof digest);
}

std::string DigestWithFinalBits(const Bytes& msg, unsigned char bits,
                                unsigned int count) {
  SHA1Context ctx;
  unsigned char digest[SHA1HashSize];
  SHA1Reset(&ctx);
  SHA1Input(&ctx, msg.data(), unsigned(msg.size()));
  EXPECT_EQ(SHA1FinalBits(&ctx, bits, count), shaSuccess);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaSuccess);
  return ToHex(digest, sizeof digest);
}

class Sha1Engines : public testing::TestWithParam<SHA1Engine_t> {
 protected:
  void SetUp() override {
    if (!SHA1SelectEngine(GetParam())) GTEST_SKIP() << "no SHA extensions";
  }
  void TearDown() override { SHA1SelectEngine(SHA1EngineAuto); }
};

TEST_P(Sha1Engines, KnownDigestsAndEverySplit) {
  for (const auto& [size, hex] : kPatternDigests) EXPECT_EQ(Digest(Pattern(size)), hex);
  const Bytes msg = Pattern(200);
  for (size_t split = 0; split <= msg.size(); ++split) {
    ASSERT_EQ(Digest(msg, split), kPattern200) << "split " << split;
  }
  EXPECT_EQ(Digest(Bytes(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST_P(Sha1Engines, FinalBits) {
  // Expected values from an independent bit-level SHA-1; the first is also
  // the RFC 4634 vector for these 123 bits.
  EXPECT_EQ(DigestWithFinalBits(FromHex("49b2aec2594bbe3a3b117542d94ac8"), 0x80, 3),
            "6239781e03729919c01955b3ffa8acb60b988340");
  EXPECT_EQ(DigestWithFinalBits(Pattern(63), 0x5A, 7),
            "c70f9f32e2cf4714997f4276f6cb07eb8530effe");
}

TEST_P(Sha1Engines, MatchesPortableAtEveryLength) {
  const Bytes msg = Pattern(300);
  std::vector<std::string> expected;
  SHA1SelectEngine(SHA1EnginePortable);
  for (size_t n = 0; n <= msg.size(); ++n) expected.push_back(Digest(Bytes(msg.begin(), msg.begin() + n)));
  SHA1SelectEngine(GetParam());
  for (size_t n = 0; n <= msg.size(); ++n) {
    ASSERT_EQ(Digest(Bytes(msg.begin(), msg.begin() + n)), expected[n]) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Core, Sha1Engines,
                         testing::Values(SHA1EnginePortable, SHA1EngineHardware));

TEST(Sha1Status, NullArgumentsAndEmptyInput) {
  SHA1Context ctx;
  unsigned char digest[SHA1HashSize];
  const unsigned char byte = 0;
  EXPECT_EQ(SHA1Reset(nullptr), shaNull);
  SHA1Reset(&ctx);
  EXPECT_EQ(SHA1Input(&ctx, nullptr, 0), shaSuccess);
  EXPECT_EQ(SHA1Input(nullptr, nullptr, 0), shaSuccess);
  EXPECT_EQ(SHA1Input(&ctx, nullptr, 1), shaNull);
  EXPECT_EQ(SHA1Input(nullptr, &byte, 1), shaNull);
  EXPECT_EQ(SHA1FinalBits(nullptr, 0, 1), shaNull);
  EXPECT_EQ(SHA1FinalBits(&ctx, 0, 0), shaSuccess);
  EXPECT_EQ(SHA1Result(&ctx, nullptr), shaNull);
  EXPECT_EQ(SHA1Result(nullptr, digest), shaNull);
  EXPECT_EQ(ctx.Corrupted, 0);
}

TEST(Sha1Status, StateErrorsAreSticky) {
  SHA1Context ctx;
  unsigned char digest[SHA1HashSize] = {};
  const unsigned char byte = 0;
  SHA1Reset(&ctx);
  EXPECT_EQ(SHA1FinalBits(&ctx, 0, 8), shaStateError);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaStateError);
  SHA1Reset(&ctx);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaSuccess);
  EXPECT_EQ(SHA1Input(&ctx, &byte, 1), shaStateError);
  EXPECT_EQ(SHA1FinalBits(&ctx, 0, 1), shaStateError);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaStateError);
}

// 2^64 bits is one bit count too many: the byte that reaches it corrupts the
// context, whether it arrives alone or inside whole blocks.
TEST(Sha1Status, BitCountOverflowCorrupts) {
  SHA1Context ctx;
  const Bytes msg = Pattern(200);
  SHA1Reset(&ctx);
  ctx.Length_High = 0xFFFFFFFF;
  ctx.Length_Low = 0xFFFFFFFF - 128 * 8 + 1;  // room for 127 bytes
  EXPECT_EQ(SHA1Input(&ctx, msg.data(), 127), shaSuccess);
  EXPECT_EQ(ctx.Length_Low, 0xFFFFFFF8u);
  EXPECT_EQ(ctx.Message_Block_Index, 63);

  SHA1Reset(&ctx);
  ctx.Length_High = 0xFFFFFFFF;
  ctx.Length_Low = 0xFFFFFFFF - 128 * 8 + 1;
  EXPECT_EQ(SHA1Input(&ctx, msg.data(), 200), shaNull);
  EXPECT_EQ(ctx.Length_High, 0u);
  EXPECT_EQ(ctx.Length_Low, 0u);
  EXPECT_EQ(ctx.Message_Block_Index, 64);
  unsigned char digest[SHA1HashSize] = {};
  EXPECT_EQ(SHA1Input(&ctx, msg.data(), 1), shaNull);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaNull);
  EXPECT_EQ(ToHex(digest, sizeof digest), std::string(40, '0'));
}

}  // namespace
