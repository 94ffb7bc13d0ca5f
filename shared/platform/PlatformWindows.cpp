// The Win32 file interface: flushed replacement and locks held for a run.
// Paths arrive as UTF-8 and are opened by their wide names.
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0)
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], size);
  return wide;
}

std::string Utf8(const wchar_t* wide) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}

// The process id in the name tells a later run whether the run that made
// the file is gone; see RemoveLeftBehind.
std::wstring CandidateName(const std::string& target, std::random_device& random) {
  return Wide(target + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" +
              std::to_string(random()));
}

bool IsRunning(DWORD process) {
  const HANDLE handle = ::OpenProcess(SYNCHRONIZE, FALSE, process);
  if (!handle) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = ::WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
  ::CloseHandle(handle);
  return running;
}

// The process id in a name CandidateName gave, or 0.
DWORD MakerOf(const std::wstring& name, const std::wstring& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  const size_t dash = name.find(L'-', prefix.size());
  if (dash == std::wstring::npos || dash == prefix.size() || dash - prefix.size() > 9 ||
      dash + 1 == name.size() || name.find_first_not_of(L"0123456789", prefix.size()) != dash ||
      name.find_first_not_of(L"0123456789", dash + 1) != std::wstring::npos)
    return 0;
  return static_cast<DWORD>(std::stoul(name.substr(prefix.size(), dash - prefix.size())));
}

std::wstring DirectoryOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"/\\");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash == 0 ? 1 : slash);
}

// A run killed before its new image was renamed over the MOCF leaves the
// image behind; the next run on that MOCF removes it.
void RemoveLeftBehind(const std::string& target) {
  const std::wstring wide = Wide(target);
  const std::wstring directory = DirectoryOf(wide);
  const size_t slash = wide.find_last_of(L"/\\");
  const std::wstring prefix = (slash == std::wstring::npos ? wide : wide.substr(slash + 1)) + L".tmp";
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW((directory + L"\\" + prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const DWORD maker = MakerOf(found.cFileName, prefix);
    if (maker > 0 && maker != ::GetCurrentProcessId() && !IsRunning(maker))
      ::DeleteFileW((directory + L"\\" + found.cFileName).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

bool WriteAllAt(HANDLE file, uint64_t offset, const unsigned char* pData, size_t size) {
  while (size > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, pData, chunk, &written, &at) || written == 0) return false;
    pData += written;
    offset += written;
    size -= written;
  }
  return true;
}

struct Identity_t {
  uint64_t Volume, Index, Size;
  int64_t Written;
  uint32_t Links;
};

bool IdentityOf(HANDLE file, Identity_t* pIdentity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info)) return false;
  *pIdentity = {info.dwVolumeSerialNumber,
                (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
                static_cast<int64_t>((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                     info.ftLastWriteTime.dwLowDateTime),
                info.nNumberOfLinks};
  return true;
}

// Opened so that other runs may read, write, lock and replace it meanwhile:
// the lock, not the sharing mode, keeps runs apart.
HANDLE OpenShared(const std::string& path) {
  return ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// What the path names now; false when it names nothing that opens.
bool IdentityAt(const std::string& path, Identity_t* pIdentity) {
  const HANDLE file = OpenShared(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = IdentityOf(file, pIdentity);
  ::CloseHandle(file);
  return known;
}

}  // namespace

struct CTempFile::Impl {
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring name;
  uint64_t position = 0;  // where the next Write goes
  std::mutex writing;

  ~Impl() {
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!name.empty()) ::DeleteFileW(name.c_str());
  }
};

bool IsDurable() { return true; }

std::vector<std::string> Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!words) return std::vector<std::string>(argv, argv + (argc > 0 ? argc : 0));
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(Utf8(words[i]));
  ::LocalFree(words);
  return args;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return ::_wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

// The standard library has neither link counts nor file identities here.
bool IsHardLinkTo(const std::string& path, const std::string& other) {
  Identity_t a, b;
  return IdentityAt(path, &a) && a.Links > 1 && IdentityAt(other, &b) && a.Volume == b.Volume &&
         a.Index == b.Index;
}

bool IsTerminal(std::FILE* pStream) { return ::_isatty(::_fileno(pStream)) != 0; }

namespace {

// Read by the console's handler, which runs on a thread of its own.
std::atomic<bool> g_LineOpen{false};
std::atomic<HANDLE> g_LineStream{INVALID_HANDLE_VALUE};

BOOL WINAPI EndLineAndStop(DWORD event) {
  if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && g_LineOpen.load()) {
    DWORD written;
    ::WriteFile(g_LineStream.load(), "\n", 1, &written, nullptr);
  }
  // The next handler, the system's, ends the process as it would have.
  return FALSE;
}

}  // namespace

void EndOpenLineOnStop(std::FILE* pStream) {
  g_LineStream.store(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(pStream))));
  ::SetConsoleCtrlHandler(EndLineAndStop, TRUE);
}

void SetLineOpen(bool open) { g_LineOpen.store(open); }

