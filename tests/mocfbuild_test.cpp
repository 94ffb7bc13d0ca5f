// mocfbuild against the mocftool runs a list stands for: random lists are
// built both ways and must give the same bytes, or stop at the same line
// with the same status and leave the MOCF as it was. Then what random lists
// rarely reach: large inputs, a file-size limit, lists that cannot be read
// and command lines that are refused (builds beside runs on one MOCF: the
// E2eTest suite).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Mocfbuild.h"
#include "Platform.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testutil::kBuild, testutil::kInfo, testutil::kTool, testutil::Sh, testutil::Str;
using testutil::Tree, testutil::U32;

std::string ShQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? "'\\''"s : std::string(1, c);
  return out + "'";
}

// The bytes, or a word no MOCF starts with for a path that names nothing.
std::string State(const std::string& path) {
  return fs::exists(path) ? Str(testutil::ReadFile(path)) : "(absent)";
}

// Firmware products, version and data, nested in this order.
std::string Firmware(uint32_t tag, std::vector<uint32_t> order, size_t data, uint32_t product) {
  std::vector<testutil::Bytes> nested;
  for (uint32_t t : order)
    nested.push_back(testutil::Rec(
        t, t == 3 ? U32(1) + U32(product) : t == 2 ? "1.2\0"s : std::string(data, 'D')));
  return Str(testutil::Rec(tag, "", nested));
}

const std::vector<std::string> kUsers = {
    "a.txt", "B_(1).bin", "e.txt", std::string(53, 'n') + ".txt", std::string(54, 'n') + ".txt",
    "bad-name.txt", "sub/x.txt", "name with space.txt", "back\\slash.txt", "q\"uote.txt"};

