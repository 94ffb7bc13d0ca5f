// Runs the built tool in a scratch directory and checks its output, exit
// status and the MOCF file's bytes; a refused run must leave the file and
// the directory exactly as they were.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>

#include "Platform.h"
#include "test_util.h"

using testutil::Bytes;
static const std::string kFailed = "Error creating MOCF\n[exit 2]\n";
static const std::string kVersionAndHash = "000000000200000000000000" "0100000014000000";

#ifdef MOCF_PROGRAMS_UNDER_WINE
// Programs for Windows see no Unix link and keep no permission bits: they
// reach the MOCF by its own name, and a new file takes the usual mode.
static const std::string kMocf = "d/m.mocf", kMode = "644";
#else
static const std::string kMocf = "l/x", kMode = "640";
#endif

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
    return Sh("exec " + prefix + " '" MOCFTOOL_PATH "' -m " + kMocf + " " + args);
  }
  // Same names, inodes and bytes afterwards: the file was not even replaced.
  void ExpectRefused(const std::string& args, const std::string& out, const std::string& pre = "") {
    const std::string before = Sh("ls -ai . d l; sha1sum d/m.mocf");
    EXPECT_EQ(out, Run(args, pre));
    EXPECT_EQ(before, Sh("ls -ai . d l; sha1sum d/m.mocf"));
  }
  // The header, version and hash records, then exactly these records, with a
  // hash (over all but the hash record) that sha1sum agrees with; the link
  // and the mode are kept and no other file is left.
  void ExpectMocf(const std::string& records) {
    const std::string hex = testutil::ToHex(testutil::ReadFile(dir_.File("d/m.mocf")));
    const std::string tail = testutil::ToHex(testutil::FromHex(records));
    const size_t size = 40 + tail.size() / 2;
    const Bytes length = {Bytes::value_type(size), Bytes::value_type(size >> 8), 0, 0};
    EXPECT_EQ("4d4f4346" + testutil::ToHex(length) + kVersionAndHash + tail,
              hex.substr(0, 56) + hex.substr(96));
    EXPECT_EQ(hex.substr(56, 40) + "  -\n[exit 0]\n",
              Sh("(head -c 20 d/m.mocf; tail -c +49 d/m.mocf) | sha1sum"));
    EXPECT_EQ(kMode + "\n../d/m.mocf\n.:\nd\nin\nl\n\nd:\nm.mocf\n\nl:\nx\n[exit 0]\n",
              Sh("stat -c %a d/m.mocf; readlink l/x; ls -A . d l"));
  }
  testutil::TempDir dir_;
};

