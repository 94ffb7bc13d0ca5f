#include "edit/Edit.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>

#include "assemble/RunReason.h"
#include "edit/SettingsEdit.h"
#include "format/Gen6Creators.h"
#include "format/Gen6Verdict.h"
#include "format/MocfCreator.h"
#include "format/MocfParser.h"
#include "format/MocfTags.h"
#include "format/TlvContainerParser.h"
#include "image/RecordHeads.h"
#include "image/Sizes.h"
#include "inputs/FileHelper.h"
#include "inputs/ObjectRecordBuilder.h"
#include "inspect/Inspect.h"
#include "platform/JoinedThread.h"
#include "platform/ReplaceFile.h"
#include "platform/Utf8Path.h"
#include "run/Messages.h"

namespace mocfedit {

// A record of the result: one the MOCF holds, where it lies, or a new one
// as the image writer takes it.
struct CEdit::Record_t {
  bool Kept = false;
  uint64_t Offset = 0;  // of a kept record, in the MOCF
  uint64_t PaddedSize = 0;
  // The record, or one the checks judge exactly as they judge it.
  std::vector<unsigned char> Checked;
  mocfbuild::PlannedRecord_t Planned;
  Selectable_t Shown{};
};

namespace {

namespace fs = std::filesystem;

const CTlv::Header_t* HeaderOf(const std::vector<unsigned char>& record) {
  return CTlv::AtByte(record.data());
}

mocfinfo::RecordInfo InfoOf(const std::vector<unsigned char>& record) {
  return {0, 0, HeaderOf(record), false};
}

Selectable_t ShownOf(const std::vector<unsigned char>& record) {
  const unsigned int tag = CTlv::GetTag(HeaderOf(record));
  mocfinfo::RecordInfo name{};
  if (tag != mocf::kUserFileTag ||
      !mocfinfo::FindNested(InfoOf(record), record.data(), mocf::kFileNameTag, &name))
    return {tag, false, ""};
  return {tag, true, std::string(mocfinfo::Text(name))};
}

// A new record from bytes in memory, padded as a container takes it.
mocfbuild::PlannedRecord_t PlannedOf(const std::vector<unsigned char>& record) {
  mocfbuild::PlannedRecord_t planned;
  planned.Head = record;
  planned.Padding = static_cast<uint32_t>(CTlvContainerParser::CalcNumPaddingBytes(HeaderOf(record)));
  return planned;
}

// The settings kinds, their terminators and their creators.
bool IsSettings(unsigned int tag) {
  return tag == mocf::kMenuSettingsTag || tag == mocf::kCustomDefaultsTag || tag == mocf::kSwKeysTag;
}

std::vector<unsigned char> SettingsRecord(unsigned int tag, const std::string& text) {
  if (tag == mocf::kCustomDefaultsTag) {
    CGen6CustomDefaultMenuSettingsCreator creator;
    creator.Set(&text);
    return *creator.Get();
  }
  CGen6MenuSettingsCreator menu;
  CGen6SwKeysCreator keys;
  CGen6MenuSettingsCreator& creator = tag == mocf::kSwKeysTag ? keys : menu;
  creator.Set(&text);
  return *creator.Get();
}

// The items of a settings record's text, as an unpack writes them into its
// settings file, and for software keys what follows them.
bool SplitSettings(const std::vector<unsigned char>& record, std::string* pItems,
                   std::string* pAfter) {
  const mocfinfo::RecordInfo info = InfoOf(record);
  std::string text(mocfinfo::Text(info));
  const char terminator = info.Tag() == mocf::kCustomDefaultsTag ? '@' : '.';
  if (text.empty() || text.back() != terminator || text.size() + 1 != info.Length()) return false;
  text.pop_back();
  pAfter->clear();
  if (info.Tag() == mocf::kSwKeysTag) {
    std::string_view part;
    if (!mocfinfo::PartNumber(info, &part)) return false;
    const size_t keys = text.size() - part.size() - 6;
    *pAfter = text.substr(keys);
    text.resize(keys);
    if (!text.empty() && text.back() != ';') return false;
    if (!text.empty()) text.pop_back();
  }
  *pItems = text;
  return true;
}

std::string Joined(const std::string& items, const std::string& after) {
  return items + (items.empty() || after.empty() ? "" : ";") + after;
}

bool ReadRange(const std::string& path, uint64_t offset, uint64_t size,
               std::vector<unsigned char>* pOut) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  const size_t at = pOut->size();
  pOut->resize(at + size);
  return static_cast<bool>(
      in.read(reinterpret_cast<char*>(pOut->data() + at), static_cast<std::streamsize>(size)));
}

}  // namespace

