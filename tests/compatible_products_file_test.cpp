#include "inputs/CompatibleProductsFile.h"

#include <gtest/gtest.h>

#include "test_util.h"

using Numbers = std::vector<unsigned int>;

TEST(CompatProductsFile, CheckAndConvertOneLine) {
  CCompatProductsFile file;
  // Lines that pass the check, and their number (-1: AddNumber refuses it).
  const std::pair<const char*, int64_t> good[] = {
      {"12", 12}, {"000012", 12}, {"0xA", 10}, {"0xab", 0xAB}, {"0x00Ff", 0xFF},
      {"4294967295", 0xFFFFFFFF}, {"0xFFFFFFFF", 0xFFFFFFFF}, {"4294967296", -1},
      {"0x100000000", -1}, {"99999999999999999999", -1}};
  for (const auto& [text, value] : good) {
    Numbers list{7};
    EXPECT_TRUE(file.IsValidNumber(text) && file.AddNumber(text, &list) == (value >= 0)) << text;
    EXPECT_EQ((value >= 0 ? Numbers{7, unsigned(value)} : Numbers{7}), list) << text;
  }
  for (const char* bad : {"-1", "+1", "0X1A", "1 2", "0x1 0x2", "ab", "1a", "0x", "0xg", "x1"}) {
    EXPECT_FALSE(file.IsValidNumber(bad)) << bad;
  }
}

TEST(CompatProductsFile, ReadNumbers) {
  const struct { std::string text; bool ok; Numbers numbers; } cases[] = {
      {"", true, {}}, {"// products\n0xA\n  20 \r\n/* x */\n6\n*/\n20", true, {10, 20, 20}},
      {"1\n-1\n", false, {}}, {"1\n0x100000000\n", false, {}}, {"1\n/* open\n", false, {}},
      // A line ends at its first NUL, for the check and the conversion.
      {std::string("1\0junk\n", 7), true, {1}}, {std::string("\0" "5\n", 3), false, {}},
      {std::string("0x1F\0zz", 7), true, {31}},
      {std::string("3\n1\0junk\n0x10\n", 14), true, {3, 1, 16}},
      {std::string("3\n\0" "5\n0x10\n", 10), false, {}}};
  for (const auto& c : cases) {
    CCompatProductsFile file;
    ASSERT_TRUE(file.Open(testutil::Put("compat.txt", c.text).c_str()));
    Numbers numbers{99};
    EXPECT_EQ(c.ok, file.ReadNumbers(&numbers)) << c.text;
    EXPECT_EQ(c.ok ? c.numbers : numbers, numbers) << c.text;
    EXPECT_EQ(c.ok ? "" : "Error in Compatible Products File (bad format).\n", file.GetErrorStr());
  }
}
