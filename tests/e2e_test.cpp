// Runs the built tool in a scratch directory and checks its output, exit
// status and the MOCF file's bytes; a refused run must leave the file and
// the directory exactly as they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "test_util.h"

using testutil::Bytes, testutil::kTool;
static const std::string kFailed = "Error creating MOCF\n[exit 2]\n";
static const std::string kInvalid = "Invalid MOCF.\n" + kFailed;
static const std::string kVersionAndHash = "000000000200000000000000" "0100000014000000";
static const std::string kNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";

#ifdef MOCF_PROGRAMS_UNDER_WINE
// Programs for Windows see no Unix link and keep no permission bits: they
// reach the MOCF by its own name, and a new file takes the usual mode.
static const std::string kMocf = "d/m.mocf", kMode = "644";
#else
static const std::string kMocf = "l/x", kMode = "640";
#endif

// The command after these words runs under bash's ulimit (-f counts KiB).
static std::string Limited(const std::string& limits) {
  return "bash -c 'ulimit " + limits + "; exec \"$0\" \"$@\"'";
}
// The command after these words runs under strace, which LeakSanitizer cannot run under.
static std::string Strace(const std::string& options) {
  return "env ASAN_OPTIONS=detect_leaks=0 strace " + options + " ";
}
// Shell words that wait until the run $pid locks d/m.mocf, then stop it.
static const std::string kStopOnceLocked =
    "inode=$(stat -c %i d/m.mocf); for n in $(seq 2000); do grep -q \":$inode \" /proc/locks "
    "&& break; sleep 0.002; done; kill -STOP $pid;";

// Skips the test with the reason when it is not "".
#define SKIP_IF(why) \
  if (const std::string reason = (why); !reason.empty()) GTEST_SKIP() << reason

struct E2eTest : testing::Test {
  // The MOCF d/m.mocf, mode 640, is reached through the relative link l/x
  // in another directory; -d starts it afresh over a file that is no MOCF.
  void SetUp() override {
    Sh("mkdir d l; ln -s ../d/m.mocf l/x; echo junk >d/m.mocf; chmod " + kMode + " d/m.mocf");
    testutil::WriteFile(dir_.File("in"), "// products\n0x0A\n\n  20 \r\n");
    ASSERT_EQ("[exit 0]\n", Run("-f in -t CompatProd -d"));
  }
  std::string Sh(const std::string& cmd) { return testutil::Sh(dir_.path(), cmd); }
  std::string Run(const std::string& args, const std::string& prefix = "") {
    return Sh("exec " + prefix + " " + tool_ + " -m " + kMocf + " " + args);
  }
  // Same names, inodes and bytes afterwards: the file was not even replaced.
  void ExpectRefused(const std::string& args, const std::string& out, const std::string& pre = "") {
    const std::string before = Sh("ls -ai . d l; sha1sum d/m.mocf");
    EXPECT_EQ(out, Run(args, pre));
    // No refusal leaves standard error without a reason.
    EXPECT_NE("", testutil::ShReasons()) << args;
    EXPECT_EQ(before, Sh("ls -ai . d l; sha1sum d/m.mocf"));
  }
  // The header, version and hash records, then exactly these records, with a
  // hash (over all but the hash record) that sha1sum agrees with; the link
  // and the mode are kept and no other file is left.
  void ExpectMocf(const std::string& records) {
    const std::string hex = testutil::ToHex(testutil::ReadFile(dir_.File("d/m.mocf")));
    const std::string tail = testutil::ToHex(testutil::FromHex(records));
    const std::string n = testutil::U32(40 + tail.size() / 2);
    EXPECT_EQ("4d4f4346" + testutil::ToHex(Bytes(n.begin(), n.end())) + kVersionAndHash + tail,
              hex.substr(0, 56) + hex.substr(96));
    EXPECT_EQ(hex.substr(56, 40) + "  -\n[exit 0]\n",
              Sh("(head -c 20 d/m.mocf; tail -c +49 d/m.mocf) | sha1sum"));
    EXPECT_EQ(kMode + "\n../d/m.mocf\n.:\nd\nin\nl\n\nd:\nm.mocf\n\nl:\nx\n[exit 0]\n",
              Sh("stat -c %a d/m.mocf; readlink l/x; ls -A . d l"));
  }
  // Why the test cannot run here, or "": a thing only Linux has under Wine,
  // a step the portable build leaves out, or strace where it is missing.
  std::string Lacks(const char* linuxOnly, const char* portable, bool strace = false) {
    if (testutil::kProgramsUnderWine && linuxOnly) return linuxOnly + std::string(" is Linux's");
    if (!platform::IsDurable() && portable) return "the portable build " + std::string(portable);
    return strace && Sh("command -v strace") == "[exit 1]\n" ? "strace is not installed" : "";
  }
  // Why uid 65534 cannot run the tool here, or "". From then on the runs
  // are of a copy in a folder anyone enters: the build may lie in one only
  // root enters (a checkout in a 0700 folder), which would skip the test.
  std::string NoNobody() {
    static const testutil::TempDir folder;
    tool_ = "'" + folder.File("mocftool") + "'";
    testutil::Sh(folder.path(), "chmod 755 . && cp -f " + kTool + " " + tool_);
    return Run("", kNobody).find("Usage:") == std::string::npos ? "can't run as uid 65534" : "";
  }
  testutil::TempDir dir_;
  std::string tool_ = kTool;
};

