// The standard library alone: a replacement is complete or absent, but
// nothing flushes it to disk, and only the runs of one process are
// serialized on a MOCF: the standard library has no lock between processes.
#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <system_error>
#include <vector>

#include "platform/Platform.h"
#include "platform/Utf8Path.h"

namespace fs = std::filesystem;

namespace platform {

struct CTempFile::Impl {
  std::FILE* pFile = nullptr;
  fs::path name;
  std::mutex writing;

  ~Impl() {
    if (pFile) std::fclose(pFile);
    std::error_code ec;
    if (!name.empty()) fs::remove(name, ec);
  }
};

bool IsDurable() { return false; }

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + (argc > 0 ? argc : 0));
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool IsHardLinkTo(const std::string& path, const std::string& other) {
  std::error_code ec;
  const fs::path named = Utf8Path(path);
  return fs::is_regular_file(named, ec) && fs::hard_link_count(named, ec) > 1 && !ec &&
         fs::equivalent(named, Utf8Path(other), ec) && !ec;
}

// The standard library cannot tell; progress is only ever a courtesy.
bool IsTerminal(std::FILE*) { return false; }

// No line of progress is shown here, and a handler of the standard
// library's signal() could not write one's end anyway.
void EndOpenLineOnStop(std::FILE*) {}
void SetLineOpen(bool) {}

// A limit the standard library cannot see may still exist: write only what
// is known to be kept.

// The standard library cannot change a stream's mode once it is open.
void BinaryStandardStreams() {}

// The standard library names no such signal, but its signal() can set it
// aside where the system has one.
void IgnoreFileSizeSignal() {
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

CTempFile::CTempFile(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}
CTempFile::~CTempFile() = default;

std::unique_ptr<CTempFile> CTempFile::CreateBeside(const std::string& target) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = target + ".tmp" + std::to_string(random());
    if (std::FILE* pFile = std::fopen(candidate.c_str(), "wbx")) {
      auto impl = std::make_unique<Impl>();
      impl->pFile = pFile;
      impl->name = candidate;
      return std::unique_ptr<CTempFile>(new CTempFile(std::move(impl)));
    }
  }
  return nullptr;
}

bool CTempFile::Write(const unsigned char* pData, size_t size) {
  return std::fwrite(pData, 1, size, m_Impl->pFile) == size;
}

bool CTempFile::WriteAt(uint64_t offset, const unsigned char* pData, size_t size) {
  std::FILE* pFile = m_Impl->pFile;
  const long position = std::ftell(pFile);
  if (position < 0 || offset > static_cast<uint64_t>(std::numeric_limits<long>::max()))
    return false;
  const bool ok = std::fseek(pFile, static_cast<long>(offset), SEEK_SET) == 0 &&
                  std::fwrite(pData, 1, size, pFile) == size;
  return std::fseek(pFile, position, SEEK_SET) == 0 && ok;
}

// Nothing here reads a file before it is complete.
bool CTempFile::Reserve(uint64_t) { return false; }

// The standard library has no way to map a file.
std::unique_ptr<CFileView> CTempFile::Map() { return nullptr; }

CFileView::~CFileView() = default;

void CFileView::Forget() const {}

std::unique_ptr<CFileView> MapFile(const std::string&, const std::string&, int) {
  return nullptr;
}

// Several threads may write at once; the stream has one position.
bool CTempFile::WriteThrough(uint64_t offset, const unsigned char* pData, size_t size) {
  const std::lock_guard<std::mutex> lock(m_Impl->writing);
  return WriteAt(offset, pData, size);
}


bool CTempFile::CopyModeFrom(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) return false;
  fs::permissions(m_Impl->name, status.permissions(), fs::perm_options::replace, ec);
  return !ec;
}

bool CTempFile::Commit(const std::string& target, const CFileLock*) {
  Impl& impl = *m_Impl;
  bool ok = std::fflush(impl.pFile) == 0 && !std::ferror(impl.pFile);
  ok = std::fclose(impl.pFile) == 0 && ok;
  impl.pFile = nullptr;
  if (!ok) return false;
  std::error_code ec;
  fs::rename(impl.name, target, ec);
  if (ec) return false;
  impl.name.clear();
  return true;
}

namespace {

// The MOCFs that runs of this process hold, by the path they name. The
// table's mutex is held only to look and mark, never for a run.
struct HeldPaths_t {
  std::mutex Mutex;
  std::condition_variable Released;
  std::set<std::string> Paths;
};

HeldPaths_t& Held() {
  static HeldPaths_t held;
  return held;
}

}  // namespace

// A path that names no file yet is held too: two threads starting the same
// new MOCF take turns as well.
CFileLock::CFileLock(const std::string& path) {
  std::error_code ec;
  const fs::path absolute = fs::weakly_canonical(fs::absolute(Utf8Path(path), ec), ec);
  m_Path = ec ? path : Utf8Of(absolute);
  HeldPaths_t& held = Held();
  std::unique_lock<std::mutex> lock(held.Mutex);
  held.Released.wait(lock, [&] { return held.Paths.count(m_Path) == 0; });
  held.Paths.insert(m_Path);
  m_Handle = 1;
}

CFileLock::~CFileLock() {
  HeldPaths_t& held = Held();
  {
    const std::lock_guard<std::mutex> lock(held.Mutex);
    held.Paths.erase(m_Path);
  }
  held.Released.notify_all();
}

bool CFileLock::Unchanged() const { return true; }

}  // namespace platform
