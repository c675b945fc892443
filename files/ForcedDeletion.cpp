#include "files/ForcedDeletion.h"

#include "files/FileRemoval.h"
#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

namespace {

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The errors of a file that is open elsewhere or loaded as an image: the next start frees it.
bool MeansInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

void ClearReadOnly(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

bool ScheduleForRestart(const std::wstring& path) {
    return ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
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

// A file whose attributes are known (from a folder listing: a device name such as "nul" has none of its own).
DeletionResult RemoveFileWith(const std::wstring& path, DWORD attributes) {
    DeletionResult result;
    ClearReadOnly(path, attributes);
    if (::DeleteFileW(path.c_str())) return result;
    DWORD error = ::GetLastError();
    if (IsMissing(error)) {
        result.status = DeletionStatus::Absent;
        return result;
    }
    if (MeansInUse(error) && ScheduleForRestart(path)) {
        result.scheduled.push_back(path);
    } else {
        result.failed.push_back({path, error});
    }
    result.status = StatusOf(result);
    return result;
}

// What is left of a folder after the shell's deletion, deepest first; the folder itself last.
DeletionResult RemoveRemainder(const std::wstring& folder, DWORD attributes) {
    DeletionResult result;
    ClearReadOnly(folder, attributes);
    WIN32_FIND_DATAW data;
    {
        UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (find) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring path = folder + L"\\" + name;
                bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                bool isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                if (isFolder && !isLink) {
                    Merge(result, RemoveRemainder(path, data.dwFileAttributes));
                } else if (isFolder) {
                    // A junction is removed itself, never followed.
                    ClearReadOnly(path, data.dwFileAttributes);
                    if (!::RemoveDirectoryW(path.c_str())) result.failed.push_back({path, ::GetLastError()});
                } else {
                    Merge(result, RemoveFileWith(path, data.dwFileAttributes));
                }
            } while (::FindNextFileW(find.Get(), &data));
        }
    }
    if (!::RemoveDirectoryW(folder.c_str())) {
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

}  // namespace

DeletionResult RemoveFile(const std::wstring& path) {
    if (!HasDriveOrUncPrefix(path)) return {DeletionStatus::Failed, {{path, ERROR_BAD_PATHNAME}}, {}};
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = ::GetLastError();
        if (IsMissing(error)) return {DeletionStatus::Absent, {}, {}};
        return {DeletionStatus::Failed, {{path, error}}, {}};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {DeletionStatus::Failed, {{path, ERROR_DIRECTORY}}, {}};
    return RemoveFileWith(path, attributes);
}

DeletionResult RemoveFolder(const std::wstring& folder, const PathList& protectedFolders) {
    std::wstring path = WithoutTrailingSeparator(folder);
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = ::GetLastError();
        if (IsMissing(error)) return {DeletionStatus::Absent, {}, {}};
        return {DeletionStatus::Failed, {{folder, error}}, {}};
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {DeletionStatus::Failed, {{folder, ERROR_DIRECTORY}}, {}};
    if (!IsDeletableFolder(path, protectedFolders))
        return {DeletionStatus::Refused, {{folder, ERROR_ACCESS_DENIED}}, {}};
    if (ShellDeleteTree(path) && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
    attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    return RemoveRemainder(path, attributes);
}

}  // namespace Zento::Lithcore
