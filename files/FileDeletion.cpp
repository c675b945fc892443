#include "files/FileDeletion.h"

#include <shellapi.h>

#include "files/DeletablePaths.h"
#include "platform/FileSystem.h"
#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

namespace {

using System::Files;

constexpr FILEOP_FLAGS kSilentDeleteFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;  // 0x0414

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The errors of a file that is open elsewhere: the next start frees it.
bool MeansInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

void ClearReadOnly(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        Files().setFileAttributes(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool ScheduleForRestart(const std::wstring& path) {
    return Files().moveFileEx(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

// SHFileOperationW(FO_DELETE) of the folder, silent and without the recycle bin; no protection test.
// What it leaves, and why, the walk after it finds out.
void ShellDeleteTree(const std::wstring& folder) {
    std::wstring source = folder;
    source.append(2, L'\0');  // the shell's list form: each name NUL-ended, the list ended by one more NUL
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = source.c_str();
    operation.fFlags = kSilentDeleteFlags;
    Files().shellFileOperation(&operation);
}

// Access denied means a running image, a file pending deletion, or security that forbids the deletion.
// Only the last refuses an open for DELETE access (every sharing allowed); MOVEFILE_DELAY_UNTIL_REBOOT
// would succeed for an administrator in every case, so it cannot tell them apart. 0: in use.
DWORD RefusalOfDeleteAccess(const std::wstring& path) {
    UniqueHandle file(Files().createFile(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING,
                                             FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file) return 0;
    DWORD error = ::GetLastError();
    return error == ERROR_SHARING_VIOLATION ? 0 : error;
}

void Merge(DeletionResult& into, const DeletionResult& from) {
    into.failed.insert(into.failed.end(), from.failed.begin(), from.failed.end());
    into.scheduled.insert(into.scheduled.end(), from.scheduled.begin(), from.scheduled.end());
}

DeletionStatus StatusOf(const DeletionResult& result) {
    if (!result.failed.empty()) return DeletionStatus::Failed;
    if (!result.scheduled.empty()) return DeletionStatus::Scheduled;
    return DeletionStatus::Deleted;
}

// What to do about a file that DeleteFileW refused with `error`.
void HandleRefusal(const std::wstring& path, DWORD error, DeletionResult& result) {
    if (error == ERROR_ACCESS_DENIED) {
        DWORD refusal = RefusalOfDeleteAccess(path);
        if (refusal != 0) {
            result.failed.push_back({path, refusal});
            return;
        }
    } else if (!MeansInUse(error)) {
        result.failed.push_back({path, error});
        return;
    }
    if (ScheduleForRestart(path))
        result.scheduled.push_back(path);
    else
        result.failed.push_back({path, error});
}

// A file whose attributes are known (from a folder listing: a device name such as "nul" has none of its own).
DeletionResult RemoveFileWith(const std::wstring& path, DWORD attributes) {
    DeletionResult result;
    ClearReadOnly(path, attributes);
    if (Files().deleteFile(path.c_str())) return result;
    DWORD error = ::GetLastError();
    if (IsMissing(error)) return {DeletionStatus::Absent, {}, {}};
    HandleRefusal(path, error, result);
    result.status = StatusOf(result);
    return result;
}

// A junction or symbolic link is removed itself, never followed.
bool RemoveLink(const std::wstring& path, DWORD attributes) {
    ClearReadOnly(path, attributes);
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Files().removeDirectory(path.c_str()) != FALSE
                                                        : Files().deleteFile(path.c_str()) != FALSE;
}

// The path's attributes could not be read: gone (as `whenMissing` says), or failed with the error.
DeletionResult UnreadAttributes(const std::wstring& path, DeletionStatus whenMissing) {
    const DWORD error = ::GetLastError();
    if (IsMissing(error)) return {whenMissing, {}, {}};
    return {DeletionStatus::Failed, {{path, error}}, {}};
}

// The links below the folder go before the shell's deletion, which may follow them into other folders.
// False when one of them stays.
bool RemoveLinksBelow(const std::wstring& folder) {
    bool allRemoved = true;
    ForEachEntry(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
        if (IsLinkEntry(entry))
            allRemoved = RemoveLink(path, entry.dwFileAttributes) && allRemoved;
        else if (IsFolderEntry(entry))
            allRemoved = RemoveLinksBelow(path) && allRemoved;
    });
    return allRemoved;
}

// What is left of a folder after the shell's deletion, deepest first; the folder itself last.
DeletionResult RemoveRemainder(const std::wstring& folder, DWORD attributes) {
    DeletionResult result;
    ClearReadOnly(folder, attributes);
    ForEachEntry(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
        if (IsFolderEntry(entry) && !IsLinkEntry(entry))
            Merge(result, RemoveRemainder(path, entry.dwFileAttributes));
        else if (IsFolderEntry(entry) && !RemoveLink(path, entry.dwFileAttributes))
            result.failed.push_back({path, ::GetLastError()});
        else if (!IsFolderEntry(entry))
            Merge(result, RemoveFileWith(path, entry.dwFileAttributes));
    });
    if (!Files().removeDirectory(folder.c_str())) {
        DWORD error = ::GetLastError();
        // A folder that holds only what goes at the next start goes then too, after its content.
        if (result.failed.empty() && !result.scheduled.empty() && ScheduleForRestart(folder))
            result.scheduled.push_back(folder);
        else if (!IsMissing(error))
            result.failed.push_back({folder, error});
    }
    result.status = StatusOf(result);
    return result;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

// A file reached through a link that someone else may have made, or through a share of this computer.
bool IsReachedAroundTheRules(const std::wstring& path) {
    const PathRefusal refusal = JudgeDeletablePath(path, false, {});
    return refusal == PathRefusal::ThroughLink || refusal == PathRefusal::LocalShare;
}

}  // namespace

DeletionResult RemoveFile(const std::wstring& path) {
    if (!HasDriveOrUncPrefix(path)) return {DeletionStatus::Failed, {{path, ERROR_BAD_PATHNAME}}, {}};
    if (IsReachedAroundTheRules(path)) return {DeletionStatus::Refused, {{path, ERROR_ACCESS_DENIED}}, {}};
    DWORD attributes = Files().getFileAttributes(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return UnreadAttributes(path, DeletionStatus::Absent);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {DeletionStatus::Failed, {{path, ERROR_DIRECTORY}}, {}};
    return RemoveFileWith(path, attributes);
}

DeletionResult RemoveFolder(const std::wstring& folder, const PathList& protectedFolders) {
    std::wstring path = WithoutTrailingSeparator(folder);
    DWORD attributes = Files().getFileAttributes(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return UnreadAttributes(folder, DeletionStatus::Absent);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {DeletionStatus::Failed, {{folder, ERROR_DIRECTORY}}, {}};
    if (!IsDeletableFolder(path, protectedFolders))
        return {DeletionStatus::Refused, {{folder, ERROR_ACCESS_DENIED}}, {}};
    // Neither the shell nor the walk below may enter it: the link goes, what it leads to stays.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return RemoveLink(path, attributes) ? DeletionResult{}
                                            : DeletionResult{DeletionStatus::Failed, {{path, ::GetLastError()}}, {}};
    // The shell follows a link that is left, so it is not asked then; the walk below removes links itself.
    if (RemoveLinksBelow(path)) ShellDeleteTree(path);
    attributes = Files().getFileAttributes(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return UnreadAttributes(folder, DeletionStatus::Deleted);
    return RemoveRemainder(path, attributes);
}

}  // namespace Zento::Lithcore
