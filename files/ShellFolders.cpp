#include "files/ShellFolders.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/UniqueResource.h"
#include "registry/InstallerRegistry.h"
#include "registry/UserHives.h"

namespace Zento::Lithcore {

namespace {

// The file system folds trailing dots and blanks away, so such a piece names its parent.
bool IsEmptyPiece(const std::wstring& piece) {
    return piece.find_first_not_of(L". ") == std::wstring::npos;
}

constexpr wchar_t kExplorerSubPath[] = L"Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr wchar_t kMachineExplorerBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
constexpr wchar_t kShellFoldersKeyName[] = L"Shell Folders";

// An empty value names no folder; joined with a sub-path it would point at the drive root.
PathList WithoutEmpty(PathList folders) {
    folders.erase(std::remove(folders.begin(), folders.end(), std::wstring()), folders.end());
    return folders;
}

bool Contains(const PathList& list, const std::wstring& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool HoldsAnyShortcut(const std::wstring& folder, const PathList& names) {
    return std::any_of(names.begin(), names.end(), [&](const std::wstring& name) {
        return IsSafeSubPath(name) && PathMatchesAnything(folder + L"\\" + name + L".lnk");
    });
}

PathList ScopeShellFolders(RegistryView view, ShellScope scope, const std::wstring& valueName) {
    return scope == ShellScope::EveryUser ? EveryUserShellFolder(view, valueName)
                                          : CommonShellFolder(view, L"Common " + valueName);
}

}  // namespace

std::wstring GetSpecialFolderPath(int csidl) {
    UniqueItemIdList itemList;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, itemList.Put())) || !itemList) return {};

    wchar_t buffer[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(itemList.Get(), buffer)) return {};
    return buffer;
}

// Each hive's folders are its own user's: %USERPROFILE% there names that user's profile, also for a
// hive the run loaded for a user who is not logged on.
PathList EveryUserShellFolder(RegistryView view, const std::wstring& valueName) {
    PathList keys;
    PathList folders;
    if (CollectUserSoftwareKeys(view, kShellFoldersKeyName, kExplorerSubPath, keys))
        for (const std::wstring& key : keys)
            if (auto folder = ReadUserShellFolder(view, key, valueName)) folders.push_back(*folder);
    return WithoutEmpty(folders);
}

PathList CommonShellFolder(RegistryView view, const std::wstring& valueName) {
    PathList keys;
    PathList folders;
    if (CollectKeyPaths(view, kMachineExplorerBase, kShellFoldersKeyName, keys))
        ReadStringValues(view, keys, valueName, folders);
    return WithoutEmpty(folders);
}

bool FindUserAppDataFolders(RegistryView view, const std::wstring& subPath, PathList& folders) {
    if (!IsSafeSubPath(subPath)) return false;
    const size_t before = folders.size();
    for (const std::wstring& appData : EveryUserShellFolder(view, L"AppData")) {
        std::wstring candidate = appData + L"\\" + subPath;
        if (IsFolder(candidate)) folders.push_back(candidate);
    }
    return folders.size() > before;
}

bool FindShortcuts(RegistryView view, ShellScope scope, const std::wstring& valueName, const PathList& names,
                   PathList& shortcuts) {
    const PathList folders = ScopeShellFolders(view, scope, valueName);
    for (const std::wstring& name : names) {
        if (!IsSafeSubPath(name)) continue;
        for (const std::wstring& folder : folders) {
            std::wstring candidate = folder + L"\\" + name + L".lnk";
            // Both registry views usually name the same all-users folder.
            if (scope == ShellScope::AllUsers && Contains(shortcuts, candidate)) continue;
            if (PathMatchesAnything(candidate)) shortcuts.push_back(candidate);
        }
    }
    return !shortcuts.empty();
}

// A sub-path with an empty piece ("\Name" for an empty TOOLNAME) would name the Programs folder itself.
bool FindMenuFolders(RegistryView view, ShellScope scope, const PathList& menuSubPaths, const PathList& names,
                     PathList& folders) {
    const PathList programsFolders = ScopeShellFolders(view, scope, L"Programs");
    const size_t before = folders.size();
    for (const std::wstring& subPath : menuSubPaths) {
        if (!IsSafeSubPath(subPath)) continue;
        for (const std::wstring& programs : programsFolders) {
            std::wstring candidate = programs + L"\\" + subPath;
            if (IsFolder(candidate) && !Contains(folders, candidate) && HoldsAnyShortcut(candidate, names))
                folders.push_back(candidate);
        }
    }
    return folders.size() > before;
}

bool FindUserSettingFiles(RegistryView view, const PathList& userIds, const Settings& settings, PathList& folders,
                          PathList& files) {
    PathList userFolders;
    for (const std::wstring& id : userIds)
        FindUserAppDataFolders(view, settings.CUSTOMER + L"\\Velkor\\Common\\Ferrow\\" + id, userFolders);

    const size_t before = folders.size() + files.size();
    for (const std::wstring& folder : userFolders) {
        std::wstring installData = folder + L"\\AppData\\Velkor\\install.dat";
        if (PathMatchesAnything(installData)) files.push_back(installData);
        std::wstring scheduler = folder + L"\\Scheduler\\";
        if (IsFolder(scheduler)) folders.push_back(scheduler);
    }
    return folders.size() + files.size() > before;
}

bool IsSafeSubPath(const std::wstring& subPath) {
    if (subPath.find_first_of(L"*?") != std::wstring::npos) return false;
    for (size_t start = 0;;) {
        const size_t end = subPath.find_first_of(L"\\/", start);
        // The last piece runs to the end: substr cuts the count npos - start down to what is left.
        if (IsEmptyPiece(subPath.substr(start, end - start))) return false;
        if (end == std::wstring::npos) return true;
        start = end + 1;
    }
}

}  // namespace Zento::Lithcore
