#pragma once
// The target profile: built-in defaults, the all-or-nothing override by the settings file,
// the version lookup and the text form of a record.
#include <optional>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace Quellor {

using Zento::Lithcore::Settings;

inline constexpr wchar_t kDefaultVersion[] = L"1.0.14.0";
inline constexpr wchar_t kSettingsFileName[] = L"setting_ZEKT.dat";

Settings BuildDefaultSettings();

struct WorkingSettings {
    Settings settings;
    bool loaded = false;
};

// A file that loads supplies every field; otherwise the defaults are taken whole.
WorkingSettings LoadWorkingSettings(const std::wstring& path, const Settings& defaults);

// Exact match of the version text against PRODUCTCODES.
std::optional<std::wstring> LookUpProductCode(const Settings& profile, const std::wstring& version);

// The product's seven COM CLSIDs, in the order of its servers' lookups.
std::vector<std::wstring> ProductClsids(const Settings& profile);

// A COM server of the product: the DLLs unregister in the tool's process, the others run themselves.
struct ProductServer {
    std::wstring clsid;
    bool isDll;
    const wchar_t* label;  // how the console names it
};

// The product's servers in the order they are unregistered.
std::vector<ProductServer> ProductServers(const Settings& profile);

// One line per element: the plain fields, then each map as a block.
std::vector<std::wstring> ListDefaults(const Settings& settings);

}  // namespace Quellor
