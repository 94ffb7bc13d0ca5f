// mocfedit end to end: random MOCFs from random lists, random edits, and
// the oracle the edit must equal byte for byte, mocfbuild -d over the MOCF's
// unpacked list edited the same way; then the cases random edits rarely
// reach.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "assemble/RunList.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace testutil;


// A record of the MOCF as the oracle keeps it: its list line, its tag and a
// user file's name.
struct Rec_t {
  std::string line;
  unsigned tag;
  std::string name;
};

const unsigned kUser = 0x60000002, kMenu = 0x60000005, kDefaults = 0x60000004, kKeys = 0x60000003;

// The settings file's items, one line each, as a person edits them.
std::vector<std::string> Items(const std::string& file) {
  std::string text;
  for (char c : State(file)) if (c != '\n') text += c;
  if (!text.empty() && text.back() == ';') text.pop_back();
  std::vector<std::string> items;
  for (size_t at = 0; !text.empty() && at <= text.size();) {
    const size_t end = std::min(text.find(';', at), text.size());
    items.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return items;
}

void WriteItems(const std::string& file, const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += item + ";\n";
  WriteFile(file, text.empty() ? ";\n" : text);
}

class EditCase : public Random {
 public:
  explicit EditCase(unsigned seed) : Random(seed), seed_(seed) {}
  // True when the edits were made and equal the rebuild.
  bool Run();

 private:
  std::string Settings() {
    std::string text;
    for (int n = R(4); n >= 0; --n) text += "K" + std::to_string(R(6)) + "=" + std::to_string(R(99)) + ";\n";
    return text;
  }
  // A new input in u/ and the run that reads it, with its tag and name.
  Rec_t NewRun();
  std::string Selector(int* pIndex, bool settings);
  bool Apply(std::vector<std::string>* pArgs, std::string* pWhy);

  unsigned seed_;
  TempDir dir_;
  std::vector<Rec_t> recs_;  // records 3 on
  int made_ = 0;
};

Rec_t EditCase::NewRun() {
  const std::string file = "new" + std::to_string(++made_) + (P(50) ? ".txt" : ".bin");
  const std::string path = dir_.File("u/" + file);
  switch (R(14)) {
    case 0: WriteFile(path, Settings()); return {"-f " + file + " --type MenuSettings", kMenu, ""};
    case 1: WriteFile(path, Settings()); return {"-f " + file + " -t CustomDefaults", kDefaults, ""};
    case 2: WriteFile(path, Settings());
            return {"--type SwKeys --PartNum 77" + (P(50) ? " -f " + file : ""s), kKeys, ""};
    case 3: WriteFile(path, std::to_string(R(9)) + "\n"); return {"-f " + file + " -t CompatProd", 2, ""};
    case 4: WriteFile(path, std::string(R(9), 'b')); return {"--type binary --tag 0x70000002 -f " + file, 0x70000002, ""};
    case 5: return {"-f missing.txt -t user", kUser, "missing.txt"};
    default: WriteFile(path, std::string(R(40), 'u')); return {"-f " + file + " -t user", kUser, file};
  }
}

// A selector, mostly one that finds a record (its index in *pIndex), in
// any of the ways to write one; else -1 for one that finds nothing.
std::string EditCase::Selector(int* pIndex, bool settings) {
  const int count = static_cast<int>(recs_.size());
  if (!count || P(5)) {
    *pIndex = -1;
    return Pick({"1", "2", std::to_string(count + 3), "user:none.txt", "tag:0x7000000F"});
  }
  int i = *pIndex = R(count);
  for (int j = 0; j < count && settings && P(90); ++j)
    if (recs_[j].tag == kMenu || recs_[j].tag == kDefaults || recs_[j].tag == kKeys) i = *pIndex = j;
  const Rec_t& rec = recs_[i];
  const auto nth = [&](const std::function<bool(const Rec_t&)>& same) {
    int k = 0;
    for (int j = 0; j <= i; ++j) k += same(recs_[j]);
    return k > 1 ? "#" + std::to_string(k) : "";
  };
  char tag[16];
  std::snprintf(tag, sizeof tag, "0x%08X", rec.tag);
  switch (R(3)) {
    case 0: return std::to_string(i + 3);
    case 1: return "tag:" + std::string(tag) + nth([&](const Rec_t& r) { return r.tag == rec.tag; });
    default:
      if (!rec.name.empty()) return "user:" + rec.name + nth([&](const Rec_t& r) { return r.name == rec.name; });
      if (rec.tag == 2 && i == 0) return "CompatProd";
      if (rec.tag == kMenu && nth([&](const Rec_t& r) { return r.tag == kMenu; }).empty())
        return "MenuSettings";
      return std::to_string(i + 3);
  }
}

// One edit on the model and its arguments; false where the MOCF refuses
// it, before any list is built.
bool EditCase::Apply(std::vector<std::string>* pArgs, std::string* pWhy) {
  int i = -1;
  const int op = R(5);
  const std::string sel = op == 2 ? "" : Selector(&i, op >= 3);
  std::vector<std::string>& args = *pArgs;
  if (op == 0) {
    args.insert(args.end(), {"--remove", sel});
    if (i >= 0) recs_.erase(recs_.begin() + i);
    return i >= 0 || (*pWhy = "no record", false);
  }
  if (op >= 3) {  // set or unset: an item there, or another
    std::string key = "K" + std::to_string(P(80) ? 0 : R(6));
    const bool set = op == 3;
    args.insert(args.end(), {set ? "--set" : "--unset", sel, set ? key + "=v" + std::to_string(R(9)) : key});
    if (i < 0) return *pWhy = "no record", false;
    Rec_t& rec = recs_[i];
    if (rec.tag != kMenu && rec.tag != kDefaults && rec.tag != kKeys) return *pWhy = "no settings", false;
    std::vector<std::string> words;
    EXPECT_TRUE(SplitWords(rec.line, &words, nullptr));
    // Into a file of its own: the one it was read from may be a run's input.
    auto f = std::find(words.begin(), words.end(), "-f");
    std::vector<std::string> items = f == words.end() ? std::vector<std::string>{} : Items(dir_.File("u/" + *(f + 1)));
    if (f == words.end()) f = words.insert(words.end(), {"-f", ""});
    *(f + 1) = "k" + std::to_string(++made_) + ".txt";
    const std::string file = dir_.File("u/" + *(f + 1));
    auto item = std::find_if(items.begin(), items.end(), [&](const std::string& s) { return s.rfind(key + "=", 0) == 0; });
    if (!set && item == items.end()) return *pWhy = "no such key", false;
    if (!set) items.erase(item);
    else if (item != items.end()) *item = args.back();
    else items.push_back(args.back());
    WriteItems(file, items);
    if (rec.tag == kKeys && items.empty()) words.erase(f, f + 2);
    EXPECT_TRUE(TypeableLine(words, &rec.line));
    return true;
  }
  Rec_t rec = NewRun();
  const std::vector<std::string> words = op == 1 ? std::vector<std::string>{"--replace", sel, rec.line}
                                                 : std::vector<std::string>{"--add", rec.line};
  args.insert(args.end(), words.begin(), words.end());
  if (op == 1 && i < 0) return *pWhy = "no record", false;
  if (op == 1 && !recs_[i].name.empty() && rec.tag == kUser && rec.name != "missing.txt") {
    fs::copy_file(dir_.File("u/" + rec.name), dir_.File("u/" + recs_[i].name),
                  fs::copy_options::overwrite_existing);
    rec = {"-f " + recs_[i].name + " -t user", kUser, recs_[i].name};
  }
  if (op == 1) recs_.erase(recs_.begin() + i);
  int at = op == 1 ? i + 3 : static_cast<int>(recs_.size()) + 3;
  if (P(30)) args.insert(args.end(), {"--at", std::to_string(at = 3 + R(recs_.size() + 2))});
  if (at > static_cast<int>(recs_.size()) + 3) return *pWhy = "past the end", false;
  recs_.insert(recs_.begin() + (at - 3), rec);
  return true;
}

bool EditCase::Run() {
  // The MOCF: a product list, then the kinds in any order, names apart.
  const std::string in = dir_.File("in");
  fs::create_directories(in);
  WriteFile(in + "/p.txt", "0x1A2B\n4100\n");
  WriteFile(in + "/ms.txt", Settings() + "K0=1;\n");
  WriteFile(in + "/cd.txt", Settings() + "K0=1;\n");
  WriteFile(in + "/sk.txt", Settings() + "K0=1;\n");
  std::vector<Rec_t> pool = {{"-f ms.txt --type MenuSettings", kMenu, ""},
                             {"-f cd.txt -t CustomDefaults", kDefaults, ""},
                             {"--type SwKeys --PartNum 0400-1" + (P(50) ? " -f sk.txt"s : ""), kKeys, ""},
                             {"--type binary --tag 0x70000001 -f b.dat", 0x70000001, ""},
                             {"--type binary --tag 0x70000001 -f b.dat", 0x70000001, ""}};
  for (const std::string name : {"a.txt", "b.bin", "c"}) {
    WriteFile(in + "/" + name, std::string(R(30), 'x'));
    pool.push_back({"-f " + name + " -t user", kUser, name});
  }
  WriteFile(in + "/b.dat", "bin");
  std::string list = "-f p.txt -t CompatProd\n";
  recs_ = {{"", 2, ""}};
  for (int n = R(pool.size() + 1); n > 0; --n) {
    const size_t k = R(pool.size());
    recs_.push_back(pool[k]);
    list += pool[k].line + "\n";
    pool.erase(pool.begin() + k);
  }
  WriteFile(in + "/list", list);
  EXPECT_EQ("[exit 0]\n", Sh(in, kBuild + " -d -m ../m.mocf list && " + kInfo + " --unpack ../u ../m.mocf"));
  const std::vector<std::string> lines = UnpackedRuns(dir_.File("u"));
  EXPECT_EQ(lines.size(), recs_.size()) << list;
  if (lines.size() != recs_.size()) return false;
  for (size_t i = 0; i < lines.size(); ++i) recs_[i].line = lines[i];
  // The edits, the model kept in step; the oracle stops where the MOCF
  // refuses one.
  std::vector<std::string> args;
  std::string why;
  bool refused = false, runBefore = false;
  for (int n = 1 + R(3); n > 0 && !refused; --n) {
    for (const char* run : {"--add", "--replace"})
      runBefore |= std::find(args.begin(), args.end(), run) != args.end();
    refused = !Apply(&args, &why);
  }
  // A product list kept after another has no line of a list: the edit
  // keeps it as a record, the checks reading the first.
  for (size_t i = 1; i < recs_.size() && !refused; ++i)
    if (recs_[i].line.find("-t CompatProd") != std::string::npos) return false;
  const std::string before = State(dir_.File("m.mocf"));
  std::string command = kEdit + " -m ../m.mocf";
  for (const std::string& a : args) command += " " + ShQuote(a);
  const std::string edited = Sh(dir_.File("u"), command + " 2>/dev/null");
  const int status = std::atoi(&edited[edited.rfind(' ')]);
  std::string newList;
  for (const Rec_t& rec : recs_) newList += rec.line + "\n";
  WriteFile(dir_.File("u/records.list"), newList);
  const std::string built = refused ? "" : Sh(dir_.File("u"), kBuild + " -d -m ../r.mocf records.list 2>/dev/null");
  const std::string context = "seed " + std::to_string(seed_) + "\nlist:\n" + list + "edit:" + command +
                              "\n" + edited + "oracle: " + (refused ? why : newList + built);
  if (!refused && built == "[exit 0]\n") {
    EXPECT_EQ("[exit 0]\n", edited) << context;
    EXPECT_TRUE(State(dir_.File("m.mocf")) == State(dir_.File("r.mocf"))) << context;
    return true;
  }
  EXPECT_TRUE(status == 1 || status == 2) << context;
  if (refused && !runBefore) {
    EXPECT_EQ(2, status) << context;
  }
  EXPECT_TRUE(before == State(dir_.File("m.mocf"))) << context;
  return false;
}

// Case c has seed + c: MOCF_EDIT_SEED=<its seed> MOCF_EDIT_CASES=1 runs it alone.
TEST(Mocfedit, EditsGiveWhatARebuildOfTheEditedListGives) {
  const char *pCases = std::getenv("MOCF_EDIT_CASES"), *pSeed = std::getenv("MOCF_EDIT_SEED");
  const int cases = pCases ? std::atoi(pCases) : 60;
  const unsigned seed = pSeed ? static_cast<unsigned>(std::strtoul(pSeed, nullptr, 0)) : 20261209u;
  std::atomic<int> made(0);
  RunCases(cases, [&](int c) { made += EditCase(seed + static_cast<unsigned>(c)).Run(); });
  std::printf("seed %u (cases from seed to seed + %d): %d edited, the rest refused\n", seed,
              cases - 1, made.load());
}

}  // namespace

