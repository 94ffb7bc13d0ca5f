#include "platform/ReplaceFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "platform/Platform.h"
#include "platform/ReadPace.h"
#include "platform/Utf8Path.h"

namespace fs = std::filesystem;

// A dangling link resolves to the path it names, so the file is created there.
std::string ResolveLinks(const std::string& path) {
  fs::path current = Utf8Path(path);
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(current, ec); ++hops) {
    fs::path target = fs::read_symlink(current, ec);
    if (ec) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return Utf8Of(current);
}

std::string LockOrderName(const std::string& path) {
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(Utf8Path(ResolveLinks(path)), ec), ec);
  return ec ? ResolveLinks(path) : Utf8Of(resolved);
}

namespace {

// Opening without truncation asks the system whether we may write, and
// changes nothing if we may not.
bool CanOpenForWriting(const fs::path& path) {
  const std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  return file.is_open();
}

// Written a megabyte at a time: one huge write is markedly slower here as
// the kernel fills the page cache.
bool WriteChunked(platform::CTempFile* pFile, const unsigned char* pData, size_t size) {
  constexpr size_t kChunk = 1 << 20;
  for (size_t offset = 0; offset < size; offset += kChunk)
    if (!pFile->Write(pData + offset, std::min(kChunk, size - offset))) return false;
  return true;
}

}  // namespace

CFileReplacement::CFileReplacement(const std::string& path, const platform::CFileLock* pLock)
    : m_Target(ResolveLinks(path)), m_pLock(pLock) {
  std::error_code ec;
  // Links that never end in a file: replacing one of them would break the loop.
  if (fs::is_symlink(Utf8Path(m_Target), ec)) return;
  m_pFile = platform::CTempFile::CreateBeside(m_Target);
}

CFileReplacement::~CFileReplacement() = default;

bool CFileReplacement::Fail() {
  m_Failed = true;
  return false;
}

bool CFileReplacement::Write(const unsigned char* pData, size_t size) {
  return (Usable() && WriteChunked(m_pFile.get(), pData, size)) || Fail();
}

bool CFileReplacement::Reserve(uint64_t size) {
  return (Usable() && m_pFile->Reserve(size)) || Fail();
}

bool CFileReplacement::WriteThrough(uint64_t offset, const unsigned char* pData, size_t size) {
  return (Usable() && m_pFile->WriteThrough(offset, pData, size)) || Fail();
}

std::unique_ptr<platform::CFileView> CFileReplacement::Map() {
  return Usable() ? m_pFile->Map() : nullptr;
}

bool CFileReplacement::WriteAt(uint64_t offset, const unsigned char* pData, size_t size) {
  return (Usable() && m_pFile->WriteAt(offset, pData, size)) || Fail();
}

// The target is not opened before the caller has decided to replace it.
bool CFileReplacement::Commit() {
  std::error_code ec;
  const bool exists = fs::exists(Utf8Path(m_Target), ec);
  const bool ok = Usable() &&
                  (!exists || (CanOpenForWriting(Utf8Path(m_Target)) && m_pFile->CopyModeFrom(m_Target))) &&
                  m_pFile->Commit(m_Target, m_pLock);
  m_pFile.reset();
  return ok;
}

bool ReplaceFile(const std::string& path, const unsigned char* pData, size_t size,
                 CReadPace* pPace) {
  CFileReplacement replacement(path);
  for (size_t offset = 0; offset < size; offset += CReadPace::kWindow) {
    const size_t chunk = std::min<size_t>(CReadPace::kWindow, size - offset);
    if (!replacement.Write(pData + offset, chunk)) return false;
    CReadPace::Moved(pPace, chunk);
  }
  return replacement.Commit();
}
