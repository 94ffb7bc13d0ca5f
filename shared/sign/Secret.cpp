#include "sign/Secret.h"

#include <openssl/crypto.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "inputs/FileHelper.h"
#include "platform/Platform.h"

namespace mocfsign {

const char kPassHint[] = "give its passphrase with --pass env:VAR, file:PATH, fd:N or stdin";

namespace {

void EndAtLine(std::string* pText) {
  const size_t end = pText->find_first_of("\r\n");
  if (end != std::string::npos) pText->resize(end);
}

// Byte by byte, so that nothing after the first line is taken from a
// descriptor someone else may read on.
bool FirstLineOf(int fd, std::string* pLine) {
  char c;
  for (;;) {
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0 || c == '\n') break;
    pLine->push_back(c);
  }
  EndAtLine(pLine);
  return true;
}

bool FromFile(const std::string& path, std::string* pSecret, std::string* pWhy) {
  std::FILE* pFile = platform::OpenFile(path, "rb");
  if (!pFile) return (*pWhy = "cannot read " + path + ": " + CFileHelper::WhyCannotRead(path.c_str()) + "\n"), false;
  const bool read = FirstLineOf(fileno(pFile), pSecret);
  std::fclose(pFile);
  if (!read) *pWhy = "cannot read " + path + ": " + std::strerror(errno) + "\n";
  return read;
}

bool FromDescriptor(const std::string& number, std::string* pSecret, std::string* pWhy) {
  char* pEnd = nullptr;
  errno = 0;
  const long fd = std::strtol(number.c_str(), &pEnd, 10);
  if (number.empty() || *pEnd || errno || fd < 0 || fd > 1 << 20)
    return (*pWhy = "--pass fd:... names no file descriptor\n"), false;
  if (FirstLineOf(static_cast<int>(fd), pSecret)) return true;
  *pWhy = "cannot read file descriptor " + number + ": " + std::strerror(errno) + "\n";
  return false;
}

}  // namespace

bool ReadSecret(const std::string& source, std::string* pSecret, std::string* pWhy) {
  pSecret->clear();
  if (source.rfind("pass:", 0) == 0)
    return (*pWhy = "--pass pass:... is refused: a secret is never a word of the command line, "
                    "which anyone on this machine can read; " + std::string(kPassHint) + "\n"),
           false;
  if (source.rfind("env:", 0) == 0) {
    const char* pValue = std::getenv(source.c_str() + 4);
    if (!pValue) return (*pWhy = "the environment variable " + source.substr(4) + " is not set\n"), false;
    *pSecret = pValue;
    return true;
  }
  if (source.rfind("file:", 0) == 0) return FromFile(source.substr(5), pSecret, pWhy);
  if (source.rfind("fd:", 0) == 0) return FromDescriptor(source.substr(3), pSecret, pWhy);
  if (source == "stdin") {
    if (FirstLineOf(STDIN_FILENO, pSecret)) return true;
    return (*pWhy = std::string("cannot read standard input: ") + std::strerror(errno) + "\n"), false;
  }
  // Not repeated: what stands there may be the passphrase itself.
  *pWhy = std::string("--pass names no source of a passphrase: ") + kPassHint + "\n";
  return false;
}

void Forget(std::string* pSecret) {
  if (!pSecret->empty()) OPENSSL_cleanse(&(*pSecret)[0], pSecret->size());
  pSecret->clear();
}

}  // namespace mocfsign
