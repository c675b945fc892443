#pragma once
// A System Restore point around a set of system changes (srclient.dll's SRSetRestorePointW).
#include <windows.h>
#include <srrestoreptapi.h>

#include <string>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

using SetRestorePointFn = BOOL(WINAPI*)(PRESTOREPOINTINFOW pointInfo, PSTATEMGRSTATUS status);

// Gives the number of the newest restore point there is (0: there is none); false when the points
// cannot be listed.
using NewestRestorePointFn = bool (*)(INT64& sequenceNumber);

// Move-only: a point that began and was not ended is ended when its owner goes away.
//
// A begun point is always ended (END_SYSTEM_CHANGE), never cancelled (CANCELLED_OPERATION), even when the
// removal stopped early: whatever it changed by then is exactly what the point exists to undo. And within
// the creation frequency (by default one point a day, since Windows 8) Windows makes no new point but hands
// back the number of the latest one, so a cancel could remove a point that is not ours.
//
// That answer is a success like any other. It is told apart by the newest point's number, read before the
// call: a number that is not above it names a point made earlier, which this run neither began nor ends.
class RestorePoint {
public:
    // Asks Windows to begin a point of type "application uninstall" named `description` (cut to the
    // longest description Windows takes). Never fails loudly: see Began and Error.
    static RestorePoint Begin(const std::wstring& description);
    // The same with SRSetRestorePointW given (null: as if srclient.dll lacked it) and the reader of the
    // newest point (null: as if the points could not be listed; Windows' answer is then taken as it is).
    static RestorePoint BeginWith(SetRestorePointFn setRestorePoint, NewestRestorePointFn newestPoint,
                                  const std::wstring& description);

    RestorePoint(RestorePoint&& other) noexcept;
    ~RestorePoint();

    // A point that this run began, and ends.
    bool Began() const noexcept { return began_; }
    // Windows made no point and named an earlier one (within its creation frequency); it is not ended.
    bool Earlier() const noexcept { return earlier_; }
    // The point's number as Windows gave it (the earlier point's when Earlier); 0 when none was named.
    INT64 SequenceNumber() const noexcept { return sequenceNumber_; }
    // Why it did not begin: the load error of srclient.dll (or ERROR_PROC_NOT_FOUND), or the status Windows
    // answered, e.g. ERROR_SERVICE_DISABLED when System Protection is off. ERROR_SUCCESS when it began or
    // Windows named an earlier point.
    DWORD Error() const noexcept { return error_; }

    // Ends the point: ERROR_SUCCESS, the status Windows answered, or ERROR_INVALID_STATE when no point is
    // open (it never began, or was ended already).
    [[nodiscard]] DWORD End();

private:
    RestorePoint() = default;

    UniqueModule srclient_;
    SetRestorePointFn setRestorePoint_ = nullptr;
    bool began_ = false;
    bool earlier_ = false;
    bool open_ = false;
    INT64 sequenceNumber_ = 0;
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace Zento::Lithcore
