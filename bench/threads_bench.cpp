// Builds from lists on one thread and on several at once, through the
// public C API alone (mocf/mocf.h). For N sets of inputs (a product list and
// a few user files of random-looking bytes, each set in its own folder,
// under the same names), one round is either
//   serial:   one thread builds the N MOCFs one after another, or
//   threaded: N threads each build their own MOCF at the same time.
// The two kinds of round alternate, RUNS times each, after one untimed
// serial round that gives the reference outputs; each round rebuilds every
// MOCF REPEAT times (all rounds alike). Prints the medians and the ratio
// threaded / serial: 1.0 when the builds do not overlap at all, 1/N when
// they overlap fully. Beside each median, the process's CPU time over the
// round's wall time: how many cores the builds kept busy.
//
// Every MOCF a round leaves must be valid and the same bytes as the
// reference; the sets share their names but not their bytes, so a build
// that read another set's input (another thread's working folder, say)
// shows as a mismatch. Exits 1 for a mismatch or a failed call, 2 for a
// wrong argument, and never for being slow.
//
//   threads_bench [-n THREADS] [-r RUNS] [-k REPEAT] [-f FILES] [-s KIB]
//                 [-d FOLDER] [--keep]
// THREADS (default 2) sets and threads; RUNS (default 11) rounds of each
// kind; REPEAT (default 20) builds per MOCF per round; FILES (default 3)
// user files of KIB KiB (default 1024) per MOCF; FOLDER (default /dev/shm,
// else $TMPDIR, else /tmp) holds a fresh folder for the inputs and outputs,
// removed at the end unless --keep.
#include <mocf/mocf.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Settings {
  int threads = 2;
  int runs = 11;
  int repeat = 20;
  int files = 3;
  long kib = 1024;
  std::string folder;
  bool keep = false;
};

struct Set {
  fs::path folder;
  fs::path list;
  std::vector<char> reference;  // the untimed serial round's output
};

// What one build gave: empty when it went well, else the reason.
struct Outcome {
  std::string failure;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "threads_bench: %s\n"
               "usage: threads_bench [-n THREADS] [-r RUNS] [-k REPEAT] [-f FILES] [-s KIB]\n"
               "                     [-d FOLDER] [--keep]\n",
               why);
  std::exit(2);
}

long Number(const char* text, long lowest, long highest, const char* what) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno || end == text || *end || value < lowest || value > highest) {
    std::string why = std::string("bad ") + what + ": " + text;
    Usage(why.c_str());
  }
  return value;
}

Settings Parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--keep") {
      s.keep = true;
      continue;
    }
    if (i + 1 >= argc) Usage(("a value is missing after " + arg).c_str());
    const char* value = argv[++i];
    if (arg == "-n")
      s.threads = static_cast<int>(Number(value, 1, 256, "thread count"));
    else if (arg == "-r")
      s.runs = static_cast<int>(Number(value, 1, 100000, "run count"));
    else if (arg == "-k")
      s.repeat = static_cast<int>(Number(value, 1, 100000, "repeat count"));
    else if (arg == "-f")
      s.files = static_cast<int>(Number(value, 0, 1000, "file count"));
    else if (arg == "-s")
      s.kib = Number(value, 0, 1L << 22, "file size in KiB");
    else if (arg == "-d")
      s.folder = value;
    else
      Usage(("unknown option " + arg).c_str());
  }
  if (s.folder.empty()) {
    std::error_code ec;
    const char* tmp = std::getenv("TMPDIR");
    if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
      s.folder = "/dev/shm";
    else if (tmp && *tmp)
      s.folder = tmp;
    else
      s.folder = "/tmp";
  }
  return s;
}