namespace {

// The cases random edits rarely reach: each from the same MOCF, its status,
// and a line that must be in what it said or, once it edited, in the
// listing of what it wrote. A refused edit leaves every file as it was.
TEST(Mocfedit, RareCasesAreRefusedOrMadeAsAListWouldMakeThem) {
  const TempDir dir;
  ASSERT_EQ("[exit 0]\n",
            Sh(dir.path(), "printf '0x1A2B\\n' >p.txt; printf A >a.txt; mkdir a2 "
                           " && printf BB >a2/a.txt && printf 'Display.Timeout=300;\\nAudio.Volume=5;\\n' >ms.txt && "
                           "printf N >n.txt && printf bin >b.dat && " +
                               ToolRuns({"m.mocf -d -f p.txt -t CompatProd", "m.mocf -f a.txt -t user",
                                         "m.mocf -f ms.txt --type MenuSettings",
                                         "m.mocf --type binary --tag 0x70000001 -f b.dat"}) +
                               " && cd a2 && " + kTool + " -m ../m.mocf -f a.txt -t user"));
  const std::string base = State(dir.File("m.mocf"));
  std::string spoilt = base;
  spoilt[spoilt.size() - 3] ^= 1;
  WriteFile(dir.File("spoilt.mocf"), spoilt);
  const std::string tree = Tree(dir.path());
  struct Case_t {
    std::string args;
    int status;
    std::string said;
  } cases[] = {
      {"--remove user:b.txt", 2, "user:b.txt selects nothing: its user files are a.txt, a.txt"},
      {"--remove 2", 2, "selects record 2 (hash), which every edit writes itself"},
      {"--set tag:0x00000000 K=1", 2, "selects record 1 (version)"},
      {"--remove CompatProd", 2, "there is no compatible-products record"},
      {"--remove 7 --remove 6 --remove 5 --remove 4 --remove 3", 2, "there is no compatible-products record"},
      {"--remove user:a.txt#x", 2, "user:a.txt#x selects nothing: its user files are"},
      {"--remove user:", 1, "\"user:\" selects no record: a selector is"},
      {"--remove 00000000000000000009", 2, "selects nothing: the MOCF has records 1 to 7"},
      {"--add '-f n.txt -t user' --at 99999999999", 2, "is past the end"},
      {"--add '-f ms.txt --type MenuSettings'", 2, "Invalid MOCF."},
      {"--add '-f p.txt -t CompatProd'", 1, "--replace CompatProd RUN replaces it, or --at 3"},
      {"--add '-f n.txt -t user' --at 3", 2, "Invalid MOCF."},
      {"--add '-f n.txt -t user' --at 8", 0, "8   0xC0 60000002     28 user file \"n.txt\", 1 bytes"},
      {"--add '-f n.txt -t user' --at 9", 2, "--at 9 is past the end: the MOCF has 7 records"},
      {"--add '-f n.txt -t user' --at 2", 1, "--at 2: N is a record number from 3 on"},
      {"--add '-f n.txt -t user' --name x.txt --at 4", 0, "4   0x40 60000002     28 user file \"x.txt\", 1 bytes"},
      {"--remove user:a.txt#2 --add '-f n.txt -t user'", 0, "user file \"a.txt\", 1 bytes"},
      {"--replace user:a.txt#2 '-f n.txt -t user'", 0, "7   0x9C 60000002     28 user file \"a.txt\", 1 bytes"},
      {"--replace 3 '-f a.txt -t CompatProd'", 2, "a.txt:1: \"A\" is not a number"},
      {"--set tag:0x70000001 K=1", 2, "record 6 (unknown) holds no settings"},
      {"--unset MenuSettings Nope", 2, "has no setting Nope: its keys are Display.Timeout, Audio.Volume"},
      {"--set MenuSettings 'a;b=1'", 1, "the key \"a;b\" cannot come from a settings file"},
      {"--set MenuSettings Lang=de", 0, "\"Display.Timeout=300;Audio.Volume=5;Lang=de.\""},
      {"--unset MenuSettings Display.Timeout", 0, "\"Audio.Volume=5.\""},
      {"-o ./m.mocf --set MenuSettings Display.Timeout=600", 0, "\"Display.Timeout=600;Audio.Volume=5.\""},
      {"-o out.mocf --remove 4", 0, "out.mocf: 156 bytes, 6 records, valid"},
      {"--dry-run --set MenuSettings Lang=de", 0, "    + Lang=de"},
      {"--dry-run --json -o new.mocf --remove 4", 0, "\"file\": \"new.mocf\""},
      {"-m spoilt.mocf --remove 4", 2, "does not match the records' hash"},
      {"--json --remove 4", 1, "--json goes with --dry-run"},
  };
  for (const Case_t& c : cases) {
    WriteFile(dir.File("m.mocf"), base);
    const bool other = c.args.rfind("-m ", 0) == 0;
    const std::string out = Sh(dir.path(), kEdit + (other ? "" : " -m m.mocf") + " " + c.args + " 2>&1");
    const std::string written = c.args.find("-o out") != std::string::npos ? "out.mocf" : "m.mocf";
    const std::string listing = Sh(dir.path(), kInfo + " " + written);
    EXPECT_EQ("[exit " + std::to_string(c.status) + "]", out.substr(out.rfind("[exit"), 8)) << c.args << "\n" << out;
    const std::string& seen = c.status || c.args.find("--dry-run") != std::string::npos ? out : listing;
    EXPECT_NE(std::string::npos, seen.find(c.said)) << c.args << "\n" << out << listing;
    if (c.status || c.args.find("-o out") != std::string::npos || c.args.find("--dry-run") != std::string::npos) {
      EXPECT_TRUE(base == State(dir.File("m.mocf"))) << c.args;
    }
    fs::remove(dir.File("out.mocf"));
    if (c.status) {
      EXPECT_EQ(tree, Tree(dir.path())) << c.args;
    }
  }
}

}  // namespace

