// The input-file types a run can append, by the id the command line gives
// them. Each selects one record builder.
#pragma once

#include <cstdint>

enum FileType_t : int32_t {
  NoFileType = -1,
  UserFile = 0,
  CompatProd = 1,
  Object = 2,
  CustomDefaults = 3,
  Binary = 4,
  SwKeys = 5,
  MenuSettings = 6,
};