// Random inputs of every kind, and lines of every kind built from them as
// words first, then written out with blanks, quotes and comments around.
class CaseMaker {
 public:
  explicit CaseMaker(unsigned seed) : rng_(seed) {}
  int R(size_t n) { return static_cast<int>(rng_() % n); }
  bool P(int percent) { return R(100) < percent; }
  std::string Pick(const std::vector<std::string>& v) { return v[R(v.size())]; }
  std::string Junk(int max) {
    std::string s(R(max + 1), '\0');
    for (char& c : s) c = static_cast<char>(R(256));
    return s;
  }
  // "0X" is no hex prefix for a tag: it reads as decimal 0.
  std::string Number(uint32_t v, bool tag = false) {
    char hex[16];
    std::snprintf(hex, sizeof hex, P(50) ? "%x" : "%X", v);
    return P(45) ? std::to_string(v) : (tag && P(5) ? "0X" : "0x") + std::string(hex);
  }
  std::string Products(bool clash) {
    std::string s = P(30) ? "// products\n" : "";
    const int first = 1 + R(3);
    if (clash) s += Number(first) + "\n  " + Number(first % 3 + 1) + " \r\n";
    for (int n = R(3); n > 0; --n) s += Number(P(10) ? 1 + R(3) : R(1 << 20)) + "\n";
    return s + (P(20) ? "/* retired\n 99 */\n" : "");
  }
  std::string Settings(bool bad) {
    std::string s = P(30) ? "// settings\n" : "";
    for (int n = 1 + R(3); n > 0; --n)
      s += "  K" + std::to_string(R(100)) + "=" + std::to_string(R(999)) + ";\n";
    return s + (!bad ? "" : P(50) ? "Bad=\xC3\xA9;\n" : "Bad=a\tb;\n");
  }
  void WriteInputs(const std::string& in) {
    fs::create_directories(in + "/sub");
    const auto put = [&](const std::string& name, const std::string& text) {
      testutil::WriteFile(in + "/" + name, text);
    };
    for (const std::string& name : kUsers) put(name, name == "e.txt" ? "" : Junk(100));
    put("p0.txt", Products(P(15)));
    put("p1.txt", Products(true));
    put("p_bad.txt", Pick({"12 13\n", "-5\n", "7x\n", "0x\n"}));
    put("ms.txt", Settings(false));
    put("my settings.txt", Settings(false));
    put("ms_bad.txt", Settings(true));
    put("ms_none.txt", "// nothing\n");
    const uint32_t product = P(50) ? 1 + R(3) : 4660;
    put("fw.obj", Firmware(0x60000000, {3, 2, 1}, R(40), product));
    put("fw_alt.obj", Firmware(0x60000001, {3, 2, 1}, R(40), product));
    put("fw_order.obj", Firmware(0x60000000, {2, 3, 1}, R(40), product));
    const std::string unknown = Str(testutil::Rec(0x7000000A + R(5), Junk(30)));
    put("unk.obj", unknown);
    put("badlen.obj", unknown.substr(0, 4) + U32(unknown.size() - (P(50) ? 4 : 9)) +
                          unknown.substr(8));
    put("blob.bin", Junk(64));
    put("ms_raw.bin", "A=1.\0"s);
    put("prod.bin", U32(P(80) ? 1 : 2) + U32(R(3) + 1));  // a count, then the products
  }
  // Not a valid MOCF: junk, or a valid one spoilt.
  std::string Spoilt(std::string b) {
    switch (R(5)) {
      case 0: return Junk(40);
      case 1: return b.substr(0, R(b.size()));
      case 2: return b + Junk(8);
      case 3: b[8 + R(b.size() - 8)] ^= static_cast<char>(1 + R(255)); return b;
      default:  // a second menu-settings record, the digest made right
        b += Str(testutil::Rec(0x60000005, "B=2.\0"s)) + "\0\0\0"s;
        b.replace(4, 4, U32(b.size() - 8));
        return Str(testutil::Seal(testutil::Bytes(b.begin(), b.end())));
    }
  }
  std::string Odd(std::string w) {
    const int how = R(8);  // mostly as written, else upper or lower case
    for (char& c : w) c = static_cast<char>(how == 0 ? toupper(c) : how == 1 ? tolower(c) : c);
    return w;
  }
  // One line's words; *pForbidden when they hold -m or -d.
  std::vector<std::string> Words(int kind, bool* pForbidden) {
    std::vector<std::vector<std::string>> pairs;
    const auto opt = [&](std::string o, std::string v) { pairs.push_back({Odd(o), v}); };
    const std::string settings = P(80) ? Pick({"ms.txt", "my settings.txt"})
                                       : Pick({"ms_bad.txt", "ms_none.txt"});
    const uint32_t oddTags[] = {0x60000005, 0x60000002, 2, 1, 0, 0x50000000};
    switch (kind) {
      case 0:
        opt("-f", P(80) ? "p0.txt" : Pick({"p1.txt", "p_bad.txt"}));
        opt("-t", Odd("CompatProd"));
        break;
      case 1:
        opt("-f", P(90) ? Pick({"a.txt", "B_(1).bin", "e.txt", kUsers[3]}) : Pick(kUsers));
        opt("-t", Odd("user"));
        break;
      case 2:
        opt("-f", P(75) ? Pick({"fw.obj", "fw_alt.obj", "unk.obj"})
                        : Pick({"fw_order.obj", "badlen.obj"}));
        opt("-t", Odd("object"));
        break;
      case 3: opt("-f", settings); opt("-t", Odd("CustomDefaults")); break;
      case 4: opt("-f", settings); opt("--type", Odd("MenuSettings")); break;
      case 5:
        if (P(75)) opt("-f", settings);
        opt("--type", Odd("SwKeys"));
        opt("--PartNum", Pick({"0400-1234", "X", "04 00", std::string(20, 'p')}));
        break;
      default:
        opt("-f", P(70) ? "blob.bin" : Pick({"ms_raw.bin", "prod.bin"}));
        opt("--type", Odd("binary"));
        opt("--tag", Number(P(80) ? 0x70000001 + R(3) : oddTags[R(6)], true));
    }
    for (size_t i = pairs.size(); i > 1; --i) std::swap(pairs[i - 1], pairs[R(i)]);
    if (P(5)) pairs.insert(pairs.begin(), {"-f", "missing.txt"});  // the last -f counts
    std::vector<std::string> tail;
    *pForbidden = false;
    if (P(5)) {
      switch (R(11)) {
        case 0: pairs.back() = {"-t", "bogus"}; break;
        case 1: pairs.erase(pairs.begin()); break;
        case 2: pairs[0][1] = Pick({"missing.txt", "sub", ""}); break;
        case 3: opt("--tag", "abc"); break;
        case 4: opt("--PartNum", std::string(21, 'p')); break;
        case 5: opt("-m", "x.mocf"), *pForbidden = true; break;
        case 6: tail = {Pick({"-d", "-D"})}, *pForbidden = true; break;
        case 7: tail = {Pick({"stray", "-f", "--tag", "-x", "-fa.txt"})}; break;
        case 8: opt("--type", "user"); break;
        case 9: opt("-t", "SwKeys"); break;
        default: opt("-t", Odd("CompatProd"));
      }
    }
    std::vector<std::string> words;
    for (const auto& pair : pairs) words.insert(words.end(), pair.begin(), pair.end());
    words.insert(words.end(), tail.begin(), tail.end());
    return words;
  }
  // Quotes where the word needs them, and now and then where it does not.
  std::string Line(const std::vector<std::string>& words) {
    std::string line = P(20) ? " \t" : "";
    for (size_t i = 0; i < words.size(); ++i) {
      const std::string& w = words[i];
      const bool must = w.empty() || w.find_first_of(" \t\"") != std::string::npos;
      const size_t cut = must ? 0 : P(90) ? w.size() + 1 : R(w.size() + 1);
      line += (i ? Pick({" ", " ", "\t", "  \t "}) : "") + w.substr(0, cut);
      if (cut > w.size()) continue;
      line += "\"";
      for (char c : w.substr(cut)) line += (c == '"' || c == '\\' ? "\\"s : "") + c;
      line += "\"";
    }
    return line + (P(20) ? "  " : "") + (P(10) ? "\r" : "");
  }
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