TEST_F(E2eTest, AppendsEveryRecordKindRunByRunThenRefusesWithoutChange) {
  std::string records = "02000000 0c000000 02000000 0a000000 14000000";
  ExpectMocf(records);
  // An object file holds the very record it adds.
  const std::string steps[][3] = {
      {"-t user", "Hi\n",
       "02000060 18000000 00000000 03000000 696e0000 01000000 03000000 48690a00"},
      {"-t object", "",
       "00000060 2c000000 03000000 08000000 01000000 07000000 "
       "02000000 04000000 312e3000 01000000 05000000 0102030405000000"},
      {"-t CustomDefaults", "// defaults\nA=1;\n\n  B=2;\n",
       "04000060 09000000 413d313b423d324000 000000"},
      {"--type MenuSettings", "/* menu\n */\nMS=1\n", "05000060 06000000 4d533d312e00 0000"},
      {"--type SwKeys --PartNum 0400-1234", "K1=on;\n// end\n",
       "03000060 17000000 4b313d6f6e3b 46494d504e4d 303430302d31323334 2e00 00"},
      {"--type binary --tag 0x60000010", "abc", "10000060 03000000 616263 00"}};
  for (const auto& step : steps) {
    testutil::WriteFile(dir_.File("in"), step[1].empty() ? testutil::FromHex(step[2])
                                                         : Bytes(step[1].begin(), step[1].end()));
    EXPECT_EQ("[exit 0]\n", Run("-f in " + step[0]));
    ExpectMocf(records += step[2]);
  }
  ExpectRefused("-f in --type MenuSettings", "Invalid MOCF.\n" + kFailed);
  ExpectRefused("-f in -t user -d", "Invalid MOCF.\n" + kFailed);
  testutil::WriteFile(dir_.File("in"), "// only\n");
  ExpectRefused("-f in -t CustomDefaults",
                "Error creating Object Record from file.  Additional info:\n"
                "Error in Menu Settings File (empty file).\nError in Custom Defaults file\n\n" +
                    kFailed);
  // Bash counts ulimit -f in 1024-byte blocks: only the new image exceeds it.
  testutil::WriteFile(dir_.File("in"), Bytes(64 * 1024, 0xA5));
  // The limit's signal, whether the caller ignores it or not, ends no run:
  // the write fails as any other does.
  const std::string limit = "bash -c 'ulimit -c 0 -f 8; ";
  if (!testutil::kProgramsUnderWine) {
    ExpectRefused("-f in -t user", kFailed, limit + "trap \"\" XFSZ; exec \"$0\" \"$@\"'");
    ExpectRefused("-f in -t user", kFailed, limit + "exec \"$0\" \"$@\"'");
  }
  // The "a" of the binary record's value becomes "X": only the hash no longer fits.
  Sh("printf X | dd of=d/m.mocf bs=1 seek=228 conv=notrunc status=none");
  ExpectRefused("-f in -t user", kFailed);
  ExpectRefused("-f in -t object", kFailed);  // the input is no record either
  testutil::WriteFile(dir_.File("d/m.mocf"), "");
  ExpectRefused("-f in -t user", kFailed);
}

// GCC says so one way, clang another.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

// Memory running out is the unexpected error: its words, status 255 (-1
// on Windows), and the MOCF as it was.
TEST_F(E2eTest, MemoryRunningOutEndsInTheUnexpectedError) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "a memory limit is Linux's";
  if (kUnderAddressSanitizer) GTEST_SKIP() << "the sanitizer's own memory does not fit under the limit";
  Sh("yes 'A=1;' | head -c 100000000 >big");
  ExpectRefused("-f big -t CustomDefaults", "Unexpected error\n[exit 255]\n",
                "bash -c 'ulimit -v 150000; exec \"$0\" \"$@\"'");
}

// Under a file-size limit nothing is written before the verdict, which a
// write the limit ends would never print.
TEST_F(E2eTest, VerdictComesBeforeAnyWriteUnderAFileSizeLimit) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "a file-size limit is Linux's";
  testutil::WriteFile(dir_.File("in"), Bytes(64 * 1024, 0xA5));
  ExpectRefused("-f in -t user -d", "Invalid MOCF.\n" + kFailed,
                "bash -c 'ulimit -f 8; exec \"$0\" \"$@\"'");
}

// The old image is read, not mapped: shrunk while the run reads it, it
// either was read whole first or the run fails like any unreadable MOCF.
TEST_F(E2eTest, MocfTruncatedDuringTheRunEndsInTheOrdinaryFailure) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "/proc/locks is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not lock";
  Sh("truncate -s 256M big");
  ASSERT_EQ("[exit 0]\n", Run("-f big -t user"));
  const std::string out = Sh(
      "'" MOCFTOOL_PATH "' -m d/m.mocf -f in -t user & pid=$!; inode=$(stat -c %i d/m.mocf);"
      "for n in $(seq 2000); do grep -q \":$inode \" /proc/locks && break; sleep 0.002; done;"
      "kill -STOP $pid; truncate -s 1000 d/m.mocf; kill -CONT $pid; wait $pid; echo status $?;"
      "ls -A d; stat -c %s d/m.mocf");
  if (out.find("status 0") == std::string::npos)
    EXPECT_EQ("Error creating MOCF\nstatus 2\nm.mocf\n1000\n[exit 0]\n", out);
  else
    EXPECT_EQ("[exit 0]\n", Run("-f in -t user")) << out;
}

