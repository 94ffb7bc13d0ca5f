// mocfinfo --unpack against mocfbuild: a MOCF runs of mocftool made must
// come back as a list that rebuilds it byte for byte, each record as the
// line a person would have written where one can make it (MOCFs of random
// runs: mocfbuild_test's list differential); and a MOCF no list can give
// back says why, still holds every record it reaches, and touches nothing
// beside the folder it was asked to fill.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Mocfbuild.h"
#include "Mocfinfo.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testutil::RecS, testutil::Seal, testutil::Sh, testutil::Str, testutil::TempDir,
    testutil::Tree, testutil::U32, testutil::WriteFile;

std::string Read(const std::string& path) { return Str(testutil::ReadFile(path)); }

// The status of mocfinfo --unpack, then what it said.
std::string Unpack(const std::string& dir, const std::string& file) {
  std::ostringstream out, err;
  const int status = mocfinfo::RunMocfinfo({"--unpack", dir, file}, out, err);
  return std::to_string(status) + " " + out.str() + err.str();
}

// Records, each padded to four bytes, in a sealed container.
std::string Join(const std::vector<std::string>& records) {
  std::string body;
  for (const std::string& r : records) body += r + std::string((4 - r.size() % 4) % 4, '\0');
  return Seal("MOCF" + U32(static_cast<uint32_t>(body.size())) + body);
}

// A folder that cannot be filled, or a file that cannot be read, stops
// before anything is written; an empty folder is taken as it is. (The list
// it writes, line by line: docs/lists-and-inputs.md, which the
// documentation test runs.) With bytes after its container, the list
// rebuilds the MOCF as far as the container goes.
TEST(Unpack, WhatNoListCanGiveBackIsSaidAndEveryReachableRecordStillWritten) {
  const TempDir ex;
  const std::string mocf = ex.File("example.mocf");
  std::ostringstream progress, err;
  ASSERT_EQ(0, mocfbuild::RunMocfbuild({"-d", "-m", mocf, MOCF_SOURCE_DIR "/examples/example.list"},
                                       progress, err)) << err.str();
  const std::string example = Read(mocf);
  fs::create_directories(ex.File("full/sub"));
  WriteFile(ex.File("full/keep"), "kept");
  WriteFile(ex.File("plain"), "a file");
  const std::string untouched = Tree(ex.path());
  for (const std::string dir : {"full", "no/such/dir", "plain"}) {
    const std::string said = Unpack(ex.File(dir), mocf);
    EXPECT_EQ(0u, said.rfind("2 mocfinfo: cannot unpack into " + ex.File(dir) + ": ", 0)) << said;
  }
  EXPECT_EQ("2 mocfinfo: cannot read " + ex.File("none.mocf") + ": No such file or directory\n",
            Unpack(ex.File("u"), ex.File("none.mocf")));
  EXPECT_EQ(untouched, Tree(ex.path()));
  fs::create_directory(ex.File("u"));
  ASSERT_EQ("0 ", Unpack(ex.File("u"), mocf));
  testutil::UnpackedRuns(ex.File("u"), example);
  std::vector<std::string> r;  // version, hash, products, user, firmware, menu, keys, defaults
  const size_t at[] = {0x8, 0x14, 0x30, 0x44, 0xA8, 0xF8, 0x13C, 0x17C, 0x1AC};
  for (size_t i = 0; i < 8; ++i) r.push_back(example.substr(at[i], at[i + 1] - at[i]));
  std::string version = example, pastEnd = example, badPadding = example, badDigest = example;
  version[0x10] = '\1';        // the version record's value, 00 00 before
  pastEnd[0xA8 + 7] = '\x7f';  // the firmware record's Length: past the container's end
  badPadding[0x13A] = 'P';     // after the 58 bytes of the menu settings
  badDigest[0x20] ^= 1;
  const std::string clash = RecS(2, U32(2) + U32(1) + U32(2));
  const std::string longName =
      RecS(0x60000002, "", {RecS(0, std::string(300, 'n') + "\0"s), RecS(1, "hi")});
  const struct { const char* name; std::string image, why; size_t runs; } cases[] = {
      {"version 01 00", Seal(version), "not the version record every build writes", 6},
      {"version 00 00 00", Join({RecS(0, "\0\0\0"s), r[1], r[2], r[3], r[4], r[5], r[6], r[7]}),
       "not the version record every build", 6},
      {"a length past the end", pastEnd, "records the walk cannot reach", 2},
      {"bytes after the container", example + "xyz", "bytes 0x1AC to 0x1AF follow the", 6},
      {"non-zero padding", Seal(badPadding),
       "record 6 (menu settings at 0xF8): its padding holds", 6},
      {"hash third", Join({r[0], r[2], r[1], r[3], r[4], r[5], r[6], r[7]}),
       "record 2 (compatible products at 0x14): every build writes its hash record", 7},
      {"bad digest", badDigest, "the MOCF is invalid: the stored hash", 6},
      {"no MOCF", "MOCX" + example.substr(4), "exactly: not a MOCF: it does not begin with the "
       "tag MOCF\n[exit 1]", 0},
      {"firmware first", Join({r[0], r[1], r[4], r[2], r[3], r[5], r[6], r[7]}),
       "records.list:4:", 6},
      {"a name too long for a file", Join({r[0], r[1], r[2], r[3], longName}), "record 5", 3},
      {"a clash a later firmware lifts", Join({r[0], r[1], clash, r[3], r[4], r[5], r[6], r[7]}),
       "records.list:6:", 6}};
  const std::regex kReasons("(mocfinfo: m\\.mocf cannot be rebuilt exactly: .*\n)+\\[exit 1\\]\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TempDir t;
    WriteFile(t.File("m.mocf"), c.image);
    const std::string before = Tree(t.path());
    const std::string out = Sh(t.path(), "'" MOCFINFO_PATH "' --unpack u m.mocf");
    // Each line it says is a reason, c.why among them.
    ASSERT_TRUE(std::regex_match(out, kReasons)) << out;
    EXPECT_NE(std::string::npos, out.find(c.why)) << out;
    ASSERT_TRUE(fs::exists(t.File("u/records.list"))) << out;
    const bool tail = c.image.compare(0, example.size(), example) == 0;
    EXPECT_EQ(c.runs, testutil::UnpackedRuns(t.File("u"), tail ? example : "").size())
        << Read(t.File("u/records.list"));
    fs::remove_all(t.File("u"));
    EXPECT_EQ(before, Tree(t.path()));
  }
}

