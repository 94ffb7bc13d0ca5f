#include "sign/OpenSsl.h"

#include <openssl/bn.h>
#include <openssl/err.h>

#include <climits>
#include <cstdio>
#include <ctime>

namespace mocfsign {

Bio MemoryBio(const void* pData, size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) return nullptr;
  return Bio(BIO_new_mem_buf(pData, static_cast<int>(size)));
}

std::string OpenSslWords() {
  std::string words;
  char line[256];
  for (unsigned long code; (code = ERR_get_error()) != 0;) {
    ERR_error_string_n(code, line, sizeof line);
    if (!words.empty()) words += "; ";
    words += line;
  }
  return words.empty() ? "(none)" : words;
}

std::string TimeText(const ASN1_TIME* pTime) {
  struct tm t = {};
  if (!pTime || ASN1_TIME_to_tm(pTime, &t) != 1) return "";
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string NameText(const X509_NAME* pName) {
  const Bio out(BIO_new(BIO_s_mem()));
  if (!pName || !out || X509_NAME_print_ex(out.get(), pName, 0, XN_FLAG_RFC2253 & ~XN_FLAG_DN_REV) < 0) return "";
  char* pText = nullptr;
  const long size = BIO_get_mem_data(out.get(), &pText);
  return size > 0 ? std::string(pText, static_cast<size_t>(size)) : "";
}

std::string SerialText(const ASN1_INTEGER* pSerial) {
  BIGNUM* pNumber = pSerial ? ASN1_INTEGER_to_BN(pSerial, nullptr) : nullptr;
  char* pHex = pNumber ? BN_bn2hex(pNumber) : nullptr;
  const std::string text = pHex ? pHex : "";
  OPENSSL_free(pHex);
  BN_free(pNumber);
  return text;
}

}  // namespace mocfsign