// Put together by the system in the temporary file, or in memory as under a
// file-size limit, a large image comes out the same, byte for byte.
TEST_F(E2eTest, LargeAppendsComeOutTheSameEitherWay) {
  const std::string inMemory = "bash -c 'ulimit -f 1000000; exec \"$0\" \"$@\"'";
  Sh("cp d/m.mocf start");
  for (const std::string type : {"-t user", "--type binary --tag 0x60000010"}) {
    for (size_t extra = 0; extra < 4; ++extra) {
      testutil::WriteFile(dir_.File("in"), Bytes((1 << 20) + extra, 0x5A));
      ASSERT_EQ("[exit 0]\n", Run("-f in " + type));
      Sh("cp d/m.mocf copied; cp start d/m.mocf");
      ASSERT_EQ("[exit 0]\n", Run("-f in " + type, inMemory));
      EXPECT_EQ("[exit 0]\n", Sh("cmp copied d/m.mocf; cp start d/m.mocf")) << type << extra;
    }
  }
  // Larger than the memory the tool puts a large image together in, which
  // it then uses again.
  testutil::WriteFile(dir_.File("in"), Bytes(45 << 20, 0xC3));
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user"));
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user"));
  Sh("cp d/m.mocf copied; cp start d/m.mocf");
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user", inMemory));
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user", inMemory));
  EXPECT_EQ("[exit 0]\n", Sh("cmp copied d/m.mocf"));
}

// Refused large appends say what small ones say and leave nothing behind:
// the record fails the Gen6 check, the input is no record, the loaded MOCF's
// digest is wrong (byte 60 lies in its compatible-products record).
TEST_F(E2eTest, LargeAppendsAreRefusedLikeSmallOnes) {
  testutil::WriteFile(dir_.File("in"), Bytes(2 << 20, 0xA5));
  ExpectRefused("-f in -t user -d", "Invalid MOCF.\n" + kFailed);
  ExpectRefused("-f in -t object",
                "Error creating Object Record from file.  Additional info:\n"
                "Object File is invalid\n\n" + kFailed);
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user"));
  Sh("printf X | dd of=d/m.mocf bs=1 seek=60 conv=notrunc status=none");
  ExpectRefused("-f in -t user", kFailed);
  ExpectRefused("-f in -t object", kFailed);
}

// A record with the hash record's tag is left out of the digest wherever it
// lies, also in a large image, and the next run finds the digest right.
TEST_F(E2eTest, EveryHashTaggedRecordIsLeftOutOfTheDigest) {
  testutil::WriteFile(dir_.File("in"), "abc");
  ASSERT_EQ("[exit 0]\n", Run("-f in --type binary --tag 1"));
  testutil::WriteFile(dir_.File("in"), Bytes(1 << 20, 0x5A));
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user"));
  const Bytes image = testutil::ReadFile(dir_.File("d/m.mocf"));
  EXPECT_EQ(testutil::ToHex(image.data() + 28, 20) + "  -\n[exit 0]\n",
            Sh("(head -c 20 d/m.mocf; tail -c +49 d/m.mocf | head -c 20; tail -c +81 d/m.mocf)"
               "| sha1sum"));
  EXPECT_EQ("[exit 0]\n", Run("-f in -t user"));
}

TEST_F(E2eTest, UnwritableMocfIsLeftAlone) {
  const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  if (Run("", nobody).find("Usage:") == std::string::npos) GTEST_SKIP() << "can't run as uid 65534";
  // Root owns all and the modes alone decide. A read-only file in a writable
  // directory could be renamed over, a writable file in a read-only one not.
  for (const char* modes : {"755 444", "777 444", "755 666"}) {
    Sh(std::string("set -- ") + modes + "; chmod 755 . && chmod $1 d && chmod $2 d/m.mocf");
    ExpectRefused("-f in -t user", kFailed, nobody);
  }
}

