#include "format/Gen6Parsers.h"

#include <cassert>
#include <cstring>
#include <string>

#include "format/Describe.h"
#include "format/MocfRecordParser.h"
#include "format/MocfTags.h"

namespace {

constexpr size_t kMaxFileNameLength = 57;

bool IsFileNameChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::strchr("_.()", c) != nullptr);
}

bool IsPrintableAscii(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

bool HasTag(const CTlv::Header_t* pRecord, unsigned int Tag) {
  return pRecord && CTlv::GetTag(pRecord) == Tag;
}

const char* const kOrdinals[] = {"first", "second", "third"};

// Why the nested record at a position is not the one its kind needs there.
std::string NotNested(int position, const CTlv::Header_t* pRecord, unsigned int wanted) {
  const std::string want = std::string("the ") + describe::NestedKindName(wanted) + " (tag " +
                           describe::Hex(wanted) + ")";
  const std::string which = std::string(kOrdinals[position]) + " nested record";
  if (!pRecord) return "there is no " + which + "; it must be " + want;
  return "the " + which + " has tag " + describe::Hex(CTlv::GetTag(pRecord)) + "; it must be " +
         want;
}

}  // namespace

CGen6ObjectRecordParser::CGen6ObjectRecordParser(const CTlv::Header_t* pRecord)
    : CTlvContainerParser(pRecord, pRecord ? CTlv::GetRecordSize(pRecord) : 0) {}

bool CGen6ObjectRecordParser::GetTextLength(size_t* pLength) {
  const void* pValue = CTlv::GetData(m_pTlvContainer);
  const void* pNul = std::memchr(pValue, 0, CTlv::GetLength(m_pTlvContainer));
  if (!pNul) return false;
  *pLength = static_cast<size_t>(static_cast<const char*>(pNul) - static_cast<const char*>(pValue));
  return true;
}

CGen6ObjectRecordParser* CGen6ObjectRecordParser::CreateObjectRecordParser(
    const CTlv::Header_t* pRecord) {
  switch (CTlv::GetTag(pRecord)) {
    case mocf::kFirmwareTag:
    case mocf::kFirmwareAltTag:
      return new CFirmwareParser(pRecord);
    case mocf::kUserFileTag:
      return new CUserFileParser(pRecord);
    case mocf::kSwKeysTag:
      return new CSwKeysParser(pRecord);
    case mocf::kCustomDefaultsTag:
      return new CCustomDefMenuSettingsParser(pRecord);
    case mocf::kMenuSettingsTag:
      return new CMenuSettingsParser(pRecord);
    case mocf::kNestedMocfTag:
    case mocf::kMocfTag:
      return new CNestedMocfParser(pRecord);
    default:
      return new CUnkownParser(pRecord);
  }
}

// Printable characters, then the record kind's terminator as the last one.
bool CMenuSettingsParser::IsValid() {
  assert(m_pTlvContainer);
  size_t length = 0;
  if (!GetTextLength(&length)) return Refuse("the text does not end in a NUL byte");
  if (length == 0) return Refuse("the text is empty");
  const unsigned char* pText = reinterpret_cast<const unsigned char*>(GetData());
  for (size_t i = 0; i + 1 < length; ++i) {
    if (!IsPrintableAscii(pText[i]))
      return Refuse("the text holds " + describe::Char(pText[i]) + " at byte " + std::to_string(i) +
                    "; it takes printable ASCII only");
  }
  const unsigned char terminator = static_cast<unsigned char>(GetMyTerminator());
  if (pText[length - 1] != terminator)
    return Refuse("the text ends with " + describe::Char(pText[length - 1]) + ", not " +
                  describe::Char(terminator));
  return true;
}

bool CMenuSettingsParser::IsSystemObject() { return true; }

const char* CMenuSettingsParser::GetData() {
  return reinterpret_cast<const char*>(CTlv::GetData(m_pTlvContainer));
}

char CMenuSettingsParser::GetMyTerminator() { return '.'; }

bool CSwKeysParser::IsSystemObject() { return false; }

bool CCustomDefMenuSettingsParser::IsSystemObject() { return false; }

char CCustomDefMenuSettingsParser::GetMyTerminator() { return '@'; }

