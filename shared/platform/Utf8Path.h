// Paths travel through the programs as UTF-8 strings. The standard library
// reads a plain string as a path in the system's narrow encoding, which on
// Windows is not UTF-8 even where the program's code page is; these say
// which encoding is meant. On POSIX systems they change nothing.
#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <string>

// The length of the well-formed UTF-8 sequence that starts at p, or 0.
inline size_t Utf8Length(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
  if (c >= 0xF5 || length == 0 || length > left) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  if (c == 0xE0 && p[1] < 0xA0) return 0;
  if (c == 0xED && p[1] > 0x9F) return 0;
  if (c == 0xF0 && p[1] < 0x90) return 0;
  if (c == 0xF4 && p[1] > 0x8F) return 0;
  return length;
}

// Bytes that are no UTF-8 (from a list file, say) each stand for U+FFFD,
// as Windows reads them in a name, rather than ending the run: the file
// opened is the one the system's own calls would open.
inline std::filesystem::path Utf8Path(const std::string& utf8) {
  try {
    return std::filesystem::u8path(utf8);
  } catch (const std::exception&) {
    std::string mended;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
      const size_t length = Utf8Length(p + i, utf8.size() - i);
      mended += length ? utf8.substr(i, length) : "\xEF\xBF\xBD";
      i += length ? length : 1;
    }
    return std::filesystem::u8path(mended);
  }
}

inline std::string Utf8Of(const std::filesystem::path& path) { return path.u8string(); }
