#include "platform/ReadPace.h"

#include "platform/Platform.h"

void CReadPace::Moved(uint64_t bytes) {
  // Whichever thread crosses the window gives the pages back; the others
  // merely read some of theirs again.
  if (m_Since.fetch_add(bytes) + bytes < m_Window) return;
  m_Since = 0;
  if (m_pView) m_pView->Forget();
}
