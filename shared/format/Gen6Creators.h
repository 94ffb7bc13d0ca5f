// Creators of the Gen6 object records and of the records nested in them.
// Each holds one standalone record (no trailing padding); padding is added
// when the record goes into a container.
#pragma once

#include <string>
#include <vector>

#include "format/TlvContainerCreator.h"

// Count, then the numbers, each 32-bit little-endian: the value of both the
// MOCF-level and the firmware compatible-products records.
std::vector<unsigned char> EncodeProductList(const std::vector<unsigned int>* pProducts);

class CGen6DataCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  void Set(const std::vector<unsigned char>* pData);
  void Set(std::vector<unsigned char>&& data);
};

class CGen6FileNameCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  void Set(const char* pName);
};

class CGen6SwVersionCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  void Set(const char* pVersion);
};

class CGen6CompatProdCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  void Set(const std::vector<unsigned int>* pProducts);
};

class CGen6UserFileCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  virtual void Set(const CGen6FileNameCreator* pFileName, const CGen6DataCreator* pData);
  // Takes the data record over rather than copying it.
  void Set(const CGen6FileNameCreator* pFileName, CGen6DataCreator&& data);
};

class CGen6FirmwareCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  virtual void Set(const CGen6CompatProdCreator* pCompatProducts,
                   const CGen6SwVersionCreator* pSwVersion, const CGen6DataCreator* pData);
};

class CGen6MenuSettingsCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  virtual void Set(const std::string* pText);
};

class CGen6SwKeysCreator : public CGen6MenuSettingsCreator {
 public:
  unsigned int GetMyTag() override;
};

class CGen6CustomDefaultMenuSettingsCreator : public CTlvContainerCreator {
 public:
  unsigned int GetMyTag() override;
  virtual void Set(const std::string* pText);
};
