#include "app/Profile.h"

#include <string_view>

namespace Quellor {

using Zento::Lithcore::WideMap;
namespace Key = Zento::Lithcore::SettingsKey;

Settings BuildDefaultSettings() {
    Settings s;
    s.CUSTOMER = L"ZEKT";
    s.UPGRADECODE = L"{1FDADB3D-1C23-7115-CA82-52D074A33760}";
    s.PRODUCTNAME = L"Mirevo";
    s.TOOLNAME = L"Corvane";
    s.PRODUCTCODES = {
        {L"1.0.9.0", L"{4344A992-02A4-706C-D466-7CFF8C489813}"},
        {L"1.0.10.0", L"{35307B30-CC25-2F50-AFAC-42187A2492C9}"},
        {L"1.0.12.0", L"{44C3F1E5-A415-41C4-568A-B08BD4CE11A5}"},
        {L"1.0.13.0", L"{13798FCF-C5C1-F702-640D-B7BA53A1B88A}"},
        {L"1.0.14.0", L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}"},
        {L"1.0.15.0", L"{491DAF3F-7C1E-2006-73A7-AE0ED8B87D68}"},
        {L"1.0.16.0", L"{491DAF3F-7C1E-2006-73A7-AE0ED8B87D68}"},
    };
    s.TERRION_SERVICE_NAME = L"Terrion KLQ Service";
    s.MODULE_NAME_SUFFIX = L"_klq_1_0_0";
    s.FERROW_CLSID = L"{0F176F16-C1BE-51d9-2826-B6641F4C4C3A}";
    s.FERROWPS_CLSID = L"{C10CE499-BEAA-FC65-979B-6227A97255C2}";
    s.VENTREL_CLSID = L"{97F7CD52-5C94-9b4c-8F6A-82C822B3D6E0}";
    s.TERRION_CLSID = L"{1BE3A785-8017-545C-62F3-D5C10ACC50BD}";
    s.TERRIONPS_CLSID = L"{9D406394-BD56-70FD-BC9D-878734DB1AB6}";
    s.NOVEX_CLSID = L"{66DD3643-314F-D467-CEB1-B75CEE9A5AF5}";
    s.NOVEXPS_CLSID = L"{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}";
    s.VITRA_CARE_MUTEX_NAME = {{L"before1.1.1.0", L"Global\\Zentoral_Vitra_Care"}};
    s.VITRA_SETTING_MUTEX_NAME = {{L"before1.1.1.0", L"Zentoral_Vitra_Setting"}};
    s.VITRA_RESIDENT_MUTEX_NAME = {{L"before1.1.1.0", L"Zentoral_Vitra_Regident"}};
    s.NAME_OF_FILEMAPPING_OBJECT = L"VITRA_CARE_FILEMAPPING";
    return s;
}

WorkingSettings LoadWorkingSettings(const std::wstring& path, const Settings& defaults) {
    WorkingSettings working;
    working.loaded = Zento::Lithcore::LoadSettingsFile(path, working.settings);
    if (!working.loaded) working.settings = defaults;  // nothing of a partly read file survives
    return working;
}

std::optional<std::wstring> LookUpProductCode(const Settings& profile, const std::wstring& version) {
    auto found = profile.PRODUCTCODES.find(version);
    if (found == profile.PRODUCTCODES.end()) return std::nullopt;
    return found->second;
}

namespace {

// Each field goes through both: a plain field is listed by the first, a map by the second.
void AddPlain(std::vector<std::wstring>& lines, const wchar_t* key, const std::wstring& value) {
    lines.push_back(std::wstring(key) + L" : " + value);
}
void AddPlain(std::vector<std::wstring>&, const wchar_t*, const WideMap&) {}

void AddMap(std::vector<std::wstring>& lines, const wchar_t* key, const WideMap& map) {
    lines.emplace_back();
    lines.push_back(std::wstring(key) + L" : ");
    for (const auto& [first, second] : map) lines.push_back(L"  - " + first + L" : " + second);
}
void AddMap(std::vector<std::wstring>&, const wchar_t*, const std::wstring&) {}

}  // namespace

// The plain fields in the record's order, then its maps, the product codes last.
std::vector<std::wstring> ListDefaults(const Settings& s) {
    std::vector<std::wstring> lines;
#define QUELLOR_LIST_PLAIN(type, name) AddPlain(lines, Key::name, s.name);
    QUELLOR_SETTINGS_FIELDS(QUELLOR_LIST_PLAIN)
#undef QUELLOR_LIST_PLAIN
#define QUELLOR_LIST_MAP(type, name) \
    if (std::wstring_view(Key::name) != Key::PRODUCTCODES) AddMap(lines, Key::name, s.name);
    QUELLOR_SETTINGS_FIELDS(QUELLOR_LIST_MAP)
#undef QUELLOR_LIST_MAP
    AddMap(lines, Key::PRODUCTCODES, s.PRODUCTCODES);
    return lines;
}

std::vector<std::wstring> ProductClsids(const Settings& p) {
    return {p.FERROW_CLSID,   p.FERROWPS_CLSID, p.VENTREL_CLSID, p.TERRION_CLSID,
            p.TERRIONPS_CLSID, p.NOVEX_CLSID,    p.NOVEXPS_CLSID};
}

std::vector<ProductServer> ProductServers(const Settings& p) {
    return {
        {p.TERRION_CLSID, false, L"TerrionのCOMコンポーネント"}, {p.TERRIONPS_CLSID, true, L"TerrionPSのCOMコンポーネント"},
        {p.FERROWPS_CLSID, true, L"FerrowPSのCOMコンポーネント"}, {p.FERROW_CLSID, false, L"FerrowのCOMコンポーネント"},
        {p.NOVEXPS_CLSID, true, L"NovexPSのCOMコンポーネント"},   {p.NOVEX_CLSID, false, L"NovexのCOMコンポーネント"},
        {p.VENTREL_CLSID, false, L"VentrelのCOMコンポーネント"},
    };
}

}  // namespace Quellor