// Windows sets no limit on a file's size that a write could run into.

void BinaryStandardStreams() {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

void IgnoreFileSizeSignal() {}

CTempFile::CTempFile(std::unique_ptr<Impl> impl) : m_Impl(std::move(impl)) {}
CTempFile::~CTempFile() = default;

std::unique_ptr<CTempFile> CTempFile::CreateBeside(const std::string& target) {
  RemoveLeftBehind(target);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate = CandidateName(target, random);
    const HANDLE file = ::CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      auto impl = std::make_unique<Impl>();
      impl->file = file;
      impl->name = std::move(candidate);
      return std::unique_ptr<CTempFile>(new CTempFile(std::move(impl)));
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return nullptr;
  }
  return nullptr;
}

bool CTempFile::Write(const unsigned char* pData, size_t size) {
  const std::lock_guard<std::mutex> lock(m_Impl->writing);
  if (!WriteAllAt(m_Impl->file, m_Impl->position, pData, size)) return false;
  m_Impl->position += size;
  return true;
}

bool CTempFile::WriteAt(uint64_t offset, const unsigned char* pData, size_t size) {
  const std::lock_guard<std::mutex> lock(m_Impl->writing);
  return WriteAllAt(m_Impl->file, offset, pData, size);
}

// The cache takes every write here; the flush before the rename makes them durable.
bool CTempFile::WriteThrough(uint64_t offset, const unsigned char* pData, size_t size) {
  return WriteAt(offset, pData, size);
}

// Large images are put together in memory on Windows: nothing maps them.
bool CTempFile::Reserve(uint64_t) { return false; }
std::unique_ptr<CFileView> CTempFile::Map() { return nullptr; }

CFileView::~CFileView() = default;
void CFileView::Forget() const {}

std::unique_ptr<CFileView> MapFile(const std::string&, const std::string&, int) {
  return nullptr;
}

// Windows keeps no permission bits; a read-only file was refused before.
bool CTempFile::CopyModeFrom(const std::string&) { return true; }

bool CTempFile::Commit(const std::string& target, const CFileLock* pLock) {
  Impl& impl = *m_Impl;
  if (!::FlushFileBuffers(impl.file)) return false;
  const bool closed = ::CloseHandle(impl.file) != 0;
  impl.file = INVALID_HANDLE_VALUE;
  if (!closed || (pLock && !pLock->Unchanged())) return false;
  // Written through: the call returns once the new name is on the disk.
  // Windows refuses to replace a file another program holds open for a
  // moment (a run looking for the lock, a virus scanner). A second of tries
  // once proved too short for forty runs starting at once under Wine on a
  // loaded machine, so they go on for half a minute, further and further
  // apart.
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  for (DWORD pause = 1;; pause = pause < 64 ? pause * 2 : pause) {
    if (::MoveFileExW(impl.name.c_str(), Wide(target).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      impl.name.clear();
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    if (::GetTickCount64() >= deadline) return false;
    ::Sleep(pause);
  }
}

// A run cannot keep the MOCF open while it renames its new image over it
// (Windows refuses to replace an open file), so the lock is a named mutex
// of the system's, one per file: its name comes from the file's final path,
// links resolved, and the system releases it when its holder ends.
CFileLock::CFileLock(const std::string& path) {
  const HANDLE file = OpenShared(path);
  if (file == INVALID_HANDLE_VALUE) return;
  wchar_t final[MAX_PATH * 4];
  const DWORD length = ::GetFinalPathNameByHandleW(file, final, MAX_PATH * 4, FILE_NAME_NORMALIZED);
  const bool regular = ::GetFileType(file) == FILE_TYPE_DISK;
  ::CloseHandle(file);
  if (!regular || length == 0 || length >= MAX_PATH * 4) return;
  // FNV-1a over the path, case folded as the file system folds it.
  uint64_t hash = 14695981039346656037ull;
  ::CharLowerBuffW(final, length);
  for (DWORD i = 0; i < length; ++i) hash = (hash ^ final[i]) * 1099511628211ull;
  wchar_t name[64];
  ::swprintf(name, 64, L"Local\\mocftool-%016llx", static_cast<unsigned long long>(hash));
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
  if (!mutex) return;
  const DWORD waited = ::WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    ::CloseHandle(mutex);
    return;
  }
  m_Handle = reinterpret_cast<intptr_t>(mutex);
  m_Path = path;
  // The file as the previous holder left it.
  Identity_t named = {};
  IdentityAt(path, &named);
  m_Device = named.Volume;
  m_Inode = named.Index;
  m_Size = named.Size;
  m_ModifiedNs = named.Written;
}

bool CFileLock::Unchanged() const {
  if (m_Handle == -1) return true;
  Identity_t named;
  return IdentityAt(m_Path, &named) && named.Volume == m_Device && named.Index == m_Inode &&
         named.Size == m_Size && named.Written == m_ModifiedNs;
}

CFileLock::~CFileLock() {
  if (m_Handle == -1) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(m_Handle);
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
}

}  // namespace platform
