// Which record an edit means: its number, a kind held once, a user file's
// name or a tag, the K-th of those. Read apart from any MOCF, so that a
// selector that cannot mean anything is the command line's fault, and then
// looked up among the records as the edits before it left them.
#pragma once

#include <string>
#include <vector>

namespace mocfedit {

struct Selector_t {
  enum Kind_t { kNumber, kType, kUser, kTag } Kind = kNumber;
  int Number = 0;         // kNumber
  unsigned int Tag = 0;   // kType (the kind's tag), kTag
  std::string Name;       // kUser; kType: the word as the listing writes it
  int Nth = 1;            // #K, from 1
  std::string Text;       // as typed
};

// A count from 1 (a record number, a place, a K), or false.
bool ReadCount(const std::string& text, int* pCount);

// False, with why, for a selector no MOCF could have a record for.
bool ParseSelector(const std::string& text, Selector_t* pSelector, std::string* pWhy);

// What a record shows a selector.
struct Selectable_t {
  unsigned int Tag;
  bool HasName;  // a user file with a name record
  std::string Name;
};

// The index (from 0) of the record meant, or -1 with why: what there is
// instead, or that the version and hash records are not the edits' to make.
int Select(const Selector_t& selector, const std::vector<Selectable_t>& records, std::string* pWhy);

}  // namespace mocfedit
