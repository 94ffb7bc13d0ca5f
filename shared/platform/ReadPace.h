// Bytes read in place from a mapped file stay in memory until they are
// given back. A reader moving through such bytes tells its pace how far it
// went; every window's worth, the pages seen so far are given back, so a
// file of any size is read in about one window of memory. Giving pages back
// never changes what a pointer into the file reads. Several threads may
// share a pace.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {
class CFileView;
}

class CReadPace {
 public:
  static constexpr uint64_t kWindow = 16 << 20;

  // Two readers of one file, or two files read at once, each take a
  // smaller window, so that together they stay within one.
  explicit CReadPace(const platform::CFileView* pView, uint64_t window = kWindow)
      : m_pView(pView), m_Window(window) {}
  CReadPace(const CReadPace&) = delete;
  CReadPace& operator=(const CReadPace&) = delete;

  void Moved(uint64_t bytes);
  // For readers that may have no pace.
  static void Moved(CReadPace* pPace, uint64_t bytes) {
    if (pPace) pPace->Moved(bytes);
  }
  // How much a reader may read before it says so: its pace's window, or as
  // much as it likes without one.
  static uint64_t Step(const CReadPace* pPace, uint64_t unpaced) {
    return pPace ? pPace->m_Window : unpaced;
  }

 private:
  const platform::CFileView* m_pView;
  uint64_t m_Window;
  std::atomic<uint64_t> m_Since{0};
};
