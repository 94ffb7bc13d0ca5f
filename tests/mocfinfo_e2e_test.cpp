// Runs the built mocfinfo on a MOCF the built mocftool made from the sample
// inputs: the listing, the JSON, the verdicts and what it takes out; and a
// MOCF far larger than the memory any of its modes may take.
#include <gtest/gtest.h>


#include "platform/Platform.h"
#include "test_util.h"

// A sanitized build's own bookkeeping takes tens of MiB more; a mode that
// held the file would still take several times that.
constexpr long kMostKiB = (testutil::kUnderAddressSanitizer ? 160 : 64) << 10;

using testutil::kInfo;

// m.mocf, made by runs from the sample inputs, and bad, a copy with one byte
// changed: the digest no longer matches.
struct MocfinfoE2e : testing::Test {
  void SetUp() override {
    ASSERT_EQ("[exit 0]\n",
              Sh("cp -r '" MOCF_SOURCE_DIR "'/examples/* . && " +
                 testutil::ToolRuns({"m.mocf -f products.txt -t CompatProd -d",
                                     "m.mocf -f welcome.txt -t user",
                                     "m.mocf -f firmware.obj -t object",
                                     "m.mocf -f menu_settings.txt --type MenuSettings",
                                     "m.mocf -f sw_keys.txt --type SwKeys --PartNum 0400-1234",
                                     "m.mocf -f custom_defaults.txt -t CustomDefaults"}) +
                 " && cp m.mocf bad && printf X | dd of=bad bs=1 seek=224 conv=notrunc"
                 " status=none"));
  }
  std::string Sh(const std::string& cmd) { return testutil::Sh(dir_.path(), cmd); }
  std::string Info(const std::string& args) { return Sh(kInfo + " " + args); }
  testutil::TempDir dir_;
};

// The listing of this MOCF, line by line, in its columns: the README's,
// which the documentation test runs (and windows_e2e.sh compares across
// systems). A cut file lists what the walk reaches and says where it stops.
TEST_F(MocfinfoE2e, ListsEveryRecordInAlignedColumnsWithinAHundredColumns) {
  EXPECT_EQ("cut: 300 bytes, 5 records, invalid: the file is 300 bytes, its header says 8 + 420\n"
            "2   0x14 00000001     20 hash 7ea2a9883f1d1695d8f3895c858e832a6b96e254 cannot be "
            "checked\nthe walk stops: the record at 0xF8 (tag 0x60000005) claims 8 + 58 bytes, "
            "only 52 are left\n[exit 1]\n",
            Sh("head -c 300 m.mocf >cut; " + kInfo + " cut >o; s=$?; sed -n '1p;/ hash /p;$p' o;"
               "exit $s"));
}

// Each record's fields, the size, the verdict and its reason, against the
// library's, are the Python package's test (tests/mocf_python_test.py); here
// what that leaves: the file's name, the nested records' places, the
// digest's verdict, the tags in hex and the several files' array.
TEST_F(MocfinfoE2e, JsonParsesBackFieldByField) {
  testutil::WriteFile(dir_.File("check.py"),
      "import json, sys\n"
      "a, names = json.load(open(sys.argv[1])), sys.argv[2:]\n"
      "for d, name in zip([a] if len(names) == 1 else a, names, strict=True):\n"
      "  fw = d['records'][4]['records']\n"
      "  assert d['file'] == name and [x['offset'] for x in fw] == [176, 192, 208], d\n"
      "  assert d['records'][1]['digest_ok'] is (name != 'bad')\n"
      "  assert all(x['tag_hex'] == '0x%08X' % x['tag'] for x in d['records'] + fw), d\n");
  EXPECT_EQ("[exit 0]\n", Info("--json bad >j; [ $? = 1 ] && python3 check.py j bad"));
  // Several files: one array of the same objects, in order; status as for --verify.
  EXPECT_EQ("mocfinfo: cannot read none: No such file or directory\n[exit 0]\n",
            Info("--json m.mocf none bad >a; [ $? = 2 ] && python3 check.py a m.mocf bad"));
}

