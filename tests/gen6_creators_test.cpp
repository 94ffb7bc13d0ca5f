#include "Gen6Creators.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MocfCreator.h"
#include "test_util.h"

namespace {

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

std::string Hex(const CTlvContainerCreator& creator) { return ToHex(*creator.Get()); }

CGen6FileNameCreator Name(const char* name) {
  CGen6FileNameCreator creator;
  creator.Set(name);
  return creator;
}

CGen6DataCreator Data(const Bytes& bytes) {
  CGen6DataCreator creator;
  creator.Set(&bytes);
  return creator;
}

TEST(Gen6Creators, UserFileNestsNameAndDataWithPadding) {
  CGen6UserFileCreator user;
  const CGen6FileNameCreator name = Name("a.txt");
  const CGen6DataCreator data = Data({1, 2, 3});
  user.Set(&name, &data);
  EXPECT_EQ(Hex(user), ToHex(FromHex("02000060 1c000000 | 00000000 06000000 612e74787400 0000 |"
                                     "01000000 03000000 010203 00")));
  EXPECT_EQ(user.Get()->size(), 36u);
  EXPECT_EQ(user.GetTlvLength(), 28u);
}

TEST(Gen6Creators, EmptyNameAndEmptyData) {
  EXPECT_EQ(Hex(Data({})), "0100000000000000");
  EXPECT_EQ(Hex(Name("")), "000000000100000000");
  // Inside a container the one-byte name gets three padding bytes and the
  // empty data record none.
  CGen6UserFileCreator user;
  const CGen6FileNameCreator name = Name("");
  const CGen6DataCreator data = Data({});
  user.Set(&name, &data);
  EXPECT_EQ(Hex(user), ToHex(FromHex("02000060 14000000 | 00000000 01000000 00 000000 |"
                                     "01000000 00000000")));
}

TEST(Gen6Creators, NamesAndVersionsAreStoredAsGiven) {
  const std::string longName(57, 'n');
  EXPECT_EQ(Name(longName.c_str()).GetTlvLength(), 58u);
  EXPECT_EQ(Name((longName + "x").c_str()).GetTlvLength(), 59u);
  // The creator takes any name; only the parser judges it.
  EXPECT_EQ(Hex(Name("d/a b")), ToHex(FromHex("00000000 06000000 642f612062 00")));
  CGen6SwVersionCreator version;
  version.Set("1.0");
  EXPECT_EQ(Hex(version), ToHex(FromHex("02000000 04000000 312e3000")));
}

TEST(Gen6Creators, TextRecordsForABC) {
  const std::string text = "ABC";
  CGen6MenuSettingsCreator menu;
  CGen6SwKeysCreator keys;
  CGen6CustomDefaultMenuSettingsCreator defaults;
  menu.Set(&text);
  keys.Set(&text);
  defaults.Set(&text);
  EXPECT_EQ(Hex(menu), ToHex(FromHex("05000060 05000000 4142432e00")));
  EXPECT_EQ(Hex(keys), ToHex(FromHex("03000060 05000000 4142432e00")));
  EXPECT_EQ(Hex(defaults), ToHex(FromHex("04000060 05000000 4142434000")));
  // The SW-keys tag comes through the virtual call even via the base.
  CGen6MenuSettingsCreator* pBase = &keys;
  const std::string dotted = "A.";
  pBase->Set(&dotted);
  EXPECT_EQ(Hex(keys), ToHex(FromHex("03000060 04000000 412e2e00")));
}

TEST(Gen6Creators, CompatibleProductsBothLevels) {
  const std::vector<unsigned int> none, two{7, 9};
  CGen6CompatProdCreator nested;
  CCompatProdCreator top;
  nested.Set(&none);
  top.Set(&none);
  EXPECT_EQ(Hex(nested), ToHex(FromHex("03000000 04000000 00000000")));
  EXPECT_EQ(Hex(top), ToHex(FromHex("02000000 04000000 00000000")));
  nested.Set(&two);
  top.Set(&two);
  EXPECT_EQ(Hex(nested), ToHex(FromHex("03000000 0c000000 02000000 07000000 09000000")));
  EXPECT_EQ(Hex(top), ToHex(FromHex("02000000 0c000000 02000000 07000000 09000000")));
}

TEST(Gen6Creators, FirmwareNestsProductsVersionDataInOrder) {
  const std::vector<unsigned int> products{7};
  CGen6CompatProdCreator compat;
  compat.Set(&products);
  CGen6SwVersionCreator version;
  version.Set("1.0");
  const CGen6DataCreator data = Data({1, 2, 3, 4, 5});
  CGen6FirmwareCreator firmware;
  firmware.Set(&compat, &version, &data);
  EXPECT_EQ(Hex(firmware), ToHex(FromHex("00000060 2c000000 |"
                                         "03000000 08000000 01000000 07000000 |"
                                         "02000000 04000000 312e3000 |"
                                         "01000000 05000000 0102030405 000000")));
}

TEST(Gen6Creators, SetTwiceKeepsOnlyTheSecondRecord) {
  CGen6DataCreator data = Data({1, 2, 3, 4, 5});
  const Bytes one{9};
  data.Set(&one);
  EXPECT_EQ(Hex(data), "010000000100000009");

  CGen6UserFileCreator user;
  const CGen6FileNameCreator longName = Name("long_name.bin");
  const CGen6FileNameCreator shortName = Name("b");
  const CGen6DataCreator empty = Data({});
  user.Set(&longName, &data);
  user.Set(&shortName, &empty);
  EXPECT_EQ(Hex(user), ToHex(FromHex("02000060 14000000 | 00000000 02000000 6200 0000 |"
                                     "01000000 00000000")));

  CGen6CustomDefaultMenuSettingsCreator defaults;
  const std::string first = "first", second = "Z";
  defaults.Set(&first);
  defaults.Set(&second);
  EXPECT_EQ(Hex(defaults), ToHex(FromHex("04000060 03000000 5a4000")));
}

}  // namespace
