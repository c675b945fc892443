#include "registry/RegistryStorage.h"

#include <algorithm>

#include "platform/Environment.h"
#include "platform/Win32Exception.h"
#include "registry/RegistryKeys.h"
#include "settings/TextConversion.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t kSeparator = L'\\';

struct RootName {
    const wchar_t* longName;
    const wchar_t* shortName;
    HKEY root;
};

const RootName kRootNames[] = {
    {L"HKEY_CLASSES_ROOT", L"HKCR", HKEY_CLASSES_ROOT},
    {L"HKEY_CURRENT_USER", L"HKCU", HKEY_CURRENT_USER},
    {L"HKEY_LOCAL_MACHINE", L"HKLM", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", L"HKU", HKEY_USERS},
    {L"HKEY_PERFORMANCE_DATA", L"HKPD", HKEY_PERFORMANCE_DATA},
    {L"HKEY_PERFORMANCE_TEXT", L"HKPT", HKEY_PERFORMANCE_TEXT},
    {L"HKEY_PERFORMANCE_NLSTEXT", L"HKPN", HKEY_PERFORMANCE_NLSTEXT},
    {L"HKEY_CURRENT_CONFIG", L"HKCC", HKEY_CURRENT_CONFIG},
    {L"HKEY_DYN_DATA", L"HKDD", HKEY_DYN_DATA},
};

// The UTF-16LE characters of registry data; an odd last byte is no character.
std::wstring WideCharacters(const std::vector<unsigned char>& bytes) {
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

// Text up to the first zero character, never reading past the end.
std::wstring WideText(const std::vector<unsigned char>& bytes) {
    std::wstring text = WideCharacters(bytes);
    return text.substr(0, text.find(L'\0'));
}

std::int32_t LittleEndianInteger(const std::vector<unsigned char>& bytes) {
    std::uint32_t value = 0;
    for (size_t i = 0; i < bytes.size() && i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return static_cast<std::int32_t>(value);
}

// Zero-terminated strings until an empty one or the end of the data (a last unterminated one counts).
std::vector<std::wstring> SplitMultiString(const std::vector<unsigned char>& bytes) {
    const std::wstring text = WideCharacters(bytes);
    std::vector<std::wstring> strings;
    size_t position = 0;
    while (position < text.size() && text[position] != L'\0') {
        size_t zero = std::min(text.find(L'\0', position), text.size());
        strings.push_back(text.substr(position, zero - position));
        position = zero + 1;
    }
    return strings;
}

bool HasEmptyComponent(const std::wstring& subKey) {
    if (subKey.empty()) return false;
    if (subKey.front() == kSeparator || subKey.back() == kSeparator) return true;
    return subKey.find(L"\\\\") != std::wstring::npos;
}

}  // namespace

HKEY RootKeyOf(const std::wstring& rootName) {
    for (const RootName& entry : kRootNames)
        if (rootName == entry.longName || rootName == entry.shortName) return entry.root;
    return nullptr;
}

RegistryPathParts SplitRegistryPath(const std::wstring& path) {
    size_t separator = path.find(kSeparator);
    if (separator == 0) return {};
    RegistryPathParts parts;
    if (separator == std::wstring::npos) {
        parts.rootName = path;
    } else {
        parts.rootName = path.substr(0, separator);
        parts.subKey = path.substr(separator + 1);
    }
    HKEY root = RootKeyOf(parts.rootName);
    if (root == nullptr) return {};
    if (!parts.subKey.empty() && parts.subKey.back() == kSeparator) parts.subKey.pop_back();
    if (HasEmptyComponent(parts.subKey)) return {};
    parts.root = root;
    return parts;
}

std::wstring JoinKeyPath(const std::wstring& base, const std::wstring& name) {
    if (base.empty()) return name;
    if (name.empty()) return base;
    if (base.back() == kSeparator) return base + name;
    return base + kSeparator + name;
}

}  // namespace Zento::Lithcore

namespace Zento::Lithcore::Storage::IO {

namespace {

using Exception::Win32Exception;

// The text and its terminating zero as UTF-16LE, the registry's own form.
void AppendWide(ByteArray& bytes, const std::wstring& text) {
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    bytes.insert(bytes.end(), 2, 0);
}

}  // namespace

StorageData::StorageData(std::int32_t value) : type_(StorageType::Integer) {
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<unsigned char>(bits >> (8 * i)));
}

StorageData::StorageData(const std::wstring& text) : type_(StorageType::WString) { AppendWide(bytes_, text); }

StorageData::StorageData(const std::vector<std::wstring>& strings) : type_(StorageType::MultiString) {
    for (const std::wstring& text : strings) AppendWide(bytes_, text);
    bytes_.insert(bytes_.end(), 2, 0);
}

StorageData::StorageData(const ByteArray& bytes) : type_(StorageType::Bytes), bytes_(bytes) {}

std::wstring StorageData::GetWString() const {
    if (type_ != StorageType::WString) {
        DWORD code = ::GetLastError();
        throw Win32Exception(ToAnsi(L"保持しているデータの型がWStringではありません。"
                                    L"この例外を回避するために、明示的な型キャストを試してみてください。"),
                             code);
    }
    return WideText(bytes_);
}

std::vector<std::wstring> StorageData::GetStrings() const {
    if (type_ != StorageType::MultiString) return {};
    return SplitMultiString(bytes_);
}

std::wstring StorageData::ToString() const {
    switch (type_) {
        case StorageType::Integer: return std::to_wstring(LittleEndianInteger(bytes_));
        case StorageType::WString: return GetWString();
        case StorageType::MultiString: {
            std::wstring text;
            for (const std::wstring& line : GetStrings()) text += line + L"\n";
            return text;
        }
        default: return L"ToString unsupported type: " + std::to_wstring(static_cast<std::int32_t>(type_));
    }
}

}  // namespace Zento::Lithcore::Storage::IO

