// libmocf's writing and comparing calls on several threads at once, each on
// files of its own: a thread gets what the same calls give alone, in bytes,
// progress and words, and the working folder stays the caller's throughout.
#include <gtest/gtest.h>
#include <mocf/mocf.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
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

void Progressed(void* seen, int line, uint64_t written, uint64_t) {
  *static_cast<std::string*>(seen) += std::to_string(line) + ":" + std::to_string(written) + " ";
}

// What one thread's calls give in its folder: their codes, and their words
// with what they made. A list of relative inputs is built, a MOCF grown from
// absolute ones, the first unpacked, both compared; then calls that fail.
using Calls = std::pair<std::vector<int>, std::vector<std::string>>;
Calls Operate(const fs::path& dir) {
  Calls got;
  const auto said = [&got](int code) {
    got.first.push_back(code);
    got.second.push_back(mocf_error_last()->message);
  };
  const auto at = [&dir](const char* name) { return (dir / name).string(); };
  const std::string built = at("built.mocf"), grown = at("grown.mocf"), into = at("unpacked");
  std::string lines;
  said(mocf_build(at("example.list").c_str(), built.c_str(), MOCF_FRESH, Progressed, &lines));
  got.second.push_back(lines + Read(built));
  said(mocf_append(grown.c_str(), at("products.txt").c_str(), "CompatProd", MOCF_FRESH, 0, 0));
  said(mocf_append(grown.c_str(), at("menu_settings.txt").c_str(), "MenuSettings", 0, 0, 0));
  got.second.push_back(Read(grown));
  fs::remove_all(into);
  mocf_file* file = nullptr;
  said(mocf_open(&file, built.c_str()));
  said(mocf_unpack(file, into.c_str()));
  std::map<fs::path, std::string> unpacked;  // in an order of its own
  for (const fs::directory_entry& entry : fs::directory_iterator(into))
    unpacked[entry.path().filename()] = Read(entry.path());
  for (const auto& [name, bytes] : unpacked) got.second.push_back(name.string() + "\n" + bytes);
  char* json = nullptr;
  int same = -1;
  said(mocf_diff(built.c_str(), grown.c_str(), &same, &json));
  got.second.push_back(std::to_string(same) + (json ? json : ""));
  mocf_free(json);
  said(mocf_unpack(file, into.c_str()));  // into a folder now filled
  mocf_close(file);
  // Quick, so that other threads' failures overlap them often.
  for (int i = 0; i < kFailures; ++i) {
    said(mocf_diff(built.c_str(), at("none.mocf").c_str(), &same, &json));
    said(mocf_build(at("bad.list").c_str(), grown.c_str(), 0, nullptr, nullptr));
    said(mocf_append(grown.c_str(), at("none.txt").c_str(), "user", 0, 0, 0));
    said(mocf_append(grown.c_str(), at("welcome.txt").c_str(), "bogus", 0, 0, 0));
  }
  return got;
}

TEST(Threads, EachGetsWhatItsCallsGiveAloneAndTheWorkingFolderStays) {
  const fs::path was = fs::current_path();
  const fs::path root =
      fs::temp_directory_path() / ("mocf-threads-" + std::to_string(std::random_device()()));
  fs::create_directories(root);
  // The test's own working folder, so that the relative paths read are its own.
  fs::current_path(root);
  const fs::path here = fs::current_path();
  std::ofstream("probe.txt", std::ios::binary) << "mine\n";
  std::vector<fs::path> dirs;
  std::vector<Calls> alone;
  for (int t = 0; t < kThreads; ++t) {
    const fs::path& dir = dirs.emplace_back(root / ("t" + std::to_string(t)));
    fs::copy(MOCF_SOURCE_DIR "/examples", dir);
    // Each thread's inputs differ, so that one reading another's shows.
    std::ofstream(dir / "welcome.txt") << "Welcome, thread " << t << ".\n";
    std::ofstream(dir / "products.txt") << "6699\n" << 4100 + t << "\n";
    std::ofstream(dir / "bad.list") << "-f welcome.txt -t user\n-f gone" << t << " -t user\n";
    alone.push_back(Operate(dir));
  }
  // Alone, each call did what it is here for; the threads' MOCFs differ.
  std::vector<int> codes = {0, 0, 0, 0, 0, 0, MOCF_EIO};
  for (int i = 0; i < kFailures; ++i)
    codes.insert(codes.end(), {MOCF_EIO, MOCF_EREFUSED, MOCF_EREFUSED, MOCF_EREFUSED});
  for (const Calls& calls : alone) EXPECT_EQ(codes, calls.first);
  EXPECT_NE(alone[0].second, alone[1].second);

  std::promise<void> go;
  const std::shared_future<void> started = go.get_future().share();
  std::atomic<int> running{kThreads};
  std::vector<std::vector<Calls>> rounds(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      started.wait();
      for (int r = 0; r < kRounds; ++r) rounds[t].push_back(Operate(dirs[t]));
      --running;
    });
  int looks = 0, moved = 0, unread = 0;
  threads.emplace_back([&] {
    started.wait();
    do {
      moved += fs::current_path() != here;
      unread += Read("probe.txt") != "mine\n";
    } while (++looks, running > 0);
  });
  go.set_value();
  for (std::thread& thread : threads) thread.join();
  fs::current_path(was);
  EXPECT_EQ(0, moved) << "of " << looks << " looks at the working folder";
  EXPECT_EQ(0, unread) << "of " << looks << " reads of a relative path";
  for (int t = 0; t < kThreads; ++t)
    for (int r = 0; r < kRounds; ++r) EXPECT_EQ(alone[t], rounds[t][r]) << t << ", round " << r;
  fs::remove_all(root);
}

}  // namespace
