// Builders for the records that come from text files people write: menu
// settings, SW keys, custom defaults and compatible-product lists.
#include <string>
#include <utility>
#include <vector>

#include "inputs/CompatibleProductsFile.h"
#include "format/Gen6Creators.h"
#include "inputs/MenuSettingsFile.h"
#include "format/MocfCreator.h"
#include "inputs/ObjectRecordBuilder.h"

namespace {

struct SettingsMessages {
  const char* pCantOpen;
  const char* pBadFile;
};

// Reads the settings text of a file, or leaves the reasons in the error text.
bool ReadSettings(const char* pFile, const SettingsMessages& messages, std::string* pText) {
  CMenuSettingsFile reader;
  if (!reader.Open(pFile)) {
    AddErrorStr(messages.pCantOpen);
    return false;
  }
  if (!reader.ReadMenuSettings(pText)) {
    AddErrorStr(reader.GetErrorStr().c_str());
    AddErrorStr(messages.pBadFile);
    return false;
  }
  return true;
}

template <typename Creator>
bool CreateSettingsRecord(const char* pFile, const SettingsMessages& messages,
                          CTlvContainerCreator* pOut) {
  std::string text;
  if (!ReadSettings(pFile, messages, &text)) return false;
  Creator creator;
  creator.Set(&text);
  *pOut = std::move(creator);
  return true;
}

}  // namespace

bool CreateMenuSettingsRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return CreateSettingsRecord<CGen6MenuSettingsCreator>(
      pFile, {"Can't open Menu Settings file\n", "Error in Menu Settings file\n"}, pOut);
}

bool CreateCustomDefaultsRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return CreateSettingsRecord<CGen6CustomDefaultMenuSettingsCreator>(
      pFile, {"Can't open Custom Defaults file\n", "Error in Custom Defaults file\n"}, pOut);
}

// The part number travels as one more setting, after any keys from the file.
bool CreateSwKeysRecord(const char* pFile, const char* pPartNum, CTlvContainerCreator* pOut) {
  std::string text;
  if (*pFile) {
    if (!ReadSettings(pFile, {"Can't open SW Keys file\n", "Error in SW Keys file\n"}, &text))
      return false;
    text += ";";
  }
  text += "FIMPNM";
  text += pPartNum;
  CGen6SwKeysCreator creator;
  creator.Set(&text);
  *pOut = std::move(creator);
  return true;
}

bool CreateCompatProdRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return CreateCompatProdRecord(pFile, pFile, pOut);
}

bool CreateCompatProdRecord(const char* pName, const char* pPath, CTlvContainerCreator* pOut) {
  CCompatProductsFile reader;
  if (!reader.Open(pPath)) {
    AddErrorStr(reader.GetErrorStr().c_str());
    AddErrorStr("Can't open Compatible Products file\n");
    return false;
  }
  std::vector<unsigned int> numbers;
  if (!reader.ReadNumbers(&numbers)) {
    if (!reader.WhyBad().empty()) AddReason(std::string(pName) + ":" + reader.WhyBad());
    AddErrorStr(reader.GetErrorStr().c_str());
    AddErrorStr("Error in Compatible Products file\n");
    return false;
  }
  reader.Close();
  CCompatProdCreator creator;
  creator.Set(&numbers);
  *pOut = std::move(creator);
  return true;
}
