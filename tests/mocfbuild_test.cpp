// mocfbuild against the mocftool runs a list stands for: random lists are
// built both ways and must give the same bytes, or stop at the same line
// with the same status and leave the MOCF as it was. Then what random lists
// rarely reach: large inputs, a file-size limit, lists that cannot be read
// and command lines that are refused (builds beside runs on one MOCF: the
// E2eTest suite).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "Mocfbuild.h"
#include "platform/Platform.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace testutil;


// Each line of text that is not empty, after a prefix.
std::string Prefixed(const std::string& prefix, const std::string& text) {
  const std::string lines = std::regex_replace(text, std::regex("^\n+|\n(?=\n)"), "");
  return std::regex_replace(lines, std::regex("[^\n]+"), prefix + "$&");
}

// Firmware: its products, version (unless left out) and data.
std::string Firmware(size_t data, uint32_t product, bool version = true) {
  std::vector<std::string> kids = {RecS(3, U32(1) + U32(product)), RecS(1, std::string(data, 'D'))};
  if (version) kids.insert(kids.begin() + 1, RecS(2, "1.2\0"s));
  return RecS(0x60000000, "", kids);
}

// One mocftool run of a random MOCF, its words after -m MOCF in pairs, and
// the line mocfinfo --unpack should give back for it: % for the record's
// number, "" where not foretold; a user file's line depends on the names
// seen before it.
struct Run_t {
  std::vector<std::string> words;
  std::string line, user;
};

// Random inputs of every kind in a folder, and the runs they allow: kinds[0]
// the product list, then the runs any MOCF may hold, last those only a list
// can name (names a list line must quote, inputs refused). Then lines of
// every kind made from the runs as words first, written out with blanks,
// quotes and comments around.
class CaseMaker : public Random {
 public:
  CaseMaker(unsigned seed, const std::string& in);
  std::vector<Run_t> kinds;
  std::string Junk(int max) {  // up to max bytes, a fifth of them NUL
    std::string s(R(max + 1), '\0');
    for (char& c : s) c = R(5) ? static_cast<char>(R(256)) : '\0';
    return s;
  }
  // A number as a person might write it; "0X" is no hex prefix for a tag.
  std::string Number(uint32_t v, bool tag = false) {
    char hex[16];
    std::snprintf(hex, sizeof hex, P(50) ? "%x" : "%X", v);
    return P(45) ? std::to_string(v) : (tag && P(5) ? "0X" : "0x") + std::string(hex);
  }
  // Not a valid MOCF: junk, or a valid one spoilt.
  std::string Spoilt(std::string b) {
    switch (R(5)) {
      case 0: return Junk(40);
      case 1: return b.substr(0, R(b.size()));
      case 2: return b + Junk(8);
      case 3: b[8 + R(b.size() - 8)] ^= static_cast<char>(1 + R(255)); return b;
      default:  // a second menu-settings record, the digest made right
        b += Str(Rec(0x60000005, "B=2.\0"s)) + "\0\0\0"s;
        b.replace(4, 4, U32(b.size() - 8));
        return Seal(b);
    }
  }
  std::string Odd(std::string w) {
    const int how = R(8);  // mostly as written, else upper or lower case
    for (char& c : w) c = static_cast<char>(how == 0 ? toupper(c) : how == 1 ? tolower(c) : c);
    return w;
  }
  // The run's words in another order and case, now and then refused;
  // forbidden when they hold -m or -d.
  std::vector<std::string> Words(const Run_t& run) {
    std::vector<std::vector<std::string>> pairs;
    const auto opt = [&](std::string o, std::string v) { pairs.push_back({Odd(o), v}); };
    for (size_t i = 0; i + 1 < run.words.size(); i += 2)
      opt(run.words[i], run.words[i][1] == 't' || run.words[i] == "--type" ? Odd(run.words[i + 1])
                                                                           : run.words[i + 1]);
    for (size_t i = pairs.size(); i > 1; --i) std::swap(pairs[i - 1], pairs[R(i)]);
    if (P(5)) pairs.insert(pairs.begin(), {"-f", "missing.txt"});  // the last -f counts
    std::vector<std::string> tail;
    forbidden = altered = false;
    if (P(5)) {
      altered = true;
      switch (R(11)) {
        case 0: pairs.back() = {"-t", "bogus"}; break;
        case 1: pairs.erase(pairs.begin()); break;
        case 2: pairs[0][1] = Pick({"missing.txt", "sub", ""}); break;
        case 3: opt("--tag", "abc"); break;
        case 4: opt("--PartNum", std::string(21, 'p')); break;
        case 5: opt("-m", "x.mocf"), forbidden = true; break;
        case 6: tail = {Pick({"-d", "-D"})}, forbidden = true; break;
        case 7: tail = {Pick({"stray", "-f", "--tag", "-x", "-fa.txt"})}; break;
        case 8: opt("--type", "user"); break;
        case 9: opt("-t", "SwKeys"); break;
        default: opt("-t", Odd("CompatProd"));
      }
    }
    for (auto p = pairs.rbegin(); p != pairs.rend(); ++p)
      tail.insert(tail.begin(), p->begin(), p->end());
    return tail;
  }
  // Quotes where the word needs them, and now and then where it does not.
  std::string Line(const std::vector<std::string>& words) {
    std::string line = P(20) ? " \t" : "";
    for (size_t i = 0; i < words.size(); ++i) {
      const std::string& w = words[i];
      const bool must = w.empty() || std::regex_search(w, std::regex("[ \t\"]|/[*/]"));
      const size_t cut = must ? 0 : P(90) ? w.size() + 1 : R(w.size() + 1);
      line += (i ? Pick({" ", " ", "\t", "  \t "}) : "") + w.substr(0, cut);
      if (cut <= w.size())
        line += "\"" + std::regex_replace(w.substr(cut), std::regex(R"(["\\])"), "\\$&") + "\"";
    }
    return line + (P(20) ? "  " : "") + (P(10) ? "\r" : "");
  }
  // The last words were changed from the run's; they hold -m or -d.
  bool altered = false, forbidden = false;
  // Lines that hold no run; a block comment drops its first and last
  // lines whole, whatever else they hold.
  std::vector<std::string> Noise() {
    if (!P(30)) return {};
    if (P(50)) return {Pick({"// a \"quote", "\t// -f a.txt -t user", "//", "", "   ", "\t\r"})};
    std::vector<std::string> block = {Pick({"/* note", "-f a.txt -t user /* x", "/* one */"})};
    for (int n = R(3); n > 0; --n) block.push_back(Pick({"-f a.txt -t user", "\"open", ""}));
    block.push_back(Pick({"*/", "end */ -f a.txt -t user"}));
    return block;
  }
};