// Threads a large append cannot have (a process limit, as uid 65534): it is
// made on the one thread there is, with the same bytes, and never hangs.
TEST_F(E2eTest, LargeAppendWithoutItsThreadsIsMadeOnOne) {
  const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
  if (Run("", nobody).find("Usage:") == std::string::npos) GTEST_SKIP() << "can't run as uid 65534";
  Sh("mkdir t && chmod 777 t && echo 7 >t/p && head -c 3000000 /dev/urandom >t/big");
  const std::string tool = "'" MOCFTOOL_PATH "' -m ";
  for (const char* mocf : {"a", "b"})
    ASSERT_EQ("[exit 0]\n", Sh("cd t && " + nobody + " " + tool + mocf + " -f p -t CompatProd -d"));
  EXPECT_EQ("[exit 0]\n", Sh("cd t && " + nobody + " " + tool + "a -f big -t user"));
  // The leak checker of a sanitized build needs a thread of its own at exit.
  EXPECT_EQ("[exit 0]\n", Sh("cd t && timeout 60 " + nobody +
                                " bash -c 'ulimit -u 1; ASAN_OPTIONS=detect_leaks=0 exec " + tool +
                                "b -f big -t user'"));
  EXPECT_EQ("[exit 0]\n", Sh("cmp t/a t/b"));
}

TEST_F(E2eTest, ProductLineEndsAtItsFirstNul) {
  testutil::WriteFile(dir_.File("in"), std::string("3\n1\0junk\n0x10\n", 14));
  ASSERT_EQ("[exit 0]\n", Run("-f in -t CompatProd -d"));
  ExpectMocf("02000000 10000000 03000000 03000000 01000000 10000000");
}

// Half the runs name the MOCF through the link: both are the same MOCF.
TEST_F(E2eTest, ConcurrentAppendsAllLand) {
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not serialize runs";
  // A user file's name is the path given, and it may not hold a '/'.
  Sh("mkdir rc; for i in $(seq 10 49); do echo $i >u$i; done");
  for (int round = 0; round < 10; ++round) {
    ASSERT_EQ("[exit 0]\n", Run("-f in -t CompatProd -d"));
    ASSERT_EQ("[exit 0]\n",
              Sh("for i in $(seq 10 49); do m=d/m.mocf; [ $((i % 2)) = 0 ] && m=" + kMocf + ";"
                 "('" MOCFTOOL_PATH "' -m $m -f u$i -t user >/dev/null; echo $? >rc/$i) & done;"
                 "wait; cat rc/* | sort | uniq -c | tr -s ' '"
                 "| grep -qx ' 40 0'"));
    const Bytes image = testutil::ReadFile(dir_.File("d/m.mocf"));
    const std::string text(image.begin(), image.end());
    for (int i = 10; i < 50; ++i)
      EXPECT_NE(std::string::npos, text.find("u" + std::to_string(i) + std::string(1, '\0')))
          << "round " << round << " lost u" << i;
    // The tool itself accepts the result as the MOCF to append to.
    EXPECT_EQ("[exit 0]\n", Run("-f in -t user"));
    EXPECT_EQ("m.mocf\n[exit 0]\n", Sh("ls -A d"));
  }
}

// The holder is stopped while it holds the lock: a second run waits for it,
// and once the holder is killed the next run goes ahead.
TEST_F(E2eTest, KilledLockHolderBlocksNobody) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "/proc/locks is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not lock";
  Sh("truncate -s 600M big");
  const std::string out = Sh(
      "'" MOCFTOOL_PATH "' -m d/m.mocf -f big -t user >/dev/null & pid=$!;"
      "inode=$(stat -c %i d/m.mocf);"
      "for n in $(seq 2000); do grep -q \":$inode \" /proc/locks && break; sleep 0.005; done;"
      "kill -STOP $pid; grep -c \":$inode \" /proc/locks;"
      "timeout 1 '" MOCFTOOL_PATH "' -m l/x -f in -t user; echo waited $?;"
      "kill -KILL $pid; { wait $pid; } 2>/dev/null; echo killed $?;"
      "timeout 20 '" MOCFTOOL_PATH "' -m l/x -f in -t user; echo after $?; ls -A d");
  EXPECT_EQ("1\nwaited 124\nkilled 137\nafter 0\nm.mocf\n[exit 0]\n", out);
}

