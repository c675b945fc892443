#include "files/DeletablePaths.h"

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwctype>

#include "files/ShellFolders.h"
#include "platform/Environment.h"
#include "platform/AdministratorsOnly.h"
#include "platform/FileSystem.h"
#include "platform/UniqueResource.h"
#include "registry/Names.h"
#include "registry/UserHives.h"

namespace Zento::Lithcore {

namespace {

std::wstring WithoutTrailingBackslash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// ---- folders that must never be deleted ----

// Absolute, long-name form without a trailing backslash (a root keeps its own); empty for an empty path.
std::wstring NormalizedFolder(const std::wstring& path) {
    if (path.empty()) return {};
    std::wstring full = LongPathOf(FullPathOf(path));
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

// ---- the folders a path passes through ----

// Where the first folder of a normalized path starts: after "X:\\" or after "\\\\server\\share\\".
size_t FirstPartAt(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':') return 3;
    const size_t server = path.find(L'\\', 2);
    const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() : share + 1;
}

// The drive or share root of a normalized path, then each folder below it down to the path itself.
PathList PathsOnTheWay(const std::wstring& path) {
    PathList paths;
    const size_t first = FirstPartAt(path);
    paths.push_back(path[1] == L':' ? path.substr(0, 3) : WithoutTrailingBackslash(path.substr(0, first)));
    for (size_t cut = path.find(L'\\', first); cut != std::wstring::npos; cut = path.find(L'\\', cut + 1))
        paths.push_back(path.substr(0, cut));
    if (path.size() > first) paths.push_back(path);
    return paths;
}

// Where an open of the normalized path really arrives: the final path of the deepest existing folder on the
// way (of the path itself too when `throughItself`), with the rest of the path as written. A target is not
// resolved itself: a link is deleted where it lies.
std::wstring ReachedPath(const std::wstring& path, bool throughItself) {
    PathList way = PathsOnTheWay(path);
    if (!throughItself && way.size() > 1) way.pop_back();
    for (auto at = way.rbegin(); at != way.rend(); ++at) {
        std::wstring final = FinalPathOf(*at);
        if (final.empty()) continue;
        const std::wstring rest = path.substr(at->size());  // "" or "\\..."
        if (!rest.empty()) final = WithoutTrailingBackslash(final) + (rest[0] == L'\\' ? rest : L"\\" + rest);
        return final;
    }
    return path;
}

void AddProtected(PathList& folders, const std::wstring& path) {
    if (path.empty() || path.find(L'%') != std::wstring::npos) return;
    std::wstring normalized = NormalizedFolder(path);
    if (normalized.empty()) return;
    folders.push_back(normalized);
    // The folder as an open reaches it, so that a spelling through a link is known too.
    std::wstring reached = ReachedPath(normalized, true);
    if (!SamePath(reached, normalized)) folders.push_back(reached);
}

constexpr int kProtectedCsidls[] = {
    CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_COMMON_APPDATA, CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_FONTS, CSIDL_PROFILE,
    CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PROGRAMS,
    CSIDL_COMMON_PROGRAMS, CSIDL_STARTUP, CSIDL_COMMON_STARTUP, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
    CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_TEMPLATES, CSIDL_TEMPLATES};

void AddSpecialFolders(PathList& folders) {
    for (int csidl : kProtectedCsidls) AddProtected(folders, GetSpecialFolderPath(csidl));
    std::wstring windows = GetSpecialFolderPath(CSIDL_WINDOWS);
    if (!windows.empty()) AddProtected(folders, windows + L"\\Installer");
    // The native folders, which CSIDLs hide from a 32-bit process on 64-bit Windows.
    AddProtected(folders, ExpandEnvironment(L"%ProgramW6432%"));
    AddProtected(folders, ExpandEnvironment(L"%CommonProgramW6432%"));
}

// Both registry views are read, so the answer does not depend on the view the caller runs in.
void AddRegisteredFolders(PathList& folders) {
    for (RegistryView view : {RegistryView::Bits64, RegistryView::Bits32}) {
        for (const std::wstring& folder : ShellFoldersOfEveryone(view)) AddProtected(folders, folder);
        for (const std::wstring& folder : ProfileListFolders(view)) AddProtected(folders, folder);
    }
    // The folder that holds the profiles, also where the profile list does not name it.
    std::wstring profile = NormalizedFolder(GetSpecialFolderPath(CSIDL_PROFILE));
    size_t cut = profile.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 2) AddProtected(folders, profile.substr(0, cut));
}

bool HasDotPart(const std::wstring& path) {
    const std::wstring parts = L"\\" + path + L"\\";
    return parts.find(L"\\.\\") != std::wstring::npos || parts.find(L"\\..\\") != std::wstring::npos;
}

bool IsCachedInstallerFile(const std::wstring& path, const std::wstring& windowsFolder, const wchar_t* extension) {
    if (!HasDriveOrUncPrefix(path) || !HasDriveOrUncPrefix(windowsFolder)) return false;
    if (path.find_first_of(L"/*?\"<>|") != std::wstring::npos || HasDotPart(path) || HasDotPart(windowsFolder)) return false;
    const std::wstring folder = WithoutTrailingBackslash(windowsFolder) + L"\\Installer\\";
    if (path.size() <= folder.size() || !IsAtOrBelow(path, folder)) return false;
    const std::wstring name = path.substr(folder.size());
    // A colon names a stream of some other file; a name of the extension alone is no package.
    return name.find_first_of(L"\\:") == std::wstring::npos && name.size() > 4 &&
           NamesEqual(name.substr(name.size() - 4), extension);
}

// ---- shares that lead back to this computer ----

bool IsLoopbackAddress(const std::wstring& server) {
    if (server == L"::1" || server == L"[::1]" || NamesEqual(server, L"0--1.ipv6-literal.net")) return true;
    return server.rfind(L"127.", 0) == 0 && server.find_first_not_of(L"0123456789.") == std::wstring::npos;
}

bool IsThisComputer(const std::wstring& server) {
    if (NamesEqual(server, L"localhost") || IsLoopbackAddress(server)) return true;
    for (COMPUTER_NAME_FORMAT format : {ComputerNameNetBIOS, ComputerNameDnsHostname, ComputerNameDnsFullyQualified}) {
        wchar_t name[256] = {};
        DWORD size = 256;
        if (::GetComputerNameExW(format, name, &size) && size > 0 && NamesEqual(server, std::wstring(name, size)))
            return true;
    }
    return false;
}

// C$, D$..., ADMIN$: a whole volume or the Windows folder of whatever computer, this one under any of
// its addresses included.
bool IsAdministrativeShare(const std::wstring& share) {
    return (share.size() == 2 && std::iswalpha(share[0]) && share[1] == L'$') || NamesEqual(share, L"ADMIN$");
}

bool IsShareOfThisComputer(const std::wstring& path) {
    size_t at = 0;
    if (path.size() > 8 && NamesEqual(path.substr(0, 8), L"\\\\?\\UNC\\"))
        at = 8;
    else if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] != L'?' && path[2] != L'.')
        at = 2;
    else
        return false;
    const size_t serverEnd = path.find_first_of(L"\\/", at);
    const std::wstring server = path.substr(at, serverEnd - at);
    const size_t shareEnd = serverEnd == std::wstring::npos ? serverEnd : path.find_first_of(L"\\/", serverEnd + 1);
    const std::wstring share =
        serverEnd == std::wstring::npos ? std::wstring() : path.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    return IsThisComputer(server) || IsAdministrativeShare(share);
}

