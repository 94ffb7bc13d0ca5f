#include "AppendToMocf.h"

#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "FileHelper.h"
#include "Gen6MocfParser.h"
#include "MocfCreator.h"
#include "ObjectRecordBuilder.h"
#include "ReplaceFile.h"

namespace {

// Loads the existing MOCF, or starts an empty one when there is none or
// the run asked to start afresh.
bool StartMocf(const options_t* options, CMocfCreator* pMocf) {
  const char* pPath = options->MocfFile.c_str();
  if (!CFileHelper::DoesFileExist(pPath) || options->DeleteContents) {
    pMocf->Init();
    return true;
  }
  std::vector<unsigned char> image;
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
    pMocf->Reserve(record.Get()->size() + 3);
    pMocf->AddObject(&record);
  }
  pMocf->Finish();
  const std::vector<unsigned char>* pImage = pMocf->Get();
  CGen6MocfParser parser(CTlv::AtByte(pImage->data()), pImage->size());
  if (parser.IsValid()) return true;
  std::puts("Invalid MOCF.");
  return false;
}

// The file helper could not load anything larger again.
bool WriteMocf(const std::string& path, const std::vector<unsigned char>* pImage) {
  if (pImage->size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    std::puts("MOCF too large.");
    return false;
  }
  return ReplaceFile(path, pImage->data(), pImage->size());
}

}  // namespace

bool AppendToMocf(const options_t* options) {
  CMocfCreator mocf;
  return StartMocf(options, &mocf) && AppendRecord(options, &mocf) &&
         WriteMocf(options->MocfFile, mocf.Get());
}
