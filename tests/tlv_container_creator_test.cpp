#include "TlvContainerCreator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "MocfCreator.h"
#include "test_util.h"

using testutil::Bytes;
using testutil::FromHex;
using testutil::ToHex;

namespace {

// A bare nullptr would not say which Set is meant.
const unsigned char* const kNoValue = nullptr;

CTlvContainerCreator Record(unsigned int tag, const Bytes& value) {
  CTlvContainerCreator c;
  const CTlv::Header_t h = {tag, static_cast<uint32_t>(value.size())};
  c.Set(&h, &value);
  return c;
}

CTlvContainerCreator EmptyContainer() {
  CTlvContainerCreator c;
  const CTlv::Header_t h = {0x77, 0};
  c.Set(&h, kNoValue);
  return c;
}

TEST(TlvCreatorTest, SetFormsBuildOneStandaloneRecord) {
  CTlvContainerCreator c;
  EXPECT_TRUE(c.Get()->empty());
  const CTlv::Header_t empty = {7, 0};
  c.Set(&empty, kNoValue);
  EXPECT_EQ("0700000000000000", ToHex(*c.Get()));
  const Bytes none;
  c.Set(&empty, &none);
  EXPECT_EQ("0700000000000000", ToHex(*c.Get()));

  const CTlv::Header_t three = {7, 3};
  const Bytes abc = FromHex("616263");
  c.Set(&three, abc.data());
  EXPECT_EQ("0700000003000000616263", ToHex(*c.Get()));  // no padding of its own
  c.Set(&empty, kNoValue);
  c.Set(&three, &abc);
  EXPECT_EQ("0700000003000000616263", ToHex(*c.Get()));

  // A whole image is taken as it is, even one that is no record at all.
  const Bytes odd = FromHex("010203");
  c.Set(&odd);
  EXPECT_EQ(odd, *c.Get());
  Bytes image = FromHex("0900000001000000ff");
  c.Set(std::move(image));
  EXPECT_EQ("0900000001000000ff", ToHex(*c.Get()));
}

TEST(TlvCreatorTest, HeaderAccessorsTouchOnlyTheirField) {
  CTlvContainerCreator c = Record(0x46434F4D, FromHex("aabbcc"));
  EXPECT_EQ(0x46434F4Du, c.GetTlvTag());
  EXPECT_EQ(3u, c.GetTlvLength());
  c.SetTlvLength(0x01020304);
  EXPECT_EQ("4d4f434604030201aabbcc", ToHex(*c.Get()));
}

TEST(TlvCreatorTest, AddObjectAppendsChildrenWithPadding) {
  CTlvContainerCreator c = EmptyContainer();
  const CTlvContainerCreator worked = Record(0, FromHex("0000"));
  c.AddObject(&worked);
  EXPECT_EQ("77000000" "0c000000" "00000000" "02000000" "0000" "0000", ToHex(*c.Get()));

  c = EmptyContainer();
  const CTlvContainerCreator three = Record(1, FromHex("aabbcc"));
  c.AddObject(&three);
  EXPECT_EQ(12u, c.GetTlvLength());
  EXPECT_EQ("0100000003000000aabbcc00", ToHex(c.Get()->data() + 8, 12));
  const CTlvContainerCreator twenty = Record(2, Bytes(20, 0x55));
  c.AddObject(&twenty);  // no padding
  EXPECT_EQ(40u, c.GetTlvLength());
  ASSERT_EQ(48u, c.Get()->size());
  EXPECT_EQ(Bytes(twenty.Get()->begin(), twenty.Get()->end()), Bytes(c.Get()->begin() + 20, c.Get()->end()));

  // Padding follows the child's Length field, not the number of bytes held.
  CTlvContainerCreator odd;
  const Bytes image = FromHex("0300000001000000 aabbccdd");
  odd.Set(&image);
  c = EmptyContainer();
  c.AddObject(&odd);
  EXPECT_EQ("77000000" "0f000000" "0300000001000000aabbccdd000000", ToHex(*c.Get()));
}

TEST(TlvCreatorTest, AppendDataGrowsLength) {
  CTlvContainerCreator c = EmptyContainer();
  const Bytes none;
  c.AppendData(&none);
  EXPECT_EQ("7700000000000000", ToHex(*c.Get()));
  const Bytes data = FromHex("010203");
  c.AppendData(&data);
  c.AppendData(data.data(), 2);
  EXPECT_EQ("7700000005000000" "010203" "0102", ToHex(*c.Get()));
}

TEST(TlvCreatorTest, AssignmentHandsOverTheRecordAndItsTag) {
  CCompatProdCreator compat;
  const std::vector<unsigned int> products = {7, 9};
  compat.Set(&products);
  CTlvContainerCreator plain = Record(0x60000002, FromHex("00"));
  plain = compat;
  EXPECT_EQ(2u, plain.GetMyTag());
  EXPECT_EQ(*compat.Get(), *plain.Get());
  const Bytes more = FromHex("00");
  plain.AppendData(&more);  // a copy, not a share
  EXPECT_EQ(20u, compat.Get()->size());

  CTlvContainerCreator moved;
  moved = std::move(plain);
  EXPECT_EQ(2u, moved.GetMyTag());
  EXPECT_EQ(21u, moved.Get()->size());
}

TEST(TlvCreatorDeathTest, LengthAndValueMustAgree) {
  CTlvContainerCreator c;
  const CTlv::Header_t three = {7, 3};
  EXPECT_DEATH(c.Set(&three, kNoValue), "pHeader->Length");
  const Bytes two = FromHex("0102");
  EXPECT_DEATH(c.Set(&three, &two), "pHeader->Length == pValue->size");
}

}  // namespace
