// Replaces a file by a complete new image, or leaves it as it was. The
// image goes to a temporary file beside the target and is renamed over it
// only once every byte is written and flushed; where the platform allows,
// the directory is flushed after the rename too.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CReadPace;

namespace platform {
class CFileLock;
class CFileView;
class CTempFile;
}

// Where the bytes of path really live, following symbolic links.
std::string ResolveLinks(const std::string& path);
// The name that orders the locks of two files alike in every process, each
// file one name however it is spelt: every link, "." and ".." resolved.
std::string LockOrderName(const std::string& path);

// False when the target exists but can't be opened for writing, or when
// any step of writing the new image fails; the old file is then untouched
// and no temporary file is left behind. A symbolic link is followed: the
// file it points to is replaced and the link stays. An existing file's
// permission bits carry over to the new one. A pace is told of the bytes
// as they are written, for bytes that lie in a mapped file.
bool ReplaceFile(const std::string& path, const unsigned char* pData, size_t size,
                 CReadPace* pPace = nullptr);

// The same in steps, for a caller that writes the image while it still
// decides whether it wants it: the target changes only in Commit, and an
// object destroyed without a successful Commit leaves nothing behind. Every
// step is false once any step has failed.
class CFileReplacement {
 public:
  // With a lock, the target is replaced only while the locked file stands
  // unchanged.
  explicit CFileReplacement(const std::string& path,
                            const platform::CFileLock* pLock = nullptr);
  ~CFileReplacement();
  CFileReplacement(const CFileReplacement&) = delete;
  CFileReplacement& operator=(const CFileReplacement&) = delete;

  // Appends to the new image.
  bool Write(const unsigned char* pData, size_t size);
  // Makes the new image size bytes long ahead of writing them.
  bool Reserve(uint64_t size);
  // Overwrites bytes already written.
  bool WriteAt(uint64_t offset, const unsigned char* pData, size_t size);
  // Writes at offset, around the system's cache where it can; several
  // threads may do so at once, at different offsets.
  bool WriteThrough(uint64_t offset, const unsigned char* pData, size_t size);
  // The new image so far, seen in place; null where it cannot be.
  std::unique_ptr<platform::CFileView> Map();
  bool Commit();

 private:
  bool Usable() const { return m_pFile && !m_Failed; }
  bool Fail();

  std::string m_Target;
  const platform::CFileLock* m_pLock;
  std::unique_ptr<platform::CTempFile> m_pFile;
  // Set by a failed step, on whichever thread; the file goes with the object.
  std::atomic<bool> m_Failed{false};
};
