#include "Gen6MocfParser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Coding.h"
#include "Gen6Creators.h"
#include "MocfCreator.h"
#include "test_util.h"

namespace {

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;
using Products = std::vector<unsigned int>;

// A heap block of exactly the image's size, so AddressSanitizer sees any
// read past its end.
class ExactCopy {
 public:
  ExactCopy(const Bytes& bytes, size_t size) : size_(size), bytes_(new unsigned char[size]) {
    if (size_) std::memcpy(bytes_.get(), bytes.data(), size_);
  }
  CGen6MocfParser Parser() const { return CGen6MocfParser(CTlv::AtByte(bytes_.get()), size_); }

 private:
  size_t size_;
  std::unique_ptr<unsigned char[]> bytes_;
};

Bytes Compat(const Products& products) {
  CCompatProdCreator compat;
  compat.Set(&products);
  return *compat.Get();
}

// A finished MOCF: version, hash, the compatible-products record when
// products are given, then the records in order.
Bytes Mocf(const Products* pProducts, const std::vector<Bytes>& records) {
  CMocfCreator mocf;
  mocf.Init();
  std::vector<Bytes> all = records;
  if (pProducts) all.insert(all.begin(), Compat(*pProducts));
  for (const Bytes& record : all) {
    CTlvContainerCreator carrier;
    carrier.Set(&record);
    mocf.AddObject(&carrier);
  }
  mocf.Finish();
  return *mocf.Get();
}

bool Valid(const Bytes& image) { return ExactCopy(image, image.size()).Parser().IsValid(); }

bool Valid(const Products& products, const std::vector<Bytes>& records) {
  return Valid(Mocf(&products, records));
}

bool SystemUpdate(const std::vector<Bytes>& records) {
  const Products none;
  const Bytes image = Mocf(&none, records);
  return ExactCopy(image, image.size()).Parser().IsSystemUpdateMocf();
}

Bytes Raw(unsigned int tag, const Bytes& value) {
  CTlvContainerCreator record;
  const CTlv::Header_t header = {tag, static_cast<uint32_t>(value.size())};
  record.Set(&header, &value);
  return *record.Get();
}

Bytes UserFile(const char* name = "a.txt") {
  CGen6FileNameCreator fileName;
  fileName.Set(name);
  const Bytes bytes{1, 2, 3};
  CGen6DataCreator data;
  data.Set(&bytes);
  CGen6UserFileCreator user;
  user.Set(&fileName, &data);
  return *user.Get();
}

template <class Creator>
Bytes Text(const std::string& text) {
  Creator creator;
  creator.Set(&text);
  return *creator.Get();
}

const Bytes kMenu = Text<CGen6MenuSettingsCreator>("ABC");
const Bytes kKeys = Text<CGen6SwKeysCreator>("ABC");
const Bytes kDefaults = Text<CGen6CustomDefaultMenuSettingsCreator>("ABC");

Bytes Firmware(unsigned int tag) {
  const Products products{1};
  CGen6CompatProdCreator compat;
  compat.Set(&products);
  CGen6SwVersionCreator version;
  version.Set("1.0");
  const Bytes bytes{9, 9};
  CGen6DataCreator data;
  data.Set(&bytes);
  CGen6FirmwareCreator firmware;
  firmware.Set(&compat, &version, &data);
  Bytes record = *firmware.Get();
  coding::EncodeFixed32(record.data(), tag);
  return record;
}

const Bytes kFw0 = Firmware(0x60000000);
const Bytes kFw1 = Firmware(0x60000001);

TEST(Gen6MocfParser, CompatibleProductsRecordRequired) {
  EXPECT_FALSE(Valid(Mocf(nullptr, {})));
  EXPECT_FALSE(Valid(Mocf(nullptr, {UserFile()})));
  EXPECT_TRUE(Valid({}, {}));
  EXPECT_TRUE(Valid({}, {UserFile()}));
}

TEST(Gen6MocfParser, ProductsThatExcludeEachOther) {
  for (const Products& clash : {Products{1, 2}, Products{1, 3}, Products{2, 3},
                                Products{3, 2}, Products{1, 2, 3}, Products{5, 3, 9, 1}}) {
    SCOPED_TRACE(::testing::PrintToString(clash));
    EXPECT_FALSE(Valid(clash, {UserFile()}));
    EXPECT_FALSE(Valid(clash, {kMenu}));
    // Only a 0x60000000 record lifts the rule, wherever it stands.
    EXPECT_TRUE(Valid(clash, {UserFile(), kFw0}));
    EXPECT_TRUE(Valid(clash, {kFw0}));
    EXPECT_FALSE(Valid(clash, {UserFile(), kFw1}));
    EXPECT_FALSE(Valid(clash, {kFw1}));
    // Without object records the list is not looked at. Tag 0x4FFFFFFF is
    // below the object range; 0x50000001 is an (unknown) object record.
    EXPECT_TRUE(Valid(clash, {}));
    EXPECT_TRUE(Valid(clash, {Raw(0x4FFFFFFF, {1})}));
    EXPECT_FALSE(Valid(clash, {Raw(0x50000001, {1})}));
  }
  for (const Products& fine : {Products{}, Products{1}, Products{1, 4}, Products{1, 1},
                               Products{3, 4, 5}}) {
    SCOPED_TRACE(::testing::PrintToString(fine));
    EXPECT_TRUE(Valid(fine, {UserFile()}));
  }
  // Only the first compatible-products record counts.
  EXPECT_TRUE(Valid({1}, {Compat({1, 2}), UserFile()}));
  EXPECT_FALSE(Valid({1, 2}, {Compat({4}), UserFile()}));
}

TEST(Gen6MocfParser, OnceOnlyKinds) {
  const Bytes user = UserFile(), other = UserFile("b.bin");
  struct Case { std::vector<Bytes> records; bool valid; };
  const Case cases[] = {
      {{kMenu, kMenu}, false},
      {{kKeys, user, kKeys}, false},
      {{kDefaults, kDefaults}, false},
      {{kFw0, kFw0}, false},
      {{kFw1, kFw1}, false},
      {{kFw0, kFw1}, true},
      {{user, user}, true},
      {{user, other, user}, true},
      {{kMenu, kKeys, kDefaults}, true},
      {{kMenu, kKeys, kDefaults, user, other, kFw0, kFw1}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Valid({}, c.records), c.valid) << "case " << (&c - cases);
  }
}

TEST(Gen6MocfParser, NestedMocfRefusedAnywhere) {
  const Products none;
  for (const Bytes& nested : {Raw(0x50000000, {}), Raw(0x46434F4D, Mocf(&none, {}))}) {
    EXPECT_FALSE(Valid({}, {nested}));
    EXPECT_FALSE(Valid({}, {nested, UserFile()}));
    EXPECT_FALSE(Valid({}, {UserFile(), nested}));
    // Before the compatible-products record, too.
    EXPECT_FALSE(Valid(Mocf(nullptr, {nested, Compat({})})));
  }
}

TEST(Gen6MocfParser, UnknownTagsPassUncounted) {
  for (unsigned int tag : {0x60000006u, 0x50000001u, 0xFFFFFFFFu, 3u, 0x4FFFFFFFu}) {
    const Bytes unknown = Raw(tag, {0xFF, 0x00, 0x2D});
    EXPECT_TRUE(Valid({}, {unknown})) << std::hex << tag;
    EXPECT_TRUE(Valid({}, {unknown, kMenu, unknown, UserFile()})) << std::hex << tag;
  }
}

TEST(Gen6MocfParser, FirmwareCreatorOutputPasses) {
  CGen6FirmwareCreator firmware;
  EXPECT_EQ(firmware.GetMyTag(), 0x60000000u);
  const Products products{7};
  CGen6CompatProdCreator compat;
  compat.Set(&products);
  CGen6SwVersionCreator version;
  version.Set("1.0");
  const Bytes bytes;
  CGen6DataCreator data;
  data.Set(&bytes);
  firmware.Set(&compat, &version, &data);
  // Its tag also lifts the product rule.
  EXPECT_TRUE(Valid({1, 2}, {*firmware.Get(), UserFile()}));
}

TEST(Gen6MocfParser, SystemUpdateAndObjectRecords) {
  EXPECT_TRUE(SystemUpdate({kMenu}));
  EXPECT_TRUE(SystemUpdate({UserFile(), kKeys, kMenu}));
  EXPECT_FALSE(SystemUpdate({kKeys}));
  EXPECT_FALSE(SystemUpdate({kDefaults}));
  EXPECT_FALSE(SystemUpdate({kKeys, kDefaults, UserFile(), kFw0, kFw1}));
  EXPECT_FALSE(SystemUpdate({}));

  const Products none;
  struct Case { std::vector<Bytes> records; bool objects; };
  const Case cases[] = {
      {{}, false},
      {{Raw(0x4FFFFFFF, {}), Raw(3, {})}, false},
      {{Raw(0x50000000, {})}, true},
      {{Raw(3, {}), UserFile()}, true},
  };
  for (const Case& c : cases) {
    const Bytes image = Mocf(&none, c.records);
    EXPECT_EQ(ExactCopy(image, image.size()).Parser().HasObjectRecords(), c.objects)
        << ToHex(image);
  }
}

TEST(Gen6MocfParser, NestedRecordsStayInsideTheirObject) {
  // Value: a valid name record, then a data header claiming 100 bytes of
  // which 3 follow. The object record itself fits the MOCF exactly, and ends
  // the image, so reading the claimed bytes would leave the buffer.
  const Bytes overrun = FromHex("02000060 18000000 | 00000000 02000000 6100 0000 |"
                                "01000000 64000000 010203 00");
  EXPECT_FALSE(Valid({}, {overrun}));
  const std::string firmware = "00000060 20000000 | 03000000 04000000 00000000 |"
                               "02000000 01000000 00 000000 | 01000000 ";
  EXPECT_FALSE(Valid({}, {FromHex(firmware + "40000000")}));
  // The same firmware with its data length corrected is fine.
  EXPECT_TRUE(Valid({}, {FromHex(firmware + "00000000")}));
}

TEST(Gen6MocfParser, ImageCutShortIsInvalid) {
  const Products none;
  const Bytes image = Mocf(&none, {UserFile()});
  ASSERT_TRUE(Valid(image));
  for (size_t size : {image.size() - 1, image.size() - 4, size_t{8}, size_t{7}, size_t{0}}) {
    EXPECT_FALSE(ExactCopy(image, size).Parser().IsValid()) << size;
    EXPECT_FALSE(ExactCopy(image, size).Parser().IsSystemUpdateMocf()) << size;
  }
}

TEST(Gen6MocfParserDeathTest, ParserWithoutImageStops) {
  EXPECT_DEATH(CGen6MocfParser(nullptr, 0).IsValid(), "m_pTlvContainer");
  EXPECT_DEATH(CGen6MocfParser(nullptr, 0).IsSystemUpdateMocf(), "m_pTlvContainer");
}

}  // namespace
