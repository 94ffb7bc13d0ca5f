#include "TlvContainerParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "MocfCreator.h"
#include "TlvContainerCreator.h"
#include "test_util.h"

using testutil::Bytes;

namespace {

// A bare nullptr would not say which Set is meant.
const unsigned char* const kNoValue = nullptr;

// Exactly sized, so that a read past the end is an over-read that
// AddressSanitizer sees.
Bytes FromHex(const std::string& hex) {
  const Bytes b = testutil::FromHex(hex);
  return Bytes(b.begin(), b.end());
}

CTlvContainerParser Over(const Bytes& b) {
  return CTlvContainerParser(CTlv::AtByte(b.data()), b.size());
}

size_t Offset(const Bytes& b, const CTlv::Header_t* p) {
  return static_cast<size_t>(CTlv::Bytes(p) - b.data());
}

// Offsets of the records a walk yields. Every yielded record must lie wholly
// in the buffer, and a walk that never ends is a failure, not a hang.
std::vector<size_t> Walk(const Bytes& b) {
  CTlvContainerParser parser = Over(b);
  std::vector<size_t> offsets;
  for (const CTlv::Header_t* p = parser.GetFirstRecord(); p; p = parser.GetNextRecord()) {
    const size_t at = Offset(b, p);
    EXPECT_LE(at + CTlv::kHeaderSize, b.size());
    EXPECT_LE(at + CTlv::GetRecordSize(p), b.size());
    offsets.push_back(at);
    if (offsets.size() > b.size()) {
      ADD_FAILURE() << "walk does not end";
      break;
    }
  }
  return offsets;
}

CTlvContainerCreator Record(unsigned int tag, const Bytes& value) {
  CTlvContainerCreator c;
  const CTlv::Header_t h = {tag, static_cast<uint32_t>(value.size())};
  c.Set(&h, &value);
  return c;
}

// A container whose records have the given tags, with values of 0, 1, 2, ...
// bytes so that every padding size occurs.
Bytes Container(const std::vector<unsigned int>& tags) {
  CTlvContainerCreator c;
  const CTlv::Header_t h = {0x11, 0};
  c.Set(&h, kNoValue);
  for (size_t i = 0; i < tags.size(); ++i) {
    const CTlvContainerCreator r = Record(tags[i], Bytes(i, 0xAB));
    c.AddObject(&r);
  }
  return *c.Get();
}

TEST(TlvPaddingTest, RecordsAreAlignedToFourBytes) {
  const uint32_t lengths[] = {0, 1, 2, 3, 4, 5, 0xFFFFFFFF};
  const int padding[] = {0, 3, 2, 1, 0, 3, 1};
  for (size_t i = 0; i < 7; ++i) {
    Bytes b = FromHex("00000000 00000000");
    b[4] = static_cast<unsigned char>(lengths[i]);
    for (int k = 5; k < 8; ++k) b[k] = static_cast<unsigned char>(lengths[i] >> (8 * (k - 4)));
    EXPECT_EQ(padding[i], CTlvContainerParser::CalcNumPaddingBytes(CTlv::AtByte(b.data())));
  }
  // A padded size that does not fit in 32 bits stays exact.
  const Bytes huge = FromHex("00000000 fdffffff");
  EXPECT_EQ(0x100000008u, CTlvContainerParser::GetPaddedSize(CTlv::AtByte(huge.data())));
  const Bytes five = FromHex("00000000 05000000");
  EXPECT_EQ(16u, CTlvContainerParser::GetPaddedSize(CTlv::AtByte(five.data())));
}

TEST(TlvPaddingTest, HeaderIsReadLittleEndianAtAnyAlignment) {
  const Bytes b = FromHex("ee 44332211 05000000 68656c6c6f");
  const CTlv::Header_t* h = CTlv::AtByte(b.data() + 1);
  EXPECT_EQ(0x11223344u, CTlv::GetTag(h));
  EXPECT_EQ(5u, CTlv::GetLength(h));
  EXPECT_EQ(b.data() + 9, CTlv::GetData(h));
}

TEST(TlvWalkTest, WorkedExampleRecordTakesTwelveBytes) {
  const Bytes b = FromHex("11000000 0c000000 | 00000000 02000000 0000 0000");
  CTlvContainerParser parser = Over(b);
  EXPECT_TRUE(parser.IsValid());
  EXPECT_EQ(12, parser.GetLength());
  EXPECT_EQ(20, parser.GetContainerSize());
  const CTlv::Header_t* first = parser.GetFirstRecord();
  ASSERT_EQ(b.data() + 8, CTlv::Bytes(first));
  EXPECT_EQ(2, CTlvContainerParser::CalcNumPaddingBytes(first));
  // One record: the walk ends and stays ended.
  EXPECT_EQ(nullptr, parser.GetNextRecord());
  EXPECT_EQ(nullptr, parser.GetNextRecord());
}

TEST(TlvWalkTest, EmptyContainerHoldsNoRecords) {
  const Bytes b = FromHex("07000000 00000000");
  CTlvContainerParser parser = Over(b);
  EXPECT_TRUE(parser.IsValid());
  EXPECT_EQ(8, parser.GetContainerSize());
  EXPECT_EQ(nullptr, parser.GetFirstRecord());
  const CTlv::Header_t* untouched = CTlv::AtByte(b.data());
  int index = -7;
  EXPECT_FALSE(parser.FindRecord(0, &untouched, &index));
  EXPECT_EQ(CTlv::AtByte(b.data()), untouched);
  EXPECT_EQ(-7, index);
}

TEST(TlvWalkTest, EmptyMocfYieldsVersionAndHashRecords) {
  CMocfCreator mocf;
  mocf.Init();
  const Bytes b = *mocf.Get();
  EXPECT_EQ(40, Over(b).GetLength());
  EXPECT_EQ(48, Over(b).GetContainerSize());
  EXPECT_EQ((std::vector<size_t>{8, 20}), Walk(b));
}

TEST(TlvFindTest, FirstRecordOfTagWinsAndWalkIsKept) {
  const Bytes b = Container({5, 9, 5, 9});  // padded sizes 8, 12, 12, 12
  EXPECT_EQ((std::vector<size_t>{8, 16, 28, 40}), Walk(b));
  CTlvContainerParser parser = Over(b);
  const CTlv::Header_t* found = nullptr;
  int index = 0;
  ASSERT_TRUE(parser.FindRecord(9, &found, &index));
  EXPECT_EQ(16u, Offset(b, found));
  EXPECT_EQ(2, index);
  found = nullptr;
  ASSERT_TRUE(parser.FindRecord(5, &found, nullptr));
  EXPECT_EQ(8u, Offset(b, found));

  // A search in the middle of a walk does not move it.
  EXPECT_EQ(8u, Offset(b, parser.GetFirstRecord()));
  EXPECT_TRUE(parser.FindRecord(9, &found, &index));
  EXPECT_EQ(16u, Offset(b, parser.GetNextRecord()));
  EXPECT_FALSE(parser.FindRecord(42, &found, &index));
  EXPECT_EQ(28u, Offset(b, parser.GetNextRecord()));
}

TEST(TlvWalkDeathTest, NextBeforeFirstIsAProgrammingError) {
  const Bytes b = Container({5});
  CTlvContainerParser parser = Over(b);
  EXPECT_DEATH(parser.GetNextRecord(), "m_ObjectFind.pRecord");
}

TEST(TlvBoundsTest, ContainerMustLieInTheBytesAvailable) {
  const Bytes whole = FromHex("11000000 0c000000 | 00000000 02000000 0000 0000");
  for (size_t k = 1; k < whole.size(); ++k) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(k));
    EXPECT_FALSE(Over(cut).IsValid()) << k;
    Walk(cut);
  }
  EXPECT_FALSE(CTlvContainerParser(nullptr, 0).IsValid());
  // Bytes after the container are not part of it.
  const Bytes trailing = FromHex("11000000 08000000 05000000 00000000 | 06000000 00000000");
  EXPECT_TRUE(Over(trailing).IsValid());
  EXPECT_EQ((std::vector<size_t>{8}), Walk(trailing));
  for (const char* length : {"ffffffff", "f8ffffff", "fcffffff", "00000080"}) {
    const Bytes b = FromHex(std::string("11000000") + length + "05000000 00000000");
    EXPECT_FALSE(Over(b).IsValid()) << length;
    Walk(b);
  }
}

