// Linked only into the tests' build of quellor.exe. Windows writes a loaded hive back to its file when it
// is unloaded; Wine never does, so this build's registry table saves each hive over its file just before
// the unload (in Wine's format, which loads again). A test can then load the file and see what the run
// deleted.
#include <windows.h>

#include <map>
#include <string>

#include "registry/RegistryApi.h"

namespace {

using Zento::Lithcore::System::RegistryApi;

std::map<std::wstring, std::wstring>& HiveFiles() {
    static std::map<std::wstring, std::wstring> files;
    return files;
}

LSTATUS WINAPI LoadRemembered(HKEY root, LPCWSTR name, LPCWSTR file) {
    const LSTATUS result = ::RegLoadKeyW(root, name, file);
    if (result == ERROR_SUCCESS) HiveFiles()[name] = file;
    return result;
}

// With QUELLOR_TEST_HOLD_HIVE set, a handle on the hive's root stays open, so that its unload fails.
void HoldHiveOpen(const std::wstring& name) {
    HKEY key = nullptr;
    ::RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_READ, &key);
}

void SaveOverFile(const std::wstring& name) {
    if (::GetEnvironmentVariableW(L"QUELLOR_TEST_HOLD_HIVE", nullptr, 0) != 0) HoldHiveOpen(name);
    auto known = HiveFiles().find(name);
    if (known == HiveFiles().end()) return;  // a failed load: the file stays as it was
    const std::wstring file = known->second;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    const std::wstring saved = file + L".saving";
    ::DeleteFileW(saved.c_str());
    LONG result = ::RegSaveKeyW(key, saved.c_str(), nullptr);
    ::RegCloseKey(key);
    if (result == ERROR_SUCCESS) ::MoveFileExW(saved.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LSTATUS WINAPI UnloadSavingFirst(HKEY root, LPCWSTR name) {
    SaveOverFile(name);
    const LSTATUS result = ::RegUnLoadKeyW(root, name);
    if (result == ERROR_SUCCESS) HiveFiles().erase(name);
    return result;
}

RegistryApi WritingBackTable() {
    RegistryApi table = Zento::Lithcore::System::Registry();
    table.loadKey = &LoadRemembered;
    table.unloadKey = &UnloadSavingFirst;
    return table;
}

const RegistryApi kWritingBack = WritingBackTable();
const bool kInstalled = (Zento::Lithcore::System::ReplaceRegistryApi(&kWritingBack), true);

}  // namespace
