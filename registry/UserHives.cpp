#include "registry/UserHives.h"

#include <cwctype>

#include "platform/Environment.h"
#include "platform/Privileges.h"
#include "platform/UniqueResource.h"
#include "registry/RegistryTargets.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t kProfileList[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr wchar_t kUsersRoot[] = L"HKEY_USERS\\";
constexpr wchar_t kClassesSuffix[] = L"_Classes";

BeforeHiveUnload g_beforeUnload = nullptr;

// A string value as stored, environment strings unexpanded; false for a value of another type.
bool ReadRawText(HKEY key, const wchar_t* name, std::wstring& text) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (System::Registry().queryValueW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    text.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (System::Registry().queryValueW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS)
        return false;
    text.resize(wcsnlen(text.c_str(), text.size()));
    return true;
}

DWORD ReadState(HKEY key) {
    DWORD state = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(state);
    if (System::Registry().queryValueW(key, L"State", nullptr, &type, reinterpret_cast<BYTE*>(&state), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0;
    return state;
}

// REG_EXPAND_SZ on Windows, REG_SZ for Wine's own user: both are expanded.
std::wstring ReadProfilePath(HKEY key) {
    std::wstring text;
    return ReadRawText(key, L"ProfileImagePath", text) ? ExpandEnvironment(text) : std::wstring();
}

bool ReadRawValue(RegistryView view, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& text) {
    UniqueRegKey key;
    if (OpenExistingKey(keyPath, view, KEY_READ, key) != ERROR_SUCCESS) return false;
    return ReadRawText(key.Get(), valueName.c_str(), text);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

std::vector<ProfileEntry> ListProfiles(RegistryView view) {
    std::vector<ProfileEntry> profiles;
    UniqueRegKey list;
    if (System::Registry().openKey(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ | ViewFlag(view), list.Put()) !=
        ERROR_SUCCESS)
        return profiles;
    LONG listed = ERROR_SUCCESS;
    for (const std::wstring& sid : System::ListSubkeyNames(list.Get(), listed)) {
        UniqueRegKey entry;
        ProfileEntry profile{sid, {}, 0};
        if (System::Registry().openKey(list.Get(), sid.c_str(), 0, KEY_READ | ViewFlag(view), entry.Put()) ==
            ERROR_SUCCESS) {
            profile.folder = ReadProfilePath(entry.Get());
            profile.state = ReadState(entry.Get());
        }
        profiles.push_back(profile);
    }
    return profiles;
}

std::wstring ProfileFolderOf(RegistryView view, const std::wstring& sid) {
    if (sid.empty()) return {};
    UniqueRegKey entry;
    std::wstring path = std::wstring(kProfileList) + L"\\" + sid;
    if (System::Registry().openKey(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | ViewFlag(view), entry.Put()) !=
        ERROR_SUCCESS)
        return {};
    return ReadProfilePath(entry.Get());
}

bool HiveLoaded(RegistryView view, const std::wstring& name) {
    UniqueRegKey key;
    return System::Registry().openKey(HKEY_USERS, name.c_str(), 0, KEY_READ | ViewFlag(view), key.Put()) == ERROR_SUCCESS;
}

std::wstring UserHiveFile(const std::wstring& profileFolder) { return profileFolder + L"\\NTUSER.DAT"; }

std::wstring ClassesHiveFile(const std::wstring& profileFolder) {
    return profileFolder + L"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
}

bool HiveFileExists(const std::wstring& file) {
    DWORD attributes = ::GetFileAttributesW(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

LONG LoadUserHive(const std::wstring& name, const std::wstring& file) {
    EnabledPrivileges privileges({SE_BACKUP_NAME, SE_RESTORE_NAME});
    return ::RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
}

LONG UnloadUserHive(const std::wstring& name, const std::wstring& file) {
    EnabledPrivileges privileges({SE_BACKUP_NAME, SE_RESTORE_NAME});
    if (g_beforeUnload != nullptr) g_beforeUnload(name, file);
    return ::RegUnLoadKeyW(HKEY_USERS, name.c_str());
}

void SetBeforeHiveUnload(BeforeHiveUnload hook) { g_beforeUnload = hook; }

namespace {

// Replaces every `variable` (lower case, with its percent signs) in `text`, in any letter case.
void ReplaceVariable(std::wstring& text, const std::wstring& variable, const std::wstring& value) {
    std::wstring lower = Lower(text);
    for (size_t at = lower.find(variable); at != std::wstring::npos; at = lower.find(variable, at + value.size())) {
        text.replace(at, variable.size(), value);
        lower.replace(at, variable.size(), Lower(value));
    }
}

}  // namespace

std::wstring ExpandForUser(const std::wstring& text, const std::wstring& profileFolder) {
    std::wstring result = text;
    if (!profileFolder.empty()) {
        // The per-user variables that shell-folder values use, at their default places below the
        // profile; left to the system they would name the caller's folders.
        ReplaceVariable(result, L"%appdata%", profileFolder + L"\\AppData\\Roaming");
        ReplaceVariable(result, L"%localappdata%", profileFolder + L"\\AppData\\Local");
        ReplaceVariable(result, L"%userprofile%", profileFolder);
    }
    return result.find(L'%') == std::wstring::npos ? result : ExpandEnvironment(result);
}

bool ReadUserShellFolder(RegistryView view, const std::wstring& shellFoldersKey, const std::wstring& valueName,
                         std::wstring& folder) {
    static const std::wstring kShellFolders = L"Shell Folders\\";
    std::wstring text;
    bool read = ReadRawValue(view, shellFoldersKey, valueName, text);
    if (!read && shellFoldersKey.size() > kShellFolders.size()) {
        std::wstring parent = shellFoldersKey.substr(0, shellFoldersKey.size() - kShellFolders.size());
        read = ReadRawValue(view, parent + L"User Shell Folders\\", valueName, text);
    }
    if (!read) return false;
    folder = ExpandForUser(text, ProfileFolderOf(view, HiveSidOf(shellFoldersKey)));
    return true;
}

std::wstring HiveSidOf(const std::wstring& keyPath) {
    if (keyPath.rfind(kUsersRoot, 0) != 0) return {};
    size_t start = std::wstring(kUsersRoot).size();
    size_t end = keyPath.find(L'\\', start);
    std::wstring hive = keyPath.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    const std::wstring suffix = kClassesSuffix;
    if (hive.size() > suffix.size() && Lower(hive.substr(hive.size() - suffix.size())) == Lower(suffix))
        hive.resize(hive.size() - suffix.size());
    return hive;
}

}  // namespace Zento::Lithcore
