#include "sign/Judge.h"

#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <cstring>

#include "sign/SignerFacts.h"

namespace mocfsign {

namespace {

std::string Named(X509* pCert) { return NameText(X509_get_subject_name(pCert)); }

// The chain's verdict in words that say which certificate, and when.
std::string ChainWords(X509_STORE_CTX* pCtx, const Judging_t& judging) {
  const int error = X509_STORE_CTX_get_error(pCtx);
  X509* pAt = X509_STORE_CTX_get_current_cert(pCtx);
  const std::string which = pAt ? "the certificate " + Named(pAt) : "a certificate";
  switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return "expired certificate: " + which + " expired at " +
             (pAt ? TimeText(X509_get0_notAfter(pAt)) : "?");
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return "not yet valid: " + which + " is valid from " +
             (pAt ? TimeText(X509_get0_notBefore(pAt)) : "?");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
      return "untrusted signer: its certificate does not chain to one in " + judging.TrustName +
             " (" + X509_verify_cert_error_string(error) + ")";
    default:
      return std::string("its certificate chain does not verify: ") +
             X509_verify_cert_error_string(error);
  }
}

std::string ChainJudged(CMS_SignerInfo* pSigner, X509* pCert, const Judging_t& judging) {
  const StoreCtx ctx(X509_STORE_CTX_new());
  if (!ctx || X509_STORE_CTX_init(ctx.get(), judging.pTrust, pCert, judging.pCarried) != 1)
    return "its certificate chain could not be checked: " + OpenSslWords();
  if (judging.AtSigningTime) {
    time_t when = 0;
    if (!SigningTime(pSigner, &when))
      return "it signs no signing time to judge its certificates at";
    X509_VERIFY_PARAM_set_time(X509_STORE_CTX_get0_param(ctx.get()), when);
  }
  const int verified = X509_verify_cert(ctx.get());
  if (verified == 1) return "";
  return ChainWords(ctx.get(), judging);
}

std::string Unjudged(CMS_SignerInfo* pSigner, const Judging_t& judging) {
  X509* pCert = SignerCert(pSigner);
  if (!pCert) return "untrusted signer: its certificate is not in the signature";
  if (CMS_signed_get_attr_count(pSigner) < 0)
    return "damaged signature: it signs no attributes, which is not supported";
  if (CMS_SignerInfo_verify(pSigner) != 1)
    return "damaged signature: the signature itself does not verify";
  const int nid = DigestNid(pSigner);
  if (nid != NID_sha256 && nid != NID_sha384 && nid != NID_sha512)
    return std::string("its digest, ") + (nid == NID_undef ? "unknown" : OBJ_nid2sn(nid)) +
           ", is not supported (SHA-256, SHA-384 or SHA-512 are)";
  if (!SignedDigest(pSigner)) return "damaged signature: it signs no message digest";
  if (!DigestMatches(pSigner, *judging.pDigests))
    return "signed other bytes than " + judging.MocfName + "'s";
  const std::string chain = ChainJudged(pSigner, pCert, judging);
  return chain.empty() ? UsageJudged(pCert) : chain;
}

}  // namespace

std::string UsageJudged(X509* pCert) {
  const uint32_t flags = X509_get_extension_flags(pCert);
  if (flags & EXFLAG_INVALID) return "its certificate has extensions that cannot be read";
  if (flags & EXFLAG_CA) return "a CA as signer: its certificate is a CA's (basicConstraints CA:TRUE)";
  if ((flags & EXFLAG_KUSAGE) && !(X509_get_key_usage(pCert) & KU_DIGITAL_SIGNATURE))
    return "wrong key usage: its certificate's key usage leaves out digitalSignature";
  if ((flags & EXFLAG_XKUSAGE) && !(X509_get_extended_key_usage(pCert) & (XKU_CODE_SIGN | XKU_ANYEKU)))
    return "wrong key usage: its certificate's extended key usage leaves out codeSigning";
  return "";
}

bool DigestMatches(CMS_SignerInfo* pSigner, const MocfDigests_t& digests) {
  const ASN1_OCTET_STRING* pSigned = SignedDigest(pSigner);
  const auto ours = digests.ByDigest.find(DigestNid(pSigner));
  if (!pSigned || ours == digests.ByDigest.end()) return false;
  const std::string& digest = ours->second;
  return static_cast<size_t>(ASN1_STRING_length(pSigned)) == digest.size() &&
         std::memcmp(ASN1_STRING_get0_data(pSigned), digest.data(), digest.size()) == 0;
}

std::string Judge(CMS_SignerInfo* pSigner, const Judging_t& judging) {
  ERR_clear_error();
  std::string why = Unjudged(pSigner, judging);
  ERR_clear_error();
  return why;
}

}  // namespace mocfsign
