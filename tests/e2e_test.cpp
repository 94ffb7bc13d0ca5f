// End-to-end runs of the built tool: each test starts mocftool as a separate
// process in a scratch directory, compares its standard output and exit
// status exactly, and checks the MOCF file's bytes (and, after a failure,
// that the old file was neither changed nor replaced).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

namespace fs = std::filesystem;
using testutil::Bytes;
using testutil::ReadFile;
using testutil::ToHex;
using Args = std::vector<std::string>;

const char kUsage[] =
    "mocftool:  $ProjectRevision: Last Checkpoint: 1.6 $\n"
    "\n"
    "Usage:  mocftool -m MocfFile -f InFile -t type [-d]\n"
    "\t-m: MOCF filename\n"
    "\t-f: Filename that has Record/object data to add\n"
    "\t-t: File type:  user|CompatProd|object|CustomDefaults\n"
    "\t    Note:  CompatProd cannot be used when appending to an existing MOCF\n"
    "\t-d: Delete the contents of the MOCF before appending the Input File\n";
const char kFailed[] = "Error creating MOCF\n";
const char kInvalid[] = "Invalid MOCF.\nError creating MOCF\n";
// The shell prefix that runs the tool as an unprivileged user.
const char kAsNobody[] = "setpriv --reuid=65534 --regid=65534 --clear-groups";

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Holds what stderr and the hash helper write, away from the MOCF's directory.
const testutil::TempDir& Scratch() {
  static testutil::TempDir dir;
  return dir;
}

struct Outcome {
  std::string out;
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;
};

Outcome Shell(const std::string& command) {
  const std::string err = Scratch().File("stderr");
  Outcome result;
  std::FILE* pipe = popen((command + " 2>" + Quote(err)).c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "popen failed: " << command;
    return result;
  }
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) result.out.append(buf, n);
  const int wait = pclose(pipe);
  if (WIFEXITED(wait)) result.status = WEXITSTATUS(wait);
  if (WIFSIGNALED(wait)) result.signal = WTERMSIG(wait);
  const Bytes errors = ReadFile(err);
  EXPECT_EQ("", std::string(errors.begin(), errors.end())) << command;
  return result;
}

void Put32(Bytes* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

uint32_t Get32(const Bytes& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes.at(at + i);
  return value;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Record(uint32_t tag, const Bytes& value) {
  Bytes out;
  Put32(&out, tag);
  Put32(&out, static_cast<uint32_t>(value.size()));
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

Bytes Padded(Bytes record) {
  while (record.size() % 4) record.push_back(0);
  return record;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

// The bytes the stored digest covers: the header, then every direct record
// but the hash record, each with its padding.
Bytes HashedBytes(const Bytes& mocf) {
  Bytes hashed = Slice(mocf, 0, 8);
  size_t at = 8;
  while (at + 8 <= mocf.size()) {
    const size_t end = at + 8 + (Get32(mocf, at + 4) + 3) / 4 * 4;
    if (end > mocf.size()) break;
    if (Get32(mocf, at) != 1) hashed.insert(hashed.end(), mocf.begin() + at, mocf.begin() + end);
    at = end;
  }
  EXPECT_EQ(mocf.size(), at) << "records do not fill the file";
  return hashed;
}

std::string Sha1Sum(const Bytes& data) {
  const std::string path = Scratch().File("hashed");
  testutil::WriteFile(path, data);
  return Shell("sha1sum < " + Quote(path)).out.substr(0, 40);
}

void ExpectWellFormed(const Bytes& mocf) {
  ASSERT_GE(mocf.size(), 48u);
  EXPECT_EQ("MOCF", std::string(mocf.begin(), mocf.begin() + 4));
  EXPECT_EQ(mocf.size() - 8, Get32(mocf, 4));
  EXPECT_EQ("00000000020000000000000001000000" "14000000", ToHex(Slice(mocf, 8, 28)));
  EXPECT_EQ(Sha1Sum(HashedBytes(mocf)), ToHex(Slice(mocf, 28, 48)));
}

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

ino_t Inode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(0, lstat(path.c_str(), &info)) << path;
  return info.st_ino;
}

mode_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(0, stat(path.c_str(), &info)) << path;
  return info.st_mode & 07777;
}

class E2eTest : public testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }

  void Input(const std::string& name, const Bytes& content) {
    testutil::WriteFile(Path(name), content);
  }
  void Input(const std::string& name, const std::string& content) { Input(name, Text(content)); }

  // Runs the tool in the scratch directory, so input names are stored bare.
  Outcome Run(const Args& args, const std::string& prefix = "") const {
    std::string command = "cd " + Quote(dir_.path()) + " && exec " + prefix + " " +
                          Quote(MOCFTOOL_PATH);
    for (const std::string& arg : args) command += " " + Quote(arg);
    return Shell(command);
  }

  // A valid MOCF holding only its compatible-products record.
  Bytes MakeMocf(const std::string& name = "x.mocf") {
    Input("products.txt", "5\n");
    const Outcome run = Run({"-m", name, "-f", "products.txt", "-t", "CompatProd"});
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0, run.status);
    return ReadFile(Path(name));
  }

  // A refused run leaves the file as it was (not even replaced by a copy)
  // and the directory as it was.
  void ExpectRefused(const Args& args, const std::string& out, int status,
                     const std::string& prefix = "", const std::string& mocf = "x.mocf") {
    const Bytes before = ReadFile(Path(mocf));
    const ino_t inode = Inode(Path(mocf));
    const std::set<std::string> names = Names(dir_.path());
    const Outcome run = Run(args, prefix);
    EXPECT_EQ(out, run.out);
    EXPECT_EQ(status, run.status);
    EXPECT_EQ(ToHex(before), ToHex(ReadFile(Path(mocf))));
    EXPECT_EQ(inode, Inode(Path(mocf)));
    EXPECT_EQ(names, Names(dir_.path()));
  }

  // A successful run puts exactly the padded record at the end of the file,
  // keeps everything before it but the hash, and leaves no stray file.
  void ExpectAppended(const Args& args, const Bytes& record) {
    SCOPED_TRACE(args[3]);
    const Bytes before = ReadFile(Path("x.mocf"));
    const std::set<std::string> names = Names(dir_.path());
    const Outcome run = Run(args);
    EXPECT_EQ("", run.out);
    EXPECT_EQ(0, run.status);
    const Bytes after = ReadFile(Path("x.mocf"));
    const Bytes tail = Padded(record);
    ASSERT_EQ(before.size() + tail.size(), after.size());
    EXPECT_EQ(ToHex(Slice(before, 8, 28)), ToHex(Slice(after, 8, 28)));
    EXPECT_EQ(ToHex(Slice(before, 48, before.size())), ToHex(Slice(after, 48, before.size())));
    EXPECT_EQ(ToHex(tail), ToHex(Slice(after, before.size(), after.size())));
    ExpectWellFormed(after);
    EXPECT_EQ(names, Names(dir_.path()));
  }

  testutil::TempDir dir_;
};

