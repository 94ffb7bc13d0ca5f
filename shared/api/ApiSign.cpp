// The C API's signatures: the sign layer's calls, their reasons kept as
// the error, what a signature made all the same warns of kept as the
// success's warning, and each verification handed over whole, every
// signer's verdict in it, whether it verifies or not.
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "api/ApiError.h"
#include "run/RunContext.h"
#include "sign/Signature.h"

namespace {

// What the caller's pointer points at: the public part first, then the
// texts its fields point into.
struct Held_t {
  mocf_verification Shown;
  mocfsign::Verification_t Verification;
  std::vector<mocf_signer> Signers;
};
static_assert(std::is_standard_layout<Held_t>::value,
              "a verification's public part is where its holder is");

std::string Given(const char* text) { return text ? text : ""; }

// Each line of the engine's, as mocfsign says it.
std::string Said(const std::string& lines, const char* pKind = "") {
  std::string said;
  size_t at = 0;
  while (at < lines.size()) {
    size_t end = lines.find('\n', at);
    if (end == std::string::npos) end = lines.size();
    if (end > at) said += "mocfsign: " + std::string(pKind) + lines.substr(at, end - at) + "\n";
    at = end + 1;
  }
  return said;
}

mocf_signer Shown(const mocfsign::Signer_t& signer) {
  return {signer.Subject.c_str(),   signer.Issuer.c_str(),    signer.Serial.c_str(),
          signer.KeyType.c_str(),   signer.SigningTime.c_str(), signer.NotBefore.c_str(),
          signer.NotAfter.c_str(),  signer.Verified ? 1 : 0,  signer.Reason.c_str()};
}

// A verdict of 0 stands only with every count behind it, and never in a
// build that cannot check at all.
mocfsign::Verification_t Upheld(const mocfsign::VerifyRequest_t& request,
                                mocfsign::Verification_t v) {
  if (*mocfsign::NoSupport()) {
    v.Status = 2;
    v.Why = std::string(mocfsign::NoSupport()) + "\n";
  } else if (v.Status == 0 && (!v.SigFound || !v.MocfValid || v.Verified < request.Signers)) {
    v.Status = 1;
    if (v.Why.empty())
      v.Why = std::to_string(v.Verified) + " of the " + std::to_string(request.Signers) +
              " signers required verify\n";
  }
  return v;
}

Held_t* Hold(mocfsign::Verification_t verification) {
  auto held = std::make_unique<Held_t>();
  held->Verification = std::move(verification);
  const mocfsign::Verification_t& v = held->Verification;
  for (const mocfsign::Signer_t& signer : v.Signers) held->Signers.push_back(Shown(signer));
  held->Shown = {v.Status,           v.Status == 0 ? 1 : 0, v.Verified,
                 held->Signers.size(), held->Signers.data(), v.Why.c_str(),
                 v.MocfValid ? 1 : 0,  v.MocfReason.c_str(), v.SigFound ? 1 : 0};
  return held.release();
}

int Judged(const mocfsign::Verification_t& v) {
  if (v.Status == 0) return MOCF_OK;
  if (v.Status == 1) return api::Fail(MOCF_ENOTVERIFIED, Said(v.Why), 1);
  return api::Fail(*mocfsign::NoSupport() ? MOCF_EFAILED : MOCF_EIO, Said(v.Why), 2);
}

}  // namespace

extern "C" {

int mocf_sign(const char* mocf_path, const char* key, const char* cert, const char* chain,
              const char* pass_source, const char* sig_path) {
  return api::Guarded([&] {
    if (!mocf_path || !key || !cert)
      return api::Fail(MOCF_EARG, "a MOCF, a key and a certificate\n");
    run::Context_t run;
    const run::CScope scope(&run);
    const mocfsign::SignRequest_t request{mocf_path, key, cert, Given(chain), Given(pass_source),
                                          Given(sig_path), ""};
    mocfsign::SignOutcome_t outcome;
    std::string why;
    if (!mocfsign::Sign(request, &outcome, &why)) return api::Fail(MOCF_EFAILED, Said(why), 2);
    std::string warnings;
    for (const std::string& warning : outcome.Warnings) warnings += Said(warning, "warning: ");
    return api::Warn(warnings);
  });
}

int mocf_verify_signature(const char* mocf_path, const char* sig_path, const char* trust_path,
                          int signers, unsigned flags, mocf_verification** out) {
  return api::Guarded([&] {
    if (out) *out = nullptr;
    if (!out || !mocf_path || !trust_path || signers < 1 || (flags & ~MOCF_AT_SIGNING_TIME))
      return api::Fail(MOCF_EARG,
                       "a MOCF, a trust file, one signer or more, no flag but "
                       "MOCF_AT_SIGNING_TIME and a place for the verification\n");
    run::Context_t run;
    const run::CScope scope(&run);
    const mocfsign::VerifyRequest_t request{mocf_path, Given(sig_path), trust_path, signers,
                                            (flags & MOCF_AT_SIGNING_TIME) != 0, ""};
    Held_t* held = Hold(Upheld(request, mocfsign::Verify(request)));
    *out = &held->Shown;
    return Judged(held->Verification);
  });
}

void mocf_verification_free(mocf_verification* verification) {
  delete reinterpret_cast<Held_t*>(verification);
}

}  // extern "C"