// The new image is flushed before it is renamed over the MOCF, and the
// directory after, or a power cut could leave an empty or older file.
TEST_F(E2eTest, FlushesImageBeforeRenameAndDirectoryAfter) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "strace is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not flush";
  if (Sh("command -v strace") == "[exit 1]\n") GTEST_SKIP() << "strace is not installed";
  // LeakSanitizer cannot run under ptrace; the sanitizer build still runs this.
  ASSERT_EQ("[exit 0]\n", Run("-f in -t user", "env ASAN_OPTIONS=detect_leaks=0 strace -f -o trace "
                                               "-e trace=openat,fsync,fdatasync,rename,renameat2"));
  std::istringstream trace(Sh("cat trace"));
  const std::regex open(R"re(openat\((?:AT_FDCWD, )?"(d|[^"]*/d|[^"]*m\.mocf\.tmp[0-9-]+)", ([^)]*)\) = ([0-9]+))re");
  const std::regex sync(R"((?:fsync|fdatasync)\(([0-9]+)\) += 0)");
  std::string temporaryFd, directoryFd, steps;
  for (std::string line; std::getline(trace, line);) {
    std::smatch m;
    if (std::regex_search(line, m, open)) {
      // A descriptor closed and opened again is only what it was opened as last.
      const bool directory = m[2].str().find("O_DIRECTORY") != std::string::npos;
      (directory ? directoryFd : temporaryFd) = m[3];
      (directory ? temporaryFd : directoryFd).clear();
      if (!directory) steps += "create ";
    } else if (std::regex_search(line, m, sync)) {
      if (m[1] == temporaryFd) steps += "flush-image ";
      if (m[1] == directoryFd) steps += "flush-directory ";
    } else if (line.find("rename") != std::string::npos && line.find("= 0") != std::string::npos) {
      steps += "rename ";
      temporaryFd.clear();
    }
  }
  EXPECT_EQ("create flush-image rename flush-directory ", steps);
}

// Only a regular file can be a MOCF: a loop of links, a FIFO or a directory
// is refused at once, and stays as it was.
TEST_F(E2eTest, MocfPathsThatNameNoFileAreRefusedAtOnce) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "FIFOs, devices and Unix links is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not follow links";
  Sh("ln -s b a; ln -s a b; mkfifo f; mkdir dir");
  const std::string tool = "timeout 20 '" MOCFTOOL_PATH "' -d -f in -t CompatProd -m ";
  const std::string before = Sh("ls -l a b f dir");
  for (const std::string path : {"a", "f", "dir"}) EXPECT_EQ(kFailed, Sh(tool + path)) << path;
  EXPECT_EQ(before, Sh("ls -l a b f dir"));
  const std::string build = "timeout 20 '" MOCFBUILD_PATH "' -m f list";
  Sh("echo '-f in -t CompatProd' >list");
  EXPECT_NE(std::string::npos, Sh(build).find("not a regular file")) << Sh(build);
  EXPECT_EQ("[exit 2]\n", Sh(build + " 2>/dev/null"));
}

// Once the new image is renamed over the MOCF the run has appended, even
// should the directory then fail to flush: a script that retried on status
// 2 would append the record twice.
TEST_F(E2eTest, ReplacedMocfCountsAsAppendedWhenItsDirectoryFailsToFlush) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "strace is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not flush";
  if (Sh("command -v strace") == "[exit 1]\n") GTEST_SKIP() << "strace is not installed";
  testutil::WriteFile(dir_.File("u"), "user");
  // The second flush of a small append is the directory's.
  EXPECT_EQ("[exit 0]\n",
            Run("-f u -t user", "env ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null "
                                "-e inject=fsync:error=EIO:when=2"));
  EXPECT_NE(std::string::npos, Sh("'" MOCFINFO_PATH "' d/m.mocf").find("user file \"u\""));
}

