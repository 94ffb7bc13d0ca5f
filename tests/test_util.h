// Small helpers shared by the test programs: scratch directories, whole-file
// reads and writes, and hex conversion for byte-exact expectations.
#pragma once

#include <string>
#include <vector>

namespace testutil {

using Bytes = std::vector<unsigned char>;

// A fresh directory under the system temp dir, removed with its contents
// when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& content);
void WriteFile(const std::string& path, const Bytes& content);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// "0a 1b ff" or "0a1bff" (spaces and '|' ignored) to bytes, and bytes to
// lower-case hex without separators.
Bytes FromHex(const std::string& hex);
std::string ToHex(const Bytes& bytes);
std::string ToHex(const unsigned char* data, size_t size);

}  // namespace testutil