 private:
  std::mt19937 rng_;
};

// Valid MOCFs made by mocftool runs, to append to.
std::vector<std::string> MakeBases() {
  const testutil::TempDir dir;
  CaseMaker(1).WriteInputs(dir.path());
  testutil::WriteFile(dir.File("p.txt"), "0x1A2B\n4100\n");
  testutil::WriteFile(dir.File("p12.txt"), "1\n2\n");
  EXPECT_EQ("[exit 0]\n", Sh(dir.path(), testutil::ToolRuns({"a -d -f p.txt -t CompatProd",
      "a -f a.txt -t user", "b -d -f p12.txt -t CompatProd", "b -f fw.obj -t object",
      "c -d -f p.txt -t CompatProd", "c -f ms.txt --type MenuSettings",
      "c --type SwKeys --PartNum 1"})));
  return {State(dir.File("a")), State(dir.File("b")), State(dir.File("c"))};
}

struct Tally {
  std::mutex lock;
  int cases = 0, succeeded = 0;
  std::map<std::string, int> failedAt;  // "line N status S" -> cases
};

// One random list, built run by run from in/ into out1.mocf and by
// mocfbuild from the case folder into out2.mocf, both from the same start.
void DiffCase(unsigned seed, const std::vector<std::string>& bases, Tally* pTally) {
  CaseMaker maker(seed);
  const testutil::TempDir dir;
  const std::string in = dir.File("in");
  maker.WriteInputs(in);
  const bool d = maker.P(40);
  const int draw = maker.R(20);
  const int startKind = draw < 6 ? 0 : draw < 9 ? 1 : 2;  // none, not a MOCF, a valid MOCF
  const std::string base = maker.Pick(bases);
  const std::string start = !startKind ? "(absent)" : startKind == 1 ? maker.Spoilt(base) : base;
  for (const char* out : {"out1.mocf", "out2.mocf"})
    if (startKind) testutil::WriteFile(dir.File(out), start);
  // The runs stop before a line holding -m or -d: mocfbuild refuses it.
  std::string list, runs = "(cd in || exit";
  std::vector<int> numbers;
  const int kinds[] = {1, 1, 1, 1, 1, 1, 1, 2, 3, 4, 5, 6, 6, 6, 6};
  const auto add = [&](const std::string& line) { list += line + "\n"; };
  for (int i = 0, count = 1 + maker.R(8); i < count; ++i) {
    for (const std::string& line : maker.Noise()) add(line);
    const bool fresh = i == 0 && (d || !startKind);
    bool forbidden = false;
    const int kind = maker.P(fresh ? 90 : 3) ? 0 : kinds[maker.R(15)];
    const auto words = maker.Words(kind, &forbidden);
    add(maker.Line(words));
    numbers.push_back(static_cast<int>(std::count(list.begin(), list.end(), '\n')));
    if (forbidden) break;
    runs += "\n" + kTool + " -m ../out1.mocf" + (i == 0 && d ? " -d" : "");
    for (const std::string& w : words) runs += " " + ShQuote(w);
    runs += "; s=$?; echo \"@@ $s\"; [ $s = 0 ] || exit";
  }
  for (const std::string& line : maker.Noise()) add(line);
  testutil::WriteFile(in + "/list", list);
  const std::string inBefore = Tree(in);
  const std::string out = Sh(dir.path(), runs + "\n); echo '@@ end'; " + kBuild + (d ? " -d" : "") +
                                             " -m out2.mocf in/list 2>err; echo \"@@ $?\"");
  const std::string reasons = testutil::ShReasons();
  std::string err = State(dir.File("err")), notes;
  // A --tag read in part: noted by each run, and by mocfbuild for its line.
  std::istringstream all(std::exchange(err, ""));
  for (std::string line; std::getline(all, line);)
    (line.find(": note: --tag ") == std::string::npos ? err : notes) += line + "\n";
  const auto count = [](const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
  };
  std::ostringstream context;
  context << "seed " << seed << (d ? " -d" : "") << " start " << startKind << "\nlist:\n"
          << list << "output:\n" << out << "err:\n" << err;
  // What each run printed, with its status; then mocfbuild's.
  std::vector<std::pair<std::string, int>> printed;
  std::string text;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("@@ ", 0) != 0) text += line + "\n";
    else printed.push_back({std::exchange(text, ""), line == "@@ end" ? -1 : atoi(&line[3])});
  }
  ASSERT_EQ("[exit 0]\n", text) << context.str();
  ASSERT_GE(printed.size(), 2u) << context.str();
  const int buildStatus = printed.back().second;
  EXPECT_EQ("", printed.back().first) << context.str();  // mocfbuild's standard output
  printed.pop_back();
  printed.pop_back();
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "in" || name == "err" || name == "out1.mocf" || name == "out2.mocf")
        << name << " left\n" << context.str();
  }
  EXPECT_EQ(inBefore, Tree(in)) << context.str();
  const size_t ran = printed.size();
  const int lastStatus = ran ? printed.back().second : 0;
  const std::lock_guard<std::mutex> hold(pTally->lock);
  ++pTally->cases;
  if (ran == numbers.size() && lastStatus == 0) {
    ++pTally->succeeded;
    EXPECT_EQ(0, buildStatus) << context.str();
    EXPECT_EQ("", err) << context.str();
    EXPECT_EQ(count(reasons, "mocftool: --tag "), count(notes, "\n")) << context.str();
    EXPECT_TRUE(State(dir.File("out1.mocf")) == State(dir.File("out2.mocf"))) << context.str();
    return;
  }
  const size_t at = lastStatus == 0 ? ran : ran - 1;
  const int status = lastStatus == 0 ? 1 : lastStatus;
  ++pTally->failedAt["line " + std::to_string(at + 1) + " status " + std::to_string(status)];
  EXPECT_EQ(status, buildStatus) << context.str();
  EXPECT_TRUE(start == State(dir.File("out2.mocf"))) << context.str();
  // mocftool's messages, the usage text left out, each after the prefix.
  std::string expected = lastStatus == 0 ? "" : printed.back().first;
  // The usage starts with the program's name as run: mocftool, or mocftool.exe.
  const size_t usage = expected.find(":  $ProjectRevision");
  expected = expected.substr(0, usage == std::string::npos ? usage : expected.rfind("mocftool", usage));
  // mocfbuild leaves out the tool's blank lines, and says why as the tool
  // does on standard error.
  for (size_t blank; (blank = expected.find("\n\n")) != std::string::npos;) expected.erase(blank, 1);
  if (!expected.empty() && expected[0] == '\n') expected.erase(0, 1);
  if (lastStatus != 0) {
    EXPECT_NE("", reasons) << context.str();
  }
  const std::string prefix = "in/list:" + std::to_string(numbers[at]) + ":";
  std::string stripped;
  std::istringstream errLines(err);
  for (std::string line; std::getline(errLines, line);) {
    EXPECT_TRUE(line == prefix || line.rfind(prefix + " ", 0) == 0) << context.str();
    stripped += line.substr(std::min(line.size(), prefix.size() + 1)) + "\n";
  }
  EXPECT_NE("", err) << context.str();
  EXPECT_EQ(expected, stripped.substr(0, expected.size())) << context.str();
}

