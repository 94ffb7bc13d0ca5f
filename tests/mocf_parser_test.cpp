#include "MocfParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Coding.h"
#include "Gen6MocfParser.h"
#include "MocfCreator.h"
#include "MocfRecordParser.h"
#include "MocfTags.h"
#include "test_util.h"

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

namespace {

const unsigned char* const kNoValue = nullptr;
const unsigned int kUnknownObjectTag = 0x60000006;  // passes the Gen6 rules untouched

// Where things lie in Sample().
const size_t kSecondVersionByte = 17, kVersionPadding = 18, kDigest = 28, kCompat = 48,
             kCompatNumber = 60, kObject = 68, kObjectValue = 76, kObjectPadding = 81,
             kSampleSize = 84;

CTlvContainerCreator Record(unsigned int tag, const Bytes& value) {
  CTlvContainerCreator c;
  const CTlv::Header_t h = {tag, static_cast<uint32_t>(value.size())};
  c.Set(&h, &value);
  return c;
}

Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes out;
  for (uint32_t w : words) coding::PutFixed32(&out, w);
  return out;
}

// A finished MOCF of exactly these records, whatever their order or kind.
Bytes Mocf(std::initializer_list<CTlvContainerCreator> records, unsigned int tag = mocf::kMocfTag) {
  CMocfCreator m;
  const CTlv::Header_t h = {tag, 0};
  m.Set(&h, kNoValue);
  for (const CTlvContainerCreator& r : records) m.AddObject(&r);
  m.Finish();
  return *m.Get();
}

// Version, hash, compatible products 7 and 9, and a 5-byte object record.
Bytes Sample() {
  CMocfCreator m;
  m.Init();
  CCompatProdCreator compat;
  const std::vector<unsigned int> products = {7, 9};
  compat.Set(&products);
  m.AddObject(&compat);
  const CTlvContainerCreator object = Record(kUnknownObjectTag, FromHex("68656c6c6f"));
  m.AddObject(&object);
  m.Finish();
  return *m.Get();
}

const CTlvContainerCreator kVersion = CMocfVersionCreator();
const CTlvContainerCreator kHash = CMocfHashCreator();

bool Valid(const Bytes& b) { return CMocfParser(CTlv::AtByte(b.data()), b.size()).IsValid(); }

bool Gen6Valid(const Bytes& b) {
  return CGen6MocfParser(CTlv::AtByte(b.data()), b.size()).IsValid();
}

bool HashFills(const Bytes& b) {
  unsigned char digest[20];
  return CMocfParser(CTlv::AtByte(b.data()), b.size()).CalcHash(digest);
}

void PutWord(Bytes* b, size_t at, uint32_t value) { coding::EncodeFixed32(b->data() + at, value); }

TEST(MocfParserTest, FinishedEmptyMocfPassesButNotTheGen6Rules) {
  CMocfCreator m;
  m.Init();
  m.Finish();
  const Bytes b = *m.Get();
  EXPECT_EQ("ad7717fbbb65590d46093fcd0b39f6f8ca0b7da9", ToHex(b.data() + kDigest, 20));
  EXPECT_TRUE(Valid(b));
  EXPECT_FALSE(Gen6Valid(b));  // no compatible-products record

  // CalcHash keeps its own position: a walk in progress is not moved.
  CMocfParser parser(CTlv::AtByte(b.data()), b.size());
  parser.GetFirstRecord();
  unsigned char digest[20];
  EXPECT_TRUE(parser.CalcHash(digest));
  EXPECT_EQ("ad7717fbbb65590d46093fcd0b39f6f8ca0b7da9", ToHex(digest, 20));
  EXPECT_EQ(b.data() + 20, CTlv::Bytes(parser.GetNextRecord()));
}

TEST(MocfParserTest, AnyChangedByteBreaksTheDigest) {
  const Bytes good = Sample();
  ASSERT_EQ(kSampleSize, good.size());
  ASSERT_TRUE(Valid(good));
  ASSERT_TRUE(Gen6Valid(good));
  for (size_t at : {kSecondVersionByte, kVersionPadding, kCompatNumber, kObjectValue, kObjectPadding,
                    kDigest, kDigest + 19}) {
    Bytes bad = good;
    bad[at] ^= 0x01;
    EXPECT_FALSE(Valid(bad)) << at;
  }
}

