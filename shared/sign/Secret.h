// A passphrase or PIN, named as OpenSSL's programs name one: env:VAR,
// file:PATH, fd:N or stdin, each giving its first line. A secret is never
// a word of the command line, where any user of the machine can read it.
#pragma once

#include <string>

namespace mocfsign {

extern const char kPassHint[];

// False with the reason's line when the source is unknown, refused or
// cannot be read.
bool ReadSecret(const std::string& source, std::string* pSecret, std::string* pWhy);

// Overwrites the secret's bytes before it is let go.
void Forget(std::string* pSecret);

}  // namespace mocfsign