TEST_F(E2eTest, BuildsEveryRecordKindRunByRun) {
  // -d starts afresh even over a file that is no MOCF at all.
  Input("x.mocf", "junk");
  Input("products.txt", "// products\n/* block\n 99 */\n0x0A\n\n  20 \r\n3\n");
  Outcome run = Run({"-m", "x.mocf", "-f", "products.txt", "-t", "CompatProd", "-d"});
  EXPECT_EQ("", run.out);
  EXPECT_EQ(0, run.status);
  Bytes mocf = ReadFile(Path("x.mocf"));
  EXPECT_EQ("4d4f434640000000" "000000000200000000000000" "0100000014000000",
            ToHex(Slice(mocf, 0, 28)));
  EXPECT_EQ("02000000" "10000000" "03000000" "0a000000" "14000000" "03000000",
            ToHex(Slice(mocf, 48, mocf.size())));
  ExpectWellFormed(mocf);
  EXPECT_EQ((std::set<std::string>{"x.mocf", "products.txt"}), Names(dir_.path()));

  const Bytes data = {'H', 'i', '\n', 0, 0xFF, '\r'};
  Input("hello.txt", data);
  ExpectAppended({"-m", "x.mocf", "-f", "hello.txt", "-t", "user"},
                 Record(0x60000002, Join({Padded(Record(0, Text(std::string("hello.txt", 10)))),
                                          Padded(Record(1, data))})));

  const Bytes products = Record(3, testutil::FromHex("01000000 07000000"));
  const Bytes firmware = Record(
      0x60000000, Join({products, Record(2, Text(std::string("1.0", 4))),
                        Padded(Record(1, {1, 2, 3, 4, 5}))}));
  Input("fw.obj", firmware);
  ExpectAppended({"-m", "x.mocf", "-f", "fw.obj", "-t", "object"}, firmware);

  Input("defaults.txt", "// custom defaults\nA=1;\n\n  B=2;\n");
  ExpectAppended({"-m", "x.mocf", "-f", "defaults.txt", "-t", "CustomDefaults"},
                 Record(0x60000004, Text(std::string("A=1;B=2@", 9))));

  Input("menu.txt", "/* menu\n */\nMS=1\n");
  ExpectAppended({"-m", "x.mocf", "-f", "menu.txt", "--type", "MenuSettings"},
                 Record(0x60000005, Text(std::string("MS=1.", 6))));

  Input("keys.txt", "K1=on;\n// end\n");
  ExpectAppended({"-m", "x.mocf", "-f", "keys.txt", "--type", "SwKeys", "--PartNum", "0400-1234"},
                 Record(0x60000003, Text(std::string("K1=on;FIMPNM0400-1234.", 23))));

  Input("raw.bin", "abc");
  ExpectAppended({"-m", "x.mocf", "-f", "raw.bin", "--type", "binary", "--tag", "0x60000010"},
                 Record(0x60000010, Text("abc")));

  // User files may repeat.
  ExpectAppended({"-m", "x.mocf", "-f", "raw.bin", "-t", "user"},
                 Record(0x60000002, Join({Padded(Record(0, Text(std::string("raw.bin", 8)))),
                                          Padded(Record(1, Text("abc")))})));
}

