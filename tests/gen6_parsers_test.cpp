#include "Gen6Parsers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "Gen6Creators.h"
#include "Gen6MocfParser.h"
#include "MocfCreator.h"
#include "test_util.h"

namespace {

using namespace std::string_literals;
using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

constexpr unsigned int kFirmware = 0x60000000, kFirmwareAlt = 0x60000001, kUserFile = 0x60000002,
                       kSwKeys = 0x60000003, kCustomDefaults = 0x60000004,
                       kMenuSettings = 0x60000005;

// A heap block of exactly the record's size: a read past its end is caught
// by AddressSanitizer, which a vector's spare capacity would hide.
class ExactCopy {
 public:
  explicit ExactCopy(const Bytes& bytes)
      : size_(bytes.size()), bytes_(new unsigned char[bytes.size()]) {
    if (size_) std::memcpy(bytes_.get(), bytes.data(), size_);
  }
  const CTlv::Header_t* Header() const { return CTlv::AtByte(bytes_.get()); }
  const unsigned char* Data() const { return bytes_.get(); }
  size_t Size() const { return size_; }

 private:
  size_t size_;
  std::unique_ptr<unsigned char[]> bytes_;
};

Bytes Raw(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Record(unsigned int tag, const Bytes& value) {
  CTlvContainerCreator record;
  const CTlv::Header_t header = {tag, static_cast<uint32_t>(value.size())};
  record.Set(&header, &value);
  return *record.Get();
}

// Children are taken as they are, lengths included, and padded by their
// own Length: a child may claim more bytes than it brings.
Bytes Container(unsigned int tag, const std::vector<Bytes>& children) {
  CTlvContainerCreator container;
  const CTlv::Header_t header = {tag, 0};
  container.Set(&header, static_cast<const unsigned char*>(nullptr));
  for (const Bytes& child : children) {
    CTlvContainerCreator carrier;
    carrier.Set(&child);
    container.AddObject(&carrier);
  }
  return *container.Get();
}

bool MocfValid(const Bytes& record) {
  CMocfCreator mocf;
  mocf.Init();
  const std::vector<unsigned int> products;
  CCompatProdCreator compat;
  compat.Set(&products);
  mocf.AddObject(&compat);
  CTlvContainerCreator carrier;
  carrier.Set(&record);
  mocf.AddObject(&carrier);
  mocf.Finish();
  const ExactCopy image(*mocf.Get());
  return CGen6MocfParser(image.Header(), image.Size()).IsValid();
}

// One object record judged by its own parser and inside a MOCF that holds
// nothing else; the two verdicts must agree.
bool Judge(const Bytes& record) {
  const ExactCopy alone(record);
  std::unique_ptr<CGen6ObjectRecordParser> parser(
      CGen6ObjectRecordParser::CreateObjectRecordParser(alone.Header()));
  const bool direct = parser->IsValid();
  EXPECT_EQ(direct, MocfValid(record)) << ToHex(record);
  return direct;
}

const Bytes kName = Record(0, Raw("a.txt\0"s));
const Bytes kData = Record(1, {1, 2, 3});
const Bytes kVersion = Record(2, Raw("1.0\0"s));
const Bytes kProducts = Record(3, FromHex("01000000 07000000"));

Bytes UserFileNamed(const Bytes& nameValue) {
  return Container(kUserFile, {Record(0, nameValue), kData});
}

TEST(Gen6Parsers, FactoryChoosesByTag) {
  struct Case { unsigned int tag; const std::type_info& type; bool system; };
  const Case cases[] = {
      {kFirmware, typeid(CFirmwareParser), false},
      {kFirmwareAlt, typeid(CFirmwareParser), false},
      {kUserFile, typeid(CUserFileParser), false},
      {kSwKeys, typeid(CSwKeysParser), false},
      {kCustomDefaults, typeid(CCustomDefMenuSettingsParser), false},
      {kMenuSettings, typeid(CMenuSettingsParser), true},
      {0x50000000, typeid(CNestedMocfParser), false},
      {0x46434F4D, typeid(CNestedMocfParser), false},
      {0x60000006, typeid(CUnkownParser), false},
      {0x50000001, typeid(CUnkownParser), false},
      {0xDDDDDDDD, typeid(CUnkownParser), false},
      {0, typeid(CUnkownParser), false},
      {2, typeid(CUnkownParser), false},
  };
  for (const Case& c : cases) {
    const ExactCopy record(Record(c.tag, Raw("x.\0"s)));
    std::unique_ptr<CGen6ObjectRecordParser> parser(
        CGen6ObjectRecordParser::CreateObjectRecordParser(record.Header()));
    const CGen6ObjectRecordParser& chosen = *parser;
    EXPECT_TRUE(typeid(chosen) == c.type) << std::hex << c.tag;
    EXPECT_EQ(parser->IsSystemObject(), c.system) << std::hex << c.tag;
  }
  // Unknown records pass whatever they hold; nested MOCFs never do.
  EXPECT_TRUE(Judge(Record(0x60000006, {0xFF, 0x00, 0x7F})));
  EXPECT_TRUE(Judge(Record(0x50000001, {})));
  EXPECT_FALSE(Judge(Record(0x50000000, {})));
  EXPECT_FALSE(Judge(Record(0x46434F4D, FromHex("00000000 02000000 0000 0000"))));
}

TEST(Gen6Parsers, TextRecordsTerminatorsAndData) {
  const ExactCopy record(Record(kCustomDefaults, Raw("AB@\0"s)));
  CMenuSettingsParser menu(record.Header());
  CSwKeysParser keys(record.Header());
  CCustomDefMenuSettingsParser defaults(record.Header());
  EXPECT_EQ(menu.GetMyTerminator(), '.');
  EXPECT_EQ(keys.GetMyTerminator(), '.');
  EXPECT_EQ(defaults.GetMyTerminator(), '@');
  EXPECT_EQ(static_cast<const void*>(defaults.GetData()), record.Data() + 8);
}

TEST(Gen6Parsers, TextRule) {
  struct Case { unsigned int tag; std::string value; bool valid; };
  const Case cases[] = {
      {kMenuSettings, "ABC.\0"s, true},      {kSwKeys, "ABC.\0"s, true},
      {kCustomDefaults, "ABC.\0"s, false},   {kCustomDefaults, "ABC@\0"s, true},
      {kMenuSettings, "ABC@\0"s, false},     {kSwKeys, "ABC@\0"s, false},
      {kMenuSettings, ".\0"s, true},         {kCustomDefaults, "@\0"s, true},
      {kMenuSettings, " ~A.b.\0"s, true},    {kMenuSettings, "ABC\0"s, false},
      {kMenuSettings, "\0"s, false},         {kMenuSettings, ""s, false},
      {kMenuSettings, "A\tB.\0"s, false},    {kMenuSettings, "A\x80.\0"s, false},
      {kCustomDefaults, "\xff@\0"s, false},  {kSwKeys, "\x7f.\0"s, false},
      {kSwKeys, "\x1f.\0"s, false},
      // The text ends at its first NUL; without one inside Length it is
      // refused (the record ends the buffer: nothing past it is read).
      {kMenuSettings, "AB.\0\x01-"s, true},  {kMenuSettings, "ABC."s, false},
      {kCustomDefaults, "ABC@"s, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Judge(Record(c.tag, Raw(c.value))), c.valid)
        << std::hex << c.tag << " " << ToHex(Raw(c.value));
  }
}

TEST(Gen6Parsers, FileNameRule) {
  struct Case { std::string value; bool valid; };
  const Case cases[] = {
      {"\0"s, true}, {"a.txt\0"s, true}, {"Az09_.()\0"s, true},
      {std::string(57, 'n') + '\0', true}, {std::string(58, 'n') + '\0', false},
      {"a-b\0"s, false}, {"a b\0"s, false}, {"dir/a\0"s, false}, {"dir\\a\0"s, false},
      {"a\x80\0"s, false}, {"\xff\0"s, false}, {"a:b\0"s, false}, {"a\tb\0"s, false},
      // The name ends at its NUL; a value without one is no name, even when
      // padding zeros follow it inside the user file.
      {"ok\0-"s, true}, {"abc"s, false}, {"abcd"s, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Judge(UserFileNamed(Raw(c.value))), c.valid) << ToHex(Raw(c.value));
    const ExactCopy name(Record(0, Raw(c.value)));
    EXPECT_EQ(CFileNameParser(name.Header()).IsValid(), c.valid) << ToHex(Raw(c.value));
  }
}

TEST(Gen6Parsers, UserFileNesting) {
  // A data record claiming 100 bytes where only 3 follow, and a name record
  // claiming 100 with no NUL in the 3 that follow.
  const Bytes overrunData = FromHex("01000000 64000000 010203");
  const Bytes overrunName = FromHex("00000000 64000000 616263");
  struct Case { std::vector<Bytes> children; bool valid; };
  const Case cases[] = {
      {{kName, kData}, true},
      {{kName, Record(1, {})}, true},
      {{kName, kData, kVersion}, true},
      {{}, false},
      {{kName}, false},
      {{kData, kName}, false},
      {{kData}, false},
      {{kName, kVersion, kData}, false},
      {{kName, overrunData}, false},
      {{overrunName}, false},
      {{overrunName, kData}, false},
  };
  for (const Case& c : cases) {
    const Bytes record = Container(kUserFile, c.children);
    EXPECT_EQ(Judge(record), c.valid) << ToHex(record);
  }
}

TEST(Gen6Parsers, FirmwareNesting) {
  const Bytes noNulVersion = Record(2, Raw("1.0"s));
  struct Case { std::vector<Bytes> children; bool valid; };
  const Case cases[] = {
      {{kProducts, kVersion, kData}, true},
      {{kProducts, kVersion, kData, kData}, true},
      {{Record(3, FromHex("00000000")), kVersion, Record(1, {})}, true},
      // The version text is not examined by the firmware rule.
      {{kProducts, noNulVersion, kData}, true},
      {{}, false},
      {{kProducts}, false},
      {{kProducts, kVersion}, false},
      {{kProducts, kData}, false},
      {{kVersion, kData}, false},
      {{kVersion, kProducts, kData}, false},
      {{kProducts, kData, kVersion}, false},
      {{kData, kVersion, kProducts}, false},
      // Product count disagreeing with the length, and a count cut short.
      {{Record(3, FromHex("02000000 07000000")), kVersion, kData}, false},
      {{Record(3, FromHex("00000000 07000000")), kVersion, kData}, false},
      {{Record(3, FromHex("000000")), kVersion, kData}, false},
      {{kProducts, kVersion, FromHex("01000000 64000000 010203")}, false},
  };
  for (unsigned int tag : {kFirmware, kFirmwareAlt}) {
    for (const Case& c : cases) {
      const Bytes record = Container(tag, c.children);
      EXPECT_EQ(Judge(record), c.valid) << ToHex(record);
    }
  }
}

TEST(Gen6Parsers, FirmwareVersionAndData) {
  const std::vector<unsigned int> products{7};
  CGen6CompatProdCreator compat;
  compat.Set(&products);
  CGen6SwVersionCreator version;
  version.Set("2.10");
  const Bytes bytes{1, 2, 3, 4, 5};
  CGen6DataCreator data;
  data.Set(&bytes);
  CGen6FirmwareCreator firmware;
  firmware.Set(&compat, &version, &data);

  const ExactCopy record(*firmware.Get());
  CFirmwareParser parser(record.Header());
  ASSERT_TRUE(parser.IsValid());
  const char* pVersion = nullptr;
  ASSERT_TRUE(parser.GetSwVersion(&pVersion));
  EXPECT_EQ(static_cast<const void*>(pVersion), record.Data() + 8 + 16 + 8);
  EXPECT_STREQ(pVersion, "2.10");
  const unsigned char* pData = nullptr;
  unsigned int length = 0;
  ASSERT_TRUE(parser.GetFwData(&pData, &length));
  EXPECT_EQ(pData, record.Data() + 8 + 16 + 16 + 8);
  EXPECT_EQ(length, 5u);
}

TEST(Gen6Parsers, FirmwareLookupsMissOrRefuse) {
  const char* const kUntouchedText = "untouched";
  const unsigned char kUntouchedByte = 0;
  struct Case { std::vector<Bytes> children; bool hasVersion; bool hasData; };
  const Case cases[] = {
      {{kProducts}, false, false},
      {{kProducts, Record(2, Raw("1.0"s)), kData}, false, true},
      {{kProducts, kVersion, FromHex("01000000 64000000 010203")}, true, false},
      {{}, false, false},
  };
  for (const Case& c : cases) {
    const ExactCopy record(Container(kFirmware, c.children));
    CFirmwareParser parser(record.Header());
    const char* pVersion = kUntouchedText;
    EXPECT_EQ(parser.GetSwVersion(&pVersion), c.hasVersion);
    if (!c.hasVersion) {
      EXPECT_EQ(pVersion, kUntouchedText);
    }
    const unsigned char* pData = &kUntouchedByte;
    unsigned int length = 77;
    EXPECT_EQ(parser.GetFwData(&pData, &length), c.hasData);
    if (!c.hasData) {
      EXPECT_EQ(pData, &kUntouchedByte);
      EXPECT_EQ(length, 77u);
    }
  }
  // The first data record is the one handed out.
  const ExactCopy two(Container(kFirmware, {kProducts, kVersion, Record(1, {}), kData}));
  const unsigned char* pData = nullptr;
  unsigned int length = 77;
  ASSERT_TRUE(CFirmwareParser(two.Header()).GetFwData(&pData, &length));
  EXPECT_EQ(length, 0u);
}

TEST(Gen6ParsersDeathTest, ParserWithoutRecordStops) {
  EXPECT_DEATH(CFileNameParser(nullptr).IsValid(), "m_pTlvContainer");
  EXPECT_DEATH(CMenuSettingsParser(nullptr).IsValid(), "m_pTlvContainer");
  EXPECT_DEATH(CUserFileParser(nullptr).IsValid(), "m_pTlvContainer");
  EXPECT_DEATH(CFirmwareParser(nullptr).IsValid(), "m_pTlvContainer");
}

}  // namespace
