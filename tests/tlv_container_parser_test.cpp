#include "format/TlvContainerParser.h"

#include <gtest/gtest.h>

#include "test_util.h"

using testutil::Bytes, testutil::FromHex;

// Offsets of the records a walk yields; a walk that does not end is cut short. The walk runs
// over a copy in a heap block of exactly the buffer's size, so AddressSanitizer sees over-reads.
static std::vector<size_t> Walk(const Bytes& in) {
  const Bytes b(in.begin(), in.end());
  CTlvContainerParser parser(CTlv::AtByte(b.data()), b.size());
  std::vector<size_t> offsets;
  for (auto p = parser.GetFirstRecord(); p && offsets.size() < 64; p = parser.GetNextRecord())
    offsets.push_back(static_cast<size_t>(CTlv::Bytes(p) - b.data()));
  EXPECT_TRUE(offsets.empty() || !parser.GetNextRecord());  // an ended walk stays ended
  return offsets;
}

TEST(TlvParserTest, FindRecordTakesTheFirstAndLeavesTheWalkAlone) {
  const std::string twoRecords = "05000000 00000000 09000000 00000000";  // tags 5 and 9
  const Bytes b = FromHex("11000000 20000000" + twoRecords + twoRecords);
  CTlvContainerParser parser(CTlv::AtByte(b.data()), b.size());
  const CTlv::Header_t* found = nullptr;
  int index = 0;
  EXPECT_EQ(&b[8], CTlv::Bytes(parser.GetFirstRecord()));
  EXPECT_TRUE(parser.FindRecord(9, &found, &index) && CTlv::Bytes(found) == &b[16] && index == 2);
  EXPECT_TRUE(parser.FindRecord(5, &found, nullptr) && !parser.FindRecord(42, &found, &index));
  EXPECT_EQ(&b[8], CTlv::Bytes(found));
  EXPECT_EQ(&b[16], CTlv::Bytes(parser.GetNextRecord()));
}

TEST(TlvParserTest, WalkStaysInsideTheContainer) {
  const std::pair<std::string, std::vector<size_t>> cases[] = {
      {"11000000 0c000000 | 00000000 02000000 0000 0000", {8}},  // a record of 12 bytes
      {"07000000 00000000", {}},
      {"11000000 10000000 05000000 00000000 06000000 09000000", {8}},  // value runs past
      {"11000000 0c000000 05000000 00000000 06000000", {8}},           // no room for a header
      {"11000000 08000000 05000000 01000000", {}},
      // Padding cut off by the container's end: the record is still seen.
      {"11000000 15000000 05000000 00000000 06000000 05000000 6162636465", {8, 16}}};
  for (const auto& c : cases) EXPECT_EQ(c.second, Walk(FromHex(c.first))) << c.first;
  // 8 + Length + padding of these wraps to a small number in 32 bits.
  for (std::string n : {"ffffffff", "fdffffff", "fcffffff", "f8ffffff", "f9ffffff"}) {
    EXPECT_EQ(std::vector<size_t>{8}, Walk(FromHex("11000000 18000000 05000000 00000000 06000000" +
                                                   n + "00000000 00000000")));
    EXPECT_TRUE(Walk(FromHex("11000000 10000000 06000000" + n + "00000000")).empty()) << n;
  }
  const Bytes whole = FromHex(cases[5].first);
  for (size_t k = 1; k < whole.size(); ++k)
    EXPECT_LE(Walk(Bytes(whole.begin(), whole.begin() + static_cast<long>(k))).size(), 1u) << k;
}