// Cases run four at a time: most of a case is waiting for processes. Case
// c has seed + c, so MOCF_DIFF_SEED=<its seed> MOCF_DIFF_CASES=1 runs it alone.
TEST(Mocfbuild, BuildsWhatTheRunsWouldOrStopsWhereTheyWould) {
  const char* pCases = std::getenv("MOCF_DIFF_CASES");
  const char* pSeed = std::getenv("MOCF_DIFF_SEED");
  const int cases = pCases ? std::atoi(pCases) : 150;
  const unsigned seed = pSeed ? static_cast<unsigned>(std::strtoul(pSeed, nullptr, 0)) : 20261207u;
  const std::vector<std::string> bases = MakeBases();
  Tally tally;
  testutil::RunCases(cases,
                     [&](int c) { DiffCase(seed + static_cast<unsigned>(c), bases, &tally); });
  std::printf("seed %u (cases from seed to seed + %d): %d cases, %d all succeeded, failed at:",
              seed, cases - 1, tally.cases, tally.succeeded);
  for (const auto& [where, n] : tally.failedAt) std::printf(" [%s] %d", where.c_str(), n);
  std::printf("\n");
}

// Three user files of 20 MiB, a second hash record and firmware of 2 MiB,
// an object file larger than what is kept in memory and so read again while
// the image is written.
TEST(Mocfbuild, LargeBuildIsAllOrNothingAndEqualsTheRuns) {
  const testutil::TempDir dir, errDir;
  testutil::WriteFile(dir.File("products.txt"), "0x1A2B\n4100\n");
  testutil::WriteFile(dir.File("ms.txt"), "A=1;\n");
  testutil::WriteFile(dir.File("fw.obj"), Firmware(0x60000000, {3, 2, 1}, 2 << 20, 6699));
  Sh(dir.path(), "for f in big1 big2 big3; do head -c 20971520 /dev/urandom >$f; done;"
                 "head -c 3145728 /dev/urandom >hash.bin");
  std::string good, runs = "true";
  for (const char* run : {"-f products.txt -t CompatProd", "-f big1 -t user", "-f big2 -t user",
                          "-f big3 -t user", "-f fw.obj -t object",
                          "--type binary --tag 1 -f hash.bin", "-f ms.txt --type MenuSettings"}) {
    runs += " && " + kTool + " -m r.mocf " + run + (good.empty() ? " -d" : "");
    good += std::string(run) + "\n";
  }
  testutil::WriteFile(dir.File("good.list"), good);
  testutil::WriteFile(dir.File("bad.list"), good + "-f ms.txt --type MenuSettings\n");
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), kTool + " -m m.mocf -d -f products.txt -t CompatProd"));
  const std::string err = errDir.File("err");
  const std::string look = "ls -Ai; sha1sum m.mocf";
  const std::string before = Sh(dir.path(), look);
  // The last line fails: the MOCF keeps its bytes and its inode, and no
  // temporary file is left.
  EXPECT_EQ("[exit 2]\n", Sh(dir.path(), kBuild + " -d -m m.mocf bad.list 2>" + err));
  EXPECT_EQ("bad.list:8: Invalid MOCF.\nbad.list:8: Error creating MOCF\nbad.list:8: record 10 "
            "(menu settings at 0x41000E8): a second record of tag 0x60000005; only user files "
            "may appear more than once\n", State(err));
  EXPECT_EQ(before, Sh(dir.path(), look));
  // Without it the build stands, and is what the runs make.
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), kBuild + " -d -m m.mocf good.list"));
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), runs));
  EXPECT_EQ("[exit 0]\n", Sh(dir.path(), "cmp m.mocf r.mocf && rm r.mocf"));
  EXPECT_EQ("m.mocf: valid\n[exit 0]\n", Sh(dir.path(), kInfo + " --verify m.mocf"));
  if (testutil::kProgramsUnderWine) return;
  // A file-size limit stands in for a full disk; bash counts it in KiB.
  // The write fails: status 2 and the MOCF as it was, like mocftool, also
  // where the caller leaves the limit's signal alone.
  const std::string after = Sh(dir.path(), look);
  for (const std::string trap : {"trap \"\" XFSZ; ", ""}) {
    if (trap.empty() && !platform::IsDurable()) break;
    const std::string limited = "bash -c 'ulimit -c 0 -f 40000; " + trap + "exec \"$0\" \"$@\"' ";
    EXPECT_EQ("mocfbuild: could not write m.mocf (a write failed, or an input changed while it "
              "was read); it is as it was\n[exit 2]\n",
              Sh(dir.path(), limited + kBuild + " -d -m m.mocf good.list"));
    EXPECT_EQ("Error creating MOCF\n[exit 2]\n",
              Sh(dir.path(), limited + kTool + " -m m.mocf -f big1 -t user"));
    EXPECT_EQ(after, Sh(dir.path(), look));
  }
}