CEdit::CEdit() = default;
CEdit::~CEdit() = default;

bool CEdit::Fail(Failure_t* pFailure, int status, const std::string& why) const {
  *pFailure = {m_Edit, status, "", false, why + "\n"};
  return false;
}

bool CEdit::Open(const std::string& path, const std::string& named, Failure_t* pFailure,
                 bool laterDigest) {
  m_Path = Utf8Of(fs::absolute(Utf8Path(path)));
  m_Named = named;
  if (CFileHelper::LookAtMocfPath(m_Path.c_str()) == CFileHelper::MocfPath::kUnusable)
    return Fail(pFailure, 2, mocfbuild::NotAMocfFile(named));
  if (!CFileHelper::DoesMocfExist(m_Path.c_str()))
    return Fail(pFailure, 2, "cannot read " + named + ": " +
                                 CFileHelper::WhyCannotRead(m_Path.c_str()));
  if (CFileHelper::GetFileLength(m_Path.c_str()) > kHeldWhole && LoadInPlace())
    return laterDigest || LoadedDigestHolds(pFailure);
  m_Base.clear();
  if (!CFileHelper::ReadFileData(m_Path.c_str(), &m_Base))
    return Fail(pFailure, 2, "cannot read " + named + " whole: " +
                                 CFileHelper::WhyCannotRead(m_Path.c_str()));
  return Load(pFailure);
}

bool CEdit::OpenMemory(const unsigned char* pData, size_t size, const std::string& named,
                       Failure_t* pFailure) {
  m_Path.clear();
  m_Named = named;
  m_Base.assign(pData, pData + size);
  return Load(pFailure);
}

void CEdit::OpenEmpty(const std::string& path) {
  m_Path = path.empty() ? "" : Utf8Of(fs::absolute(Utf8Path(path)));
  m_Named = path;
  CMocfCreator empty;
  empty.Init();
  m_Base = *empty.Get();
  Walk();
}

// The MOCF held whole, judged as an append judges it.
bool CEdit::Load(Failure_t* pFailure) {
  std::string reason = "the MOCF cannot be read whole";
  if (!CMocfCreator::IsAdoptable(m_Base.data(), m_Base.size(), false, &reason)) {
    if (CMocfParser::IsNotMocf(m_Base.data(), m_Base.size())) reason = m_Named + " is " + reason;
    return Fail(pFailure, 2, reason);
  }
  Walk();
  return true;
}

// The records of the MOCF held whole, which lies in its container.
void CEdit::Walk() {
  m_InFile = false;
  m_BaseSize = m_Base.size();
  m_Records.clear();
  CTlvContainerParser walk(CTlv::AtByte(m_Base.data()), m_Base.size());
  for (const CTlv::Header_t* p = walk.GetFirstRecord(); p; p = walk.GetNextRecord()) {
    Record_t record;
    record.Kept = true;
    record.Offset = walk.OffsetOf(p);
    record.PaddedSize = CTlvContainerParser::GetPaddedSize(p);
    record.Checked.assign(CTlv::Bytes(p), CTlv::Bytes(p) + CTlv::GetRecordSize(p));
    record.Shown = ShownOf(record.Checked);
    m_Records.push_back(std::move(record));
  }
}

