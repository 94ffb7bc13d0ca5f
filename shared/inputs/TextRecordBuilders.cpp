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

// Where a text is read from: the file at pPath, or pContent when a caller
// holds it. pName names it in reasons.
struct TextInput {
  const char* pName;
  const char* pPath;
  const std::string* pContent;
};

TextInput FromFile(const char* pName, const char* pPath) { return {pName, pPath, nullptr}; }

bool OpenInput(const TextInput& in, CCommentedFile* pReader) {
  if (!in.pContent) return pReader->Open(in.pPath);
  pReader->OpenText(*in.pContent);
  return true;
}

struct SettingsMessages {
  const char* pCantOpen;
  const char* pBadFile;
};

// Reads the settings text of a file, or leaves the reasons in the error text.
bool ReadSettings(const TextInput& in, const SettingsMessages& messages, std::string* pText) {
  CMenuSettingsFile reader;
  if (!OpenInput(in, &reader)) {
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
bool CreateSettingsRecord(const TextInput& in, const SettingsMessages& messages,
                          CTlvContainerCreator* pOut) {
  std::string text;
  if (!ReadSettings(in, messages, &text)) return false;
  Creator creator;
  creator.Set(&text);
  *pOut = std::move(creator);
  return true;
}

bool MenuSettingsRecord(const TextInput& in, CTlvContainerCreator* pOut) {
  return CreateSettingsRecord<CGen6MenuSettingsCreator>(
      in, {"Can't open Menu Settings file\n", "Error in Menu Settings file\n"}, pOut);
}

bool CustomDefaultsRecord(const TextInput& in, CTlvContainerCreator* pOut) {
  return CreateSettingsRecord<CGen6CustomDefaultMenuSettingsCreator>(
      in, {"Can't open Custom Defaults file\n", "Error in Custom Defaults file\n"}, pOut);
}

// The part number travels as one more setting, after any keys from the
// file. No file is read when none is named; a text in memory is always read.
bool SwKeysRecord(const TextInput& in, const char* pPartNum, CTlvContainerCreator* pOut) {
  std::string text;
  if (in.pContent || *in.pPath) {
    if (!ReadSettings(in, {"Can't open SW Keys file\n", "Error in SW Keys file\n"}, &text))
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

bool CompatProdRecord(const TextInput& in, CTlvContainerCreator* pOut) {
  CCompatProductsFile reader;
  if (!OpenInput(in, &reader)) {
    AddErrorStr(reader.GetErrorStr().c_str());
    AddErrorStr("Can't open Compatible Products file\n");
    return false;
  }
  std::vector<unsigned int> numbers;
  if (!reader.ReadNumbers(&numbers)) {
    if (!reader.WhyBad().empty()) AddReason(std::string(in.pName) + ":" + reader.WhyBad());
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

}  // namespace

bool CreateMenuSettingsRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return MenuSettingsRecord(FromFile(pFile, pFile), pOut);
}

bool CreateCustomDefaultsRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return CustomDefaultsRecord(FromFile(pFile, pFile), pOut);
}

bool CreateSwKeysRecord(const char* pFile, const char* pPartNum, CTlvContainerCreator* pOut) {
  return SwKeysRecord(FromFile(pFile, pFile), pPartNum, pOut);
}

bool CreateCompatProdRecord(const char* pFile, CTlvContainerCreator* pOut) {
  return CompatProdRecord(FromFile(pFile, pFile), pOut);
}

bool CreateCompatProdRecord(const char* pName, const char* pPath, CTlvContainerCreator* pOut) {
  return CompatProdRecord(FromFile(pName, pPath), pOut);
}

bool CreateTextRecord(const InParams_t* pParams, CTlvContainerCreator* pOut) {
  const TextInput in = {pParams->InFile, OpenedPath(pParams), pParams->Content};
  switch (pParams->Type) {
    case CompatProd:
      return CompatProdRecord(in, pOut);
    case CustomDefaults:
      return CustomDefaultsRecord(in, pOut);
    case SwKeys:
      return SwKeysRecord(in, pParams->PartNum, pOut);
    case MenuSettings:
      return MenuSettingsRecord(in, pOut);
    default:
      AddErrorStr("Unknown file type\n");
      return false;
  }
}
