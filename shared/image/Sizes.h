// The sizes that decide how an image is made and read: in memory or where
// it lies, on the caller's thread or beside it, and how large it may grow.
// Kept together so that the append, the build and the unpack draw each
// line at the same place.
#pragma once

#include <cstddef>
#include <cstdint>

// The largest image a run writes: the file helper's 32-bit Length could
// not load a larger one again.
constexpr uint64_t kMaxImage = 0x7FFFFFFF;
inline bool FitsLoading(uint64_t imageSize) { return imageSize <= kMaxImage; }

// Below this an image is small: threads and writing around the cache cost
// more than they save, and an append is made in memory.
constexpr uint64_t kSmallImage = 1 << 20;

// A MOCF to append to up to this size is read whole; a larger one is read
// where it lies, the records' heads for the checks, the rest as it is copied.
constexpr int32_t kHeldWhole = 16 << 20;

// Object files up to this size stay in memory once read for the checks;
// larger ones are read again, straight into the image.
constexpr uint64_t kKeptInMemory = 1 << 20;

// Inputs larger than this that are the image's own bytes are checked by
// their heads when an unpack is rebuilt, not built again whole.
constexpr size_t kBuiltWhole = 1 << 20;

// The front of a MOCF that holds the hash record of any MOCF this tool
// writes.
constexpr uint64_t kFront = 64 << 10;

// Room beyond a file's own bytes for the headers of the records it is
// wrapped in and for a small MOCF it is appended to. With it, a large file
// read once is moved into place rather than copied to fresh memory.
constexpr size_t kEnvelopeRoom = 4096;

// Beyond the input file's size: the headers a record adds around it.
constexpr size_t kRecordRoom = 64;
