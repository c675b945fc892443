// registry-floor.exe: the least registry reading any collection has to do, for tools/bench.sh.
// One pass over the installer's subtrees: every key opened once, its subkey and value names listed.
// Users who are not logged on are part of it: their hives are loaded, walked and unloaded.
// Prints the numbers of keys and values visited.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Counts {
    unsigned long keys = 0;
    unsigned long values = 0;
};

class Key {
public:
    Key(HKEY parent, const wchar_t* path, REGSAM view) {
        if (::RegOpenKeyExW(parent, path, 0, KEY_READ | view, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    return names;
}

// A longer name answers "more data": it is counted all the same, its name is not needed.
unsigned long CountValues(HKEY key) {
    unsigned long count = 0;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        LONG status = ::RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
        ++count;
    }
    return count;
}

// Every open names the view: a handle does not carry it to the opens below it.
void Walk(HKEY parent, const std::wstring& path, REGSAM view, Counts& counts) {
    Key key(parent, path.c_str(), view);
    if (key.Get() == nullptr) return;
    ++counts.keys;
    counts.values += CountValues(key.Get());
    for (const std::wstring& name : SubkeyNames(key.Get())) Walk(key.Get(), name, view, counts);
}

bool IsWow64() {
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

void EnableRestorePrivilege() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &wanted.Privileges[0].Luid))
        ::AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr);
    ::CloseHandle(token);
}

std::wstring ProfileFolder(HKEY list, const std::wstring& sid, REGSAM view) {
    Key entry(list, sid.c_str(), view);
    wchar_t raw[MAX_PATH] = {};
    DWORD bytes = sizeof(raw) - sizeof(wchar_t);
    if (entry.Get() == nullptr ||
        ::RegQueryValueExW(entry.Get(), L"ProfileImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(raw), &bytes) != ERROR_SUCCESS)
        return {};
    wchar_t expanded[MAX_PATH] = {};
    DWORD length = ::ExpandEnvironmentStringsW(raw, expanded, MAX_PATH);
    return length == 0 || length > MAX_PATH ? std::wstring() : expanded;
}

// The hives of the listed users who are not logged on: loaded, their Installer keys walked, unloaded.
void WalkUnloadedHives(REGSAM view, Counts& counts) {
    Key list(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", view);
    if (list.Get() == nullptr) return;
    EnableRestorePrivilege();
    for (const std::wstring& sid : SubkeyNames(list.Get())) {
        if (Key(HKEY_USERS, sid.c_str(), view).Get() != nullptr) continue;
        std::wstring file = ProfileFolder(list.Get(), sid, view) + L"\\NTUSER.DAT";
        if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        if (::RegLoadKeyW(HKEY_USERS, sid.c_str(), file.c_str()) != ERROR_SUCCESS) continue;
        Walk(HKEY_USERS, sid + L"\\Software\\Microsoft\\Installer", view, counts);
        ::RegUnLoadKeyW(HKEY_USERS, sid.c_str());
    }
}

}  // namespace

int wmain() {
    const REGSAM native = KEY_WOW64_64KEY;
    const std::wstring installer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\";
    Counts counts;
    Walk(HKEY_LOCAL_MACHINE, installer + L"UserData", native, counts);
    Walk(HKEY_LOCAL_MACHINE, installer + L"UpgradeCodes", native, counts);
    Walk(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Installer", native, counts);
    Walk(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", native, counts);
    if (IsWow64())
        Walk(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", KEY_WOW64_32KEY, counts);
    Key users(HKEY_USERS, L"", native);
    if (users.Get() != nullptr) {
        for (const std::wstring& hive : SubkeyNames(users.Get())) {
            Walk(users.Get(), hive + L"\\Software\\Microsoft\\Installer", native, counts);
            if (IsWow64()) Walk(users.Get(), hive + L"\\Software\\Wow6432Node\\Microsoft\\Installer", native, counts);
        }
    }
    WalkUnloadedHives(native, counts);
    std::printf("keys=%lu values=%lu\n", counts.keys, counts.values);
    return 0;
}