namespace Zento::Lithcore::System {

namespace {

using Exception::Win32Exception;
using Storage::IO::ByteArray;
using Storage::IO::StorageType;

Storage::IO::StorageData TextValue(const ByteArray& data, bool expand) {
    std::wstring text = WideText(data);
    return Storage::IO::StorageData(expand ? ExpandEnvironment(text) : text);
}

}  // namespace

RegistryStorageEx::RegistryStorageEx(const std::wstring& path, RegistryView view) : path_(path), view_(view) {
    if (SplitRegistryPath(path).root == nullptr) return;
    lastResult_ = OpenExistingKey(path, view, KEY_READ, key_);
}

bool RegistryStorageEx::IsOpen() const { return key_.Get() != nullptr; }

std::wstring RegistryStorageEx::GetPath() const { return path_; }

bool RegistryStorageEx::Close() {
    if (!IsOpen()) return true;
    lastResult_ = CloseRegKey(key_);
    return lastResult_ == ERROR_SUCCESS;
}

bool RegistryStorageEx::ValueExists(const std::wstring& name) {
    if (!IsOpen()) return false;
    const std::optional<RegistryValue> value = ReadRegistryValue(key_.Get(), name, &lastResult_);
    return value && value->type != REG_NONE;
}

bool RegistryStorageEx::KeyExists(const std::wstring& name) {
    if (!IsOpen()) return false;
    // A look never creates the key it looks for, and stays in this storage's view.
    RegistryStorageEx sub(JoinKeyPath(path_, name), view_);
    return sub.IsOpen();
}

PathList RegistryStorageEx::EnumValues(const std::wstring& subPath) { return List(subPath, ListKind::Values); }

PathList RegistryStorageEx::EnumKeys(const std::wstring& subPath) { return List(subPath, ListKind::Keys); }

PathList RegistryStorageEx::List(const std::wstring& subPath, ListKind kind) {
    if (!IsOpen()) return {};
    if (subPath.empty()) return ListOpenKey(kind);
    RegistryStorageEx sub(JoinKeyPath(path_, subPath), view_);
    PathList names = sub.List(L"", kind);
    lastResult_ = sub.lastResult_;
    return names;
}

PathList RegistryStorageEx::ListOpenKey(ListKind kind) {
    return kind == ListKind::Keys ? ListSubkeyNames(key_.Get(), lastResult_) : ListValueNames(key_.Get(), lastResult_);
}

RegistryStorageEx::StorageData RegistryStorageEx::Read(const std::wstring& name, const StorageData& defaultValue) {
    if (!IsOpen()) ThrowNotOpen();
    const std::optional<RegistryValue> value = ReadRegistryValue(key_.Get(), name, &lastResult_);
    if (!value) return defaultValue;
    const DWORD type = value->type;
    const ByteArray& data = value->data;
    switch (type) {
        case REG_SZ: return TextValue(data, false);
        case REG_EXPAND_SZ: return TextValue(data, true);
        case REG_BINARY: return StorageData(data);
        case REG_DWORD: return StorageData(LittleEndianInteger(data));
        case REG_MULTI_SZ: return StorageData(SplitMultiString(data));
        default: break;
    }
    DWORD code = ::GetLastError();
    if (defaultValue.GetType() != StorageType::Empty) return defaultValue;
    std::wstring text = L"RegistryStorageEx: ライブラリがこの値の方に対応してません。" + std::to_wstring(type) + L"\n";
    throw Win32Exception(ToAnsi(text), code);
}

void RegistryStorageEx::ThrowNotOpen() const {
    DWORD code = ::GetLastError();
    throw Win32Exception(ToAnsi(L"レジストリキーが開かれていません。"), code);
}

}  // namespace Zento::Lithcore::System
