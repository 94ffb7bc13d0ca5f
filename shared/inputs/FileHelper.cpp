#include "inputs/FileHelper.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "platform/Platform.h"
#include "platform/ReplaceFile.h"
#include "platform/Utf8Path.h"

namespace {

// A directory opens for reading on some systems but yields no bytes; it is
// never a file to us.
bool IsDirectory(const char* path) {
  std::error_code ec;
  return std::filesystem::is_directory(Utf8Path(path), ec);
}

}  // namespace

bool CFileHelper::DoesFileExist(const char* path) {
  if (IsDirectory(path)) return false;
  std::ifstream file(Utf8Path(path), std::ios::binary);
  return !file.fail();
}

CFileHelper::MocfPath CFileHelper::LookAtMocfPath(const char* path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(Utf8Path(path), ec);
  // A dangling link names nothing yet: the MOCF is created where it points.
  if (status.type() == std::filesystem::file_type::not_found) return MocfPath::kNothing;
  if (ec) return MocfPath::kUnusable;
  return status.type() == std::filesystem::file_type::regular ? MocfPath::kFile
                                                               : MocfPath::kUnusable;
}

bool CFileHelper::DoesMocfExist(const char* path) {
  return LookAtMocfPath(path) == MocfPath::kFile && DoesFileExist(path);
}

namespace {

std::string SystemWords(int error) {
  return std::generic_category().message(error ? error : EIO);
}

std::string SystemWords(std::errc error) { return std::make_error_code(error).message(); }

}  // namespace

std::string CFileHelper::WhyCannotRead(const char* path) {
  if (IsDirectory(path)) return SystemWords(std::errc::is_a_directory);
  errno = 0;
  std::FILE* pFile = platform::OpenFile(path, "rb");
  if (!pFile) return SystemWords(errno);
  unsigned char byte;
  errno = 0;
  const bool failed = std::fread(&byte, 1, 1, pFile) == 0 && std::ferror(pFile);
  const int error = errno;
  std::fclose(pFile);
  return failed ? SystemWords(error) : SystemWords(EIO);
}

// The new file is written beside the target and renamed over it: either
// step may be what fails, and a temporary file made and dropped again asks
// the system about the first.
std::string CFileHelper::WhyCannotWrite(const char* path) {
  if (IsDirectory(path)) return SystemWords(std::errc::is_a_directory);
  errno = 0;
  if (LookAtMocfPath(path) == MocfPath::kFile) {
    std::FILE* pFile = platform::OpenFile(path, "r+b");
    if (!pFile) return SystemWords(errno);
    std::fclose(pFile);
  }
  errno = 0;
  if (!platform::CTempFile::CreateBeside(ResolveLinks(path))) return SystemWords(errno);
  return SystemWords(EIO);
}

int32_t CFileHelper::GetFileLength(const char* path) {
  if (IsDirectory(path)) return -1;
  std::ifstream file(Utf8Path(path), std::ios::binary);
  if (file.fail()) return -1;
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();  // -1 when the seek failed
  if (end < 0 || end > INT32_MAX) return -1;
  return static_cast<int32_t>(end);
}

// Read in chunks appended to the vector: each page of a large vector is then
// written once, where sizing it first would also zero-fill every page.
bool CFileHelper::ReadFileData(const char* path,
                               std::vector<unsigned char>* data) {
  const int32_t length = GetFileLength(path);
  data->clear();
  if (length < 0) return false;
  if (length == 0) return true;
  std::ifstream file(Utf8Path(path), std::ios::binary);
  if (file.fail()) return false;
  data->reserve(static_cast<size_t>(length));
  constexpr size_t kChunk = 1 << 20;
  std::unique_ptr<char[]> chunk(new char[kChunk]);
  for (size_t left = static_cast<size_t>(length); left > 0;) {
    const size_t wanted = std::min(left, kChunk);
    file.read(chunk.get(), static_cast<std::streamsize>(wanted));
    const size_t got = static_cast<size_t>(file.gcount());
    data->insert(data->end(), chunk.get(), chunk.get() + got);
    if (got != wanted) return false;
    left -= got;
  }
  return true;
}
