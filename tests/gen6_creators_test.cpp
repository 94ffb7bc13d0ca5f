#include "Gen6Creators.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace {

std::string Hex(const CTlvContainerCreator& creator) { return testutil::ToHex(*creator.Get()); }
std::string Hex(const char* spaced) { return testutil::ToHex(testutil::FromHex(spaced)); }

template <class Creator>
std::string Text(const std::string& text) {
  Creator creator;
  creator.Set(&text);
  return Hex(creator);
}

TEST(Gen6Creators, RecordsByteForByte) {
  CGen6FileNameCreator name;
  name.Set("a.txt");
  const std::vector<unsigned char> bytes{1, 2, 3};
  CGen6DataCreator data;
  data.Set(&bytes);
  CGen6UserFileCreator user;
  user.Set(&name, &data);
  EXPECT_EQ(Hex(user), Hex("02000060 1c000000 | 00000000 06000000 612e74787400 0000 |"
                           "01000000 03000000 010203 00"));

  EXPECT_EQ(Text<CGen6MenuSettingsCreator>("ABC"), Hex("05000060 05000000 4142432e00"));
  EXPECT_EQ(Text<CGen6SwKeysCreator>("ABC"), Hex("03000060 05000000 4142432e00"));
  EXPECT_EQ(Text<CGen6CustomDefaultMenuSettingsCreator>("ABC"),
            Hex("04000060 05000000 4142434000"));

  const std::vector<unsigned int> none, products{7, 9};
  CGen6CompatProdCreator compat;
  compat.Set(&none);
  EXPECT_EQ(Hex(compat), Hex("03000000 04000000 00000000"));
  compat.Set(&products);
  EXPECT_EQ(Hex(compat), Hex("03000000 0c000000 02000000 07000000 09000000"));

  CGen6SwVersionCreator version;
  version.Set("1.0");
  CGen6FirmwareCreator firmware;
  firmware.Set(&compat, &version, &data);
  EXPECT_EQ(Hex(firmware), Hex("00000060 2c000000 | 03000000 0c000000 02000000 07000000 09000000 |"
                               "02000000 04000000 312e3000 | 01000000 03000000 010203 00"));
}

}  // namespace