// Standard output keeps the tool's own messages; standard error says why,
// and what to type instead, in mocfbuild's words for the same fault. (The
// type words' hints, an option glued to its value, an object file that is
// no record, a bad product number, a missing part number, a --tag read in
// part and a cut MOCF: the documentation test, which runs the examples in
// README.md and docs/; the object file's standard output: the appends
// below; an input that is a folder: Mocfbuild's.)
TEST_F(E2eTest, RefusalsSayWhyOnStandardErrorAndKeepTheirOutput) {
  const std::string refusedArgs = "[exit 1]\n";
  const struct {
    std::string command, out, why;
  } cases[] = {
      {"-f ./in -t user", kInvalid, "letters, digits and _.() only\nmocftool: to store it as "
       "in, give its name alone: -f in\n"},
      {"-f d/m.mocf -t user", kInvalid, "only\nmocftool: to store it as m.mocf, run mocftool "
       "from its folder: (cd d && mocftool -m m.mocf -f m.mocf -t user)\n"},  // l/x's file
      {"-f in -t CompatProd", refusedArgs, "mocftool: a product list starts a MOCF: -d starts"},
      {"-f in --type binary", refusedArgs, "give the record's tag with --tag"},
      {"-f in -t user -m d", kFailed, "mocftool: d cannot be a MOCF: it is not a regular file "
       "(a directory, a device, a FIFO or a loop of links)\n"},  // the last -m counts
      {"-f in -t user -m in", kFailed, "mocftool: in is not a MOCF: it does not begin with the tag "
       "MOCF\n"},
  };
  for (const auto& c : cases) {
    SetUp();
    const std::string out = Run(c.command), why = testutil::ShReasons();
    EXPECT_NE(std::string::npos, why.find(c.why)) << c.command << "\n" << why;
    // The usage text follows a refused argument, as it always has.
    EXPECT_EQ(c.out, c.out == refusedArgs ? out.substr(out.size() - c.out.size()) : out)
        << c.command;
  }
}

