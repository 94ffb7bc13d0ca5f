#include "AppendOnDisk.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "AppendSteps.h"
#include "Coding.h"
#include "FileHelper.h"
#include "Gen6MocfParser.h"
#include "MocfCreator.h"
#include "MocfTags.h"
#include "ObjectRecordBuilder.h"
#include "Platform.h"
#include "ReplaceFile.h"

namespace {

// The record to append: all of it but the input file's bytes, which the
// system copies straight into the new image.
struct Record_t {
  CTlvContainerCreator Head;
  RecordTail_t Tail = {0, 0};
};

bool WouldLoad(const options_t* options) {
  return CFileHelper::DoesFileExist(options->MocfFile.c_str()) && !options->DeleteContents;
}

// A MOCF the run would refuse to load is all it reports.
bool LoadedMocfIsDamaged(const options_t* options) {
  if (!WouldLoad(options)) return false;
  std::vector<unsigned char> image;
  return !CFileHelper::ReadFileData(options->MocfFile.c_str(), &image) ||
         !CMocfCreator().Init(std::move(image));
}

bool BuildRecord(const options_t* options, Record_t* pRecord) {
  const InParams_t params = {options->InFile.c_str(), options->PartNum.c_str(), options->Type,
                             options->Tag};
  if (CreateObjectRecordHead(&params, &pRecord->Head, &pRecord->Tail)) return true;
  if (!CreateObjectRecordFromFile(&params, &pRecord->Head)) return false;
  const CTlv::Header_t* pHeader = CTlv::AtByte(pRecord->Head.Get()->data());
  pRecord->Tail = {0, static_cast<uint32_t>(CTlvContainerParser::CalcNumPaddingBytes(pHeader))};
  return true;
}

// The loaded image, or the empty MOCF a run starts afresh with, then the
// record; *pOldSize is where the record begins.
bool WriteImage(const options_t* options, bool loads, const Record_t* pRecord,
                CFileReplacement* pOut, uint64_t* pOldSize) {
  if (loads) {
    const int32_t length = CFileHelper::GetFileLength(options->MocfFile.c_str());
    *pOldSize = static_cast<uint64_t>(length);
    if (length < static_cast<int32_t>(CTlv::kHeaderSize) ||
        !pOut->CopyFrom(options->MocfFile, *pOldSize))
      return false;
  } else {
    CMocfCreator empty;
    empty.Init();
    *pOldSize = empty.Get()->size();
    if (!pOut->Write(empty.Get()->data(), empty.Get()->size())) return false;
  }
  static const unsigned char kZeros[4] = {};
  const std::vector<unsigned char>* pHead = pRecord->Head.Get();
  const RecordTail_t& tail = pRecord->Tail;
  return pOut->Write(pHead->data(), pHead->size()) &&
         (tail.FileBytes == 0 || pOut->CopyFrom(options->InFile, tail.FileBytes)) &&
         pOut->Write(kZeros, tail.Padding);
}

// The loaded image's digest is checked and the new one computed at once;
// the digest is stored before the verdict, which reads it back.
std::optional<bool> FinishInPlace(CFileReplacement* pOut, const platform::CFileView* pView,
                                  const Loaded_t* pLoaded) {
  const unsigned char* pImage = pView->Data();
  CGen6MocfParser parser(CTlv::AtByte(pImage), pView->Size());
  bool loadedOk = false;
  unsigned char digest[mocf::kHashSize];
  {
    const CJoinedThread checker([&] { loadedOk = LoadedDigestMatches(pImage, pView->Size(), pLoaded); });
    const CJoinedThread hasher([&] { parser.CalcHash(digest); });
  }
  if (!loadedOk) return false;
  const CTlv::Header_t* pHash = nullptr;
  if (parser.FindRecord(mocf::kHashTag, &pHash, nullptr)) {
    const size_t size = std::min<size_t>(CTlv::GetLength(pHash), mocf::kHashSize);
    if (!pOut->WriteAt(static_cast<uint64_t>(CTlv::GetData(pHash) - pImage), digest, size))
      return std::nullopt;
  }
  if (!parser.IsValid()) {
    std::puts("Invalid MOCF.");
    return false;
  }
  return pOut->Commit();
}

// The new image, seen in place: the loaded part passes every check but its
// digest's, and the container's Length is made to take in the record.
std::optional<bool> CheckAndFinish(CFileReplacement* pOut, bool loads, uint64_t oldSize) {
  const std::unique_ptr<platform::CFileView> view = pOut->Map();
  if (!view) return std::nullopt;
  const unsigned char* pImage = view->Data();
  Loaded_t loaded;
  if (loads) {
    if (!CMocfCreator::IsAdoptable(pImage, static_cast<size_t>(oldSize), true)) return false;
    loaded.Loaded = true;
    std::memcpy(&loaded.Header, pImage, CTlv::kHeaderSize);
  }
  unsigned char length[4];
  coding::EncodeFixed32(length, coding::DecodeFixed32(pImage + 4) +
                                    static_cast<uint32_t>(view->Size() - oldSize));
  if (!pOut->WriteAt(4, length, sizeof length)) return std::nullopt;
  return FinishInPlace(pOut, view.get(), &loaded);
}

}  // namespace

std::optional<bool> AppendOnDisk(const options_t* options) {
  if (!platform::WritesRaiseNoSignal()) return std::nullopt;
  Record_t record;
  if (!BuildRecord(options, &record)) {
    PrintBuildFailureUnless(LoadedMocfIsDamaged(options));
    return false;
  }
  const bool loads = WouldLoad(options);
  CFileReplacement out(options->MocfFile);
  uint64_t oldSize = 0;
  if (!WriteImage(options, loads, &record, &out, &oldSize)) return std::nullopt;
  const uint64_t newSize = oldSize + record.Head.Get()->size() + record.Tail.FileBytes +
                           record.Tail.Padding;
  // Too large to load again: the usual way says so, once the loaded image
  // is known to be sound.
  if (newSize > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return std::nullopt;
  return CheckAndFinish(&out, loads, oldSize);
}