namespace {

// A MOCF too large to hold is edited where it lies, its digest checked
// beside the write; damaged, it is refused whatever the edit, and stays.
TEST(Mocfedit, ALargeMocfIsEditedWhereItLiesOrRefusedWhenDamaged) {
  const TempDir dir;
  const std::string start = "m.mocf -d -f p.txt -t CompatProd";
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), "printf '0x1A2B\\n' >p.txt && head -c 20M /dev/urandom >big && "
                                         "printf old >s.txt && mkdir new && printf new >new/s.txt && " +
                                             ToolRuns({start, "m.mocf -f big -t user", "m.mocf -f s.txt -t user",
                                                       "e.mocf -d -f p.txt -t CompatProd", "e.mocf -f big -t user"}) +
                                             " && cd new && " + kTool + " -m ../e.mocf -f s.txt -t user"));
  EXPECT_EQ("[exit 0]\n", Sh(dir.path(), kEdit + " -m m.mocf --replace user:s.txt '-f new/s.txt -t user'"));
  EXPECT_TRUE(State(dir.File("m.mocf")) == State(dir.File("e.mocf")));
  std::string spoilt = State(dir.File("m.mocf"));
  spoilt[10 << 20] ^= 1;
  WriteFile(dir.File("m.mocf"), spoilt);
  for (const std::string edit : {"--remove 4", "--remove user:none.txt", "--dry-run --remove 4"}) {
    const std::string out = Sh(dir.path(), kEdit + " -m m.mocf " + edit + " 2>&1");
    EXPECT_TRUE(out.find("does not match the records' hash") != std::string::npos &&
                out.find("[exit 2]") != std::string::npos) << edit << "\n" << out;
    EXPECT_TRUE(spoilt == State(dir.File("m.mocf"))) << edit;
  }
  // Cut short, it is no MOCF to walk where it lies: read whole, it says why.
  WriteFile(dir.File("m.mocf"), spoilt.substr(0, 17 << 20));
  EXPECT_NE(std::string::npos, Sh(dir.path(), kEdit + " -m m.mocf --remove 4 2>&1").find("its header says"));
  EXPECT_EQ("big\ne.mocf\nm.mocf\nnew\np.txt\ns.txt\n[exit 0]\n", Sh(dir.path(), "ls"));
}

}  // namespace

