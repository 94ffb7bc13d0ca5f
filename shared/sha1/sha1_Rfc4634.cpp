// SHA-1 over a byte stream with the reference code's observable rules: the
// status codes, the sticky corrupted state and the exact bit count. Whole
// blocks are hashed straight from the caller's buffer; the result is the
// same as storing and counting every byte one at a time.
#include "sha1/sha1_Rfc4634.h"

#include <cstring>

#include "sha1/sha1_Blocks.h"

namespace {

SHA1BlocksFn DefaultBlocks() {
  return SHA1BlocksHardwareUsable() ? SHA1BlocksHardware : SHA1BlocksPortable;
}

SHA1BlocksFn& ActiveBlocks() {
  static SHA1BlocksFn blocks = DefaultBlocks();
  return blocks;
}

uint64_t BitCount(const SHA1Context* context) {
  return (uint64_t(context->Length_High) << 32) | context->Length_Low;
}

// Adds `bits` to the count when the total stays below 2^64; otherwise leaves
// the context alone so the byte-exact path can take over.
bool AddBitsIfRoom(SHA1Context* context, uint64_t bits) {
  const uint64_t count = BitCount(context);
  if (bits > UINT64_MAX - count) return false;
  context->Length_Low = uint32_t(count + bits);
  context->Length_High = uint32_t((count + bits) >> 32);
  return true;
}

// The reference rule: a count that wraps past 2^64 corrupts the context.
void AddBits(SHA1Context* context, unsigned int bits) {
  context->Length_Low += bits;
  if (context->Length_Low < bits && ++context->Length_High == 0) {
    context->Corrupted = shaNull;
  }
}

void SHA1ProcessMessageBlock(SHA1Context* context) {
  ActiveBlocks()(context->Intermediate_Hash, context->Message_Block, 1);
  context->Message_Block_Index = 0;
}

// Byte by byte, for the input just before the count overflows.
void InputBytewise(SHA1Context* context, const unsigned char* data,
                   unsigned int length) {
  while (length-- > 0 && !context->Corrupted) {
    context->Message_Block[context->Message_Block_Index++] = *data++;
    AddBits(context, 8);
    if (!context->Corrupted &&
        context->Message_Block_Index == SHA1_Message_Block_Size) {
      SHA1ProcessMessageBlock(context);
    }
  }
}

// Hashes the whole blocks at `data`; returns the bytes used (0 on overflow).
unsigned int InputBlocks(SHA1Context* context, const unsigned char* data,
                         unsigned int length) {
  const unsigned int blocks = length / SHA1_Message_Block_Size;
  if (!AddBitsIfRoom(context, uint64_t(blocks) * SHA1_Message_Block_Size * 8))
    return 0;
  ActiveBlocks()(context->Intermediate_Hash, data, blocks);
  return blocks * SHA1_Message_Block_Size;
}

// Fills the message block as far as `data` reaches; returns the bytes used
// (0 on overflow).
unsigned int InputToBlock(SHA1Context* context, const unsigned char* data,
                          unsigned int length) {
  const unsigned int room =
      SHA1_Message_Block_Size - context->Message_Block_Index;
  const unsigned int take = length < room ? length : room;
  if (!AddBitsIfRoom(context, uint64_t(take) * 8)) return 0;
  std::memcpy(context->Message_Block + context->Message_Block_Index, data,
              take);
  context->Message_Block_Index = int16_t(context->Message_Block_Index + take);
  if (context->Message_Block_Index == SHA1_Message_Block_Size) {
    SHA1ProcessMessageBlock(context);
  }
  return take;
}

void ZeroBlock(SHA1Context* context, int end) {
  while (context->Message_Block_Index < end) {
    context->Message_Block[context->Message_Block_Index++] = 0;
  }
}

void SHA1PadMessage(SHA1Context* context, unsigned char Pad_Byte) {
  context->Message_Block[context->Message_Block_Index++] = Pad_Byte;
  if (context->Message_Block_Index > 56) {
    ZeroBlock(context, SHA1_Message_Block_Size);
    SHA1ProcessMessageBlock(context);
  }
  ZeroBlock(context, 56);
  const uint32_t length[2] = {context->Length_High, context->Length_Low};
  for (int i = 0; i < 8; ++i) {
    context->Message_Block[56 + i] =
        uint8_t(length[i / 4] >> (24 - 8 * (i % 4)));
  }
  SHA1ProcessMessageBlock(context);
}

void SHA1Finalize(SHA1Context* context, unsigned char Pad_Byte) {
  SHA1PadMessage(context, Pad_Byte);
  std::memset(context->Message_Block, 0, SHA1_Message_Block_Size);
  context->Length_Low = 0;
  context->Length_High = 0;
  context->Computed = 1;
}

}  // namespace

