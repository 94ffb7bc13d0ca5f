// Linked into mocftool_starved: the tool itself, with an allocator that
// refuses every request above MOCF_STARVE_ABOVE bytes, as a system out of
// memory would. It brings about the unexpected error on demand where no
// memory limit can be set on a process (Windows under Wine).
#include <cstdlib>
#include <new>

namespace {

std::size_t Limit() {
  static const std::size_t limit = [] {
    const char* pText = std::getenv("MOCF_STARVE_ABOVE");
    return pText ? static_cast<std::size_t>(std::strtoull(pText, nullptr, 10)) : ~std::size_t{0};
  }();
  return limit;
}

}  // namespace

void* operator new(std::size_t size) {
  if (size <= Limit()) {
    if (void* p = std::malloc(size ? size : 1)) return p;
  }
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
