// libcrypto's objects owned as C++ owns anything, and its error queue in
// words: every object is freed on every way out, and a failure's reason
// names what OpenSSL said without leaving its queue to the next call.
#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/err.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace mocfsign {

template <typename T, void (*Free)(T*)>
struct Freer_t {
  void operator()(T* p) const { Free(p); }
};

inline void FreeCerts(STACK_OF(X509) * p) { sk_X509_pop_free(p, X509_free); }

using Bio = std::unique_ptr<BIO, Freer_t<BIO, BIO_free_all>>;
using Cms = std::unique_ptr<CMS_ContentInfo, Freer_t<CMS_ContentInfo, CMS_ContentInfo_free>>;
using Key = std::unique_ptr<EVP_PKEY, Freer_t<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Freer_t<X509, X509_free>>;
using Certs = std::unique_ptr<STACK_OF(X509), Freer_t<STACK_OF(X509), FreeCerts>>;
using Store = std::unique_ptr<X509_STORE, Freer_t<X509_STORE, X509_STORE_free>>;
using StoreCtx = std::unique_ptr<X509_STORE_CTX, Freer_t<X509_STORE_CTX, X509_STORE_CTX_free>>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, Freer_t<EVP_MD_CTX, EVP_MD_CTX_free>>;

// A read-only BIO over bytes that outlive it.
Bio MemoryBio(const void* pData, size_t size);

// What OpenSSL's queue says, "(none)" when it says nothing; the queue is
// emptied.
std::string OpenSslWords();

// A time as "2026-12-10T08:00:00Z"; empty for none or one that cannot be read.
std::string TimeText(const ASN1_TIME* pTime);

// A name as "CN=...,O=...", most specific first; a serial in hexadecimal.
std::string NameText(const X509_NAME* pName);
std::string SerialText(const ASN1_INTEGER* pSerial);

}  // namespace mocfsign