TEST(MocfParserTest, EachLayoutRuleBrokenAloneMakesItInvalid) {
  const CTlvContainerCreator object = Record(kUnknownObjectTag, FromHex("68656c6c6f"));
  const CTlvContainerCreator compat = Record(2, Words({1, 7}));
  EXPECT_TRUE(Valid(Mocf({kVersion, kHash, compat, object})));

  EXPECT_FALSE(Valid(Mocf({kVersion, kHash, compat, object}, 0x46434F4E)));
  // Without a hash record the layout rules still hold.
  EXPECT_TRUE(Valid(Mocf({kVersion, object})));
  EXPECT_FALSE(Valid(Mocf({object, kVersion})));
  // Only the first version byte is looked at; the second is only hashed.
  EXPECT_FALSE(Valid(Mocf({Record(0, FromHex("0100")), kHash})));
  EXPECT_TRUE(Valid(Mocf({Record(0, FromHex("0001")), kHash})));
  EXPECT_FALSE(Valid(Mocf({Record(0, Bytes()), kHash})));
  // The hash record, when present, is second and 20 bytes long.
  EXPECT_TRUE(Valid(Mocf({kVersion, kHash, compat})));
  EXPECT_FALSE(Valid(Mocf({kVersion, compat, kHash})));
  EXPECT_FALSE(Valid(Mocf({kVersion, Record(1, Bytes(16, 0)), compat})));
  // The compatible-products count must agree with the record's Length.
  EXPECT_FALSE(Valid(Mocf({kVersion, kHash, Record(2, Words({3, 7, 9}))})));
  EXPECT_FALSE(Valid(Mocf({kVersion, kHash, Record(2, FromHex("000000"))})));
  EXPECT_FALSE(Valid(Mocf({kVersion, kHash, Record(2, Bytes())})));
  EXPECT_TRUE(Valid(Mocf({kVersion, kHash, Record(2, Words({0}))})));
}

TEST(MocfParserTest, NoHashRecordIsAcceptedWithoutDigest) {
  CCompatProdCreator compat;
  const std::vector<unsigned int> products = {4};
  compat.Set(&products);
  const Bytes b = Mocf({kVersion, compat});
  EXPECT_TRUE(Valid(b));
  EXPECT_TRUE(Gen6Valid(b));
}

TEST(MocfRecordParserTest, OnlyFixedPartsInsideTheRecordAreRead) {
  // Buffers are sized exactly, so a read past the value is an over-read.
  const Bytes emptyVersion = *Record(0, Bytes()).Get();
  EXPECT_FALSE(CMocfVersionParser(CTlv::AtByte(emptyVersion.data())).IsValid());
  const Bytes hash = *Record(1, Bytes(20, 0x33)).Get();
  CMocfHashParser hashParser(CTlv::AtByte(hash.data()));
  EXPECT_TRUE(hashParser.IsValid());
  EXPECT_EQ(hash.data() + 8, hashParser.GetHash());

  for (const Bytes& shortValue : {Bytes(), Bytes(1, 0), Bytes(3, 0)}) {
    const Bytes b = *Record(2, shortValue).Get();
    CMocfCompatProdParser p(CTlv::AtByte(b.data()));
    EXPECT_FALSE(p.IsValid()) << shortValue.size();
    EXPECT_FALSE(p.FindId(0)) << shortValue.size();
  }
  const Bytes none = FromHex("02000000 04000000 00000000");
  CMocfCompatProdParser empty(CTlv::AtByte(none.data()));
  EXPECT_TRUE(empty.IsValid());
  for (unsigned int id : {0u, 1u, 7u, 0xFFFFFFFFu}) EXPECT_FALSE(empty.FindId(id));

  const Bytes two = *Record(2, Words({2, 7, 9})).Get();
  CMocfCompatProdParser products(CTlv::AtByte(two.data()));
  EXPECT_TRUE(products.IsValid());
  EXPECT_EQ(2u, products.GetNumItems());
  EXPECT_TRUE(products.FindId(9));
  EXPECT_FALSE(products.FindId(8));
}

TEST(MocfRecordParserTest, HugeProductCountsAreRefused) {
  // 4 x (N + 1) of these wraps to 0, 4, 8 or 12 in 32 bits.
  for (uint32_t count : {0x3FFFFFFFu, 0x40000000u, 0x40000001u, 0x40000002u, 0xFFFFFFFFu}) {
    for (uint32_t numbers = 0; numbers < 3; ++numbers) {
      Bytes value = Words({count});
      for (uint32_t i = 0; i < numbers; ++i) coding::PutFixed32(&value, 7 + i);
      const CTlvContainerCreator record = Record(2, value);
      const Bytes exact = *record.Get();
      CMocfCompatProdParser p(CTlv::AtByte(exact.data()));
      EXPECT_FALSE(p.IsValid()) << count << " " << numbers;
      EXPECT_FALSE(p.FindId(3)) << count;
      EXPECT_FALSE(Valid(Mocf({kVersion, kHash, record}))) << count << " " << numbers;
    }
  }
}

