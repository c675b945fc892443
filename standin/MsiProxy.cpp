// MsiProxy.dll: put in place of the system msi.dll for one test scenario, so that the removal tool
// gets Windows' answer for components whose key path is a registry key.
//
// Wine's msi.dll tests every component path as a file, so it answers such a component as absent
// (2) while Windows answers it as installed (3) when the registry key or value exists, with the
// path text the installer registered ("01:\Software\...\Value", "02:\Software\...\"). This DLL
// passes each of its calls on to Wine's own msi.dll, which the test leaves in the system
// folder as winemsi.dll, and only turns that one answer into Windows' answer.
#include <windows.h>

#include <string>

namespace {

constexpr INT kStateAbsent = 2;
constexpr INT kStateLocal = 3;
constexpr INT kStateUnknown = -1;
constexpr DWORD kPathChars = 1024;

// Loaded on first use and kept for the life of the process, as msi.dll itself would be.
HMODULE WineMsi() {
    static const HMODULE module = [] {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return HMODULE{};
        return ::LoadLibraryW((std::wstring(folder) + L"\\winemsi.dll").c_str());
    }();
    return module;
}

template <typename Fn>
Fn WineFunction(WORD ordinal) {
    const HMODULE module = WineMsi();
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, MAKEINTRESOURCEA(ordinal))))
                  : nullptr;
}

// Roots of the installer's registry key paths ("NN:\"); 20 more means the 64-bit view.
bool RootOf(int number, HKEY& root, REGSAM& view) {
    static const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    view = 0;
    if (number >= 20) {
        number -= 20;
        view = KEY_WOW64_64KEY;
    }
    if (number < 0 || number > 3) return false;
    root = kRoots[number];
    return true;
}

bool IsRegistryKeyPath(const std::wstring& path) {
    auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    return path.size() > 4 && digit(path[0]) && digit(path[1]) && path[2] == L':' && path[3] == L'\\';
}

// "NN:\key\" names a key; "NN:\key\value" names a value of that key.
bool RegistryKeyPathExists(const std::wstring& path) {
    HKEY root = nullptr;
    REGSAM view = 0;
    if (!RootOf((path[0] - L'0') * 10 + (path[1] - L'0'), root, view)) return false;
    const std::wstring rest = path.substr(4);
    const size_t split = rest.rfind(L'\\');
    const std::wstring keyName = split == std::wstring::npos ? L"" : rest.substr(0, split);
    const std::wstring valueName = split == std::wstring::npos ? rest : rest.substr(split + 1);
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, keyName.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return false;
    const bool exists =
        valueName.empty() || ::RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return exists;
}

using GetComponentPathFn = INT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
using EnumClientsFn = UINT(WINAPI*)(LPCWSTR, DWORD, LPWSTR);
using EnumComponentsFn = UINT(WINAPI*)(DWORD, LPWSTR);
using GetProductCodeFn = UINT(WINAPI*)(LPCWSTR, LPWSTR);
using GetProductInfoFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
using EnumRelatedProductsFn = UINT(WINAPI*)(LPCWSTR, DWORD, DWORD, LPWSTR);

}  // namespace

extern "C" {

// Wine has already written the registered path text into the caller's buffer when it answers
// absent; only the state changes.
INT WINAPI MsiGetComponentPathW(LPCWSTR product, LPCWSTR component, LPWSTR buffer, LPDWORD size) {
    const auto wine = WineFunction<GetComponentPathFn>(173);
    if (!wine) return kStateUnknown;
    const INT state = wine(product, component, buffer, size);
    if (state != kStateAbsent) return state;
    wchar_t path[kPathChars] = {};
    DWORD chars = kPathChars;
    if (wine(product, component, path, &chars) != kStateAbsent || !IsRegistryKeyPath(path)) return state;
    return RegistryKeyPathExists(path) ? kStateLocal : state;
}

UINT WINAPI MsiEnumClientsW(LPCWSTR component, DWORD index, LPWSTR product) {
    const auto wine = WineFunction<EnumClientsFn>(37);
    return wine ? wine(component, index, product) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiEnumComponentsW(DWORD index, LPWSTR component) {
    const auto wine = WineFunction<EnumComponentsFn>(41);
    return wine ? wine(index, component) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiGetProductCodeW(LPCWSTR component, LPWSTR product) {
    const auto wine = WineFunction<GetProductCodeFn>(66);
    return wine ? wine(component, product) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiGetProductInfoW(LPCWSTR product, LPCWSTR property, LPWSTR value, LPDWORD size) {
    const auto wine = WineFunction<GetProductInfoFn>(70);
    return wine ? wine(product, property, value, size) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiEnumRelatedProductsW(LPCWSTR upgradeCode, DWORD reserved, DWORD index, LPWSTR product) {
    const auto wine = WineFunction<EnumRelatedProductsFn>(205);
    return wine ? wine(upgradeCode, reserved, index, product) : ERROR_FUNCTION_FAILED;
}

// The package reads, for the removal's check of a cached package's product code: passed on as they are.
using MsiHandle = unsigned long;
UINT WINAPI MsiCloseHandle(MsiHandle handle) {
    const auto wine = WineFunction<UINT(WINAPI*)(MsiHandle)>(8);
    return wine ? wine(handle) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiDatabaseOpenViewW(MsiHandle database, LPCWSTR query, MsiHandle* view) {
    const auto wine = WineFunction<UINT(WINAPI*)(MsiHandle, LPCWSTR, MsiHandle*)>(32);
    return wine ? wine(database, query, view) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiOpenDatabaseW(LPCWSTR path, LPCWSTR persist, MsiHandle* database) {
    const auto wine = WineFunction<UINT(WINAPI*)(LPCWSTR, LPCWSTR, MsiHandle*)>(92);
    return wine ? wine(path, persist, database) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiRecordGetStringW(MsiHandle record, UINT field, LPWSTR value, LPDWORD size) {
    const auto wine = WineFunction<UINT(WINAPI*)(MsiHandle, UINT, LPWSTR, LPDWORD)>(118);
    return wine ? wine(record, field, value, size) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiViewExecute(MsiHandle view, MsiHandle record) {
    const auto wine = WineFunction<UINT(WINAPI*)(MsiHandle, MsiHandle)>(159);
    return wine ? wine(view, record) : ERROR_FUNCTION_FAILED;
}

UINT WINAPI MsiViewFetch(MsiHandle view, MsiHandle* record) {
    const auto wine = WineFunction<UINT(WINAPI*)(MsiHandle, MsiHandle*)>(160);
    return wine ? wine(view, record) : ERROR_FUNCTION_FAILED;
}

}  // extern "C"