// MOCFs runs made, whose records need an eye for what a plain line can do
// or for what the list's own rules let a line say. (An empty part number:
// the random lists of mocfbuild_test, each unpacked.)
TEST(Unpack, ExactMocfsComeBackWhateverTheirTextsAndFileNameHold) {
  const TempDir t;
  for (const auto& [file, text] : std::map<std::string, std::string>{
           {"p.txt", "6699\n"}, {"k.txt", "K=1;\n"}, {"a.txt", "user bytes"},
           {"long.bin", "FIMPNM" + std::string(21, 'q') + ".\0"s}})
    WriteFile(t.File(file), text);
  ASSERT_EQ("[exit 0]\n", Sh(t.path(), testutil::ToolRuns({
      "m.mocf -d -f p.txt -t CompatProd", "m.mocf --type SwKeys --PartNum FIMPNM1 -f k.txt",
      "m.mocf -f a.txt -t user", "long.mocf -d -f p.txt -t CompatProd",
      "long.mocf --type binary --tag 0x60000003 -f long.bin"})));
  // A user file whose padding is not zero: only the record whole gives it.
  std::string padded = Read(t.File("m.mocf"));
  padded.back() = 'P';
  WriteFile(t.File("m.mocf"), Seal(padded));
  WriteFile(t.File("new\nline.mocf"), Seal(padded));  // the list's first comment
  const std::vector<std::string> m = {"-f 03-products.txt -t CompatProd",
                                      "--type SwKeys --PartNum FIMPNM1 -f 04-sw-keys.txt",
                                      "-f 05-user-file.obj -t object"};
  // A part number too long for a line: the record whole, as an object file.
  std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"m.mocf", m}, {"long.mocf", {m[0], "-f 04-software-keys.obj -t object"}}};
  // Windows names hold no line feed.
  if (!testutil::kProgramsUnderWine) cases.push_back({"new\nline.mocf", m});
  for (const auto& [file, lines] : cases) {
    SCOPED_TRACE(file);
    fs::remove_all(t.File("u"));
    EXPECT_EQ("[exit 0]\n", Sh(t.path(), "'" MOCFINFO_PATH "' --unpack u '" + file + "'"));
    EXPECT_EQ(lines, testutil::UnpackedRuns(t.File("u"), Read(t.File(file))));
  }
}

// Inputs over 1 MiB that are the image's own bytes are checked by their
// heads and the image as a whole: a user file, its length padded or not,
// a binary record, records made elsewhere, and a user file whose name an
// earlier one took, each must still come back as its own line.
TEST(Unpack, LargeRecordsComeBackAsTheirLinesAndRebuildIdentically) {
  std::mt19937 rng(9);
  const auto Junk = [&](size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
  };
  const std::string fw = RecS(0x60000000, "", {RecS(3, U32(1) + U32(6699)), RecS(2, "1.2\0"s),
                                              RecS(1, Junk((3 << 19) + 2))});
  // A record after the data, which the tool never writes: the head is the
  // tool's, the record is not, and only the record whole gives it back.
  const std::string extra =
      RecS(0x60000002, "", {RecS(0, "odd.bin\0"s), RecS(1, Junk(5 << 19)), RecS(7, "x")});
  for (const size_t user : {size_t{3} << 20, (size_t{3} << 20) + 1}) {
    SCOPED_TRACE(user);
    const TempDir t;
    fs::create_directories(t.File("in2"));
    for (const auto& [file, data] : std::map<std::string, std::string>{
             {"big.bin", Junk(user)}, {"in2/big.bin", Junk(user + 6)},
             {"tag.bin", Junk((2 << 20) + 3)}, {"fw.obj", fw}, {"extra.obj", extra},
             {"p.txt", "6699\n"}})
      WriteFile(t.File(file), data);
    ASSERT_EQ("[exit 0]\n", Sh(t.path(), testutil::ToolRuns({"m.mocf -d -f p.txt -t CompatProd",
        "m.mocf -f big.bin -t user", "m.mocf --type binary --tag 0x7000000A -f tag.bin",
        "m.mocf -f fw.obj -t object", "m.mocf -f extra.obj -t object"}) + " && cd in2 && " +
        testutil::kTool + " -m ../m.mocf -f big.bin -t user"));
    ASSERT_EQ("0 ", Unpack(t.File("u"), t.File("m.mocf")));
    EXPECT_EQ(std::vector<std::string>({"-f 03-products.txt -t CompatProd", "-f big.bin -t user",
                                        "--type binary --tag 0x7000000A -f 05-tag-7000000A.bin",
                                        "-f 06-firmware.obj -t object",
                                        "-f 07-user-file.obj -t object",
                                        "-f 08-user-file.obj -t object"}),
              testutil::UnpackedRuns(t.File("u"), Read(t.File("m.mocf"))));
  }
}

}  // namespace