TEST(MocfParserTest, ObjectRecordsStartAtTag0x50000000) {
  const struct {
    uint32_t tag;
    bool object;
  } cases[] = {{0x4FFFFFFF, false}, {0x50000000, true}, {0xFFFFFFFF, true}, {0x46434F4D, false}, {2, false}};
  for (const auto& c : cases) {
    const Bytes b = Words({c.tag, 0});
    EXPECT_EQ(c.object, CMocfParser::IsObjectRecord(CTlv::AtByte(b.data()))) << c.tag;
  }
}

// Every prefix of a valid image, with its true size and then with a Length
// that agrees with the prefix.
TEST(MocfMalformedTest, EveryTruncationIsRefused) {
  const Bytes good = Sample();
  for (size_t k = 1; k < good.size(); ++k) {
    Bytes cut(good.begin(), good.begin() + static_cast<long>(k));
    EXPECT_FALSE(Valid(cut)) << k;
    EXPECT_FALSE(Gen6Valid(cut)) << k;
    EXPECT_FALSE(HashFills(cut)) << k;
    if (k < 8) continue;
    PutWord(&cut, 4, static_cast<uint32_t>(k - 8));
    EXPECT_FALSE(Gen6Valid(cut)) << k;
    // Cut before byte 48, the walk no longer reaches a whole hash record, and
    // the hash is the only check that the records fill the container.
    EXPECT_TRUE(k < kCompat || !Valid(cut)) << k;
  }
}

TEST(MocfMalformedTest, LengthsPastTheEndAreRefused) {
  const Bytes good = Sample();
  for (uint32_t length : {77u, 0x7FFFFFFCu, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
    Bytes bad = good;
    PutWord(&bad, 4, length);
    EXPECT_FALSE(Valid(bad)) << length;
    EXPECT_FALSE(Gen6Valid(bad)) << length;
  }
  for (size_t at : {kCompat + 4, kObject + 4}) {
    for (uint32_t length : {29u, 36u, 0x7FFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFF9u, 0xFFFFFFFCu, 0xFFFFFFFDu,
                            0xFFFFFFFFu}) {
      Bytes bad = good;
      PutWord(&bad, at, length);
      EXPECT_FALSE(Valid(bad)) << at << " " << length;
      EXPECT_FALSE(Gen6Valid(bad)) << at << " " << length;
      EXPECT_FALSE(HashFills(bad)) << at << " " << length;
    }
  }
}

TEST(MocfMalformedTest, PaddingCutOffByTheContainerEnd) {
  const Bytes good = Sample();
  Bytes cut(good.begin(), good.end() - 3);  // exactly sized, like every buffer here
  PutWord(&cut, 4, kSampleSize - 3 - 8);
  EXPECT_FALSE(HashFills(cut));
  EXPECT_FALSE(Valid(cut));
  EXPECT_FALSE(Gen6Valid(cut));

  // Bytes behind the container, here the missing padding, take no part in
  // the digest.
  unsigned char zeros[20], ones[20];
  Bytes behind = cut;
  behind.insert(behind.end(), 3, 0x00);
  EXPECT_FALSE(CMocfParser(CTlv::AtByte(behind.data()), behind.size()).CalcHash(zeros));
  std::fill(behind.end() - 3, behind.end(), 0xFF);
  EXPECT_FALSE(CMocfParser(CTlv::AtByte(behind.data()), behind.size()).CalcHash(ones));
  EXPECT_EQ(ToHex(zeros, 20), ToHex(ones, 20));

  // Without a hash record CalcHash still reports the short container.
  const CTlvContainerCreator object = Record(kUnknownObjectTag, FromHex("68656c6c6f"));
  const Bytes whole = Mocf({kVersion, object});
  Bytes noHash(whole.begin(), whole.end() - 3);
  PutWord(&noHash, 4, static_cast<uint32_t>(noHash.size() - 8));
  EXPECT_FALSE(HashFills(noHash));
}

}  // namespace