int SHA1Reset(SHA1Context* context) {
  if (!context) return shaNull;
  static const uint32_t kInitialHash[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                           0x10325476, 0xC3D2E1F0};
  std::memcpy(context->Intermediate_Hash, kInitialHash, sizeof kInitialHash);
  context->Length_Low = 0;
  context->Length_High = 0;
  context->Message_Block_Index = 0;
  context->Computed = 0;
  context->Corrupted = shaSuccess;
  return shaSuccess;
}

int SHA1Input(SHA1Context* context, unsigned char const* message_array,
              unsigned int length) {
  if (length == 0) return shaSuccess;
  if (!context || !message_array) return shaNull;
  if (context->Computed) return context->Corrupted = shaStateError;
  if (context->Corrupted) return context->Corrupted;
  while (length > 0) {
    const bool whole = context->Message_Block_Index == 0 &&
                       length >= SHA1_Message_Block_Size;
    const unsigned int used =
        whole ? InputBlocks(context, message_array, length)
              : InputToBlock(context, message_array, length);
    if (used == 0) {
      InputBytewise(context, message_array, length);
      break;
    }
    message_array += used;
    length -= used;
  }
  return context->Corrupted;
}

int SHA1FinalBits(SHA1Context* context, unsigned char message_bits,
                  unsigned int length) {
  static const uint8_t kMasks[8] = {0x00, 0x80, 0xC0, 0xE0,
                                    0xF0, 0xF8, 0xFC, 0xFE};
  static const uint8_t kMarks[8] = {0x80, 0x40, 0x20, 0x10,
                                    0x08, 0x04, 0x02, 0x01};
  if (length == 0) return shaSuccess;
  if (!context) return shaNull;
  if (context->Computed || length >= 8) {
    return context->Corrupted = shaStateError;
  }
  if (context->Corrupted) return context->Corrupted;
  // Like the reference code, an overflow here still finalises and reports
  // success; the corrupted state surfaces in SHA1Result.
  AddBits(context, length);
  SHA1Finalize(context,
               uint8_t((message_bits & kMasks[length]) | kMarks[length]));
  return shaSuccess;
}

int SHA1Result(SHA1Context* context, unsigned char* Message_Digest) {
  if (!context || !Message_Digest) return shaNull;
  if (context->Corrupted) return context->Corrupted;
  if (!context->Computed) SHA1Finalize(context, 0x80);
  for (int i = 0; i < SHA1HashSize; ++i) {
    Message_Digest[i] =
        uint8_t(context->Intermediate_Hash[i / 4] >> (24 - 8 * (i % 4)));
  }
  return shaSuccess;
}

bool SHA1HardwareAvailable() { return SHA1BlocksHardwareUsable(); }

bool SHA1SelectEngine(SHA1Engine_t engine) {
  switch (engine) {
    case SHA1EnginePortable:
      ActiveBlocks() = SHA1BlocksPortable;
      return true;
    case SHA1EngineHardware:
      if (!SHA1BlocksHardwareUsable()) return false;
      ActiveBlocks() = SHA1BlocksHardware;
      return true;
    case SHA1EngineAuto:
      ActiveBlocks() = DefaultBlocks();
      return true;
  }
  return false;
}
