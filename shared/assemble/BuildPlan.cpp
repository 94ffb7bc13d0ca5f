#include "assemble/BuildPlan.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "inputs/FileHelper.h"
#include "run/Messages.h"
#include "format/MocfCreator.h"
#include "format/MocfParser.h"
#include "format/MocfTags.h"
#include "inputs/ObjectRecordBuilder.h"
#include "platform/Platform.h"
#include "image/RecordHeads.h"
#include "platform/ReplaceFile.h"
#include "image/Sizes.h"
#include "format/TlvContainerParser.h"
#include "args/Usage.h"
#include "platform/Utf8Path.h"

namespace mocfbuild {

namespace {

namespace fs = std::filesystem;

// Binary records whose kind's check reads their bytes: they are read whole
// for it. Under any other tag the check sees the tag alone.
bool CheckReadsValue(unsigned int tag) {
  return tag == mocf::kCompatProdTag || (tag >= mocf::kFirmwareTag && tag <= mocf::kMenuSettingsTag);
}

const char kNoMocfInList[] =
    "-m has no place in a list: the MOCF is named once, on mocfbuild's command line\n";

// An option glued to its value (-tuser, --type=SwKeys, -t=user) as other
// tools take it: the option and value as two words, in the form the tool
// accepts, or empty when the word is no such option. Where -t refuses the
// value, --type may take it, and the other way round.
std::string Unglued(const std::string& word) {
  const bool isLong = word.rfind("--", 0) == 0;
  const size_t cut = isLong ? word.find('=') : 2 + (word.size() > 2 && word[2] == '=');
  if (cut == std::string::npos || word.size() <= cut + isLong || word[0] != '-') return "";
  const std::string option = word.substr(0, isLong ? cut : 2);
  const std::string value = word.substr(cut + (isLong ? 1 : 0));
  std::vector<std::string> options = {option};
  if (StrInCmp(option.c_str(), "-t") || StrInCmp(option.c_str(), "--type"))
    options.push_back(StrInCmp(option.c_str(), "-t") ? "--type" : "-t");
  else if (!StrInCmp(option.c_str(), "-f") && !StrInCmp(option.c_str(), "-m") &&
           !StrInCmp(option.c_str(), "--tag") && !StrInCmp(option.c_str(), "--PartNum"))
    return "";
  const messages::CCapture quiet;
  const auto takes = [&](const std::string& o) {
    const char* argv[] = {"mocftool", o.c_str(), value.c_str()};
    options_t read;
    return ReadArguments(3, argv, &read);
  };
  const auto found = std::find_if(options.begin(), options.end(), takes);
  const bool blank = value.find_first_of(" \t") != std::string::npos;
  return (found == options.end() ? option : *found) + " " + (blank ? "\"" + value + "\"" : value);
}

// What a run refused without a message of its own would have needed.
std::string WhyRefused(const RunLine_t& line, const ArgsRead_t& read, bool oneRun) {
  if (read.MocfFileGiven) return kNoMocfInList;
  if (read.DeleteGiven)
    return "-d has no place in a list: give it to mocfbuild, which then starts the MOCF "
           "afresh for the first line\n";
  const size_t at = static_cast<size_t>(std::max(read.RefusedAt, 1)) - 1;
  const std::string word = at < line.Words.size() ? line.Words[at] : std::string();
  const std::string instead = Unglued(word);
  if (!instead.empty() && !oneRun && StrInCmp(instead.substr(0, 2).c_str(), "-m"))
    return kNoMocfInList;
  if (!instead.empty())
    return "mocftool refuses the argument \"" + word +
           "\": an option and its value are two words, as in " + instead + "\n";
  return "mocftool refuses the argument \"" + word + "\" (unknown, or a value is missing)\n";
}

// Which option takes the type word that was refused, if that was it.
std::string TypeHint(const RunLine_t& line, const ArgsRead_t& read) {
  const size_t at = static_cast<size_t>(std::max(read.RefusedAt, 1)) - 1;
  if (at + 1 >= line.Words.size()) return "";
  const char* option = line.Words[at].c_str();
  if (!StrInCmp(option, "-t") && !StrInCmp(option, "--type")) return "";
  return TypeWordHint(option, line.Words[at + 1].c_str()) + "\n";
}

// Whether an input path names the MOCF being built: by its name, through a
// link, or as another name of the same file. A list names many inputs, so
// the full look is kept for paths that could be the MOCF.
bool NamesTheMocf(const std::string& input, const fs::path& mocf) {
  std::error_code ec;
  if (input.empty()) return false;
  const fs::path path = Utf8Path(input);
  const fs::file_status status = fs::symlink_status(path, ec);
  if (fs::is_symlink(status) || path.filename() == mocf.filename()) {
    const fs::path named = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (!ec && named == fs::weakly_canonical(mocf, ec) && !ec) return true;
  }
  return fs::is_regular_file(status) && platform::IsHardLinkTo(input, Utf8Of(mocf));
}

// The record builders' inputs for a run; they borrow from its options.
InParams_t ParamsOf(const options_t& options) {
  return {options.InFile.c_str(), options.PartNum.c_str(), options.Type, options.Tag,
          options.InPath.empty() ? nullptr : options.InPath.c_str()};
}

// What the tool says of a record it could not build.
std::string BuildFailureText() {
  messages::CCapture capture;
  messages::Printf(messages::kBuildFailed, GetErrorStr().c_str());
  return capture.Take();
}

}  // namespace

std::string Failure_t::Text() const {
  return Said + (Ends ? std::string(messages::kCreateFailed) + "\n" : "") + Why;
}

bool CBuildPlan::Fail(Failure_t* pFailure, int status, std::string said, std::string why) const {
  *pFailure = {m_Line, status, std::move(said), status == 2, std::move(why)};
  return false;
}

std::string CBuildPlan::ArgsHint(const options_t& options, bool mocfExists) const {
  const char* pIn = InputPath(options).c_str();
  if (*pIn && !CFileHelper::DoesFileExist(pIn))
    return "cannot read " + options.InFile + ": " + CFileHelper::WhyCannotRead(pIn) + "\n";
  if (options.Type == SwKeys && options.PartNum.empty())
    return "name the part number with --PartNum, as in --PartNum 0400-1234\n";
  if (options.Type == Binary && !options.TagSpecified)
    return "give the record's tag with --tag, as in --tag 0x70000001\n";
  if (options.Type != CompatProd || !mocfExists) return "";
  if (m_Args.ForEdit)
    return "a product list is record 3: --replace CompatProd RUN replaces it, or --at 3 puts a "
           "new one first\n";
  if (m_Args.OneRun) return "a product list starts a MOCF: -d starts it afresh with this one\n";
  if (m_Started)
    return "only the list's first line can be the product list; mocfbuild -d starts the MOCF "
           "afresh from it (a list cannot hold -d)\n";
  return "a product list starts a MOCF: mocfbuild -d starts it afresh from this line (a list "
         "cannot hold -d)\n";
}

bool CBuildPlan::MakeOne(const RunLine_t& line, Failure_t* pFailure) {
  m_Line = line.Number;
  return Run(line, pFailure) && BaseDigestHolds(pFailure);
}

// A damaged MOCF is all a failed run reports, whatever else is wrong. A
// run that succeeds has the digest of a MOCF read where it lies checked as
// the image is written, not in a pass of its own.
bool CBuildPlan::MakeOne(const options_t& options, Failure_t* pFailure) {
  m_Line = 1;
  if (RunOptions(options, pFailure)) {
    FinishLength();
    return true;
  }
  if (pFailure->Status == 2) BaseDigestHolds(pFailure);
  return false;
}

bool CBuildPlan::Make(CRunList* pList, Failure_t* pFailure, const std::function<void(int)>& Line) {
  RunLine_t line;
  while (pList->Next(&line)) {
    m_Line = line.Number;
    if (Line) Line(line.Number);
    if (!Run(line, pFailure)) {
      // A later run never comes if the MOCF the first one loaded is damaged.
      if (m_Line != m_FirstLine) BaseDigestHolds(pFailure);
      return false;
    }
  }
  if (!pList->GetError().empty()) {
    m_Line = pList->GetErrorLine();
    Fail(pFailure, 1, "", pList->GetError() + "\n");
    BaseDigestHolds(pFailure);
    return false;
  }
  FinishLength();
  return true;
}

void CBuildPlan::FinishLength() {
  if (!m_Started) return;
  const uint32_t length = static_cast<uint32_t>(m_Verdict.GetSize() - CTlv::kHeaderSize);
  for (int i = 0; i < 4; ++i) m_Base[4 + i] = static_cast<unsigned char>(length >> (8 * i));
}

bool CBuildPlan::Run(const RunLine_t& line, Failure_t* pFailure) {
  options_t options;
  return ReadLine(line, &options, pFailure) && RunOptions(std::move(options), pFailure);
}

// The run's arguments, read by the tool's own tables; a relative input is
// the list folder's.
bool CBuildPlan::ReadLine(const RunLine_t& line, options_t* pOptions, Failure_t* pFailure) {
  messages::CCapture capture;
  std::vector<const char*> argv = {"mocftool"};
  for (const std::string& word : line.Words) argv.push_back(word.c_str());
  ArgsRead_t read;
  const bool readOk = ReadArguments(static_cast<int>(argv.size()), argv.data(), pOptions, &read);
  if (!readOk || read.MocfFileGiven || read.DeleteGiven) {
    std::string text = capture.Take();
    if (text.empty() || read.MocfFileGiven || read.DeleteGiven)
      return Fail(pFailure, 1, "", WhyRefused(line, read, m_Args.OneRun));
    return Fail(pFailure, 1, text, TypeHint(line, read));
  }
  if (!m_Args.Folder.empty() && !pOptions->InFile.empty())
    pOptions->InPath = Utf8Of(Utf8Path(m_Args.Folder) / Utf8Path(pOptions->InFile));
  return true;
}

// The run checked by the tool's own rules, against the MOCF as the runs
// before it leave it, and built.
bool CBuildPlan::RunOptions(options_t options, Failure_t* pFailure) {
  const bool exists = m_Started || CFileHelper::DoesMocfExist(m_Args.MocfFile.c_str());
  if (!Validate(&options, !m_Started && m_Args.Delete, exists, pFailure)) return false;
  if (!m_Started) {
    m_FirstLine = m_Line;
    if (!Start(options, pFailure)) return false;
  }
  m_Started = true;
  PlannedRecord_t record;
  std::vector<unsigned char> checked;
  if (MakeRecord(options, &record, &checked, pFailure) &&
      Add(std::move(record), CTlv::AtByte(checked.data()), pFailure))
    return true;
  if (pFailure->Status == 2 && pFailure->Said == std::string(messages::kInvalidMocf) + "\n" &&
      pFailure->Why.find("\"" + options.InFile + "\"") != std::string::npos)
    pFailure->Why += BareNameHint(options);
  return false;
}

bool CBuildPlan::Validate(options_t* pOptions, bool fresh, bool exists, Failure_t* pFailure) {
  messages::CCapture capture;
  // Each run would read what the runs before it wrote; one build writes
  // it only at the end, so it cannot hand it to a line.
  if (!m_Args.OneRun && NamesTheMocf(InputPath(*pOptions), Utf8Path(m_Args.MocfFile)))
    return Fail(pFailure, 1, "",
                m_Args.ForEdit ? "the MOCF being edited cannot be an input of its own edit\n"
                               : "the MOCF being built cannot be an input of its own list: "
                                 "mocfbuild writes it once, after the last line\n");
  if (!pOptions->TagNote.empty()) m_Notes.push_back({m_Line, 0, "", false, "note: " + pOptions->TagNote + "\n"});
  pOptions->MocfFile = m_Args.MocfFile;
  pOptions->DeleteContents = fresh;
  if (!ValidateArgs(pOptions, exists))
    return Fail(pFailure, 1, capture.Take(), ArgsHint(*pOptions, exists));
  return true;
}

bool CBuildPlan::MakeRecord(const RunLine_t& line, bool first, std::string storedName,
                            bool nameTyped, PlannedRecord_t* pRecord, std::vector<unsigned char>* pChecked,
                            Failure_t* pFailure) {
  m_Line = line.Number;
  options_t options;
  if (!ReadLine(line, &options, pFailure)) return false;
  if (nameTyped && options.Type != UserFile)
    return Fail(pFailure, 1, "", "a name is stored only with a user file (-t user)\n");
  if (options.Type != UserFile) storedName.clear();
  if (!storedName.empty()) {
    if (options.InPath.empty()) options.InPath = options.InFile;
    options.InFile = storedName;
  }
  if (!Validate(&options, first, !first, pFailure)) return false;
  return MakeRecord(options, pRecord, pChecked, pFailure);
}

// A user file typed with its folder breaks the rule for names, which the
// verdict has said; how to store it under its name alone goes after.
std::string CBuildPlan::BareNameHint(const options_t& options) const {
  const fs::path typed = Utf8Path(options.InFile);
  const std::string bare = Utf8Of(typed.filename());
  if (options.Type != UserFile || bare.empty() || bare == options.InFile) return "";
  const std::string start = "to store it as " + bare;
  const fs::path folder = typed.parent_path();
  if (folder.lexically_normal() == ".") return start + ", give its name alone: -f " + bare + "\n";
  if (!m_Args.OneRun)
    return start + ", keep it in the list's folder and write -f " + bare +
           " (a list's paths are taken from its folder)\n";
  std::error_code ec;
  fs::path mocf = fs::relative(Utf8Path(m_Args.MocfFile), fs::absolute(folder, ec), ec);
  if (ec || mocf.empty()) mocf = Utf8Path(m_Args.MocfFile);
  const auto quoted = [](const std::string& word) {
    return word.find_first_of(" \t") == std::string::npos ? word : "\"" + word + "\"";
  };
  return start + ", run mocftool from its folder: (cd " + quoted(Utf8Of(folder)) +
         " && mocftool -m " + quoted(Utf8Of(mocf)) + " -f " + quoted(bare) + " -t user)\n";
}

// The first run loads the MOCF or starts it empty, as the tool decides.
bool CBuildPlan::Start(const options_t& options, Failure_t* pFailure) {
  const char* pPath = m_Args.MocfFile.c_str();
  const bool loads = CFileHelper::DoesMocfExist(pPath) && !options.DeleteContents;
  if (loads && CFileHelper::GetFileLength(pPath) > kHeldWhole && StartInPlace()) return true;
  if (loads) {
    std::string reason = "the MOCF cannot be read whole";
    if (!CFileHelper::ReadFileData(pPath, &m_Base) ||
        !CMocfCreator::IsAdoptable(m_Base.data(), m_Base.size(), false, &reason)) {
      // Some other file: which one is said, as mocfinfo --diff says it.
      if (!m_Args.Named.empty() && CMocfParser::IsNotMocf(m_Base.data(), m_Base.size()))
        reason = m_Args.Named + " is " + reason;
      return Fail(pFailure, 2, "", reason + "\n");
    }
  } else {
    CMocfCreator empty;
    empty.Init();
    m_Base = *empty.Get();
  }
  m_Verdict.Start(m_Base.data(), m_Base.size());
  CTlvContainerParser walk(CTlv::AtByte(m_Base.data()), m_Base.size());
  for (const CTlv::Header_t* p = walk.GetFirstRecord(); p; p = walk.GetNextRecord()) {
    if (CTlv::GetTag(p) == mocf::kHashTag)
      NoteHashRecord(walk.OffsetOf(p), CTlvContainerParser::GetPaddedSize(p));
  }
  return true;
}

void CBuildPlan::NoteHashRecord(uint64_t offset, uint64_t paddedSize) {
  if (m_HashRecords.empty()) m_DigestAt = offset + CTlv::kHeaderSize;
  m_HashRecords.push_back({offset, offset + paddedSize});
}

// Whatever the heads cannot show to be sound is left to the whole read,
// which says why.
bool CBuildPlan::StartInPlace() {
  CTlv::Header_t header;
  uint64_t size = 0;
  std::vector<Range_t> hashRecords;
  CGen6Verdict verdict;
  const bool sound = WalkSoundHeads(m_Args.MocfFile, &header, &size, &verdict, [&](RecordHead_t& head) {
    if (CTlv::GetTag(CTlv::AtByte(head.Checked.data())) != mocf::kHashTag) return;
    if (hashRecords.empty())
      std::copy_n(head.Checked.begin() + CTlv::kHeaderSize, m_StoredDigest.size(),
                  m_StoredDigest.begin());
    hashRecords.push_back({head.Offset, head.Offset + head.PaddedSize});
  });
  if (!sound) return false;
  m_Verdict = std::move(verdict);
  for (const Range_t& range : hashRecords) NoteHashRecord(range.From, range.To - range.From);
  m_BaseInFile = true;
  m_BaseSize = size;
  m_BaseHeader = header;
  m_Base.assign(CTlv::Bytes(&header), CTlv::Bytes(&header) + CTlv::kHeaderSize);
  return true;
}

bool CBuildPlan::BaseDigestHolds(Failure_t* pFailure) const {
  if (!m_BaseInFile) return true;
  ImageJob_t job = Job();
  job.Pieces.resize(2);
  Digest_t digest;
  if (HashImage(job.Pieces, job.Digests[1], &digest) &&
      std::equal(digest.begin(), digest.end(), m_StoredDigest.begin()))
    return true;
  return LoadedDigestHolds({Digest_t{}, digest}, pFailure);
}

bool CBuildPlan::LoadedDigestHolds(const std::vector<Digest_t>& digests,
                                   Failure_t* pFailure) const {
  if (!m_BaseInFile ||
      std::equal(m_StoredDigest.begin(), m_StoredDigest.end(), digests[1].begin()))
    return true;
  *pFailure = {m_FirstLine, 2, "", true,
               CMocfParser::DigestMismatch(m_StoredDigest.data(), digests[1].data()) + "\n"};
  return false;
}

// User files and binary records keep their input's bytes in the file until
// the image is written; the checks read a record that leaves them out where
// they do not look at them.
bool CBuildPlan::MakeRecord(const options_t& options, PlannedRecord_t* pRecord,
                            std::vector<unsigned char>* pChecked, Failure_t* pFailure) const {
  const InParams_t params = ParamsOf(options);
  ClearErrorStr();
  PlannedRecord_t& record = *pRecord;
  CTlvContainerCreator checked;
  if (options.Type == UserFile || options.Type == Binary) {
    CTlvContainerCreator head;
    RecordTail_t tail = {0, 0};
    if (CreateObjectRecordHead(&params, &head, &tail)) {
      const bool whole = options.Type == Binary && CheckReadsValue(options.Tag);
      if (whole ? !CreateObjectRecordFromFile(&params, &checked)
                : !CreateRecordForEmptyInput(&params, &checked))
        return Fail(pFailure, 2, BuildFailureText(), GetReasons());
      record.Head = *head.Get();
      record.Path = InputPath(options);
      record.FileBytes = tail.FileBytes;
      record.Padding = tail.Padding;
      *pChecked = *checked.Get();
      return true;
    }
  }
  if (options.Type == Object && LargeObject(options, pRecord, pChecked)) return true;
  if (!CreateObjectRecordFromFile(&params, &checked))
    return Fail(pFailure, 2, BuildFailureText(), GetReasons());
  const CTlv::Header_t* pBuilt = CTlv::AtByte(checked.Get()->data());
  record.Padding = static_cast<uint32_t>(CTlvContainerParser::CalcNumPaddingBytes(pBuilt));
  if (options.Type == Object && checked.Get()->size() > kKeptInMemory) {
    record.Path = InputPath(options);
    record.FileBytes = checked.Get()->size();
  } else {
    record.Head = *checked.Get();
  }
  *pChecked = *checked.Get();
  return true;
}

// A large object file is checked through a record that stands in for it,
// as a MOCF too large to hold is, and stays in its file until the write.
// False, having done nothing, for any other: the builder then reads it whole
// and says what it finds wrong.
bool CBuildPlan::LargeObject(const options_t& options, PlannedRecord_t* pRecord,
                             std::vector<unsigned char>* pChecked) {
  const int32_t length = CFileHelper::GetFileLength(InputPath(options).c_str());
  if (length <= static_cast<int32_t>(kKeptInMemory)) return false;
  const uint64_t size = static_cast<uint64_t>(length);
  CRecordHeads heads(InputPath(options));
  RecordHead_t head;
  // The builder's own rule: the file is the record, nothing after it.
  if (!heads.RecordAt(0, size, &head) || CTlv::kHeaderSize + head.Header.Length != size)
    return false;
  pRecord->Path = InputPath(options);
  pRecord->FileBytes = size;
  pRecord->Padding = static_cast<uint32_t>(head.PaddedSize - size);
  *pChecked = std::move(head.Checked);
  return true;
}

// As the tool checks an image after appending to it: its size first, then
// the Gen6 rules.
bool CBuildPlan::Add(PlannedRecord_t record, const CTlv::Header_t* pChecked,
                     Failure_t* pFailure) {
  const uint64_t padded = record.Head.size() + record.FileBytes + record.Padding;
  if (!FitsLoading(m_Verdict.GetSize() + padded))
    return Fail(pFailure, 2, std::string(messages::kTooLarge) + "\n", "");
  const uint64_t offset = m_Verdict.GetSize();
  if (!m_Verdict.Append(pChecked, padded))
    return Fail(pFailure, 2, std::string(messages::kInvalidMocf) + "\n",
                m_Verdict.GetReason() + "\n");
  if (CTlv::GetTag(pChecked) == mocf::kHashTag) m_HashRecords.push_back({offset, offset + padded});
  record.Line = m_Line;
  m_Offsets.push_back(offset);
  m_Records.push_back(std::move(record));
  return true;
}

bool CBuildPlan::Write(const platform::CFileLock& lock,
                       const std::function<void(uint64_t, uint64_t)>& progress,
                       Failure_t* pFailure) const {
  CFileReplacement out(m_Args.MocfFile, &lock);
  ImageJob_t job = Job();
  job.Progress = progress;
  std::vector<Digest_t> digests;
  if (!WriteImage(job, &out, &digests)) return false;
  if (!LoadedDigestHolds(digests, pFailure)) return false;
  return out.WriteAt(DigestOffset(), digests[0].data(), digests[0].size()) && out.Commit();
}

ImageJob_t CBuildPlan::Job() const {
  ImageJob_t job;
  job.Pieces.push_back({nullptr, 0, m_Base.data(), m_Base.size()});
  if (m_BaseInFile)
    job.Pieces.push_back({m_Args.MocfFile.c_str(), CTlv::kHeaderSize, nullptr,
                          m_BaseSize - CTlv::kHeaderSize});
  for (const PlannedRecord_t& record : m_Records) {
    job.Pieces.push_back({nullptr, 0, record.Head.data(), record.Head.size()});
    if (!record.Path.empty()) job.Pieces.push_back({record.Path.c_str(), 0, nullptr, record.FileBytes});
    if (record.Padding) job.Pieces.push_back({nullptr, 0, nullptr, record.Padding});
  }
  CTlv::Header_t header;
  std::copy(m_Base.begin(), m_Base.begin() + CTlv::kHeaderSize,
            reinterpret_cast<unsigned char*>(&header));
  job.Digests.push_back({nullptr, header, m_Verdict.GetSize(), m_HashRecords});
  if (m_BaseInFile) job.Digests.push_back({nullptr, m_BaseHeader, m_BaseSize, m_HashRecords});
  return job;
}

int CBuildPlan::LineAt(uint64_t offset) const {
  const auto after = std::upper_bound(m_Offsets.begin(), m_Offsets.end(), offset);
  if (after == m_Offsets.begin()) return 0;
  return m_Records[static_cast<size_t>(after - m_Offsets.begin()) - 1].Line;
}

}  // namespace mocfbuild
