#pragma once
// Deleting one file or folder of the product and saying how it ended. What Windows refuses is mended
// where it can be: a read-only attribute is cleared, and a file in use (an open file, a loaded exe or
// DLL) is scheduled for deletion at the next start (MOVEFILE_DELAY_UNTIL_REBOOT), with the folders
// that hold it. A file whose security forbids its deletion is not scheduled: it has failed.
// Every file call goes through System::Files() (platform/FileSystem.h).
#include <windows.h>

#include "files/DeletablePaths.h"

namespace Zento::Lithcore {

enum class DeletionStatus {
    Deleted,    // gone now
    Absent,     // was not there
    Scheduled,  // goes at the next start (the whole target, or something inside it)
    Refused,    // a folder that must never be deleted (IsDeletableFolder), or a path reached through a link
                // that someone else may have made or through a share of this computer (JudgeDeletablePath)
    Failed,     // something of it remains
};

struct PathError {
    std::wstring path;
    DWORD error;  // the Win32 error that refused the deletion
};

struct DeletionResult {
    DeletionStatus status = DeletionStatus::Deleted;
    std::vector<PathError> failed;  // what remains, each with its error
    PathList scheduled;             // what goes at the next start
};

// A path without drive or share is never deleted (Failed, ERROR_BAD_PATHNAME): it means the current drive.
// A file that is a symbolic link goes as a link.
[[nodiscard]] DeletionResult RemoveFile(const std::wstring& path);

// SHFileOperationW first, as every folder deletion; then whatever it left is deleted entry by entry.
// A folder that is itself a junction or symbolic link goes as a link, and no link is entered.
[[nodiscard]] DeletionResult RemoveFolder(const std::wstring& folder, const PathList& protectedFolders);

}  // namespace Zento::Lithcore