// A MOCF too large to hold, walked by its records' heads as a large append
// walks it; whatever the heads cannot show to be sound is left to the whole
// read, which says why.
bool CEdit::LoadInPlace() {
  CTlv::Header_t header;
  uint64_t size = 0;
  CGen6Verdict verdict;
  std::vector<Record_t> records;
  const bool sound = WalkSoundHeads(m_Path, &header, &size, &verdict, [&](RecordHead_t& head) {
    Record_t record;
    record.Kept = true;
    record.Offset = head.Offset;
    record.PaddedSize = head.PaddedSize;
    record.Checked = std::move(head.Checked);
    record.Shown = ShownOf(record.Checked);
    records.push_back(std::move(record));
  });
  if (!sound) return false;
  m_Records = std::move(records);
  m_InFile = true;
  m_BaseSize = size;
  m_Base.assign(CTlv::Bytes(&header), CTlv::Bytes(&header) + CTlv::kHeaderSize);
  const std::vector<unsigned char>& hash = m_Records[1].Checked;
  m_StoredDigest.assign(hash.begin() + CTlv::kHeaderSize,
                        hash.begin() + CTlv::kHeaderSize + mocf::kHashSize);
  return true;
}

bool CEdit::LoadedDigestHolds(Failure_t* pFailure) const {
  if (!m_InFile) return true;
  CTlv::Header_t header;
  std::copy_n(m_Base.begin(), CTlv::kHeaderSize, reinterpret_cast<unsigned char*>(&header));
  std::vector<Range_t> hashes;
  for (const Record_t& record : m_Records)
    if (CTlv::GetTag(HeaderOf(record.Checked)) == mocf::kHashTag)
      hashes.push_back({record.Offset, record.Offset + record.PaddedSize});
  Digest_t digest{};
  if (!HashImage({{m_Path.c_str(), 0, nullptr, m_BaseSize}}, {nullptr, header, m_BaseSize, hashes},
                 &digest))
    return (*pFailure = {0, 2, "", false, "cannot read " + m_Named + ": it changed while it was read\n"}),
           false;
  if (std::equal(digest.begin(), digest.end(), m_StoredDigest.begin())) return true;
  *pFailure = {0, 2, "", true, CMocfParser::DigestMismatch(m_StoredDigest.data(), digest.data()) + "\n"};
  return false;
}

int CEdit::RecordCount() const { return static_cast<int>(m_Records.size()); }

int CEdit::Find(const std::string& text, Failure_t* pFailure) const {
  Selector_t selector;
  std::string why;
  if (!ParseSelector(text, &selector, &why)) return Fail(pFailure, 1, why), -1;
  std::vector<Selectable_t> shown;
  for (const Record_t& record : m_Records) shown.push_back(record.Shown);
  const int found = Select(selector, shown, &why);
  if (found < 0) Fail(pFailure, 2, why);
  return found;
}

bool CEdit::Place(const Placing_t& placing, int defaultAt, size_t count, int* pAt,
                  Failure_t* pFailure) const {
  const int last = static_cast<int>(count) + 1;
  *pAt = placing.At ? placing.At : defaultAt;
  if (*pAt < 3)
    return Fail(pFailure, 1, "--at " + std::to_string(*pAt) +
                                 ": records 1 and 2 are the version and hash records; a new "
                                 "record goes at 3 or after");
  if (*pAt > last)
    return Fail(pFailure, 2, "--at " + std::to_string(*pAt) + " is past the end: the MOCF has " +
                                 std::to_string(count) + " records, so a new one goes at 3 to " +
                                 std::to_string(last));
  return true;
}

