#include "platform/RestorePoint.h"

#include <utility>

#include "platform/SystemLibrary.h"

namespace Zento::Lithcore {

// srclient.dll reads these byte-packed, as the system header lays them out.
static_assert(sizeof(RESTOREPOINTINFOW) == 4 + 4 + 8 + MAX_DESC_W * sizeof(WCHAR), "RESTOREPOINTINFOW layout");
static_assert(sizeof(STATEMGRSTATUS) == 4 + 8, "STATEMGRSTATUS layout");

namespace {

// The status of a refused call; never ERROR_SUCCESS, so a refusal cannot read as success.
DWORD RefusalStatus(const STATEMGRSTATUS& status) {
    if (status.nStatus != ERROR_SUCCESS) return status.nStatus;
    DWORD last = ::GetLastError();
    return last != ERROR_SUCCESS ? last : ERROR_GEN_FAILURE;
}

}  // namespace

RestorePoint RestorePoint::Begin(const std::wstring& description) {
    DWORD error = ERROR_SUCCESS;
    // Loaded at run time as Windows asks: the library is missing where System Restore is not installed.
    UniqueModule srclient = LoadSystemLibrary(L"srclient.dll", error);
    if (!srclient) {
        RestorePoint point;
        point.error_ = error;
        return point;
    }
    auto setRestorePoint = ProcAddress<SetRestorePointFn>(srclient.Get(), "SRSetRestorePointW");
    RestorePoint point = BeginWith(setRestorePoint, description);
    point.srclient_ = std::move(srclient);
    return point;
}

RestorePoint RestorePoint::BeginWith(SetRestorePointFn setRestorePoint, const std::wstring& description) {
    RestorePoint point;
    if (setRestorePoint == nullptr) {
        point.error_ = ERROR_PROC_NOT_FOUND;
        return point;
    }
    RESTOREPOINTINFOW pointInfo = {};
    pointInfo.dwEventType = BEGIN_SYSTEM_CHANGE;
    pointInfo.dwRestorePtType = APPLICATION_UNINSTALL;
    description.copy(pointInfo.szDescription, MAX_DESC_W - 1);
    STATEMGRSTATUS status = {};
    if (!setRestorePoint(&pointInfo, &status)) {
        point.error_ = RefusalStatus(status);
        return point;
    }
    point.setRestorePoint_ = setRestorePoint;
    point.began_ = true;
    point.open_ = true;
    point.sequenceNumber_ = status.llSequenceNumber;
    return point;
}

RestorePoint::RestorePoint(RestorePoint&& other) noexcept
    : srclient_(std::move(other.srclient_)),
      setRestorePoint_(other.setRestorePoint_),
      began_(other.began_),
      open_(std::exchange(other.open_, false)),
      sequenceNumber_(other.sequenceNumber_),
      error_(other.error_) {}

RestorePoint& RestorePoint::operator=(RestorePoint&& other) noexcept {
    if (this != &other) {
        if (open_) (void)End();
        srclient_ = std::move(other.srclient_);
        setRestorePoint_ = other.setRestorePoint_;
        began_ = other.began_;
        open_ = std::exchange(other.open_, false);
        sequenceNumber_ = other.sequenceNumber_;
        error_ = other.error_;
    }
    return *this;
}

RestorePoint::~RestorePoint() {
    if (open_) (void)End();  // nobody is left to hear how it went
}

DWORD RestorePoint::End() {
    if (!open_) return ERROR_INVALID_STATE;
    open_ = false;
    RESTOREPOINTINFOW pointInfo = {};
    pointInfo.dwEventType = END_SYSTEM_CHANGE;
    pointInfo.dwRestorePtType = APPLICATION_UNINSTALL;
    pointInfo.llSequenceNumber = sequenceNumber_;
    STATEMGRSTATUS status = {};
    return setRestorePoint_(&pointInfo, &status) ? ERROR_SUCCESS : RefusalStatus(status);
}

}  // namespace Zento::Lithcore