TEST_F(E2eTest, UnloadableMocfIsLeftAlone) {
  const Bytes valid = MakeMocf();
  Input("in.txt", "x");
  Bytes random(100);
  std::mt19937 generator(7);
  for (unsigned char& byte : random) byte = static_cast<unsigned char>(generator());
  Bytes flipped = valid;
  flipped.back() ^= 1;
  const std::vector<Bytes> images = {{}, random, Slice(valid, 0, valid.size() - 1), flipped};
  for (const Bytes& image : images) {
    SCOPED_TRACE(ToHex(image));
    Input("x.mocf", image);
    ExpectRefused({"-m", "x.mocf", "-f", "in.txt", "-t", "user"}, kFailed, 2);
  }
}

TEST_F(E2eTest, RefusedInputFileKeepsMocf) {
  MakeMocf();
  Input("menu.txt", "// only\n\n/* block\n comment */\n");
  ExpectRefused({"-m", "x.mocf", "-f", "menu.txt", "--type", "MenuSettings"},
                "Error creating Object Record from file.  Additional info:\n"
                "Error in Menu Settings File (empty file).\n"
                "Error in Menu Settings file\n\n" + std::string(kFailed), 2);
  Input("bad.obj", Bytes{0x10, 0, 0, 0x60, 4, 0, 0, 0, 1, 2, 3});
  ExpectRefused({"-m", "x.mocf", "-f", "bad.obj", "-t", "object"},
                "Error creating Object Record from file.  Additional info:\n"
                "Object File is invalid\n\n" + std::string(kFailed), 2);
}

TEST_F(E2eTest, Gen6RefusalKeepsMocf) {
  MakeMocf();
  Input("menu.txt", "M=1\n");
  const Args menu = {"-m", "x.mocf", "-f", "menu.txt", "--type", "MenuSettings"};
  ASSERT_EQ(0, Run(menu).status);
  ExpectRefused(menu, kInvalid, 2);
  Input("in.txt", "x");
  ExpectRefused({"-m", "x.mocf", "-f", "in.txt", "-t", "user", "-d"}, kInvalid, 2);
  Input("bad-name.txt", "x");
  ExpectRefused({"-m", "x.mocf", "-f", "bad-name.txt", "-t", "user"}, kInvalid, 2);
}

TEST_F(E2eTest, RefusedCommandLinePrintsUsage) {
  MakeMocf();
  ExpectRefused({"-m", "x.mocf", "-t", "user"},
                "No input file specified!\n" + std::string(kUsage), 1);
  ExpectRefused({"-m", "x.mocf", "-f", "products.txt", "-t", "CompatProd"},
                "Compatible Products input file can only be specified along with the -d option "
                "(or input MOCF can't exist).\n" + std::string(kUsage), 1);
  ExpectRefused({"-m", "x.mocf", "-f", "products.txt", "-t", "binary"},
                "Unrecognized file type (binary)\n" + std::string(kUsage), 1);
}

TEST_F(E2eTest, UnwritablePathCreatesNothing) {
  Input("products.txt", "1\n");
  const Outcome run = Run({"-m", "none/x.mocf", "-f", "products.txt", "-t", "CompatProd", "-d"});
  EXPECT_EQ(kFailed, run.out);
  EXPECT_EQ(2, run.status);
  EXPECT_EQ(std::set<std::string>{"products.txt"}, Names(dir_.path()));
}

TEST_F(E2eTest, ReplacedFileKeepsPermissionBits) {
  MakeMocf();
  ASSERT_EQ(0, chmod(Path("x.mocf").c_str(), 0640));
  Input("in.txt", "x");
  ExpectAppended({"-m", "x.mocf", "-f", "in.txt", "-t", "user"},
                 Record(0x60000002, Join({Padded(Record(0, Text(std::string("in.txt", 7)))),
                                          Padded(Record(1, Text("x")))})));
  EXPECT_EQ(0640u, Mode(Path("x.mocf")));
}

