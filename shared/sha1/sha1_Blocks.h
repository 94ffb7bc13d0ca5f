// Block engines of the SHA-1 core: each runs `count` consecutive 64-byte
// blocks through the five hash words.
#pragma once

#include <cstddef>
#include <cstdint>

using SHA1BlocksFn = void (*)(uint32_t hash[5], const unsigned char* blocks,
                              size_t count);

void SHA1BlocksPortable(uint32_t hash[5], const unsigned char* blocks,
                        size_t count);

// The SHA-extension engine; call it only when SHA1BlocksHardwareUsable().
bool SHA1BlocksHardwareUsable();
void SHA1BlocksHardware(uint32_t hash[5], const unsigned char* blocks,
                        size_t count);
