// A detached signature that lies beside a MOCF, as mocfsign writes it: the
// MOCF's path plus ".sig". Only whether the file is there is looked at:
// what it signs is mocfsign's to judge, and no writer ever touches it.
#pragma once

#include <string>

namespace platform {

// The signature beside mocf, named as mocf is ("out/device.mocf.sig");
// empty when there is none.
std::string SignatureBeside(const std::string& mocf);

// What program says on standard error once it has replaced mocf while a
// signature lies beside it, one line ending "\n"; empty when none does.
std::string StaleSignatureWarning(const std::string& program, const std::string& mocf);

}  // namespace platform
