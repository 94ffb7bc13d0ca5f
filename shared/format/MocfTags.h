// Record tags of the MOCF format. A tag's meaning depends on the level it
// stands at: the small numbers mean one thing directly inside a MOCF and
// another inside an object record.
#pragma once

namespace mocf {

// Direct records of a MOCF.
constexpr unsigned int kMocfTag = 0x46434F4D;  // the bytes "MOCF"
constexpr unsigned int kVersionTag = 0;
constexpr unsigned int kHashTag = 1;
constexpr unsigned int kCompatProdTag = 2;
constexpr unsigned int kFirstObjectTag = 0x50000000;

// Object records.
constexpr unsigned int kNestedMocfTag = 0x50000000;
constexpr unsigned int kFirmwareTag = 0x60000000;
constexpr unsigned int kFirmwareAltTag = 0x60000001;
constexpr unsigned int kUserFileTag = 0x60000002;
constexpr unsigned int kSwKeysTag = 0x60000003;
constexpr unsigned int kCustomDefaultsTag = 0x60000004;
constexpr unsigned int kMenuSettingsTag = 0x60000005;

// Records nested inside an object record.
constexpr unsigned int kFileNameTag = 0;
constexpr unsigned int kDataTag = 1;
constexpr unsigned int kSwVersionTag = 2;
constexpr unsigned int kFwCompatProdTag = 3;

constexpr unsigned int kHashSize = 20;

}  // namespace mocf