TEST_F(MocfinfoE2e, VerifyGivesOneVerdictPerFileAndTheWorstStatus) {
  Sh("mkdir dir; : >empty; cp m.mocf other; printf N | dd of=other conv=notrunc status=none");
  const std::string notRead = "mocfinfo: cannot read none: No such file or directory\n"
                              "mocfinfo: cannot read dir: Is a directory\n";
  // Every argument has its entry, in order, with the words said on stderr.
  // (The JSON of readable files: the README's example, which the
  // documentation test runs.)
  for (const auto& [args, said] : std::vector<std::pair<std::string, std::string>>{
           {"--verify m.mocf bad empty",
            "m.mocf: valid\nbad: invalid: the stored hash 7ea2a9883f1d1695d8f3895c858e832a6b96e254"
            " does not match the records' hash 6255f90913ec97d9e953cd846f94039db7f19585\n"
            "empty: invalid: the file is 0 bytes, too few for a MOCF header (8)\n[exit 1]\n"},
           {"--verify none dir m.mocf", notRead + "m.mocf: valid\n[exit 2]\n"},
           {"other", "other: 428 bytes, 0 records, invalid: not a MOCF: it does not begin with the "
            "tag MOCF\n[exit 1]\n"},  // and no record lines
           {"--json --verify none m.mocf dir",
            notRead + "[{\"file\": \"none\", \"valid\": false, \"reason\": \"No such file or "
            "directory\", \"readable\": false},\n{\"file\": \"m.mocf\", \"valid\": true, "
            "\"reason\": null, \"readable\": true},\n{\"file\": \"dir\", \"valid\": false, "
            "\"reason\": \"Is a directory\", \"readable\": false}]\n[exit 2]\n"}})
    EXPECT_EQ(said, Info(args + " >o 2>e; s=$?; cat e o; exit $s")) << args;
}

// A user file's bytes exactly, to a file or standard output; a firmware
// record whole, the object file it came from; any other record, its value
// without padding. No such record writes nothing, and a damaged file is read
// as far as it goes.
TEST_F(MocfinfoE2e, ExtractedRecordsAreTheBytesThatWentIn) {
  EXPECT_EQ("[exit 0]\n", Info("--extract 4 -o - m.mocf >out && cmp out welcome.txt && " + kInfo +
                               " --record 5 -o fw.obj m.mocf && cmp fw.obj firmware.obj"));
  EXPECT_EQ("Display.Brightness=50;Audio.Volume=3@\\0\n[exit 0]\n",
            Info("--extract 8 -o - m.mocf | od -An -c | tr -d ' \\n'; echo"));
  const std::string before = Sh("rm out; mkdir outdir; echo keep >kept; ls -AR; cat kept");
  // Of a file that cannot be written, what the system says, in its words.
  for (const auto& [args, said] : std::vector<std::pair<std::string, std::string>>{
           {"--record 9 -o out", "m.mocf: there is no record 9 (the walk finds 8)\n"},
           {"--record 3 -o outdir", "cannot write outdir: Is a directory\n"},
           {"--record 3 -o none/out", "cannot write none/out: No such file or directory\n"}})
    EXPECT_EQ("mocfinfo: " + said + "[exit 2]\n", Info(args + " m.mocf"));
  EXPECT_EQ("[exit 2]\n", Info("--extract 0 -o kept m.mocf 2>/dev/null"));
  EXPECT_EQ(before, Sh("ls -AR; cat kept"));
  EXPECT_EQ("mocfinfo: bad: invalid: the stored hash 7ea2a9883f1d1695d8f3895c858e832a6b96e254 "
            "does not match the records' hash 6255f90913ec97d9e953cd846f94039db7f19585\n[exit 1]\n",
            Info("--extract 4 -o out bad; s=$?; cmp out welcome.txt && exit $s"));
}

TEST_F(MocfinfoE2e, BadUsageIsStatusTwoWithTheUsage) {
  for (const char* args :
       {"", "--json", "--verify", "--extract 1 m.mocf", "-o x m.mocf", "--extract x -o o m.mocf",
        "--json --record 1 -o o m.mocf", "--bogus m.mocf", "m.mocf m.mocf", "--help m.mocf",
        "--record"}) {
    const std::string out = Info(std::string(args) + " 2>&1 >/dev/null");
    EXPECT_NE(std::string::npos, out.find("usage: mocfinfo [--json] FILE")) << args;
    EXPECT_EQ("mocfinfo: [exit 2]\n", out.substr(0, 10) + out.substr(out.size() - 9)) << args;
  }
  EXPECT_EQ(0u, Info("--version && " + kInfo + " --help").find("mocfinfo 1.0.0\nusage: mocfinfo"));
}