CaseMaker::CaseMaker(unsigned seed, const std::string& in) : Random(seed) {
  const auto add = [&](std::vector<std::string> words, std::string line, std::string user = "") {
    kinds.push_back({std::move(words), std::move(line), std::move(user)});
  };
  std::map<std::string, std::string> same;  // the inputs, by name
  for (int n = 1 + R(3); n > 0; --n)
    same["p.txt"] += Pick({"", "  ", "// p\n"}) +
                     Number(P(15) ? 1 + R(3)
                                  : std::vector<uint32_t>{6699, 0x1A2B, R(1u << 31) + 0u}[R(3)]) +
                     Pick({"\n", "\n", " \r\n"}) + (R(8) ? "" : "/* retired\n 99 */\n");
  add({"-f", "p.txt", "-t", "CompatProd"}, "-f %-products.txt -t CompatProd");
  same["pb.txt"] = Pick({"12 13\n", "-5\n", "7x\n", "0x\n"});
  add({"-f", "pb.txt", "-t", "CompatProd"}, "");
  // Settings: blanks around lines, comments, ';;', lines joined, where a
  // '/' at the join can make a comment marker of the joined text.
  const std::vector<std::string> parts = {"0400-1234", "X", "04 00", std::string(20, 'p'),
                                          "a\"b\\", "p;q.", "x/*y"};
  const std::vector<std::string> typed = {"0400-1234", "X", "\"04 00\"", parts[3],
                                          "\"a\\\"b\\\\\"", "p;q.", ""};  // "": not typeable
  for (const std::string file : {"s0.txt", "s1.txt", "my s2.txt"}) {
    bool slashes = false;
    for (int n = 1 + R(3); n > 0; --n) {
      if (R(10) == 0) same[file] += Pick({"A=/\n/B;\n", "A=/\n*B;\n", "/\n/C;\n"}), slashes = true;
      same[file] += Pick({"", "  ", "\t", "// c\n"}) + "K" + std::to_string(R(99)) + "=" +
                    std::to_string(R(999)) + Pick({";", ";", ";;", ""}) + " \n" +
                    (R(6) ? "" : "/* old\n K=1; */\n");
    }
    const int p = R(parts.size());
    const std::string no = slashes ? "" : "-f %-";
    add({"-f", file, "--type", "MenuSettings"},
        no.empty() ? "" : no + "menu-settings.txt --type MenuSettings");
    add({"-f", file, "-t", "CustomDefaults"},
        no.empty() ? "" : no + "custom-defaults.txt -t CustomDefaults");
    add({"--type", "SwKeys", "--PartNum", parts[p], "-f", file},
        slashes || typed[p].empty() ? ""
                                    : "--type SwKeys --PartNum " + typed[p] + " -f %-sw-keys.txt");
  }
  for (size_t p = 0; p < parts.size(); ++p)
    add({"--type", "SwKeys", "--PartNum", parts[p]},
        typed[p].empty() ? "" : "--type SwKeys --PartNum " + typed[p]);
  same["ms_bad.txt"] = "K=1;\n" + Pick({"Bad=\xC3\xA9;\n", "Bad=a\tb;\n"});
  same["ms_none.txt"] = "// nothing\n";
  add({"-f", "ms_bad.txt", "-t", "CustomDefaults"}, "");
  add({"-f", "ms_none.txt", "--type", "MenuSettings"}, "");
  // Firmware, its products, version and data now and then in another order.
  const uint32_t product = std::vector<uint32_t>{6699, 1, 2}[R(3)];
  for (uint32_t tag : {0x60000000u, 0x60000001u}) {
    std::vector<std::string> kids = {RecS(3, U32(1) + U32(product)), RecS(2, "1.2\0"s),
                                     RecS(1, Junk(40))};
    if (R(3) == 0) std::swap(kids[R(3)], kids[R(3)]);
    const std::string file = "fw" + std::to_string(tag & 1) + ".obj";
    same[file] = RecS(tag, "", kids);
    add({"-f", file, "-t", "object"}, "-f %-firmware.obj -t object");
  }
  const std::string unknown = Pick({"7000000A", "60000006", "12345678"});
  same["unk.obj"] = RecS(std::stoul(unknown, nullptr, 16), Junk(30), {RecS(1, Junk(9))});
  add({"-f", "unk.obj", "-t", "object"},
      "--type binary --tag 0x" + unknown + " -f %-tag-" + unknown + ".bin");
  // A Length that leaves out bytes, or claims bytes the file lacks.
  same["badlen.obj"] = same["unk.obj"].substr(0, 4) + U32(same["unk.obj"].size() - 4 - 5 * R(2)) +
                       same["unk.obj"].substr(8);
  add({"-f", "badlen.obj", "-t", "object"}, "");
  const std::vector<std::string> names = {"a.txt", "B_(1).bin", "...", "records.list", "x", "e.txt",
                                          "(" + std::string(52, 'n') + ").t"};  // 57 letters
  const std::string objName = Pick(names), binName = Pick(names);
  same["uo.obj"] = RecS(0x60000002, "", {RecS(0, objName + "\0"s), RecS(1, Junk(30))});
  add({"-f", "uo.obj", "-t", "object"}, "", objName);
  same["u.bin"] = RecS(0x60000002, "", {RecS(0, binName + "\0"s), RecS(1, "bin")}).substr(8);
  add({"--type", "binary", "--tag", "0x60000002", "-f", "u.bin"}, "", binName);
  // Texts only a binary record can bring; a plain line makes some of them.
  const std::string menu = "-f %-menu-settings.", keys = "-f %-software-keys.obj -t object",
                    defaults = "-f %-custom-defaults.txt -t CustomDefaults";
  const std::vector<std::string> text = std::vector<std::vector<std::string>>{
      {"60000005", "K=1.\0"s, menu + "txt --type MenuSettings"},
      {"60000005", " K=1.\0"s, menu + "obj -t object"},
      {"60000005", "K=1.\0\0\xff"s, menu + "obj -t object"},
      {"60000004", "K=1;@\0"s, defaults}, {"60000004", "K//1@\0"s, defaults},
      {"60000003", "FIMPNMX.\0"s, "--type SwKeys --PartNum X"}, {"60000003", "FIMPNM.\0"s, keys},
      {"60000003", "FIMPNM" + std::string(21, 'q') + ".\0"s, keys},
      {"00000002", U32(P(80) ? 1 : 2) + U32(R(3) + 1), ""}}[R(9)];
  same["t.bin"] = text[1];
  add({"--type", "binary", "--tag", "0x" + text[0], "-f", "t.bin"}, text[2]);
  for (const uint32_t tag : {0u, 1u, 2u, 0x50000000u, 0x60000006u, 0x70000001u, 0x70000003u,
                             0x12345678u, 0xFFFFFFFFu, 0x60000005u, 0x60000002u}) {
    const std::string word = Number(tag, true);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", word[1] == 'X' ? 0 : tag);
    add({"--type", "binary", "--tag", word, "-f", "b.bin"},
        tag == 0x60000005 || tag == 0x60000002
            ? ""
            : "--type binary --tag 0x" + std::string(hex) + " -f %-tag-" + hex + ".bin");
  }
  for (const std::string& name : names) add({"-f", name, "-t", "user"}, "", name);
  const std::vector<std::string> odd = {
      std::string(53, 'n') + ".txt", std::string(54, 'n') + ".txt", "bad-name.txt", "sub/x.txt",
      "name with space.txt", "back\\slash.txt", "q\"uote.txt"};
  for (const std::string& name : odd) add({"-f", name, "-t", "user"}, "");
  fs::create_directories(in + "/sub");
  for (const auto& [file, bytes] : same) WriteFile(in + "/" + file, bytes);
  for (const std::string& name : names) WriteFile(in + "/" + name, name[0] == 'e' ? "" : Junk(80));
  for (const std::string& name : odd) WriteFile(in + "/" + name, Junk(80));
  WriteFile(in + "/b.bin", Junk(50));
}

