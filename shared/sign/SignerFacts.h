// What a signature says of each of its signers, read and not judged: the
// certificate it names, when it says it signed, what digest it signed.
#pragma once

#include <ctime>
#include <string>

#include "sign/OpenSsl.h"
#include "sign/Signature.h"

namespace mocfsign {

// A whole DER signature, or null with the reason's line ("damaged
// signature: ...") for bytes that are none: anything but one SignedData,
// bytes after its end, no signer.
Cms ParseSignature(const unsigned char* pSig, size_t size, std::string* pWhy);

// The signer's certificate among the signature's, or null.
X509* SignerCert(CMS_SignerInfo* pSigner);

// Its names, serial, key, times; from the certificate when it is there,
// else the issuer and serial the signer names.
Signer_t Describe(CMS_SignerInfo* pSigner);

// The signed signing time; false when none is signed or it cannot be read.
bool SigningTime(CMS_SignerInfo* pSigner, time_t* pWhen);
const ASN1_TIME* SigningTimeAttr(CMS_SignerInfo* pSigner);

// The NID of the digest it signed with.
int DigestNid(CMS_SignerInfo* pSigner);
// The messageDigest it signed; null when it signed none.
const ASN1_OCTET_STRING* SignedDigest(CMS_SignerInfo* pSigner);

}  // namespace mocfsign
