#include "registry/RegistryKeys.h"

#include "platform/FileSystem.h"

namespace Zento::Lithcore {

using System::Registry;

namespace {

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

HKEY RootKeyOf(const std::wstring& rootName) {
    for (const RootName& entry : kRootNames)
        if (rootName == entry.longName || rootName == entry.shortName) return entry.root;
    return nullptr;
}

// One key that has no subkeys; a root key itself is never deleted.
LONG DeleteEmptyKey(const RegistryKeyAddress& address) {
    if (address.subKey.empty()) return ERROR_ACCESS_DENIED;
    const System::RegistryApi& api = Registry();
    if (api.deleteKeyEx != nullptr)
        return api.deleteKeyEx(address.root, address.subKey.c_str(), ViewFlag(address.view), 0);
    return api.deleteKey(address.root, address.subKey.c_str());
}

}  // namespace

bool KeyHoldsAnything(HKEY key) {
    wchar_t name[257] = {};
    DWORD length = 256;
    if (Registry().enumKey(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS)
        return true;
    wchar_t valueName[16384] = {};
    length = 16384;
    return Registry().enumValue(key, 0, valueName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS;
}

RegistryKeyAddress RegistryKeyAddress::Parse(const std::wstring& path, RegistryView view) {
    RegistryKeyAddress address{path, nullptr, {}, view};
    const size_t separator = path.find(L'\\');
    std::wstring subKey = separator == std::wstring::npos ? std::wstring() : path.substr(separator + 1);
    if (!subKey.empty() && subKey.back() == L'\\') subKey.pop_back();
    if (!subKey.empty() &&
        (subKey.front() == L'\\' || subKey.back() == L'\\' || subKey.find(L"\\\\") != std::wstring::npos))
        return address;
    address.root = RootKeyOf(path.substr(0, separator));
    if (address.Valid()) address.subKey = subKey;
    return address;
}

std::wstring RegistryKeyAddress::Identity() const {
    std::wstring folded = FoldedName(path);
    const std::wstring classesFirst = L"\\SOFTWARE\\CLASSES\\WOW6432NODE\\";
    const size_t at = folded.find(classesFirst);
    if (at != std::wstring::npos) folded.replace(at, classesFirst.size(), L"\\SOFTWARE\\WOW6432NODE\\CLASSES\\");
    return folded;
}

std::wstring RegistryKeyAddress::HiveSid() const {
    if (root != HKEY_USERS) return {};
    std::wstring hive = subKey.substr(0, subKey.find(L'\\'));
    const std::wstring suffix = L"_CLASSES";
    if (hive.size() > suffix.size() && FoldedName(hive).ends_with(suffix)) hive.resize(hive.size() - suffix.size());
    return hive;
}

LONG OpenExistingKey(const RegistryKeyAddress& address, REGSAM access, UniqueRegKey& key) {
    if (!address.Valid()) return ERROR_INVALID_PARAMETER;
    return Registry().openKey(address.root, address.subKey.c_str(), 0, access | ViewFlag(address.view), key.Put());
}

LONG OpenExistingKey(const std::wstring& keyPath, RegistryView view, REGSAM access, UniqueRegKey& key) {
    return OpenExistingKey(RegistryKeyAddress::Parse(keyPath, view), access, key);
}

std::optional<RegistryValue> ReadRegistryValue(const RegistryKeyAddress& address, const std::wstring& name,
                                               LONG* error) {
    UniqueRegKey key;
    const LONG opened = OpenExistingKey(address, KEY_QUERY_VALUE, key);
    if (opened == ERROR_SUCCESS) return ReadRegistryValue(key.Get(), name, error);
    if (error) *error = opened;
    return std::nullopt;
}

std::optional<RegistryValue> ReadRegistryValue(RegistryView view, const std::wstring& keyPath, const std::wstring& name) {
    return ReadRegistryValue(RegistryKeyAddress::Parse(keyPath, view), name);
}

std::optional<std::wstring> ReadStringValue(RegistryView view, const std::wstring& keyPath, const std::wstring& name) {
    return ExpandedText(ReadRegistryValue(view, keyPath, name));
}

bool ReadStringValues(RegistryView view, const PathList& keyPaths, const std::wstring& valueName, PathList& texts) {
    const size_t before = texts.size();
    for (const std::wstring& keyPath : keyPaths)
        if (auto text = ReadStringValue(view, keyPath, valueName)) texts.push_back(*text);
    return texts.size() > before;
}

KeyState RegistryKeyState(const RegistryKeyAddress& address) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_READ, key);
    if (opened == ERROR_FILE_NOT_FOUND) return KeyState::Gone;
    if (opened != ERROR_SUCCESS) return KeyState::Holds;
    return KeyHoldsAnything(key.Get()) ? KeyState::Holds : KeyState::Empty;
}

bool RegistryKeyExists(const RegistryKeyAddress& address) { return RegistryKeyState(address) != KeyState::Gone; }

bool RegistryValueExists(const RegistryKeyAddress& address, const std::wstring& valueName) {
    LONG error = ERROR_SUCCESS;
    return ReadRegistryValue(address, valueName, &error) || error != ERROR_FILE_NOT_FOUND;
}

LONG DeleteRegistryKey(const RegistryKeyAddress& address) {
    if (!address.Valid()) return ERROR_INVALID_PARAMETER;
    if (address.subKey.empty()) return ERROR_ACCESS_DENIED;
    std::vector<std::wstring> children;
    {
        UniqueRegKey key;
        LONG result = OpenExistingKey(address, KEY_READ, key);
        if (result != ERROR_SUCCESS) return result;
        LONG listed = ERROR_SUCCESS;
        children = System::ListSubkeyNames(key.Get(), listed);
        if (listed != ERROR_SUCCESS) return listed;
    }
    for (const std::wstring& child : children) {
        LONG result = DeleteRegistryKey({{}, address.root, address.subKey + L"\\" + child, address.view});
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return result;
    }
    return DeleteEmptyKey(address);
}

LONG DeleteRegistryKeyIfEmpty(const RegistryKeyAddress& address) {
    {
        UniqueRegKey key;
        LONG opened = OpenExistingKey(address, KEY_READ, key);
        if (opened != ERROR_SUCCESS) return opened;
        if (KeyHoldsAnything(key.Get())) return ERROR_DIR_NOT_EMPTY;
    }
    return DeleteEmptyKey(address);
}

LONG DeleteRegistryValue(const RegistryKeyAddress& address, const std::wstring& valueName) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
    if (opened != ERROR_SUCCESS) return opened;
    return Registry().deleteValue(key.Get(), valueName.c_str());
}

}  // namespace Zento::Lithcore