bool CEdit::Make(const EditInput_t& input, const Placing_t& placing, int at, const Record_t* pOld,
                 Record_t* pRecord, Failure_t* pFailure) const {
  // A replaced user file's name goes to a new user file only.
  const bool typed = !placing.Name.empty();
  std::string name = placing.Name;
  if (!typed && pOld && pOld->Shown.HasName) name = pOld->Shown.Name;
  if (input.Words.empty()) {
    if (!MakeFromMemory(input, name, typed, pRecord, pFailure)) return false;
  } else {
    mocfbuild::CBuildPlan plan({m_Path, false, false, "", m_Named, true});
    if (!plan.MakeRecord({m_Edit, input.Words}, at == 3, name, typed, &pRecord->Planned,
                         &pRecord->Checked, pFailure))
      return false;
    pFailure->Line = m_Edit;
  }
  const mocfbuild::PlannedRecord_t& planned = pRecord->Planned;
  pRecord->Kept = false;
  pRecord->PaddedSize = planned.Head.size() + planned.FileBytes + planned.Padding;
  pRecord->Shown = ShownOf(pRecord->Checked);
  return true;
}

bool CEdit::MakeFromMemory(const EditInput_t& input, const std::string& name, bool typed,
                           Record_t* pRecord,
                           Failure_t* pFailure) const {
  const std::string stored = name.empty() || input.Type != UserFile ? input.Name : name;
  if (typed && input.Type != UserFile)
    return Fail(pFailure, 1, "a name is stored only with a user file");
  if (input.Type == SwKeys && input.PartNum.empty())
    return Fail(pFailure, 1, "software keys need a part number (--PartNum)");
  // Software keys without a file have no path to open either.
  const InParams_t params = {input.NoFile ? "" : stored.c_str(), input.PartNum.c_str(), input.Type,
                             input.Tag, nullptr, input.NoFile ? nullptr : &input.Bytes};
  ClearErrorStr();
  CTlvContainerCreator built;
  if (input.NoFile && input.Type != SwKeys)
    return Fail(pFailure, 1, "only software keys can be given without a file");
  if (!CreateObjectRecordFromFile(&params, &built)) {
    messages::CCapture capture;
    messages::Printf(messages::kBuildFailed, GetErrorStr().c_str());
    *pFailure = {m_Edit, 2, capture.Take(), true, GetReasons()};
    return false;
  }
  pRecord->Checked = *built.Get();
  pRecord->Planned = PlannedOf(pRecord->Checked);
  return true;
}

bool CEdit::Remove(const std::string& selector, Failure_t* pFailure) {
  ++m_Edit;
  const int found = Find(selector, pFailure);
  if (found < 0) return false;
  m_Records.erase(m_Records.begin() + found);
  return true;
}

bool CEdit::Replace(const std::string& selector, const EditInput_t& input,
                    const Placing_t& placing, Failure_t* pFailure) {
  ++m_Edit;
  const int found = Find(selector, pFailure);
  int at = 0;
  Record_t record;
  if (found < 0 || !Place(placing, found + 1, m_Records.size() - 1, &at, pFailure) ||
      !Make(input, placing, at, &m_Records[found], &record, pFailure))
    return false;
  m_Records.erase(m_Records.begin() + found);
  m_Records.insert(m_Records.begin() + (at - 1), std::move(record));
  return true;
}

bool CEdit::Add(const EditInput_t& input, const Placing_t& placing, Failure_t* pFailure) {
  ++m_Edit;
  int at = 0;
  Record_t record;
  if (!Place(placing, static_cast<int>(m_Records.size()) + 1, m_Records.size(), &at, pFailure) ||
      !Make(input, placing, at, nullptr, &record, pFailure))
    return false;
  m_Records.insert(m_Records.begin() + (at - 1), std::move(record));
  return true;
}

