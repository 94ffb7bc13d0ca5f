// SHA-1 behind the CHash interface, with a self-test over known vectors.
#pragma once

#include <cstddef>

#include "sha1/Hash.h"
#include "sha1/sha1_Rfc4634.h"

// One known-answer row: Repeats copies of the Length input bytes hash to
// Expected.
struct Sha1Test_t {
  const char* pInput;
  int Length;
  int Repeats;
  unsigned char Expected[SHA1HashSize];
};

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
  // Every row of the built-in table, in order; false at the first miss.
  bool RunTests();
  // The same over any table, so a damaged copy can prove the check bites.
  bool RunTests(const Sha1Test_t* pTests, size_t count);
  static const Sha1Test_t* GetTestVectors(size_t* pCount);

 private:
  SHA1Context m_Sha1Context;
};
