#pragma once
// Shared by the settings tests: the checked-in archive text, the record it holds,
// and quick ways to turn text into settings-file images.
#include <string>

#include "settings/Settings.h"
#include "tools/settings-tool/SettingsEncipher.h"

namespace SettingsTest {

using Zento::Lithcore::Settings;
using Bytes = Zento::Lithcore::Crypto::Bytes;

// fixtures/settings.xml as wide text, and the record it describes.
std::wstring FixtureXml();
Settings FixtureSettings();

// The text with its `nth` (0-based) occurrence of `from` replaced; fails the test when absent.
std::wstring ReplaceNth(const std::wstring& text, const std::wstring& from, const std::wstring& to, int nth = 0);

// A settings-file image of the plaintext under a fixed counter block.
Bytes ImageOf(const Bytes& plaintext);
Bytes ImageOfText(const std::wstring& xml);

}  // namespace SettingsTest
