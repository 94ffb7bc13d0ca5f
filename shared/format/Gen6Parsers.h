// Parsers of the Gen6 object records and their nested records. Each reads a
// record handed out by a container walk, so its header and whole value are
// known to lie in the buffer; nothing here reads beyond that value.
#pragma once

#include "format/TlvContainerParser.h"

class CGen6ObjectRecordParser : public CTlvContainerParser {
 public:
  explicit CGen6ObjectRecordParser(const CTlv::Header_t* pRecord);
  bool IsValid() override = 0;
  virtual bool IsSystemObject() = 0;

  // Chosen by the record's tag; never null. The caller deletes it.
  static CGen6ObjectRecordParser* CreateObjectRecordParser(const CTlv::Header_t* pRecord);

 protected:
  // Length of the NUL-terminated text at the start of the value; false when
  // the value holds no NUL.
  bool GetTextLength(size_t* pLength);
};

class CMenuSettingsParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
  virtual const char* GetData();
  virtual char GetMyTerminator();
};

class CSwKeysParser : public CMenuSettingsParser {
 public:
  using CMenuSettingsParser::CMenuSettingsParser;
  bool IsSystemObject() override;
};

class CCustomDefMenuSettingsParser : public CMenuSettingsParser {
 public:
  using CMenuSettingsParser::CMenuSettingsParser;
  bool IsSystemObject() override;
  char GetMyTerminator() override;
};

class CFirmwareParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
  virtual bool GetFwData(const unsigned char** ppData, unsigned int* pLength);
  virtual bool GetSwVersion(const char** ppVersion);
};

class CUserFileParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
};

class CFileNameParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
  const char* GetData();
};

class CDataParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
  const unsigned char* GetData();
};

class CSwVersionParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
  const char* GetData();
};

class CNestedMocfParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
};

class CUnkownParser : public CGen6ObjectRecordParser {
 public:
  using CGen6ObjectRecordParser::CGen6ObjectRecordParser;
  bool IsValid() override;
  bool IsSystemObject() override;
};