// Read whole, this MOCF would take 300 MiB; every mode must do with a
// window of it. The user file is mostly a hole, quick to write, with marks
// that a byte out of place would move; its length needs padding.
TEST_F(MocfinfoE2e, EveryModeReadsAThreeHundredMiBMocfInLittleMemory) {
  if (!platform::IsDurable() || testutil::kProgramsUnderWine)
    GTEST_SKIP() << "the portable build and Windows read a MOCF whole";
  ASSERT_EQ("[exit 0]\n", Sh("for at in 0 $((77 << 20)) $((150 << 20)) $(((300 << 20) - 9));"
                             "do printf \"mark $at\" | dd of=big.bin bs=1 seek=$at status=none;"
                             "done && " +
                             testutil::ToolRuns({"big.mocf -f products.txt -t CompatProd -d",
                                                 "big.mocf -f big.bin -t user"})));
  // Each run's status, and the most memory it alone held when that is too much.
  for (const std::string args : {"", "--json", "--verify", "--extract 4 -o out.bin",
                                 "--record 4 -o -", "--unpack u"})
    EXPECT_EQ("0\n[exit 0]\n",
              Sh("python3 -c 'import resource, subprocess, sys\n"
                 "s = subprocess.call(sys.argv[2:], stdout=subprocess.DEVNULL)\n"
                 "kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss\n"
                 "print(s, \"peak\", kib, \"KiB\") if kib >= int(sys.argv[1]) else print(s)' " +
                 std::to_string(kMostKiB) + " " + kInfo + " " + args + " big.mocf"))
        << args;
  EXPECT_EQ("[exit 0]\n", Sh("cmp out.bin big.bin && " + testutil::kBuild + " -d -m again.mocf "
                             "u/records.list >/dev/null && cmp again.mocf big.mocf"));
}

// Only the first hash and product-list records are what the checks read:
// later ones are said to be so, with no verdict on a digest nobody compares.
TEST_F(MocfinfoE2e, RecordsTheChecksDoNotReadAreSaidToBeSo) {
  ASSERT_EQ("[exit 0]\n", Sh("printf 'abcdefghijklmnopqrst' >h.bin && " +
                             testutil::ToolRuns({"m.mocf --type binary --tag 1 -f h.bin",
                                                 "m.mocf --type binary --tag 2 -f h.bin"})));
  // The listing, then the JSON.
  const std::string both = Info("m.mocf") + Info("--json m.mocf");
  for (const char* said : {", valid\n", " 20 hash (not read: the first hash record is) "
                           "6162636465666768696a6b6c6d6e6f7071727374\n",
                           " 20 compatible products (not read: the first compatible products "
                           "record is) ", "\"kind\": \"hash\", \"read\": true, ",
                           "\"kind\": \"hash\", \"read\": false, \"digest\": "
                           "\"6162636465666768696a6b6c6d6e6f7071727374\", \"digest_ok\": null}",
                           "\"kind\": \"compatible products\", \"read\": false"})
    EXPECT_NE(std::string::npos, both.find(said)) << both;
}

// A signature beside the file is named, last, and not judged: junk there
// leaves the verdict as it was. JSON has it, or null.
TEST_F(MocfinfoE2e, ASignatureBesideTheFileIsNamedAndNotJudged) {
  Sh("echo junk >m.mocf.sig");
  EXPECT_EQ("[exit 0]\nSignature file: m.mocf.sig beside it (not checked here; mocfsign --verify checks "
            "it)\n0\n['m.mocf.sig', None]\n[exit 0]\n",
            Info("m.mocf >o; echo [exit $?]; tail -n 1 o; " + kInfo + " bad | grep -c Signature; " + kInfo +
                 " --json m.mocf bad | python3 -c 'import json, sys; print([d[\"signature_file\"] for d in "
                 "json.load(sys.stdin)])'"));
}
