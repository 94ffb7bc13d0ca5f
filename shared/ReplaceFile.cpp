#include "ReplaceFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "Platform.h"

namespace fs = std::filesystem;

// A dangling link resolves to the path it names, so the file is created there.
std::string ResolveLinks(const std::string& path) {
  fs::path current = path;
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(current, ec); ++hops) {
    fs::path target = fs::read_symlink(current, ec);
    if (ec) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current.string();
}

namespace {

// Opening without truncation asks the system whether we may write, and
// changes nothing if we may not.
bool CanOpenForWriting(const fs::path& path) {
  std::FILE* pFile = std::fopen(path.c_str(), "r+b");
  if (!pFile) return false;
  std::fclose(pFile);
  return true;
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

bool ReplaceFile(const std::string& path, const unsigned char* pData, size_t size) {
  const std::string target = ResolveLinks(path);
  std::error_code ec;
  const bool exists = fs::exists(target, ec);
  if (exists && !CanOpenForWriting(target)) return false;

  std::unique_ptr<platform::CTempFile> file = platform::CTempFile::CreateBeside(target);
  return file && WriteChunked(file.get(), pData, size) &&
         (!exists || file->CopyModeFrom(target)) && file->Commit(target);
}