// Valid MOCFs made by mocftool runs, to append to.
std::vector<std::string> MakeBases() {
  const TempDir dir;
  WriteFile(dir.File("fw.obj"), Firmware(9, 2));
  const std::string inputs = "printf '0x1A2B\\n4100\\n' >p.txt; printf '1\\n2\\n' >p12.txt; "
                             "printf A >a.txt; echo 'K=1;' >ms.txt; ";
  EXPECT_EQ("[exit 0]\n", Sh(dir.path(), inputs + ToolRuns({"a -d -f p.txt -t CompatProd",
      "a -f a.txt -t user", "b -d -f p12.txt -t CompatProd", "b -f fw.obj -t object",
      "c -d -f p.txt -t CompatProd", "c -f ms.txt --type MenuSettings",
      "c --type SwKeys --PartNum 1"})));
  return {State(dir.File("a")), State(dir.File("b")), State(dir.File("c"))};
}

// out1.mocf, made by runs, comes back from mocfinfo --unpack as a list
// that rebuilds it byte for byte. Given the runs that made it all (none
// given: it did not start afresh), each record comes back as the line
// foretold for its run, up to one whose words were changed.
void ExpectUnpacked(const TempDir& dir, const std::vector<const Run_t*>& runs,
                    const std::string& context) {
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), kInfo + " --unpack u out1.mocf")) << context;
  const auto lines = UnpackedRuns(dir.File("u"), State(dir.File("out1.mocf")), context);
  if (runs.empty()) return;
  ASSERT_EQ(runs.size(), lines.size()) << context;
  std::set<std::string> seen;
  for (size_t i = 0; i < runs.size() && runs[i]; ++i) {
    const Run_t& run = *runs[i];
    std::string line = run.user.empty() ? run.line
                       : run.user != "records.list" && seen.insert(run.user).second
                           ? "-f " + run.user + " -t user"
                           : "-f %-user-file.obj -t object";
    if (const size_t at = line.find('%'); at != std::string::npos)
      line.replace(at, 1, (i < 7 ? "0" : "") + std::to_string(i + 3));
    EXPECT_TRUE(line.empty() || line == lines[i])
        << "expected: " << line << "\nwritten: " << lines[i] << "\n" << context;
  }
}