// ---- links on the way ----

// The owner of the link itself, not of where it leads; false when it cannot be read.
bool IsLinkOfTrustedOwner(const std::wstring& link) {
    UniqueHandle opened(System::Files().createFile(link.c_str(), READ_CONTROL,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                                   nullptr));
    if (!opened) return false;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (System::Files().getSecurityInfo(opened.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    UniqueLocalMemory held(descriptor);
    return IsTrustedSid(owner);
}

// A folder above the normalized path (the path itself aside) that is a link someone else may have made.
bool PassesUntrustedLink(const std::wstring& path) {
    PathList way = PathsOnTheWay(path);
    way.pop_back();
    for (size_t at = 1; at < way.size(); ++at) {  // a drive or share root is no link
        const DWORD attributes = System::Files().getFileAttributes(way[at].c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;  // nothing below it to pass through
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !IsLinkOfTrustedOwner(way[at])) return true;
    }
    return false;
}

std::wstring ParentOf(const std::wstring& path) {
    const std::wstring parent = FolderOf(path);
    return parent.size() == 2 && parent[1] == L':' ? parent + L"\\" : parent;
}

// One of the paths is the folder or lies below it.
bool HoldsAny(const std::wstring& folder, const PathList& paths) {
    return std::ranges::any_of(paths, [&](const std::wstring& path) { return IsAtOrBelow(path, folder); });
}

// ---- the product's folders ----

bool IsKeptFile(const std::wstring& file, const PathList& keepPaths) {
    return std::any_of(keepPaths.begin(), keepPaths.end(),
                       [&](const std::wstring& kept) { return SamePath(file, kept); });
}

void Append(PathList& to, const PathList& from) { to.insert(to.end(), from.begin(), from.end()); }

// FILE_ATTRIBUTE_REPARSE_POINT on the path itself: a junction or symbolic link, never to be entered.
bool IsLink(const std::wstring& path) {
    const DWORD attributes = System::Files().getFileAttributes(WithoutTrailingBackslash(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool HasDriveOrUncPrefix(const std::wstring& path) {
    if (path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') return true;
    return path.size() > 2 && path.rfind(L"\\\\", 0) == 0 && path[2] != L'\\' && path[2] != L'?' && path[2] != L'.';
}

bool IsCachedInstallerPackage(const std::wstring& path, const std::wstring& windowsFolder) {
    return IsCachedInstallerFile(path, windowsFolder, L".msi");
}

bool IsCachedPatchPackage(const std::wstring& path, const std::wstring& windowsFolder) {
    return IsCachedInstallerFile(path, windowsFolder, L".msp");
}

PathRefusal JudgeDeletablePath(const std::wstring& path, bool isFolder, const PathList& protectedFolders) {
    if (IsShareOfThisComputer(path)) return PathRefusal::LocalShare;
    if (!HasDriveOrUncPrefix(path) || path.find_first_of(L"*?") != std::wstring::npos) return PathRefusal::BadPath;
    const std::wstring normalized = NormalizedFolder(path);
    if (normalized.empty()) return PathRefusal::BadPath;
    if (IsShareOfThisComputer(normalized)) return PathRefusal::LocalShare;
    // A file is judged by the folder it lies in, which it is reached through.
    const std::wstring folder = isFolder ? normalized : ParentOf(normalized);
    if (folder.empty() || ::PathIsRootW(folder.c_str())) return PathRefusal::BadPath;
    // Also refused: a folder that holds a protected one (a user's profile holds that user's AppData).
    if (HoldsAny(folder, protectedFolders) || HoldsAny(ReachedPath(folder, !isFolder), protectedFolders))
        return PathRefusal::Protected;
    if (PassesUntrustedLink(normalized)) return PathRefusal::ThroughLink;
    return PathRefusal::None;
}

bool IsDeletableFolder(const std::wstring& folder, const PathList& protectedFolders) {
    return JudgeDeletablePath(folder, true, protectedFolders) == PathRefusal::None;
}

// Protected-folder lookups can in principle throw (out of memory): then nothing counts as deletable.
std::optional<PathList> ReadProtectedFolders() {
    try {
        PathList folders;
        AddSpecialFolders(folders);
        AddRegisteredFolders(folders);
        return folders;
    } catch (...) {
        return std::nullopt;
    }
}

PathList ListFiles(const std::wstring& folder) {
    PathList files;
    const std::wstring base = WithoutTrailingBackslash(folder);
    if (IsLink(base)) return files;
    ForEachEntry(base, [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
        if (!IsFolderEntry(entry)) files.push_back(path);
    });
    return files;
}

PathList ListFolders(const std::wstring& folder) {
    PathList folders;
    const std::wstring base = WithoutTrailingBackslash(folder);
    if (IsLink(base)) return folders;
    ForEachEntry(base, [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
        if (!IsFolderEntry(entry)) return;
        folders.push_back(path);
        if (!IsLinkEntry(entry)) Append(folders, ListFolders(path));
    });
    return folders;
}

void PlanProductFolders(const PathList& productFolders, const PathList& keepPaths, const PathList& protectedFolders,
                        PathList& folders, PathList& files) {
    PathList candidateFolders;
    for (const std::wstring& folder : productFolders) {
        // An empty or system folder here would turn the walk below into a walk over other programs' folders.
        if (!IsDeletableFolder(folder, protectedFolders)) continue;
        // A link goes whole, as a link; one that the kept files are reached through stays.
        if (!HoldsAny(folder, keepPaths)) {
            folders.push_back(folder);
        } else if (!IsLink(folder)) {
            candidateFolders.push_back(folder);
            Append(candidateFolders, ListFolders(folder));
        }
    }

    for (const std::wstring& candidate : candidateFolders) {
        if (!HoldsAny(candidate, keepPaths)) {
            folders.push_back(candidate);
            continue;
        }
        for (const std::wstring& file : ListFiles(candidate))
            if (!IsKeptFile(file, keepPaths)) files.push_back(file);
    }
}

}  // namespace Zento::Lithcore
