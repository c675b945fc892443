#pragma once
// One registry key or value at a time, addressed by a full path in a named view: its deletion with
// the Win32 result, and whether it is still there.
#include <string>

#include "registry/RegistryStorage.h"

namespace Zento::Lithcore {

// Opens an existing key, given by its full path, in its view; never creates one.
[[nodiscard]] LONG OpenExistingKey(const std::wstring& keyPath, RegistryView view, REGSAM access, UniqueRegKey& key);

// The key with its whole subtree. ERROR_FILE_NOT_FOUND when it was not there.
[[nodiscard]] LONG DeleteRegistryKey(const std::wstring& keyPath, RegistryView view);

// The key only when it holds neither values nor subkeys; ERROR_DIR_NOT_EMPTY when it still does.
[[nodiscard]] LONG DeleteRegistryKeyIfEmpty(const std::wstring& keyPath, RegistryView view);

// One value; ERROR_FILE_NOT_FOUND when the key or the value was not there.
[[nodiscard]] LONG DeleteRegistryValue(const std::wstring& keyPath, const std::wstring& valueName, RegistryView view);

bool RegistryKeyExists(const std::wstring& keyPath, RegistryView view);
bool RegistryValueExists(const std::wstring& keyPath, const std::wstring& valueName, RegistryView view);

}  // namespace Zento::Lithcore
