#pragma once
// The plain text form of a settings record, for people to edit:
//   KEY = value               one line per plain field
//   KEY[entry key] = value    one line per table entry
//   KEY =                     a table with no entries
// Blank lines and lines starting with '#' are ignored. Values lose surrounding blanks.
#include <string>

#include "settings/Settings.h"

namespace Quellor::SettingsTool {

using Zento::Lithcore::Settings;

std::wstring FormatSource(const Settings& settings);

// Fills the record from the text; every field must be given. On false, `error` says why,
// with the line number where there is one.
bool ParseSource(const std::wstring& text, Settings& settings, std::wstring& error);

}  // namespace Quellor::SettingsTool
