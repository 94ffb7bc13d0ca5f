#include "Messages.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <utility>

namespace messages {

namespace {

std::string* g_pCapture = nullptr;
std::string g_Said;

}  // namespace

void Printf(const char* pFormat, ...) {
  va_list args;
  va_start(args, pFormat);
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, pFormat, args);
  va_end(args);
  std::string text;
  if (size > 0) {
    text.assign(static_cast<size_t>(size) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), pFormat, again);
    text.pop_back();
  }
  va_end(again);
  if (g_pCapture) {
    *g_pCapture += text;
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  g_Said += text;
}

void Line(const char* pText) {
  if (!g_pCapture) {
    std::puts(pText);
    g_Said += pText;
    g_Said += '\n';
    return;
  }
  *g_pCapture += pText;
  *g_pCapture += '\n';
}

const std::string& Said() { return g_Said; }

CCapture::CCapture() {
  assert(!g_pCapture);
  g_pCapture = &m_Text;
}

CCapture::~CCapture() { g_pCapture = nullptr; }

std::string CCapture::Take() { return std::exchange(m_Text, std::string()); }

}  // namespace messages
