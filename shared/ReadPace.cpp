#include "ReadPace.h"

#include "Platform.h"

void CReadPace::Moved(uint64_t bytes) {
  m_Since += bytes;
  if (m_Since < kWindow) return;
  m_Since = 0;
  if (m_pView) m_pView->Forget();
}