// A large input that reads short once it is being read ends the run with
// the MOCF as it was: a second attempt would store whatever it then finds.
TEST_F(E2eTest, InputReadingShortMidRunFailsInsteadOfStartingAgain) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "strace is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build reads inputs whole";
  if (Sh("command -v strace") == "[exit 1]\n") GTEST_SKIP() << "strace is not installed";
  Sh("head -c 8M /dev/urandom >big");
  const std::string strace = "env ASAN_OPTIONS=detect_leaks=0 strace -o trace -e trace=read ";
  // The main thread reads the input; the first large read is of its bytes.
  Sh("cp d/m.mocf saved");
  ASSERT_EQ("[exit 0]\n", Run("-f big -t user", strace));
  Sh("cp saved d/m.mocf");
  const std::string first =
      Sh("awk -F', ' '/^read/ { n++; if ($NF + 0 >= 1048576) { print n; exit } }' trace");
  ASSERT_NE("[exit 0]\n", first);
  const int second = std::stoi(first) + 1;
  ExpectRefused("-f big -t user", kFailed,
                "env ASAN_OPTIONS=detect_leaks=0 strace -o /dev/null -e inject=read:retval=0:when=" +
                    std::to_string(second));
}

// Another program, one that does not lock, renames its file over the MOCF
// while a run flushes: the run fails and the other program's file stands.
TEST_F(E2eTest, MocfReplacedByAnotherProgramMidRunIsLeftToIt) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "strace is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build does not lock";
  if (Sh("command -v strace") == "[exit 1]\n") GTEST_SKIP() << "strace is not installed";
  testutil::WriteFile(dir_.File("u"), "user");
  const std::string out = Sh(
      "env ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null "
      "-e inject=fsync:delay_enter=1500000:when=1 '" MOCFTOOL_PATH "' -m d/m.mocf -f u -t user &"
      "sleep 0.5; echo theirs >d/new; mv d/new d/m.mocf; wait $!; echo status $?; ls -A d;"
      "cat d/m.mocf");
  EXPECT_EQ("Error creating MOCF\nstatus 2\nm.mocf\ntheirs\n[exit 0]\n", out);
}

// A run killed after its new image got a name, before the rename, leaves
// that file behind; the next run on the MOCF removes it.
TEST_F(E2eTest, TemporaryFileOfAKilledRunGoesWithTheNextRun) {
  if (testutil::kProgramsUnderWine) GTEST_SKIP() << "strace is Linux's";
  if (!platform::IsDurable()) GTEST_SKIP() << "the portable build has no such step";
  if (Sh("command -v strace") == "[exit 1]\n") GTEST_SKIP() << "strace is not installed";
  testutil::WriteFile(dir_.File("u"), "user");
  EXPECT_EQ("[exit 137]\n", Sh("env ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null "
                               "-e inject=rename:signal=SIGKILL '" MOCFTOOL_PATH
                               "' -m d/m.mocf -f u -t user 2>/dev/null"));
  EXPECT_EQ("2\n[exit 0]\n", Sh("ls d | wc -l"));
  // A name alike whose maker is alive (this shell) is another run's, and stays.
  EXPECT_EQ("[exit 0]\n", Sh("touch d/m.mocf.tmp$PPID-1; '" MOCFTOOL_PATH "' -m d/m.mocf -f u -t user"));
  EXPECT_EQ("m.mocf\n[exit 0]\n", Sh("ls d | grep -v tmp$PPID-1"));
  EXPECT_EQ("1\n[exit 0]\n", Sh("ls d | grep -c tmp"));
}