bool CEdit::Settings(const std::string& selector, const std::string& key,
                     const std::function<bool(std::string*)>& change, Failure_t* pFailure) {
  const int found = Find(selector, pFailure);
  if (found < 0) return false;
  Record_t& record = m_Records[found];
  const unsigned int tag = record.Shown.Tag;
  const std::string place =
      "record " + std::to_string(found + 1) + " (" + InfoOf(record.Checked).Kind() + ")";
  std::string items, after;
  if (!IsSettings(tag))
    return Fail(pFailure, 2, place + " holds no settings: settings are set in menu settings, "
                             "custom defaults and software keys");
  if (!SplitSettings(record.Checked, &items, &after))
    return Fail(pFailure, 2, place + ": its text does not end as a settings text does");
  if (!change(&items)) {
    const std::string keys = KeysOf(items);
    return Fail(pFailure, 2, place + " has no setting " + key + (keys.empty() ? "" : ": its keys are " + keys));
  }
  Record_t changed;
  changed.Checked = SettingsRecord(tag, Joined(items, after));
  changed.Planned = PlannedOf(changed.Checked);
  changed.PaddedSize = changed.Checked.size() + changed.Planned.Padding;
  changed.Shown = record.Shown;
  record = std::move(changed);
  return true;
}

bool CEdit::Set(const std::string& selector, const std::string& key, const std::string& value,
                Failure_t* pFailure) {
  ++m_Edit;
  std::string why;
  if (!CheckKey(key, &why) || !CheckValue(value, &why)) return Fail(pFailure, 1, why);
  return Settings(selector, key, [&](std::string* pItems) {
    *pItems = SetItem(*pItems, key, value);
    return true;
  }, pFailure);
}

bool CEdit::Unset(const std::string& selector, const std::string& key, Failure_t* pFailure) {
  ++m_Edit;
  std::string why;
  if (!CheckKey(key, &why)) return Fail(pFailure, 1, why);
  return Settings(selector, key, [&](std::string* pItems) {
    return UnsetItem(*pItems, key, pItems);
  }, pFailure);
}

// As a build checks its image a run at a time: the version and hash records
// first, then each record as it would be appended.
bool CEdit::Check(Failure_t* pFailure) const {
  uint64_t size = CTlv::kHeaderSize;
  for (const Record_t& record : m_Records) size += record.PaddedSize;
  if (!FitsLoading(size)) {
    *pFailure = {0, 2, std::string(messages::kTooLarge) + "\n", true, ""};
    return false;
  }
  std::vector<unsigned char> front(m_Base.begin(), m_Base.begin() + CTlv::kHeaderSize);
  size_t engine = 0;
  for (; engine < 2 && engine < m_Records.size(); ++engine) {
    const Record_t& record = m_Records[engine];
    front.insert(front.end(), record.Checked.begin(), record.Checked.end());
    front.resize(front.size() + record.PaddedSize - record.Checked.size());
  }
  const uint32_t length = static_cast<uint32_t>(front.size() - CTlv::kHeaderSize);
  for (int i = 0; i < 4; ++i) front[4 + i] = static_cast<unsigned char>(length >> (8 * i));
  CGen6Verdict verdict;
  verdict.Start(front.data(), front.size());
  bool holds = true;
  for (size_t i = engine; i < m_Records.size() && holds; ++i)
    holds = verdict.Append(HeaderOf(m_Records[i].Checked), m_Records[i].PaddedSize);
  // With no record after the engine's, no append has asked for a product list.
  if (holds && verdict.HoldsTogether()) return true;
  *pFailure = {0, 2, std::string(messages::kInvalidMocf) + "\n", true, verdict.GetReason() + "\n"};
  return false;
}