// Nested compatible products, software version and data, in that order.
bool CFirmwareParser::IsValid() {
  assert(m_pTlvContainer);
  const CTlv::Header_t* pRecord = GetFirstRecord();
  if (!HasTag(pRecord, mocf::kFwCompatProdTag))
    return Refuse(NotNested(0, pRecord, mocf::kFwCompatProdTag));
  CMocfCompatProdParser products(pRecord);
  if (!products.IsValid()) return Refuse("its compatible products", products);
  pRecord = GetNextRecord();
  if (!HasTag(pRecord, mocf::kSwVersionTag))
    return Refuse(NotNested(1, pRecord, mocf::kSwVersionTag));
  pRecord = GetNextRecord();
  if (!HasTag(pRecord, mocf::kDataTag)) return Refuse(NotNested(2, pRecord, mocf::kDataTag));
  return true;
}

bool CFirmwareParser::IsSystemObject() { return false; }

bool CFirmwareParser::GetFwData(const unsigned char** ppData, unsigned int* pLength) {
  const CTlv::Header_t* pRecord = nullptr;
  if (!FindRecord(mocf::kDataTag, &pRecord, nullptr)) return false;
  *ppData = CTlv::GetData(pRecord);
  *pLength = CTlv::GetLength(pRecord);
  return true;
}

bool CFirmwareParser::GetSwVersion(const char** ppVersion) {
  const CTlv::Header_t* pRecord = nullptr;
  if (!FindRecord(mocf::kSwVersionTag, &pRecord, nullptr)) return false;
  // The version is handed out as a C string, so it must end inside the value.
  if (!std::memchr(CTlv::GetData(pRecord), 0, CTlv::GetLength(pRecord))) return false;
  *ppVersion = reinterpret_cast<const char*>(CTlv::GetData(pRecord));
  return true;
}

// A valid file-name record, then a data record; anything after is ignored.
bool CUserFileParser::IsValid() {
  assert(m_pTlvContainer);
  const CTlv::Header_t* pRecord = GetFirstRecord();
  if (!HasTag(pRecord, mocf::kFileNameTag))
    return Refuse(NotNested(0, pRecord, mocf::kFileNameTag));
  CFileNameParser name(pRecord);
  if (!name.IsValid()) return Refuse(name.GetReason());
  pRecord = GetNextRecord();
  if (!HasTag(pRecord, mocf::kDataTag)) return Refuse(NotNested(1, pRecord, mocf::kDataTag));
  return true;
}

bool CUserFileParser::IsSystemObject() { return false; }

bool CFileNameParser::IsValid() {
  assert(m_pTlvContainer);
  size_t length = 0;
  if (!GetTextLength(&length)) return Refuse("the file name does not end in a NUL byte");
  const unsigned char* pName = reinterpret_cast<const unsigned char*>(GetData());
  const std::string quoted = "the file name \"" + describe::Shortened(pName, length, 60) + "\"";
  if (length > kMaxFileNameLength)
    return Refuse(quoted + " is " + std::to_string(length) +
                  " characters long; at most 57 are allowed");
  for (size_t i = 0; i < length; ++i) {
    if (!IsFileNameChar(pName[i]))
      return Refuse(quoted + " holds " + describe::Char(pName[i]) +
                    "; names take letters, digits and _.() only");
  }
  return true;
}

bool CFileNameParser::IsSystemObject() { return false; }

const char* CFileNameParser::GetData() {
  return reinterpret_cast<const char*>(CTlv::GetData(m_pTlvContainer));
}

bool CDataParser::IsValid() { return true; }
bool CDataParser::IsSystemObject() { return false; }
const unsigned char* CDataParser::GetData() { return CTlv::GetData(m_pTlvContainer); }

bool CSwVersionParser::IsValid() { return true; }
bool CSwVersionParser::IsSystemObject() { return false; }
const char* CSwVersionParser::GetData() {
  return reinterpret_cast<const char*>(CTlv::GetData(m_pTlvContainer));
}

// A MOCF inside a MOCF is never acceptable.
bool CNestedMocfParser::IsValid() { return Refuse("a MOCF inside a MOCF is never accepted"); }
bool CNestedMocfParser::IsSystemObject() { return false; }

// Records of kinds this tool does not know are passed through untouched.
bool CUnkownParser::IsValid() { return true; }
bool CUnkownParser::IsSystemObject() { return false; }
