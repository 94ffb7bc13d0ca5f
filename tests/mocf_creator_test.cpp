#include "MocfCreator.h"

#include <gtest/gtest.h>

#include "test_util.h"

using testutil::Bytes, testutil::FromHex;

// Digests from sha1sum over the hashed bytes: all but the hash record.
static const std::string kVersionAndHash = "00000000 02000000 0000 0000 | 01000000 14000000",
                         kCompat = "02000000 0c000000 02000000 07000000 09000000",
                         kHello = "06000060 05000000 68656c6c6f 000000",
                         kEmptyDigest = "ad7717fbbb65590d46093fcd0b39f6f8ca0b7da9",
                         kHelloDigest = "16cf0385902bd435a95b4b7b3f15849c62c1effd",
                         kGood = "4d4f4346 4c000000" + kVersionAndHash +
                                 "4e9ae2b1b117898d107a3266065047950dc399c8" + kCompat + kHello;

TEST(MocfCreatorTest, InitFinishAndTheMocfRecords) {
  CMocfCreator m;
  m.Init();
  EXPECT_EQ(FromHex("4d4f4346 28000000" + kVersionAndHash + std::string(40, '0')), *m.Get());
  m.Finish();
  m.Finish();  // stores the same digest again
  EXPECT_EQ(FromHex("4d4f4346 28000000" + kVersionAndHash + kEmptyDigest), *m.Get());
  CTlvContainerCreator hello;
  const CTlv::Header_t h = {0x60000006, 5};
  hello.Set(&h, reinterpret_cast<const unsigned char*>("hello"));
  m.Init();
  m.AddObject(&hello);
  m.Finish();
  EXPECT_EQ(FromHex("4d4f4346 38000000" + kVersionAndHash + kHelloDigest + kHello), *m.Get());
  CCompatProdCreator compat;
  const std::vector<unsigned int> none;
  compat.Set(&none);
  EXPECT_EQ(FromHex("02000000 04000000 00000000"), *compat.Get());
}

TEST(MocfCreatorTest, AdoptsOnlyAWholeValidImageThatHasAHashRecord) {
  const Bytes good = FromHex(kGood);
  CMocfCreator m;
  ASSERT_TRUE(CMocfCreator().Init(Bytes(good)) && m.Init(&good) && *m.Get() == good);
  // Each breaks one rule: 7 bytes; shorter than 8 + Length; empty; longer than 8 + Length; never
  // finished (digest mismatch); no compatible-products record (a Gen6 rule); no hash record.
  const Bytes refused[] = {
      Bytes(good.begin(), good.begin() + 7),
      Bytes(good.begin(), good.end() - 1),
      Bytes(),
      FromHex(kGood + "00000000"),
      FromHex("4d4f4346 4c000000" + kVersionAndHash + std::string(40, '0') + kCompat + kHello),
      FromHex("4d4f4346 28000000" + kVersionAndHash + kEmptyDigest),
      FromHex("4d4f4346 30000000 00000000 02000000 0000 0000" + kCompat + kHello)};
  for (size_t i = 0; i < std::size(refused); ++i) {
    const Bytes bad = refused[i];  // a heap block of exactly its size
    Bytes mine = bad;
    EXPECT_FALSE(m.Init(&bad) || m.Init(std::move(mine))) << i;
    EXPECT_TRUE(mine == bad && *m.Get() == good) << i;
    // Trusting the digest waives that one check and no other.
    EXPECT_EQ(i == 4, CMocfCreator().InitTrustingDigest(Bytes(bad))) << i;
  }
}
