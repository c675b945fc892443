#include "tools/settings-tool/SettingsSource.h"

#include <array>
#include <set>
#include <sstream>
#include <variant>

namespace Quellor::SettingsTool {

namespace {

using Zento::Lithcore::WideMap;
namespace Key = Zento::Lithcore::SettingsKey;

struct Field {
    const wchar_t* key;
    std::variant<std::wstring Settings::*, WideMap Settings::*> member;
};

// Record order, which is also the order of the written source.
const std::array<Field, 18> kFields{{
    {Key::CUSTOMER, &Settings::CUSTOMER},
    {Key::UPGRADECODE, &Settings::UPGRADECODE},
    {Key::PRODUCTNAME, &Settings::PRODUCTNAME},
    {Key::TOOLNAME, &Settings::TOOLNAME},
    {Key::PRODUCTCODES, &Settings::PRODUCTCODES},
    {Key::TERRION_SERVICE_NAME, &Settings::TERRION_SERVICE_NAME},
    {Key::MODULE_NAME_SUFFIX, &Settings::MODULE_NAME_SUFFIX},
    {Key::FERROW_CLSID, &Settings::FERROW_CLSID},
    {Key::FERROWPS_CLSID, &Settings::FERROWPS_CLSID},
    {Key::VENTREL_CLSID, &Settings::VENTREL_CLSID},
    {Key::TERRION_CLSID, &Settings::TERRION_CLSID},
    {Key::TERRIONPS_CLSID, &Settings::TERRIONPS_CLSID},
    {Key::NOVEX_CLSID, &Settings::NOVEX_CLSID},
    {Key::NOVEXPS_CLSID, &Settings::NOVEXPS_CLSID},
    {Key::VITRA_CARE_MUTEX_NAME, &Settings::VITRA_CARE_MUTEX_NAME},
    {Key::VITRA_SETTING_MUTEX_NAME, &Settings::VITRA_SETTING_MUTEX_NAME},
    {Key::VITRA_RESIDENT_MUTEX_NAME, &Settings::VITRA_RESIDENT_MUTEX_NAME},
    {Key::NAME_OF_FILEMAPPING_OBJECT, &Settings::NAME_OF_FILEMAPPING_OBJECT},
}};

constexpr wchar_t kHeader[] =
    L"# Settings source. One field per line: KEY = value\r\n"
    L"# Table entries: KEY[entry key] = value; a table without entries: KEY =\r\n"
    L"# Blank lines and lines starting with # are ignored.\r\n";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Trim(const std::wstring& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

const Field* FindField(const std::wstring& name) {
    for (const Field& field : kFields)
        if (name == field.key) return &field;
    return nullptr;
}

// One parsed line: the field name, the entry key when bracketed, and the value.
struct Line {
    std::wstring name;
    bool hasEntryKey = false;
    std::wstring entryKey;
    std::wstring value;
};

bool SplitLine(const std::wstring& text, Line& line, std::wstring& error) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == L'_' || (text[at] >= L'A' && text[at] <= L'Z'))) ++at;
    line.name = text.substr(0, at);
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at < text.size() && text[at] == L'[') {
        const std::size_t close = text.find(L']', at);
        if (close == std::wstring::npos) {
            error = L"missing ']'";
            return false;
        }
        line.hasEntryKey = true;
        line.entryKey = Trim(text.substr(at + 1, close - at - 1));
        at = close + 1;
        while (at < text.size() && IsBlank(text[at])) ++at;
    }
    if (line.name.empty() || at >= text.size() || text[at] != L'=') {
        error = L"expected KEY = value or KEY[entry key] = value";
        return false;
    }
    line.value = Trim(text.substr(at + 1));
    return true;
}

class SourceReader {
public:
    explicit SourceReader(Settings& settings) : settings_(settings) {}

    bool Apply(const Line& line, std::wstring& error) {
        const Field* field = FindField(line.name);
        if (field == nullptr) {
            error = L"unknown key " + line.name;
            return false;
        }
        given_.insert(field->key);
        if (auto* text = std::get_if<std::wstring Settings::*>(&field->member))
            return ApplyText(*field, settings_.*(*text), line, error);
        return ApplyEntry(settings_.*std::get<WideMap Settings::*>(field->member), line, error);
    }

    bool CheckComplete(std::wstring& error) const {
        std::wstring missing;
        for (const Field& field : kFields)
            if (!given_.count(field.key)) missing += (missing.empty() ? L"" : L", ") + std::wstring(field.key);
        if (missing.empty()) return true;
        error = L"missing " + missing;
        return false;
    }

private:
    bool ApplyText(const Field& field, std::wstring& target, const Line& line, std::wstring& error) {
        if (line.hasEntryKey) {
            error = line.name + L" is not a table";
            return false;
        }
        if (!textsSet_.insert(field.key).second) {
            error = line.name + L" is given twice";
            return false;
        }
        target = line.value;
        return true;
    }

    static bool ApplyEntry(WideMap& target, const Line& line, std::wstring& error) {
        if (!line.hasEntryKey) {
            if (line.value.empty()) return true;  // declares the table, possibly empty
            error = line.name + L" is a table: write " + line.name + L"[entry key] = value";
            return false;
        }
        if (line.entryKey.empty()) {
            error = L"empty entry key";
            return false;
        }
        if (!target.emplace(line.entryKey, line.value).second) {
            error = line.name + L"[" + line.entryKey + L"] is given twice";
            return false;
        }
        return true;
    }

    Settings& settings_;
    std::set<std::wstring> given_;
    std::set<std::wstring> textsSet_;
};

}  // namespace

std::wstring FormatSource(const Settings& settings) {
    std::wstring out = kHeader;
    for (const Field& field : kFields) {
        const std::wstring key = field.key;
        if (auto* text = std::get_if<std::wstring Settings::*>(&field.member)) {
            out += key + L" = " + settings.*(*text) + L"\r\n";
            continue;
        }
        const WideMap& map = settings.*std::get<WideMap Settings::*>(field.member);
        if (map.empty()) out += key + L" =\r\n";
        for (const auto& [entryKey, value] : map) out += key + L"[" + entryKey + L"] = " + value + L"\r\n";
    }
    return out;
}

bool ParseSource(const std::wstring& text, Settings& settings, std::wstring& error) {
    SourceReader reader(settings);
    std::wistringstream lines(text);
    std::wstring raw;
    for (int number = 1; std::getline(lines, raw); ++number) {
        if (!raw.empty() && raw.back() == L'\r') raw.pop_back();
        if (number == 1 && !raw.empty() && raw.front() == L'\xFEFF') raw.erase(0, 1);
        const std::wstring content = Trim(raw);
        if (content.empty() || content.front() == L'#') continue;
        Line line;
        if (!SplitLine(content, line, error) || !reader.Apply(line, error)) {
            error = L"line " + std::to_wstring(number) + L": " + error;
            return false;
        }
    }
    return reader.CheckComplete(error);
}

}  // namespace Quellor::SettingsTool
