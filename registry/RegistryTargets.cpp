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

LONG OpenExistingKey(const std::wstring& keyPath, RegistryView view, REGSAM access, UniqueRegKey& key) {
    RegistryPathParts parts = SplitRegistryPath(keyPath);
    if (parts.root == nullptr) return ERROR_INVALID_PARAMETER;
    return Registry().openKey(parts.root, parts.subKey.c_str(), 0, access | ViewFlag(view), key.Put());
}

LONG DeleteRegistryKey(const std::wstring& keyPath, RegistryView view) {
    RegistryPathParts parts = SplitRegistryPath(keyPath);
    if (parts.root == nullptr) return ERROR_INVALID_PARAMETER;
    return System::DeleteTreeInView(parts.root, parts.subKey, view);
}

LONG DeleteRegistryKeyIfEmpty(const std::wstring& keyPath, RegistryView view) {
    RegistryPathParts parts = SplitRegistryPath(keyPath);
    if (parts.root == nullptr) return ERROR_INVALID_PARAMETER;
    {
        UniqueRegKey key;
        LONG opened = OpenExistingKey(keyPath, view, KEY_READ, key);
        if (opened != ERROR_SUCCESS) return opened;
        if (HoldsAnything(key.Get())) return ERROR_DIR_NOT_EMPTY;
    }
    return System::DeleteKeyInView(parts.root, parts.subKey, view);
}

LONG DeleteRegistryValue(const std::wstring& keyPath, const std::wstring& valueName, RegistryView view) {
    UniqueRegKey key;
    LONG opened = OpenExistingKey(keyPath, view, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
    if (opened != ERROR_SUCCESS) return opened;
    return Registry().deleteValue(key.Get(), valueName.c_str());
}

bool RegistryKeyExists(const std::wstring& keyPath, RegistryView view) {
    UniqueRegKey key;
    return OpenExistingKey(keyPath, view, KEY_READ, key) == ERROR_SUCCESS;
}

bool RegistryValueExists(const std::wstring& keyPath, const std::wstring& valueName, RegistryView view) {
    UniqueRegKey key;
    if (OpenExistingKey(keyPath, view, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return false;
    return Registry().queryValueW(key.Get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace Zento::Lithcore