// One random list, built run by run from in/ into out1.mocf and by
// mocfbuild from the case folder into out2.mocf, both from the same start;
// true when every line succeeded.
bool DiffCase(unsigned seed, const std::vector<std::string>& bases) {
  const TempDir dir;
  const std::string in = dir.File("in");
  CaseMaker maker(seed, in);
  const bool d = maker.P(40);
  const int draw = maker.R(20);
  const int startKind = draw < 6 ? 0 : draw < 9 ? 1 : 2;  // none, not a MOCF, a valid MOCF
  const std::string base = maker.Pick(bases);
  const std::string start = !startKind ? "(absent)" : startKind == 1 ? maker.Spoilt(base) : base;
  for (const char* out : {"out1.mocf", "out2.mocf"})
    if (startKind) WriteFile(dir.File(out), start);
  // The runs stop before a line holding -m or -d: mocfbuild refuses it.
  // Each run's output ends in "@@ status"; mocfbuild's in "@@ build status".
  std::string list, runs = "(cd in || exit";
  std::vector<int> numbers;
  std::vector<const Run_t*> planned;
  for (int i = 0, count = 1 + maker.R(8); i < count; ++i) {
    for (const std::string& line : maker.Noise()) list += line + "\n";
    const bool fresh = i == 0 && (d || !startKind);
    size_t kind = 0;  // a comment marker in a part number: no list line can give it
    if (!maker.P(fresh ? 90 : 3))
      do kind = maker.R(maker.kinds.size()); while (maker.kinds[kind].words[3] == "x/*y");
    const auto words = maker.Words(maker.kinds[kind]);
    planned.push_back(maker.altered ? nullptr : &maker.kinds[kind]);
    list += maker.Line(words) + "\n";
    numbers.push_back(static_cast<int>(std::count(list.begin(), list.end(), '\n')));
    if (maker.forbidden) break;
    runs += "\n" + kTool + " -m ../out1.mocf" + (i == 0 && d ? " -d" : "");
    for (const std::string& w : words) runs += " " + ShQuote(w);
    runs += "; s=$?; echo \"@@ $s\"; [ $s = 0 ] || exit";
  }
  for (const std::string& line : maker.Noise()) list += line + "\n";
  WriteFile(in + "/list", list);
  const std::string inBefore = Tree(in);
  const std::string out = Sh(dir.path(), runs + "\n); " + kBuild + (d ? " -d" : "") +
                                             " -m out2.mocf in/list 2>err; echo \"@@ build $?\"");
  const std::string reasons = ShReasons();
  // A --tag read in part: noted by each run, and by mocfbuild for its line.
  std::string err, notes;
  std::istringstream errLines(State(dir.File("err")));
  for (std::string line; std::getline(errLines, line);)
    (line.find(": note: --tag ") == std::string::npos ? err : notes) += line + "\n";
  const std::string context = "seed " + std::to_string(seed) + (d ? " -d" : "") + " start " +
      std::to_string(startKind) + "\nlist:\n" + list + "output:\n" + out + "err:\n" + err;
  // What each run printed, with its status; mocfbuild's last.
  std::vector<std::pair<std::string, int>> printed;
  std::string text;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("@@ ", 0) != 0) text += line + "\n";
    else printed.push_back({std::exchange(text, ""), atoi(&line[line.rfind(' ')])});
  }
  // The build's "@@" came, after nothing on its standard output.
  EXPECT_TRUE(text == "[exit 0]\n" && !printed.empty() && printed.back().first.empty()) << context;
  if (printed.empty()) return false;
  const int buildStatus = printed.back().second;
  printed.pop_back();
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_TRUE(std::regex_match(e.path().filename().string(), std::regex("in|err|out[12]\\.mocf")))
        << e.path() << " left\n" << context;
  EXPECT_EQ(inBefore, Tree(in)) << context;
  const size_t ran = printed.size();
  const int lastStatus = ran ? printed.back().second : 0;
  const size_t made = lastStatus ? ran - 1 : ran;
  planned.resize(made);
  if (made || startKind == 2)
    ExpectUnpacked(dir, d || !startKind ? planned : std::vector<const Run_t*>{}, context);
  if (ran == numbers.size() && lastStatus == 0) {
    const std::regex tag("mocftool: --tag ");
    EXPECT_EQ(std::make_pair(0, ""s), std::make_pair(buildStatus, err)) << context;
    EXPECT_EQ(std::distance(std::sregex_iterator(reasons.begin(), reasons.end(), tag), {}),
              std::count(notes.begin(), notes.end(), '\n')) << context;
    EXPECT_TRUE(State(dir.File("out1.mocf")) == State(dir.File("out2.mocf"))) << context;
    return true;
  }
  EXPECT_EQ(lastStatus == 0 ? 1 : lastStatus, buildStatus) << context;
  EXPECT_TRUE(start == State(dir.File("out2.mocf"))) << context;
  EXPECT_TRUE(lastStatus == 0 || reasons != "") << context;
  // mocftool's messages, the usage text left out (it starts with the
  // program's name as run: mocftool, or mocftool.exe), each after the
  // prefix; mocfbuild leaves out the tool's blank lines, and says why as the
  // tool does on standard error.
  std::string expected = lastStatus == 0 ? "" : printed.back().first;
  const size_t usage = expected.find(":  $ProjectRevision");
  if (usage != std::string::npos) expected.erase(expected.rfind("mocftool", usage));
  const std::string prefix = "in/list:" + std::to_string(numbers[lastStatus ? ran - 1 : ran]) + ":";
  expected = Prefixed(prefix + " ", expected);
  EXPECT_EQ(expected, err.substr(0, expected.size())) << context;
  EXPECT_TRUE(std::regex_match(err, std::regex("(" + prefix + "( [^\n]*)?\n)+"))) << context;
  return false;
}

