// What a list of mocftool runs would make, worked out before anything is
// written: every line read, checked and built as its run would, one after
// the other, with the verdict kept up to date a record at a time. The result
// is either the run that would fail, with what it would say, or the new
// image described as pieces for the image writer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "format/Tlv.h"

#include "args/CommandLine.h"
#include "format/Gen6Verdict.h"
#include "image/ImageWriter.h"
#include "assemble/RunList.h"
#include "platform/Platform.h"

namespace mocfbuild {

// A run that would fail, and how.
struct Failure_t {
  int Line = 0;     // its line in the list; 0 when it is none of them
  int Status = 0;   // the run's exit status: 1 refused arguments, 2 failed
  std::string Said;  // what it prints on standard output, as mocftool does
  bool Ends = false;  // then "Error creating MOCF", which ends a failed run's words
  std::string Why;   // then why, a line each
  // All of it, as mocfbuild reports it.
  std::string Text() const;
};

struct BuildArgs_t {
  std::string MocfFile;  // absolute, or from the caller's current folder
  bool Delete = false;   // -d, for the first run
  bool OneRun = false;   // mocftool's own run, not a line of a list
  // What the runs' relative input paths are read from: the list's folder.
  // Empty for the current folder, which is never changed.
  std::string Folder{};
  // The MOCF as the caller typed it, to name a file that is no MOCF at all.
  std::string Named{};
  // The runs make records for mocfedit to place: hints name its ways.
  bool ForEdit = false;
};

// One record of the new image: bytes in memory, then perhaps a stretch of
// an input file and the padding after it.
struct PlannedRecord_t {
  std::vector<unsigned char> Head;
  std::string Path;  // empty when all of the record is in Head
  uint64_t FileBytes = 0;
  uint32_t Padding = 0;
  int Line = 0;
};

class CBuildPlan {
 public:
  explicit CBuildPlan(const BuildArgs_t& args) : m_Args(args) {}

  // Works through the list, its inputs read from the folder the arguments
  // name. False with the first failing run; Line is told each line's number.
  bool Make(CRunList* pList, Failure_t* pFailure, const std::function<void(int)>& Line);
  // The same for one run, of a list line or of options already read.
  bool MakeOne(const RunLine_t& line, Failure_t* pFailure);
  bool MakeOne(const options_t& options, Failure_t* pFailure);

  // One record from a run line, its arguments checked by the tool's own
  // rules as for a MOCF that exists, or as for the first run of a fresh one
  // (first), but not judged against an image: for an edit, which judges
  // the records once they are placed. *pChecked is the record, or one the
  // checks judge exactly as they judge it.
  // A user file is stored as storedName when it is not empty; another
  // kind refuses a name typed for it, and ignores one that is not.
  bool MakeRecord(const RunLine_t& line, bool first, std::string storedName, bool nameTyped,
                  PlannedRecord_t* pRecord, std::vector<unsigned char>* pChecked,
                  Failure_t* pFailure);

  // Nothing to write: the list holds no run.
  bool IsEmpty() const { return m_Verdict.GetRecordCount() == 0; }
  // The new image's records, those the runs add among them, and its bytes.
  int RecordCount() const { return m_Verdict.GetRecordCount(); }
  size_t AddedCount() const { return m_Records.size(); }
  uint64_t Size() const { return m_Verdict.GetSize(); }
  // The image, once Make succeeded; it points into the plan.
  ImageJob_t Job() const;
  // Writes the image beside the MOCF, which the caller holds locked, stores
  // its digest and puts it in place. False when it cannot: with the
  // failure of the run that loaded the MOCF when that turns out damaged as
  // it is copied, with *pFailure untouched when a write fails.
  bool Write(const platform::CFileLock& lock,
             const std::function<void(uint64_t written, uint64_t total)>& progress,
             Failure_t* pFailure) const;
  // Where the digest goes once it is known.
  uint64_t DigestOffset() const { return m_DigestAt; }
  // A MOCF appended to that was read where it lies has its digest checked
  // as it is copied: the job's second digest. False, with the failure of
  // the run that loaded it, when it does not match.
  bool LoadedDigestHolds(const std::vector<Digest_t>& digests, Failure_t* pFailure) const;
  // The list line whose record holds the byte at this offset, 0 for the MOCF
  // the list starts from.
  int LineAt(uint64_t offset) const;
  // What the runs read differently from how they are written (a --tag read
  // in part), a line each with its list line; the build goes on.
  const std::vector<Failure_t>& Notes() const { return m_Notes; }

 private:
  bool Run(const RunLine_t& line, Failure_t* pFailure);
  // The container's Length, once the last record is in.
  void FinishLength();
  bool ReadLine(const RunLine_t& line, options_t* pOptions, Failure_t* pFailure);
  bool RunOptions(options_t options, Failure_t* pFailure);
  bool Start(const options_t& options, Failure_t* pFailure);
  bool StartInPlace();
  void NoteHashRecord(uint64_t offset, uint64_t paddedSize);
  // The loaded MOCF's digest, hashed from the file, against the stored one.
  bool BaseDigestHolds(Failure_t* pFailure) const;
  bool Validate(options_t* pOptions, bool fresh, bool exists, Failure_t* pFailure);
  bool MakeRecord(const options_t& options, PlannedRecord_t* pRecord,
                  std::vector<unsigned char>* pChecked, Failure_t* pFailure) const;
  static bool LargeObject(const options_t& options, PlannedRecord_t* pRecord,
                          std::vector<unsigned char>* pChecked);
  bool Add(PlannedRecord_t record, const CTlv::Header_t* pChecked, Failure_t* pFailure);
  bool Fail(Failure_t* pFailure, int status, std::string said, std::string why) const;
  // What to type instead, after the tool's words for refused arguments.
  std::string ArgsHint(const options_t& options, bool mocfExists) const;
  std::string BareNameHint(const options_t& options) const;

  BuildArgs_t m_Args;
  bool m_Started = false;
  std::vector<unsigned char> m_Base;  // the loaded MOCF, or the empty one
  // A large MOCF appended to stays in its file: m_Base is its header.
  bool m_BaseInFile = false;
  uint64_t m_BaseSize = 0;
  CTlv::Header_t m_BaseHeader = {};
  Digest_t m_StoredDigest = {};
  int m_FirstLine = 0;
  std::vector<PlannedRecord_t> m_Records;
  std::vector<Failure_t> m_Notes;
  std::vector<uint64_t> m_Offsets;  // where each record starts
  std::vector<Range_t> m_HashRecords;
  uint64_t m_DigestAt = 0;
  CGen6Verdict m_Verdict;
  int m_Line = 0;
};

}  // namespace mocfbuild
