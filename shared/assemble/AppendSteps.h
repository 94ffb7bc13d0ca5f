// What both ways of appending share: the late check of a loaded MOCF's
// digest, and the builder's failure message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "args/CommandLine.h"
#include "image/ImageWriter.h"
#include "platform/JoinedThread.h"
#include "format/MocfParser.h"
#include "inputs/ObjectRecordBuilder.h"

// What a run finds of its files, looked at once before anything is read:
// whether the MOCF is loaded, and how long it and the input are (-1 when
// unknown). Every step after goes by these answers.
struct FilesSeen_t {
  bool Loads;
  int32_t MocfLength;
  int32_t InputLength;
};
FilesSeen_t LookAtFiles(const options_t* options);

// The record builders' inputs for a run; they borrow from its options.
InParams_t ParamsOf(const options_t& options);

// The loaded MOCF's digest is checked late, beside the hashing and writing
// of the new image, so its header is kept as it was.
struct Loaded_t {
  bool Loaded = false;  // false for a MOCF started empty: nothing to check
  CTlv::Header_t Header = {};
};

// Whether the loaded MOCF's stored digest matches its records, read in
// place at the front of the new image together with headers; the image may
// be hashed and written meanwhile, not changed.
bool LoadedDigestMatches(const unsigned char* pImage, size_t size, const Loaded_t* pLoaded);

// The end of the hash record: the bytes up to there change when the digest
// is stored. 0 without a hash record.
size_t HashedHeadSize(CMocfParser* pParser, const unsigned char* pImage);


// A damaged MOCF is all a run reports, whatever else is wrong.
void PrintBuildFailureUnless(bool mocfDamaged);
