// The inspector in-process: for damaged images of every kind its verdict is
// the tool's, a reason comes exactly with a refusal, and listing, JSON and
// extraction stay inside the image (AddressSanitizer sees each image in a
// heap block of exactly its size).
#include "Mocfinfo.h"

#include <gtest/gtest.h>

#include <sstream>

#include "inspect/Extract.h"
#include "inspect/Json.h"
#include "inspect/Listing.h"
#include "format/MocfCreator.h"
#include "test_util.h"

using namespace std::string_literals;
using testutil::Bytes, testutil::Rec, testutil::Seal;

// Extra records go after the example's own.
static Bytes Example(std::vector<Bytes> records = {}) {
  const Bytes products = testutil::FromHex("02000000 0c000000 02000000 07000000 09000000");
  const Bytes fwProducts = testutil::FromHex("03000000 08000000 01000000 07000000");
  records.insert(records.begin(),
                 {Rec(0, "\0\0"s), Rec(1, std::string(20, '\0')), products,
                  Rec(0x60000002, "", {Rec(0, "a.txt\0"s), Rec(1, "hi")}),
                  Rec(0x60000000, "", {fwProducts, Rec(2, "1.0\0"s), Rec(1, "\1\2\3")}),
                  Rec(0x60000005, "A=1.\0"s)});
  return Seal(Rec(0x46434F4D, "", records));
}

static void ExpectConsistent(const Bytes& image, const std::string& what) {
  const mocfinfo::Inspection inspection = mocfinfo::Inspect("f", image.data(), image.size());
  // What the tool does with the file it is asked to append to.
  EXPECT_EQ(CMocfCreator().Init(&image), inspection.valid) << what;
  EXPECT_EQ(inspection.valid, inspection.reason.empty()) << what;
  std::ostringstream out;
  mocfinfo::PrintListing(inspection, out);
  mocfinfo::PrintJson(inspection, out);
  mocfinfo::RecordWalk walk = inspection.Records();
  mocfinfo::RecordInfo record;
  while (walk.Next(&record)) {
    std::string_view bytes;
    std::string why;
    for (auto how : {mocfinfo::Extraction::kContent, mocfinfo::Extraction::kRecord})
      if (mocfinfo::ExtractedBytes(inspection, record, how, &bytes, &why) && !bytes.empty())
        out << bytes.front() << bytes.back();
  }
  EXPECT_FALSE(out.str().empty());
}

TEST(Mocfinfo, VerdictMatchesTheToolOnEveryCutAndChangedByte) {
  const Bytes good = Example(), many = Example(std::vector<Bytes>(100000, Rec(0x60000007, "")));
  ASSERT_TRUE(CMocfCreator().Init(&good));
  EXPECT_EQ(100006, mocfinfo::Inspect("f", many.data(), many.size()).recordCount);  // each counted
  for (size_t size = 0; size <= good.size(); ++size)
    ExpectConsistent(Bytes(good.begin(), good.begin() + size), "cut at " + std::to_string(size));
  for (size_t i = 0; i < good.size(); ++i)
    for (unsigned char value : {0x00, 0x20, 0x7f, 0xff}) {
      Bytes changed = good;
      changed[i] = value;
      ExpectConsistent(changed, "byte " + std::to_string(i));
      // With the digest made right again, the change meets the object-record checks.
      ExpectConsistent(Seal(changed), "sealed byte " + std::to_string(i));
    }
}

TEST(Mocfinfo, JsonStringsAreValidUtf8WhateverTheBytes) {
  EXPECT_EQ("\"a\\\"\\\\\\n\\t\\r\\u0000\\u001f\\u007f\"",
            mocfinfo::JsonString("a\"\\\n\t\r\0\x1f\x7f"s));
  // Two-, three- and four-byte characters pass; a stray continuation byte, a
  // cut sequence, an overlong form and a surrogate become U+0080..U+00FF.
  EXPECT_EQ("\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"",
            mocfinfo::JsonString("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"));
  EXPECT_EQ("\"\\u0080x\\u00c3\"", mocfinfo::JsonString("\x80x\xc3"));
  EXPECT_EQ("\"\\u00c0\\u00af\\u00ed\\u00a0\\u0080\\u00f4\\u0090\\u0080\\u0080\"",
            mocfinfo::JsonString("\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80"));
}
