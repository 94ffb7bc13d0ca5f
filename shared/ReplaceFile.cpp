#include "ReplaceFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Where the bytes of path really live, following symbolic links. A
// dangling link resolves to the path it names, so the file is created there.
fs::path ResolveLinks(const fs::path& path) {
  fs::path current = path;
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(current, ec); ++hops) {
    fs::path target = fs::read_symlink(current, ec);
    if (ec) break;
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return current;
}

// Opening without truncation asks the system whether we may write, and
// changes nothing if we may not.
bool CanOpenForWriting(const fs::path& path) {
  std::FILE* pFile = std::fopen(path.c_str(), "r+b");
  if (!pFile) return false;
  std::fclose(pFile);
  return true;
}

// Creates a file that did not exist before, with a name no other run uses.
std::FILE* CreateTemporary(const fs::path& target, fs::path* pTemporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = target;
    candidate += ".tmp" + std::to_string(random());
    std::FILE* pFile = std::fopen(candidate.c_str(), "wbx");
    if (pFile) {
      *pTemporary = candidate;
      return pFile;
    }
  }
  return nullptr;
}

// Written a megabyte at a time: one huge write is markedly slower here as
// the kernel fills the page cache.
bool WriteAndClose(std::FILE* pFile, const unsigned char* pData, size_t size) {
  constexpr size_t kChunk = 1 << 20;
  bool ok = true;
  for (size_t offset = 0; ok && offset < size; offset += kChunk) {
    const size_t count = std::min(kChunk, size - offset);
    ok = std::fwrite(pData + offset, 1, count, pFile) == count;
  }
  ok = std::fflush(pFile) == 0 && ok;
  ok = !std::ferror(pFile) && ok;
  return std::fclose(pFile) == 0 && ok;
}

bool CopyPermissions(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const fs::file_status status = fs::status(from, ec);
  if (ec) return false;
  fs::permissions(to, status.permissions(), fs::perm_options::replace, ec);
  return !ec;
}

}  // namespace

bool ReplaceFile(const std::string& path, const unsigned char* pData, size_t size) {
  const fs::path target = ResolveLinks(path);
  std::error_code ec;
  const bool exists = fs::exists(target, ec);
  if (exists && !CanOpenForWriting(target)) return false;

  fs::path temporary;
  std::FILE* pFile = CreateTemporary(target, &temporary);
  if (!pFile) return false;
  bool ok = WriteAndClose(pFile, pData, size);
  if (ok && exists) ok = CopyPermissions(target, temporary);
  if (ok) {
    fs::rename(temporary, target, ec);
    ok = !ec;
  }
  if (!ok) fs::remove(temporary, ec);
  return ok;
}
