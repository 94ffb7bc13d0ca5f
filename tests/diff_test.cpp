// mocfinfo --diff against edits made on purpose: random MOCFs, built from
// random lists and then edited in known ways, must differ by exactly those
// edits, and the C API must say what the program says. Then what random
// edits rarely reach (a name held twice, a record both moved and changed,
// invalid, cut and unreadable sides) and the exact text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "mocf/mocf.hpp"
#include "sha1/sha1.h"
#include "test_util.h"

namespace {

using namespace std::string_literals;
using testutil::Bytes, testutil::kInfo, testutil::Rec, testutil::Sh, testutil::Str, testutil::U32;

// A report's changes, one a line as it prints them.
std::vector<std::string> Changes(const std::string& report) {
  std::vector<std::string> out;
  for (size_t at = 0; (at = report.find("\n  {", at)) != std::string::npos;) {
    const size_t end = report.find('\n', ++at);
    out.push_back(report.substr(at + 2, end - at - 2 - (report[end - 1] == ',')));
  }
  return out;
}
// What follows key in text, up to end.
std::string After(const std::string& text, const std::string& key, const std::string& end) {
  const size_t at = std::min(text.size(), text.find(key) + key.size());
  return text.substr(at, text.find(end, at) - at);
}

enum Kind { kProducts, kUser, kFirmware, kFirmwareAlt, kMenu, kKeys, kDefaults, kBinary, kHash };
const char* const kWords[] = {"compatible products", "user file", "firmware", "firmware",
                              "menu settings", "software keys", "custom defaults", "unknown",
                              "hash"};
const uint32_t kTags[] = {2,          0x60000002, 0x60000000, 0x60000001,
                          0x60000005, 0x60000003, 0x60000004, 0x70000001, 1};

std::string Q(const std::string& s) { return '"' + s + '"'; }
std::string Sha(const std::string& s) {
  unsigned char digest[20];
  CSha1().DoHash(reinterpret_cast<const unsigned char*>(s.data()),
                 static_cast<unsigned>(s.size()), digest);
  return testutil::ToHex(digest, sizeof digest);
}
std::string Field(const std::string& field, const std::string& o, const std::string& n,
                  const std::string& word = "field") {
  return "{" + Q(word) + ": " + Q(field) + ", \"old\": " + Q(o) + ", \"new\": " + Q(n) + "}";
}
std::string Fields(const std::string& fields) { return ", \"fields\": [" + fields + "]"; }
std::string Items(const std::string& added, const std::string& removed,
                  const std::string& changed) {
  return ", \"items\": {\"added\": [" + added + "], \"removed\": [" + removed +
         "], \"changed\": [" + changed + "]}";
}
// One change as a report holds it: its old and new index, 0 for none; tag 0
// for the kind's.
std::string Change(const std::string& change, int kind, const std::string& name, int o, int n,
                   const std::string& more = "", bool moved = false, uint32_t tag = 0) {
  const auto index = [](int i) { return i ? std::to_string(i) : "null"; };
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", tag = tag ? tag : kTags[kind]);
  return "{\"change\": " + Q(change) + ", \"kind\": " + Q(kWords[kind]) +
         ", \"tag\": " + std::to_string(tag) + ", \"tag_hex\": " + Q(hex) +
         (kind == kUser ? ", \"name\": " + Q(name) : "") + ", \"old_index\": " + index(o) +
         ", \"new_index\": " + index(n) + ", \"moved\": " + (moved ? "true" : "false") +
         more + "}";
}

struct Ran { std::string out, err; int status; };
Ran Info(const std::string& dir, const std::string& args) {
  const std::string all = Sh(dir, kInfo + " " + args + " 2>.err; s=$?; echo @@; cat .err; exit $s");
  const size_t mark = all.rfind("@@\n"), exit = all.rfind("[exit ");
  return {all.substr(0, mark), all.substr(mark + 3, exit - mark - 3), std::atoi(&all[exit + 6])};
}

// A record as its list line makes it. items: the products, the settings
// ("K=V"), or one value (a user file's or binary record's bytes, a
// firmware's software version).
struct Record {
  int id, kind;
  uint32_t tag;
  std::vector<std::string> items;
  std::string part, sep;  // software keys' part number; after each item
  std::string Name() const { return "u" + std::to_string(id) + ".txt"; }
};

// Builds folder.mocf from folder/list; what the build printed.
std::string Made(const std::string& folder, const std::vector<Record>& records) {
  std::filesystem::create_directories(folder);
  std::string list;
  for (const Record& r : records) {
    const std::string f = r.kind == kUser ? r.Name() : "r" + std::to_string(r.id);
    std::string text;
    for (const std::string& item : r.items) text += item + r.sep;
    if (r.kind == kFirmware || r.kind == kFirmwareAlt)
      text = Str(Rec(r.tag, "", {Rec(3, U32(1) + U32(6699)), Rec(2, r.items[0] + "\0"s),
                                 Rec(1, "data")}));
    testutil::WriteFile(folder + "/" + f, text);
    const std::string types[] = {
        "-t CompatProd", "-t user", "-t object", "-t object", "--type MenuSettings",
        "--type SwKeys --PartNum " + r.part, "-t CustomDefaults",
        "--type binary --tag " + std::to_string(r.tag)};
    list += "-f " + f + " " + types[r.kind] + "\n";
  }
  testutil::WriteFile(folder + "/list", list);
  return Sh(folder, testutil::kBuild + " -d -m " + folder + ".mocf list");
}

struct Maker : testutil::Random {
  using Random::Random;
  int next = 0;
  // Products above 3 (1 to 3 together need a firmware record); keys once.
  std::string Fresh(const std::vector<std::string>& items, bool product) {
    const std::string key = product ? std::to_string(4 + R(99999)) : "K" + std::to_string(R(99));
    for (const std::string& i : items)
      if ((i + "=").rfind(key + "=", 0) == 0) return Fresh(items, product);
    return key;
  }
  // A settings file may put ";;" between settings: the tool keeps it.
  Record Make(int kind) {
    Record r{next++, kind, kind == kBinary ? 0x7000000Au + R(6) : kTags[kind], {},
             "P" + std::to_string(R(99999)), R(4) ? ";\n" : ";;\n"};
    if (kind < kMenu || kind == kBinary) r.sep = kind ? "" : "\n";
    for (int n = 1 + R(3); n > 0; --n)
      r.items.push_back(Fresh(r.items, !kind) + (kind ? "=" + std::to_string(R(999)) : ""));
    if (kind == kUser || kind == kBinary) {
      r.items = {std::string(1 + R(30), '\0')};
      for (char& c : r.items[0]) c = static_cast<char>(R(256));
    }
    if (kind == kFirmware || kind == kFirmwareAlt) r.items = {"1." + std::to_string(R(50))};
    return r;
  }
};

// The listing's number, after version and hash; 0 when not there.
int IndexOf(const std::vector<Record>& records, int id) {
  for (size_t i = 0; i < records.size(); ++i)
    if (records[i].id == id) return static_cast<int>(i) + 3;
  return 0;
}

// Changes r in place in its kind's terms; what the report says of it.
std::string ChangeContent(Maker& m, Record* r) {
  std::string &first = r->items[0], was = first;
  const size_t i = m.R(r->items.size());
  const std::string item = r->items[i], key = item.substr(0, item.find('=')),
                    value = item.substr(std::min(item.size(), key.size() + 1));
  switch (r->kind) {
    case kProducts:
      r->items[i] = m.Fresh(r->items, true);
      return Items(r->items[i], item, "");
    case kUser:
      first[m.R(first.size())] ^= static_cast<char>(1 + m.R(255));
      return Fields(Field("sha1", Sha(was), Sha(first)));
    case kBinary:
      first += "b";
      return Fields(Field("length", std::to_string(was.size()), std::to_string(first.size())) +
                    ", " + Field("sha1", Sha(was), Sha(first)));
    case kFirmware:
    case kFirmwareAlt:
      first += "." + std::to_string(m.R(10));
      return Fields(Field("software", was, first));
  }
  const int how = m.R(r->kind == kKeys ? 4 : 3);
  if (how == 3) {
    r->part += "X";
    return Fields(Field("part number", r->part.substr(0, r->part.size() - 1), r->part));
  }
  if (how == 1) {
    const std::string added = m.Fresh(r->items, false) + "=" + std::to_string(m.R(999));
    r->items.insert(r->items.begin() + m.R(r->items.size() + 1), added);
    return Items(Q(added), "", "");
  }
  if (how == 2 && r->items.size() > 1) {
    r->items.erase(r->items.begin() + i);
    return Items("", Q(item), "");
  }
  r->items[i] += "1";
  return Items("", "", Field(key, value, value + "1", "key"));
}

void EditCase(unsigned seed) {
  Maker m(seed);
  const int kinds[] = {kUser, kUser, kFirmware, kFirmwareAlt, kMenu, kKeys, kDefaults, kBinary};
  std::vector<Record> old = {m.Make(kProducts)}, neu;
  // A kind held once, or a binary record's tag, matches whatever holds it.
  const auto taken = [&](const Record& r) {
    const auto holds = [&](const Record& o) { return r.kind != kUser && o.tag == r.tag; };
    return std::any_of(old.begin(), old.end(), holds) || std::any_of(neu.begin(), neu.end(), holds);
  };
  for (int n = m.R(8); n > 0; --n) {
    const Record r = m.Make(kinds[m.R(8)]);
    if (!taken(r)) old.push_back(r);
  }
  neu = old;
  // By id: the record, the change's type and what it says.
  std::map<int, std::pair<Record, std::string>> edits;
  const auto unedited = [&](size_t from) {
    std::vector<size_t> at;
    for (size_t i = from; i < neu.size(); ++i)
      if (!edits.count(neu[i].id)) at.push_back(i);
    return at;
  };
  for (int n = 1 + m.R(4); n > 0 || edits.empty(); --n) {
    const int what = m.R(n > 0 ? 3 : 1);
    const Record r = m.Make(kinds[m.R(8)]);
    const std::vector<size_t> at = unedited(what == 2 ? 0 : 1);
    if (what == 0 && !taken(r)) {
      neu.insert(neu.begin() + 1 + m.R(neu.size()), r);
      edits[r.id] = {r, "added"};
    } else if (what && !at.empty()) {
      const size_t i = at[m.R(at.size())];
      edits[neu[i].id] = {neu[i], what == 1 ? "removed" : "changed" + ChangeContent(m, &neu[i])};
      if (what == 1) neu.erase(neu.begin() + i);
    }
  }
  // One move, by two places or more among the records both hold: the
  // longest common order then leaves out that record alone.
  const std::vector<size_t> at = unedited(1);
  std::vector<int> both;  // in NEW's order
  for (const Record& r : neu)
    if (IndexOf(old, r.id)) both.push_back(r.id);
  const Record moving = neu[at.empty() ? 0 : at[m.R(at.size())]];
  const int rank = static_cast<int>(std::find(both.begin(), both.end(), moving.id) - both.begin());
  both.erase(both.begin() + rank);
  // It goes after the to-th of both (the products the first), if that is
  // two places or more from where it was; nothing moves when all are edited.
  const int to = at.empty() ? 0 : 1 + m.R(both.size());
  if (std::abs(to - rank) >= 2) {
    neu.erase(neu.begin() + IndexOf(neu, moving.id) - 3);
    neu.insert(neu.begin() + IndexOf(neu, both[to - 1]) - 2, moving);
    edits[moving.id] = {moving, "moved"};
  }
  const testutil::TempDir dir;
  const std::string o = dir.File("o.mocf"), n = dir.File("n.mocf"),
                    made = Made(dir.File("o"), old) + Made(dir.File("n"), neu);
  std::string context = "seed " + std::to_string(seed) + "\n" + Sh(dir.path(), "cat o/list n/list");
  ASSERT_EQ("[exit 0]\n[exit 0]\n", made) << context;
  std::multiset<std::string> want;
  for (const auto& [id, edit] : edits) {
    const auto& [r, what] = edit;
    const size_t type = std::min(what.size(), what.find(','));
    want.insert(Change(what.substr(0, type), r.kind, r.Name(), IndexOf(old, id), IndexOf(neu, id),
                       what.substr(type), what == "moved", r.tag));
  }
  const Ran json = Info(dir.path(), "--diff --json " + o + " " + n);
  context += json.out + json.err;
  ASSERT_EQ(1, json.status) << context;
  const std::vector<std::string> got = Changes(json.out);
  EXPECT_EQ(want, std::multiset<std::string>(got.begin(), got.end())) << context;
  EXPECT_EQ(json.out, mocf::diff(o, n).json) << context;
}

// Four cases at a time; case c has seed 20261208 + c, so
// MOCF_DIFF_EDIT_SEED=<its seed> MOCF_DIFF_EDIT_CASES=1 runs it alone.
TEST(Diff, RandomEditsAreReportedExactly) {
  const char* cases = std::getenv("MOCF_DIFF_EDIT_CASES");
  const char* seed = std::getenv("MOCF_DIFF_EDIT_SEED");
  const unsigned first = seed ? static_cast<unsigned>(std::strtoul(seed, nullptr, 0)) : 20261208;
  testutil::RunCases(cases ? std::atoi(cases) : 60, [&](int c) { EditCase(first + unsigned(c)); });
}

Bytes User(const std::string& name, const std::string& data) {
  return Rec(0x60000002, "", {Rec(0, name + "\0"s), Rec(1, data)});
}
// A sealed MOCF of these records, after a version and a hash record.
std::string Image(std::vector<Bytes> records) {
  records.insert(records.begin(), {Rec(0, "\0\0"s), Rec(1, std::string(20, '\0'))});
  return Str(testutil::Seal(Rec(0x46434F4D, "", records)));  // the tag reads "MOCF"
}

const Bytes kP = Rec(2, U32(1) + U32(6699)), kA1 = User("a.txt", "one"), kB = User("b.txt", "bee"),
            kA2 = User("a.txt", "two"), kM1 = Rec(0x60000005, "A=1;B=2.\0"s),
            kM2 = Rec(0x60000005, "A=1;B=3.\0"s);

// Both sides as --verify judges them (each invalid one here through its
// digest alone), the changes in the report's order, and the same from -q as
// a status alone.
TEST(Diff, NamesHeldTwiceMovesWithChangesAndInvalidSides) {
  std::string flipped = Image({kP, kA1}), cut = Image({kP, kA1, kB});
  flipped[flipped.find("one")] ^= 1;  // "nne", the digest left as it was
  cut.resize(cut.size() - 4);         // inside b.txt's data
  const struct {
    const char* what;
    std::string old, neu;
    std::vector<std::string> changes;
  } rows[] = {
      {"the k-th user file of a name goes with the k-th", Image({kP, kA1, kA2}), Image({kP, kA2}),
       {Change("changed", kUser, "a.txt", 4, 4, Fields(Field("sha1", Sha("one"), Sha("two")))),
        Change("removed", kUser, "a.txt", 5, 0)}},
      {"another name between two of one name", Image({kP, kA1, kA2}), Image({kP, kA1, kB, kA2}),
       {Change("added", kUser, "b.txt", 0, 5)}},
      {"moved and changed", Image({kP, kM1, kA1, kB}), Image({kP, kA1, kB, kM2}),
       {Change("changed", kMenu, "", 4, 6, Items("", "", Field("B", "2", "3", "key")), true)}},
      {"products in another order", Image({Rec(2, U32(2) + U32(6699) + U32(4100))}),
       Image({Rec(2, U32(2) + U32(4100) + U32(6699))}),
       {Change("changed", kProducts, "", 3, 3,
               Fields(Field("products", "6699, 4100", "4100, 6699")))}},
      {"a text that is not settings", Image({kP, kM1}),
       Image({kP, Rec(0x60000005, "A=1;free text.\0"s)}),
       {Change("changed", kMenu, "", 4, 4, Fields(Field("text", "A=1;B=2.", "A=1;free text.")))}},
      {"a digest that fails", Image({kP, kA1}), flipped,
       {Change("changed", kUser, "a.txt", 4, 4, Fields(Field("sha1", Sha("one"), Sha("nne"))))}},
      {"cut inside its last record", Image({kP, kA1, kB}), cut,
       {Change("removed", kUser, "b.txt", 5, 0)}},
      {"a hash record after the first is a record", Image({kP, Rec(1, "x")}), Image({kP}),
       {Change("removed", kHash, "", 4, 0)}},
      {"invalid, and byte for byte the same", flipped, flipped, {}},
  };
  const testutil::TempDir dir;
  const std::string o = dir.File("o.mocf"), n = dir.File("n.mocf");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    testutil::WriteFile(o, row.old);
    testutil::WriteFile(n, row.neu);
    const Ran json = Info(dir.path(), "--diff --json " + o + " " + n);
    EXPECT_EQ(std::make_tuple(row.changes.empty() ? 0 : 1, ""s, row.changes),
              std::make_tuple(json.status, json.err, Changes(json.out))) << json.out;
    for (const std::string& file : {o, n}) {
      const std::string verdict =
          After(Info(dir.path(), "--verify --json " + file).out, Q(file), ", \"readable\"");
      EXPECT_EQ(std::to_string(testutil::ReadFile(file).size()) + verdict + ", \"digest_ok\": " +
                    After(verdict, "\"valid\": ", ","),
                After(json.out, Q(file) + ", \"size\": ", "},"));
    }
    EXPECT_EQ(row.changes.empty() ? "true,\n \"changes\": []}\n" : "false",
              After(json.out, "\"same\": ", row.changes.empty() ? "@" : ","));
    const Ran quiet = Info(dir.path(), "--diff -q --json " + o + " " + n);
    EXPECT_EQ(std::to_string(json.status), std::to_string(quiet.status) + quiet.out + quiet.err);
    EXPECT_EQ(row.changes.empty(), mocf::diff(o, n).same);
  }
}

