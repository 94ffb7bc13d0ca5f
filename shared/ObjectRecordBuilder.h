// Turns the one input file of a run into the one record appended to the
// MOCF. Builders that fail leave their reason in a process-wide error text.
#pragma once

#include <string>

#include "FileType.h"
#include "TlvContainerCreator.h"

struct InParams_t {
  const char* InFile;   // path as typed; also the stored name of a user file
  const char* PartNum;  // empty unless given; SW keys only
  FileType_t Type;
  unsigned int Tag;     // binary records only
};

void AddErrorStr(const char* pText);
std::string GetErrorStr();
// For a process that builds many records: the text otherwise only grows.
void ClearErrorStr();

// On success *pOut holds exactly one record (header and value, no padding);
// on failure it is untouched and the reason is in the error text.
bool CreateObjectRecordFromFile(const InParams_t* pParams, CTlvContainerCreator* pOut);

bool CreateObjectRecord(const char* pFile, CTlvContainerCreator* pOut);
bool CreateBinaryRecord(const char* pFile, unsigned int Tag, CTlvContainerCreator* pOut);
bool CreateUserFileRecord(const char* pFile, CTlvContainerCreator* pOut);

bool CreateMenuSettingsRecord(const char* pFile, CTlvContainerCreator* pOut);
bool CreateSwKeysRecord(const char* pFile, const char* pPartNum, CTlvContainerCreator* pOut);
bool CreateCustomDefaultsRecord(const char* pFile, CTlvContainerCreator* pOut);
bool CreateCompatProdRecord(const char* pFile, CTlvContainerCreator* pOut);
