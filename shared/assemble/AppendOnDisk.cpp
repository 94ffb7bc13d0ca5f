#include "assemble/AppendOnDisk.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "assemble/AppendSteps.h"
#include "format/Coding.h"
#include "inputs/FileHelper.h"
#include "image/ImageWriter.h"
#include "format/Gen6MocfParser.h"
#include "image/Sizes.h"
#include "format/MocfCreator.h"
#include "run/Messages.h"
#include "format/MocfTags.h"
#include "inputs/ObjectRecordBuilder.h"
#include "platform/Platform.h"
#include "platform/ReplaceFile.h"

namespace {

// The record to append: all of it but the input file's bytes, which the
// system copies straight into the new image.
struct Record_t {
  CTlvContainerCreator Head;
  RecordTail_t Tail = {0, 0};
};

// Where the new image comes from and how large it and its parts are.
struct Plan_t {
  const options_t* pOptions;
  bool Loads;        // the existing MOCF is appended to, not started afresh
  uint64_t OldSize;  // the loaded or the empty MOCF, in front of the record
  uint64_t NewSize;
};

// A MOCF the run would refuse to load is all it reports.
bool LoadedMocfIsDamaged(const options_t* options, const FilesSeen_t& seen) {
  if (!seen.Loads) return false;
  std::vector<unsigned char> image;
  return !CFileHelper::ReadFileData(options->MocfFile.c_str(), &image) ||
         !CMocfCreator().Init(std::move(image));
}

bool BuildRecord(const options_t* options, const FilesSeen_t& seen, Record_t* pRecord) {
  const InParams_t params = ParamsOf(*options);
  if (CreateObjectRecordHead(&params, seen.InputLength, &pRecord->Head, &pRecord->Tail))
    return true;
  if (!CreateObjectRecordFromFile(&params, &pRecord->Head)) return false;
  const CTlv::Header_t* pHeader = CTlv::AtByte(pRecord->Head.Get()->data());
  pRecord->Tail = {0, static_cast<uint32_t>(CTlvContainerParser::CalcNumPaddingBytes(pHeader))};
  return true;
}

// Whether the records from byte 8 fill [8, end) exactly, and the one hash
// record among them lies at [from, to): then the followers' digests are the
// parser's.
bool OneHashRecordAt(const unsigned char* pImage, uint64_t end, uint64_t from, uint64_t to) {
  bool seen = false;
  for (uint64_t pos = CTlv::kHeaderSize; pos < end;) {
    if (end - pos < CTlv::kHeaderSize) return false;
    const CTlv::Header_t* pRecord = CTlv::AtByte(pImage + pos);
    const uint64_t step = CTlvContainerParser::GetPaddedSize(pRecord);
    if (step > end - pos) return false;
    if (CTlv::GetTag(pRecord) == mocf::kHashTag) {
      if (seen || pos != from || pos + step != to) return false;
      seen = true;
    }
    pos += step;
  }
  return seen;
}

// The first hash record within the first `end` bytes; none lies at `end`.
void FindHashRecord(const unsigned char* pImage, uint64_t end, uint64_t* pFrom, uint64_t* pTo) {
  *pFrom = *pTo = end;
  for (uint64_t pos = CTlv::kHeaderSize; end - pos >= CTlv::kHeaderSize;) {
    const CTlv::Header_t* pRecord = CTlv::AtByte(pImage + pos);
    const uint64_t step = CTlvContainerParser::GetPaddedSize(pRecord);
    if (step > end - pos) return;
    if (CTlv::GetTag(pRecord) == mocf::kHashTag) {
      *pFrom = pos;
      *pTo = pos + step;
      return;
    }
    pos += step;
  }
}

struct Digests_t {
  unsigned char New[mocf::kHashSize];
  unsigned char Old[mocf::kHashSize];
  uint64_t SkipFrom, SkipTo;
  CTlv::Header_t OldHeader;
};

// The front of the old image, which holds its header and hash record.
bool ReadFront(const Plan_t& plan, std::vector<unsigned char>* pFront) {
  if (!plan.Loads) {
    CMocfCreator empty;
    empty.Init();
    *pFront = *empty.Get();
    return true;
  }
  pFront->resize(static_cast<size_t>(std::min(plan.OldSize, kFront)));
  std::FILE* pFile = platform::OpenFile(plan.pOptions->MocfFile, "rb");
  if (!pFile) return false;
  const bool read = std::fread(pFront->data(), 1, pFront->size(), pFile) == pFront->size();
  std::fclose(pFile);
  return read;
}

// Writes the image while two threads hash it: the new image under its new
// header, and the loaded one under its own.
bool WriteAndHash(const Plan_t& plan, const Record_t& record, CFileReplacement* pOut,
                  Digests_t* pDigests) {
  const options_t* options = plan.pOptions;
  std::vector<unsigned char> front;
  if (!ReadFront(plan, &front)) return false;
  FindHashRecord(front.data(), front.size(), &pDigests->SkipFrom, &pDigests->SkipTo);
  std::memcpy(&pDigests->OldHeader, front.data(), CTlv::kHeaderSize);
  CTlv::Header_t header = pDigests->OldHeader;
  coding::EncodeFixed32(reinterpret_cast<unsigned char*>(&header) + 4,
                        static_cast<uint32_t>(plan.NewSize - CTlv::kHeaderSize));
  const std::vector<unsigned char>* pHead = record.Head.Get();
  const std::vector<Range_t> skip = {{pDigests->SkipFrom, pDigests->SkipTo}};
  ImageJob_t job;
  job.Pieces = {plan.Loads ? ImagePiece_t{options->MocfFile.c_str(), 0, nullptr, plan.OldSize}
                           : ImagePiece_t{nullptr, 0, front.data(), front.size()},
                {nullptr, 0, pHead->data(), pHead->size()},
                {InputPath(*options).c_str(), 0, nullptr, record.Tail.FileBytes},
                {nullptr, 0, nullptr, record.Tail.Padding}};
  // Nothing loaded, nothing to check.
  job.Digests = {{nullptr, header, plan.NewSize, skip},
                 {nullptr, pDigests->OldHeader, plan.Loads ? plan.OldSize : 0, skip}};
  std::vector<Digest_t> digests;
  if (!WriteImage(job, pOut, &digests)) return false;
  std::memcpy(pDigests->New, digests[0].data(), mocf::kHashSize);
  std::memcpy(pDigests->Old, digests[1].data(), mocf::kHashSize);
  return true;
}

bool Verdict(CFileReplacement* pOut, const platform::CFileView* pView,
             const unsigned char* pDigest) {
  const unsigned char* pImage = pView->Data();
  CGen6MocfParser parser(CTlv::AtByte(pImage), pView->Size());
  if (pDigest) parser.SetHash(pDigest, true);
  unsigned char digest[mocf::kHashSize];
  parser.CalcHash(digest);
  const CTlv::Header_t* pHash = nullptr;
  if (parser.FindRecord(mocf::kHashTag, &pHash, nullptr)) {
    const size_t size = std::min<size_t>(CTlv::GetLength(pHash), mocf::kHashSize);
    if (!pOut->WriteAt(static_cast<uint64_t>(CTlv::GetData(pHash) - pImage), digest, size))
      return false;
  }
  if (!parser.IsValid()) {
    messages::Line(messages::kInvalidMocf);
    return false;
  }
  return pOut->Commit();
}

// The complete image, seen in place: the loaded part passes every check
// but its digest's, then its digest; the container's Length is made to
// take in the record, and the new digest is stored.
bool CheckAndFinish(const Plan_t& plan, CFileReplacement* pOut,
                    const platform::CFileView* pView, const Digests_t& digests) {
  const unsigned char* pImage = pView->Data();
  if (plan.Loads) {
    if (!CMocfCreator::IsAdoptable(pImage, static_cast<size_t>(plan.OldSize), true)) return false;
    const Loaded_t loaded = {true, digests.OldHeader};
    const bool ok = OneHashRecordAt(pImage, plan.OldSize, digests.SkipFrom, digests.SkipTo)
                        ? std::memcmp(pImage + digests.SkipFrom + CTlv::kHeaderSize, digests.Old,
                                      mocf::kHashSize) == 0
                        : LoadedDigestMatches(pImage, pView->Size(), &loaded);
    if (!ok) return false;
  }
  unsigned char length[4];
  coding::EncodeFixed32(length, static_cast<uint32_t>(plan.NewSize - CTlv::kHeaderSize));
  if (!pOut->WriteAt(4, length, sizeof length)) return false;
  const bool followed = OneHashRecordAt(pImage, plan.NewSize, digests.SkipFrom, digests.SkipTo);
  return Verdict(pOut, pView, followed ? digests.New : nullptr);
}

std::optional<Plan_t> MakePlan(const options_t* options, const FilesSeen_t& seen,
                               const Record_t& record) {
  Plan_t plan = {options, seen.Loads, 0, 0};
  if (plan.Loads) {
    if (seen.MocfLength < static_cast<int32_t>(CTlv::kHeaderSize)) return std::nullopt;
    plan.OldSize = static_cast<uint64_t>(seen.MocfLength);
  } else {
    CMocfCreator empty;
    empty.Init();
    plan.OldSize = empty.Get()->size();
  }
  plan.NewSize =
      plan.OldSize + record.Head.Get()->size() + record.Tail.FileBytes + record.Tail.Padding;
  // Too large to load again: the usual way says so, once the loaded image
  // is known to be sound.
  if (!FitsLoading(plan.NewSize))
    return std::nullopt;
  return plan;
}

bool IsSmall(const FilesSeen_t& seen) {
  return int64_t{seen.InputLength} + seen.MocfLength < static_cast<int64_t>(kSmallImage);
}

}  // namespace

std::optional<bool> AppendOnDisk(const options_t* options, const FilesSeen_t& seen,
                                 const platform::CFileLock* pLock) {
  if (!platform::WritesRaiseNoSignal() || IsSmall(seen)) return std::nullopt;
  Record_t record;
  if (!BuildRecord(options, seen, &record)) {
    PrintBuildFailureUnless(LoadedMocfIsDamaged(options, seen));
    return false;
  }
  const std::optional<Plan_t> plan = MakePlan(options, seen, record);
  if (!plan) return std::nullopt;
  CFileReplacement out(options->MocfFile, pLock);
  if (!out.Reserve(plan->NewSize)) return std::nullopt;
  // The checks read back only where they look: the records' heads, not the
  // bytes of the files they hold.
  const std::unique_ptr<platform::CFileView> view = out.Map();
  if (!view || view->Size() != plan->NewSize) return std::nullopt;
  // From the first byte read on, a failure ends the run: a second attempt
  // would read files that may have changed meanwhile, an input cut short
  // among them, and store them so.
  Digests_t digests;
  if (!WriteAndHash(*plan, record, &out, &digests)) return false;
  return CheckAndFinish(*plan, &out, view.get(), digests);
}
