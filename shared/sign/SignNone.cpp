// A build without libcrypto: every signing call fails closed, with the
// reason, so that no caller mistakes a missing check for a passed one.
#include "sign/Signature.h"

namespace mocfsign {

namespace {

const char kNoSupport[] =
    "this build has no signature support (it was built without OpenSSL's libcrypto)";

std::string Why() { return std::string(kNoSupport) + "\n"; }

}  // namespace

const char* NoSupport() { return kNoSupport; }

bool Sign(const SignRequest_t&, SignOutcome_t*, std::string* pWhy) {
  *pWhy = Why();
  return false;
}

Verification_t VerifyBytes(const unsigned char*, size_t, const unsigned char*, size_t,
                           const std::string&, const VerifyRequest_t&, const std::string&) {
  Verification_t verification;
  verification.Why = Why();
  return verification;
}

Verification_t Verify(const VerifyRequest_t& request) {
  return VerifyBytes(nullptr, 0, nullptr, 0, "", request, request.Mocf);
}

bool ShowBytes(const unsigned char*, size_t, std::vector<Signer_t>*, std::string* pWhy) {
  *pWhy = Why();
  return false;
}

bool Show(const std::string&, std::vector<Signer_t>* pSigners, std::string* pWhy) {
  return ShowBytes(nullptr, 0, pSigners, pWhy);
}

}  // namespace mocfsign
