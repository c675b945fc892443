#pragma once
// Several key searches over one listing of their base.
#include <string>

#include "registry/RegistryStorage.h"

namespace Zento::Lithcore {

// FindKeyPath for each name, in order: the last match of the name among the subkeys of the base and, under
// WOW64 (`wow64`, the caller's IsWow64() answer) when the base lies below HKEY_LOCAL_MACHINE\Software\, of
// its Wow6432Node counterpart; empty where nothing matches. Each base is listed once, however many names.
PathList FindKeyPaths(bool wow64, const std::wstring& base, const PathList& names);

}  // namespace Zento::Lithcore
