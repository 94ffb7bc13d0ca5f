#include "FileHelper.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// A directory opens for reading on some systems but yields no bytes; it is
// never a file to us.
bool IsDirectory(const char* path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

}  // namespace

bool CFileHelper::DoesFileExist(const char* path) {
  if (IsDirectory(path)) return false;
  std::ifstream file(path, std::ios::binary);
  return !file.fail();
}

int32_t CFileHelper::GetFileLength(const char* path) {
  if (IsDirectory(path)) return -1;
  std::ifstream file(path, std::ios::binary);
  if (file.fail()) return -1;
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();  // -1 when the seek failed
  if (end < 0 || end > INT32_MAX) return -1;
  return static_cast<int32_t>(end);
}

bool CFileHelper::ReadFileData(const char* path,
                               std::vector<unsigned char>* data) {
  const int32_t length = GetFileLength(path);
  data->clear();
  if (length < 0) return false;
  data->resize(static_cast<size_t>(length));
  if (length == 0) return true;
  std::ifstream file(path, std::ios::binary);
  if (file.fail()) return false;
  // One read straight into the vector: MOCF and firmware images can run to
  // hundreds of MiB.
  file.read(reinterpret_cast<char*>(data->data()), length);
  return file.gcount() == length;
}
