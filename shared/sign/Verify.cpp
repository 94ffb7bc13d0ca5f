// Verifying and showing signatures: the files are read here and handed, as
// bytes and digests, to the one judge every verification goes through.
#include <openssl/objects.h>

#include <filesystem>
#include <set>
#include <vector>

#include "inputs/FileHelper.h"
#include "platform/Utf8Path.h"
#include "sign/Credentials.h"
#include "sign/Judge.h"
#include "sign/MocfDigest.h"
#include "sign/SignerFacts.h"

namespace mocfsign {

namespace {

struct Trust_t {
  Store Anchors;
  std::string Why;  // why there is none to trust
};

Trust_t TrustFromPem(const std::string& pem, const std::string& named) {
  Trust_t trust;
  int count = 0;
  const Certs certs = CertsFromPem(pem, &count);
  trust.Anchors.reset(X509_STORE_new());
  for (int i = 0; certs && trust.Anchors && i < count; ++i)
    if (X509_STORE_add_cert(trust.Anchors.get(), sk_X509_value(certs.get(), i)) != 1)
      trust.Anchors.reset();
  ERR_clear_error();
  if (!certs || !trust.Anchors) trust.Why = "cannot read the certificates of " + named + "\n";
  else if (count == 0) trust.Why = named + " holds no PEM certificate to trust\n";
  if (!trust.Why.empty()) trust.Anchors.reset();
  return trust;
}

// The digests the signers signed with, so that one pass takes them all.
std::vector<int> DigestsNeeded(CMS_ContentInfo* pCms) {
  std::vector<int> nids;
  STACK_OF(CMS_SignerInfo)* pSigners = CMS_get0_SignerInfos(pCms);
  for (int i = 0; i < sk_CMS_SignerInfo_num(pSigners); ++i)
    nids.push_back(DigestNid(sk_CMS_SignerInfo_value(pSigners, i)));
  return nids;
}

// Every signer judged, and how many distinct certificates verify.
void JudgeSigners(CMS_ContentInfo* pCms, const Judging_t& judging, Verification_t* pOut) {
  STACK_OF(CMS_SignerInfo)* pSigners = CMS_get0_SignerInfos(pCms);
  std::vector<X509*> verified;
  for (int i = 0; i < sk_CMS_SignerInfo_num(pSigners); ++i) {
    CMS_SignerInfo* pSigner = sk_CMS_SignerInfo_value(pSigners, i);
    Signer_t signer = Describe(pSigner);
    signer.Reason = Judge(pSigner, judging);
    signer.Verified = signer.Reason.empty();
    X509* pCert = SignerCert(pSigner);
    bool seen = false;
    for (X509* pOther : verified) seen = seen || (pCert && X509_cmp(pOther, pCert) == 0);
    if (signer.Verified && !seen) verified.push_back(pCert);
    pOut->Signers.push_back(signer);
  }
  pOut->Verified = static_cast<int>(verified.size());
}

// The verdict, once the MOCF and its signature are at hand.
Verification_t Conclude(CMS_ContentInfo* pCms, const MocfDigests_t& digests, X509_STORE* pTrust,
                        const VerifyRequest_t& options, const std::string& mocfName,
                        const std::string& trustName) {
  Verification_t out;
  out.SigFound = true;
  out.MocfValid = digests.Valid;
  out.MocfReason = digests.Reason;
  const Certs carried(CMS_get1_certs(pCms));
  JudgeSigners(pCms, {&digests, pTrust, carried.get(), options.AtSigningTime, mocfName, trustName},
               &out);
  ERR_clear_error();
  const int needed = std::max(1, options.Signers);
  std::string why;
  if (!digests.Valid) why = mocfName + " is not a valid MOCF: " + digests.Reason + "\n";
  if (out.Verified < needed)
    why += std::to_string(out.Verified) + (out.Verified == 1 ? " signer verifies" : " signers verify") +
           " where " + std::to_string(needed) + " distinct " +
           (needed == 1 ? "signer is" : "signers are") + " needed\n";
  out.Why = why;
  out.Status = why.empty() ? 0 : 1;
  return out;
}

Verification_t Failed(int status, const std::string& why) {
  Verification_t out;
  out.Status = status;
  out.Why = why;
  return out;
}

bool ReadWhole(const std::string& path, std::vector<unsigned char>* pBytes, std::string* pWhy) {
  if (CFileHelper::DoesFileExist(path.c_str()) && CFileHelper::ReadFileData(path.c_str(), pBytes))
    return true;
  *pWhy = "cannot read " + path + ": " + CFileHelper::WhyCannotRead(path.c_str()) + "\n";
  return false;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::symlink_status(Utf8Path(path), ec).type() !=
             std::filesystem::file_type::not_found &&
         !ec;
}

// No signature to judge: the MOCF is judged all the same, for the verdict on it.
Verification_t Unsigned(bool found, const std::string& why, const MocfDigests_t& digests,
                        const std::string& mocfName) {
  Verification_t out = Failed(1, why);
  out.SigFound = found;
  out.MocfValid = digests.Valid;
  out.MocfReason = digests.Reason;
  if (!digests.Valid) out.Why = mocfName + " is not a valid MOCF: " + digests.Reason + "\n" + why;
  return out;
}

}  // namespace

const char* NoSupport() { return ""; }

Verification_t VerifyBytes(const unsigned char* pSig, size_t sigSize, const unsigned char* pMocf,
                           size_t mocfSize, const std::string& trustPem,
                           const VerifyRequest_t& options, const std::string& mocfName) {
  const Trust_t trust = TrustFromPem(trustPem, "the trusted certificates");
  if (!trust.Anchors) return Failed(2, trust.Why);
  std::string why;
  const Cms cms = ParseSignature(pSig, sigSize, &why);
  const MocfDigests_t digests =
      DigestBytes(pMocf, mocfSize, mocfName, cms ? DigestsNeeded(cms.get()) : std::vector<int>());
  if (!cms) return Unsigned(true, why, digests, mocfName);
  return Conclude(cms.get(), digests, trust.Anchors.get(), options, mocfName,
                  "the trusted certificates");
}

Verification_t Verify(const VerifyRequest_t& request) {
  const std::string sigPath = request.Sig.empty() ? SignaturePath(request.Mocf) : request.Sig;
  std::vector<unsigned char> trustPem, sig;
  std::string why;
  if (!ReadWhole(request.Trust, &trustPem, &why)) return Failed(2, why);
  const Trust_t trust = TrustFromPem(std::string(trustPem.begin(), trustPem.end()), request.Trust);
  if (!trust.Anchors) return Failed(2, trust.Why);
  LoadedMocf_t mocf;
  if (!LoadMocf(request.Mocf, request.WhyCutShort, &mocf, &why)) return Failed(2, why);
  const bool found = Exists(sigPath);
  if (found && !ReadWhole(sigPath, &sig, &why)) {
    Verification_t out = Failed(2, why);
    out.SigFound = true;
    return out;
  }
  Cms cms;
  if (found) cms = ParseSignature(sig.data(), sig.size(), &why);
  const MocfDigests_t digests =
      DigestMocf(mocf, request.Mocf, cms ? DigestsNeeded(cms.get()) : std::vector<int>());
  if (!digests.Read) return Failed(2, "cannot read " + request.Mocf + ": it changed while it was read\n");
  if (cms) return Conclude(cms.get(), digests, trust.Anchors.get(), request, request.Mocf, request.Trust);
  return Unsigned(found, found ? sigPath + ": " + why : "no signature: " + sigPath + " does not exist\n",
                  digests, request.Mocf);
}

bool ShowBytes(const unsigned char* pSig, size_t size, std::vector<Signer_t>* pSigners,
               std::string* pWhy) {
  pSigners->clear();
  const Cms cms = ParseSignature(pSig, size, pWhy);
  if (!cms) return false;
  STACK_OF(CMS_SignerInfo)* pInfos = CMS_get0_SignerInfos(cms.get());
  for (int i = 0; i < sk_CMS_SignerInfo_num(pInfos); ++i)
    pSigners->push_back(Describe(sk_CMS_SignerInfo_value(pInfos, i)));
  return true;
}

bool Show(const std::string& sig, std::vector<Signer_t>* pSigners, std::string* pWhy) {
  std::vector<unsigned char> bytes;
  pSigners->clear();
  if (!Exists(sig)) return (*pWhy = "no signature: " + sig + " does not exist\n"), false;
  if (!ReadWhole(sig, &bytes, pWhy)) return false;
  if (ShowBytes(bytes.data(), bytes.size(), pSigners, pWhy)) return true;
  *pWhy = sig + ": " + *pWhy;
  return false;
}

}  // namespace mocfsign
