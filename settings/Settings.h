#pragma once
// The target-product record: 18 fields, in archive order. Value semantics throughout.
#include <map>
#include <string>

namespace Zento::Lithcore {

using WideMap = std::map<std::wstring, std::wstring>;

// Program-wide key names: labels of the defaults listing and, by first letter, archive element names.
namespace SettingsKey {
inline constexpr wchar_t CUSTOMER[] = L"CUSTOMER";
inline constexpr wchar_t UPGRADECODE[] = L"UPGRADECODE";
inline constexpr wchar_t PRODUCTNAME[] = L"PRODUCTNAME";
inline constexpr wchar_t TOOLNAME[] = L"TOOLNAME";
inline constexpr wchar_t PRODUCTCODES[] = L"PRODUCTCODES";
inline constexpr wchar_t TERRION_SERVICE_NAME[] = L"TERRION_SERVICE_NAME";
inline constexpr wchar_t MODULE_NAME_SUFFIX[] = L"MODULE_NAME_SUFFIX";
inline constexpr wchar_t FERROW_CLSID[] = L"FERROW_CLSID";
inline constexpr wchar_t FERROWPS_CLSID[] = L"FERROWPS_CLSID";
inline constexpr wchar_t VENTREL_CLSID[] = L"VENTREL_CLSID";
inline constexpr wchar_t TERRION_CLSID[] = L"TERRION_CLSID";
inline constexpr wchar_t TERRIONPS_CLSID[] = L"TERRIONPS_CLSID";
inline constexpr wchar_t NOVEX_CLSID[] = L"NOVEX_CLSID";
inline constexpr wchar_t NOVEXPS_CLSID[] = L"NOVEXPS_CLSID";
inline constexpr wchar_t VITRA_CARE_MUTEX_NAME[] = L"VITRA_CARE_MUTEX_NAME";
inline constexpr wchar_t VITRA_SETTING_MUTEX_NAME[] = L"VITRA_SETTING_MUTEX_NAME";
inline constexpr wchar_t VITRA_RESIDENT_MUTEX_NAME[] = L"VITRA_RESIDENT_MUTEX_NAME";
inline constexpr wchar_t NAME_OF_FILEMAPPING_OBJECT[] = L"NAME_OF_FILEMAPPING_OBJECT";
}  // namespace SettingsKey

// A new record has every string and map empty.
struct Settings {
    std::wstring CUSTOMER;
    std::wstring UPGRADECODE;
    std::wstring PRODUCTNAME;
    std::wstring TOOLNAME;
    WideMap PRODUCTCODES;
    std::wstring TERRION_SERVICE_NAME;
    std::wstring MODULE_NAME_SUFFIX;
    std::wstring FERROW_CLSID;
    std::wstring FERROWPS_CLSID;
    std::wstring VENTREL_CLSID;
    std::wstring TERRION_CLSID;
    std::wstring TERRIONPS_CLSID;
    std::wstring NOVEX_CLSID;
    std::wstring NOVEXPS_CLSID;
    WideMap VITRA_CARE_MUTEX_NAME;
    WideMap VITRA_SETTING_MUTEX_NAME;
    WideMap VITRA_RESIDENT_MUTEX_NAME;
    std::wstring NAME_OF_FILEMAPPING_OBJECT;

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
