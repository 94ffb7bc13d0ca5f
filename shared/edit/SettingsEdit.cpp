#include "edit/SettingsEdit.h"

#include <cctype>
#include <cstddef>

namespace mocfedit {

namespace {

// What a settings file's reader takes as a comment, a line's end or the
// end of the text.
bool HoldsWhatNoLineCan(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos ||
         text.find("//") != std::string::npos || text.find("/*") != std::string::npos;
}

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Where the first item KEY=... begins, or npos.
size_t FindItem(const std::string& text, const std::string& key) {
  for (size_t at = 0; at <= text.size();) {
    if (text.compare(at, key.size() + 1, key + "=") == 0) return at;
    const size_t next = text.find(';', at);
    if (next == std::string::npos) break;
    at = next + 1;
  }
  return std::string::npos;
}

}  // namespace

bool CheckKey(const std::string& key, std::string* pWhy) {
  if (key.empty() || HoldsWhatNoLineCan(key) || key.find_first_of(";=") != std::string::npos ||
      IsBlank(key.front()) || IsBlank(key.back())) {
    *pWhy = "the key \"" + key + "\" cannot come from a settings file: a key is not empty and "
            "holds no ';', '=', line break, NUL, \"//\" or \"/*\", nor blanks at its ends";
    return false;
  }
  return true;
}

bool CheckValue(const std::string& value, std::string* pWhy) {
  if (HoldsWhatNoLineCan(value) || value.find(';') != std::string::npos ||
      (!value.empty() && IsBlank(value.back()))) {
    *pWhy = "the value \"" + value + "\" cannot come from a settings file: a value holds no "
            "';', line break, NUL, \"//\" or \"/*\", nor blanks at its end";
    return false;
  }
  return true;
}

std::string SetItem(const std::string& text, const std::string& key, const std::string& value) {
  const size_t at = FindItem(text, key);
  if (at == std::string::npos) return text + (text.empty() ? "" : ";") + key + "=" + value;
  const size_t from = at + key.size() + 1;
  const size_t end = text.find(';', from);
  return text.substr(0, from) + value + (end == std::string::npos ? "" : text.substr(end));
}

bool UnsetItem(const std::string& text, const std::string& key, std::string* pText) {
  const size_t at = FindItem(text, key);
  if (at == std::string::npos) return false;
  const size_t end = text.find(';', at);
  if (at > 0)  // with the ';' before it
    *pText = text.substr(0, at - 1) + (end == std::string::npos ? "" : text.substr(end));
  else  // the first: with the ';' after it, if any
    *pText = end == std::string::npos ? "" : text.substr(end + 1);
  return true;
}

std::string KeysOf(const std::string& text) {
  std::string keys;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find(';', at), text.size());
    const std::string item = text.substr(at, end - at);
    const size_t equals = item.find('=');
    if (equals != std::string::npos) keys += (keys.empty() ? "" : ", ") + item.substr(0, equals);
    at = end + 1;
  }
  return keys;
}

}  // namespace mocfedit