struct Called {
  int status;
  std::string err;
};

// In-process, from wherever the test runs: nothing goes to standard
// output, and the caller's folder is the current one again afterwards.
Called Call(const std::vector<std::string>& args) {
  const fs::path before = fs::current_path();
  std::ostringstream out, err;
  testing::internal::CaptureStdout();
  const int status = mocfbuild::RunMocfbuild(args, out, err);
  EXPECT_EQ("", testing::internal::GetCapturedStdout() + out.str());
  EXPECT_EQ(before, fs::current_path());
  return {status, err.str()};
}

// Each list is refused at its line, or the command line is refused; the
// MOCF and the folder stay as they were.
TEST(Mocfbuild, RefusedListsAndCommandLinesWriteNothing) {
  const testutil::TempDir dir;
  testutil::WriteFile(dir.File("products.txt"), "7\n");
  testutil::WriteFile(dir.File("a.txt"), "A");
  testutil::WriteFile(dir.File("ms.txt"), "M=1;\n");
  fs::create_directory(dir.File("sub"));
  ASSERT_EQ("[exit 0]\n", Sh(dir.path(), kTool + " -m m.mocf -d -f products.txt -t CompatProd"));
  const std::string m = dir.File("m.mocf"), l = dir.File("l");
  const auto snapshot = [&] { return Tree(dir.path()); };
  const std::string first = "-f products.txt -t CompatProd\n";
  const std::string again = "-f ms.txt --type MenuSettings\n";
  const struct {
    std::string list, want;
    int status;
  } lists[] = {
      {first + "// c\n\n-f no.txt -t user\n",
       ":4: Can't find the input file (no.txt)!\n:4: cannot read no.txt: No such file or directory\n",
       1},
      {first + "-f sub -t user\n",
       ":2: Can't find the input file (sub)!\n:2: cannot read sub: Is a directory\n", 1},
      {first + "-f a.txt\0 -t user\n"s, ":2: a NUL byte in the line\n", 1},
      {first + first,
       ":2: Compatible Products input file can only be specified along with the -d option (or "
       "input MOCF can't exist).\n:2: only the list's first line can be the product list; "
       "mocfbuild -d starts the MOCF afresh from it (a list cannot hold -d)\n", 1},
      {first + "/* one */\n\"*/\n-f \"a.txt -t user\n", ":4: an unterminated quote\n", 1},
      {first + "-f a.txt -t user -M o.mocf\n",
       ":2: -m has no place in a list: the MOCF is named once, on mocfbuild's command line\n", 1},
      {first + "-f a.txt -D -t user\n",
       ":2: -d has no place in a list: give it to mocfbuild, which then starts the MOCF afresh "
       "for the first line\n", 1},
      // The first failing line decides, even with an unreadable one after it.
      {first + again + again + "\"open\n",
       ":3: Invalid MOCF.\n:3: Error creating MOCF\n:3: record 5 (menu settings at 0x50): a "
       "second record of tag 0x60000005; only user files may appear more than once\n", 2},
  };
  for (const auto& c : lists) {
    testutil::WriteFile(l, c.list);
    const std::string before = snapshot();
    const Called got = Call({"-d", "-m", m, l});
    std::string want;
    std::istringstream lines(c.want);
    for (std::string line; std::getline(lines, line);) want += l + line + "\n";
    EXPECT_EQ(c.status, got.status) << c.want;
    EXPECT_EQ(want, got.err);
    EXPECT_EQ(before, snapshot()) << c.want;
  }
  testutil::WriteFile(l, first);
  const std::string before = snapshot();
  const struct {
    std::vector<std::string> args;
    std::string want;
  } commands[] = {
      {{"-m", m, dir.File("none")}, "cannot read " + dir.File("none") + ": No such file or directory"},
      {{"-m", m, dir.File("sub")}, "cannot read " + dir.File("sub") + ": Is a directory"},
      {{"-d", l}, "no MOCF given (-m MocfFile)"},
      {{"-d", "-x", "-m", m, l}, "unknown option -x"},
      {{"-d", l, "-m"}, "-m needs a value"},
      {{"-d", "-m", m, l, l}, "one LIST at a time"},
      {{"-d", "-m", m}, "no LIST given"},
  };
  for (const auto& c : commands) {
    const Called got = Call(c.args);
    EXPECT_EQ(1, got.status) << c.want;
    EXPECT_EQ("mocfbuild: " + c.want + "\nusage: mocfbuild [-d] -m MocfFile LIST\n"
              "       mocfbuild --help | --version\n", got.err);
    EXPECT_EQ(before, snapshot()) << c.want;
  }
  // With a good list the same call writes the MOCF.
  testutil::WriteFile(l, first + "-f a.txt -t user\n");
  EXPECT_EQ(0, Call({"-d", "-m", m, l}).status);
  EXPECT_NE(before, snapshot());
}

