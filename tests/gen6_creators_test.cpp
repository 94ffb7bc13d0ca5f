#include "format/Gen6Creators.h"

#include <gtest/gtest.h>

#include "test_util.h"

static std::string Hex(const CTlvContainerCreator& c) { return testutil::ToHex(*c.Get()); }
static std::string Hex(const char* spaced) { return testutil::ToHex(testutil::FromHex(spaced)); }

// The text records (settings, keys, defaults) are checked byte for byte
// through their builders, in text_record_builders_test; user files in the
// records E2eTest's runs make.
TEST(Gen6Creators, RecordsByteForByte) {
  const std::vector<unsigned char> bytes{1, 2, 3};
  CGen6DataCreator data;
  data.Set(&bytes);
  const std::vector<unsigned int> none, products{7, 9};
  CGen6CompatProdCreator compat;
  compat.Set(&none);
  EXPECT_EQ(Hex(compat), Hex("03000000 04000000 00000000"));
  compat.Set(&products);
  CGen6SwVersionCreator version;
  version.Set("1.0");
  CGen6FirmwareCreator firmware;
  firmware.Set(&compat, &version, &data);
  EXPECT_EQ(Hex(firmware), Hex("00000060 2c000000 | 03000000 0c000000 02000000 07000000 09000000 |"
                               "02000000 04000000 312e3000 | 01000000 03000000 010203 00"));
}