TEST(TlvBoundsTest, WalkEndsAtFirstRecordNotInsideTheContainer) {
  // Value of the second record runs past the container's end.
  EXPECT_EQ((std::vector<size_t>{8}),
            Walk(FromHex("11000000 10000000 05000000 00000000 06000000 09000000")));
  // Fewer than 8 bytes left for a header.
  EXPECT_EQ((std::vector<size_t>{8}), Walk(FromHex("11000000 0c000000 05000000 00000000 06000000")));
  // The very first record does not fit.
  EXPECT_TRUE(Walk(FromHex("11000000 08000000 05000000 01000000")).empty());
  // A record whose padding is cut off by the container's end is still seen.
  EXPECT_EQ((std::vector<size_t>{8, 16}),
            Walk(FromHex("11000000 15000000 05000000 00000000 06000000 05000000 6162636465")));
}

TEST(TlvBoundsTest, HugeRecordLengthsEndTheWalk) {
  // 8 + Length (+ padding) of these wraps to a small number in 32 bits.
  for (const char* length : {"ffffffff", "fdffffff", "fcffffff", "f8ffffff", "f9ffffff"}) {
    const Bytes second =
        FromHex(std::string("11000000 18000000 05000000 00000000 06000000") + length + "0000000000000000");
    EXPECT_EQ((std::vector<size_t>{8}), Walk(second)) << length;
    const CTlv::Header_t* found = nullptr;
    EXPECT_FALSE(Over(second).FindRecord(6, &found, nullptr)) << length;
    const Bytes first = FromHex(std::string("11000000 10000000 06000000") + length + "00000000");
    EXPECT_TRUE(Walk(first).empty()) << length;
  }
}

}  // namespace