// Runs one after another would each read what the one before wrote; a
// build writes the MOCF once, so a line that reads it is refused, however
// it names it, and nothing is written.
TEST(Mocfbuild, ALineReadingTheMocfItselfIsRefused) {
  const testutil::TempDir dir;
  Sh(dir.path(), "mkdir built; echo 7 >built/p.txt");
  const std::string refused =
      "the MOCF being built cannot be an input of its own list: mocfbuild writes it once, "
      "after the last line\n[exit 1]\n";
  for (const std::string input : {"m.mocf", "./m.mocf", "../built/m.mocf"}) {
    testutil::WriteFile(dir.File("built/list"), "-f p.txt -t CompatProd\n-f " + input + " -t user\n");
    EXPECT_EQ("built/list:2: " + refused, Sh(dir.path(), kBuild + " -d -m built/m.mocf built/list"));
    EXPECT_FALSE(testutil::FileExists(dir.File("built/m.mocf")));
  }
  // An existing MOCF reached through another name for the same file.
  ASSERT_EQ("[exit 0]\n", Sh(dir.path() + "/built", kTool + " -m m.mocf -f p.txt -t CompatProd -d && ln m.mocf hard"));
  testutil::WriteFile(dir.File("built/list"), "-f hard --type binary --tag 0x70000001\n");
  const std::string before = Sh(dir.path(), "sha1sum built/hard");
  EXPECT_EQ("built/list:1: " + refused, Sh(dir.path(), kBuild + " -m built/m.mocf built/list"));
  EXPECT_EQ(before, Sh(dir.path(), "sha1sum built/hard"));
}

