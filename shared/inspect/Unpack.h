// A MOCF back into a list of mocftool runs and the inputs they read, so
// that mocfbuild rebuilds it: each record as the input a person would
// write, checked by building the record from it again.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "inspect/Inspect.h"

namespace mocfinfo {

// Unpacks into dir, which is created or must be empty. Returns kValid when
// mocfbuild -d rebuilds the image byte for byte from dir/records.list,
// kInvalid (after saying why on err) when no list could, and kCouldNot
// when dir cannot be made or written.
int Unpack(const Inspection& inspection, const std::string& dir, std::ostream& err);
// The same, the inputs written from a walk that needs no verdict (an
// inspection that trusts the stored digest will do) while the image is
// judged elsewhere; judged is asked for that verdict once they are written.
int Unpack(const Inspection& walked, const std::function<const Inspection&()>& judged,
           const std::string& dir, std::ostream& err);

}  // namespace mocfinfo
