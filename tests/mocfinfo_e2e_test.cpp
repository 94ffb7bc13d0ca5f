// Runs the built mocfinfo on a MOCF the built mocftool made from the sample
// inputs: the listing, the JSON, the verdicts and the round trips of what
// it takes out back through mocftool; and a MOCF far larger than the memory
// any of its modes may take.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Platform.h"
#include "test_util.h"

// A sanitized build's own bookkeeping takes tens of MiB more; a mode that
// held the file would still take several times that.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMostKiB = 160 << 10;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kMostKiB = 160 << 10;
#else
constexpr long kMostKiB = 64 << 10;
#endif
#else
constexpr long kMostKiB = 64 << 10;
#endif

namespace {

struct MocfinfoTest : testing::Test {
  void SetUp() override {
    const std::string tool = "'" MOCFTOOL_PATH "' -m m.mocf ";
    ASSERT_EQ(
        "[exit 0]\n",
        Sh("cp '" MOCF_SOURCE_DIR "'/examples/* . && " + tool +
           "-f products.txt -t CompatProd -d && " + tool + "-f welcome.txt -t user && " + tool +
           "-f firmware.obj -t object && " + tool + "-f menu_settings.txt --type MenuSettings && " +
           tool + "-f sw_keys.txt --type SwKeys --PartNum 0400-1234 && " + tool +
           "-f custom_defaults.txt -t CustomDefaults"));
  }
  std::string Sh(const std::string& cmd) { return testutil::Sh(dir_.path(), cmd); }
  std::string Info(const std::string& args) { return Sh("'" MOCFINFO_PATH "' " + args); }
  // Damages one byte of a copy: the digest no longer matches.
  void Damage(const std::string& copy) {
    Sh("cp m.mocf " + copy + " && printf X | dd of=" + copy +
       " bs=1 seek=224 conv=notrunc status=none");
  }
  testutil::TempDir dir_;
};

TEST_F(MocfinfoTest, ListsEveryRecordInAlignedColumnsWithinAHundredColumns) {
  const std::string listing = Info("m.mocf");
  EXPECT_EQ(
      "m.mocf: 428 bytes, 8 records, valid\n"
      "# offset tag      length record\n"
      "1    0x8 00000000      2 version 00 00\n"
      "2   0x14 00000001     20 hash 7ea2a9883f1d1695d8f3895c858e832a6b96e254 matches\n"
      "3   0x30 00000002     12 compatible products 6699, 4100\n"
      "4   0x44 60000002     92 user file \"welcome.txt\", 63 bytes\n"
      "5   0xA8 60000000     72 firmware products 6699; software \"2.4.1\"; data 32 bytes\n"
      "6   0xF8 60000005     58 menu settings "
      "\"Display.Brightness=70;Display.Timeout=300;Audio.Volume=5.\"\n"
      "7  0x13C 60000003     55 software keys "
      "\"Feature.Logging=ON;Feature.Remote=OFF;FIMPNM0400-1234.\"\n"
      "8  0x17C 60000004     38 custom defaults \"Display.Brightness=50;Audio.Volume=3@\"\n"
      "[exit 0]\n",
      listing);
  EXPECT_EQ("[exit 0]\n", Sh("'" MOCFINFO_PATH "' m.mocf | awk 'length($0) > 100 { exit 1 }'"));
  // A cut file lists what the walk reaches and says where it stops.
  Sh("head -c 300 m.mocf >cut");
  const std::string cut = Info("cut");
  EXPECT_EQ(0u, cut.find("cut: 300 bytes, 5 records, invalid: the file is 300 bytes, its header "
                         "says 8 + 420\n"))
      << cut;
  EXPECT_NE(std::string::npos, cut.find("hash 7ea2a9883f1d1695d8f3895c858e832a6b96e254 cannot"));
  EXPECT_NE(std::string::npos,
            cut.find("\nthe walk stops: the record at 0xF8 (tag 0x60000005) claims 8 + 58 "
                     "bytes, only 52 are left\n[exit 1]\n"));
}

TEST_F(MocfinfoTest, JsonParsesBackFieldByField) {
  Damage("bad");
  const std::string check =
      "import json, sys\n"
      "d = json.load(open(sys.argv[1]))\n"
      "r = d['records']\n"
      "assert d['file'] == sys.argv[2] and d['size'] == 428 and len(r) == 8, d\n"
      "assert [x['index'] for x in r] == list(range(1, 9))\n"
      "assert [x['offset'] for x in r] == [8, 20, 48, 68, 168, 248, 316, 380]\n"
      "assert [x['tag'] for x in r][:3] == [0, 1, 2] and r[4]['tag'] == 0x60000000\n"
      "assert [x['length'] for x in r] == [2, 20, 12, 92, 72, 58, 55, 38]\n"
      "assert [x['kind'] for x in r] == ['version', 'hash', 'compatible products', 'user file',"
      " 'firmware', 'menu settings', 'software keys', 'custom defaults']\n"
      "assert r[0]['version'] == '0000' and r[2]['products'] == [6699, 4100]\n"
      "assert r[1]['digest'] == '7ea2a9883f1d1695d8f3895c858e832a6b96e254'\n"
      "assert (r[3]['name'], r[3]['size']) == ('welcome.txt', 63)\n"
      "assert r[7]['text'] == 'Display.Brightness=50;Audio.Volume=3@'\n"
      "fw = r[4]['records']\n"
      "assert [x['kind'] for x in fw] == ['compatible products', 'software version', 'data']\n"
      "assert fw[0]['products'] == [6699] and fw[1]['text'] == '2.4.1' and fw[2]['size'] == 32\n"
      "assert fw[0]['offset'] == 176 and d['stop'] is None\n"
      "if sys.argv[2] == 'bad':\n"
      "  assert not d['valid'] and d['reason'].startswith('the stored hash 7ea2')\n"
      "  assert r[1]['digest_ok'] is False\n"
      "else:\n"
      "  assert d['valid'] and d['reason'] is None and r[1]['digest_ok'] is True\n";
  testutil::WriteFile(dir_.File("check.py"), check);
  EXPECT_EQ("[exit 0]\n", Sh("'" MOCFINFO_PATH "' --json m.mocf >j; python3 check.py j m.mocf"));
  EXPECT_EQ("[exit 0]\n",
            Sh("'" MOCFINFO_PATH "' --json bad >j; [ $? = 1 ] && python3 check.py j bad"));
  // Several files: one array of the same objects, in order; status as for --verify.
  EXPECT_EQ("mocfinfo: cannot read none: No such file or directory\n[exit 0]\n",
            Sh("'" MOCFINFO_PATH "' --json m.mocf none bad >a; [ $? = 2 ] && python3 -c '"
               "import json; a = json.load(open(\"a\")); assert len(a) == 2\n"
               "for i, x in enumerate(a): json.dump(x, open(\"j%d\" % i, \"w\"))' &&"
               " python3 check.py j0 m.mocf && python3 check.py j1 bad"));
}

TEST_F(MocfinfoTest, VerifyGivesOneVerdictPerFileAndTheWorstStatus) {
  Damage("bad");
  Sh("mkdir dir; : >empty");
  EXPECT_EQ("m.mocf: valid\n[exit 0]\n", Info("--verify m.mocf"));
  EXPECT_EQ(
      "m.mocf: valid\nbad: invalid: the stored hash 7ea2a9883f1d1695d8f3895c858e832a6b96e254"
      " does not match the records' hash 6255f90913ec97d9e953cd846f94039db7f19585\n"
      "empty: invalid: the file is 0 bytes, too few for a MOCF header (8)\n[exit 1]\n",
      Info("--verify m.mocf bad empty"));
  EXPECT_EQ(
      "mocfinfo: cannot read none: No such file or directory\n"
      "mocfinfo: cannot read dir: Is a directory\nm.mocf: valid\n[exit 2]\n",
      Info("--verify none dir m.mocf"));
  EXPECT_EQ(
      "[{\"file\": \"m.mocf\", \"valid\": true, \"reason\": null},\n{\"file\": \"empty\", "
      "\"valid\": false, \"reason\": \"the file is 0 bytes, too few for a MOCF header (8)\"}]\n"
      "[exit 1]\n",
      Info("--verify --json m.mocf empty"));
  EXPECT_EQ("[]\n[exit 2]\n", Info("--json --verify none 2>/dev/null"));
}

TEST_F(MocfinfoTest, ExtractedRecordsGoBackThroughMocftoolUnchanged) {
  const std::string tool = "'" MOCFTOOL_PATH "' -m again.mocf ";
  // The user file's bytes exactly; to standard output as well.
  EXPECT_EQ("[exit 0]\n", Info("--extract 4 -o out m.mocf"));
  EXPECT_EQ("[exit 0]\n", Sh("cmp out welcome.txt"));
  EXPECT_EQ(Sh("cat welcome.txt"), Info("--extract 4 -o - m.mocf"));
  // A firmware record taken out whole is an object file: appended again it
  // makes the same bytes as the object file it came from.
  EXPECT_EQ("[exit 0]\n", Info("--record 5 -o fw.obj m.mocf"));
  EXPECT_EQ("[exit 0]\n", Sh("cmp fw.obj firmware.obj"));
  EXPECT_EQ("[exit 0]\n",
            Sh(tool + "-f products.txt -t CompatProd -d && " + tool +
               "-f fw.obj -t object && '" MOCFTOOL_PATH
               "' -m once.mocf -f products.txt -t CompatProd -d && '" MOCFTOOL_PATH
               "' -m once.mocf -f firmware.obj -t object && cmp again.mocf once.mocf"));
  // Any other record: its value without padding.
  EXPECT_EQ("Display.Brightness=50;Audio.Volume=3@\\0\n[exit 0]\n",
            Sh("'" MOCFINFO_PATH "' --extract 8 -o - m.mocf | od -An -c | tr -d ' \\n'; echo"));
}

TEST_F(MocfinfoTest, NoSuchRecordWritesNothingAndADamagedFileIsReadAsFarAsItGoes) {
  const std::string before = Sh("ls -A");
  EXPECT_EQ("mocfinfo: m.mocf: there is no record 9 (the walk finds 8)\n[exit 2]\n",
            Info("--record 9 -o out m.mocf"));
  EXPECT_EQ(before, Sh("ls -A"));
  // What the system says of a file that cannot be written, in its words.
  Sh("mkdir outdir");
  EXPECT_EQ("mocfinfo: cannot write outdir: Is a directory\n[exit 2]\n",
            Info("--record 3 -o outdir m.mocf"));
  EXPECT_EQ("mocfinfo: cannot write none/out: No such file or directory\n[exit 2]\n",
            Info("--record 3 -o none/out m.mocf"));
  Sh("rmdir outdir");
  Sh("echo keep >kept");
  EXPECT_EQ("[exit 2]\n", Sh("'" MOCFINFO_PATH "' --extract 0 -o kept m.mocf 2>/dev/null"));
  EXPECT_EQ("keep\n[exit 0]\n", Sh("cat kept"));
  Damage("bad");
  EXPECT_EQ(
      "mocfinfo: bad: invalid: the stored hash 7ea2a9883f1d1695d8f3895c858e832a6b96e254 "
      "does not match the records' hash 6255f90913ec97d9e953cd846f94039db7f19585\n"
      "[exit 1]\n",
      Info("--extract 4 -o out bad"));
  EXPECT_EQ("[exit 0]\n", Sh("cmp out welcome.txt"));
}

TEST_F(MocfinfoTest, BadUsageIsStatusTwoWithTheUsage) {
  for (const char* args :
       {"", "--json", "--verify", "--extract 1 m.mocf", "-o x m.mocf", "--extract x -o o m.mocf",
        "--json --record 1 -o o m.mocf", "--bogus m.mocf", "m.mocf m.mocf", "--help m.mocf", "--record"}) {
    const std::string out = Info(std::string(args) + " 2>&1 >/dev/null");
    EXPECT_EQ(0u, out.find("mocfinfo: ")) << args;
    EXPECT_NE(std::string::npos, out.find("usage: mocfinfo [--json] FILE")) << args;
    EXPECT_EQ("[exit 2]\n", out.substr(out.size() - 9)) << args;
  }
  EXPECT_EQ("mocfinfo 1.0.0\n[exit 0]\n", Info("--version"));
  EXPECT_EQ(0u, Info("--help").find("usage: mocfinfo"));
}

// Runs mocfinfo in dir, its standard output thrown away: its status and the
// most memory that run alone held, in KiB.
std::pair<int, long> RunInfo(const std::string& dir, std::vector<std::string> args) {
  args.insert(args.begin(), MOCFINFO_PATH);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open("/dev/null", O_WRONLY);
    if (chdir(dir.c_str()) != 0 || fd < 0 || dup2(fd, 1) < 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return {-1, 0};
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss};
}

// Read whole, this MOCF would take 300 MiB; every mode must do with a
// window of it. The user file is mostly a hole, quick to write, with marks
// that a byte out of place would move; its length needs padding.
TEST_F(MocfinfoTest, EveryModeReadsAThreeHundredMiBMocfInLittleMemory) {
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build reads a MOCF whole";
  const std::string big = dir_.File("big.bin");
  {
    std::ofstream out(big, std::ios::binary);
    for (const long at : {0L, 77L << 20, 150L << 20, (300L << 20) - 9}) {
      out.seekp(at);
      out << "mark " << at;
    }
  }
  const std::string tool = "'" MOCFTOOL_PATH "' -m big.mocf ";
  ASSERT_EQ("[exit 0]\n",
            Sh(tool + "-f products.txt -t CompatProd -d && " + tool + "-f big.bin -t user"));
  const std::vector<std::vector<std::string>> runs = {
      {"big.mocf"}, {"--json", "big.mocf"}, {"--verify", "big.mocf"},
      {"--extract", "4", "-o", "out.bin", "big.mocf"}, {"--record", "4", "-o", "-", "big.mocf"},
      {"--unpack", "u", "big.mocf"}};
  for (const std::vector<std::string>& args : runs) {
    const auto [status, peakKiB] = RunInfo(dir_.path(), args);
    EXPECT_EQ(0, status) << args[0];
    EXPECT_LT(peakKiB, kMostKiB) << args[0];
  }
  EXPECT_EQ("[exit 0]\n", Sh("cmp out.bin big.bin && rm out.bin big.bin"));
  EXPECT_EQ("[exit 0]\n", Sh("'" MOCFBUILD_PATH "' -d -m again.mocf u/records.list >/dev/null && "
                             "cmp again.mocf big.mocf"));
  Sh("rm -rf again.mocf big.mocf big.bin out.bin u");
}

}  // namespace

