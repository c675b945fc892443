#pragma once
// Typed registry targets: what the removal deletes, backs up before the first change and checks again
// at the end. Every target names the view it is opened and deleted in. The searches list keys in the
// native view, a key of the 32-bit view by its Wow6432Node spelling: the path then names one key in
// every view, and the backup, which writes paths as listed, restores it with `reg import /reg:64`.
#include <string>

#include "registry/RegistryApi.h"

namespace Quellor {

using Zento::Lithcore::RegistryView;

// A key with its whole subtree; with onlyWhenEmpty, deleted only when no value and no subkey is left in it.
struct KeyTarget {
    std::wstring path;  // full path from the root name, ending with "\"
    RegistryView view;
    bool onlyWhenEmpty = false;
};

// One value of a key; the empty name is the key's default value.
struct ValueTarget {
    std::wstring keyPath;
    std::wstring name;
    RegistryView view;
};

}  // namespace Quellor
