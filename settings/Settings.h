#pragma once
// The target-product record: 18 fields, in archive order. Value semantics throughout.
#include <map>
#include <string>

namespace Zento::Lithcore {

using WideMap = std::map<std::wstring, std::wstring>;

// Every field of the record once, with its type, in archive order: the key names, the members and the
// archive form (SettingsArchive.h) are all spelt from this one list.
#define QUELLOR_SETTINGS_FIELDS(FIELD)                       \
    FIELD(std::wstring, CUSTOMER)                            \
    FIELD(std::wstring, UPGRADECODE)                         \
    FIELD(std::wstring, PRODUCTNAME)                         \
    FIELD(std::wstring, TOOLNAME)                            \
    FIELD(WideMap, PRODUCTCODES)                             \
    FIELD(std::wstring, TERRION_SERVICE_NAME)                \
    FIELD(std::wstring, MODULE_NAME_SUFFIX)                  \
    FIELD(std::wstring, FERROW_CLSID)                        \
    FIELD(std::wstring, FERROWPS_CLSID)                      \
    FIELD(std::wstring, VENTREL_CLSID)                       \
    FIELD(std::wstring, TERRION_CLSID)                       \
    FIELD(std::wstring, TERRIONPS_CLSID)                     \
    FIELD(std::wstring, NOVEX_CLSID)                         \
    FIELD(std::wstring, NOVEXPS_CLSID)                       \
    FIELD(WideMap, VITRA_CARE_MUTEX_NAME)                    \
    FIELD(WideMap, VITRA_SETTING_MUTEX_NAME)                 \
    FIELD(WideMap, VITRA_RESIDENT_MUTEX_NAME)                \
    FIELD(std::wstring, NAME_OF_FILEMAPPING_OBJECT)

// Program-wide key names: labels of the defaults listing and, by first letter, archive element names.
namespace SettingsKey {
#define QUELLOR_SETTINGS_KEY(type, name) inline constexpr wchar_t name[] = L"" #name;
QUELLOR_SETTINGS_FIELDS(QUELLOR_SETTINGS_KEY)
#undef QUELLOR_SETTINGS_KEY
}  // namespace SettingsKey

// A new record has every string and map empty.
struct Settings {
#define QUELLOR_SETTINGS_MEMBER(type, name) type name;
    QUELLOR_SETTINGS_FIELDS(QUELLOR_SETTINGS_MEMBER)
#undef QUELLOR_SETTINGS_MEMBER

    bool operator==(const Settings&) const = default;
};

inline constexpr char kSettingsPassPhrase[] = "5170392846";

// Reads, deciphers and converts the settings file (payload as UTF-8, up to its first NUL byte) to the
// wide text of its XML archive. False on any failure; a payload that is not convertible still succeeds
// with empty text.
bool ReadSettingsText(const std::wstring& path, std::wstring& text);

// Fills the record in place from the enciphered settings file at the full path.
// True only when the whole record was read; on false the record may hold partial values.
bool LoadSettingsFile(const std::wstring& path, Settings& settings);

}  // namespace Zento::Lithcore
