// What a signer brings: its key, its certificate and the chain to carry,
// read from PEM files (or the key from a token), and judged before any
// byte of the MOCF is read.
#pragma once

#include <string>

#include "sign/OpenSsl.h"

namespace mocfsign {

// Every PEM certificate in the text; the count of them in *pCount.
Certs CertsFromPem(const std::string& pem, int* pCount);
// A file's certificates: null, with the reason's line, when it cannot be
// read or holds none.
Certs LoadCerts(const std::string& path, std::string* pWhy);

// A PEM key file or a pkcs11: URI. pass is the source of its passphrase
// or PIN, empty for none; an encrypted key without one is refused, never
// asked for.
Key LoadKey(const std::string& key, const std::string& pass, std::string* pWhy);

// "RSA 2048", "ECDSA P-256", or the kind of key it is when it is neither.
std::string KeyType(const EVP_PKEY* pKey);
// False with the reason's line for a key we do not sign with.
bool SignsWith(const EVP_PKEY* pKey, const std::string& named, std::string* pWhy);

}  // namespace mocfsign