TEST_F(E2eTest, AppendsRunByRunThenRefusesWithoutChange) {
  std::string records = "02000000 0c000000 02000000 0a000000 14000000";
  ExpectMocf(records);
  // The other kinds, each from the sample inputs, are MocfinfoE2e's.
  const std::string steps[][3] = {
      {"-t user", "Hi\n",
       "02000060 18000000 00000000 03000000 696e0000 01000000 03000000 48690a00"},
      {"--type MenuSettings", "/* menu\n */\nMS=1\n", "05000060 06000000 4d533d312e00 0000"},
      {"--type binary --tag 0x60000010", "abc", "10000060 03000000 616263 00"}};
  for (const auto& step : steps) {
    testutil::WriteFile(dir_.File("in"), step[1]);
    EXPECT_EQ("[exit 0]\n", Run("-f in " + step[0]));
    ExpectMocf(records += step[2]);
  }
  // Only the new image exceeds a file-size limit of 8 KiB: the verdict comes
  // before any write, and the limit's signal ends no run (the tool ignores
  // it itself, so a caller's ignoring it changes nothing): the write fails
  // as any other does.
  testutil::WriteFile(dir_.File("in"), Bytes(64 * 1024, 0xA5));
  if (!testutil::kProgramsUnderWine) {
    ExpectRefused("-f in -t user -d", kInvalid, Limited("-c 0 -f 8"));
    ExpectRefused("-f in -t user", kFailed, Limited("-c 0 -f 8"));
  }
  // A large input, appended last to make the MOCF large too; every append
  // is one path, and small and large images are the image writer's two
  // ways (ImageWriterTest).
  testutil::WriteFile(dir_.File("in"), Bytes(2 << 20, 0xA5));
  ExpectRefused("-f in -t user -d", kInvalid);
  ExpectRefused("-f in -t object",
                "Error creating Object Record from file.  Additional info:\n"
                "Object File is invalid\n\n" + kFailed);
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user"));
  // The "a" of the binary record's value becomes "X": only the hash no longer fits.
  Sh("printf X | dd of=d/m.mocf bs=1 seek=124 conv=notrunc status=none");
  ExpectRefused("-f in -t user", kFailed);
  ExpectRefused("-f in -t object", kFailed);  // the input is no record either
  testutil::WriteFile(dir_.File("d/m.mocf"), "");
  ExpectRefused("-f in -t user", kFailed);
}

// A run stopped while it holds the lock makes a second run wait, and once
// it is killed the next run goes ahead. The old image is read, not mapped:
// shrunk while a run reads it, it either was read whole first or the run
// fails like any unreadable MOCF.
TEST_F(E2eTest, KilledLockHolderBlocksNobodyAndAMocfTruncatedDuringTheRunFailsAsUsual) {
  SKIP_IF(Lacks("/proc/locks", "does not lock"));
  Sh("truncate -s 256M big");
  EXPECT_EQ("1\nwaited 124\nkilled 137\nafter 0\nm.mocf\n[exit 0]\n",
            Sh(kTool + " -m d/m.mocf -f big -t user >/dev/null & pid=$!;" + kStopOnceLocked +
               "grep -c \":$inode \" /proc/locks; timeout 1 " + kTool + " -m l/x -f in -t user;"
               "echo waited $?; kill -KILL $pid; { wait $pid; } 2>/dev/null; echo killed $?;"
               "timeout 20 " + kTool + " -m l/x -f in -t user; echo after $?; ls -A d"));
  ASSERT_EQ("[exit 0]\n", Run("-f big -t user"));
  const std::string out = Sh(kTool + " -m d/m.mocf -f in -t user & pid=$!;" + kStopOnceLocked +
                             "truncate -s 1000 d/m.mocf; kill -CONT $pid; wait $pid;"
                             "echo status $?; ls -A d; stat -c %s d/m.mocf");
  if (out.find("status 0") == std::string::npos)
    EXPECT_EQ("Error creating MOCF\nstatus 2\nm.mocf\n1000\n[exit 0]\n", out);
  else
    EXPECT_EQ("[exit 0]\n", Run("-f in -t user")) << out;
}