// What a terminal shows until it holds `until`, closes, or 20 s pass.
std::string Shown(int terminal, const std::string& until = "") {
  std::string shown;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((until.empty() || shown.find(until) == std::string::npos) &&
         std::chrono::steady_clock::now() < end) {
    pollfd ready = {terminal, POLLIN, 0};
    char bytes[256];
    if (::poll(&ready, 1, 100) <= 0) continue;
    const ssize_t got = ::read(terminal, bytes, sizeof bytes);
    if (got <= 0) break;
    shown.append(bytes, static_cast<size_t>(got));
  }
  return shown;
}

// Ctrl-C or SIGTERM while the progress line stands ends that line before
// the build goes, by the signal; with no line standing, nothing is written.
TEST(Mocfbuild, AStopEndsTheProgressLineAndTheSignalEndsTheBuild) {
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build shows no progress";
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "Windows has no such signals";
  const testutil::TempDir dir;
  testutil::WriteFile(dir.File("p"), "7\n");
  const std::string list = dir.File("l.list"), line = "\rmocfbuild: reading l.list:2";
  const struct {
    int signal;
    bool shown;
  } cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGTERM, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.signal) + (c.shown ? " shown" : " not shown"));
    // The list comes down a pipe that never ends, line by line: the build
    // waits for the next, its progress standing once it took a second.
    ::unlink(list.c_str());
    ASSERT_EQ(0, ::mkfifo(list.c_str(), 0600));
    const int feed = ::open(list.c_str(), O_RDWR | O_CLOEXEC);
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(feed >= 0 && terminal >= 0 && ::grantpt(terminal) == 0 &&
                ::unlockpt(terminal) == 0);
    const int side = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    termios raw = {};
    ASSERT_TRUE(side >= 0 && ::tcgetattr(side, &raw) == 0);
    ::cfmakeraw(&raw);  // the bytes as written, with no \r before a \n
    ::tcsetattr(side, TCSANOW, &raw);
    const pid_t pid = ::fork();
    if (pid == 0) {
      // The signals' usual actions, as an interactive shell gives them.
      ::signal(SIGINT, SIG_DFL);
      ::signal(SIGTERM, SIG_DFL);
      if (::dup2(side, 2) == 2 && ::chdir(dir.path().c_str()) == 0)
        ::execl(MOCFBUILD_PATH, "mocfbuild", "-d", "-m", "m.mocf", "l.list", nullptr);
      ::_exit(127);
    }
    ::close(side);
    const auto feedLine = [&](const std::string& text) {
      ASSERT_EQ(static_cast<ssize_t>(text.size()), ::write(feed, text.data(), text.size()));
    };
    feedLine("-f p -t CompatProd\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(c.shown ? 1200 : 300));
    std::string shown;
    if (c.shown) {
      feedLine("-f p -t user\n");
      shown = Shown(terminal, line);
    }
    ::kill(pid, c.signal);
    shown += Shown(terminal);
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
    EXPECT_EQ(c.shown ? line + "\n" : "", shown);
    ::close(terminal);
    ::close(feed);
  }
}

}  // namespace

