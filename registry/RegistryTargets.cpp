#include "registry/RegistryTargets.h"

namespace Zento::Lithcore {

namespace {

using System::Registry;

bool HoldsAnything(HKEY key) {
    wchar_t name[257] = {};
    DWORD length = 256;
    if (Registry().enumKey(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS)
        return true;
    wchar_t valueName[16384] = {};
    length = 16384;
    return Registry().enumValue(key, 0, valueName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_NO_MORE_ITEMS;
}

}  // namespace

RegistryKeyAddress RegistryKeyAddress::Parse(const std::wstring& path, RegistryView view) {
    RegistryPathParts parts = SplitRegistryPath(path);
    RegistryKeyAddress address;
    address.path = path;
    address.view = view;
    if (parts.root == nullptr) return address;
    address.root = parts.root;
    address.subKey = parts.subKey;
    return address;
}

LONG OpenExistingKey(const RegistryKeyAddress& address, REGSAM access, UniqueRegKey& key) {
    if (!address.Valid()) return ERROR_INVALID_PARAMETER;
    return Registry().openKey(address.root, address.subKey.c_str(), 0, access | ViewFlag(address.view), key.Put());
}

LONG OpenExistingKey(const std::wstring& keyPath, RegistryView view, REGSAM access, UniqueRegKey& key) {
    return OpenExistingKey(RegistryKeyAddress::Parse(keyPath, view), access, key);
}

LONG DeleteRegistryKey(const RegistryKeyAddress& address) {
    if (!address.Valid()) return ERROR_INVALID_PARAMETER;
    return System::DeleteTreeInView(address.root, address.subKey, address.view);
}

LONG DeleteRegistryKeyIfEmpty(const RegistryKeyAddress& address) {
    if (!address.Valid()) return ERROR_INVALID_PARAMETER;
    {
        UniqueRegKey key;
        LONG opened = OpenExistingKey(address, KEY_READ, key);
        if (opened != ERROR_SUCCESS) return opened;
        if (HoldsAnything(key.Get())) return ERROR_DIR_NOT_EMPTY;
    }
    return System::DeleteKeyInView(address.root, address.subKey, address.view);
}

LONG DeleteRegistryValue(const RegistryKeyAddress& address, const std::wstring& valueName) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
    if (opened != ERROR_SUCCESS) return opened;
    return Registry().deleteValue(key.Get(), valueName.c_str());
}

KeyState RegistryKeyState(const RegistryKeyAddress& address) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_READ, key);
    if (opened == ERROR_FILE_NOT_FOUND) return KeyState::Gone;
    if (opened != ERROR_SUCCESS) return KeyState::Holds;
    return HoldsAnything(key.Get()) ? KeyState::Holds : KeyState::Empty;
}

bool RegistryKeyExists(const RegistryKeyAddress& address) { return RegistryKeyState(address) != KeyState::Gone; }

bool RegistryValueExists(const RegistryKeyAddress& address, const std::wstring& valueName) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(address, KEY_QUERY_VALUE, key);
    if (opened == ERROR_FILE_NOT_FOUND) return false;
    if (opened != ERROR_SUCCESS) return true;
    LONG queried = Registry().queryValueW(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr);
    return queried != ERROR_FILE_NOT_FOUND;
}

}  // namespace Zento::Lithcore
