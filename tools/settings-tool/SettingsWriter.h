#pragma once
// Producing settings files: the archive XML of a record and its enciphered file image.
// The product only reads settings files; this serves the support tool and the tests.
#include <string>

#include "settings/Settings.h"
#include "tools/settings-tool/SettingsEncipher.h"

namespace Zento::Lithcore {

// The archive text, with the same element names the loader expects.
std::wstring WriteSettingsXml(const Settings& settings);

// Random 32-byte prefix, then the ciphertext of [N = 0][UTF-8 text].
Crypto::Bytes EncipherSettingsText(const std::wstring& text);

// Writes the file image, replacing any existing file. False when the file cannot be written.
bool WriteImageFile(const std::wstring& path, const Crypto::Bytes& image);

}  // namespace Zento::Lithcore
