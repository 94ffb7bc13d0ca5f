#include "TlvContainerCreator.h"

#include <gtest/gtest.h>

#include "MocfCreator.h"
#include "test_util.h"

using testutil::Bytes, testutil::FromHex;

TEST(TlvCreatorTest, ContainerTakesChildrenWithPadding) {
  const Bytes none, zeros(2, 0), odd = FromHex("03000000 04000000 aabbccddee");
  const CTlv::Header_t container = {0x77, 0}, worked = {0, 2};
  CTlvContainerCreator c, child;
  c.Set(&container, &none);
  child.Set(&worked, zeros.data());
  c.AddObject(&child);
  child.Set(&odd);  // padding follows the Length field, not the bytes held
  c.AddObject(&child);
  c.AppendData(&none);
  c.AppendData(&zeros);
  // The first child is 12 bytes: header, the value 00 00 and two bytes of padding.
  EXPECT_EQ(*c.Get(), FromHex("77000000 1b000000 | 00000000 02000000 0000 0000 |"
                              "03000000 04000000 aabbccddee | 0000"));
}

// Assigned from a subclass, a plain creator keeps its bytes and tag; moving
// a child in gives the same bytes as a copy, whichever side's buffer is kept.
TEST(TlvCreatorTest, AssignedOrMovedCreatorsGiveTheSameBytes) {
  CCompatProdCreator compat;
  const std::vector<unsigned int> products = {7, 9};
  compat.Set(&products);
  CTlvContainerCreator plain;
  plain = compat;
  EXPECT_EQ(2u, plain.GetMyTag());
  EXPECT_EQ(FromHex("02000000 0c000000 02000000 07000000 09000000"), *plain.Get());
  for (size_t size : {1, 5, 4096}) {
    Bytes value(size, 0xab);
    value.reserve(size + 64);
    const CTlv::Header_t container = {0x77, 0}, header = {5, static_cast<uint32_t>(size)};
    CTlvContainerCreator copied, moved, child;
    copied.Set(&container, static_cast<const unsigned char*>(nullptr));
    moved = copied;
    child.Set(&header, std::move(value));
    copied.AddObject(&child);
    moved.AddObject(std::move(child));
    EXPECT_EQ(*copied.Get(), *moved.Get()) << size;
  }
}
