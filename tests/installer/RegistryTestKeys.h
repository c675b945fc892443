#pragma once
// Registry set-up for tests: keys created and checked in an explicit view, removed with their subtree.
#include <windows.h>
#include <sddl.h>

#include <string>

#include "platform/UniqueResource.h"

namespace QuellorTest {

constexpr REGSAM kView64 = KEY_WOW64_64KEY;
constexpr REGSAM kView32 = KEY_WOW64_32KEY;

inline bool CreateTestKey(HKEY root, const std::wstring& subKey, REGSAM view) {
    Zento::Lithcore::UniqueRegKey key;
    return ::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.Put(),
                             nullptr) == ERROR_SUCCESS;
}

inline bool TestKeyExists(HKEY root, const std::wstring& subKey, REGSAM view) {
    Zento::Lithcore::UniqueRegKey key;
    return ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
}

inline bool SetTestValue(HKEY root, const std::wstring& subKey, REGSAM view, const std::wstring& name, DWORD type,
                         const void* data, DWORD size) {
    Zento::Lithcore::UniqueRegKey key;
    if (::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

inline void DeleteTestTree(HKEY root, const std::wstring& subKey, REGSAM view) {
    Zento::Lithcore::UniqueRegKey key;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS | view, key.Put()) != ERROR_SUCCESS) return;
    ::RegDeleteTreeW(key.Get(), nullptr);
    key.Reset();
    ::RegDeleteKeyExW(root, subKey.c_str(), view, 0);
}

// The string form of the current user's security identifier (the name of its HKEY_USERS hive).
inline std::wstring CurrentUserSid() {
    Zento::Lithcore::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) return L"";
    BYTE buffer[256] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size)) return L"";
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return L"";
    Zento::Lithcore::UniqueLocalMemory owner(text);
    return text;
}

}  // namespace QuellorTest
