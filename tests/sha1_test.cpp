#include "sha1/sha1.h"

#include <gtest/gtest.h>

#include <numeric>

#include "test_util.h"

// Digests of bytes 7, 8, 9, ... from the system sha1sum.
const char kEmpty[] = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
const char kFirst300[] = "f6e9b7e2cb74b622740d17f39688615df1d24770";

// Digest of the first n bytes of 7, 8, 9, ...: `first` of them in one piece,
// then the rest in pieces of `piece`.
static std::string Digest(size_t n, size_t first = 0, size_t piece = 300) {
  testutil::Bytes msg(300);
  std::iota(msg.begin(), msg.end(), 7);
  CSha1 sha;
  sha.Init();
  sha.Update(msg.data(), unsigned(first));
  for (size_t i = first; i < n; i += piece) sha.Update(&msg[i], unsigned(std::min(piece, n - i)));
  unsigned char digest[20];
  sha.GetResult(digest);
  return testutil::ToHex(digest, sizeof digest);
}

TEST(Sha1, PiecesPreconditionsAndCoreStatusCodes) {
  for (size_t piece : {1, 55, 56, 63, 64, 65}) EXPECT_EQ(Digest(300, 0, piece), kFirst300) << piece;
  CSha1 sha;
  unsigned char digest[20];
  sha.DoHash(digest, 0, digest);  // leaves the context computed
  sha.GetResult(digest);
  EXPECT_EQ(testutil::ToHex(digest, sizeof digest), kEmpty);  // the same digest again
  // The C libraries word a failed assertion differently; both name it.
  EXPECT_DEATH(sha.Update(nullptr, 0), "Assertion.*pBuffer");
  EXPECT_DEATH(sha.Update(digest, 1), "Assertion.*! m_Sha1Context.Computed");
  SHA1Context ctx;
  EXPECT_EQ(SHA1Reset(nullptr), shaNull);
  SHA1Reset(&ctx);
  EXPECT_EQ(SHA1Input(&ctx, nullptr, 1), shaNull);
  EXPECT_EQ(SHA1FinalBits(&ctx, 0, 8), shaStateError);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaStateError);  // the error sticks
  SHA1Reset(&ctx);
  EXPECT_EQ(SHA1Result(&ctx, digest), shaSuccess);
  EXPECT_EQ(SHA1Input(&ctx, digest, 1), shaStateError);
}

TEST(Sha1, SelfTestHasEveryRowAndEachOneBites) {
  size_t count = 0;
  const Sha1Test_t* pTests = CSha1::GetTestVectors(&count);
  ASSERT_EQ(7u, count);
  CSha1 sha;
  EXPECT_TRUE(sha.RunTests() && sha.RunTests(pTests, count));
  for (size_t row = 0; row < count; ++row) {
    for (size_t byte : {0, 19}) {
      std::vector<Sha1Test_t> damaged(pTests, pTests + count);
      damaged[row].Expected[byte] ^= 0x01;
      EXPECT_FALSE(sha.RunTests(damaged.data(), count)) << row << " " << byte;
    }
  }
}

// Kept last: a failure or a skip leaves an engine pinned.
TEST(Sha1, EnginesAgreeAtEveryLengthAndSplit) {
  std::vector<std::string> want;
  ASSERT_TRUE(SHA1SelectEngine(SHA1EnginePortable));
  for (size_t n = 0; n <= 300; ++n) want.push_back(Digest(n));
  EXPECT_TRUE(want[0] == kEmpty && want[300] == kFirst300);
  for (SHA1Engine_t engine : {SHA1EnginePortable, SHA1EngineHardware}) {
    if (!SHA1SelectEngine(engine)) GTEST_SKIP() << "no SHA extensions";
    for (size_t n = 0; n <= 300; ++n) ASSERT_EQ(Digest(n), want[n]) << n;
    for (size_t split = 0; split <= 200; ++split) ASSERT_EQ(Digest(200, split), want[200]) << split;
  }
  SHA1SelectEngine(SHA1EngineAuto);
}

