// SHA-1 behind the CHash interface, with a self-test over known vectors.
#pragma once

#include "Hash.h"
#include "sha1_Rfc4634.h"

class CSha1 : public CHash {
 public:
  // Leaves the context unset: Init starts every message.
  CSha1();

  void DoHash(const unsigned char* pBuffer, unsigned int Length,
              unsigned char* pResult) override;
  void Init() override;
  // Asserts a non-null buffer (whatever the length) and a message that has
  // not been finalised by GetResult.
  void Update(const unsigned char* pBuffer, unsigned int Length) override;
  // Writes the 20-byte digest; repeated calls repeat it.
  void GetResult(unsigned char* pResult) override;

  // Hashes `Repeats` copies of the input and compares with 20 expected bytes.
  bool TestHash(const unsigned char* pInput, int Length, int Repeats,
                const unsigned char* pExpected);
  bool RunTests();

 private:
  SHA1Context m_Sha1Context;
};
