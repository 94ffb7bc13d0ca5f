#include "sha1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

using testutil::Bytes;
using testutil::ToHex;

namespace {

// Byte k of every test message; digests below come from the system sha1sum.
Bytes Pattern(size_t size) {
  Bytes out(size);
  for (size_t k = 0; k < size; ++k) out[k] = static_cast<unsigned char>(k * 31 + 7);
  return out;
}
const char kPattern300[] = "92de59cf7739d2cf8c2598a6c55b469c29ff92b6";

std::string Result(CSha1& sha) {
  unsigned char digest[20];
  sha.GetResult(digest);
  return ToHex(digest, sizeof digest);
}

TEST(Sha1, SelfTestAndEmptyMessage) {
  CSha1 sha;
  EXPECT_TRUE(sha.RunTests());
  sha.Init();
  EXPECT_EQ(Result(sha), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Result(sha), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Sha1, PiecesOfAnySizeGiveTheOneShotDigest) {
  const Bytes msg = Pattern(300);
  CSha1 sha;
  unsigned char digest[20];
  sha.DoHash(msg.data(), 300, digest);
  EXPECT_EQ(ToHex(digest, 20), kPattern300);
  for (unsigned int piece : {1u, 55u, 56u, 63u, 64u, 65u}) {
    sha.Init();
    sha.Update(msg.data(), 0);
    for (unsigned int at = 0; at < msg.size(); at += piece) {
      sha.Update(msg.data() + at, std::min<unsigned int>(piece, 300 - at));
    }
    EXPECT_EQ(Result(sha), kPattern300) << "piece " << piece;
  }
}

TEST(Sha1DeathTest, UpdatePreconditions) {
  const unsigned char byte = 0;
  CSha1 sha;
  sha.Init();
  // GCC spells the pointer "char*", clang "char *".
  const std::string where =
      "sha1\\.cpp.*virtual void CSha1::Update\\(const unsigned char ?\\*, "
      "unsigned int\\).*Assertion `";
  EXPECT_DEATH(sha.Update(nullptr, 0), where + "pBuffer' failed");
  Result(sha);
  EXPECT_DEATH(sha.Update(&byte, 1), where + "! m_Sha1Context.Computed' failed");
}

}  // namespace
