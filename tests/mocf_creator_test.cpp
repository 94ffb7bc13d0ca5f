#include "MocfCreator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Gen6MocfParser.h"
#include "MocfParser.h"
#include "test_util.h"

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

namespace {

const char kEmptyMocf[] =
    "4d4f4346 28000000 | 00000000 02000000 0000 0000 | 01000000 14000000"
    "0000000000000000000000000000000000000000";
const char kEmptyDigest[] = "ad7717fbbb65590d46093fcd0b39f6f8ca0b7da9";
// SHA-1 of bytes 0-19 and 48-63 of the empty MOCF with "hello" appended
// under tag 0x60000006, from the system's sha1sum.
const char kHelloDigest[] = "16cf0385902bd435a95b4b7b3f15849c62c1effd";

CTlvContainerCreator Hello() {
  CTlvContainerCreator c;
  const CTlv::Header_t h = {0x60000006, 5};
  c.Set(&h, reinterpret_cast<const unsigned char*>("hello"));
  return c;
}

// A valid Gen6 MOCF with compatible products 7 and 9 and one object record.
Bytes Sample() {
  CMocfCreator m;
  m.Init();
  CCompatProdCreator compat;
  const std::vector<unsigned int> products = {7, 9};
  compat.Set(&products);
  m.AddObject(&compat);
  const CTlvContainerCreator hello = Hello();
  m.AddObject(&hello);
  m.Finish();
  return *m.Get();
}

bool Gen6Valid(const Bytes& b) {
  return CGen6MocfParser(CTlv::AtByte(b.data()), b.size()).IsValid();
}

TEST(MocfRecordCreatorTest, RecordsAndTags) {
  EXPECT_EQ(FromHex("00000000 02000000 0000"), *CMocfVersionCreator().Get());
  EXPECT_EQ("0100000014000000" + std::string(40, '0'), ToHex(*CMocfHashCreator().Get()));
  CCompatProdCreator compat;
  const std::vector<unsigned int> none, two = {7, 9};
  compat.Set(&none);
  EXPECT_EQ(FromHex("02000000 04000000 00000000"), *compat.Get());
  compat.Set(&two);
  EXPECT_EQ(FromHex("02000000 0c000000 02000000 07000000 09000000"), *compat.Get());
  EXPECT_EQ(0u, CMocfVersionCreator().GetMyTag());
  EXPECT_EQ(1u, CMocfHashCreator().GetMyTag());
  EXPECT_EQ(2u, compat.GetMyTag());
  EXPECT_EQ(0x46434F4Du, CMocfCreator().GetMyTag());
}

TEST(MocfCreatorTest, EmptyMocfAndItsDigest) {
  CMocfCreator m;
  m.Init();
  EXPECT_EQ(FromHex(kEmptyMocf), *m.Get());
  m.Finish();
  EXPECT_EQ(kEmptyDigest, ToHex(m.Get()->data() + 28, 20));
  const Bytes once = *m.Get();
  m.Finish();
  EXPECT_EQ(once, *m.Get());
  // Init starts over, whatever the creator held.
  const CTlvContainerCreator hello = Hello();
  m.AddObject(&hello);
  m.Init();
  EXPECT_EQ(FromHex(kEmptyMocf), *m.Get());
}

TEST(MocfCreatorTest, FiveByteObjectIsPaddedAndHashed) {
  CMocfCreator m;
  m.Init();
  const CTlvContainerCreator hello = Hello();
  m.AddObject(&hello);
  EXPECT_EQ(56u, m.GetTlvLength());
  ASSERT_EQ(64u, m.Get()->size());
  EXPECT_EQ("060000600500000068656c6c6f" "000000", ToHex(m.Get()->data() + 48, 16));
  m.Finish();
  EXPECT_EQ(kHelloDigest, ToHex(m.Get()->data() + 28, 20));
  const Bytes b = *m.Get();
  EXPECT_TRUE(CMocfParser(CTlv::AtByte(b.data()), b.size()).IsValid());
  EXPECT_FALSE(Gen6Valid(b));  // no compatible-products record
}

TEST(MocfCreatorTest, AdoptsAValidImageAsItIs) {
  const Bytes image = Sample();
  ASSERT_TRUE(Gen6Valid(image));
  CMocfCreator m;
  ASSERT_TRUE(m.Init(&image));
  EXPECT_EQ(image, *m.Get());
  const CTlvContainerCreator hello = Hello();
  m.AddObject(&hello);
  m.Finish();
  const Bytes twice = *m.Get();
  EXPECT_TRUE(Gen6Valid(twice));
  m.Finish();
  EXPECT_EQ(twice, *m.Get());

  Bytes moved = image;
  CMocfCreator taker;
  ASSERT_TRUE(taker.Init(std::move(moved)));
  EXPECT_EQ(image, *taker.Get());
}

// Each image breaks one rule only; each is refused by a new creator and by
// one that holds a MOCF, which keeps it.
TEST(MocfCreatorTest, RefusesEachBadImageAndKeepsWhatItHeld) {
  const Bytes good = Sample();
  CMocfCreator finishedEmpty;
  finishedEmpty.Init();
  finishedEmpty.Finish();
  Bytes withoutHash(good.begin(), good.begin() + 20);  // header and version record
  withoutHash.insert(withoutHash.end(), good.begin() + 48, good.end());
  withoutHash[4] = static_cast<unsigned char>(withoutHash.size() - 8);
  ASSERT_TRUE(Gen6Valid(withoutHash));

  Bytes tampered = good;
  tampered[80] ^= 1;
  Bytes longer = good;
  longer.insert(longer.end(), 4, 0);
  ASSERT_TRUE(Gen6Valid(longer));  // the parser itself ignores what follows
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"7 bytes", Bytes(good.begin(), good.begin() + 7)},
      {"shorter than 8 + Length", Bytes(good.begin(), good.end() - 1)},
      {"longer than 8 + Length", longer},
      {"digest mismatch", tampered},
      {"no compatible products", *finishedEmpty.Get()},
      {"no hash record", withoutHash}};
  for (const auto& c : cases) {
    CMocfCreator fresh;
    EXPECT_FALSE(fresh.Init(&c.second)) << c.first;
    EXPECT_TRUE(fresh.Get()->empty()) << c.first;
    CMocfCreator holding;
    holding.Init();
    EXPECT_FALSE(holding.Init(&c.second)) << c.first;
    EXPECT_EQ(FromHex(kEmptyMocf), *holding.Get()) << c.first;
    Bytes mine = c.second;
    EXPECT_FALSE(holding.Init(std::move(mine))) << c.first;
    EXPECT_EQ(c.second, mine) << c.first;
    EXPECT_EQ(FromHex(kEmptyMocf), *holding.Get()) << c.first;
  }
}

TEST(MocfCreatorTest, RefusesEveryTruncationOfAValidImage) {
  const Bytes good = Sample();
  for (size_t k = 0; k < good.size(); ++k) {
    const Bytes cut(good.begin(), good.begin() + static_cast<long>(k));
    CMocfCreator m;
    EXPECT_FALSE(m.Init(&cut)) << k;
    EXPECT_TRUE(m.Get()->empty()) << k;
  }
}

}  // namespace
