#include "registry/UserHives.h"

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Privileges.h"
#include "platform/UniqueResource.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"

namespace Zento::Lithcore {

namespace {

constexpr wchar_t kUsersRoot[] = L"HKEY_USERS\\";

constexpr wchar_t kProfileListPath[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
constexpr wchar_t kShellFoldersPath[] = L"Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

// REG_EXPAND_SZ on Windows, REG_SZ for Wine's own user: both are expanded.
std::wstring ProfileFolderOf(RegistryView view, const std::wstring& sid) {
    if (sid.empty()) return {};
    const std::optional<std::wstring> text =
        StoredText(ReadRegistryValue(view, kProfileListPath + sid + L"\\", L"ProfileImagePath"));
    return text ? ExpandEnvironment(*text) : std::wstring();
}

// Replaces every `variable` (in upper case, with its percent signs) in `text`, in any letter case.
void ReplaceVariable(std::wstring& text, const std::wstring& variable, const std::wstring& value) {
    std::wstring lower = FoldedName(text);
    for (size_t at = lower.find(variable); at != std::wstring::npos; at = lower.find(variable, at + value.size())) {
        text.replace(at, variable.size(), value);
        lower.replace(at, variable.size(), FoldedName(value));
    }
}

// The text of a user's shell-folder value, expanded for the user of `profileFolder`.
std::wstring ExpandForUser(const std::wstring& text, const std::wstring& profileFolder) {
    std::wstring result = text;
    if (!profileFolder.empty()) {
        // The per-user variables that shell-folder values use, at their default places below the
        // profile; left to the system they would name the caller's folders.
        ReplaceVariable(result, L"%APPDATA%", profileFolder + L"\\AppData\\Roaming");
        ReplaceVariable(result, L"%LOCALAPPDATA%", profileFolder + L"\\AppData\\Local");
        ReplaceVariable(result, L"%USERPROFILE%", profileFolder);
    }
    return result.find(L'%') == std::wstring::npos ? result : ExpandEnvironment(result);
}

void AddEveryStringValue(PathList& folders, RegistryView view, const std::wstring& keyPath) {
    UniqueRegKey key;
    if (OpenExistingKey(keyPath, view, KEY_READ, key) != ERROR_SUCCESS) return;
    LONG listed = ERROR_SUCCESS;
    for (const std::wstring& name : System::ListValueNames(key.Get(), listed))
        if (auto folder = ExpandedText(ReadRegistryValue(key.Get(), name))) folders.push_back(*folder);
}

// A user's folders that only "User Shell Folders" names (a hive the run loaded has no "Shell Folders"
// written by a logon), expanded for that user, not for the caller.
void AddUserShellFolders(PathList& folders, RegistryView view, const std::wstring& software) {
    const std::wstring shellFolders = software + kShellFoldersPath;
    UniqueRegKey key;
    if (OpenExistingKey(software + L"Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders\\", view,
                        KEY_READ, key) != ERROR_SUCCESS)
        return;
    LONG listed = ERROR_SUCCESS;
    for (const std::wstring& name : System::ListValueNames(key.Get(), listed))
        if (auto folder = ReadUserShellFolder(view, shellFolders, name)) folders.push_back(*folder);
}

}  // namespace

std::vector<ProfileEntry> ListProfiles(RegistryView view) {
    std::vector<ProfileEntry> profiles;
    for (const std::wstring& sid : SubkeysOf(view, kProfileListPath)) {
        const std::optional<DWORD> state = DwordOf(ReadRegistryValue(view, kProfileListPath + sid + L"\\", L"State"));
        profiles.push_back({sid, ProfileFolderOf(view, sid), state.value_or(0)});
    }
    return profiles;
}

PathList ProfileListFolders(RegistryView view) {
    PathList folders;
    for (const wchar_t* name : {L"ProfilesDirectory", L"Default", L"Public", L"AllUsersProfile"})
        if (auto folder = ExpandedText(ReadRegistryValue(view, kProfileListPath, name))) folders.push_back(*folder);
    for (const ProfileEntry& profile : ListProfiles(view))
        if (!profile.folder.empty()) folders.push_back(profile.folder);
    return folders;
}

PathList ShellFoldersOfEveryone(RegistryView view) {
    PathList folders;
    AddEveryStringValue(folders, view, std::wstring(L"HKEY_LOCAL_MACHINE\\Software\\") + kShellFoldersPath);
    for (const std::wstring& sid : SubkeysOf(view, kUsersRoot)) {
        const std::wstring software = std::wstring(kUsersRoot) + sid + L"\\Software\\";
        AddEveryStringValue(folders, view, software + kShellFoldersPath);
        AddEveryStringValue(folders, view, software + L"Wow6432Node\\" + kShellFoldersPath);
        AddUserShellFolders(folders, view, software);
    }
    return folders;
}

bool HiveLoaded(RegistryView view, const std::wstring& name) {
    UniqueRegKey key;
    return OpenExistingKey(kUsersRoot + name + L"\\", view, KEY_READ, key) == ERROR_SUCCESS;
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
    return System::Registry().loadKey(HKEY_USERS, name.c_str(), file.c_str());
}

LONG UnloadUserHive(const std::wstring& name) {
    EnabledPrivileges privileges({SE_BACKUP_NAME, SE_RESTORE_NAME});
    return System::Registry().unloadKey(HKEY_USERS, name.c_str());
}

std::optional<std::wstring> ReadUserShellFolder(RegistryView view, const std::wstring& shellFoldersKey,
                                                const std::wstring& valueName) {
    static const std::wstring kShellFolders = L"Shell Folders\\";
    std::optional<std::wstring> text = StoredText(ReadRegistryValue(view, shellFoldersKey, valueName));
    if (!text && shellFoldersKey.size() > kShellFolders.size()) {
        std::wstring parent = shellFoldersKey.substr(0, shellFoldersKey.size() - kShellFolders.size());
        text = StoredText(ReadRegistryValue(view, parent + L"User Shell Folders\\", valueName));
    }
    if (!text) return std::nullopt;
    return ExpandForUser(*text, ProfileFolderOf(view, RegistryKeyAddress::Parse(shellFoldersKey, view).HiveSid()));
}

}  // namespace Zento::Lithcore
