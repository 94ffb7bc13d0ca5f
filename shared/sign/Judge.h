// Whether one signer of a signature vouches for a MOCF: its signature over
// its signed attributes holds, the digest it signed is the MOCF's, and its
// certificate chains in full to a trusted one and may sign code. Anything
// OpenSSL does not answer plainly fails.
#pragma once

#include <string>

#include "sign/MocfDigest.h"
#include "sign/OpenSsl.h"

namespace mocfsign {

struct Judging_t {
  const MocfDigests_t* pDigests;
  X509_STORE* pTrust;
  STACK_OF(X509) * pCarried;  // the signature's certificates, untrusted
  bool AtSigningTime;
  std::string MocfName, TrustName;
};

// Empty when the signer verifies; else why not, in one line without its end.
std::string Judge(CMS_SignerInfo* pSigner, const Judging_t& judging);

// Empty when the certificate's own extensions let it sign code: signing,
// code, and not issuing certificates; else why not, in one line without its
// end. Signing asks it too, so that no signature is made that can never
// verify.
std::string UsageJudged(X509* pCert);

// The digest this signer signed is the one given.
bool DigestMatches(CMS_SignerInfo* pSigner, const MocfDigests_t& digests);

}  // namespace mocfsign
