#include "ObjectRecordBuilder.h"

#include <cstring>
#include <utility>
#include <vector>

#include "Coding.h"
#include "FileHelper.h"
#include "Gen6Creators.h"

namespace {

// Grows only; printed once by the append after a failed build.
std::string m_ErrorStr;

// Room beyond a file's own bytes for the headers of the records it is
// wrapped in and for a small MOCF it is appended to. With it, a large file
// read once is moved into place rather than copied to fresh memory.
constexpr size_t kEnvelopeRoom = 4096;

bool ReadWithRoom(const char* pFile, size_t room, std::vector<unsigned char>* pBytes) {
  const int32_t length = CFileHelper::GetFileLength(pFile);
  if (length > 0) pBytes->reserve(static_cast<size_t>(length) + room);
  return CFileHelper::ReadFileData(pFile, pBytes);
}

}  // namespace

void AddErrorStr(const char* pText) { m_ErrorStr += pText; }

std::string GetErrorStr() { return m_ErrorStr; }

void ClearErrorStr() { m_ErrorStr.clear(); }

bool CreateObjectRecordFromFile(const InParams_t* pParams, CTlvContainerCreator* pOut) {
  switch (pParams->Type) {
    case UserFile:
      return CreateUserFileRecord(pParams->InFile, pOut);
    case CompatProd:
      return CreateCompatProdRecord(pParams->InFile, pOut);
    case Object:
      return CreateObjectRecord(pParams->InFile, pOut);
    case CustomDefaults:
      return CreateCustomDefaultsRecord(pParams->InFile, pOut);
    case Binary:
      return CreateBinaryRecord(pParams->InFile, pParams->Tag, pOut);
    case SwKeys:
      return CreateSwKeysRecord(pParams->InFile, pParams->PartNum, pOut);
    case MenuSettings:
      return CreateMenuSettingsRecord(pParams->InFile, pOut);
    default:
      AddErrorStr("Unknown file type\n");
      return false;
  }
}

// The file holds one complete record made elsewhere, with nothing after
// its value (not even padding).
bool CreateObjectRecord(const char* pFile, CTlvContainerCreator* pOut) {
  std::vector<unsigned char> bytes;
  if (!ReadWithRoom(pFile, kEnvelopeRoom, &bytes)) {
    AddErrorStr("Can't read Object File\n");
    return false;
  }
  if (bytes.size() < CTlv::kHeaderSize) {
    AddErrorStr("CreateObjectRecord: failed to read TLV header\n");
    return false;
  }
  if (coding::DecodeFixed32(bytes.data() + 4) != bytes.size() - CTlv::kHeaderSize) {
    AddErrorStr("Object File is invalid\n");
    return false;
  }
  pOut->Set(std::move(bytes));
  return true;
}

bool CreateBinaryRecord(const char* pFile, unsigned int Tag, CTlvContainerCreator* pOut) {
  std::vector<unsigned char> bytes;
  if (!ReadWithRoom(pFile, kEnvelopeRoom, &bytes)) {
    AddErrorStr("Can't read Binary File\n");
    return false;
  }
  const CTlv::Header_t header = {Tag, static_cast<uint32_t>(bytes.size())};
  pOut->Set(&header, std::move(bytes));
  return true;
}

// The stored name is the path exactly as typed; whether it is an
// acceptable name is for the MOCF check to say.
bool CreateUserFileRecord(const char* pFile, CTlvContainerCreator* pOut) {
  CGen6FileNameCreator name;
  name.Set(pFile);
  std::vector<unsigned char> bytes;
  if (!ReadWithRoom(pFile, kEnvelopeRoom + std::strlen(pFile), &bytes)) {
    AddErrorStr("Can't read User File\n");
    return false;
  }
  CGen6DataCreator data;
  data.Set(std::move(bytes));
  CGen6UserFileCreator user;
  user.Set(&name, std::move(data));
  *pOut = std::move(user);
  return true;
}
