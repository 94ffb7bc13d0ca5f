#include "inputs/ObjectRecordBuilder.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "format/Coding.h"
#include "inputs/FileHelper.h"
#include "format/Gen6Creators.h"
#include "image/Sizes.h"

namespace {

// Where an input's bytes come from: the file at pPath, or pContent when a
// caller holds them.
struct Source_t {
  const char* pPath;
  const std::string* pContent;
};

bool ReadWithRoom(const Source_t& in, size_t room, std::vector<unsigned char>* pBytes) {
  if (in.pContent) {
    // The file helper refuses a file this long too.
    if (in.pContent->size() > INT32_MAX) return false;
    pBytes->reserve(in.pContent->size() + room);
    pBytes->assign(in.pContent->begin(), in.pContent->end());
    return true;
  }
  const int32_t length = CFileHelper::GetFileLength(in.pPath);
  if (length > 0) pBytes->reserve(static_cast<size_t>(length) + room);
  return CFileHelper::ReadFileData(in.pPath, pBytes);
}

// The record for an empty file, then its lengths grown by the file's bytes
// and their padding: the header's at 4, and the last one's, which ends it.
bool HeadFor(const InParams_t* pParams, std::vector<unsigned char>* pHead) {
  const std::vector<unsigned char> none;
  if (pParams->Type == Binary) {
    const CTlv::Header_t header = {pParams->Tag, 0};
    CTlvContainerCreator record;
    record.Set(&header, &none);
    *pHead = *record.Get();
    return true;
  }
  if (pParams->Type != UserFile) return false;
  CGen6FileNameCreator name;
  name.Set(pParams->InFile);
  CGen6DataCreator data;
  data.Set(&none);
  CGen6UserFileCreator user;
  user.Set(&name, &data);
  *pHead = *user.Get();
  return true;
}

}  // namespace

bool CreateRecordForEmptyInput(const InParams_t* pParams, CTlvContainerCreator* pOut) {
  std::vector<unsigned char> record;
  if (!HeadFor(pParams, &record)) return false;
  pOut->Set(std::move(record));
  return true;
}

bool CreateObjectRecordHead(const InParams_t* pParams, CTlvContainerCreator* pOut,
                            RecordTail_t* pTail) {
  if (pParams->Content) return false;
  return CreateObjectRecordHead(pParams, CFileHelper::GetFileLength(OpenedPath(pParams)), pOut,
                                pTail);
}

bool CreateObjectRecordHead(const InParams_t* pParams, int32_t length, CTlvContainerCreator* pOut,
                            RecordTail_t* pTail) {
  std::vector<unsigned char> head;
  if (length < 0 || !HeadFor(pParams, &head)) return false;
  const uint32_t fileBytes = static_cast<uint32_t>(length);
  const uint32_t padding = (4 - fileBytes % 4) % 4;
  const uint32_t grown = pParams->Type == Binary ? fileBytes : fileBytes + padding;
  coding::EncodeFixed32(&head[4], coding::DecodeFixed32(&head[4]) + grown);
  if (pParams->Type == UserFile) coding::EncodeFixed32(&head[head.size() - 4], fileBytes);
  pOut->Set(std::move(head));
  *pTail = {fileBytes, padding};
  return true;
}

namespace {

std::string Count(size_t bytes) {
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

// The tool's own words name no file and no number; the usual mistake is a
// file of another kind given -t object, so what it holds comes first, then
// what an object file is and what takes other bytes.
void SayWhyNotOneRecord(const char* pName, const std::vector<unsigned char>& bytes) {
  std::string found = std::string(pName) + " is " + Count(bytes.size());
  if (bytes.size() < CTlv::kHeaderSize) {
    found += ", too short for a record's 8-byte header";
  } else {
    const size_t after = bytes.size() - CTlv::kHeaderSize;
    const uint32_t length = coding::DecodeFixed32(bytes.data() + 4);
    char tag[16];
    std::snprintf(tag, sizeof tag, "0x%08X", unsigned{coding::DecodeFixed32(bytes.data())});
    found += ": its first 8, read as a record's header, give tag " + std::string(tag) +
             " and length " + std::to_string(length) + (length > after ? ", yet only " : ", yet ") +
             Count(after) + " follow them" +
             (length < after ? ": " + Count(after - length) + " after the value" : "");
  }
  AddReason(found);
  AddReason("an object file (-t object) holds one complete record made elsewhere: an 8-byte "
            "header (tag, then the value's length, 32-bit little-endian) and the value, nothing "
            "after it, not even padding; other bytes go in as -t user, or --type binary --tag N");
}

bool ObjectRecord(const char* pName, const Source_t& in, CTlvContainerCreator* pOut) {
  std::vector<unsigned char> bytes;
  if (!ReadWithRoom(in, kEnvelopeRoom, &bytes)) {
    AddErrorStr("Can't read Object File\n");
    return false;
  }
  const bool headed = bytes.size() >= CTlv::kHeaderSize;
  if (headed && coding::DecodeFixed32(bytes.data() + 4) == bytes.size() - CTlv::kHeaderSize) {
    pOut->Set(std::move(bytes));
    return true;
  }
  AddErrorStr(headed ? "Object File is invalid\n"
                     : "CreateObjectRecord: failed to read TLV header\n");
  SayWhyNotOneRecord(pName, bytes);
  return false;
}

bool BinaryRecord(const Source_t& in, unsigned int Tag, CTlvContainerCreator* pOut) {
  std::vector<unsigned char> bytes;
  if (!ReadWithRoom(in, kEnvelopeRoom, &bytes)) {
    AddErrorStr("Can't read Binary File\n");
    return false;
  }
  const CTlv::Header_t header = {Tag, static_cast<uint32_t>(bytes.size())};
  pOut->Set(&header, std::move(bytes));
  return true;
}

bool UserFileRecord(const char* pName, const Source_t& in, CTlvContainerCreator* pOut) {
  CGen6FileNameCreator name;
  name.Set(pName);
  std::vector<unsigned char> bytes;
  if (!ReadWithRoom(in, kEnvelopeRoom + std::strlen(pName), &bytes)) {
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

}  // namespace

// The file holds one complete record made elsewhere, with nothing after
// its value (not even padding).
bool CreateObjectRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return CreateObjectRecord(pFile, pFile, pOut);
}

bool CreateObjectRecord(const char* pName, const char* pPath, CTlvContainerCreator* pOut) {
  return ObjectRecord(pName, {pPath, nullptr}, pOut);
}

bool CreateBinaryRecord(const char* pFile, unsigned int Tag, CTlvContainerCreator* pOut) {
  return BinaryRecord({pFile, nullptr}, Tag, pOut);
}

// The stored name is the path exactly as typed; whether it is an
// acceptable name is for the MOCF check to say.
bool CreateUserFileRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return CreateUserFileRecord(pFile, pFile, pOut);
}

bool CreateUserFileRecord(const char* pName, const char* pPath, CTlvContainerCreator* pOut) {
  return UserFileRecord(pName, {pPath, nullptr}, pOut);
}

bool CreateObjectRecordFromFile(const InParams_t* pParams, CTlvContainerCreator* pOut) {
  const Source_t in = {OpenedPath(pParams), pParams->Content};
  switch (pParams->Type) {
    case UserFile:
      return UserFileRecord(pParams->InFile, in, pOut);
    case Object:
      return ObjectRecord(pParams->InFile, in, pOut);
    case Binary:
      return BinaryRecord(in, pParams->Tag, pOut);
    default:
      return CreateTextRecord(pParams, pOut);
  }
}