// Cases run four at a time: most of a case is waiting for processes. Case
// c has seed + c, so MOCF_DIFF_SEED=<its seed> MOCF_DIFF_CASES=1 runs it alone.
TEST(Mocfbuild, BuildsWhatTheRunsWouldOrStopsWhereTheyWould) {
  const char *pCases = std::getenv("MOCF_DIFF_CASES"), *pSeed = std::getenv("MOCF_DIFF_SEED");
  const int cases = pCases ? std::atoi(pCases) : 150;
  const unsigned seed = pSeed ? static_cast<unsigned>(std::strtoul(pSeed, nullptr, 0)) : 20261207u;
  const std::vector<std::string> bases = MakeBases();
  std::atomic<int> succeeded(0);
  RunCases(cases, [&](int c) { succeeded += DiffCase(seed + static_cast<unsigned>(c), bases); });
  std::printf("seed %u (cases from seed to seed + %d): %d all succeeded\n", seed, cases - 1,
              succeeded.load());
}

// Three user files of 20 MiB, a second hash record and firmware of 2 MiB,
// an object file larger than what is kept in memory and so read again while
// the image is written. Then large object files checked where they lie,
// through a record standing in for each: one the rules refuse, and a file
// that is more than one record, fail as the tool's run fails.
TEST(Mocfbuild, LargeBuildIsAllOrNothingAndEqualsTheRuns) {
  const TempDir dir, errDir;
  const std::string err = errDir.File("err"), look = "ls -Ai; sha1sum m.mocf";
  WriteFile(dir.File("fw.obj"), Firmware(2 << 20, 6699));
  WriteFile(dir.File("longer.obj"), Firmware(2 << 20, 6699) + "x");
  WriteFile(dir.File("no-version.obj"), Firmware(2 << 20, 6699, false));
  Sh(dir.path(), "printf '0x1A2B\\n4100\\n' >products.txt; echo 'A=1;' >ms.txt; for f in 1 2 3; "
                 "do head -c 20M /dev/urandom >big$f; done; head -c 3M /dev/urandom >hash.bin");
  for (const std::string object : {"longer.obj", "no-version.obj"}) {
    const std::string run = Sh(dir.path(), ToolRuns({"r.mocf -d -f products.txt -t CompatProd",
                                                     "r.mocf -f " + object + " -t object"}));
    WriteFile(dir.File("l.list"), "-f products.txt -t CompatProd\n-f " + object + " -t object\n");
    const std::string printed = Prefixed("l.list:2: ", run.substr(0, run.rfind("[exit")));
    ASSERT_EQ("[exit 2]\n", run.substr(run.rfind("[exit"))) << run;
    EXPECT_EQ("[exit 2]\n", Sh(dir.path(), kBuild + " -d -m m.mocf l.list 2>" + err)) << object;
    EXPECT_EQ(printed, State(err).substr(0, printed.size())) << object;
    EXPECT_FALSE(fs::exists(dir.File("m.mocf"))) << object;
  }
  const std::string good = "-f products.txt -t CompatProd\n-f big1 -t user\n-f big2 -t user\n"
                           "-f big3 -t user\n-f fw.obj -t object\n"
                           "--type binary --tag 1 -f hash.bin\n-f ms.txt --type MenuSettings\n";
  WriteFile(dir.File("good.list"), good);
  WriteFile(dir.File("bad.list"), good + "-f ms.txt --type MenuSettings\n");
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), kTool + " -m m.mocf -d -f products.txt -t CompatProd"));
  const std::string before = Sh(dir.path(), look);
  // The last line fails: the MOCF keeps its bytes and its inode, and no
  // temporary file is left.
  EXPECT_EQ("bad.list:8: Invalid MOCF.\nbad.list:8: Error creating MOCF\nbad.list:8: record 10 "
            "(menu settings at 0x41000E8): a second record of tag 0x60000005; only user files "
            "may appear more than once\n[exit 2]\n",
            Sh(dir.path(), kBuild + " -d -m m.mocf bad.list"));
  EXPECT_EQ(before, Sh(dir.path(), look));
  // Without it the build stands, and is what the runs make.
  EXPECT_EQ("m.mocf: valid\n[exit 0]\n",
            Sh(dir.path(), kBuild + " -d -m m.mocf good.list || exit; d=-d; while read -r run; "
                               "do " + kTool + " -m r.mocf $d $run || exit; d=; done <good.list; "
                               "cmp m.mocf r.mocf && rm r.mocf && " + kInfo + " --verify m.mocf"));
  if (kProgramsUnderWine) return;
  // A file-size limit stands in for a full disk; bash counts it in KiB.
  // The write of a large image fails: status 2 and the MOCF as it was, the
  // limit's signal left alone by the caller (but for the portable build) and
  // ignored by the build. (An append writes the same way; mocftool's words:
  // E2eTest.)
  const std::string after = Sh(dir.path(), look);
  const std::string trap = platform::IsDurable() ? "" : "trap \"\" XFSZ; ";
  EXPECT_EQ("mocfbuild: could not write m.mocf (a write failed, or an input changed while it "
            "was read); it is as it was\n[exit 2]\n",
            Sh(dir.path(), "bash -c 'ulimit -c 0 -f 40000; " + trap + "exec \"$0\" \"$@\"' " +
                               kBuild + " -d -m m.mocf good.list"));
  EXPECT_EQ(after, Sh(dir.path(), look));
}

