// A thread for work beside the caller's, which the caller never forgets to
// wait for.
#pragma once

#include <system_error>
#include <thread>

#include "run/RunContext.h"

// Joins on every way out, an exception included. The work runs in the
// caller's run. Work too small to be
// worth a thread, or for which no thread can be had, is done at once, on
// the caller's.
class CJoinedThread {
 public:
  template <typename F>
  CJoinedThread(F work, bool small) {
    if (!small) {
      try {
        m_Thread = std::thread(run::InThisRun(work));
        return;
      } catch (const std::system_error&) {
      }
    }
    work();
  }
  ~CJoinedThread() { Join(); }
  CJoinedThread(const CJoinedThread&) = delete;
  CJoinedThread& operator=(const CJoinedThread&) = delete;
  void Join() {
    if (m_Thread.joinable()) m_Thread.join();
  }

 private:
  std::thread m_Thread;
};