// Random-looking bytes, different for every set and file (splitmix64).
void WriteBytes(const fs::path& path, uint64_t seed, uint64_t size) {
  std::vector<char> bytes(size);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
  for (uint64_t i = 0; i < size; i += 8) {
    x += 0x9E3779B97F4A7C15ull;
    uint64_t z = x;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    std::memcpy(bytes.data() + i, &z, std::min<uint64_t>(8, size - i));
  }
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "FAIL: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) {
    std::fprintf(stderr, "FAIL: cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

std::vector<char> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every set: the same names in its own folder, its own bytes.
std::vector<Set> MakeInputs(const fs::path& top, const Settings& s) {
  std::vector<Set> sets(static_cast<size_t>(s.threads));
  for (int i = 0; i < s.threads; ++i) {
    Set& set = sets[static_cast<size_t>(i)];
    set.folder = top / ("set" + std::to_string(i));
    fs::create_directory(set.folder);
    char products[64];
    std::snprintf(products, sizeof products, "0x%X\n%d\n", 0x1A2B + i, 4100 + i);
    WriteText(set.folder / "products.txt", products);
    std::string list = "-f products.txt -t CompatProd\n";
    for (int f = 1; f <= s.files; ++f) {
      const std::string name = "u" + std::to_string(f) + ".bin";
      WriteBytes(set.folder / name, static_cast<uint64_t>(i) * 1000 + static_cast<uint64_t>(f),
                 static_cast<uint64_t>(s.kib) * 1024);
      list += "-f " + name + " -t user\n";
    }
    set.list = set.folder / "list.txt";
    WriteText(set.list, list);
  }
  return sets;
}

fs::path Output(const Set& set) { return set.folder / "out.mocf"; }

// Builds the set's MOCF afresh `repeat` times; on this thread's failure,
// says why (the last error is the calling thread's).
void Build(const Set& set, int repeat, Outcome* outcome) {
  const std::string list = set.list.string();
  const std::string mocf = Output(set).string();
  for (int k = 0; k < repeat; ++k) {
    const int rc = mocf_build(list.c_str(), mocf.c_str(), MOCF_FRESH, nullptr, nullptr);
    if (rc != MOCF_OK) {
      const mocf_error* e = mocf_error_last();
      outcome->failure = "mocf_build(" + list + ", " + mocf + ") returned " +
                         std::to_string(rc) + ": " + (e->message ? e->message : "");
      return;
    }
  }
}

// Checks what a round wrote: valid, and the reference's bytes.
bool Check(const std::vector<Set>& sets, const char* round, int run) {
  bool good = true;
  for (const Set& set : sets) {
    const fs::path out = Output(set);
    mocf_file* file = nullptr;
    if (mocf_open(&file, out.c_str()) != MOCF_OK) {
      std::fprintf(stderr, "FAIL: %s run %d: cannot open %s: %s", round, run, out.c_str(),
                   mocf_error_last()->message);
      good = false;
      continue;
    }
    if (!mocf_valid(file)) {
      const char* reason = mocf_reason(file);
      std::fprintf(stderr, "FAIL: %s run %d: %s is not valid: %s\n", round, run, out.c_str(),
                   reason ? reason : "(no reason given)");
      good = false;
    }
    mocf_close(file);
    if (ReadAll(out) != set.reference) {
      std::fprintf(stderr,
                   "FAIL: MISMATCH: %s run %d: %s differs from the serial reference build\n",
                   round, run, out.c_str());
      good = false;
    }
  }
  return good;
}

void Clear(const std::vector<Set>& sets) {
  for (const Set& set : sets) fs::remove(Output(set));
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The process's CPU time so far, user and system, all threads.
double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timing {
  double wall;
  double cores;  // CPU seconds per wall second
};

bool ReportFailures(const std::vector<Outcome>& outcomes, const char* round, int run) {
  bool good = true;
  for (const Outcome& o : outcomes) {
    if (o.failure.empty()) continue;
    std::fprintf(stderr, "FAIL: %s run %d: %s", round, run, o.failure.c_str());
    if (o.failure.back() != '\n') std::fputc('\n', stderr);
    good = false;
  }
  return good;
}

Timing SerialRound(const std::vector<Set>& sets, int repeat, bool* good, int run) {
  std::vector<Outcome> outcomes(sets.size());
  const double c0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  for (size_t i = 0; i < sets.size(); ++i) Build(sets[i], repeat, &outcomes[i]);
  const double t = Seconds(t0);
  const double c = CpuSeconds() - c0;
  *good = ReportFailures(outcomes, "serial", run) && *good;
  return {t, c / t};
}

Timing ThreadedRound(const std::vector<Set>& sets, int repeat, bool* good, int run) {
  std::vector<Outcome> outcomes(sets.size());
  std::vector<std::thread> threads;
  threads.reserve(sets.size());
  // From the first thread's start to the last one's end.
  const double c0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  for (size_t i = 0; i < sets.size(); ++i)
    threads.emplace_back(Build, std::cref(sets[i]), repeat, &outcomes[i]);
  for (std::thread& t : threads) t.join();
  const double t = Seconds(t0);
  const double c = CpuSeconds() - c0;
  *good = ReportFailures(outcomes, "threaded", run) && *good;
  return {t, c / t};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string InOrder(const std::vector<double>& v) {
  std::string text;
  char buffer[32];
  for (double x : v) {
    std::snprintf(buffer, sizeof buffer, "%s%.4f", text.empty() ? "" : " ", x);
    text += buffer;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings s = Parse(argc, argv);
  std::string pattern = (fs::path(s.folder) / "threads_bench.XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::fprintf(stderr, "FAIL: cannot make a folder in %s: %s\n", s.folder.c_str(),
                 std::strerror(errno));
    return 1;
  }
  // Absolute paths throughout: a build may move the process's working folder.
  const fs::path top = fs::absolute(pattern);
  std::vector<Set> sets = MakeInputs(top, s);

  bool good = true;
  // The reference: one serial round, untimed, each output read back.
  SerialRound(sets, 1, &good, 0);
  if (good) {
    for (Set& set : sets) set.reference = ReadAll(Output(set));
    for (size_t i = 0; i < sets.size(); ++i)
      for (size_t j = 0; j < i; ++j)
        if (sets[i].reference == sets[j].reference) {
          std::fprintf(stderr, "FAIL: sets %zu and %zu built the same bytes\n", j, i);
          good = false;
        }
    good = Check(sets, "reference", 0) && good;
  }

  std::vector<double> serial, serialCores;
  std::vector<double> threaded, threadedCores;
  for (int run = 1; good && run <= s.runs; ++run) {
    Clear(sets);
    const Timing one = SerialRound(sets, s.repeat, &good, run);
    serial.push_back(one.wall);
    serialCores.push_back(one.cores);
    if (good) good = Check(sets, "serial", run);
    if (!good) break;
    Clear(sets);
    const Timing many = ThreadedRound(sets, s.repeat, &good, run);
    threaded.push_back(many.wall);
    threadedCores.push_back(many.cores);
    if (good) good = Check(sets, "threaded", run);
  }

  const uint64_t size = sets.empty() ? 0 : sets.front().reference.size();
  if (!s.keep) {
    std::error_code ec;
    fs::remove_all(top, ec);
  }
  if (!good) {
    std::fprintf(stderr, "FAIL: threads_bench found a fault (see above)%s%s\n",
                 s.keep ? "; files kept in " : "", s.keep ? top.c_str() : "");
    return 1;
  }

  const double sm = Median(serial);
  const double tm = Median(threaded);
  const int builds = s.threads * s.repeat;
  std::printf("threads %d, runs %d, %d build(s) per MOCF per round; each MOCF a product list and "
              "%d user file(s) of %ld KiB (%.2f MiB); in %s (%s)\n",
              s.threads, s.runs, s.repeat, s.files, s.kib, static_cast<double>(size) / 1048576,
              s.folder.c_str(), mocf_version());
  std::printf("serial:   one thread, %d builds one after another: median %.4f s (%.2f ms per "
              "build), %.2f cores busy\n",
              builds, sm, sm * 1000 / builds, Median(serialCores));
  std::printf("threaded: %d threads at once, %d build(s) each: median %.4f s (%.2f ms per "
              "build), %.2f cores busy\n",
              s.threads, s.repeat, tm, tm * 1000 / builds, Median(threadedCores));
  std::printf("ratio threaded/serial %.2f (1.00: no overlap; %.2f: full overlap)\n", tm / sm,
              1.0 / s.threads);
  std::printf("  runs in order, serial: %s; threaded: %s\n", InOrder(serial).c_str(),
              InOrder(threaded).c_str());
  std::printf("every MOCF valid and byte-identical between the serial and threaded rounds\n");
  return 0;
}
