#include "run/Messages.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "run/RunContext.h"

namespace messages {

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
  run::Context_t& run = run::Current();
  if (run.pCapture) {
    *run.pCapture += text;
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  run.Said += text;
}

void Line(const char* pText) {
  run::Context_t& run = run::Current();
  std::string& to = run.pCapture ? *run.pCapture : run.Said;
  if (!run.pCapture) std::puts(pText);
  to += pText;
  to += '\n';
}

const std::string& Said() { return run::Current().Said; }

CCapture::CCapture() : m_pBefore(run::Current().pCapture) { run::Current().pCapture = &m_Text; }

CCapture::~CCapture() { run::Current().pCapture = m_pBefore; }

std::string CCapture::Take() { return std::exchange(m_Text, std::string()); }

}  // namespace messages
