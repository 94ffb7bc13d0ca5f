// Any bytes as a MOCF's detached signature, verified against a trust anchor
// and listed: a verdict every time, never a crash. At start-up the target
// makes its own small PKI with libcrypto and signs a small MOCF, so that
// the bytes can also be that good signature with a stretch overwritten: an
// input that starts with a zero byte names where (its next two bytes) and
// what (the rest). The empty input is the good signature itself, which
// must verify; no verdict of 0 may come from too few verified signers.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "format/MocfCreator.h"
#include "sign/Signature.h"

namespace {

void Expect(bool holds) {
  if (!holds) std::abort();
}

struct Pki_t {
  std::string TrustPem;
  std::vector<unsigned char> Mocf, Sig;
};

EVP_PKEY* NewKey() {
  EVP_PKEY* pKey = EVP_EC_gen("P-256");
  Expect(pKey != nullptr);
  return pKey;
}

void Extend(X509* pCert, X509* pIssuer, int nid, const char* pValue) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, pIssuer, pCert, nullptr, nullptr, 0);
  X509_EXTENSION* pExt = X509V3_EXT_conf_nid(nullptr, &ctx, nid, pValue);
  Expect(pExt && X509_add_ext(pCert, pExt, -1) == 1);
  X509_EXTENSION_free(pExt);
}

// A certificate for key, issued by issuer's key (itself when null), valid
// from a day ago for a year.
X509* NewCert(EVP_PKEY* pKey, const char* pName, X509* pIssuer, EVP_PKEY* pIssuerKey, long serial) {
  X509* pCert = X509_new();
  X509_set_version(pCert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(pCert), serial);
  X509_NAME* pSubject = X509_get_subject_name(pCert);
  X509_NAME_add_entry_by_txt(pSubject, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(pName), -1, -1, 0);
  X509_set_issuer_name(pCert, pIssuer ? X509_get_subject_name(pIssuer) : pSubject);
  X509_gmtime_adj(X509_getm_notBefore(pCert), -86400);
  X509_gmtime_adj(X509_getm_notAfter(pCert), 365L * 86400);
  X509_set_pubkey(pCert, pKey);
  X509* pAuthority = pIssuer ? pIssuer : pCert;
  Extend(pCert, pAuthority, NID_basic_constraints, pIssuer ? "CA:FALSE" : "critical,CA:TRUE");
  Extend(pCert, pAuthority, NID_key_usage, pIssuer ? "digitalSignature" : "keyCertSign");
  Expect(X509_sign(pCert, pIssuerKey ? pIssuerKey : pKey, EVP_sha256()) > 0);
  return pCert;
}

std::string Pem(X509* pCert) {
  BIO* pOut = BIO_new(BIO_s_mem());
  Expect(PEM_write_bio_X509(pOut, pCert) == 1);
  char* pText = nullptr;
  const long size = BIO_get_mem_data(pOut, &pText);
  std::string text(pText, static_cast<size_t>(size));
  BIO_free(pOut);
  return text;
}

void WriteText(const char* pPath, const std::string& text) {
  fuzz::AsFile(reinterpret_cast<const uint8_t*>(text.data()), text.size(), pPath);
}

// The anchor, a MOCF and its signature by a certificate the anchor issued,
// made by the engine's own Sign through scratch files.
Pki_t MakePki() {
  Pki_t pki;
  EVP_PKEY* pCaKey = NewKey();
  EVP_PKEY* pKey = NewKey();
  X509* pCa = NewCert(pCaKey, "fuzz CA", nullptr, nullptr, 1);
  X509* pCert = NewCert(pKey, "fuzz signer", pCa, pCaKey, 2);
  pki.TrustPem = Pem(pCa);
  WriteText("signer.pem", Pem(pCert));
  BIO* pKeyOut = BIO_new(BIO_s_mem());
  Expect(PEM_write_bio_PrivateKey(pKeyOut, pKey, nullptr, nullptr, 0, nullptr, nullptr) == 1);
  char* pText = nullptr;
  const long size = BIO_get_mem_data(pKeyOut, &pText);
  WriteText("signer.key", std::string(pText, static_cast<size_t>(size)));
  BIO_free(pKeyOut);
  X509_free(pCert);
  X509_free(pCa);
  EVP_PKEY_free(pKey);
  EVP_PKEY_free(pCaKey);

  CMocfCreator mocf;
  mocf.Init();
  CCompatProdCreator products;
  const std::vector<unsigned int> list{0x1A2B};
  products.Set(&list);
  mocf.AddObject(&products);
  pki.Mocf = fuzz::Sealed(*mocf.Get());
  fuzz::AsFile(pki.Mocf.data(), pki.Mocf.size(), "f.mocf");
  std::remove("f.mocf.sig");
  mocfsign::SignOutcome_t outcome;
  std::string why;
  Expect(mocfsign::Sign({"f.mocf", "signer.key", "signer.pem", "", "", "", ""}, &outcome, &why));
  std::ifstream in("f.mocf.sig", std::ios::binary);
  pki.Sig.assign(std::istreambuf_iterator<char>(in), {});
  Expect(!pki.Sig.empty());
  return pki;
}

const Pki_t& ThePki() {
  static const Pki_t pki = MakePki();
  return pki;
}

// The good signature with the input's tail written over it at the offset
// its second and third bytes give.
std::vector<unsigned char> Spliced(const uint8_t* data, size_t size) {
  std::vector<unsigned char> sig = ThePki().Sig;
  if (size < 3) return sig;
  const size_t at = (static_cast<size_t>(data[1]) << 8 | data[2]) % sig.size();
  const size_t tail = size - 3;
  if (at + tail > sig.size()) sig.resize(at + tail);
  std::copy(data + 3, data + size, sig.begin() + static_cast<long>(at));
  return sig;
}

void Check(const std::vector<unsigned char>& sig, bool good) {
  const Pki_t& pki = ThePki();
  std::vector<mocfsign::Signer_t> shown;
  std::string why;
  const bool listed = mocfsign::ShowBytes(sig.data(), sig.size(), &shown, &why);
  Expect(listed ? !shown.empty() : !why.empty() && why.back() == '\n');
  for (int signers : {1, 2})
    for (bool atSigningTime : {false, true}) {
      mocfsign::VerifyRequest_t options;
      options.Signers = signers;
      options.AtSigningTime = atSigningTime;
      const mocfsign::Verification_t v = mocfsign::VerifyBytes(
          sig.data(), sig.size(), pki.Mocf.data(), pki.Mocf.size(), pki.TrustPem, options, "f.mocf");
      Expect(v.Status >= 0 && v.Status <= 2);
      Expect((v.Status == 0) == v.Why.empty());
      Expect(v.Status != 0 || (v.MocfValid && v.Verified >= signers));
      Expect(v.Why.empty() || v.Why.back() == '\n');
      Expect(!listed || v.Signers.size() == shown.size());
      for (const mocfsign::Signer_t& signer : v.Signers) Expect(signer.Verified == signer.Reason.empty());
      if (good && signers == 1) Expect(v.Status == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ThePki();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    Check(ThePki().Sig, true);
    return 0;
  }
  Check(std::vector<unsigned char>(data, data + size), false);
  if (data[0] == 0) Check(Spliced(data, size), false);
  return 0;
}
