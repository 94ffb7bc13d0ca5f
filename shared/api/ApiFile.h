// What a mocf_file handle holds: the image, read in place where it can be,
// its inspection, and where the last walk over its records got to.
#pragma once

#include <optional>
#include <vector>

#include "inspect/Inspect.h"
#include "inspect/MocfImage.h"
#include "mocf/mocf.h"

struct mocf_file {
  mocfinfo::CMocfImage image;
  mocfinfo::Inspection inspection;
  // Walk states after every so many records, the first before any.
  std::vector<mocfinfo::RecordWalk> checkpoints;
  std::optional<mocfinfo::RecordWalk> walk;
  mocfinfo::RecordInfo current{};
};

namespace api {

// Record number of the file, reached from the nearest walk state kept; or
// the code of why not, recorded.
int Find(mocf_file* file, int number, mocfinfo::RecordInfo* pRecord);

}  // namespace api
