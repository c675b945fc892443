#include "tests/registry_storage/TestKeys.h"

#include <gtest/gtest.h>

namespace QuellorTest {

using Zento::Lithcore::UniqueRegKey;

std::wstring TestKeyName() { return L"QuellorTest-" + std::to_wstring(::GetCurrentProcessId()); }

UniqueRegKey CreateRawKey(HKEY root, const std::wstring& subKey, RegistryView view) {
    UniqueRegKey key;
    LONG result = ::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS | ViewFlag(view), nullptr, key.Put(), nullptr);
    EXPECT_EQ(result, ERROR_SUCCESS) << "creating test key";
    return key;
}

bool RawKeyExists(HKEY root, const std::wstring& subKey, RegistryView view) {
    UniqueRegKey key;
    return ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | ViewFlag(view), key.Put()) == ERROR_SUCCESS;
}

void SetRawValue(HKEY root, const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data,
                 DWORD size, RegistryView view) {
    UniqueRegKey key = CreateRawKey(root, subKey, view);
    LONG result =
        ::RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    EXPECT_EQ(result, ERROR_SUCCESS) << "setting test value";
}

void SetRawString(HKEY root, const std::wstring& subKey, const std::wstring& name, const std::wstring& text,
                  RegistryView view) {
    SetRawValue(root, subKey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                view);
}

bool RawValueExists(HKEY root, const std::wstring& subKey, const std::wstring& name, RegistryView view) {
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | ViewFlag(view), key.Put()) != ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void DeleteRawTree(HKEY root, const std::wstring& subKey, RegistryView view) {
    {
        UniqueRegKey key;
        if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | ViewFlag(view), key.Put()) !=
            ERROR_SUCCESS)
            return;
        ::RegDeleteTreeW(key.Get(), nullptr);
    }
    ::RegDeleteKeyExW(root, subKey.c_str(), ViewFlag(view), 0);
}

std::vector<std::wstring> UserHives() {
    std::vector<std::wstring> hives;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        hives.emplace_back(name, length);
    }
    return hives;
}

ScopedTestKey::ScopedTestKey(HKEY root, std::wstring subKey) : root_(root), subKey_(std::move(subKey)) { Remove(); }

ScopedTestKey::~ScopedTestKey() { Remove(); }

void ScopedTestKey::Remove() const {
    DeleteRawTree(root_, subKey_, RegistryView::Bits64);
    DeleteRawTree(root_, subKey_, RegistryView::Bits32);
}

}  // namespace QuellorTest
