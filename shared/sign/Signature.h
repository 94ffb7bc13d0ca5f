// Detached CMS signatures beside a MOCF: made, checked and listed. Only
// this layer knows OpenSSL, and only in builds that have it: a build
// without libcrypto links the other implementation, whose every call fails
// closed with NoSupport()'s reason and never reports a success.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mocfsign {

// Why this build cannot sign or verify; empty when it can.
const char* NoSupport();

// Where a MOCF's signature lies unless told: its path plus ".sig".
std::string SignaturePath(const std::string& mocf);

struct SignRequest_t {
  std::string Mocf;
  std::string Key;    // a PEM key file, or a pkcs11: URI
  std::string Cert;   // the signer's certificate, PEM
  std::string Chain;  // certificates to carry besides, PEM; empty for none
  std::string Pass;   // env:VAR, file:PATH, fd:N or stdin; empty for none
  std::string Out;    // empty: SignaturePath(Mocf)
  std::string WhyCutShort;  // see VerifyRequest_t
};

struct SignOutcome_t {
  std::string Out;                    // where the signature was written
  int Signers = 0;                    // how many signers it holds now
  std::vector<std::string> Warnings;  // signed all the same (a certificate about to expire)
};

// Writes the signature through a temporary file, flushed and renamed. An
// existing one over the same bytes gains this signer and keeps the others.
// False with the reason's lines (each ending "\n") when nothing was written.
bool Sign(const SignRequest_t& request, SignOutcome_t* pOutcome, std::string* pWhy);

struct Signer_t {
  std::string Subject, Issuer;   // one line each, as "CN=...,O=..."
  std::string Serial;            // hexadecimal
  std::string KeyType;           // "RSA 3072", "ECDSA P-256"
  std::string SigningTime;       // "2026-12-10T08:00:00Z", empty when none is signed
  std::string NotBefore, NotAfter;
  // Set by a verification only.
  bool Verified = false;
  std::string Reason;  // why it does not verify; empty when it does
};

struct VerifyRequest_t {
  std::string Mocf;
  std::string Sig;    // empty: SignaturePath(Mocf)
  std::string Trust;  // PEM certificates a signer must chain to in full
  int Signers = 1;    // distinct signer certificates that must verify
  bool AtSigningTime = false;  // validity judged at the signed signing time
  // A program's line, said on standard error as the process ends with
  // status 2, should the MOCF be cut short while it is read in place. A
  // library leaves it empty, and its host's signals alone.
  std::string WhyCutShort;
};

struct Verification_t {
  // 0 verified; 1 does not verify (too few signers, the MOCF invalid, no
  // signature); 2 could not be checked (a file cannot be read).
  int Status = 2;
  std::string Why;  // the reason's lines when Status is not 0
  bool MocfValid = false;
  std::string MocfReason;   // why the MOCF is not valid
  bool SigFound = false;    // the signature file exists
  int Verified = 0;         // distinct signer certificates that verify
  std::vector<Signer_t> Signers;
};

Verification_t Verify(const VerifyRequest_t& request);

// The same check over bytes held in memory, with trust as PEM text: the
// reader every verification goes through. mocfName names the MOCF in
// reasons.
Verification_t VerifyBytes(const unsigned char* pSig, size_t sigSize, const unsigned char* pMocf,
                           size_t mocfSize, const std::string& trustPem,
                           const VerifyRequest_t& options, const std::string& mocfName);

// A signature's signers, unjudged. False with the reason's lines when the
// file cannot be read or is no signature.
bool Show(const std::string& sig, std::vector<Signer_t>* pSigners, std::string* pWhy);
bool ShowBytes(const unsigned char* pSig, size_t size, std::vector<Signer_t>* pSigners,
               std::string* pWhy);

}  // namespace mocfsign