namespace {

// A writer that replaces a MOCF with a signature beside it says so on
// standard error, and only then: each run, made with the signatures and
// without, ends the same, prints the same on standard output and writes the
// same, and the signatures keep their bytes.
TEST(Mocfedit, WritersSayASignatureBesideWhatTheyReplacedNoLongerMatches) {
  const TempDir dir;
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), "printf '0x1A2B\\n' >p.txt; printf A >a.txt; printf '// none\\n' >none; "
                                         "printf -- '-f a.txt -t user\\n' >l; printf -- '-f gone -t user\\n' >bad && " +
                                             ToolRuns({"m.mocf -d -f p.txt -t CompatProd", "m.mocf -f a.txt -t user"})));
  const std::string base = State(dir.File("m.mocf"));
  const auto stale = [](const std::string& program, const std::string& mocf) {
    return program + ": the signature " + mocf + ".sig no longer matches " + mocf + "; sign it again with mocfsign\n";
  };
  const struct { std::string run, warned; } cases[] = {
      {kTool + " -m m.mocf -f a.txt -t user", stale("mocftool", "m.mocf")},
      {kTool + " -m m.mocf -f gone -t user", ""},
      {kEdit + " -m m.mocf --remove 4", stale("mocfedit", "m.mocf")},
      {kEdit + " -m m.mocf -o o.mocf --remove 4", stale("mocfedit", "o.mocf")},
      {kEdit + " -m m.mocf --dry-run --remove 4", ""},
      {kEdit + " -m m.mocf --remove 5", ""},
      {kBuild + " -m m.mocf l", stale("mocfbuild", "m.mocf")},
      {kBuild + " -m m.mocf none", ""},
      {kBuild + " -m m.mocf bad", ""},
  };
  const auto run = [&](const std::string& command, bool beside) {
    WriteFile(dir.File("m.mocf"), base);
    fs::remove(dir.File("o.mocf"));
    for (const std::string sig : {"m.mocf.sig", "o.mocf.sig"})
      beside ? WriteFile(dir.File(sig), sig) : (void)fs::remove(dir.File(sig));
    const std::string status = Sh(dir.path(), command + " >out 2>err");
    return std::make_tuple(status + State(dir.File("out")), State(dir.File("err")),
                           State(dir.File("m.mocf")) + State(dir.File("o.mocf")));
  };
  for (const auto& c : cases) {
    const auto [said, err, written] = run(c.run, false);
    EXPECT_EQ(std::make_tuple(said, err + c.warned, written), run(c.run, true)) << c.run;
    EXPECT_EQ("m.mocf.sigo.mocf.sig", State(dir.File("m.mocf.sig")) + State(dir.File("o.mocf.sig"))) << c.run;
  }
}

}  // namespace
