#include "test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "format/MocfCreator.h"
#include "inputs/ObjectRecordBuilder.h"
#include "format/TlvContainerCreator.h"

namespace testutil {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / ("mocftest-" + std::to_string(random()));
    if (std::error_code ec; fs::create_directory(candidate, ec)) {
      path_ = candidate.generic_string();
      return;
    }
  }
  throw std::runtime_error("no scratch directory can be made");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
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
  return kept;
}

const std::string& ShReasons() { return g_Reasons; }
#endif

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string State(const std::string& path) {
  return std::filesystem::exists(path) ? Str(ReadFile(path)) : "(absent)";
}

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

std::string Tree(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    entries[fs::relative(e.path(), dir).generic_string()] =
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
  for (const auto& e : fs::directory_iterator(dir)) found.insert(e.path().filename().string());
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

}  // namespace testutil
