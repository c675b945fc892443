#pragma once
// One registry key or value at a time, addressed by a key parsed once from its full path, in a named
// view: its opening, the reading of its values, whether it is still there, and its deletion.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueResource.h"
#include "registry/RegistryApi.h"

namespace Zento::Lithcore {

using PathList = std::vector<std::wstring>;

// A key as the removal addresses it: the full path it was collected by (for the log and the backup),
// its root and subkey, parsed once, and its view. A path that does not parse has no root; every
// operation on it then fails with ERROR_INVALID_PARAMETER, and it never counts as gone.
// The root is a long or short root name ("HKEY_LOCAL_MACHINE", "HKLM", ...) matched case-sensitively;
// one trailing separator is dropped; a path with an empty component does not parse.
struct RegistryKeyAddress {
    std::wstring path;  // full path from the root name, ending with "\"
    HKEY root = nullptr;
    std::wstring subKey;
    RegistryView view = RegistryView::Bits32;

    static RegistryKeyAddress Parse(const std::wstring& path, RegistryView view);
    bool Valid() const { return root != nullptr; }
    // What names the key however it is spelled: the path folded, the 32-bit view's classes key
    // ("Software\Classes\Wow6432Node" or "Software\Wow6432Node\Classes") one way.
    std::wstring Identity() const;
    // The user a key below HKEY_USERS belongs to (its hive "<sid>" or "<sid>_Classes"); empty otherwise.
    std::wstring HiveSid() const;
};

// Opens an existing key in its view; never creates one.
[[nodiscard]] LONG OpenExistingKey(const RegistryKeyAddress& address, REGSAM access, UniqueRegKey& key);
[[nodiscard]] LONG OpenExistingKey(const std::wstring& keyPath, RegistryView view, REGSAM access, UniqueRegKey& key);

// One value of the key (ReadRegistryValue); absent when the key or the value is not there or cannot be
// read, `error` then saying why.
std::optional<RegistryValue> ReadRegistryValue(const RegistryKeyAddress& address, const std::wstring& name,
                                               LONG* error = nullptr);
std::optional<RegistryValue> ReadRegistryValue(RegistryView view, const std::wstring& keyPath, const std::wstring& name);

// A string value (REG_SZ, or REG_EXPAND_SZ expanded) of a key; a value of another type counts as absent.
std::optional<std::wstring> ReadStringValue(RegistryView view, const std::wstring& keyPath, const std::wstring& name);

// ReadStringValue of each key in order, appending every text read; true when at least one was read.
bool ReadStringValues(RegistryView view, const PathList& keyPaths, const std::wstring& valueName, PathList& texts);

// Whether an open key holds a subkey or a value.
bool KeyHoldsAnything(HKEY key);

// What the check at the end finds of a key: gone, there, or there and holding nothing.
enum class KeyState { Gone, Holds, Empty };
// Gone only when the open answers ERROR_FILE_NOT_FOUND: a key that cannot be opened is still there.
KeyState RegistryKeyState(const RegistryKeyAddress& address);
bool RegistryKeyExists(const RegistryKeyAddress& address);
bool RegistryValueExists(const RegistryKeyAddress& address, const std::wstring& valueName);

// The key with its whole subtree, every level opened and deleted in the key's view (SHDeleteKeyW and
// RegDeleteTreeW recurse with plain opens and would leave the other view's keys). ERROR_FILE_NOT_FOUND
// when it was not there.
[[nodiscard]] LONG DeleteRegistryKey(const RegistryKeyAddress& address);

// The key only when it holds neither values nor subkeys; ERROR_DIR_NOT_EMPTY when it still does.
[[nodiscard]] LONG DeleteRegistryKeyIfEmpty(const RegistryKeyAddress& address);

// One value; ERROR_FILE_NOT_FOUND when the key or the value was not there.
[[nodiscard]] LONG DeleteRegistryValue(const RegistryKeyAddress& address, const std::wstring& valueName);

}  // namespace Zento::Lithcore
