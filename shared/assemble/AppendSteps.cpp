#include "assemble/AppendSteps.h"

#include <cstdio>
#include <cstring>

#include "inputs/FileHelper.h"
#include "run/Messages.h"
#include "format/MocfTags.h"
#include "inputs/ObjectRecordBuilder.h"

FilesSeen_t LookAtFiles(const options_t* options) {
  FilesSeen_t seen;
  seen.Loads = !options->DeleteContents && CFileHelper::DoesMocfExist(options->MocfFile.c_str());
  seen.MocfLength = seen.Loads ? CFileHelper::GetFileLength(options->MocfFile.c_str()) : 0;
  seen.InputLength = CFileHelper::GetFileLength(InputPath(*options).c_str());
  return seen;
}

InParams_t ParamsOf(const options_t& options) {
  return {options.InFile.c_str(), options.PartNum.c_str(), options.Type, options.Tag,
          options.InPath.empty() ? nullptr : options.InPath.c_str()};
}

bool LoadedDigestMatches(const unsigned char* pImage, size_t size, const Loaded_t* pLoaded) {
  if (!pLoaded->Loaded) return true;
  CMocfParser parser(CTlv::AtByte(pImage), size);
  unsigned char digest[mocf::kHashSize];
  const CTlv::Header_t* pHash = nullptr;
  return parser.CalcHash(&pLoaded->Header, digest) &&
         parser.FindRecord(mocf::kHashTag, &pHash, nullptr) &&
         CTlv::GetLength(pHash) == mocf::kHashSize &&
         std::memcmp(CTlv::GetData(pHash), digest, mocf::kHashSize) == 0;
}

size_t HashedHeadSize(CMocfParser* pParser, const unsigned char* pImage) {
  const CTlv::Header_t* pHash = nullptr;
  if (!pParser->FindRecord(mocf::kHashTag, &pHash, nullptr)) return 0;
  return static_cast<size_t>(CTlv::GetData(pHash) - pImage) + CTlv::GetLength(pHash);
}

void PrintBuildFailureUnless(bool mocfDamaged) {
  if (mocfDamaged) return;
  messages::Printf(messages::kBuildFailed, GetErrorStr().c_str());
}