// A large object file is checked where it lies, through a record standing
// in for it: one the rules refuse, and a file that is more than one record,
// fail as the tool's run fails, with its words and status.
TEST(Mocfbuild, LargeObjectFilesFailAsTheRunsWould) {
  const testutil::TempDir dir, errDir;
  testutil::WriteFile(dir.File("products.txt"), "4100\n");
  testutil::WriteFile(dir.File("longer.obj"), Firmware(0x60000000, {3, 2, 1}, 2 << 20, 6699) + "x");
  testutil::WriteFile(dir.File("no-version.obj"), Firmware(0x60000000, {3, 1}, 2 << 20, 6699));
  for (const std::string object : {"longer.obj", "no-version.obj"}) {
    const std::string start = kTool + " -m r.mocf -d -f products.txt -t CompatProd >/dev/null; ";
    const std::string run = Sh(dir.path(), start + kTool + " -m r.mocf -f " + object + " -t object");
    testutil::WriteFile(dir.File("l.list"), "-f products.txt -t CompatProd\n-f " + object +
                                                " -t object\n");
    const std::string err = errDir.File("err");
    const std::string built = Sh(dir.path(), kBuild + " -d -m m.mocf l.list 2>" + err);
    std::string prefixed;
    std::istringstream lines(run.substr(0, run.rfind("[exit")));
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) prefixed += "l.list:2: " + line + "\n";
    ASSERT_EQ("[exit 2]\n", run.substr(run.rfind("[exit"))) << run;
    EXPECT_EQ(run.substr(run.rfind("[exit")), built) << object;
    EXPECT_EQ(prefixed, State(err).substr(0, prefixed.size())) << object;
    EXPECT_EQ("[exit 1]\n", Sh(dir.path(), "test -e m.mocf")) << object;
  }
}
