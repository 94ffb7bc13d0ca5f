#include "edit/Selector.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "args/CommandLine.h"
#include "format/Describe.h"
#include "format/MocfTags.h"
#include "inspect/Listing.h"

namespace mocfedit {

namespace {

struct TypeWord_t {
  const char* Word;
  unsigned int Tag;
};

// The kinds a MOCF holds one of that counts: the product list the checks
// read, and the kinds a MOCF may hold only once.
const TypeWord_t kTypeWords[] = {{"CompatProd", mocf::kCompatProdTag},
                                 {"MenuSettings", mocf::kMenuSettingsTag},
                                 {"SwKeys", mocf::kSwKeysTag},
                                 {"CustomDefaults", mocf::kCustomDefaultsTag}};

}  // namespace

// A count from 1, in decimal, as people write one: no sign, no blanks. A
// count too large for an int is the largest int, which is past any end.
bool ReadCount(const std::string& text, int* pCount) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const size_t digits = text.size() - std::min(text.find_first_not_of('0'), text.size());
  *pCount = digits > 9 ? INT_MAX : std::atoi(text.c_str());
  return *pCount >= 1;
}

namespace {

// "NAME#K" into NAME and K; a '#' not followed by a count is the name's.
void SplitNth(const std::string& text, std::string* pBase, int* pNth) {
  const size_t hash = text.rfind('#');
  int nth = 1;
  if (hash != std::string::npos && ReadCount(text.substr(hash + 1), &nth)) {
    *pBase = text.substr(0, hash);
    *pNth = nth;
    return;
  }
  *pBase = text;
  *pNth = 1;
}

bool ReadTag(const std::string& text, unsigned int* pTag) {
  if (text.size() < 3 || text.size() > 10 || text.compare(0, 2, "0x") != 0 ||
      text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
    return false;
  *pTag = static_cast<unsigned int>(std::strtoul(text.c_str() + 2, nullptr, 16));
  return true;
}

const char kForms[] =
    "a record number, CompatProd, MenuSettings, SwKeys, CustomDefaults, user:NAME[#K] or "
    "tag:0xTTTTTTTT[#K]";

}  // namespace

bool ParseSelector(const std::string& text, Selector_t* pSelector, std::string* pWhy) {
  Selector_t selector;
  selector.Text = text;
  std::string base;
  bool ok = true;
  if (text.compare(0, 5, "user:") == 0) {
    selector.Kind = Selector_t::kUser;
    SplitNth(text.substr(5), &selector.Name, &selector.Nth);
    ok = !selector.Name.empty();
  } else if (text.compare(0, 4, "tag:") == 0) {
    selector.Kind = Selector_t::kTag;
    SplitNth(text.substr(4), &base, &selector.Nth);
    ok = ReadTag(base, &selector.Tag);
  } else if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    ok = ReadCount(text, &selector.Number);
  } else {
    selector.Kind = Selector_t::kType;
    ok = false;
    for (const TypeWord_t& type : kTypeWords)
      if (StrInCmp(text.c_str(), type.Word)) {
        selector.Tag = type.Tag;
        selector.Name = type.Word;
        ok = true;
      }
  }
  if (!ok) {
    *pWhy = "\"" + text + "\" selects no record: a selector is " + kForms;
    return false;
  }
  *pSelector = selector;
  return true;
}

namespace {

std::string Place(int index, const Selectable_t& record) {
  return "record " + std::to_string(index + 1) + " (" + describe::KindName(record.Tag) + ")";
}

// What there is to select instead, for a selector that found nothing.
std::string WhatThereIs(const Selector_t& selector, const std::vector<Selectable_t>& records) {
  std::string names, tags;
  int count = 0;
  for (const Selectable_t& record : records) {
    if (record.HasName) names += (names.empty() ? "" : ", ") + record.Name;
    if (record.Tag == selector.Tag) ++count;
  }
  switch (selector.Kind) {
    case Selector_t::kNumber:
      return "the MOCF has records 1 to " + std::to_string(records.size());
    case Selector_t::kUser:
      return names.empty() ? "the MOCF holds no user file" : "its user files are " + names;
    case Selector_t::kType:
      return "the MOCF holds no " + selector.Name + " record";
    default:
      return count ? "the MOCF holds " + std::to_string(count) + " such record" +
                         (count > 1 ? "s" : "")
                   : "the MOCF holds no record tagged 0x" + mocfinfo::TagHex(selector.Tag);
  }
}

}  // namespace

int Select(const Selector_t& selector, const std::vector<Selectable_t>& records, std::string* pWhy) {
  int found = -1;
  if (selector.Kind == Selector_t::kNumber) {
    if (selector.Number <= static_cast<int>(records.size())) found = selector.Number - 1;
  } else {
    int seen = 0;
    for (size_t i = 0; i < records.size() && found < 0; ++i) {
      const Selectable_t& record = records[i];
      const bool matches = selector.Kind == Selector_t::kUser
                               ? record.HasName && record.Name == selector.Name
                               : record.Tag == selector.Tag;
      // The records before the objects are the engine's, whatever their tag.
      if (matches && (selector.Kind != Selector_t::kType || i >= 2) && ++seen == selector.Nth)
        found = static_cast<int>(i);
    }
  }
  if (found < 0) {
    *pWhy = selector.Text + " selects nothing: " + WhatThereIs(selector, records);
    return -1;
  }
  if (found < 2) {
    *pWhy = selector.Text + " selects " + Place(found, records[found]) +
            ", which every edit writes itself: the version record first, the hash record second";
    return -1;
  }
  return found;
}

}  // namespace mocfedit
