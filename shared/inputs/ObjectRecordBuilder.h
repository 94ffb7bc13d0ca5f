// Turns the one input file of a run into the one record appended to the
// MOCF. Builders that fail leave their reason in a process-wide error text.
#pragma once

#include <cstdint>
#include <string>

#include "inputs/FileType.h"
#include "format/TlvContainerCreator.h"

struct InParams_t {
  const char* InFile;   // path as typed; also the stored name of a user file
  const char* PartNum;  // empty unless given; SW keys only
  FileType_t Type;
  unsigned int Tag;     // binary records only
  // Where the input is opened when InFile was typed for another folder than
  // the current one (a list's line is read from the list's): null for
  // InFile itself. Messages and stored names keep InFile.
  const char* Path = nullptr;
  // The input's bytes when a caller holds them in memory: then no file is
  // opened, not even for SW keys, and the record, or the failure and its
  // reasons, are those a file of these bytes gives. InFile still names the
  // input in messages and is a user file's stored name.
  const std::string* Content = nullptr;
};

// The path the input is opened at.
inline const char* OpenedPath(const InParams_t* pParams) {
  return pParams->Path ? pParams->Path : pParams->InFile;
}

void AddErrorStr(const char* pText);
std::string GetErrorStr();
// Why, beyond the error text (which the tool prints as it stands): which
// line and word of an input is wrong, a line each.
void AddReason(const std::string& line);
std::string GetReasons();
// For a process that builds many records: the texts otherwise only grow.
void ClearErrorStr();

// On success *pOut holds exactly one record (header and value, no padding);
// on failure it is untouched and the reason is in the error text.
bool CreateObjectRecordFromFile(const InParams_t* pParams, CTlvContainerCreator* pOut);

// Where a record ends with the input file's bytes as they are (user files
// and binary records), it can be made without reading them: the record up
// to them, every length already counting them, then FileBytes bytes of the
// file and Padding zero bytes, make the record padded as a container takes
// it in. False for the other types, when the file's length is unknown and
// when the input's Content is given (build it whole then), with nothing
// added to the error text.
struct RecordTail_t {
  uint32_t FileBytes;
  uint32_t Padding;
};
bool CreateObjectRecordHead(const InParams_t* pParams, CTlvContainerCreator* pOut,
                            RecordTail_t* pTail);
// The same for a file whose length the caller has already taken; Content is
// not looked at.
bool CreateObjectRecordHead(const InParams_t* pParams, int32_t fileLength,
                            CTlvContainerCreator* pOut, RecordTail_t* pTail);

// The record a user file or binary record would be for an empty input
// file, for checks that read all of such a record but the file's bytes.
// False for the other types. Reads no input, so Content changes nothing.
bool CreateRecordForEmptyInput(const InParams_t* pParams, CTlvContainerCreator* pOut);

bool CreateObjectRecord(const char* pFile, CTlvContainerCreator* pOut);
// The same for a file whose reasons name it pName, opened at pPath.
bool CreateObjectRecord(const char* pName, const char* pPath, CTlvContainerCreator* pOut);
bool CreateBinaryRecord(const char* pFile, unsigned int Tag, CTlvContainerCreator* pOut);
bool CreateUserFileRecord(const char* pFile, CTlvContainerCreator* pOut);
// The same for a file stored as pName, opened at pPath.
bool CreateUserFileRecord(const char* pName, const char* pPath, CTlvContainerCreator* pOut);

bool CreateMenuSettingsRecord(const char* pFile, CTlvContainerCreator* pOut);
bool CreateSwKeysRecord(const char* pFile, const char* pPartNum, CTlvContainerCreator* pOut);
bool CreateCustomDefaultsRecord(const char* pFile, CTlvContainerCreator* pOut);
bool CreateCompatProdRecord(const char* pFile, CTlvContainerCreator* pOut);
// The same for a list whose reasons name it pName, opened at pPath.
bool CreateCompatProdRecord(const char* pName, const char* pPath, CTlvContainerCreator* pOut);
// CreateObjectRecordFromFile for the four types above, read as text;
// "Unknown file type" for any other.
bool CreateTextRecord(const InParams_t* pParams, CTlvContainerCreator* pOut);