// Only the first hash and product-list records are what the checks read:
// later ones are said to be so, with no verdict on a digest nobody compares.
TEST_F(MocfinfoTest, RecordsTheChecksDoNotReadAreSaidToBeSo) {
  Sh("printf 'abcdefghijklmnopqrst' >h.bin; cp m.mocf two.mocf");
  for (const char* tag : {"1", "2"})
    ASSERT_EQ("[exit 0]\n", Sh("'" MOCFTOOL_PATH "' -m two.mocf --type binary --tag " +
                               std::string(tag) + " -f h.bin"));
  const std::string listing = Info("two.mocf");
  EXPECT_NE(std::string::npos, listing.find(", valid\n")) << listing;
  EXPECT_NE(std::string::npos,
            listing.find(" 20 hash (not read: the first hash record is) "
                         "6162636465666768696a6b6c6d6e6f7071727374\n"))
      << listing;
  EXPECT_NE(std::string::npos,
            listing.find(" 20 compatible products (not read: the first compatible products "
                         "record is) "))
      << listing;
  EXPECT_EQ(std::string::npos, listing.find("does not match")) << listing;
  const std::string json = Info("--json two.mocf");
  EXPECT_NE(std::string::npos, json.find("\"kind\": \"hash\", \"read\": true, ")) << json;
  EXPECT_NE(std::string::npos,
            json.find("\"kind\": \"hash\", \"read\": false, \"digest\": "
                      "\"6162636465666768696a6b6c6d6e6f7071727374\", \"digest_ok\": null}"))
      << json;
  EXPECT_NE(std::string::npos, json.find("\"kind\": \"compatible products\", \"read\": false"))
      << json;
}
