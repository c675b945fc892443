#include "registry/RegistryApi.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/Environment.h"
#include "platform/SystemLibrary.h"

namespace Zento::Lithcore {

RegistryView NativeView() { return IsWow64() ? RegistryView::Bits64 : RegistryView::Bits32; }

std::optional<RegistryValue> ReadRegistryValue(HKEY key, const std::wstring& name, LONG* error) {
    RegistryValue value;
    DWORD size = 0;
    LONG result = System::Registry().queryValueW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
    for (int attempt = 0; result == ERROR_SUCCESS && size != 0; ++attempt) {
        value.data.resize(size);
        result = System::Registry().queryValueW(key, name.c_str(), nullptr, &value.type, value.data.data(), &size);
        if (result != ERROR_MORE_DATA || attempt == 3) break;
        result = ERROR_SUCCESS;
    }
    if (error) *error = result;
    if (result != ERROR_SUCCESS) return std::nullopt;
    value.data.resize(std::min<size_t>(size, value.data.size()));
    return value;
}

std::optional<std::wstring> StoredText(const std::optional<RegistryValue>& value) {
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
    std::wstring text(value->data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), value->data.data(), text.size() * sizeof(wchar_t));
    text.resize(::wcsnlen(text.c_str(), text.size()));
    return text;
}

std::optional<std::wstring> ExpandedText(const std::optional<RegistryValue>& value) {
    std::optional<std::wstring> text = StoredText(value);
    if (text && value->type == REG_EXPAND_SZ) return ExpandEnvironment(*text);
    return text;
}

std::optional<DWORD> DwordOf(const std::optional<RegistryValue>& value) {
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

}  // namespace Zento::Lithcore

namespace Zento::Lithcore::System {

namespace {

const RegistryApi& SystemRegistryApi() {
    static const RegistryApi table{
        &::RegOpenKeyExW,    &::RegEnumKeyExW,    &::RegEnumValueW,
        &::RegQueryValueExW, &::RegDeleteValueW,
        ProcAddress<decltype(RegistryApi::deleteKeyEx)>(::GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW"),
        &::RegDeleteKeyW,    &::RegLoadKeyW,      &::RegUnLoadKeyW};
    return table;
}

const RegistryApi* g_replacement = nullptr;

// Key names have at most 255 characters, value names 16383; the buffer grows to the longest only
// when a name does not fit.
constexpr DWORD kUsualNameBuffer = 256;
constexpr DWORD kLongestNameBuffer = 16384;

enum class NameKind { Subkeys, Values };

LONG NameAt(HKEY key, NameKind kind, DWORD index, std::vector<wchar_t>& buffer, std::wstring& name) {
    for (;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        LONG result = kind == NameKind::Subkeys
                          ? Registry().enumKey(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr)
                          : Registry().enumValue(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_SUCCESS) {
            name.assign(buffer.data(), length);
            return result;
        }
        if (result != ERROR_MORE_DATA || buffer.size() >= kLongestNameBuffer) return result;
        buffer.resize(kLongestNameBuffer);
    }
}

// Only ERROR_NO_MORE_ITEMS is the end of a listing; any other stop is its error.
std::vector<std::wstring> ListNames(HKEY key, NameKind kind, LONG& result) {
    std::vector<std::wstring> names;
    std::vector<wchar_t> buffer(kUsualNameBuffer);
    std::wstring name;
    for (DWORD index = 0; (result = NameAt(key, kind, index, buffer, name)) == ERROR_SUCCESS; ++index)
        names.push_back(name);
    if (result == ERROR_NO_MORE_ITEMS) result = ERROR_SUCCESS;
    return names;
}

}  // namespace

const RegistryApi& Registry() { return g_replacement != nullptr ? *g_replacement : SystemRegistryApi(); }

const RegistryApi* ReplaceRegistryApi(const RegistryApi* table) {
    const RegistryApi* previous = &Registry();
    g_replacement = table;
    return previous;
}

std::vector<std::wstring> ListSubkeyNames(HKEY key, LONG& result) { return ListNames(key, NameKind::Subkeys, result); }

std::vector<std::wstring> ListValueNames(HKEY key, LONG& result) { return ListNames(key, NameKind::Values, result); }

}  // namespace Zento::Lithcore::System
