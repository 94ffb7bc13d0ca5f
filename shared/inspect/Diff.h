// What changed between two MOCFs, record by record and with meaning: the
// records matched by what they are (a kind held once, a user file's name,
// a tag), then what each matched pair says differently, in the terms of
// its kind. Both images are read where they lie.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "inspect/Inspect.h"

namespace mocfinfo {

struct DiffField {
  std::string field, oldValue, newValue;
};

struct DiffItem {
  std::string key, oldValue, newValue;
};

struct DiffChange {
  enum Type { kAdded, kRemoved, kChanged, kMoved } type;
  std::string kind;  // the listing's word
  unsigned int tag = 0;
  bool hasName = false;  // user files
  std::string name;
  int oldIndex = 0, newIndex = 0;  // the listing's numbers; 0 for none
  bool moved = false;
  // An added or removed record's contents, as the listing shows them.
  std::string description;
  std::vector<DiffField> fields;
  // Settings items ("key=value") or product numbers, by what they hold.
  bool numbers = false;
  std::vector<std::string> added, removed;
  std::vector<DiffItem> changed;
};

struct DiffSide {
  std::string file;
  uint64_t size = 0;
  bool valid = false;
  std::string reason;
  std::optional<bool> digestOk;  // none without a readable hash record
};

struct MocfDiff {
  DiffSide oldSide, newSide;
  std::vector<DiffChange> changes;
  bool Same() const { return changes.empty(); }
};

// False, with why ("not a MOCF: ..."), when an image is not a MOCF container
// at all: there is nothing to walk.
bool IsContainer(const Inspection& inspection, std::string* pWhyNot);
MocfDiff Compare(const Inspection& oldSide, const Inspection& newSide);

// Both files read where they lie and compared: kValid when they hold the
// same records, kInvalid when they differ, kCouldNot, with why, when either
// cannot be read (*pUnreadable) or is no container. A program ends on lost
// pages as CMocfImage says; a library does not.
int CompareFiles(const std::string& oldFile, const std::string& newFile, bool endOnLostPages,
                 MocfDiff* pDiff, std::string* pWhyNot, bool* pUnreadable = nullptr);

// The same over two images already in memory (pace may be null).
struct DiffInput {
  std::string file;
  const unsigned char* data;
  size_t size;
  CReadPace* pace;
};
int CompareImages(const DiffInput sides[2], MocfDiff* pDiff, std::string* pWhyNot);

// The reviewer's view: a summary line, then a line per change with its
// details indented below it.
void PrintDiff(const MocfDiff& diff, std::ostream& out);
void PrintDiffJson(const MocfDiff& diff, std::ostream& out);

}  // namespace mocfinfo
