// The C API's side of failures: the per-thread last error, which a call
// that succeeds may leave a warning in, and the guard that keeps every C++
// exception inside the library.
#pragma once

#include <new>
#include <string>

#include "mocf/mocf.h"

namespace api {

// Records the failure as this thread's last error and returns code.
int Fail(int code, std::string message, int status = 0, int line = 0);
// The same with a message that lives for the whole run, for when memory
// has run out: it allocates nothing and cannot throw.
int FailFixed(int code, const char* message) noexcept;
void Clear();
// Records what a call that succeeds warns of, code and status 0 (nothing
// when message is empty), and returns MOCF_OK.
int Warn(std::string message);

// Runs call, which returns 0 or a code it has already recorded; an
// exception becomes a recorded code instead.
template <class Call>
int Guarded(Call call) {
  try {
    Clear();
    return call();
  } catch (const std::bad_alloc&) {
    return FailFixed(MOCF_ENOMEM, "out of memory\n");
  } catch (...) {
    return FailFixed(MOCF_EINTERNAL, "Unexpected error\n");
  }
}

}  // namespace api
