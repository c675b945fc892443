// Linked only into the tests' build of quellor.exe. Windows writes a loaded hive back to its file when it
// is unloaded; Wine never does, so this build saves each hive over its file just before the unload (in
// Wine's format, which loads again). A test can then load the file and see what the run deleted.
#include <windows.h>

#include "registry/UserHives.h"

namespace {

// With QUELLOR_TEST_HOLD_HIVE set, a handle on the hive's root stays open, so that its unload fails.
void HoldHiveOpen(const std::wstring& name) {
    HKEY key = nullptr;
    ::RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_READ, &key);
}

void SaveOverFile(const std::wstring& name, const std::wstring& file) {
    if (::GetEnvironmentVariableW(L"QUELLOR_TEST_HOLD_HIVE", nullptr, 0) != 0) HoldHiveOpen(name);
    if (file.empty()) return;  // a failed load: the file stays as it was
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    const std::wstring saved = file + L".saving";
    ::DeleteFileW(saved.c_str());
    LONG result = ::RegSaveKeyW(key, saved.c_str(), nullptr);
    ::RegCloseKey(key);
    if (result == ERROR_SUCCESS) ::MoveFileExW(saved.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

const bool kInstalled = (Zento::Lithcore::SetBeforeHiveUnload(&SaveOverFile), true);

}  // namespace