ImageJob_t CEdit::Job() const {
  ImageJob_t job;
  uint64_t size = CTlv::kHeaderSize;
  std::vector<Range_t> hashes;
  for (const Record_t& record : m_Records) {
    if (CTlv::GetTag(HeaderOf(record.Checked)) == mocf::kHashTag)
      hashes.push_back({size, size + record.PaddedSize});
    size += record.PaddedSize;
  }
  CTlv::Header_t header = {mocf::kMocfTag, static_cast<uint32_t>(size - CTlv::kHeaderSize)};
  job.Pieces.push_back({nullptr, 0, nullptr, 0});  // the header, which the caller holds
  uint64_t keptEnd = 0;  // where the last piece ends in the MOCF, when it is the MOCF's
  for (const Record_t& record : m_Records) {
    const mocfbuild::PlannedRecord_t& planned = record.Planned;
    if (record.Kept) {
      // Records kept in their order are one stretch of the MOCF, read once.
      if (keptEnd == record.Offset)
        job.Pieces.back().Size += record.PaddedSize;
      else if (m_InFile)
        job.Pieces.push_back({m_Path.c_str(), record.Offset, nullptr, record.PaddedSize});
      else
        job.Pieces.push_back({nullptr, 0, m_Base.data() + record.Offset, record.PaddedSize});
      keptEnd = record.Offset + record.PaddedSize;
      continue;
    }
    keptEnd = 0;
    job.Pieces.push_back({nullptr, 0, planned.Head.data(), planned.Head.size()});
    if (!planned.Path.empty())
      job.Pieces.push_back({planned.Path.c_str(), 0, nullptr, planned.FileBytes});
    if (planned.Padding) job.Pieces.push_back({nullptr, 0, nullptr, planned.Padding});
  }
  job.Digests.push_back({nullptr, header, size, hashes});
  return job;
}

bool CEdit::Render(std::vector<unsigned char>* pImage, Failure_t* pFailure) const {
  if (!LoadedDigestHolds(pFailure)) return false;
  ImageJob_t job = Job();
  const CTlv::Header_t& header = job.Digests[0].Header;
  job.Pieces[0] = {nullptr, 0, CTlv::Bytes(&header), CTlv::kHeaderSize};
  std::vector<unsigned char>& image = *pImage;
  image.clear();
  image.reserve(job.Digests[0].End);
  for (const ImagePiece_t& piece : job.Pieces) {
    if (piece.pPath && !ReadRange(piece.pPath, piece.FileOffset, piece.Size, &image))
      return Fail(pFailure, 2, std::string("cannot read ") + piece.pPath);
    if (!piece.pPath && piece.pBytes) image.insert(image.end(), piece.pBytes, piece.pBytes + piece.Size);
    if (!piece.pPath && !piece.pBytes) image.resize(image.size() + piece.Size);
  }
  Digest_t digest{};
  FollowedImage_t followed = job.Digests[0];
  followed.pImage = image.data();
  if (!HashImage({{nullptr, 0, image.data(), image.size()}}, followed, &digest) ||
      followed.Skips.empty())
    return Fail(pFailure, 2, "the result holds no hash record");
  std::copy(digest.begin(), digest.end(), image.begin() + followed.Skips[0].From + CTlv::kHeaderSize);
  return true;
}

bool CEdit::Write(const std::string& path, const platform::CFileLock& lock,
                  const std::function<void(uint64_t, uint64_t)>& progress,
                  Failure_t* pFailure) const {
  ImageJob_t job = Job();
  const CTlv::Header_t header = job.Digests[0].Header;
  job.Pieces[0] = {nullptr, 0, CTlv::Bytes(&header), CTlv::kHeaderSize};
  job.Progress = progress;
  if (job.Digests[0].Skips.empty()) return Fail(pFailure, 2, "the result holds no hash record");
  CFileReplacement out(path, &lock);
  std::vector<Digest_t> digests;
  *pFailure = {};
  bool written = false, loadedHolds = true;
  Failure_t damaged;
  {
    // The MOCF's own digest is hashed beside the write, on a core of its
    // own, as an append follows it while it copies.
    const CJoinedThread beside([&] {
      try {
        loadedHolds = LoadedDigestHolds(&damaged);
      } catch (...) {  // a thread lets nothing out
        loadedHolds = false;
        damaged = {0, 2, "", false, "the MOCF's digest could not be checked\n"};
      }
    }, !m_InFile);
    written = WriteImage(job, &out, &digests);
  }
  if (!loadedHolds) {
    *pFailure = damaged;
    return false;
  }
  return written &&
         out.WriteAt(job.Digests[0].Skips[0].From + CTlv::kHeaderSize, digests[0].data(),
                     digests[0].size()) &&
         out.Commit();
}

}  // namespace mocfedit
