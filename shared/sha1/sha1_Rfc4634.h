// SHA-1 core with the RFC 4634 reference interface: a plain context and
// free functions that answer with status codes instead of failing loudly.
#pragma once

#include <cstdint>

enum {
  SHA1HashSize = 20,
  SHA1_Message_Block_Size = 64,
};

// Status codes. shaNull also marks a message that reached 2^64 bits.
enum {
  shaSuccess = 0,
  shaNull = 1,
  shaStateError = 3,
};

struct SHA1Context {
  uint32_t Intermediate_Hash[SHA1HashSize / 4];
  uint32_t Length_Low;   // message length in bits
  uint32_t Length_High;
  int16_t Message_Block_Index;  // bytes held in Message_Block
  uint8_t Message_Block[SHA1_Message_Block_Size];
  int Computed;   // digest finalised
  int Corrupted;  // status code every later call returns
};

int SHA1Reset(SHA1Context* context);
int SHA1Input(SHA1Context* context, unsigned char const* message_array,
              unsigned int length);
// The first `length` (1..7) high-order bits of `message_bits` end the
// message, which is then finalised.
int SHA1FinalBits(SHA1Context* context, unsigned char message_bits,
                  unsigned int length);
int SHA1Result(SHA1Context* context, unsigned char* Message_Digest);

// Block engines. Auto takes the x86-64 SHA extensions when the CPU has them
// and the portable rounds otherwise; tests and benchmarks pin one to compare.
enum SHA1Engine_t { SHA1EngineAuto, SHA1EnginePortable, SHA1EngineHardware };

bool SHA1HardwareAvailable();
// False, with the engine left as it was, when the hardware one is asked for
// on a CPU without it.
bool SHA1SelectEngine(SHA1Engine_t engine);
