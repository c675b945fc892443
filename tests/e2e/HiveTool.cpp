// What Wine's reg.exe lacks, for the tests: loading, unloading and saving a hive below HKEY_USERS.
//   hivetool load NAME FILE | unload NAME | save NAME FILE
// Prints "result N" (the Win32 error) and exits with it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void Enable(const wchar_t* privilege) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, privilege, &wanted.Privileges[0].Luid))
        ::AdjustTokenPrivileges(token, FALSE, &wanted, 0, nullptr, nullptr);
    ::CloseHandle(token);
}

LONG Save(const wchar_t* name, const wchar_t* file) {
    HKEY key = nullptr;
    LONG result = ::RegOpenKeyExW(HKEY_USERS, name, 0, KEY_READ, &key);
    if (result != ERROR_SUCCESS) return result;
    ::DeleteFileW(file);
    result = ::RegSaveKeyW(key, file, nullptr);
    ::RegCloseKey(key);
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Enable(SE_BACKUP_NAME);
    Enable(SE_RESTORE_NAME);
    std::wstring verb = argc > 1 ? argv[1] : L"";
    LONG result = ERROR_INVALID_PARAMETER;
    if (verb == L"load" && argc == 4) result = ::RegLoadKeyW(HKEY_USERS, argv[2], argv[3]);
    if (verb == L"unload" && argc == 3) result = ::RegUnLoadKeyW(HKEY_USERS, argv[2]);
    if (verb == L"save" && argc == 4) result = Save(argv[2], argv[3]);
    std::printf("result %ld\n", result);
    return static_cast<int>(result);
}
