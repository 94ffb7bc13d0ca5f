// The bytes as a hand-written text input: the commented-file line reader
// and the menu-settings and compatible-products readers over it. CR, NUL,
// unclosed comments and a missing final line feed all come up.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "inputs/CompatibleProductsFile.h"
#include "FuzzSupport.h"
#include "inputs/MenuSettingsFile.h"

namespace {

// Every content line is one line of the file at least, so a reader that
// hands out more lines than the file has is looping.
void ReadAllLines(const char* name, size_t size) {
  CCommentedFile file;
  if (!file.Open(name)) std::abort();
  std::string line;
  size_t lines = 0;
  while (file.ReadLine(&line) && !line.empty()) {
    if (++lines > size) std::abort();
    if (line.find('\n') != std::string::npos) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* name = fuzz::AsFile(data, size);
  ReadAllLines(name, size);
  CMenuSettingsFile menu;
  std::string settings;
  if (!menu.Open(name)) std::abort();
  if (menu.ReadMenuSettings(&settings) ? settings.size() > size : menu.GetErrorStr().empty())
    std::abort();
  CCompatProductsFile products;
  std::vector<unsigned int> numbers;
  if (!products.Open(name)) std::abort();
  if (products.ReadNumbers(&numbers) ? numbers.size() > size : products.GetErrorStr().empty())
    std::abort();
  return 0;
}
