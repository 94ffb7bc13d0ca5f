// libmocf's writing and comparing calls on several threads at once, each on
// files of its own: a thread gets what the same calls give alone, in bytes,
// progress and words, and the working folder stays the caller's throughout.
#include <gtest/gtest.h>
#include <mocf/mocf.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr int kThreads = 4, kRounds = 6, kFailures = 25;

std::string Read(const fs::path& path) {
  return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}

// What one thread's calls give in its folder, each call's words with what
// it made, each code checked: a list of relative inputs built, a MOCF grown
// from absolute ones, the first unpacked (then again, into a folder now
// filled), both compared; then quick failures, so that threads' overlap.
std::vector<std::string> Operate(const fs::path& dir) {
  std::vector<std::string> got;
  const auto said = [&got](int want, int code, const std::string& made = "") {
    EXPECT_EQ(want, code) << "call " << got.size();
    got.push_back(mocf_error_last()->message + made);
  };
  const auto at = [&dir](const char* name) { return (dir / name).string(); };
  const std::string built = at("built.mocf"), grown = at("grown.mocf"), into = at("unpacked");
  std::string made;
  const mocf_progress_fn progressed = [](void* seen, int line, uint64_t written, uint64_t) {
    *static_cast<std::string*>(seen) += std::to_string(line) + ":" + std::to_string(written) + " ";
  };
  said(0, mocf_build(at("example.list").c_str(), built.c_str(), MOCF_FRESH, progressed, &made));
  said(0, mocf_append(grown.c_str(), at("products.txt").c_str(), "CompatProd", MOCF_FRESH, 0, 0));
  said(0, mocf_append(grown.c_str(), at("menu_settings.txt").c_str(), "MenuSettings", 0, 0, 0));
  fs::remove_all(into);
  mocf_file* file = nullptr;
  said(0, mocf_open(&file, built.c_str()) + mocf_unpack(file, into.c_str()));
  made += Read(into + "/records.list");  // its comments say what each record holds
  char* json = nullptr;
  int same = -1;
  said(0, mocf_diff(built.c_str(), grown.c_str(), &same, &json),
       made + Read(built) + Read(grown) + std::to_string(same) + (json ? json : ""));
  mocf_free(json);
  said(MOCF_EIO, mocf_unpack(file, into.c_str()));
  mocf_close(file);
  for (int i = 0; i < kFailures; ++i) {
    said(MOCF_EIO, mocf_diff(built.c_str(), at("none.mocf").c_str(), &same, &json));
    said(MOCF_EREFUSED, mocf_build(at("bad.list").c_str(), grown.c_str(), 0, nullptr, nullptr));
    said(MOCF_EREFUSED, mocf_append(grown.c_str(), at("none.txt").c_str(), "user", 0, 0, 0));
    said(MOCF_EREFUSED, mocf_append(grown.c_str(), at("welcome.txt").c_str(), "bogus", 0, 0, 0));
  }
  return got;
}

TEST(Threads, EachGetsWhatItsCallsGiveAloneAndTheWorkingFolderStays) {
  const fs::path was = fs::current_path(), root = fs::canonical(fs::temp_directory_path()) /
      ("mocf-threads-" + std::to_string(std::random_device()()));
  fs::create_directories(root);
  fs::current_path(root);  // so that the relative path read is the test's own
  std::ofstream("probe") << "mine";
  std::vector<std::vector<std::string>> alone;
  for (int t = 0; t < kThreads; ++t) {
    const fs::path dir = root / std::to_string(t);
    fs::copy(MOCF_SOURCE_DIR "/examples", dir);
    // Each thread's inputs differ, so that one reading another's shows.
    std::ofstream(dir / "products.txt") << "6699\n" << 4100 + t << "\n";
    std::ofstream(dir / "bad.list") << "-f welcome.txt -t user\n-f gone" << t << " -t user\n";
    alone.push_back(Operate(dir));
  }
  EXPECT_NE(alone[0], alone[1]);
  std::atomic<int> running{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r)
        EXPECT_EQ(alone[t], Operate(root / std::to_string(t))) << t << ", round " << r;
      --running;
    });
  int looks = 0, wrong = 0;
  for (; running > 0; ++looks) wrong += fs::current_path() != root || Read("probe") != "mine";
  for (std::thread& thread : threads) thread.join();
  fs::current_path(was);
  EXPECT_EQ(0, wrong) << "of " << looks << " looks at the working folder and a relative path";
  fs::remove_all(root);
}

}  // namespace