// In-process, from wherever the test runs: nothing goes to standard
// output, and the caller's folder is the current one again afterwards.
std::pair<int, std::string> Call(const std::vector<std::string>& args) {
  const fs::path before = fs::current_path();
  std::ostringstream out, err;
  testing::internal::CaptureStdout();
  const int status = mocfbuild::RunMocfbuild(args, out, err);
  EXPECT_EQ("", testing::internal::GetCapturedStdout() + out.str());
  EXPECT_EQ(before, fs::current_path());
  return {status, err.str()};
}

// Each list is refused at its line, or the command line is refused; the
// MOCF and the folder stay as they were. (A missing input, an open quote and
// -m in a list: the documentation test; lines among comments and quotes:
// the random lists.) Runs one after another would each
// read what the one before wrote; a build writes the MOCF once, so a line
// that reads it is refused, however it names it, also through another name.
TEST(Mocfbuild, RefusedListsAndCommandLinesWriteNothing) {
  const TempDir dir;
  Sh(dir.path(), "echo 7 >products.txt; printf A >a.txt; echo 'M=1;' >ms.txt; mkdir sub; "
                 "cp a.txt sub");
  const std::string m = dir.File("m.mocf"), l = dir.File("l");
  const std::string first = "-f products.txt -t CompatProd\n";
  const std::string again = "-f ms.txt --type MenuSettings\n";
  const std::string self = " the MOCF being built cannot be an input of its own list: mocfbuild "
                           "writes it once, after the last line\n";
  const std::tuple<std::string, std::string, int> lists[] = {
      {first + "-f sub -t user\n",
       ":2: Can't find the input file (sub)!\n:2: cannot read sub: Is a directory\n", 1},
      {first + first,
       ":2: Compatible Products input file can only be specified along with the -d option (or "
       "input MOCF can't exist).\n:2: only the list's first line can be the product list; "
       "mocfbuild -d starts the MOCF afresh from it (a list cannot hold -d)\n", 1},
      {first + "-f a.txt -D -t user\n",
       ":2: -d has no place in a list: give it to mocfbuild, which then starts the MOCF afresh "
       "for the first line\n", 1},
      {first + "-tSwKeys --PartNum 1\n", ":2: mocftool refuses the argument \"-tSwKeys\": an "
       "option and its value are two words, as in --type SwKeys\n", 1},
      {first + "-f a.txt -mx.mocf\n", ":2: -m has no place in a list: the MOCF is named once, on "
       "mocfbuild's command line\n", 1},
      // The list names its inputs as they are written in it, and they are read from its folder.
      {first + "-f a.txt -t object\n", ":2: Error creating Object Record from file.  Additional "
       "info:\n:2: CreateObjectRecord: failed to read TLV header\n:2: Error creating MOCF\n:2: "
       "a.txt is 1 byte, too short for a record's 8-byte header\n:2: an object file (-t object) "
       "holds one complete record made elsewhere: an 8-byte header (tag, then the value's length, "
       "32-bit little-endian) and the value, nothing after it, not even padding; other bytes go "
       "in as -t user, or --type binary --tag N\n", 2},
      {first + "-f sub/a.txt -t user\n", ":2: Invalid MOCF.\n:2: Error creating MOCF\n:2: record "
       "4 (user file at 0x40): the file name \"sub/a.txt\" holds '/' (0x2F); names take letters, "
       "digits and _.() only\n:2: to store it as a.txt, keep it in the list's folder and write "
       "-f a.txt (a list's paths are taken from its folder)\n", 2},
      // The first failing line decides, even with an unreadable one after it.
      {first + again + again + "\"open\n",
       ":3: Invalid MOCF.\n:3: Error creating MOCF\n:3: record 5 (menu settings at 0x50): a "
       "second record of tag 0x60000005; only user files may appear more than once\n", 2},
  };
  for (const auto& [list, want, status] : lists) {
    WriteFile(l, list);
    const std::string before = Tree(dir.path());
    EXPECT_EQ(std::make_pair(status, Prefixed(l, want)), Call({"-d", "-m", m, l}));
    EXPECT_EQ(before, Tree(dir.path())) << list;
  }
  // Through the program, from the folder above: the MOCF is named from
  // there, the inputs from the list's folder.
  const std::string base = fs::path(dir.path()).filename().string();
  const auto build = [&](const std::string& d) {
    return Sh(dir.path() + "/..", kBuild + d + " -m " + base + "/m.mocf " + base + "/l");
  };
  for (const std::string& input : {"m.mocf"s, "./m.mocf"s, "../" + base + "/m.mocf"}) {
    WriteFile(l, first + "-f " + input + " -t user\n");
    EXPECT_EQ(base + "/l:2:" + self + "[exit 1]\n", build(" -d")) << input;
  }
  WriteFile(l, first);
  const std::string before = Tree(dir.path());
  const std::string none = dir.File("none"), sub = dir.File("sub");
  const std::pair<std::vector<std::string>, std::string> commands[] = {
      {{"-m", m, none}, "cannot read " + none + ": No such file or directory"},
      {{"-m", m, sub}, "cannot read " + sub + ": Is a directory"},
      {{"-d", l}, "no MOCF given (-m MocfFile)"},
      {{"-d", "-x", "-m", m, l}, "unknown option -x"},
      {{"-d", l, "-m"}, "-m needs a value"},
      {{"-d", "-m", m, l, l}, "one LIST at a time"},
      {{"-d", "-m", m}, "no LIST given"},
  };
  for (const auto& [args, want] : commands) {
    EXPECT_EQ(std::make_pair(1, "mocfbuild: " + want + "\nusage: mocfbuild [-d] -m MocfFile LIST\n"
                                "       mocfbuild --help | --version\n"), Call(args));
    EXPECT_EQ(before, Tree(dir.path())) << want;
  }
  // With a good list the same call writes the MOCF; then a line reading it
  // by another name is refused.
  WriteFile(l, first + "-f a.txt -t user\n");
  EXPECT_EQ(0, Call({"-d", "-m", m, l}).first);
  WriteFile(l, "-f hard --type binary --tag 0x70000001\n");
  fs::create_hard_link(dir.File("m.mocf"), dir.File("hard"));
  const std::string linked = Tree(dir.path());
  EXPECT_EQ(base + "/l:1:" + self + "[exit 1]\n", build(""));
  EXPECT_EQ(linked, Tree(dir.path()));
}

