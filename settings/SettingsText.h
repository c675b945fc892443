#pragma once
// Reading the enciphered settings file as the wide text of its XML archive.
#include <string>

namespace Zento::Lithcore {

inline constexpr char kSettingsPassPhrase[] = "5170392846";

// Reads, deciphers and converts the file (payload as UTF-8, up to its first NUL byte).
// False on any failure; a payload that is not convertible still succeeds with empty text.
bool ReadSettingsText(const std::wstring& path, std::wstring& text);

}  // namespace Zento::Lithcore
