// A setting changed in a settings text (menu settings, custom defaults, the
// items of software keys) as if its record were unpacked, one line added
// to or taken from its settings file, and built again: the text's items
// are what lies between its ';'.
#pragma once

#include <string>

namespace mocfedit {

// False, with why, for a key or value no line of a settings file could
// give: the reader would split, cut or drop it.
bool CheckKey(const std::string& key, std::string* pWhy);
bool CheckValue(const std::string& value, std::string* pWhy);

// The first item KEY=... takes the value; without one, KEY=VALUE is added
// last.
std::string SetItem(const std::string& text, const std::string& key, const std::string& value);
// The first item KEY=... goes, with one ';' beside it. False when there is
// none.
bool UnsetItem(const std::string& text, const std::string& key, std::string* pText);
// The keys of the text's items, for saying what there is.
std::string KeysOf(const std::string& text);

}  // namespace mocfedit
