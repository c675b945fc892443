#pragma once
// The deletion of registry keys and values, each in its view, with the Win32 result.
#include <string>

#include "registry/RegistryKeys.h"

namespace Zento::Lithcore {

// The key with its whole subtree. ERROR_FILE_NOT_FOUND when it was not there.
[[nodiscard]] LONG DeleteRegistryKey(const RegistryKeyAddress& address);

// The key only when it holds neither values nor subkeys; ERROR_DIR_NOT_EMPTY when it still does.
[[nodiscard]] LONG DeleteRegistryKeyIfEmpty(const RegistryKeyAddress& address);

// One value; ERROR_FILE_NOT_FOUND when the key or the value was not there.
[[nodiscard]] LONG DeleteRegistryValue(const RegistryKeyAddress& address, const std::wstring& valueName);

}  // namespace Zento::Lithcore
