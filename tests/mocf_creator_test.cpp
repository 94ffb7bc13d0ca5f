#include "format/MocfCreator.h"

#include <gtest/gtest.h>

#include "format/Gen6MocfParser.h"
#include "test_util.h"

using namespace std::string_literals;
using testutil::Bytes, testutil::FromHex, testutil::Rec, testutil::Seal;

// What a new MOCF holds, its digest and an appended record's padding are
// the bytes E2eTest's runs are checked against, with sha1sum's digest.
constexpr unsigned int kMocf = 0x46434F4D, kUser = 0x60000002, kFw = 0x60000000, kMenu = 0x60000005,
                       kDefaults = 0x60000004, kFw1 = 0x60000001, kKeys = 0x60000003;

// The records both tests build their images from.
const Bytes kVersion = Rec(0, "\0\0"s), kHash = Rec(1, std::string(20, '\0')),
            kName = Rec(0, "a.txt\0"s), kSwVersion = Rec(2, "1.0\0"s),
            kFwProducts = FromHex("03000000 08000000 01000000 07000000");

static std::string Reason(const Bytes& image) {
  std::string reason = "(accepted)";
  const bool adoptable = CMocfCreator::IsAdoptable(image.data(), image.size(), false, &reason);
  EXPECT_EQ(adoptable, reason == "(accepted)") << reason;
  return reason;
}