TEST(Diff, TextSaysTheSidesThenEachChangeWithItsDetails) {
  const testutil::TempDir dir;
  testutil::WriteFile(dir.File("o.mocf"), Image({kP, kM1, kA1, kB}));
  testutil::WriteFile(dir.File("n.mocf"), Image({Rec(2, U32(1) + U32(4100)), kA1, kB, kM2,
                                                 User("c.txt", "see"), Rec(0x70000001, "x")}));
  EXPECT_EQ("o.mocf (156 bytes, valid, digest matches) -> n.mocf (204 bytes, valid, digest "
            "matches): +2 -0 ~2 >0\n"
            "~ compatible products (old #3, new #3)\n"
            "    + product 4100\n"
            "    - product 6699\n"
            "~ menu settings (old #4, new #6), moved\n"
            "    ~ B 2 -> 3\n"
            "+ user file \"c.txt\" (new #7): \"c.txt\", 3 bytes\n"
            "+ unknown 0x70000001 (new #8)\n[exit 1]\n",
            Sh(dir.path(), kInfo + " --diff o.mocf n.mocf"));
}

// Status 2 and nothing on standard output, whichever side cannot be
// compared; without -q, why on standard error. The C API's code says which:
// its words are the Python test's.
TEST(Diff, SidesThatCannotBeComparedEndWithStatusTwo) {
  const testutil::TempDir dir;
  testutil::WriteFile(dir.File("m.mocf"), Image({kP}));
  testutil::WriteFile(dir.File("text"), "not a MOCF at all\n");
  testutil::WriteFile(dir.File("short"), "MOCF\0\0\0"s);
  const struct { std::string file, why; int code; } rows[] = {
      {"none", "cannot read none: No such file or directory", MOCF_EIO},
      {"text", "text is not a MOCF: it does not begin with the tag MOCF", MOCF_EINVALID},
      {"short", "short is not a MOCF: the file is 7 bytes, too short for a MOCF header",
       MOCF_EINVALID}};
  for (const auto& row : rows) {
    for (const std::string& args :
         {"m.mocf " + row.file, row.file + " m.mocf", row.file + " " + row.file}) {
      for (const std::string options : {"", "--json ", "-q "}) {
        const Ran ran = Info(dir.path(), "--diff " + options + args);
        const std::string why = options == "-q " ? ran.err : "mocfinfo: " + row.why + "\n";
        EXPECT_EQ(std::make_tuple(2, std::string(), why),
                  std::make_tuple(ran.status, ran.out, ran.err)) << options << args;
      }
    }
    char* json = reinterpret_cast<char*>(1);
    EXPECT_EQ(row.code,
              mocf_diff(dir.File("m.mocf").c_str(), dir.File(row.file).c_str(), nullptr, &json));
    EXPECT_EQ(nullptr, json);
  }
}

}  // namespace
