#include "args/CommandLine.h"

#include <cstdio>
#include <cstring>

#include "run/Messages.h"
#include "args/Usage.h"

namespace {

// Words accepted by -t.
const StrId_t m_Types[] = {
    {"user", UserFile},
    {"CompatProd", CompatProd},
    {"object", Object},
    {"CustomDefaults", CustomDefaults},
    {"", -1},
};

// Words accepted by --type only; the usage text does not mention them.
const StrId_t m_HiddenTypes[] = {
    {"binary", Binary},
    {"SwKeys", SwKeys},
    {"MenuSettings", MenuSettings},
    {"", -1},
};

// Long option names, without the two dashes.
const StrId_t m_HiddenOptions[] = {
    {"type", OptType},
    {"tag", OptTag},
    {"PartNum", OptPartNum},
    {"", -1},
};

// Locale-independent on purpose: option words are ASCII.
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

bool IsScanSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = FoldAscii(c);
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return 99;  // beyond every base
}

// Reads a number the way glibc's "%u" (base 10) or "%x" (base 16) does into
// a 32-bit unsigned: white space and one sign are skipped, the digits are
// gathered into 64 bits (saturating, a minus negating modulo 2^64) and the
// result is cut to 32 bits. Trailing text is ignored. Hand-written because
// sscanf leaves out-of-range values undefined.
bool ScanUnsigned(const char* text, unsigned base, uint32_t* out, const char** pEnd) {
  const char* p = text;
  while (IsScanSpace(*p)) ++p;
  const bool negative = (*p == '-');
  if (*p == '-' || *p == '+') ++p;
  bool gotDigit = false;
  if (base == 16 && p[0] == '0' && FoldAscii(p[1]) == 'x') {
    gotDigit = true;  // "0x" with no hex digit after it still reads as 0
    p += 2;
  }
  uint64_t value = 0;
  bool overflow = false;
  for (unsigned d; (d = DigitValue(*p)) < base; ++p) {
    gotDigit = true;
    if (value > (UINT64_MAX - d) / base) overflow = true;
    value = value * base + d;
  }
  *pEnd = p;
  if (!gotDigit) return false;
  if (overflow) value = UINT64_MAX;
  else if (negative) value = 0 - value;
  *out = static_cast<uint32_t>(value);
  return true;
}

bool SetType(const char* value, const StrId_t* table, options_t* options) {
  const int id = StrToNum(value, table);
  if (id < 0) {
    messages::Printf("Unrecognized file type (%s)\n", value);
    return false;
  }
  options->Type = static_cast<FileType_t>(id);
  return true;
}

bool SetTag(const char* value, options_t* options) {
  const unsigned base = (std::strncmp(value, "0x", 2) == 0) ? 16 : 10;
  const char* end = value;
  if (!ScanUnsigned(value, base, &options->Tag, &end)) {
    messages::Printf("Error in Tag value (%s)\n", value);
    return false;
  }
  options->TagSpecified = true;
  if (*end != '\0') {
    char taken[16];
    std::snprintf(taken, sizeof taken, "0x%08X", static_cast<unsigned>(options->Tag));
    options->TagNote = std::string("--tag \"") + value + "\" is read as " + taken +
                       ": reading stopped at \"" + end + "\"";
  }
  return true;
}

}  // namespace

bool IsPathDelimeter(char c) { return c == '\\' || c == '/' || c == ':'; }

const char* GetAppName(const char* path) {
  if (path == nullptr) return "";
  const size_t length = std::strlen(path);
  if (length == 0) return path;
  const char* p = path + length - 1;
  while (!IsPathDelimeter(*p) && p != path) --p;
  return IsPathDelimeter(*p) ? p + 1 : p;
}

bool StrInCmp(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;  // both ended: same length
}

int StrToNum(const char* text, const StrId_t* table) {
  // The first row is compared before any test for the terminator.
  for (const StrId_t* row = table;; ++row) {
    if (StrInCmp(text, row->Str)) return row->Id;
    if (row[1].Str[0] == '\0') return -1;
  }
}

bool ParseExposedOption(Option_t id, const char* value, options_t* options,
                        bool* consumed) {
  if (id == OptDelete) {
    options->DeleteContents = true;
    *consumed = false;
    return true;
  }
  if (value == nullptr) return false;
  switch (id) {
    case OptInFile: options->InFile = value; break;
    case OptMocfFile: options->MocfFile = value; break;
    case OptType:
      if (!SetType(value, m_Types, options)) return false;
      break;
    default: return false;
  }
  *consumed = true;
  return true;
}

bool ParseHiddenOption(Option_t id, const char* value, options_t* options,
                       bool* consumed) {
  if (value == nullptr) return false;
  switch (id) {
    case OptTag:
      if (!SetTag(value, options)) return false;
      break;
    case OptPartNum: options->PartNum = value; break;
    case OptType:
      if (!SetType(value, m_HiddenTypes, options)) return false;
      break;
    default: return false;
  }
  *consumed = true;
  return true;
}

const char* TypeOption(const char* word) {
  return StrToNum(word, m_Types) >= 0 ? "-t" : "--type";
}

std::string TypeWordHint(const char* option, const char* word) {
  static const char kShort[] = "-t takes user, CompatProd, object, CustomDefaults";
  static const char kLong[] = "--type takes binary, SwKeys, MenuSettings";
  const bool isShort = StrInCmp(option, "-t");
  if (isShort && StrToNum(word, m_HiddenTypes) >= 0)
    return std::string(word) + " is a --type word: " + kShort;
  if (!isShort && StrToNum(word, m_Types) >= 0)
    return std::string(word) + " is a -t word: " + kLong;
  return std::string(isShort ? kShort : kLong) + " (and " + (isShort ? kLong : kShort) + ")";
}

bool ParseCommandLine(int argc, const char** argv, options_t* options) {
  return ReadArguments(argc, argv, options) && ValidateArgs(options);
}

bool ReadArguments(int argc, const char** argv, options_t* options, ArgsRead_t* pRead) {
  ArgsRead_t read;
  options->TagSpecified = false;
  options->DeleteContents = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    // Never argv[argc]: callers other than main need not end argv with null.
    const char* value = (i + 1 < argc) ? argv[i + 1] : nullptr;
    bool consumed = false;
    bool ok = false;
    if (arg[0] == '-' && arg[1] != '\0' && arg[2] == '\0') {
      const auto letter = static_cast<unsigned char>(FoldAscii(arg[1]));
      ok = ParseExposedOption(static_cast<Option_t>(letter), value, options,
                              &consumed);
      read.MocfFileGiven |= letter == OptMocfFile;
      read.DeleteGiven |= letter == OptDelete;
    } else if (arg[0] == '-' && arg[1] == '-') {
      const int id = StrToNum(arg + 2, m_HiddenOptions);
      ok = id >= 0 && ParseHiddenOption(static_cast<Option_t>(id), value,
                                        options, &consumed);
    }
    if (!ok) {
      read.RefusedAt = i;
      if (pRead) *pRead = read;
      return false;
    }
    if (consumed) ++i;
  }
  if (pRead) *pRead = read;
  return true;
}