// Ctrl-C or SIGTERM while the progress line stands ends that line before
// the build goes, by the signal; with no line standing, nothing is written.
// A build that ends has its last line say what it wrote.
// The build's standard error is a terminal (script's), where each \n shows
// as \r\n; the list comes down a pipe line by line, the build waiting for
// the next, its progress standing once it took a second.
TEST(Mocfbuild, AStopEndsTheProgressLineAndTheSignalEndsTheBuildOrItEndsInASummary) {
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build shows no progress";
  if (kProgramsUnderWine) GTEST_SKIP() << "Windows has no such signals";
  const TempDir dir;
  const std::string line = "\rmocfbuild: reading l.list:2\r\n";
  const std::tuple<std::string, int, bool> cases[] = {
      {"TERM", 143, true}, {"INT", 130, true}, {"TERM", 143, false}};
  for (const auto& [sig, status, shows] : cases) {
    const std::string feed =
        "echo 7 >p; exec 3>l.list; echo '-f p -t CompatProd' >&3; " +
        std::string(shows ? "sleep 1.2; echo '-f p -t user' >&3; for n in $(seq 400); do "
                            "grep -q l.list:2 out && break; sleep 0.05; done"
                          : "sleep 0.3") +
        "; kill -" + sig + " $(cat pid); sleep 5";
    EXPECT_EQ("status " + std::to_string(status) + "\n" + (shows ? line : "") + "[exit 0]\n",
              Sh(dir.path(), "rm -f l.list out; mkfifo l.list; (" + feed + ") >/dev/null 2>&1 &"
                             "script -qec \"echo \\$\\$ >pid; exec " + kBuild +
                             " -d -m m.mocf l.list\" /dev/null </dev/null >out;"
                             "echo status $?; kill $! 2>/dev/null; cat out"))
        << sig << (shows ? " shown" : " not shown");
  }
  // A build that ends says there what it wrote (elsewhere nothing: the random lists).
  EXPECT_EQ("mocfbuild: wrote m.mocf: 3 records (1 from the list), 64 bytes\r\nmocfbuild: e "
            "holds no run; m.mocf is as it was\r\n[exit 0]\n",
            Sh(dir.path(), "echo 7 >p; echo '-f p -t CompatProd' >l; : >e; script -qec \"" +
                               kBuild + " -d -m m.mocf l && " + kBuild + " -m m.mocf e\" "
                               "/dev/null"));
}

}  // namespace
