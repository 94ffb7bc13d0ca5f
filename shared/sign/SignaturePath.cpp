// The signature's default place, the same with or without libcrypto.
#include "sign/Signature.h"

namespace mocfsign {

std::string SignaturePath(const std::string& mocf) { return mocf + ".sig"; }

}  // namespace mocfsign
