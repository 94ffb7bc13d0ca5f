// Paths travel through the programs as UTF-8 strings. The standard library
// reads a plain string as a path in the system's narrow encoding, which on
// Windows is not UTF-8 even where the program's code page is; these say
// which encoding is meant. On POSIX systems they change nothing.
#pragma once

#include <exception>
#include <filesystem>
#include <string>

// Bytes that are no UTF-8 (from a list file, say) are taken as the system
// takes a plain string, rather than ending the run.
inline std::filesystem::path Utf8Path(const std::string& utf8) {
  try {
    return std::filesystem::u8path(utf8);
  } catch (const std::exception&) {
    return std::filesystem::path(utf8);
  }
}

inline std::string Utf8Of(const std::filesystem::path& path) { return path.u8string(); }
