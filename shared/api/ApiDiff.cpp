// The C API's comparison of two MOCFs, as mocfinfo --diff --json says it.
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "api/ApiError.h"
#include "inspect/Diff.h"

extern "C" {

int mocf_diff(const char* old_path, const char* new_path, int* same, char** json) {
  return api::Guarded([&] {
    if (!old_path || !new_path || !json) return api::Fail(MOCF_EARG, "two paths and a place\n");
    *json = nullptr;
    mocfinfo::MocfDiff diff;
    std::string whyNot;
    bool unread = false;
    if (mocfinfo::CompareFiles(old_path, new_path, false, &diff, &whyNot, &unread) ==
        mocfinfo::kCouldNot)
      return api::Fail(unread ? MOCF_EIO : MOCF_EINVALID, whyNot + "\n", 2);
    std::ostringstream out;
    mocfinfo::PrintDiffJson(diff, out);
    const std::string text = out.str();
    *json = static_cast<char*>(std::malloc(text.size() + 1));
    if (!*json) throw std::bad_alloc();
    std::memcpy(*json, text.c_str(), text.size() + 1);
    if (same) *same = diff.Same() ? 1 : 0;
    return MOCF_OK;
  });
}

}  // extern "C"
