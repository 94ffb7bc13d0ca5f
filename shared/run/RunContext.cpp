#include "run/RunContext.h"

namespace run {

namespace {

Context_t*& CurrentPointer() {
  thread_local Context_t* pCurrent = nullptr;
  return pCurrent;
}

}  // namespace

Context_t& Current() {
  Context_t*& pCurrent = CurrentPointer();
  if (pCurrent) return *pCurrent;
  thread_local Context_t own;
  return own;
}

CScope::CScope(Context_t* pContext) : m_pBefore(CurrentPointer()) {
  CurrentPointer() = pContext;
}

CScope::~CScope() { CurrentPointer() = m_pBefore; }

}  // namespace run
