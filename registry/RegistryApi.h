#pragma once
// The Win32 registry functions that the registry code calls, gathered in one table so that a test
// can put a checking table in its place. The product always runs on the system's own table.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace Zento::Lithcore {

// The registry view a key lives in. Under WOW64 a 32-bit process reaches the native keys only with
// KEY_WOW64_64KEY, and a handle does not remember the flag: every open and delete names it.
enum class RegistryView : REGSAM {
    Bits32 = KEY_WOW64_32KEY,
    Bits64 = KEY_WOW64_64KEY,
};

constexpr REGSAM ViewFlag(RegistryView view) { return static_cast<REGSAM>(view); }

// The system's native view: 64-bit for a 32-bit process on 64-bit Windows, else 32-bit (where the
// flag changes nothing). The installer's own data lives there.
RegistryView NativeView();

// Whether the view has a "Wow6432Node" sibling below Software to search as well (64-bit Windows).
constexpr bool HasWow64Node(RegistryView view) { return view == RegistryView::Bits64; }

// A value as stored: its type and its bytes.
struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;
};

// Every read of a value goes through here: its type and data, read again when it grows between the
// size query and the read. Absent when it is not there or cannot be read; `error` then says why.
std::optional<RegistryValue> ReadRegistryValue(HKEY key, const std::wstring& name, LONG* error = nullptr);

// The text of a string value (REG_SZ or REG_EXPAND_SZ) as stored, up to its first NUL; absent for a
// value of any other type.
std::optional<std::wstring> StoredText(const std::optional<RegistryValue>& value);
// The same, a REG_EXPAND_SZ's environment strings expanded.
std::optional<std::wstring> ExpandedText(const std::optional<RegistryValue>& value);
// A REG_DWORD's number.
std::optional<DWORD> DwordOf(const std::optional<RegistryValue>& value);

}  // namespace Zento::Lithcore

namespace Zento::Lithcore::System {

struct RegistryApi {
    decltype(&::RegOpenKeyExW) openKey;
    decltype(&::RegEnumKeyExW) enumKey;
    decltype(&::RegEnumValueW) enumValue;
    decltype(&::RegQueryValueExW) queryValueW;
    decltype(&::RegDeleteValueW) deleteValue;
    // RegDeleteKeyExW, looked up at run time: null only on systems without WOW64.
    LONG(WINAPI* deleteKeyEx)(HKEY, LPCWSTR, REGSAM, DWORD);
    // Used only when deleteKeyEx is null: it cannot name a view.
    decltype(&::RegDeleteKeyW) deleteKey;
    decltype(&::RegLoadKeyW) loadKey;
    decltype(&::RegUnLoadKeyW) unloadKey;
};

// The table in use.
const RegistryApi& Registry();

// Test seam: puts `table` in place of the one in use (null restores the system's table) and returns
// the table it replaced.
const RegistryApi* ReplaceRegistryApi(const RegistryApi* table);

// The names of a key's subkeys, or of its values, in registry order. `result` is ERROR_SUCCESS when
// the listing ran to its end, otherwise the error that stopped it (ERROR_MORE_DATA when a name did
// not fit even the longest name the registry allows).
std::vector<std::wstring> ListSubkeyNames(HKEY key, LONG& result);
std::vector<std::wstring> ListValueNames(HKEY key, LONG& result);

}  // namespace Zento::Lithcore::System