TEST_F(E2eTest, NewFileGetsModeFromUmask) {
  Input("products.txt", "1\n");
  const std::string umask027 = "sh -c " + Quote("umask 027; exec \"$0\" \"$@\"");
  const Outcome run = Run({"-m", "x.mocf", "-f", "products.txt", "-t", "CompatProd"}, umask027);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(0640u, Mode(Path("x.mocf")));
}

TEST_F(E2eTest, SymbolicLinkUpdatesItsTarget) {
  // A relative link is read from the link's own directory, not the caller's.
  fs::create_directory(Path("data"));
  fs::create_directory(Path("links"));
  MakeMocf("data/real.mocf");
  fs::create_symlink("../data/real.mocf", Path("links/x.mocf"));
  const Bytes before = ReadFile(Path("data/real.mocf"));
  Input("in.txt", "x");
  const Outcome run = Run({"-m", "links/x.mocf", "-f", "in.txt", "-t", "user"});
  EXPECT_EQ("", run.out);
  EXPECT_EQ(0, run.status);
  ASSERT_TRUE(fs::is_symlink(Path("links/x.mocf")));
  EXPECT_EQ("../data/real.mocf", fs::read_symlink(Path("links/x.mocf")).string());
  const Bytes after = ReadFile(Path("data/real.mocf"));
  EXPECT_EQ(ToHex(Slice(before, 48, before.size())), ToHex(Slice(after, 48, before.size())));
  EXPECT_EQ(before.size() + 36, after.size());
  ExpectWellFormed(after);
  EXPECT_EQ((std::set<std::string>{"data", "links", "products.txt", "in.txt"}),
            Names(dir_.path()));
  EXPECT_EQ(std::set<std::string>{"real.mocf"}, Names(Path("data")));
  EXPECT_EQ(std::set<std::string>{"x.mocf"}, Names(Path("links")));
}

// Ulimit -f counts 1024-byte blocks in bash; the new image is far larger
// than the limit under any block size, the old one far smaller.
std::string UnderFileSizeLimit(bool ignoreSignal) {
  const std::string trap = ignoreSignal ? "trap '' XFSZ; " : "";
  return "bash -c " + Quote("ulimit -c 0; ulimit -f 8; " + trap + "exec \"$0\" \"$@\"");
}

TEST_F(E2eTest, FileSizeLimitKeepsOldFile) {
  MakeMocf();
  Input("big.bin", Bytes(64 * 1024, 0xA5));
  ExpectRefused({"-m", "x.mocf", "-f", "big.bin", "-t", "user"}, kFailed, 2,
                UnderFileSizeLimit(true));
}

TEST_F(E2eTest, KilledByFileSizeSignalKeepsOldFile) {
  const Bytes before = MakeMocf();
  Input("big.bin", Bytes(64 * 1024, 0xA5));
  const Outcome run =
      Run({"-m", "x.mocf", "-f", "big.bin", "-t", "user"}, UnderFileSizeLimit(false));
  EXPECT_EQ(SIGXFSZ, run.signal);
  EXPECT_EQ(ToHex(before), ToHex(ReadFile(Path("x.mocf"))));
  // Only here may the unfinished temporary file stay behind.
  EXPECT_LE(Names(dir_.path()).size(), 4u);
}

class UnprivilegedE2eTest : public E2eTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the tool as uid 65534";
    if (Shell("command -v setpriv >/dev/null").status != 0) GTEST_SKIP() << "no setpriv";
    if (Run({}, kAsNobody).status != 1) GTEST_SKIP() << "uid 65534 cannot run " MOCFTOOL_PATH;
    Input("in.txt", "x");
    MakeMocf();
  }
  // Root owns everything; only the modes decide what uid 65534 may do.
  void Refused(mode_t dirMode, mode_t fileMode) {
    ASSERT_EQ(0, chmod(dir_.path().c_str(), dirMode));
    ASSERT_EQ(0, chmod(Path("x.mocf").c_str(), fileMode));
    ExpectRefused({"-m", "x.mocf", "-f", "in.txt", "-t", "user"}, kFailed, 2, kAsNobody);
  }
};

TEST_F(UnprivilegedE2eTest, ReadOnlyFileInReadOnlyDirectory) { Refused(0755, 0444); }

// Renaming over the file would be allowed here; the file's own mode forbids it.
TEST_F(UnprivilegedE2eTest, ReadOnlyFileInWritableDirectory) { Refused(0777, 0444); }

// The file could be written in place, but no temporary file can be made.
TEST_F(UnprivilegedE2eTest, WritableFileInReadOnlyDirectory) { Refused(0755, 0666); }

}  // namespace
