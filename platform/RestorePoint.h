#pragma once
// A System Restore point around a set of system changes (srclient.dll's SRSetRestorePointW).
#include <windows.h>
#include <srrestoreptapi.h>

#include <string>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

using SetRestorePointFn = BOOL(WINAPI*)(PRESTOREPOINTINFOW pointInfo, PSTATEMGRSTATUS status);

// Move-only: a point that began and was not ended is ended when its owner goes away.
//
// A begun point is always ended (END_SYSTEM_CHANGE), never cancelled (CANCELLED_OPERATION), even when the
// removal stopped early: whatever it changed by then is exactly what the point exists to undo. And within
// the creation frequency (by default one point a day, since Windows 8) Windows makes no new point but hands
// back the number of the latest one, so a cancel could remove a point that is not ours.
class RestorePoint {
public:
    // Asks Windows to begin a point of type "application uninstall" named `description` (cut to the
    // longest description Windows takes). Never fails loudly: see Began and Error.
    static RestorePoint Begin(const std::wstring& description);
    // The same with SRSetRestorePointW given (null: as if srclient.dll lacked it).
    static RestorePoint BeginWith(SetRestorePointFn setRestorePoint, const std::wstring& description);

    RestorePoint(RestorePoint&& other) noexcept;
    RestorePoint& operator=(RestorePoint&& other) noexcept;
    RestorePoint(const RestorePoint&) = delete;
    RestorePoint& operator=(const RestorePoint&) = delete;
    ~RestorePoint();

    bool Began() const noexcept { return began_; }
    // The point's number as Windows gave it; 0 when it did not begin.
    INT64 SequenceNumber() const noexcept { return sequenceNumber_; }
    // Why it did not begin: the load error of srclient.dll (or ERROR_PROC_NOT_FOUND), or the status Windows
    // answered, e.g. ERROR_SERVICE_DISABLED when System Protection is off. ERROR_SUCCESS when it began.
    DWORD Error() const noexcept { return error_; }

    // Ends the point: ERROR_SUCCESS, the status Windows answered, or ERROR_INVALID_STATE when no point is
    // open (it never began, or was ended already).
    [[nodiscard]] DWORD End();

private:
    RestorePoint() = default;

    UniqueModule srclient_;
    SetRestorePointFn setRestorePoint_ = nullptr;
    bool began_ = false;
    bool open_ = false;
    INT64 sequenceNumber_ = 0;
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace Zento::Lithcore
