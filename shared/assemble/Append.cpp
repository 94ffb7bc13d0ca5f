#include "assemble/Append.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "assemble/AppendOnDisk.h"
#include "assemble/AppendSteps.h"
#include "inputs/FileHelper.h"
#include "format/Gen6MocfParser.h"
#include "image/Sizes.h"
#include "format/MocfCreator.h"
#include "run/Messages.h"
#include "format/MocfTags.h"
#include "inputs/ObjectRecordBuilder.h"
#include "platform/Platform.h"
#include "platform/ReplaceFile.h"

namespace {

// Loads the existing MOCF, or starts an empty one when there is none or
// the run asked to start afresh.
bool StartMocf(const options_t* options, const FilesSeen_t& seen, CMocfCreator* pMocf,
               Loaded_t* pLoaded) {
  const char* pPath = options->MocfFile.c_str();
  if (!seen.Loads) {
    pMocf->Init();
    return true;
  }
  // Room for the new record, so appending it does not move the image. A
  // record larger than the image takes the image in front of it instead.
  std::vector<unsigned char> image;
  const int32_t mocfLength = seen.MocfLength;
  const int32_t inputLength = seen.InputLength;
  if (mocfLength > 0 && mocfLength >= inputLength)
    image.reserve(static_cast<size_t>(mocfLength) + static_cast<size_t>(std::max(inputLength, 0)) +
                  kRecordRoom + options->InFile.size() + options->PartNum.size());
  if (!CFileHelper::ReadFileData(pPath, &image)) return false;
  if (image.size() >= CTlv::kHeaderSize)
    std::memcpy(&pLoaded->Header, image.data(), CTlv::kHeaderSize);
  pLoaded->Loaded = true;
  return pMocf->InitTrustingDigest(std::move(image));
}

bool AppendRecord(const options_t* options, CMocfCreator* pMocf, const Loaded_t* pLoaded) {
  const InParams_t params = ParamsOf(*options);
  CTlvContainerCreator record;
  if (CreateObjectRecordFromFile(&params, &record)) {
    pMocf->AddObject(std::move(record));
    return true;
  }
  const std::vector<unsigned char>* pImage = pMocf->Get();
  PrintBuildFailureUnless(!LoadedDigestMatches(pImage->data(), pImage->size(), pLoaded));
  return false;
}

// The loaded image's digest is checked, the new one computed and the image
// written, all at once; nothing changes the image until all three are done,
// and the bytes the digest changes are then written again. The verdict
// comes last, so writing starts early only when no write can end the run
// before it is printed.
bool FinishAndReplace(const std::string& path, CMocfCreator* pMocf, const Loaded_t* pLoaded,
                      const platform::CFileLock* pLock) {
  const std::vector<unsigned char>* pImage = pMocf->Get();
  CGen6MocfParser parser(CTlv::AtByte(pImage->data()), pImage->size());
  bool loadedOk = false;
  unsigned char digest[mocf::kHashSize];
  const bool small = pImage->size() < kSmallImage;
  CJoinedThread checker(
      [&] { loadedOk = LoadedDigestMatches(pImage->data(), pImage->size(), pLoaded); }, small);
  CJoinedThread hasher([&] { parser.CalcHash(digest); }, small);
  CFileReplacement replacement(path, pLock);
  const bool early = platform::WritesRaiseNoSignal();
  if (early) replacement.Write(pImage->data(), pImage->size());
  checker.Join();
  hasher.Join();
  if (!loadedOk) return false;
  pMocf->Finish(&parser);
  if (!parser.IsValid()) {
    messages::Line(messages::kInvalidMocf);
    return false;
  }
  const bool written =
      early ? replacement.WriteAt(0, pImage->data(), HashedHeadSize(&parser, pImage->data()))
            : replacement.Write(pImage->data(), pImage->size());
  return written && replacement.Commit();
}

// The file helper could not load a larger image again, and its 32-bit
// Length may already have wrapped.
bool FitsLoading(const CMocfCreator* pMocf, const Loaded_t* pLoaded) {
  if (::FitsLoading(pMocf->Get()->size())) return true;
  if (LoadedDigestMatches(pMocf->Get()->data(), pMocf->Get()->size(), pLoaded))
    messages::Line(messages::kTooLarge);
  return false;
}

}  // namespace

namespace append {

bool Run(const options_t& runOptions) {
  const options_t* options = &runOptions;
  // Nothing but a regular file is read or replaced as a MOCF.
  if (CFileHelper::LookAtMocfPath(options->MocfFile.c_str()) == CFileHelper::MocfPath::kUnusable)
    return false;
  // From before the old image is read until after the new one replaced it,
  // so that concurrent runs on one MOCF each see the previous one's result.
  const platform::CFileLock lock(ResolveLinks(options->MocfFile));
  const FilesSeen_t seen = LookAtFiles(options);
  if (const std::optional<bool> done = AppendOnDisk(options, seen, &lock)) return *done;
  CMocfCreator mocf;
  Loaded_t loaded;
  return StartMocf(options, seen, &mocf, &loaded) && AppendRecord(options, &mocf, &loaded) &&
         FitsLoading(&mocf, &loaded) && FinishAndReplace(options->MocfFile, &mocf, &loaded, &lock);
}

int StatusOf(bool appended) {
  if (appended) return 0;
  messages::Line(messages::kCreateFailed);
  return 2;
}

}  // namespace append