// As uid 65534, where root owns all and the modes alone decide: a
// read-only file in a writable directory could be renamed over, a writable
// file in a read-only one not. Then threads a large append cannot have (a
// process limit): it is made on the one thread there is, with the same
// bytes, and never hangs.
TEST_F(E2eTest, AsAnotherUserUnwritableMocfIsLeftAloneAndOneThreadSuffices) {
  SKIP_IF(NoNobody());
  for (const char* modes : {"755 444", "777 444", "755 666"}) {
    Sh(std::string("set -- ") + modes + "; chmod 755 . && chmod $1 d && chmod $2 d/m.mocf");
    ExpectRefused("-f in -t user", kFailed, kNobody);
  }
  Sh("mkdir t && chmod 777 t && echo 7 >t/p && head -c 3000000 /dev/urandom >t/big");
  const std::string tool = kNobody + " " + tool_ + " -m ";
  ASSERT_EQ("[exit 0]\n", Sh("cd t && " + tool + "a -f p -t CompatProd -d && " + tool +
                             "b -f p -t CompatProd -d && " + tool + "a -f big -t user"));
  // The leak checker of a sanitized build needs a thread of its own at exit.
  EXPECT_EQ("[exit 0]\n", Sh("cd t && timeout 60 " + kNobody + " bash -c 'ulimit -u 1; "
                             "ASAN_OPTIONS=detect_leaks=0 exec \"$0\" -m b -f big -t user' " +
                             tool_ + " && cmp a b"));
}

// Runs and two builds, all at once on one MOCF, half the runs and the builds
// through the link, ten times over: every record lands once, each build's
// records together in its list's order, and the tool accepts the result.
TEST_F(E2eTest, ConcurrentRunsAndBuildsAllLand) {
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not serialize runs";
  // A user file's name is the path given, and it may not hold a '/'.
  Sh("mkdir rc; for i in $(seq 10 49); do echo $i >u$i; done; for b in b1 b2; do for j in 0 1 2 3;"
     "do head -c 300000 /dev/zero >${b}_$j; echo \"-f ${b}_$j -t user\" >>$b; done; done");
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ("[exit 0]\n", Run("-f in -t CompatProd -d"));
    ASSERT_EQ("[exit 0]\n",
              Sh("for i in $(seq 10 49); do m=d/m.mocf; [ $((i % 2)) = 0 ] && m=" + kMocf + ";"
                 "(" + kTool + " -m $m -f u$i -t user >/dev/null; echo $? >rc/$i) & done;"
                 "for b in b1 b2; do (" + testutil::kBuild + " -m " + kMocf + " $b >/dev/null;"
                 "echo $? >rc/$b) & done; wait; s=$(cat rc/* | sort | uniq -c);"
                 "echo \"$s\" | grep -qx ' *42 0' || echo \"$s\""))
        << "why, in the runs' words:\n" << testutil::ShReasons();
    // The user files' names in file order, then how many differ: 48 names, 48 files.
    const std::string all =
        Sh(testutil::kInfo + " d/m.mocf | sed -n 's/.* user file \"\\(.*\\)\".*/\\1/p' >names;"
           "tr '\\n' ' ' <names; sort -u names | wc -l; wc -l <names");
    EXPECT_NE(std::string::npos, all.find(" 48\n48\n[exit 0]\n")) << all;
    for (const char* build : {"b1_0 b1_1 b1_2 b1_3 ", "b2_0 b2_1 b2_2 b2_3 "})
      EXPECT_NE(std::string::npos, all.find(build)) << all;
    // The tool itself accepts the result as the MOCF to append to.
    EXPECT_EQ("m.mocf\n[exit 0]\n", Sh(kTool + " -m " + kMocf + " -f in -t user && ls -A d"));
  }
}

// Only a regular file can be a MOCF: a loop of links, a FIFO or a directory
// is refused at once, and stays as it was.
TEST_F(E2eTest, MocfPathsThatNameNoFileAreRefusedAtOnce) {
  SKIP_IF(Lacks("FIFOs, devices and Unix links", "does not follow links"));
  Sh("ln -s b a; ln -s a b; mkfifo f; mkdir dir; echo '-f in -t CompatProd' >list");
  const std::string before = Sh("ls -l a b f dir");
  for (const std::string path : {"a", "f", "dir"})
    EXPECT_EQ(kFailed, Sh("timeout 20 " + kTool + " -d -f in -t CompatProd -m " + path)) << path;
  EXPECT_EQ(before, Sh("ls -l a b f dir"));
  EXPECT_EQ("1\n[exit 2]\n", Sh("timeout 20 " + testutil::kBuild + " -m f list >out 2>&1; s=$?;"
                                "grep -c 'not a regular file' out; exit $s"));
}

