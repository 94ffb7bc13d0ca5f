#include "platform/SignatureBeside.h"

#include <filesystem>
#include <system_error>

#include "platform/Utf8Path.h"

namespace platform {

std::string SignatureBeside(const std::string& mocf) {
  const std::string sig = mocf + ".sig";
  std::error_code ec;
  return !mocf.empty() && std::filesystem::exists(Utf8Path(sig), ec) ? sig : "";
}

std::string StaleSignatureWarning(const std::string& program, const std::string& mocf) {
  const std::string sig = SignatureBeside(mocf);
  if (sig.empty()) return "";
  return program + ": the signature " + sig + " no longer matches " + mocf +
         "; sign it again with mocfsign\n";
}

}  // namespace platform
