// The bytes as a mocfbuild list: every run read through CRunList to the end
// of the list or to its first refused line. Quotes, escapes, NUL, CR and
// unclosed comments all come up; the line limit is beyond libFuzzer's usual
// input sizes and is left to the unit tests.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "assemble/RunList.h"

namespace {

// The words written back in quotes must split into the same words, or the
// escapes lose something on the way.
void CheckRequoted(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& word : words) {
    line += " \"";
    for (char c : word) line += (c == '"' || c == '\\') ? std::string{'\\', c} : std::string{c};
    line += '"';
  }
  std::vector<std::string> again;
  if (!SplitWords(line, &again, nullptr) || again != words) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* name = fuzz::AsFile(data, size, "list.txt");
  const int lines = static_cast<int>(std::count(data, data + size, '\n')) + 1;
  CRunList list;
  if (!list.Open(name)) std::abort();
  RunLine_t run;
  int last = 0;
  while (list.Next(&run)) {
    if (run.Number <= last || run.Number > lines || run.Words.empty()) std::abort();
    for (const auto& word : run.Words) {
      if (word.find('\0') != std::string::npos) std::abort();
    }
    CheckRequoted(run.Words);
    last = run.Number;
  }
  // Whatever stopped the list lies past the last run handed out, and stays.
  if (!list.GetError().empty() && (list.GetErrorLine() <= last || list.GetErrorLine() > lines))
    std::abort();
  const std::string error = list.GetError();
  if (list.Next(&run) || list.GetError() != error) std::abort();
  return 0;
}