// Steps strace shows or breaks. A power cut keeps only what was flushed:
// the new image is written whole and flushed before it is renamed over
// the MOCF, and the directory is flushed before the run ends, or a cut
// could leave an empty or older file, or lose a run that said it was done.
TEST_F(E2eTest, StepsSeenAndBrokenUnderStraceLeaveTheMocfWhole) {
  SKIP_IF(Lacks("strace", "does not flush, lock or read inputs in parts", true));
  // strace -y names each descriptor's file: the new image has no name yet,
  // or its temporary one. For a small append and a build of a large image
  // (an append is planned and written as a one-line build is), with
  // O_TMPFILE and without (it needs /proc, which access then denies); each
  // MOCF as a run without strace makes it. strace splits a call that
  // another thread's call interrupts over two lines; the first stands for
  // it (a call that failed would fail the run).
  Sh("head -c 5M /dev/urandom >big; printf -- '-f in -t user\\n-f big -t user\\n' >list;"
     "cp d/m.mocf base");
  const std::string trace = "-f -y -o trace -e trace=access,openat,write,pwrite64,ftruncate,"
                            "fsync,fdatasync,rename,renameat2,unlink ";
  for (const std::string& run :
       {tool_ + " -m d/m.mocf -f in -t user", testutil::kBuild + " -m d/m.mocf list"}) {
    const std::string made = Sh("cp base d/m.mocf; " + run + " >/dev/null; sha1sum d/m.mocf");
    for (const char* unnamed : {"", "-e inject=access:error=ENOENT "})
      EXPECT_EQ("create write-image flush-image rename flush-directory \n" + made,
                Sh("cp base d/m.mocf; " + Strace(trace + unnamed) + run + R"( >/dev/null &&
                    sed -nE 's/ <unfinished \.\.\.>$/ = 0/
                    s/.*openat\(.*(O_TMPFILE|m\.mocf\.tmp[0-9-]+").* = [0-9].*/create/p
                    s/.*(write|pwrite64|ftruncate)\([0-9]+<[^>]*\/d\/(#|m\.mocf).*/write-image/p
                    s/.*f(data)?sync\([0-9]+<[^>]*\/d>.* = 0.*/flush-directory/p
                    s/.*f(data)?sync\([0-9]+<[^>]*\/d\/(#|m\.mocf\.tmp)[^>]*>.* = 0.*/flush-image/p
                    s/.*rename.* = 0.*/rename/p; s/.*unlink.* = 0.*/remove/p' trace | uniq |
                    tr '\n' ' ' | sed -E 's/^(create write-image remove )+//'; echo; sha1sum d/m.mocf)"))
          << run << " " << unnamed;
  }
  // A large input that reads short once it is being read ends the run with
  // the MOCF as it was: a second attempt would store whatever it then finds.
  // strace -P counts the input's reads alone: a sanitizer's own reads at
  // start vary in number from run to run.
  Sh("head -c 8M /dev/urandom >big");
  ExpectRefused("-f big -t user", kFailed,
                Strace("-P \"$PWD/big\" -o /dev/null -e trace=read -e inject=read:retval=0:when=2"));
  // A temporary file whose maker is alive (this shell) is another run's,
  // and stays. (One a killed run left is removed: tests/fault_sweep.sh.)
  EXPECT_EQ("m.mocf\n1\n[exit 0]\n", Sh("touch d/m.mocf.tmp$PPID-1; " + kTool +
                                         " -m d/m.mocf -f in -t user && ls d | grep -v tmp$PPID-1;"
                                         "ls d | grep -c tmp"));
  // Another program, one that does not lock, renames its file over the MOCF
  // while a run flushes: the run fails and the other program's file stands.
  EXPECT_EQ("Error creating MOCF\nstatus 2\nm.mocf\ntheirs\n[exit 0]\n",
            Sh("rm d/m.mocf.tmp*; " +
               Strace("-f -o /dev/null -e inject=fsync:delay_enter=1500000:when=1") + kTool +
               " -m d/m.mocf -f in -t user & sleep 0.5; echo theirs >d/new; mv d/new d/m.mocf;"
               "wait $!; echo status $?; ls -A d; cat d/m.mocf"));
}
