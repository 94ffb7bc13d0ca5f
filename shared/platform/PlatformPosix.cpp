// The POSIX file interface: flushed replacement and advisory locks.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "platform/Platform.h"

namespace platform {

namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int OpenRetrying(const char* pPath, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(pPath, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// An unnamed file needs no cleanup if the run dies; a named one is the
// fallback for file systems without O_TMPFILE.
int OpenUnnamed(const std::string& directory) {
#ifdef O_TMPFILE
  // Naming it later goes through /proc.
  if (::access("/proc/self/fd", X_OK) != 0) return -1;
  // Readable too, so that it can be mapped.
  return OpenRetrying(directory.c_str(), O_TMPFILE | O_RDWR, 0666);
#else
  (void)directory;
  return -1;
#endif
}

// The process id in the name tells a later run whether the run that made
// the file is gone; see RemoveLeftBehind.
std::string CandidateName(const std::string& target, std::random_device& random) {
  return target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(random());
}

// The process id in a name CandidateName gave, or 0.
pid_t MakerOf(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  const size_t dash = name.find('-', prefix.size());
  if (dash == std::string::npos || dash == prefix.size() || dash - prefix.size() > 9 ||
      dash + 1 == name.size() ||
      name.find_first_not_of("0123456789", prefix.size()) != dash ||
      name.find_first_not_of("0123456789", dash + 1) != std::string::npos)
    return 0;
  return static_cast<pid_t>(std::stol(name.substr(prefix.size(), dash - prefix.size())));
}

// A run killed between naming its new image and renaming it over the MOCF
// leaves the image behind; the next run on that MOCF removes it.
void RemoveLeftBehind(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string prefix =
      (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
  DIR* pDir = ::opendir(DirectoryOf(target).c_str());
  if (!pDir) return;
  while (const struct dirent* pEntry = ::readdir(pDir)) {
    const pid_t maker = MakerOf(pEntry->d_name, prefix);
    if (maker > 0 && maker != ::getpid() && ::kill(maker, 0) != 0 && errno == ESRCH)
      ::unlinkat(::dirfd(pDir), pEntry->d_name, 0);
  }
  ::closedir(pDir);
}

// A name beside the target that no other run uses: O_EXCL refuses it
// otherwise.
int OpenNamed(const std::string& target, std::string* pName) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = CandidateName(target, random);
    const int fd = OpenRetrying(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
    if (fd >= 0) {
      *pName = candidate;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Gives an unnamed file a fresh name beside the target: rename can replace
// the target, a link cannot.
bool LinkNamed(int fd, const std::string& target, std::string* pName) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = CandidateName(target, random);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      *pName = candidate;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool SyncDirectory(const std::string& directory) {
  const int fd = OpenRetrying(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

int64_t ModifiedNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

struct CTempFile::Impl {
  int fd = -1;
  bool named = false;  // created under name, which must go on failure
  std::string name;
  std::string directory;
  // The same file, written around the cache; opened once, by whichever
  // writer comes first.
  int directFd = -1;
  std::once_flag directOnce;
  std::atomic<bool> noDirect{false};  // the file system refused that

  ~Impl() {
    if (directFd >= 0) ::close(directFd);
    if (fd >= 0) ::close(fd);
    if (named && !name.empty()) ::unlink(name.c_str());
  }
};

bool IsDurable() { return true; }

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + (argc > 0 ? argc : 0));
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool IsHardLinkTo(const std::string& path, const std::string& other) {
  struct stat a, b;
  return ::stat(path.c_str(), &a) == 0 && S_ISREG(a.st_mode) && a.st_nlink > 1 &&
         ::stat(other.c_str(), &b) == 0 && SameFile(a, b);
}

bool IsTerminal(std::FILE* pStream) { return ::isatty(::fileno(pStream)) == 1; }

// Output is bytes here already.
void BinaryStandardStreams() {}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

namespace {

// Read in a signal handler, which may run on any thread: only lock-free
// atomics are safe there.
std::atomic<bool> g_LineOpen{false};
std::atomic<int> g_LineStream{-1};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

extern "C" void EndLineAndStop(int signal) {
  static const char kLineEnd[] = "\n";
  if (g_LineOpen.load()) {
    const ssize_t ignored = ::write(g_LineStream.load(), kLineEnd, 1);
    (void)ignored;
  }
  // The handler was reset on entry: the signal, held until it returns,
  // then ends the process as it would have without one.
  ::raise(signal);
}

}  // namespace

void EndOpenLineOnStop(std::FILE* pStream) {
  g_LineStream.store(::fileno(pStream));
  struct sigaction action = {};
  action.sa_handler = EndLineAndStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction was = {};
    if (::sigaction(signal, nullptr, &was) == 0 && was.sa_handler != SIG_IGN)
      ::sigaction(signal, &action, nullptr);
  }
}

void SetLineOpen(bool open) { g_LineOpen.store(open); }

CTempFile::CTempFile(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}
CTempFile::~CTempFile() = default;

std::unique_ptr<CTempFile> CTempFile::CreateBeside(const std::string& target) {
  RemoveLeftBehind(target);
  auto impl = std::make_unique<Impl>();
  impl->directory = DirectoryOf(target);
  impl->fd = OpenUnnamed(impl->directory);
  if (impl->fd < 0) {
    impl->fd = OpenNamed(target, &impl->name);
    if (impl->fd < 0) return nullptr;
    impl->named = true;
  }
  return std::unique_ptr<CTempFile>(new CTempFile(std::move(impl)));
}

bool CTempFile::Write(const unsigned char* pData, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(m_Impl->fd, pData, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    pData += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool CTempFile::Reserve(uint64_t size) {
  return ::ftruncate(m_Impl->fd, static_cast<off_t>(size)) == 0;
}

std::unique_ptr<CFileView> CTempFile::Map() {
  struct stat st;
  if (m_Impl->named || ::fstat(m_Impl->fd, &st) != 0 || st.st_size <= 0) return nullptr;
  const size_t size = static_cast<size_t>(st.st_size);
  void* p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, m_Impl->fd, 0);
  if (p == MAP_FAILED) return nullptr;
  return std::make_unique<CFileView>(static_cast<const unsigned char*>(p), size);
}

CFileView::~CFileView() { ::munmap(const_cast<unsigned char*>(m_pData), m_Size); }

void CFileView::Forget() const {
  // Pages of a file mapping come back from the file: nothing is lost.
  ::madvise(const_cast<unsigned char*>(m_pData), m_Size, MADV_DONTNEED);
}

namespace {

// What a reader of a mapped file says when the file shrinks under it.
char g_WhyEnded[512];
size_t g_WhyEndedSize = 0;
int g_EndedStatus = 2;

extern "C" void EndOnLostPage(int) {
  ssize_t ignored = ::write(STDERR_FILENO, g_WhyEnded, g_WhyEndedSize);
  (void)ignored;
  ::_exit(g_EndedStatus);
}

void EndOnLostPages(const std::string& whyEnded, int exitStatus) {
  g_WhyEndedSize = std::min(whyEnded.size(), sizeof g_WhyEnded);
  std::copy(whyEnded.begin(), whyEnded.begin() + static_cast<long>(g_WhyEndedSize), g_WhyEnded);
  g_EndedStatus = exitStatus;
  struct sigaction action = {};
  action.sa_handler = EndOnLostPage;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, nullptr);
}

}  // namespace

std::unique_ptr<CFileView> MapFile(const std::string& path, const std::string& whyEnded,
                                   int exitStatus) {
  const int fd = OpenRetrying(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st;
  void* p = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) <= std::numeric_limits<size_t>::max()) {
    if (!whyEnded.empty()) EndOnLostPages(whyEnded, exitStatus);
    p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
  }
  ::close(fd);
  if (p == MAP_FAILED) return nullptr;
  return std::make_unique<CFileView>(static_cast<const unsigned char*>(p),
                                     static_cast<size_t>(st.st_size));
}

namespace {

bool WriteAllAt(int fd, uint64_t offset, const unsigned char* pData, size_t size) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, pData, size, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    pData += written;
    offset += static_cast<uint64_t>(written);
    size -= static_cast<size_t>(written);
  }
  return true;
}

// A second descriptor, reopened by name (its /proc name while unnamed), so
// that the first goes on writing through the cache what cannot go around
// it: an unaligned end, and the bytes stored after the image is complete.
// Several threads may write at once, each at its own offsets.
int DirectFd(CTempFile::Impl* pImpl) {
#ifdef O_DIRECT
  std::call_once(pImpl->directOnce, [pImpl] {
    const std::string self =
        pImpl->named ? pImpl->name : "/proc/self/fd/" + std::to_string(pImpl->fd);
    pImpl->directFd = OpenRetrying(self.c_str(), O_WRONLY | O_DIRECT);
    if (pImpl->directFd < 0) pImpl->noDirect = true;
  });
  return pImpl->noDirect ? -1 : pImpl->directFd;
#else
  (void)pImpl;
  return -1;
#endif
}

}  // namespace

bool CTempFile::WriteAt(uint64_t offset, const unsigned char* pData, size_t size) {
  return WriteAllAt(m_Impl->fd, offset, pData, size);
}

bool CTempFile::WriteThrough(uint64_t offset, const unsigned char* pData, size_t size) {
  constexpr uint64_t kBlock = 4096;
  const bool aligned = offset % kBlock == 0 && reinterpret_cast<uintptr_t>(pData) % kBlock == 0;
  const size_t through = aligned ? static_cast<size_t>(size / kBlock * kBlock) : 0;
  const int direct = through > 0 ? DirectFd(m_Impl.get()) : -1;
  if (direct >= 0) {
    // Refused (EINVAL where the file system has no such writes): the cache
    // takes these bytes and all that follow.
    if (WriteAllAt(direct, offset, pData, through)) {
      offset += through;
      pData += through;
      size -= through;
    } else {
      m_Impl->noDirect = true;
    }
  }
  return WriteAt(offset, pData, size);
}

bool CTempFile::CopyModeFrom(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && ::fchmod(m_Impl->fd, st.st_mode & 07777) == 0;
}

bool CTempFile::Commit(const std::string& target, const CFileLock* pLock) {
  Impl& impl = *m_Impl;
  if (::fsync(impl.fd) != 0) return false;
  if (!impl.named) {
    if (!LinkNamed(impl.fd, target, &impl.name)) return false;
    impl.named = true;
  }
  const bool closed = ::close(impl.fd) == 0;
  impl.fd = -1;
  if (!closed || (pLock && !pLock->Unchanged()) ||
      ::rename(impl.name.c_str(), target.c_str()) != 0)
    return false;
  impl.named = false;
  // The file is replaced now, whatever follows: a caller told otherwise
  // would do its work again. Should the flush fail, a power cut could still
  // bring the old file back, which no answer here can prevent.
  SyncDirectory(impl.directory);
  return true;
}

CFileLock::CFileLock(const std::string& path) {
  for (;;) {
    // Non-blocking open: a FIFO at the path must not hang the run here.
    int fd = OpenRetrying(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) fd = OpenRetrying(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return;
    struct stat locked;
    if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode)) {
      ::close(fd);
      return;
    }
    int rc;
    do rc = ::flock(fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    struct stat now;
    if (rc == 0 && ::stat(path.c_str(), &now) == 0 && SameFile(locked, now)) {
      m_Handle = fd;
      m_Path = path;
      m_Device = now.st_dev;
      m_Inode = now.st_ino;
      m_Size = static_cast<uint64_t>(now.st_size);
      m_ModifiedNs = ModifiedNs(now);
      return;
    }
    ::close(fd);
    if (rc != 0) return;
    // Replaced or removed while we waited: lock whatever the path names now.
  }
}

bool CFileLock::Unchanged() const {
  if (m_Handle < 0) return true;
  struct stat now;
  return ::stat(m_Path.c_str(), &now) == 0 && now.st_dev == m_Device && now.st_ino == m_Inode &&
         static_cast<uint64_t>(now.st_size) == m_Size && ModifiedNs(now) == m_ModifiedNs;
}

CFileLock::~CFileLock() {
  if (m_Handle >= 0) ::close(static_cast<int>(m_Handle));
}

}  // namespace platform
