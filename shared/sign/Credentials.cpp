#include "sign/Credentials.h"

#include <openssl/pem.h>

#include <cstring>
#include <vector>

#include "inputs/FileHelper.h"
#include "sign/Pkcs11Key.h"
#include "sign/Secret.h"

namespace mocfsign {

namespace {

bool ReadText(const std::string& path, std::string* pText, std::string* pWhy) {
  std::vector<unsigned char> bytes;
  if (!CFileHelper::DoesFileExist(path.c_str()) || !CFileHelper::ReadFileData(path.c_str(), &bytes))
    return (*pWhy = "cannot read " + path + ": " + CFileHelper::WhyCannotRead(path.c_str()) + "\n"), false;
  pText->assign(bytes.begin(), bytes.end());
  return true;
}

// What the PEM reader's callback is told: the passphrase when there is
// one, and whether it was asked for one at all.
struct Asked_t {
  const std::string* pSecret;
  bool Asked = false;
};

int GivePassphrase(char* pBuffer, int size, int, void* pData) {
  Asked_t* pAsked = static_cast<Asked_t*>(pData);
  pAsked->Asked = true;
  const std::string& secret = *pAsked->pSecret;
  if (secret.empty() || secret.size() > static_cast<size_t>(size)) return -1;
  std::memcpy(pBuffer, secret.data(), secret.size());
  return static_cast<int>(secret.size());
}

Key KeyFromFile(const std::string& path, const std::string& secret, bool passGiven,
                std::string* pWhy) {
  std::string pem;
  if (!ReadText(path, &pem, pWhy)) return nullptr;
  const Bio in = MemoryBio(pem.data(), pem.size());
  Asked_t asked{&secret};
  Key key(in ? PEM_read_bio_PrivateKey(in.get(), nullptr, GivePassphrase, &asked) : nullptr);
  OPENSSL_cleanse(&pem[0], pem.size());
  if (key) {
    ERR_clear_error();
    return key;
  }
  const std::string words = OpenSslWords();
  if (asked.Asked && !passGiven)
    *pWhy = path + " is encrypted: " + kPassHint + "\n";
  else if (asked.Asked)
    *pWhy = "cannot decrypt " + path + " with the passphrase given\n";
  else
    *pWhy = path + " holds no PEM private key (" + words + ")\n";
  return nullptr;
}

// An encrypted PEM block outside a key file is read by nobody: without a
// callback of its own, OpenSSL would ask the terminal for its passphrase.
int NoPassphrase(char*, int, int, void*) { return -1; }

}  // namespace

Certs CertsFromPem(const std::string& pem, int* pCount) {
  *pCount = 0;
  Certs certs(sk_X509_new_null());
  const Bio in = MemoryBio(pem.data(), pem.size());
  if (!certs || !in) return nullptr;
  while (X509* pCert = PEM_read_bio_X509(in.get(), nullptr, NoPassphrase, nullptr)) {
    if (!sk_X509_push(certs.get(), pCert)) {
      X509_free(pCert);
      return nullptr;
    }
    ++*pCount;
  }
  ERR_clear_error();  // the end of the text reads as a failure
  return certs;
}

Certs LoadCerts(const std::string& path, std::string* pWhy) {
  std::string pem;
  if (!ReadText(path, &pem, pWhy)) return nullptr;
  int count = 0;
  Certs certs = CertsFromPem(pem, &count);
  if (certs && count > 0) return certs;
  *pWhy = path + " holds no PEM certificate\n";
  return nullptr;
}

Key LoadKey(const std::string& key, const std::string& pass, std::string* pWhy) {
  ERR_clear_error();
  if (IsPkcs11Uri(key) && key.find("pin-value=") != std::string::npos) {
    *pWhy = "the key's URI holds its PIN (pin-value=), which anyone on this machine can read on "
            "the command line: use pin-source= or --pass\n";
    return nullptr;
  }
  std::string secret;
  if (!pass.empty() && !ReadSecret(pass, &secret, pWhy)) return nullptr;
  Key loaded = IsPkcs11Uri(key) ? LoadPkcs11Key(key, secret, pWhy)
                                : KeyFromFile(key, secret, !pass.empty(), pWhy);
  Forget(&secret);
  return loaded;
}

std::string KeyType(const EVP_PKEY* pKey) {
  if (!pKey) return "no key";
  const int bits = EVP_PKEY_get_bits(pKey);
  if (EVP_PKEY_get_base_id(pKey) == EVP_PKEY_RSA) return "RSA " + std::to_string(bits);
  if (EVP_PKEY_get_base_id(pKey) == EVP_PKEY_EC) {
    char group[80] = "";
    size_t length = 0;
    if (EVP_PKEY_get_group_name(pKey, group, sizeof group, &length) != 1) return "ECDSA";
    if (std::strcmp(group, "prime256v1") == 0) return "ECDSA P-256";
    if (std::strcmp(group, "secp384r1") == 0) return "ECDSA P-384";
    return std::string("ECDSA ") + group;
  }
  const char* pName = EVP_PKEY_get0_type_name(pKey);
  return pName ? pName : "a key of an unknown type";
}

bool SignsWith(const EVP_PKEY* pKey, const std::string& named, std::string* pWhy) {
  // OpenSSL reads a certificate whose key it cannot decode, and gives no key.
  if (!pKey) return (*pWhy = named + ": its public key cannot be read\n"), false;
  const std::string type = KeyType(pKey);
  if (type == "ECDSA P-256" || type == "ECDSA P-384") return true;
  if (EVP_PKEY_get_base_id(pKey) == EVP_PKEY_RSA && EVP_PKEY_get_bits(pKey) >= 2048) return true;
  if (EVP_PKEY_get_base_id(pKey) == EVP_PKEY_RSA)
    *pWhy = named + ": its key is " + type + " bits; an RSA key needs 2048 bits or more\n";
  else
    *pWhy = named + ": its key is " + type + "; a signer's key is RSA (2048 bits or more) or "
            "ECDSA on P-256 or P-384\n";
  return false;
}

}  // namespace mocfsign
