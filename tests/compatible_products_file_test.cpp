#include "CompatibleProductsFile.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

using Numbers = std::vector<unsigned int>;

TEST(CompatProductsFile, IsValidNumber) {
  CCompatProductsFile file;
  for (const char* good : {"12", "0", "0xA", "0xab", "0xAbC", "000012", "0x00FF",
                           "4294967296", "0x100000000"}) {
    EXPECT_TRUE(file.IsValidNumber(good)) << good;
  }
  for (const char* bad : {"-1", "+1", "0X1A", "1 2", "0x1 0x2", "ab", "1a", "0x",
                          "0xg", "0xAg", "x1", "12x", "1.5"}) {
    EXPECT_FALSE(file.IsValidNumber(bad)) << bad;
  }
}

TEST(CompatProductsFile, AddNumber) {
  CCompatProductsFile file;
  struct Case { const char* text; bool ok; unsigned int value; } cases[] = {
    {"12", true, 12}, {"0xA", true, 10}, {"0xff", true, 255},
    {"0x000000000000FF", true, 255}, {"000000000000000012", true, 12},
    {"4294967295", true, 0xFFFFFFFFu}, {"0xFFFFFFFF", true, 0xFFFFFFFFu},
    {"4294967296", false, 0}, {"0x100000000", false, 0},
    {"99999999999999999999", false, 0}, {"0x", false, 0}, {"", false, 0},
  };
  for (const Case& c : cases) {
    Numbers list{7};
    EXPECT_EQ(file.AddNumber(c.text, &list), c.ok) << c.text;
    EXPECT_EQ(list, (c.ok ? Numbers{7, c.value} : Numbers{7})) << c.text;
  }
}

TEST(CompatProductsFile, ReadNumbers) {
  // A null list marks a file that must fail.
  struct Case { std::string text; const Numbers* numbers; };
  const Numbers none, ten_twenty{10, 20}, fives{5, 5};
  const Case cases[] = {
    {"", &none}, {"// products\n0xA\n20\n", &ten_twenty},
    {"  5 \r\n/* x */\n6\n*/\n5", &fives}, {"1\n-1\n", nullptr},
    {"0X1\n", nullptr}, {"1 2\n", nullptr}, {"ab\n", nullptr},
    {"0xg\n", nullptr}, {"0x\n", nullptr}, {"4294967296\n", nullptr},
    {"0x100000000\n", nullptr}, {"1\n/* open\n", nullptr},
    {std::string("12\0x\n", 5), nullptr},
  };
  testutil::TempDir dir;
  for (const Case& c : cases) {
    testutil::WriteFile(dir.File("compat.txt"), c.text);
    CCompatProductsFile file;
    ASSERT_TRUE(file.Open(dir.File("compat.txt").c_str()));
    Numbers numbers{99};
    EXPECT_EQ(file.ReadNumbers(&numbers), c.numbers != nullptr) << c.text;
    if (c.numbers) {
      EXPECT_EQ(numbers, *c.numbers) << c.text;
    }
    EXPECT_EQ(file.GetErrorStr(), c.numbers ? ""
              : "Error in Compatible Products File (bad format).\n") << c.text;
  }
}

}  // namespace
