#include "Gen6MocfParser.h"

#include <gtest/gtest.h>

#include "MocfCreator.h"
#include "test_util.h"

using namespace std::string_literals;
using testutil::Bytes, testutil::FromHex, testutil::Rec;
using Question = bool (CGen6MocfParser::*)();

constexpr unsigned int kFw0 = 0x60000000, kFw1 = 0x60000001, kUser = 0x60000002, kKeys = 0x60000003,
                       kDefaults = 0x60000004, kMenu = 0x60000005;

// The records after the version and hash records, the digest stored.
static bool Ask(std::vector<Bytes> records, Question question = &CGen6MocfParser::IsValid) {
  records.insert(records.begin(), {Rec(0, "\0\0"s), Rec(1, std::string(20, '\0'))});
  // A copied vector is allocated to its exact size, so AddressSanitizer sees a read past the
  // image, whose last record is the last one given.
  const Bytes sealed = testutil::Seal(Rec(0x46434F4D, "", records)), image = sealed;
  CGen6MocfParser parser(CTlv::AtByte(image.data()), image.size());
  return (parser.*question)();
}

TEST(Gen6MocfParser, Gen6Rules) {
  const Bytes name = Rec(0, "a.txt\0"s), data = Rec(1, "\1\2\3"s), version = Rec(2, "1.0\0"s);
  const Bytes products = FromHex("03000000 08000000 01000000 07000000");
  const Bytes user = Rec(kUser, "", {name, data}), fw0 = Rec(kFw0, "", {products, version, data});
  const Bytes fw1 = Rec(kFw1, "", {products, version, data}), menu = Rec(kMenu, "ABC.\0"s);
  const Bytes keys = Rec(kKeys, "ABC.\0"s), defaults = Rec(kDefaults, "ABC@\0"s);
  auto named = [&](const std::string& n) { return Rec(kUser, "", {Rec(0, n + '\0'), data}); };
  // Each refusal's wording, and most single broken rules, are checked in
  // mocf_creator_test; here the rules' other edges and what they let pass.
  // clang-format off
  struct Case { std::vector<Bytes> records; bool valid; std::vector<unsigned int> products = {}; };
  const Case cases[] = {
      {{user}, false, {1, 3}}, {{user}, false, {2, 3}}, {{user, fw0}, true, {1, 3}},
      {{user, fw1}, false, {1, 3}}, {{}, true, {1, 2, 3}}, {{user}, true, {1, 4}},
      {{named(std::string(57, 'n'))}, true}, {{named("Az09_.()")}, true}, {{named("a-b")}, false},
      {{named("d/a")}, false}, {{named("a\x80")}, false}, {{Rec(kMenu, "A\x80.\0"s)}, false},
      {{Rec(kMenu, ".\0"s)}, true}, {{Rec(kUser, "")}, false},
      {{Rec(kFw0, "", {FromHex("03000000 08000000 02000000 07000000"), version, data})}, false},
      {{menu, keys, defaults}, true}, {{user, user}, true}, {{fw0, fw1}, true}, {{fw1, fw1}, false},
      {{user, Rec(0x46434F4D, "")}, false},
      {{Rec(0x60000006, "\xff"), Rec(0x60000006, ""), Rec(0x50000001, "")}, true},
      // The last nested record claims more than its object record holds.
      {{Rec(kUser, "", {name, FromHex("01000000 64000000 010203")})}, false},
      {{Rec(kUser, "", {name, FromHex("01000000 03000000 010203")})}, true},
      {{Rec(kFw0, "", {products, version, FromHex("01000000 40000000")})}, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    CCompatProdCreator compat;
    compat.Set(&c.products);
    std::vector<Bytes> records = c.records;
    records.insert(records.begin(), *compat.Get());
    EXPECT_EQ(Ask(records), c.valid) << "case " << (&c - cases);
  }
  const Bytes noProducts = Rec(2, "\0\0\0\0"s);
  EXPECT_FALSE(Ask({Rec(0x46434F4D, ""), noProducts}));
  EXPECT_TRUE(Ask({noProducts, user, menu}, &CGen6MocfParser::IsSystemUpdateMocf));
  EXPECT_FALSE(Ask({noProducts, keys, defaults}, &CGen6MocfParser::IsSystemUpdateMocf));
}
