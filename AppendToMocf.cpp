#include "AppendToMocf.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FileHelper.h"
#include "Gen6MocfParser.h"
#include "MocfCreator.h"
#include "MocfTags.h"
#include "ObjectRecordBuilder.h"
#include "Platform.h"
#include "ReplaceFile.h"

namespace {

// Beyond the input file's size: the headers a record adds around it.
constexpr size_t kRecordRoom = 64;

// Loads the existing MOCF, or starts an empty one when there is none or
// the run asked to start afresh.
bool StartMocf(const options_t* options, CMocfCreator* pMocf) {
  const char* pPath = options->MocfFile.c_str();
  if (!CFileHelper::DoesFileExist(pPath) || options->DeleteContents) {
    pMocf->Init();
    return true;
  }
  // Room for the new record, so appending it does not move the image. A
  // record larger than the image takes the image in front of it instead.
  std::vector<unsigned char> image;
  const int32_t mocfLength = CFileHelper::GetFileLength(pPath);
  const int32_t inputLength = CFileHelper::GetFileLength(options->InFile.c_str());
  if (mocfLength > 0 && mocfLength >= inputLength)
    image.reserve(static_cast<size_t>(mocfLength) + static_cast<size_t>(std::max(inputLength, 0)) +
                  kRecordRoom + options->InFile.size() + options->PartNum.size());
  return CFileHelper::ReadFileData(pPath, &image) && pMocf->Init(std::move(image));
}

bool BuildRecord(const options_t* options, CTlvContainerCreator* pRecord) {
  const InParams_t params = {options->InFile.c_str(), options->PartNum.c_str(), options->Type,
                             options->Tag};
  if (CreateObjectRecordFromFile(&params, pRecord)) return true;
  std::printf("Error creating Object Record from file.  Additional info:\n%s\n",
              GetErrorStr().c_str());
  return false;
}

bool AppendRecord(const options_t* options, CMocfCreator* pMocf) {
  {
    CTlvContainerCreator record;
    if (!BuildRecord(options, &record)) return false;
    pMocf->AddObject(std::move(record));
  }
  // The file helper could not load a larger image again, and its 32-bit
  // Length may already have wrapped.
  if (pMocf->Get()->size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    std::puts("MOCF too large.");
    return false;
  }
  return true;
}

// Joins on every way out, an exception included.
class CJoinedThread {
 public:
  template <typename F>
  explicit CJoinedThread(F&& work) : m_Thread(std::forward<F>(work)) {}
  ~CJoinedThread() { Join(); }
  void Join() {
    if (m_Thread.joinable()) m_Thread.join();
  }

 private:
  std::thread m_Thread;
};

// Up to the end of the hash record: the bytes that change once the digest
// is stored.
size_t HashedHeadSize(CMocfParser* pParser, const unsigned char* pImage) {
  const CTlv::Header_t* pHash = nullptr;
  if (!pParser->FindRecord(mocf::kHashTag, &pHash, nullptr)) return 0;
  return static_cast<size_t>(CTlv::GetData(pHash) - pImage) + CTlv::GetLength(pHash);
}

// The digest is computed beside the writing of the image, which leaves the
// image as it is until both are done; the few bytes the digest changes are
// then written again. Whether the image is valid is known only then, so
// writing starts early only when no write can end the run before the
// verdict is printed.
bool FinishAndReplace(const std::string& path, CMocfCreator* pMocf) {
  const std::vector<unsigned char>* pImage = pMocf->Get();
  CGen6MocfParser parser(CTlv::AtByte(pImage->data()), pImage->size());
  unsigned char digest[mocf::kHashSize];
  CJoinedThread hasher([&parser, &digest] { parser.CalcHash(digest); });
  CFileReplacement replacement(path);
  const bool early = platform::WritesRaiseNoSignal();
  if (early) replacement.Write(pImage->data(), pImage->size());
  hasher.Join();
  pMocf->Finish(&parser);
  if (!parser.IsValid()) {
    std::puts("Invalid MOCF.");
    return false;
  }
  const bool written = early ? replacement.WriteAt(0, pImage->data(), HashedHeadSize(&parser, pImage->data()))
                             : replacement.Write(pImage->data(), pImage->size());
  return written && replacement.Commit();
}

}  // namespace

bool AppendToMocf(const options_t* options) {
  // From before the old image is read until after the new one replaced it,
  // so that concurrent runs on one MOCF each see the previous one's result.
  const platform::CFileLock lock(ResolveLinks(options->MocfFile));
  CMocfCreator mocf;
  return StartMocf(options, &mocf) && AppendRecord(options, &mocf) &&
         FinishAndReplace(options->MocfFile, &mocf);
}
