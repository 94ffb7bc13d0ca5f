// Signing: the signer's credentials judged first, then the MOCF digested in
// one pass (and judged beside it), then a signer added to a new signature
// or to the one already there, which is written whole in place of the old.
#include <openssl/objects.h>

#include <ctime>
#include <filesystem>
#include <vector>

#include "inputs/FileHelper.h"
#include "platform/ReplaceFile.h"
#include "platform/Utf8Path.h"
#include "sign/Credentials.h"
#include "sign/Judge.h"
#include "sign/MocfDigest.h"
#include "sign/SignerFacts.h"

namespace mocfsign {

namespace {

constexpr time_t kSoon = 30 * 24 * 3600;

struct Signing_t {
  Key Private;
  Certs Signer;  // its first is the signer's own
  Certs Chain;
  X509* Cert() const { return sk_X509_value(Signer.get(), 0); }
};

bool Fail(std::string* pWhy, const std::string& why) {
  *pWhy += why;
  return false;
}

// The certificate must be valid now; one that ends soon signs with a warning.
bool ValidNow(X509* pCert, const std::string& named, std::vector<std::string>* pWarnings,
              std::string* pWhy) {
  const std::string from = TimeText(X509_get0_notBefore(pCert));
  const std::string until = TimeText(X509_get0_notAfter(pCert));
  if (X509_cmp_current_time(X509_get0_notBefore(pCert)) >= 0)
    return Fail(pWhy, named + " is not yet valid: it is valid from " + from + "\n");
  if (X509_cmp_current_time(X509_get0_notAfter(pCert)) <= 0)
    return Fail(pWhy, named + " has expired: it was valid until " + until + "\n");
  time_t soon = std::time(nullptr) + kSoon;
  if (X509_cmp_time(X509_get0_notAfter(pCert), &soon) <= 0)
    pWarnings->push_back(named + " expires at " + until + ", within 30 days\n");
  return true;
}

bool LoadSigning(const SignRequest_t& request, Signing_t* pSigning,
                 std::vector<std::string>* pWarnings, std::string* pWhy) {
  pSigning->Signer = LoadCerts(request.Cert, pWhy);
  if (!pSigning->Signer) return false;
  // Refused before the key or its token is touched.
  const std::string usage = UsageJudged(pSigning->Cert());
  if (!usage.empty()) return Fail(pWhy, request.Cert + " cannot sign: " + usage + "\n");
  if (!request.Chain.empty() && !(pSigning->Chain = LoadCerts(request.Chain, pWhy))) return false;
  pSigning->Private = LoadKey(request.Key, request.Pass, pWhy);
  if (!pSigning->Private) return false;
  X509* pCert = pSigning->Cert();
  if (!SignsWith(X509_get0_pubkey(pCert), request.Cert, pWhy)) return false;
  if (X509_check_private_key(pCert, pSigning->Private.get()) != 1) {
    ERR_clear_error();
    return Fail(pWhy, "the key " + request.Key + " does not match the certificate " + request.Cert + "\n");
  }
  return ValidNow(pCert, request.Cert, pWarnings, pWhy);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::symlink_status(Utf8Path(path), ec).type() !=
             std::filesystem::file_type::not_found && !ec;
}

// The signature already there, to be co-signed; null when there is none.
// False when there is one we cannot read or parse.
bool LoadExisting(const std::string& out, Cms* pCms, std::string* pWhy) {
  if (!Exists(out)) return true;
  std::vector<unsigned char> bytes;
  if (!CFileHelper::DoesFileExist(out.c_str()) || !CFileHelper::ReadFileData(out.c_str(), &bytes))
    return Fail(pWhy, "cannot read " + out + ": " + CFileHelper::WhyCannotRead(out.c_str()) + "\n");
  std::string why;
  *pCms = ParseSignature(bytes.data(), bytes.size(), &why);
  if (!*pCms) return Fail(pWhy, out + " cannot be signed again: " + why);
  return true;
}

// An existing signature gains a signer only over the same bytes, and from
// another certificate.
bool CoSignable(CMS_ContentInfo* pCms, const MocfDigests_t& digests, X509* pCert,
                const SignRequest_t& request, const std::string& out, std::string* pWhy) {
  STACK_OF(CMS_SignerInfo)* pSigners = CMS_get0_SignerInfos(pCms);
  for (int i = 0; i < sk_CMS_SignerInfo_num(pSigners); ++i)
    if (!DigestMatches(sk_CMS_SignerInfo_value(pSigners, i), digests))
      return Fail(pWhy, out + " signed other bytes than " + request.Mocf + "'s: it is left as it is\n");
  for (int i = 0; i < sk_CMS_SignerInfo_num(pSigners); ++i)
    if (CMS_SignerInfo_cert_cmp(sk_CMS_SignerInfo_value(pSigners, i), pCert) == 0)
      return Fail(pWhy, request.Cert + " has already signed " + out + "\n");
  return true;
}

bool AddCerts(CMS_ContentInfo* pCms, STACK_OF(X509) * pCerts) {
  const Certs present(CMS_get1_certs(pCms));
  for (int i = 0; i < sk_X509_num(pCerts); ++i) {
    X509* pCert = sk_X509_value(pCerts, i);
    bool there = false;
    for (int j = 0; j < sk_X509_num(present.get()); ++j)
      there = there || X509_cmp(sk_X509_value(present.get(), j), pCert) == 0;
    if (!there && CMS_add1_cert(pCms, pCert) != 1) return false;
  }
  return true;
}

// The signer's digest of the MOCF and the content type, signed with the
// signing time that CMS_SignerInfo_sign adds.
bool AddSigner(CMS_ContentInfo* pCms, const Signing_t& signing, const std::string& digest) {
  CMS_SignerInfo* pSigner =
      CMS_add1_signer(pCms, signing.Cert(), signing.Private.get(), EVP_sha256(),
                      CMS_PARTIAL | CMS_BINARY | CMS_NOCERTS | CMS_NOSMIMECAP);
  return pSigner &&
         CMS_signed_add1_attr_by_NID(pSigner, NID_pkcs9_contentType, V_ASN1_OBJECT,
                                     const_cast<ASN1_OBJECT*>(CMS_get0_eContentType(pCms)), -1) == 1 &&
         CMS_signed_add1_attr_by_NID(pSigner, NID_pkcs9_messageDigest, V_ASN1_OCTET_STRING,
                                     digest.data(), static_cast<int>(digest.size())) == 1 &&
         CMS_SignerInfo_sign(pSigner) == 1 && AddCerts(pCms, signing.Signer.get()) &&
         (!signing.Chain || AddCerts(pCms, signing.Chain.get()));
}

bool Write(CMS_ContentInfo* pCms, const std::string& out, std::string* pWhy) {
  unsigned char* pDer = nullptr;
  const int size = i2d_CMS_ContentInfo(pCms, &pDer);
  if (size <= 0) return Fail(pWhy, "cannot encode the signature: " + OpenSslWords() + "\n");
  const bool written = ReplaceFile(out, pDer, static_cast<size_t>(size));
  OPENSSL_free(pDer);
  if (!written)
    return Fail(pWhy, "cannot write " + out + ": " + CFileHelper::WhyCannotWrite(out.c_str()) + "\n");
  return true;
}

bool SignLoaded(const SignRequest_t& request, const Signing_t& signing, const std::string& out,
                SignOutcome_t* pOutcome, std::string* pWhy) {
  LoadedMocf_t mocf;
  Cms cms;
  if (!LoadMocf(request.Mocf, request.WhyCutShort, &mocf, pWhy) || !LoadExisting(out, &cms, pWhy))
    return false;
  std::vector<int> digests{NID_sha256};
  STACK_OF(CMS_SignerInfo)* pSigners = cms ? CMS_get0_SignerInfos(cms.get()) : nullptr;
  for (int i = 0; i < sk_CMS_SignerInfo_num(pSigners); ++i)
    digests.push_back(DigestNid(sk_CMS_SignerInfo_value(pSigners, i)));
  const MocfDigests_t digested = DigestMocf(mocf, request.Mocf, digests);
  if (!digested.Read) return Fail(pWhy, "cannot read " + request.Mocf + ": it changed while it was read\n");
  if (!digested.Valid) return Fail(pWhy, request.Mocf + " is not a valid MOCF: " + digested.Reason + "\n");
  const auto sha256 = digested.ByDigest.find(NID_sha256);
  if (sha256 == digested.ByDigest.end()) return Fail(pWhy, "cannot digest " + request.Mocf + "\n");
  if (cms && !CoSignable(cms.get(), digested, signing.Cert(), request, out, pWhy)) return false;
  if (!cms) cms.reset(CMS_sign(nullptr, nullptr, nullptr, nullptr, CMS_PARTIAL | CMS_DETACHED | CMS_BINARY));
  if (!cms || !AddSigner(cms.get(), signing, sha256->second))
    return Fail(pWhy, "cannot sign " + request.Mocf + ": " + OpenSslWords() + "\n");
  if (!Write(cms.get(), out, pWhy)) return false;
  pOutcome->Out = out;
  pOutcome->Signers = sk_CMS_SignerInfo_num(CMS_get0_SignerInfos(cms.get()));
  return true;
}

}  // namespace

bool Sign(const SignRequest_t& request, SignOutcome_t* pOutcome, std::string* pWhy) {
  ERR_clear_error();
  pWhy->clear();
  *pOutcome = {};
  Signing_t signing;
  const std::string out = request.Out.empty() ? SignaturePath(request.Mocf) : request.Out;
  const bool signed_ = LoadSigning(request, &signing, &pOutcome->Warnings, pWhy) &&
                       SignLoaded(request, signing, out, pOutcome, pWhy);
  ERR_clear_error();
  return signed_;
}

}  // namespace mocfsign
