#include "format/Gen6Parsers.h"

#include <gtest/gtest.h>

#include "test_util.h"

TEST(Gen6Parsers, FirmwareVersionAndData) {
  // Products [7], version "2.1", data 01..05; first cut short to the products record.
  testutil::Bytes record = testutil::FromHex(
      "00000060 10000000 | 03000000 08000000 01000000 07000000 | 02000000 04000000 322e3100 |"
      "01000000 05000000 0102030405 000000");
  const char* pVersion = nullptr;
  const unsigned char* pData = nullptr;
  unsigned int length = 0;
  EXPECT_FALSE(CFirmwareParser(CTlv::AtByte(record.data())).GetSwVersion(&pVersion));
  EXPECT_FALSE(CFirmwareParser(CTlv::AtByte(record.data())).GetFwData(&pData, &length));
  EXPECT_TRUE(pVersion == nullptr && pData == nullptr && length == 0);
  record[4] = 0x2c;
  CFirmwareParser parser(CTlv::AtByte(record.data()));
  ASSERT_TRUE(parser.GetSwVersion(&pVersion) && parser.GetFwData(&pData, &length));
  EXPECT_EQ("2.1 0102030405", pVersion + (" " + testutil::ToHex(pData, length)));
}
