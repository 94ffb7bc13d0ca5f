// SHA-1 through the x86-64 SHA extensions. Only this file's functions are
// compiled for them, so the binary still runs on CPUs without; the core asks
// SHA1BlocksHardwareUsable() before it picks this engine.
#include "sha1/sha1_Blocks.h"

#if defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

#define SHA1_NI __attribute__((target("sha,sse4.1,ssse3")))

bool SHA1BlocksHardwareUsable() {
  unsigned int eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool vector = (ecx & bit_SSSE3) && (ecx & bit_SSE4_1);
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return vector && (ebx & bit_SHA);
}

namespace {

constexpr size_t kAhead = 512;

// Four message words W[t..t+3] from the sixteen before them.
SHA1_NI inline __m128i Expand(__m128i w16, __m128i w12, __m128i w8,
                              __m128i w4) {
  return _mm_sha1msg2_epu32(
      _mm_xor_si128(_mm_sha1msg1_epu32(w16, w12), w8), w4);
}

// Four rounds. `prev` holds the words from before the previous four rounds;
// its A, rotated, is the E of these.
template <int Stage>
SHA1_NI inline void FourRounds(__m128i& abcd, __m128i& prev, __m128i w) {
  const __m128i e = _mm_sha1nexte_epu32(prev, w);
  prev = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, e, Stage);
}

SHA1_NI inline __m128i LoadWords(const unsigned char* p) {
  const __m128i reverse =
      _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  return _mm_shuffle_epi8(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// `abcd` has A in its top lane, `e` has E in its top lane.
SHA1_NI void OneBlock(__m128i& abcd, __m128i& e, const unsigned char* block) {
  const __m128i abcd_in = abcd, e_in = e;
  __m128i w0 = LoadWords(block), w1 = LoadWords(block + 16);
  __m128i w2 = LoadWords(block + 32), w3 = LoadWords(block + 48);
  __m128i prev = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e, w0), 0);
  FourRounds<0>(abcd, prev, w1);
  FourRounds<0>(abcd, prev, w2);
  FourRounds<0>(abcd, prev, w3);
  w0 = Expand(w0, w1, w2, w3), FourRounds<0>(abcd, prev, w0);
  w1 = Expand(w1, w2, w3, w0), FourRounds<1>(abcd, prev, w1);
  w2 = Expand(w2, w3, w0, w1), FourRounds<1>(abcd, prev, w2);
  w3 = Expand(w3, w0, w1, w2), FourRounds<1>(abcd, prev, w3);
  w0 = Expand(w0, w1, w2, w3), FourRounds<1>(abcd, prev, w0);
  w1 = Expand(w1, w2, w3, w0), FourRounds<1>(abcd, prev, w1);
  w2 = Expand(w2, w3, w0, w1), FourRounds<2>(abcd, prev, w2);
  w3 = Expand(w3, w0, w1, w2), FourRounds<2>(abcd, prev, w3);
  w0 = Expand(w0, w1, w2, w3), FourRounds<2>(abcd, prev, w0);
  w1 = Expand(w1, w2, w3, w0), FourRounds<2>(abcd, prev, w1);
  w2 = Expand(w2, w3, w0, w1), FourRounds<2>(abcd, prev, w2);
  w3 = Expand(w3, w0, w1, w2), FourRounds<3>(abcd, prev, w3);
  w0 = Expand(w0, w1, w2, w3), FourRounds<3>(abcd, prev, w0);
  w1 = Expand(w1, w2, w3, w0), FourRounds<3>(abcd, prev, w1);
  w2 = Expand(w2, w3, w0, w1), FourRounds<3>(abcd, prev, w2);
  w3 = Expand(w3, w0, w1, w2), FourRounds<3>(abcd, prev, w3);
  e = _mm_sha1nexte_epu32(prev, e_in);
  abcd = _mm_add_epi32(abcd, abcd_in);
}

}  // namespace

SHA1_NI void SHA1BlocksHardware(uint32_t hash[5], const unsigned char* blocks,
                                size_t count) {
  __m128i abcd = _mm_shuffle_epi32(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hash)), 0x1B);
  __m128i e = _mm_set_epi32(static_cast<int>(hash[4]), 0, 0, 0);
  // Blocks arriving from memory rather than cache would otherwise stall the
  // rounds at every page, where the processor stops fetching ahead by itself.
  for (size_t i = 0; i < count; ++i) {
    _mm_prefetch(reinterpret_cast<const char*>(blocks + 64 * i + kAhead), _MM_HINT_T0);
    OneBlock(abcd, e, blocks + 64 * i);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(hash),
                   _mm_shuffle_epi32(abcd, 0x1B));
  hash[4] = static_cast<uint32_t>(_mm_extract_epi32(e, 3));
}

#else  // no SHA extensions to offer

bool SHA1BlocksHardwareUsable() { return false; }

void SHA1BlocksHardware(uint32_t hash[5], const unsigned char* blocks,
                        size_t count) {
  SHA1BlocksPortable(hash, blocks, count);
}

#endif
