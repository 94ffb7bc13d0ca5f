// Everything that depends on the operating system's file interface lives
// behind this header. The POSIX build flushes new images to disk and locks
// a MOCF against concurrent runs; the portable build offers what the C++
// standard library can, which is neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// True when the build flushes replaced files to disk and serializes runs.
bool IsDurable();

// A buffer of many megabytes that is about to be filled: asks for large
// pages behind it, which spares most of the page faults of fresh memory.
// The contents are unaffected.
void AdviseLargeBuffer(void* pData, size_t size);

// True when no write can end the process by a signal (no file-size limit
// is set), so a file may be written before the caller knows it will keep it
// without any message being lost.
bool WritesRaiseNoSignal();

// A file being written beside the file it will replace. Until Commit
// succeeds, nothing but this object can see it, and destroying the object
// removes it.
class CTempFile {
 public:
  // Null when no temporary file can be created in the target's directory.
  static std::unique_ptr<CTempFile> CreateBeside(const std::string& target);
  ~CTempFile();
  CTempFile(const CTempFile&) = delete;
  CTempFile& operator=(const CTempFile&) = delete;

  bool Write(const unsigned char* pData, size_t size);
  // Writes at offset without moving the position the next Write goes on from.
  bool WriteAt(uint64_t offset, const unsigned char* pData, size_t size);
  // Gives the temporary file the permission bits of an existing file.
  bool CopyModeFrom(const std::string& path);
  // Flushes the contents, renames the file over target, and flushes the
  // directory so that the rename itself survives a power cut.
  bool Commit(const std::string& target);

  struct Impl;

 private:
  explicit CTempFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_Impl;
};

// Holds an exclusive lock on an existing regular file for its lifetime,
// waiting for other holders first. Once granted, the path is known to still
// name the locked file: a run that replaced it meanwhile made a new file,
// and the lock is taken again on that one. Nothing is locked when the path
// names no regular file; a run that starts a new MOCF needs no lock.
class CFileLock {
 public:
  explicit CFileLock(const std::string& path);
  ~CFileLock();
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

 private:
  int m_Handle = -1;
};

}  // namespace platform
