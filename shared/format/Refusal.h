// Why a check said no. A check that refuses records its reason at the very
// place its rule is written, so a tool can explain a verdict without a
// second copy of the rules. Callers that want only the verdict ignore it.
#pragma once

#include <string>
#include <utility>

class CRefusal {
 public:
  // Empty until a check has refused; then the reason of the last refusal.
  const std::string& GetReason() const { return m_Reason; }

 protected:
  // Always false, so a check can `return Refuse(...)`.
  bool Refuse(std::string reason) {
    m_Reason = std::move(reason);
    return false;
  }
  // Takes over a nested check's reason, prefixed with where it stands.
  bool Refuse(const std::string& context, const CRefusal& inner) {
    return Refuse(context + ": " + inner.GetReason());
  }

 private:
  std::string m_Reason;
};