// Each case breaks one rule of an otherwise valid image (whose digest is
// right unless the case is about the digest) and must be refused with its
// own reason, which says where the fault is; a creator asked to adopt it
// refuses it and keeps what it held. A MOCF with no product list, and one
// with a second menu settings record, are refused word for word in
// docs/guarantees.md and docs/lists-and-inputs.md; the count of once-only
// records is also the two firmware 1 records' below.
TEST(MocfCreatorTest, EveryRefusalSaysWhichRuleFailsAndWhere) {
  const Bytes compat = FromHex("02000000 0c000000 02000000 07000000 09000000");
  const Bytes data = Rec(1, "hi"), user = Rec(kUser, "", {kName, data});
  const Bytes menu = Rec(kMenu, "A=1.\0"s);
  auto image = [&](std::vector<Bytes> tail, std::vector<Bytes> head = {}) {
    if (head.empty()) head = {kVersion, kHash, compat};
    head.insert(head.end(), tail.begin(), tail.end());
    return Seal(Rec(kMocf, "", head));
  };
  // Bytes after the last record, inside the container.
  const std::string records = testutil::Str(image({})).substr(8);
  auto trailing = [&](const std::string& hex) {
    return Seal(Rec(kMocf, records + testutil::Str(FromHex(hex))));
  };
  auto named = [&](const std::string& n) { return image({Rec(kUser, "", {Rec(0, n), data})}); };
  const Bytes good = image({user, menu});
  Bytes badDigest = good, wrongTag = good, longer = good;
  badDigest[0x20] ^= 1;
  wrongTag[0] = 'N';
  longer.push_back(0);
  const Bytes products123 = FromHex("02000000 0c000000 02000000 01000000 02000000");
  // The places of the fourth record, and of bytes past the last one.
  const std::string menu44 = "record 4 (menu settings at 0x44): ",
                    fw44 = "record 4 (firmware at 0x44): ",
                    user44 = "record 4 (user file at 0x44): ",
                    unfilled = "the records do not fill the container: ";
  struct Case {
    Bytes image;
    std::string reason;
  };
  const Case cases[] = {
      {longer, "the file is 121 bytes, its header says 8 + 112"},
      {wrongTag, "not a MOCF: it does not begin with the tag MOCF"},
      {FromHex("4d4f4345"), "not a MOCF: it does not begin with the tag MOCF"},
      {Rec(kMocf, ""), "the MOCF holds no records; a version record must come first"},
      {FromHex("4d4f4346 04000000 00000000"),
       "no version record comes first: the 4 bytes left at 0x8 are too few for a record header "
       "(8)"},
      {image({}, {kHash, kVersion, compat}),
       "record 1 (hash at 0x8): the first record must be the version record (tag 0x0)"},
      {image({}, {Rec(0, ""), kHash, compat}),
       "record 1 (version at 0x8): the version is empty; it needs a first byte 0x00"},
      {image({}, {Rec(0, "\1"), kHash, compat}),
       "record 1 (version at 0x8): the version's first byte is 0x01, not 0x00"},
      {image({kHash}, {kVersion, compat}),
       "record 3 (hash at 0x28): the hash record must be the second record"},
      {image({}, {kVersion, Rec(1, std::string(19, '\0')), compat}),
       "record 2 (hash at 0x14): the digest is 19 bytes; a SHA-1 digest is 20"},
      {trailing("06000060"),
       unfilled + "the 4 bytes left at 0x44 are too few for a record header (8)"},
      {trailing("06000060 09000000 0102"),
       unfilled + "the record at 0x44 (tag 0x60000006) claims 8 + 9 bytes, only 10 are left"},
      {trailing("06000060 05000000 6162636465"),
       unfilled + "the record at 0x44 lacks its 3 padding bytes at the container's end"},
      {badDigest,
       "the stored hash 48ce14da1cc64925edd55f5a318f359cbfa9d7ea does not match the records' hash "
       "48ce14da1dc64925edd55f5a318f359cbfa9d7ea"},
      {image({}, {kVersion, kHash, Rec(2, "")}),
       "record 3 (compatible products at 0x30): the product list is 0 bytes, too few for its count "
       "(4)"},
      {image({}, {kVersion, kHash, FromHex("02000000 08000000 02000000 07000000")}),
       "record 3 (compatible products at 0x30): the product list is 8 bytes; a count of 2 needs 4 "
       "+ 4 * 2"},
      {image({Rec(0x50000000, "")}, {kVersion, kHash, products123}),
       "the compatible products name more than one of products 1, 2 and 3, and the MOCF holds "
       "object records but no firmware record (tag 0x60000000)"},
      {image({Rec(0x50000000, "")}),
       "record 4 (nested MOCF at 0x44): a MOCF inside a MOCF is never accepted"},
      {image({Rec(kMenu, "A=1.")}), menu44 + "the text does not end in a NUL byte"},
      {image({Rec(kMenu, "\0"s)}), menu44 + "the text is empty"},
      {image({Rec(kMenu, "A\t1.\0"s)}),
       menu44 + "the text holds 0x09 at byte 1; it takes printable ASCII only"},
      {image({Rec(kMenu, "A=1@\0"s)}), menu44 + "the text ends with '@' (0x40), not '.' (0x2E)"},
      {image({Rec(kDefaults, "A=1.\0"s)}),
       "record 4 (custom defaults at 0x44): the text ends with '.' (0x2E), not '@' (0x40)"},
      {image({Rec(kFw, "")}),
       fw44 + "there is no first nested record; it must be the compatible products (tag 0x3)"},
      {image({Rec(kFw, "", {kSwVersion, kFwProducts, data})}),
       fw44 + "the first nested record has tag 0x2; it must be the compatible products (tag 0x3)"},
      {image({Rec(kFw, "", {Rec(3, ""), kSwVersion, data})}),
       fw44 + "its compatible products: the product list is 0 bytes, too few for its count (4)"},
      {image({Rec(kFw, "", {kFwProducts, data, data})}),
       fw44 + "the second nested record has tag 0x1; it must be the software version (tag 0x2)"},
      {image({Rec(kFw, "", {kFwProducts, kSwVersion})}),
       fw44 + "there is no third nested record; it must be the data (tag 0x1)"},
      {image({Rec(kUser, "", {data, kName})}),
       user44 + "the first nested record has tag 0x1; it must be the file name (tag 0x0)"},
      {named("a.txt"), user44 + "the file name does not end in a NUL byte"},
      {named(std::string(58, 'n') + '\0'),
       user44 + "the file name \"" + std::string(58, 'n') +
           "\" is 58 characters long; at most 57 are allowed"},
      {named("my file.txt\0"s), user44 + "the file name \"my file.txt\" holds ' ' (0x20); names "
                                         "take letters, digits and _.() only"},
      {image({Rec(kUser, "", {kName})}),
       user44 + "there is no second nested record; it must be the data (tag 0x1)"},
      {Seal(Rec(kMocf, "", {kVersion, compat})),
       "there is no hash record (tag 0x1); a MOCF to append to needs one"},
  };
  CMocfCreator m;
  ASSERT_TRUE(CMocfCreator().Init(Bytes(good)) && m.Init(&good) && *m.Get() == good);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_EQ(c.reason, Reason(c.image));
    Bytes mine = c.image;
    EXPECT_FALSE(m.Init(&c.image) || m.Init(std::move(mine)));
    EXPECT_TRUE(mine == c.image && *m.Get() == good);
    // Trusting the digest waives its check, the records' filling of the
    // container (which hashing them finds) with it, and no other.
    const bool hashing = c.image == badDigest || c.reason.rfind(unfilled, 0) == 0;
    EXPECT_EQ(hashing, CMocfCreator().InitTrustingDigest(Bytes(c.image)));
  }
}

