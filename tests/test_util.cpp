#include "test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "MocfCreator.h"
#include "ObjectRecordBuilder.h"
#include "TlvContainerCreator.h"

namespace testutil {

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / ("mocftest-" + std::to_string(random()));
    if (std::error_code ec; std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate.generic_string();
      return;
    }
  }
  throw std::runtime_error("no scratch directory can be made");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

#ifndef _WIN32
namespace {
thread_local std::string g_Reasons;
}  // namespace

std::string Sh(const std::string& dir, const std::string& cmd) {
  const std::string line = "exec 2>&-;cd " + dir + "&&(" + cmd + ")2>&1;echo [exit $?]";
  FILE* pipe = popen(line.c_str(), "r");
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out += static_cast<char>(c);
  pclose(pipe);
  std::string kept;
  g_Reasons.clear();
  std::istringstream lines(out);
  for (std::string each; std::getline(lines, each);) {
    // The usage text's "mocftool:  $ProjectRevision" has two blanks.
    const bool reason = each.rfind("mocftool: ", 0) == 0 && each.size() > 10 && each[10] != ' ';
    (reason ? g_Reasons : kept) += each + "\n";
  }
  if (!out.empty() && out.back() != '\n') kept.pop_back();
  return kept;
}

const std::string& ShReasons() { return g_Reasons; }
#endif

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteFile(const std::string& path, const Bytes& content) {
  WriteFile(path, std::string(content.begin(), content.end()));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

Bytes FromHex(const std::string& hex) {
  std::string digits;
  for (unsigned char c : hex) digits += std::isxdigit(c) ? std::string(1, c) : "";
  if (digits.size() % 2) throw std::invalid_argument("odd number of hex digits");
  Bytes out(digits.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = std::stoi(digits.substr(2 * i, 2), nullptr, 16);
  return out;
}

std::string ToHex(const unsigned char* data, size_t size) {
  std::string out(2 * size + 1, '\0');
  for (size_t i = 0; i < size; ++i) std::snprintf(&out[2 * i], 3, "%02x", data[i]);
  out.pop_back();
  return out;
}

std::string ToHex(const Bytes& bytes) { return ToHex(bytes.data(), bytes.size()); }

std::string Put(const std::string& name, const std::string& text) {
  static const TempDir dir;
  WriteFile(dir.File(name), text);
  return dir.File(name);
}

std::string Build(FileType_t type, const std::string& path, const char* partNum, unsigned int tag) {
  const InParams_t params = {path.c_str(), partNum, type, tag};
  const Bytes known = FromHex("efbeadde 01000000 7f");
  CTlvContainerCreator out;
  out.Set(&known);
  const std::string before = GetErrorStr();
  const bool ok = CreateObjectRecordFromFile(&params, &out);
  const std::string after = GetErrorStr();
  EXPECT_EQ(before, after.substr(0, before.size()));
  EXPECT_TRUE(ok || *out.Get() == known) << "a failure changed the record";
  return (ok ? "ok " + ToHex(*out.Get()) : "failed") + " / " + after.substr(before.size());
}

std::string Ok(const std::string& hex) { return "ok " + ToHex(FromHex(hex)) + " / "; }

Bytes Rec(unsigned int tag, const std::string& value, const std::vector<Bytes>& children) {
  const CTlv::Header_t header = {tag, static_cast<uint32_t>(value.size())};
  CTlvContainerCreator record;
  record.Set(&header, Bytes(value.begin(), value.end()));
  for (const Bytes& child : children) {
    CTlvContainerCreator carrier;
    carrier.Set(&child);
    record.AddObject(&carrier);
  }
  return *record.Get();
}

std::string RecS(uint32_t tag, const std::string& value, const std::vector<std::string>& kids) {
  std::vector<Bytes> nested;
  for (const std::string& k : kids) nested.emplace_back(k.begin(), k.end());
  return Str(Rec(tag, value, nested));
}

Bytes Seal(Bytes image) {
  CMocfCreator mocf;
  mocf.Set(&image);
  mocf.Finish();
  return *mocf.Get();
}

std::string ToolRuns(const std::vector<std::string>& runs) {
  std::string out = "true";
  for (const std::string& run : runs) out += " && " + kTool + " -m " + run;
  return out;
}

std::string Str(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string U32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string Tree(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
    entries[std::filesystem::relative(e.path(), dir).generic_string()] =
        e.is_directory() ? "/" : Str(ReadFile(e.path().string()));
  std::string out;
  for (const auto& [name, bytes] : entries) out += name + "=" + bytes + "\n";
  return out;
}

void RunCases(int count, const std::function<void(int)>& one) {
  std::atomic<int> next(0);
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back([&] {
      for (int c; (c = next++) < count && !testing::Test::HasFailure();) one(c);
    });
  for (std::thread& worker : workers) worker.join();
}

std::pair<bool, std::string> Printed(const std::function<bool()>& call) {
  testing::internal::CaptureStdout();
  const bool ok = call();
  std::fflush(stdout);
  return {ok, testing::internal::GetCapturedStdout()};
}

std::string ShQuote(const std::string& word) {
  std::string out = "'";
  for (const char c : word) out += c == '\'' ? "'\\''" : std::string(1, c);
  return out + "'";
}

#ifndef _WIN32
std::vector<std::string> UnpackedRuns(const std::string& dir, const std::string& made,
                                      const std::string& context) {
  std::vector<std::string> runs;
  std::set<std::string> named = {"records.list"}, found;
  std::istringstream in(Str(ReadFile(dir + "/records.list")));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("//", 0) == 0) continue;
    runs.push_back(line);
    const size_t at = line.find("-f ");
    if (at != std::string::npos) named.insert(line.substr(at + 3, line.find(' ', at + 3) - at - 3));
  }
  for (const auto& e : std::filesystem::directory_iterator(dir))
    found.insert(e.path().filename().string());
  EXPECT_EQ(named, found) << context;
  if (!made.empty()) {
    const TempDir again;
    EXPECT_EQ("[exit 0]\n", Sh(again.path(), kBuild + " -d -m m " + ShQuote(dir + "/records.list")))
        << context;
    EXPECT_TRUE(made == Str(ReadFile(again.File("m")))) << context;
  }
  return runs;
}
#endif

std::string Random::Junk(int max) {
  std::string s(R(max + 1), '\0');
  for (char& c : s) c = R(5) ? static_cast<char>(R(256)) : '\0';
  return s;
}

std::string Random::Number(uint32_t v, bool tag) {
  char hex[16];
  std::snprintf(hex, sizeof hex, P(50) ? "%x" : "%X", v);
  return P(45) ? std::to_string(v) : (tag && P(5) ? "0X" : "0x") + std::string(hex);
}

RandomInputs::RandomInputs(unsigned seed, const std::vector<std::string>& folders) : Random(seed) {
  using namespace std::string_literals;
  const auto hex8 = [](uint32_t v) {
    char t[16];
    return std::string(t, std::snprintf(t, sizeof t, "%08X", v));
  };
  const auto add = [&](std::vector<std::string> words, std::string line, std::string user = "") {
    kinds.push_back({std::move(words), std::move(line), std::move(user)});
  };
  std::map<std::string, std::string> same;  // inputs alike in every folder
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
    const std::string word = Number(tag, true), hex = hex8(word[1] == 'X' ? 0 : tag);
    add({"--type", "binary", "--tag", word, "-f", "b.bin"},
        tag == 0x60000005 || tag == 0x60000002
            ? ""
            : "--type binary --tag 0x" + hex + " -f %-tag-" + hex + ".bin");
  }
  for (const std::string& name : names) add({"-f", name, "-t", "user"}, "", name);
  plain = kinds.size();
  const std::vector<std::string> odd = {
      std::string(53, 'n') + ".txt", std::string(54, 'n') + ".txt", "bad-name.txt", "sub/x.txt",
      "name with space.txt", "back\\slash.txt", "q\"uote.txt"};
  for (const std::string& name : odd) add({"-f", name, "-t", "user"}, "");
  for (const std::string& folder : folders) {
    std::filesystem::create_directories(folder + "/sub");
    for (const auto& [file, bytes] : same) WriteFile(folder + "/" + file, bytes);
    for (const std::string& name : names)
      WriteFile(folder + "/" + name, name[0] == 'e' ? "" : Junk(80));
    for (const std::string& name : odd) WriteFile(folder + "/" + name, Junk(80));
    WriteFile(folder + "/b.bin", Junk(50));
  }
}

}  // namespace testutil
