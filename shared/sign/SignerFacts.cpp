#include "sign/SignerFacts.h"

#include <openssl/objects.h>

#include "sign/Credentials.h"

namespace mocfsign {

Cms ParseSignature(const unsigned char* pSig, size_t size, std::string* pWhy) {
  ERR_clear_error();
  const unsigned char* p = pSig;
  Cms cms(size > 0 && size < (1u << 30) ? d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(size))
                                        : nullptr);
  const std::string words = OpenSslWords();
  if (!cms) *pWhy = "damaged signature: it is no DER CMS signature (" + words + ")\n";
  else if (p != pSig + size) *pWhy = "damaged signature: bytes follow its end\n";
  else if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed)
    *pWhy = "damaged signature: it is a CMS message of another kind than SignedData\n";
  else if (!CMS_get0_SignerInfos(cms.get()) || sk_CMS_SignerInfo_num(CMS_get0_SignerInfos(cms.get())) <= 0)
    *pWhy = "damaged signature: it holds no signer\n";
  else {
    // Each signer is matched with its certificate among those carried; a
    // signer whose certificate is missing is judged as one.
    CMS_set1_signers_certs(cms.get(), nullptr, 0);
    ERR_clear_error();
    return cms;
  }
  return nullptr;
}

X509* SignerCert(CMS_SignerInfo* pSigner) {
  X509* pCert = nullptr;
  CMS_SignerInfo_get0_algs(pSigner, nullptr, &pCert, nullptr, nullptr);
  return pCert;
}

const ASN1_TIME* SigningTimeAttr(CMS_SignerInfo* pSigner) {
  const ASN1_OBJECT* pTime = OBJ_nid2obj(NID_pkcs9_signingTime);
  for (int type : {V_ASN1_UTCTIME, V_ASN1_GENERALIZEDTIME})
    if (const void* p = CMS_signed_get0_data_by_OBJ(pSigner, pTime, -3, type)) {
      ERR_clear_error();
      return static_cast<const ASN1_TIME*>(p);
    }
  ERR_clear_error();
  return nullptr;
}

bool SigningTime(CMS_SignerInfo* pSigner, time_t* pWhen) {
  const ASN1_TIME* pTime = SigningTimeAttr(pSigner);
  struct tm t = {};
  if (!pTime || ASN1_TIME_to_tm(pTime, &t) != 1) return false;
  *pWhen = timegm(&t);
  return true;
}

int DigestNid(CMS_SignerInfo* pSigner) {
  X509_ALGOR* pDigest = nullptr;
  CMS_SignerInfo_get0_algs(pSigner, nullptr, nullptr, &pDigest, nullptr);
  const ASN1_OBJECT* pObject = nullptr;
  if (pDigest) X509_ALGOR_get0(&pObject, nullptr, nullptr, pDigest);
  return pObject ? OBJ_obj2nid(pObject) : NID_undef;
}

const ASN1_OCTET_STRING* SignedDigest(CMS_SignerInfo* pSigner) {
  const void* p = CMS_signed_get0_data_by_OBJ(pSigner, OBJ_nid2obj(NID_pkcs9_messageDigest), -3,
                                              V_ASN1_OCTET_STRING);
  ERR_clear_error();
  return static_cast<const ASN1_OCTET_STRING*>(p);
}

Signer_t Describe(CMS_SignerInfo* pSigner) {
  Signer_t signer;
  signer.SigningTime = TimeText(SigningTimeAttr(pSigner));
  if (X509* pCert = SignerCert(pSigner)) {
    signer.Subject = NameText(X509_get_subject_name(pCert));
    signer.Issuer = NameText(X509_get_issuer_name(pCert));
    signer.Serial = SerialText(X509_get0_serialNumber(pCert));
    signer.KeyType = KeyType(X509_get0_pubkey(pCert));
    signer.NotBefore = TimeText(X509_get0_notBefore(pCert));
    signer.NotAfter = TimeText(X509_get0_notAfter(pCert));
  } else {
    X509_NAME* pIssuer = nullptr;
    ASN1_INTEGER* pSerial = nullptr;
    ASN1_OCTET_STRING* pKeyId = nullptr;
    if (CMS_SignerInfo_get0_signer_id(pSigner, &pKeyId, &pIssuer, &pSerial) == 1) {
      signer.Issuer = NameText(pIssuer);
      signer.Serial = SerialText(pSerial);
    }
  }
  ERR_clear_error();
  return signer;
}

}  // namespace mocfsign
