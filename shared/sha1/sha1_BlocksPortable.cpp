// Portable SHA-1 rounds, fully unrolled so the five working words stay in
// registers and each round's function and constant are fixed at compile time.
#include "sha1/sha1_Blocks.h"

namespace {

inline uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline uint32_t LoadBigEndian32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
         (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

template <int Stage>
inline uint32_t Mix(uint32_t b, uint32_t c, uint32_t d) {
  if constexpr (Stage == 0) return d ^ (b & (c ^ d));
  if constexpr (Stage == 2) return (b & c) | (d & (b | c));
  return b ^ c ^ d;
}

constexpr uint32_t kRoundConstants[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC,
                                         0xCA62C1D6};

// Round I. The message schedule lives in a 16-word ring: from round 16 on
// each word is replaced by its expansion just before it is used.
template <int I>
inline void Round(uint32_t a, uint32_t& b, uint32_t c, uint32_t d,
                  uint32_t& e, uint32_t* w) {
  if constexpr (I >= 16) {
    w[I & 15] = Rol(w[(I + 13) & 15] ^ w[(I + 8) & 15] ^ w[(I + 2) & 15] ^
                        w[I & 15],
                    1);
  }
  e += Rol(a, 5) + Mix<I / 20>(b, c, d) + kRoundConstants[I / 20] + w[I & 15];
  b = Rol(b, 30);
}

// Five rounds bring the working words back to their starting roles.
template <int I>
inline void FiveRounds(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d,
                       uint32_t& e, uint32_t* w) {
  Round<I>(a, b, c, d, e, w);
  Round<I + 1>(e, a, b, c, d, w);
  Round<I + 2>(d, e, a, b, c, w);
  Round<I + 3>(c, d, e, a, b, w);
  Round<I + 4>(b, c, d, e, a, w);
}

template <int... Starts>
inline void AllRounds(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d,
                      uint32_t& e, uint32_t* w) {
  (FiveRounds<Starts * 5>(a, b, c, d, e, w), ...);
}

void OneBlock(uint32_t hash[5], const unsigned char* block) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian32(block + 4 * i);
  uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3], e = hash[4];
  AllRounds<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>(a, b, c, d,
                                                                   e, w);
  hash[0] += a;
  hash[1] += b;
  hash[2] += c;
  hash[3] += d;
  hash[4] += e;
}

}  // namespace

void SHA1BlocksPortable(uint32_t hash[5], const unsigned char* blocks,
                        size_t count) {
  for (size_t i = 0; i < count; ++i) OneBlock(hash, blocks + 64 * i);
}
