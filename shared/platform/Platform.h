// Everything that depends on the operating system's file interface lives
// behind this header. The POSIX build flushes new images to disk and locks
// a MOCF against concurrent runs; the portable build offers what the C++
// standard library can: no flush, and a lock between the threads of one
// process only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// True when the build flushes replaced files to disk and serializes runs.
bool IsDurable();

// The words of the command line, the program's name first, in UTF-8. On
// Windows they are taken from the wide command line, which holds any name
// a user can type, where argv holds only what the code page can.
std::vector<std::string> Arguments(int argc, char** argv);

// std::fopen for a path in UTF-8: on Windows the file is opened by its
// wide name.
std::FILE* OpenFile(const std::string& path, const char* mode);

// True when path is another name (a hard link) of the file that other names.
bool IsHardLinkTo(const std::string& path, const std::string& other);

// True when the stream is a terminal, where a person watches progress.
bool IsTerminal(std::FILE* pStream);

// A line of progress stands without its line end, to be rewritten in place.
// Once this is called, Ctrl-C (SIGINT) or SIGTERM while such a line is open
// ends it on pStream first, so that the shell's prompt does not land on it;
// the process still ends by the signal, with the status it gives. A signal
// the process was started ignoring stays ignored.
void EndOpenLineOnStop(std::FILE* pStream);
// Whether a line without its end stands on that stream now.
void SetLineOpen(bool open);

// Standard output and standard error then take bytes as they are: records
// written out stay as they are, and every message and listing ends its
// lines with a line feed, as on Linux, for scripts that compare them.
void BinaryStandardStreams();

// A write beyond the file-size limit (ulimit -f) then fails as any failed
// write does, rather than ending the process with a signal.
void IgnoreFileSizeSignal();

class CFileLock;

// Bytes of a file seen in place, read-only, for as long as the view lives.
class CFileView {
 public:
  CFileView(const unsigned char* pData, size_t size) : m_pData(pData), m_Size(size) {}
  ~CFileView();
  CFileView(const CFileView&) = delete;
  CFileView& operator=(const CFileView&) = delete;
  const unsigned char* Data() const { return m_pData; }
  size_t Size() const { return m_Size; }
  // Gives back the memory that the pages seen so far hold. The bytes stay
  // where they are and are read again from the file when next seen.
  void Forget() const;

 private:
  const unsigned char* m_pData;
  size_t m_Size;
};

// A regular file seen in place, read-only, for a reader that would rather
// not hold a large file in memory. Null where that cannot be done: an empty
// file, anything but a regular file, a build that cannot map files. Should
// the file be cut short while it is seen, the bytes that are gone cannot
// be read: the process then writes whyEnded to standard error and ends
// with exitStatus. An empty whyEnded leaves the process's signals as they
// are, for a library that must not decide how its host ends.
std::unique_ptr<CFileView> MapFile(const std::string& path, const std::string& whyEnded,
                                   int exitStatus);

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
  // The same, around the system's cache where the file system allows it,
  // and safe to call from several threads at once at different offsets:
  // the bytes go to the disk from where they are, and a large image takes
  // no cache memory, which can cost far more to find than to fill. Only
  // the part before the last whole 4096 bytes goes so, and only when
  // offset and pData are multiples of 4096.
  bool WriteThrough(uint64_t offset, const unsigned char* pData, size_t size);
  // Makes the file size bytes long before they are written, so that a view
  // can show each of them as soon as it is. False where that can't be done.
  bool Reserve(uint64_t size);
  // The whole file, seen in place; later writes show through. Null where
  // files cannot be mapped, and for a temporary file with a name, which
  // another process could cut short under the view.
  std::unique_ptr<CFileView> Map();
  // Gives the temporary file the permission bits of an existing file.
  bool CopyModeFrom(const std::string& path);
  // Flushes the contents, renames the file over target, and flushes the
  // directory so that the rename itself survives a power cut. True once
  // the rename is done, even should that last flush fail. With a lock, the
  // rename is made only while the lock's file is Unchanged.
  bool Commit(const std::string& target, const CFileLock* pLock = nullptr);

  struct Impl;

 private:
  explicit CTempFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> m_Impl;
};

// Holds an exclusive lock on an existing regular file for its lifetime,
// waiting for other holders first. Once granted, the path is known to still
// name the locked file: a run that replaced it meanwhile made a new file,
// and the lock is taken again on that one. Nothing is locked when the path
// names no regular file; a run that starts a new MOCF needs no lock. The
// portable build locks the path itself, against the process's own threads.
class CFileLock {
 public:
  explicit CFileLock(const std::string& path);
  ~CFileLock();
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  // False once the path names another file than the one locked, or that
  // file changed in size or time: a program that does not lock replaced or
  // wrote it. True when nothing is locked.
  bool Unchanged() const;

 private:
  intptr_t m_Handle = -1;  // a descriptor or a handle, as the system has them
  std::string m_Path;
  uint64_t m_Device = 0, m_Inode = 0, m_Size = 0;
  int64_t m_ModifiedNs = 0;
};

}  // namespace platform