// The rules' other edges, and what they let pass, after a product list of
// the products given.
TEST(MocfCreatorTest, RulesLetPassWhatTheyAllow) {
  const Bytes data = Rec(1, "\1\2\3"s), user = Rec(kUser, "", {kName, data});
  const Bytes fw0 = Rec(kFw, "", {kFwProducts, kSwVersion, data});
  const Bytes fw1 = Rec(kFw1, "", {kFwProducts, kSwVersion, data}), menu = Rec(kMenu, "ABC.\0"s);
  const Bytes keys = Rec(kKeys, "ABC.\0"s), defaults = Rec(kDefaults, "ABC@\0"s);
  auto named = [&](const std::string& n) { return Rec(kUser, "", {Rec(0, n + '\0'), data}); };
  // clang-format off
  struct Case { std::vector<Bytes> records; bool valid; std::vector<unsigned int> products = {}; };
  const Case cases[] = {
      {{user}, false, {1, 3}}, {{user, fw0}, true, {1, 3}},
      {{user, fw1}, false, {1, 3}}, {{}, true, {1, 2, 3}}, {{user}, true, {1, 4}},
      {{named(std::string(57, 'n'))}, true}, {{named("Az09_.()")}, true}, {{named("a-b")}, false},
      {{named("d/a")}, false}, {{named("a\x80")}, false}, {{Rec(kMenu, "A\x80.\0"s)}, false},
      {{Rec(kMenu, ".\0"s)}, true}, {{Rec(kUser, "")}, false},
      {{menu, keys, defaults}, true}, {{user, user}, true}, {{fw0, fw1}, true}, {{fw1, fw1}, false},
      {{user, Rec(kMocf, "")}, false}, {{Rec(0x4FFFFFFF, "")}, true, {1, 2}},
      {{Rec(0x60000006, "\xff"), Rec(0x60000006, ""), Rec(0x50000001, "")}, true},
      // The last nested record claims more than its object record holds; or
      // fills it, with no room for its padding.
      {{Rec(kUser, "", {kName, FromHex("01000000 64000000 010203")})}, false},
      {{FromHex("02000060 15000000 00000000 02000000 6100 0000 01000000 01000000 41")}, true},
      {{Rec(kFw, "", {kFwProducts, kSwVersion, FromHex("01000000 40000000")})}, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    CCompatProdCreator compat;
    compat.Set(&c.products);
    std::vector<Bytes> records = {kVersion, kHash, *compat.Get()};
    records.insert(records.end(), c.records.begin(), c.records.end());
    // Copied to a block of exactly its size, where AddressSanitizer sees a
    // read past the last record.
    const Bytes image = Seal(Rec(kMocf, "", records)), exact = image;
    EXPECT_EQ(c.valid, Reason(exact) == "(accepted)") << "case " << (&c - cases);
  }
  // Menu settings, and no other kind, make a MOCF a system update.
  for (const bool m : {false, true}) {  // with menu settings or without
    const Bytes image = Seal(
        Rec(kMocf, "",
            {kVersion, kHash, Rec(2, "\0\0\0\0"s), user, fw0, keys, defaults, m ? menu : user}));
    EXPECT_EQ(m, CGen6MocfParser(CTlv::AtByte(image.data()), image.size()).IsSystemUpdateMocf());
  }
}
