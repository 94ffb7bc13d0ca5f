// What one operation keeps while it runs: the record builders' error text
// and reasons, and where its messages go. The operation owns its context
// and makes it current on its thread; the functions whose names the tool
// fixes (AddErrorStr, GetErrorStr, messages::Printf, ...) take none and
// reach the current one, so that two operations on two threads never see
// each other's words.
#pragma once

#include <string>
#include <utility>

namespace run {

struct Context_t {
  std::string ErrorStr;             // the record builders' error text
  std::string Reasons;              // why, beyond it: a line each
  std::string* pCapture = nullptr;  // where messages are kept instead of printed
  std::string Said;                 // what was printed, not what was kept
};

// The context current on this thread. A thread that runs no operation of
// its own (mocftool's, say) has one for its whole life.
Context_t& Current();

// Makes a context current on this thread for its own lifetime; the one
// before comes back after.
class CScope {
 public:
  explicit CScope(Context_t* pContext);
  ~CScope();
  CScope(const CScope&) = delete;
  CScope& operator=(const CScope&) = delete;

 private:
  Context_t* m_pBefore;
};

// Work for another thread, to run in the context of the thread that hands
// it over: an engine's worker belongs to the operation that started it.
template <class Work>
auto InThisRun(Work work) {
  Context_t* pContext = &Current();
  return [pContext, work = std::move(work)]() mutable {
    const CScope scope(pContext);
    work();
  };
}

}  // namespace run
