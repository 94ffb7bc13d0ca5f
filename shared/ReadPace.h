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

  explicit CReadPace(const platform::CFileView* pView) : m_pView(pView) {}
  CReadPace(const CReadPace&) = delete;
  CReadPace& operator=(const CReadPace&) = delete;

  void Moved(uint64_t bytes);
  // For readers that may have no pace.
  static void Moved(CReadPace* pPace, uint64_t bytes) {
    if (pPace) pPace->Moved(bytes);
  }

 private:
  const platform::CFileView* m_pView;
  std::atomic<uint64_t> m_Since{0};
};
