// A MOCF changed as a whole: records taken out, replaced, added anywhere
// after the engine's own two, settings set and unset, each edit read against
// what the edits before it left. Nothing is written until the result is
// checked as every program checks an image, and then it is written as every
// program writes one. The records not edited keep their bytes, and stay in
// the MOCF's file until the write when it is too large to hold.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "assemble/BuildPlan.h"
#include "edit/Selector.h"
#include "image/ImageWriter.h"
#include "inputs/FileType.h"

namespace mocfedit {

using mocfbuild::Failure_t;

// A new record's input: a run's words as a list line holds them, read and
// checked as a list line is, or an input given from memory.
struct EditInput_t {
  std::vector<std::string> Words;  // when not empty, the rest is not read
  FileType_t Type = NoFileType;
  std::string Name;     // a user file's stored name; names the input in messages
  std::string Bytes;    // the input file's bytes
  bool NoFile = false;  // software keys given by their part number alone
  std::string PartNum;  // software keys
  unsigned int Tag = 0;  // binary records
};

// Where a new record goes and what it is called: 0 for the default (last
// for an add, the replaced record's place for a replace); a user file's
// name, or empty for the default (as typed for an add, the replaced
// record's for a replace).
struct Placing_t {
  int At = 0;
  std::string Name;
};

class CEdit {
 public:
  CEdit();
  ~CEdit();
  CEdit(const CEdit&) = delete;
  CEdit& operator=(const CEdit&) = delete;

  // Loads the MOCF as mocftool loads one to append to: refused (status 2)
  // when it cannot be read, is invalid, or its digest does not match. A
  // large one stays in its file, which must not change while the edit lives
  // (the caller holds its lock); with laterDigest, its digest is checked
  // beside the write instead of in a pass of its own (LoadedDigestHolds).
  // named is the MOCF as the caller typed it.
  bool Open(const std::string& path, const std::string& named, Failure_t* pFailure,
            bool laterDigest = false);
  // Whether the digest of a MOCF left in its file holds, hashed now; true
  // for one held whole, checked as it was loaded. A damaged MOCF is all a
  // failed edit should report.
  bool LoadedDigestHolds(Failure_t* pFailure) const;
  // The same over bytes in memory, copied.
  bool OpenMemory(const unsigned char* pData, size_t size, const std::string& named,
                  Failure_t* pFailure);
  // An empty MOCF, its version and hash records alone: the first record
  // added must be its product list. path is where inputs' paths are checked
  // against, as a build's.
  void OpenEmpty(const std::string& path);

  // Each leaves the edit as it was when it fails: status 1 for what the
  // command line gives wrong, 2 for what the MOCF refuses.
  bool Remove(const std::string& selector, Failure_t* pFailure);
  bool Replace(const std::string& selector, const EditInput_t& input, const Placing_t& placing,
               Failure_t* pFailure);
  bool Add(const EditInput_t& input, const Placing_t& placing, Failure_t* pFailure);
  bool Set(const std::string& selector, const std::string& key, const std::string& value,
           Failure_t* pFailure);
  bool Unset(const std::string& selector, const std::string& key, Failure_t* pFailure);

  int RecordCount() const;
  // Whether the result is a MOCF the programs would write: its size, then
  // the Gen6 rules, as a run's image is checked.
  bool Check(Failure_t* pFailure) const;
  // The result's bytes, its digest in place; after Check.
  bool Render(std::vector<unsigned char>* pImage, Failure_t* pFailure) const;
  // Writes the result over path (the MOCF's, or another), which lock
  // guards, and puts it in place; after Check. A MOCF read where it lies
  // has its digest checked first. False with *pFailure's status 0 when a
  // write fails.
  bool Write(const std::string& path, const platform::CFileLock& lock,
             const std::function<void(uint64_t written, uint64_t total)>& progress,
             Failure_t* pFailure) const;

 private:
  struct Record_t;
  bool Load(Failure_t* pFailure);
  void Walk();
  bool LoadInPlace();
  bool Fail(Failure_t* pFailure, int status, const std::string& why) const;
  int Find(const std::string& text, Failure_t* pFailure) const;
  bool Make(const EditInput_t& input, const Placing_t& placing, int at, const Record_t* pOld,
            Record_t* pRecord, Failure_t* pFailure) const;
  bool MakeFromMemory(const EditInput_t& input, const std::string& name, bool typed,
                      Record_t* pRecord, Failure_t* pFailure) const;
  bool Place(const Placing_t& placing, int defaultAt, size_t count, int* pAt,
             Failure_t* pFailure) const;
  bool Settings(const std::string& selector, const std::string& key,
                const std::function<bool(std::string*)>& change, Failure_t* pFailure);
  ImageJob_t Job() const;

  std::string m_Path;   // absolute; the inputs are checked against it
  std::string m_Named;  // as typed
  std::vector<unsigned char> m_Base;  // the MOCF held whole, or its header alone
  bool m_InFile = false;
  uint64_t m_BaseSize = 0;
  std::vector<unsigned char> m_StoredDigest;
  std::vector<Record_t> m_Records;
  int m_Edit = 0;  // the edit being made, from 1, for messages
};

}  // namespace mocfedit
