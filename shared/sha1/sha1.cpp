#include "sha1.h"

#include <cassert>
#include <cstring>

namespace {

struct Sha1Test_t {
  const char* pInput;
  int Length;
  int Repeats;
  unsigned char Expected[SHA1HashSize];
};

// The SHA-1 vectors of the RFC 4634 test suite that need no final bits.
// Still missing: the suite's 163-byte message (f7 8f 92 14 ... cd bb fb,
// digest cb0082c8f197d260991ba6a460e76e202bad27b3) belongs between the
// 16-byte row and the 0x5e row once its bytes are checked against the RFC.
const Sha1Test_t m_Tests[] = {
    {"abc", 3, 1,
     {0xa9, 0x99, 0x3e, 0x36, 0x47, 0x06, 0x81, 0x6a, 0xba, 0x3e,
      0x25, 0x71, 0x78, 0x50, 0xc2, 0x6c, 0x9c, 0xd0, 0xd8, 0x9d}},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 56, 1,
     {0x84, 0x98, 0x3e, 0x44, 0x1c, 0x3b, 0xd2, 0x6e, 0xba, 0xae,
      0x4a, 0xa1, 0xf9, 0x51, 0x29, 0xe5, 0xe5, 0x46, 0x70, 0xf1}},
    {"a", 1, 1000000,
     {0x34, 0xaa, 0x97, 0x3c, 0xd4, 0xc4, 0xda, 0xa4, 0xf6, 0x1e,
      0xeb, 0x2b, 0xdb, 0xad, 0x27, 0x31, 0x65, 0x34, 0x01, 0x6f}},
    {"0123456701234567012345670123456701234567012345670123456701234567", 64,
     10,
     {0xde, 0xa3, 0x56, 0xa2, 0xcd, 0xdd, 0x90, 0xc7, 0xa7, 0xec,
      0xed, 0xc5, 0xeb, 0xb5, 0x63, 0x93, 0x4f, 0x46, 0x04, 0x52}},
    {"\x9a\x7d\xfd\xf1\xec\xea\xd0\x6e\xd6\x46\xaa\x55\xfe\x75\x71\x46", 16, 1,
     {0x82, 0xab, 0xff, 0x66, 0x05, 0xdb, 0xe1, 0xc1, 0x7d, 0xef,
      0x12, 0xa3, 0x94, 0xfa, 0x22, 0xa8, 0x2b, 0x54, 0x4a, 0x35}},
    {"\x5e", 1, 1,
     {0x5e, 0x6f, 0x80, 0xa3, 0x4a, 0x97, 0x98, 0xca, 0xfc, 0x6a,
      0x5d, 0xb9, 0x6c, 0xc5, 0x7b, 0xa4, 0xc4, 0xdb, 0x59, 0xc2}},
};

}  // namespace

// Value-initialised only so that a forgotten Init hashes predictably; it is
// not a reset.
CSha1::CSha1() : m_Sha1Context() {}

void CSha1::DoHash(const unsigned char* pBuffer, unsigned int Length,
                   unsigned char* pResult) {
  Init();
  Update(pBuffer, Length);
  GetResult(pResult);
}

void CSha1::Init() { SHA1Reset(&m_Sha1Context); }

void CSha1::Update(const unsigned char* pBuffer, unsigned int Length) {
  assert(pBuffer);
  assert(! m_Sha1Context.Computed);
  SHA1Input(&m_Sha1Context, pBuffer, Length);
}

void CSha1::GetResult(unsigned char* pResult) {
  SHA1Result(&m_Sha1Context, pResult);
}

bool CSha1::TestHash(const unsigned char* pInput, int Length, int Repeats,
                     const unsigned char* pExpected) {
  unsigned char digest[SHA1HashSize];
  Init();
  for (int i = 0; i < Repeats; ++i) {
    Update(pInput, static_cast<unsigned int>(Length));
  }
  GetResult(digest);
  return std::memcmp(digest, pExpected, SHA1HashSize) == 0;
}

bool CSha1::RunTests() {
  for (const Sha1Test_t& test : m_Tests) {
    const auto* pInput = reinterpret_cast<const unsigned char*>(test.pInput);
    if (!TestHash(pInput, test.Length, test.Repeats, test.Expected)) {
      return false;
    }
  }
  return true;
}
