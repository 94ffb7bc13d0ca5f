#include "sha1/sha1.h"

#include <cassert>
#include <cstring>

namespace {

// The SHA-1 vectors of the RFC 4634 test suite that need no final bits.
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
    {// The suite's 163-byte message.
     "\xf7\x8f\x92\x14\x1b\xcd\x17\x0a\xe8\x9b\x4f\xba\x15\xa1\xd5\x9f"
     "\x3f\xd8\x4d\x22\x3c\x92\x51\xbd\xac\xbb\xae\x61\xd0\x5e\xd1\x15"
     "\xa0\x6a\x7c\xe1\x17\xb7\xbe\xea\xd2\x44\x21\xde\xd9\xc3\x25\x92"
     "\xbd\x57\xed\xea\xe3\x9c\x39\xfa\x1f\xe8\x94\x6a\x84\xd0\xcf\x1f"
     "\x7b\xee\xad\x17\x13\xe2\xe0\x95\x98\x97\x34\x7f\x67\xc8\x0b\x04"
     "\x00\xc2\x09\x81\x5d\x6b\x10\xa6\x83\x83\x6f\xd5\x56\x2a\x56\xca"
     "\xb1\xa2\x8e\x81\xb6\x57\x66\x54\x63\x1c\xf1\x65\x66\xb8\x6e\x3b"
     "\x33\xa1\x08\xb0\x53\x07\xc0\x0a\xff\x14\xa7\x68\xed\x73\x50\x60"
     "\x6a\x0f\x85\xe6\xa9\x1d\x39\x6f\x5b\x5c\xbe\x57\x7f\x9b\x38\x80"
     "\x7c\x7d\x52\x3d\x6d\x79\x2f\x6e\xbc\x24\xa4\xec\xf2\xb3\xa4\x27"
     "\xcd\xbb\xfb",
     163, 1,
     {0xcb, 0x00, 0x82, 0xc8, 0xf1, 0x97, 0xd2, 0x60, 0x99, 0x1b,
      0xa6, 0xa4, 0x60, 0xe7, 0x6e, 0x20, 0x2b, 0xad, 0x27, 0xb3}},
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

const Sha1Test_t* CSha1::GetTestVectors(size_t* pCount) {
  *pCount = sizeof m_Tests / sizeof m_Tests[0];
  return m_Tests;
}

bool CSha1::RunTests() {
  size_t count = 0;
  const Sha1Test_t* pTests = GetTestVectors(&count);
  return RunTests(pTests, count);
}

bool CSha1::RunTests(const Sha1Test_t* pTests, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const auto* pInput = reinterpret_cast<const unsigned char*>(pTests[i].pInput);
    if (!TestHash(pInput, pTests[i].Length, pTests[i].Repeats, pTests[i].Expected)) {
      return false;
    }
  }
  return true;
}
