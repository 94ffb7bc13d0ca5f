#include "api/ApiError.h"

#include <cstdlib>
#include <utility>

namespace api {

namespace {

struct LastError_t {
  std::string Text;
  const char* pFixed = nullptr;  // a message that is not in Text
  mocf_error Error = {0, 0, 0, ""};
};

LastError_t& Last() {
  thread_local LastError_t last;
  return last;
}

}  // namespace

int Fail(int code, std::string message, int status, int line) {
  LastError_t& last = Last();
  try {
    last.Text = std::move(message);
  } catch (...) {
    last.Text.clear();
  }
  last.pFixed = nullptr;
  last.Error = {code, status, line, last.Text.c_str()};
  return code;
}

int FailFixed(int code, const char* message) noexcept {
  LastError_t& last = Last();
  last.pFixed = message;
  last.Error = {code, 0, 0, message};
  return code;
}

// Kept as a failure is, with its code 0, so that a caller reads both alike.
int Warn(std::string message) { return Fail(MOCF_OK, std::move(message)); }

void Clear() {
  LastError_t& last = Last();
  last.Text.clear();
  last.pFixed = nullptr;
  last.Error = {0, 0, 0, last.Text.c_str()};
}

}  // namespace api

extern "C" {

const mocf_error* mocf_error_last(void) {
  api::LastError_t& last = api::Last();
  last.Error.message = last.pFixed ? last.pFixed : last.Text.c_str();
  return &last.Error;
}

void mocf_error_clear(void) { api::Clear(); }

const char* mocf_version(void) { return MOCF_VERSION; }

int mocf_version_number(void) { return MOCF_VERSION_NUMBER; }

void mocf_free(void* p) { std::free(p); }

}  // extern "C"

#ifdef MOCF_VERSION_TEXT
static_assert(sizeof(MOCF_VERSION_TEXT) == sizeof(MOCF_VERSION) &&
                  std::char_traits<char>::compare(MOCF_VERSION_TEXT, MOCF_VERSION,
                                                  sizeof(MOCF_VERSION)) == 0,
              "mocf.h's version is the project's");
#endif
