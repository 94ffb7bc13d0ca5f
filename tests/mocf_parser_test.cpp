#include "format/MocfParser.h"

#include <gtest/gtest.h>

#include <cstring>

#include "format/Coding.h"
#include "test_util.h"

using testutil::Bytes, testutil::FromHex;

// Padded records: version, hash (digest stored by Mocf), compatible products 7 and 9, object.
static const std::string V = "00000000 02000000 0000 0000",
                         H = "01000000 14000000" + std::string(40, '0'),
                         C = "02000000 0c000000 02000000 07000000 09000000",
                         O = "06000060 05000000 68656c6c6f 000000";

// A MOCF of these records with its digest stored, in a heap block of exactly its size.
static Bytes Mocf(const std::string& records) {
  Bytes b = FromHex("4d4f4346 00000000" + records);
  coding::EncodeFixed32(&b[4], static_cast<uint32_t>(b.size() - 8));
  return testutil::Seal(b);
}

// Callers pass exactly sized buffers, so that AddressSanitizer sees any over-read.
static bool Valid(const Bytes& b, bool* filled = nullptr) {
  CMocfParser parser(CTlv::AtByte(b.data()), b.size());
  unsigned char digest[20];
  if (filled) *filled = parser.CalcHash(digest);
  return parser.IsValid();
}

TEST(MocfParserTest, BrokenCutOrMisshapenImagesAreRefused) {
  const Bytes good = Mocf(V + H + C + O);
  EXPECT_TRUE(Valid(good) && Valid(Mocf(V + C + O)));  // with and without a hash record
  // Compatible products whose 4 x (N + 1) wraps in 32 bits to 0, and to their Length. Each other
  // rule broken alone is refused word for word in mocf_creator_test.
  for (const std::string& records : {V + H + "02000000 04000000 ffffffff",
                                     V + H + "02000000 0c000000 02000040 07000000 09000000"})
    EXPECT_FALSE(Valid(Mocf(records))) << records;
  for (size_t at : {17, 18, 28, 47, 60, 78, 82}) {  // hashed bytes, and the stored digest
    Bytes bad = good;
    bad[at] ^= 1;
    EXPECT_FALSE(Valid(bad)) << at;
  }
  bool filled = true;
  for (size_t k = 1; k < good.size(); ++k) {
    Bytes cut(good.begin(), good.begin() + static_cast<long>(k));
    EXPECT_FALSE(Valid(cut, &filled) || filled) << k;
    if (k < 8) continue;
    coding::EncodeFixed32(&cut[4], static_cast<uint32_t>(k - 8));  // now the cut is the container
    EXPECT_FALSE(Valid(cut) && k >= 48) << k;  // the stored digest covers the old Length
  }
  // Lengths of the MOCF, the compat record and the object. A MOCF Length of 73 leaves only the
  // padding of the last record outside the container.
  for (size_t at : {4, 52, 72}) {
    for (uint32_t n : {73u, 77u, 0x7FFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFF9u, 0xFFFFFFFCu, 0xFFFFFFFFu}) {
      Bytes bad = good;
      coding::EncodeFixed32(&bad[at], n);
      EXPECT_FALSE(Valid(bad, &filled) || filled) << at << " " << n;
    }
  }
}

// Appending records and storing a new Length must not change the digest
// under the old header; a header claiming more than the buffer holds, or
// records that do not fill it, is reported and nothing beyond is read.
TEST(MocfParserTest, DigestUnderTheOldHeaderIsTheOldImagesDigest) {
  const Bytes old = Mocf(V + H + C);
  Bytes grown = Mocf(V + H + C + O);
  CTlv::Header_t header;
  std::memcpy(&header, old.data(), sizeof header);
  unsigned char digest[20];
  CMocfParser parser(CTlv::AtByte(grown.data()), grown.size());
  EXPECT_TRUE(parser.CalcHash(&header, digest) && std::memcmp(old.data() + 28, digest, 20) == 0);
  for (size_t length : {old.size() - 8 + 1, grown.size() - 8 + 4, size_t{0xFFFFFFFF}}) {
    header.Length = static_cast<uint32_t>(length);
    EXPECT_FALSE(parser.CalcHash(&header, digest)) << length;
  }
  // A digest given to the parser is what IsValid compares with the stored one.
  for (int i = 0; i < 4; ++i) {
    const bool filled = i & 1, right = i & 2;
    Bytes given(grown.begin() + 28, grown.begin() + 48);
    given[19] ^= right ? 0 : 1;
    CMocfParser primed(CTlv::AtByte(grown.data()), grown.size());
    primed.SetHash(given.data(), filled);
    EXPECT_EQ(filled && right, primed.IsValid()) << filled << right;
  }
  // That a trusted wrong digest passes, and nothing else does, is
  // MocfCreatorTest's (InitTrustingDigest).
}
