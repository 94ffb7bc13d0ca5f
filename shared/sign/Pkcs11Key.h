// A private key that stays in a token, reached by its pkcs11: URI through
// OpenSSL's "pkcs11" engine. The module is MOCF_PKCS11_MODULE when set,
// else p11-kit's proxy of the system's modules when it is installed, else
// the engine's own default.
#pragma once

#include <string>

#include "sign/OpenSsl.h"

namespace mocfsign {

bool IsPkcs11Uri(const std::string& key);

// The token's key, logged in with pin when it is not empty (else with the
// URI's pin-source, or none). Nothing ever prompts. Null with the reason's
// line when the key cannot be had.
Key LoadPkcs11Key(const std::string& uri, const std::string& pin, std::string* pWhy);

}  // namespace mocfsign
