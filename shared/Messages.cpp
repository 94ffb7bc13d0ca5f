#include "Messages.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <utility>

namespace messages {

namespace {

std::string* g_pCapture = nullptr;

}  // namespace

void Printf(const char* pFormat, ...) {
  va_list args;
  va_start(args, pFormat);
  if (!g_pCapture) {
    std::vprintf(pFormat, args);
    va_end(args);
    return;
  }
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, pFormat, args);
  va_end(args);
  if (size > 0) {
    std::string text(static_cast<size_t>(size) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), pFormat, again);
    text.pop_back();
    *g_pCapture += text;
  }
  va_end(again);
}

void Line(const char* pText) {
  if (!g_pCapture) {
    std::puts(pText);
    return;
  }
  *g_pCapture += pText;
  *g_pCapture += '\n';
}

CCapture::CCapture() {
  assert(!g_pCapture);
  g_pCapture = &m_Text;
}

CCapture::~CCapture() { g_pCapture = nullptr; }

std::string CCapture::Take() { return std::exchange(m_Text, std::string()); }

}  // namespace messages
