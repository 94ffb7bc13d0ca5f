// libmocf's public API, linked as the shared library alone so that what it
// calls must be exported, against what mocfinfo, mocfbuild and mocftool
// print or write for the same file or the same run.
#include <gtest/gtest.h>
#include <mocf/mocf.hpp>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
const std::string kExamples = MOCF_SOURCE_DIR "/examples/", kList = kExamples + "example.list";
const std::string kTool = "'" MOCFTOOL_PATH "' ", kInfo = "'" MOCFINFO_PATH "' ",
                  kBuild = "'" MOCFBUILD_PATH "' ", kEdit = "'" MOCFEDIT_PATH "' ";

std::string Read(const std::string& path) {
  return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

struct Ran { std::string out; int status; };
// What a shell command run in dir prints on standard output, and its status.
Ran Shell(const std::string& dir, const std::string& command) {
  FILE* pipe = popen(("cd '" + dir + "' && " + command).c_str(), "r");
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out += static_cast<char>(c);
  const int status = pclose(pipe);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A scratch folder holding the example as mocfbuild makes it, ex.mocf.
struct Scratch {
  std::string dir = (fs::temp_directory_path() / "mocfapi-XXXXXX").string(), ex;
  Scratch() {
    mkdtemp(&dir[0]);
    ex = *this / "ex.mocf";
    EXPECT_EQ(0, Shell(dir, kBuild + "-d -m ex.mocf '" + kList + "'").status);
  }
  ~Scratch() { fs::remove_all(dir); }
  std::string operator/(const std::string& name) const { return dir + "/" + name; }
};

std::tuple<int, int, int, std::string> LastError() {
  const mocf_error& e = *mocf_error_last();
  return {e.code, e.status, e.line, e.message};
}
// The code of the wrapper's exception, which must carry the C call's last error.
int Thrown(const std::function<void()>& call) {
  try {
    call();
  } catch (const mocf::Error& e) {
    EXPECT_EQ(LastError(), std::make_tuple(e.code(), e.status(), e.line(), std::string(e.what())));
    return e.code();
  }
  return 0;
}

// Every field of every record is compared with mocfinfo --json through these
// calls by the Python package's test; here the wrapper's own reads.
TEST(MocfApi, TheWrapperReadsTheExampleAsItsInputsMakeIt) {
  const Scratch s;
  mocf::File moved = mocf::File::open(s.ex), other = mocf::File::open(s.ex);
  mocf_file* const handle = moved.handle();
  other = std::move(moved);  // closes the one it held
  mocf::File f = std::move(other);
  EXPECT_TRUE(!moved.handle() && !other.handle() && f.handle() == handle);
  EXPECT_TRUE(f.valid() && f.reason().empty() && f.walkStop().empty());
  ASSERT_EQ(8, f.recordCount());
  const mocf::Record r = f.record(5);
  EXPECT_EQ(std::make_tuple(uint64_t{0xA8}, 0x60000000u, 72u, std::string("firmware"),
                            std::string("products 6699; software \"2.4.1\"; data 32 bytes")),
            std::make_tuple(r.offset, r.tag, r.length, std::string(r.kind), f.description(5)));
  EXPECT_EQ(std::make_tuple(std::string("welcome.txt"), Read(kExamples + "welcome.txt")),
            std::make_tuple(f.userFile(4).name, std::string(f.userFile(4).data.view())));
  EXPECT_EQ("Display.Brightness=70;Display.Timeout=300;Audio.Volume=5.", f.text(6));
  EXPECT_EQ(std::vector<uint32_t>({6699, 4100}), f.products(3));
  EXPECT_EQ(std::make_tuple(std::string("2.4.1"), uint64_t{32}, std::string("0400-1234")),
            std::make_tuple(f.firmware(5).software, f.firmware(5).data.size, f.partNumber(7)));
  EXPECT_NE(std::string::npos, Read(kExamples + "firmware.obj").find(f.firmware(5).data.view()));
  EXPECT_EQ(MOCF_ENOTFOUND, Thrown([&] { f.record(9); }));
  EXPECT_EQ(MOCF_VERSION, mocf::version());
}

// A file that is no MOCF opens, from memory too, and is judged as mocfinfo
// --verify judges it; mocfinfo --json's verdicts are the Python test's.
TEST(MocfApi, EachFailureGivesItsCodeAndTheProgramsWords) {
  const Scratch s;
  const std::string ex = s.ex, before = Read(ex), none = s / "none.mocf", bad = s / "bad.mocf";
  const mocf::File hold = mocf::File::open(ex);
  mocf_file *f = hold.handle(), *g = nullptr;
  mocf_record r;
  const char *text, *u = "welcome.txt";
  size_t size;
  uint64_t length;
  const unsigned char* data;
  const int E = MOCF_EARG;
  const std::string beyond = Shell(s.dir, kInfo + "--extract 9 -o x ex.mocf 2>&1").out;
  ASSERT_EQ(0u, beyond.rfind("mocfinfo: ex.mocf: there", 0)) << beyond;
  std::ofstream(bad) << "";
  const std::string verdict = Shell(s.dir, kInfo + "--verify '" + bad + "'").out;
  const mocf::File emptyHold = mocf::File::fromMemory(nullptr, 0, bad);
  mocf_file* const empty = emptyHold.handle();
  const struct { int code; std::function<int()> call; std::string message; } cases[] = {
      {MOCF_EIO, [&] { return mocf_open(&g, none.c_str()); },
       "cannot read " + none + ": No such file or directory\n"},
      {MOCF_EINVALID, [&] { return mocf_check(empty); }, verdict},
      {MOCF_ENOTFOUND, [&] { return mocf_record_get(f, 9, &r); }, beyond.substr(19)},
      {MOCF_ENOTFOUND, [&] { return mocf_record_data(f, 0, MOCF_PART_VALUE, &data, &length); },
       "there is no record 0 (the walk finds 8)\n"},
      {MOCF_ENOTFOUND, [&] { return mocf_text(f, 4, &text, &size); },
       "record 4 (user file at 0x44) holds no settings text\n"},
      {MOCF_ENOTFOUND, [&] { return mocf_part_number(f, 6, &text, &size); },
       "record 6 (menu settings at 0xF8) holds no part number\n"},
      {MOCF_ENOTFOUND, [&] { return mocf_user_file(f, 3, &text, &size, &data, &length); },
       "record 3 (compatible products at 0x30) holds no user file\n"},
      {MOCF_ENOTFOUND, [&] { return mocf_firmware(f, 4, &text, &size, &data, &length); },
       "record 4 (user file at 0x44) holds no firmware\n"},
      {MOCF_ENOTFOUND, [&] { return mocf_products(f, 1, nullptr, 0, &size); },
       "record 1 (version at 0x8) holds no product list\n"},
      // A wrong argument has words of its own: any line.
      {E, [&] { return mocf_record_data(f, 1, 3, &data, &length); }, ""},
      {E, [&] { return mocf_open(nullptr, ex.c_str()); }, ""},
      {E, [&] { return mocf_check(nullptr); }, ""},
      {E, [&] { return mocf_open(&g, nullptr); }, ""},
      {E, [&] { return mocf_unpack(f, nullptr); }, ""},
      {E, [&] { return mocf_open_memory(&g, nullptr, 4, nullptr); }, ""},
      {E, [&] { return mocf_record_get(nullptr, 1, &r); }, ""},
      {E, [&] { return mocf_record_get(f, 1, nullptr); }, ""},
      {E, [&] { return mocf_record_description(f, 1, nullptr); }, ""},
      {E, [&] { return mocf_record_read(f, 1, 0, 0, nullptr, 4, &size); }, ""},
      {E, [&] { return mocf_products(f, 3, nullptr, 2, &size); }, ""},
      {E, [&] { return mocf_record_save(f, 1, 0, nullptr); }, ""},
      {E, [&] { return mocf_bytes(nullptr, &data, &length); }, ""},
      {E, [&] { return mocf_build(nullptr, ex.c_str(), 0, nullptr, nullptr); }, ""},
      {E, [&] { return mocf_build(kList.c_str(), ex.c_str(), 2, nullptr, nullptr); }, ""},
      {E, [&] { return mocf_append(ex.c_str(), u, nullptr, 0, nullptr, nullptr); }, ""},
      {E, [&] { return mocf_append(ex.c_str(), u, "user", 4, nullptr, nullptr); }, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message + std::to_string(&c - cases));
    EXPECT_EQ(c.code, c.call());
    const auto [code, status, line, said] = LastError();
    EXPECT_EQ(std::make_tuple(c.code, c.code == MOCF_EINVALID, 0),
              std::make_tuple(code, status, line));
    EXPECT_TRUE(c.message.empty() ? said.size() > 1 && said.back() == '\n' : c.message == said)
        << said;
    ASSERT_EQ(0, mocf_record_get(f, 2, &r));  // which clears it
    EXPECT_EQ(std::make_tuple(0, 0, 0, std::string()), LastError());
  }
  EXPECT_EQ(0, mocf_valid(nullptr) + mocf_record_count(nullptr) + int(mocf_size(nullptr)) +
                   mocf_valid(empty) + int(mocf_size(empty)));
  // No failure left a handle, nor changed the MOCF.
  EXPECT_TRUE(!g && before == Read(ex));
}

// A build is mocfbuild's: the same bytes, the same progress through the
// wrapper; refused, the same status, line and words, the MOCF as it was. A
// list it cannot read mocfbuild follows with its usage, which the API leaves out.
TEST(MocfApi, BuildsWriteMocfbuildsBytesOrSayWhatItSays) {
  const Scratch s;
  const std::string ex = s.ex, before = Read(ex), list = s / "l.list", none = s / "none.list";
  std::vector<std::tuple<int, uint64_t, uint64_t>> seen;
  mocf::build(kList, s / "api.mocf", true,
              [&](const mocf::Progress& p) { seen.emplace_back(p.line, p.written, p.total); });
  EXPECT_TRUE(before == Read(s / "api.mocf"));
  // Each run's line as it is read, the first on line 6, then the bytes written.
  ASSERT_GT(seen.size(), 6u);
  EXPECT_EQ(std::make_tuple(6, uint64_t{0}, uint64_t{0}), seen.front());
  EXPECT_EQ(std::make_tuple(14, before.size(), before.size()), seen.back());
  // The second menu settings fail the build on line 3.
  std::ofstream(s / "p.txt") << "7\n";
  std::ofstream(s / "ms.txt") << "M=1;\n";
  const std::string menu = "-f ms.txt --type MenuSettings\n";
  std::ofstream(list) << "-f p.txt -t CompatProd\n" + menu + menu;
  // Refused too: a line the options refuse, on line 2; a MOCF that is a folder, on none.
  std::ofstream(s / "tag.list") << "-f p.txt -t CompatProd\n-f p.txt --type binary\n";
  for (const auto& [l, m, code, at] :
       {std::tuple(list, ex, MOCF_EFAILED, 3), std::tuple(s / "tag.list", ex, MOCF_EREFUSED, 2),
        std::tuple(list, s.dir, MOCF_EFAILED, 0)}) {
    SCOPED_TRACE(l + " " + m);
    const Ran program = Shell(s.dir, kBuild + "-d -m '" + m + "' '" + l + "' 2>&1 >/dev/null");
    EXPECT_EQ(code, mocf_build(l.c_str(), m.c_str(), MOCF_FRESH, nullptr, nullptr));
    EXPECT_EQ(std::make_tuple(code, program.status, at, program.out), LastError());
    EXPECT_EQ(code, Thrown([&, l = l, m = m] { mocf::build(l, m, true); }));
  }
  EXPECT_TRUE(before == Read(ex));
  const Ran unread = Shell(s.dir, kBuild + "-m '" + ex + "' '" + none + "' 2>&1 >/dev/null");
  EXPECT_EQ(MOCF_EIO, mocf_build(none.c_str(), ex.c_str(), 0, nullptr, nullptr));
  const auto [code, status, line, why] = LastError();
  EXPECT_TRUE(status == unread.status && unread.out.rfind(why + "usage: ", 0) == 0) << why;
}

// Run by run on one MOCF, an append is mocftool's: the same bytes, or the same
// status and words, without the usage that follows a refused command line.
// Keys may come from a part number alone; relative paths given to the API
// mean what they mean to a program run there.
TEST(MocfApi, AppendsWriteMocftoolsBytesOrSayWhatItSays) {
  const Scratch s;
  const std::string api = s / "api.mocf", tool = s / "tool.mocf", empty = s / "empty.txt";
  std::ofstream(empty) << "// nothing\n";
  // Refusals whose reason the tool adds on standard error: a stored name
  // with a folder in it, a MOCF that is a folder or whose digest is wrong.
  std::ofstream(s / "notes.txt") << "hi\n";
  const std::string rel = fs::relative(s / "notes.txt", kExamples).string(), bad = s / "bad.mocf";
  std::string damaged = Read(s.ex);
  damaged[0x50] ^= 1;
  std::ofstream(bad, std::ios::binary) << damaged;
  const fs::path was = fs::current_path();
  fs::current_path(kExamples);
  const struct {
    const char *input, *type;
    unsigned flags;
    const char *part, *tag, *args, *mocf = nullptr;  // api.mocf and tool.mocf when none
  } runs[] = {
      {"products.txt", "CompatProd", MOCF_FRESH, nullptr, nullptr, "-t CompatProd -d"},
      {"no.txt", "user", 0, nullptr, nullptr, "-t user"},
      {empty.c_str(), "bogus", 0, nullptr, nullptr, "--type bogus"},
      {nullptr, "SwKeys", 0, "12345678901234567890", 0, "--type SwKeys --PartNum 12345678901234567890"},
      {"custom_defaults.txt", "customdefaults", 0, nullptr, nullptr, "-T CUSTOMDEFAULTS"},
      {rel.c_str(), "user", 0, nullptr, nullptr, "-t user"},
      {"welcome.txt", "user", 0, nullptr, nullptr, "-t user", s.dir.c_str()},
      {"welcome.txt", "user", 0, nullptr, nullptr, "-t user", bad.c_str()},
      {empty.c_str(), "binary", 0, nullptr, nullptr, "--type binary"},
      {empty.c_str(), "binary", 0, nullptr, "xyz", "--type binary --tag xyz"},
      {nullptr, "SwKeys", 0, "123456789012345678901", 0,
       "--type SwKeys --PartNum 123456789012345678901"},
      {empty.c_str(), "CustomDefaults", MOCF_FRESH, nullptr, nullptr, "-t CustomDefaults -d"}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.args);
    const std::string a = run.mocf ? run.mocf : api, t = run.mocf ? run.mocf : tool;
    const int code = mocf_append(a.c_str(), run.input, run.type, run.flags, run.part, run.tag);
    const auto [_, status, line, message] = LastError();
    const std::string file = run.input ? "-f " + std::string(run.input) + " " : "";
    // Its standard output without the usage text, then its standard error.
    const std::string err = "'" + s / "err" + "'", st = "'" + s / "status" + "'";
    const Ran program = Shell(kExamples, "(" + kTool + "-m '" + t + "' " + file + run.args +
                                             " 2>" + err + "; echo $? >" + st +
                                             ") | sed '/ProjectRevision/,$d'; cat " + err +
                                             "; exit $(cat " + st + ")");
    const int want = program.status == 0 ? 0 : program.status == 1 ? MOCF_EREFUSED : MOCF_EFAILED;
    EXPECT_EQ(std::make_tuple(want, program.status, 0), std::make_tuple(code, status, line));
    EXPECT_TRUE(Read(tool) == Read(api));
    if (!code) continue;
    EXPECT_EQ(code, Thrown([&] {
      mocf::append(a, run.input ? run.input : "", run.type,
                   {run.flags != 0, run.part ? run.part : "", run.tag ? run.tag : ""});
    }));
    // A hint that names the MOCF names each its own.
    const size_t named = message.find("-m api.mocf");
    EXPECT_EQ(program.out, named == std::string::npos
                               ? message
                               : std::string(message).replace(named, 11, "-m tool.mocf"));
    EXPECT_NE(std::string::npos, message.find("mocftool: "));  // every refusal says why
  }
  fs::current_path(was);
}

// A writer that replaces a MOCF with a signature beside it succeeds with the
// program's line as the last error, code and status 0, which the wrapper
// returns; without one, or refused, it says nothing of it.
TEST(MocfApi, WritersThatLeaveASignatureBehindSayItOnSuccess) {
  const Scratch s;
  const std::string sig = s.ex + ".sig", notes = s / "notes.txt";
  std::ofstream(sig) << "SIG";
  std::ofstream(notes) << "hi\n";
  const std::string stale = ": the signature " + sig + " no longer matches " + s.ex + "; sign it again with mocfsign\n";
  EXPECT_EQ("mocfbuild" + stale, mocf::build(kList, s.ex, true));
  EXPECT_EQ(std::make_tuple(0, 0, 0, "mocfbuild" + stale), LastError());
  EXPECT_EQ("mocftool" + stale, mocf::append(s.ex, notes, "binary", {false, "", "0x70000001"}));
  mocf::Edit e = mocf::Edit::open(s.ex);
  e.remove("tag:0x70000001");
  EXPECT_EQ("mocfedit" + stale, e.commit());
  EXPECT_EQ(MOCF_EREFUSED, mocf_append(s.ex.c_str(), "none.txt", "user", 0, nullptr, nullptr));
  EXPECT_EQ(std::string::npos, std::get<3>(LastError()).find("signature"));
  EXPECT_EQ("SIG", Read(sig));
  fs::remove(sig);
  EXPECT_EQ("", mocf::append(s.ex, notes, "binary", {false, "", "0x70000001"}));
}

// The memory handle reads its own copy, as the file handle reads the file;
// what either hands out stays put while it lives, whatever is asked meanwhile.
// An unpack into a folder already filled, or from a MOCF no list rebuilds
// exactly: mocfinfo's status and words. The Python test compares the
// unpacked files.
TEST(MocfApi, RecordBytesAndUnpacksAreMocfinfosFromTheFileOrACopyOfIt) {
  const Scratch s;
  std::string buffer = Read(s.ex);
  const mocf::File handles[] = {mocf::File::open(s.ex),
                                mocf::File::fromMemory(buffer.data(), buffer.size(), s.ex)};
  buffer.assign(buffer.size(), '\xEE');
  std::vector<std::pair<std::string_view, std::string>> kept;
  for (int n = 1; n <= 8; ++n) {
    std::string whole;
    for (const auto& [part, option] :
         {std::pair(MOCF_PART_RECORD, " --record "), std::pair(MOCF_PART_CONTENT, " --extract "),
          std::pair(MOCF_PART_VALUE, "")}) {
      SCOPED_TRACE(option + std::to_string(n));
      const std::string extracted = " -o want ex.mocf && cat want";
      const std::string want =
          *option ? Shell(s.dir, kInfo + option + std::to_string(n) + extracted).out : whole.substr(8);
      if (part == MOCF_PART_RECORD) whole = want;
      for (mocf_file* const f : {handles[0].handle(), handles[1].handle()}) {
        const unsigned char *data = nullptr, *all = nullptr;
        uint64_t size = 0, total = 0;
        mocf_record r{};
        ASSERT_EQ(0, mocf_record_data(f, n, part, &data, &size) +
                         mocf_bytes(f, &all, &total) + mocf_record_get(f, n, &r));
        EXPECT_TRUE(total == mocf_size(f) && data + size <= all + total);
        EXPECT_TRUE(part != MOCF_PART_RECORD || all + r.offset == data);
        const std::string_view view(reinterpret_cast<const char*>(data), size);
        kept.emplace_back(view, view);
        std::string read;
        char chunk[5];
        for (size_t copied = 1; copied;) {
          ASSERT_EQ(0, mocf_record_read(f, n, part, read.size(), chunk, 5, &copied));
          read.append(chunk, copied);
        }
        ASSERT_EQ(0, mocf_record_save(f, n, part, (s / "got").c_str()));
        EXPECT_EQ(std::make_tuple(want, want, want),
                  std::make_tuple(kept.back().second, read, Read(s / "got")));
      }
    }
  }
  mocf_record r;
  for (int i = 0; i < 400; ++i) mocf_record_get(handles[i % 2].handle(), 8 - i % 8, &r);
  const std::string u = s / "u", tail = s / "tail.mocf";
  ASSERT_EQ(0, mocf_unpack(handles[0].handle(), u.c_str())) << mocf_error_last()->message;
  EXPECT_EQ(MOCF_EIO, mocf_unpack(handles[1].handle(), u.c_str()));
  const auto [_, status, line, message] = LastError();
  const Ran filled = Shell(s.dir, kInfo + "--unpack '" + u + "' ex.mocf 2>&1 >/dev/null");
  EXPECT_EQ(std::make_tuple(filled.status, filled.out), std::make_tuple(status, message));
  std::ofstream(tail, std::ios::binary) << Read(s.ex) + "xyz";
  std::string why;
  EXPECT_FALSE(mocf::File::open(tail).unpack(s / "api", &why));
  const Ran inexact = Shell(s.dir, kInfo + "--unpack t '" + tail + "' 2>&1 >/dev/null");
  EXPECT_EQ(std::make_tuple(inexact.status, inexact.out),
            std::make_tuple(mocf_error_last()->status, why));
  for (const auto& [view, copy] : kept) EXPECT_EQ(copy, view);
}

// An edit is mocfedit's: a user file from memory and a set write the bytes
// mocfedit writes from a file; a refusal has its status and words, less the
// "mocfedit: edit N (...): " it puts before them, and the edit goes on.
// While an edit is open, its MOCF's other writers wait.
TEST(MocfApi, EditsWriteMocfeditsBytesOrSayWhatItSays) {
  const Scratch s;
  std::ofstream(s / "notes.txt") << "hello\n";
  std::ofstream(s / "other.txt") << "";
  const std::string before = Read(s.ex), add = " --add '-f notes.txt -t user'",
                    set = " --set MenuSettings Display.Timeout=600";
  ASSERT_EQ(0, Shell(s.dir, kEdit + "-m ex.mocf -o tool.mocf" + add + set).status);
  fs::copy_file(s.ex, s / "copy.mocf");  // for the program while the edit holds ex.mocf
  mocf::Edit e = mocf::Edit::open(s.ex);
  // From memory, the tool's own words come first, and the run's hint may follow.
  const struct { std::string args; std::function<void()> call; bool memory; } refused[] = {
      {" --remove user:none.txt", [&] { e.remove("user:none.txt"); }, false},
      {" --set 4 K=1", [&] { e.set(4, "K", "1"); }, false},
      {" --add '-f notes.txt --type SwKeys'", [&] { e.add("-f " + s / "notes.txt --type SwKeys"); }, false},
      {" --replace 4 '-f notes.txt -t user' --at 99", [&] { e.replace(4, "-f " + s / "notes.txt -t user", 99); },
       false},
      {" --add '-f notes.txt --type SwKeys'", [&] { e.add(mocf::Input("SwKeys", "k=1;")); }, true},
      {" --add '-f other.txt --type MenuSettings'", [&] { e.add(mocf::Input("MenuSettings", "")); },
       true},
      {" --add '-f notes.txt --type binary'", [&] { e.add(mocf::Input("binary", "x")); }, true},
      {" --add '-f notes.txt -t CompatProd'", [&] { e.add(mocf::Input("CompatProd", "1")); }, true}};
  for (const auto& r : refused) {
    SCOPED_TRACE(r.args);
    const Ran program = Shell(s.dir, kEdit + "-m copy.mocf -o no.mocf" + r.args + " 2>&1");
    ASSERT_GT(program.status, 0);
    const int code = Thrown(r.call);
    const auto [_, status, line, said] = LastError();
    EXPECT_EQ(std::make_tuple(program.status == 1 ? MOCF_EREFUSED : MOCF_EFAILED, program.status),
              std::make_tuple(code, status));
    std::string words;
    for (size_t at = 0; at < program.out.size();) {
      const size_t end = program.out.find('\n', at), from = program.out.find("): ", at) + 3;
      words += program.out.substr(from, end + 1 - from);
      at = end + 1;
    }
    std::string lines = said;  // the program leaves out empty lines
    for (size_t at; (at = lines.find("\n\n")) != std::string::npos;) lines.erase(at, 1);
    EXPECT_EQ(r.memory ? words.substr(0, lines.size()) : words, lines);
    EXPECT_TRUE(!said.empty());
  }
  e.add(mocf::Input("user", "hello\n", "notes.txt"));
  e.set("MenuSettings", "Display.Timeout", "600");
  EXPECT_EQ(9, e.recordCount());
  const std::string tool = Read(s / "tool.mocf");
  const std::vector<unsigned char> rendered = e.render();
  EXPECT_TRUE(tool == std::string(rendered.begin(), rendered.end()));
  std::atomic<bool> appended{false};
  std::thread other([&] {
    EXPECT_EQ(0, mocf_append(s.ex.c_str(), (s / "notes.txt").c_str(), "binary", 0, nullptr, "0x70000001"))
        << mocf_error_last()->message;
    appended = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(appended);
  EXPECT_TRUE(before == Read(s.ex));
  std::vector<uint64_t> heard;
  e.commit("", [&](const mocf::Progress& p) { heard.push_back(p.line + p.total); });
  other.join();
  EXPECT_TRUE(appended && heard.back() == tool.size());
  EXPECT_EQ(10, mocf::File::open(s.ex).recordCount());
  EXPECT_EQ(MOCF_EARG, Thrown([&] { e.remove(3); }));  // spent
  // From memory, a result goes elsewhere, and only there.
  mocf::Edit m = mocf::Edit::fromMemory(tool.data(), tool.size());
  m.remove("user:notes.txt");
  m.unset("MenuSettings", "Display.Timeout");
  EXPECT_EQ(MOCF_EARG, Thrown([&] { m.commit(); }));
  m.commit(s / "mem.mocf");
  EXPECT_EQ(8, mocf::File::open(s / "mem.mocf").recordCount());
  // Afresh, the product list first; software keys by their part number
  // alone read no file, not even one of the name they are given.
  mocf::Edit f = mocf::Edit::open(s / "fresh.mocf", true);
  f.add(mocf::Input("CompatProd", "0x1A2B\n"));
  f.add(mocf::Input("SwKeys", std::string_view(), s / "notes.txt", "999"));
  f.commit();
  std::ofstream(s / "p.txt") << "0x1A2B\n";
  ASSERT_EQ(0, Shell(s.dir, kTool + "-m t.mocf -d -f p.txt -t CompatProd && " + kTool +
                                "-m t.mocf --type SwKeys --PartNum 999").status);
  EXPECT_TRUE(Read(s / "t.mocf") == Read(s / "fresh.mocf"));
}

// A root and a signer under it, made afresh by openssl in the folder.
const char kPki[] =
    "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout root.key "
    "-out root.pem -subj /CN=Root -days 400 -addext basicConstraints=critical,CA:TRUE "
    "-addext keyUsage=critical,keyCertSign 2>/dev/null && "
    "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout signer.key "
    "-out signer.pem -subj /CN=Signer -days 365 -CA root.pem -CAkey root.key "
    "-addext basicConstraints=CA:FALSE -addext keyUsage=critical,digitalSignature "
    "-addext extendedKeyUsage=codeSigning 2>/dev/null";

// Signatures come through as the engine judges them, every signer's verdict
// with them, verified or not; refusals in mocfsign's words, and a check that
// cannot be made throws. Without libcrypto, or openssl to make keys, there
// is nothing to sign with, unless signing is required.
TEST(MocfApi, SignaturesPassTheEnginesVerdictsThrough) {
  const Scratch s;
  mocf_verification* none = nullptr;
  mocf_verify_signature("none", nullptr, "none", 1, 0, &none);
  mocf_verification_free(none);
  const bool can = !std::strstr(mocf_error_last()->message, "no signature support") &&
                   Shell(s.dir, kPki).status == 0;
  const char* required = std::getenv("MOCF_REQUIRE_SIGNING");
  if (!can && required && std::string(required) == "1") FAIL() << "signing is required";
  if (!can) GTEST_SKIP() << "no signature support or no openssl";
  EXPECT_EQ("", mocf::sign(s.ex, s / "signer.key", s / "signer.pem"));
  const mocf::Verification v = mocf::verifySignature(s.ex, s / "root.pem");
  ASSERT_EQ(1u, v.signers.size());
  const mocf::Signer& signer = v.signers[0];
  EXPECT_EQ(std::make_tuple(0, true, 1, std::string(), true, true, "CN=Signer", "CN=Root", true),
            std::make_tuple(v.status, v.verified, v.signersVerified, v.reason, v.mocfValid,
                            v.signatureFound, signer.subject, signer.issuer, signer.verified));
  std::string bytes = Read(s.ex);
  bytes[200] ^= 1;
  std::ofstream(s.ex, std::ios::binary) << bytes;
  const mocf::Verification flipped = mocf::verifySignature(s.ex, s / "root.pem");
  EXPECT_EQ(MOCF_ENOTVERIFIED, mocf_error_last()->code);
  EXPECT_TRUE(!flipped.verified && flipped.status == 1 && !flipped.reason.empty() &&
              !flipped.mocfValid && !flipped.signers.at(0).verified &&
              !flipped.signers[0].reason.empty());
  EXPECT_EQ(0u, std::string(mocf_error_last()->message).rfind("mocfsign: ", 0));
  std::ofstream(s / "bad.key") << "no key\n";
  EXPECT_EQ(MOCF_EFAILED, Thrown([&] { mocf::sign(s.ex, s / "bad.key", s / "signer.pem"); }));
  EXPECT_EQ(0u, std::string(mocf_error_last()->message).rfind("mocfsign: " + s / "bad.key ", 0));
  EXPECT_EQ(MOCF_EFAILED, Thrown([&] { mocf::sign(s.ex, s / "signer.key", s / "signer.pem", {"", "hunter2", ""}); }));
  EXPECT_EQ(std::string::npos, std::string(mocf_error_last()->message).find("hunter2"));
  EXPECT_EQ(MOCF_EIO, Thrown([&] { mocf::verifySignature(s.ex, s / "none.pem"); }));
}

}  // namespace
