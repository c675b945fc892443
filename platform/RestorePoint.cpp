#include "platform/RestorePoint.h"

#include <wbemidl.h>

#include <algorithm>
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

// Every wait has a limit: one point of the list.
constexpr long kPointWaitMs = 30000;

// The process's COM security lets callers only identify it; WMI must be allowed to impersonate.
bool AllowImpersonation(IUnknown* proxy) {
    return SUCCEEDED(::CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
}

// SequenceNumber is a uint32, which WMI hands over as VT_I4.
bool ReadSequenceNumber(IWbemClassObject* point, INT64& number) {
    VARIANT value;
    ::VariantInit(&value);
    if (FAILED(point->Get(L"SequenceNumber", 0, &value, nullptr, nullptr))) return false;
    const bool read = value.vt == VT_I4 || value.vt == VT_UI4;
    if (read) number = value.ulVal;
    ::VariantClear(&value);
    return read;
}

// The newest point as WMI lists System Restore's points (ROOT\DEFAULT, class SystemRestore). Needs COM
// initialized on the calling thread.
bool ReadNewestRestorePoint(INT64& sequenceNumber) {
    UniqueComReference<IWbemLocator> locator;
    if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  reinterpret_cast<void**>(locator.Put()))))
        return false;
    UniqueBstr space(::SysAllocString(L"ROOT\\DEFAULT")), language(::SysAllocString(L"WQL")),
        query(::SysAllocString(L"SELECT SequenceNumber FROM SystemRestore"));
    UniqueComReference<IWbemServices> services;
    if (FAILED(locator.Get()->ConnectServer(space.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                            services.Put())) ||
        !AllowImpersonation(services.Get()))
        return false;
    UniqueComReference<IEnumWbemClassObject> points;
    if (FAILED(services.Get()->ExecQuery(language.Get(), query.Get(),
                                         WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                         points.Put())) ||
        !AllowImpersonation(points.Get()))
        return false;
    INT64 newest = 0;
    for (;;) {
        UniqueComReference<IWbemClassObject> point;
        ULONG returned = 0;
        const HRESULT next = points.Get()->Next(kPointWaitMs, 1, point.Put(), &returned);
        if (next == WBEM_S_FALSE && returned == 0) break;  // the end of the list
        if (next != WBEM_S_NO_ERROR || returned != 1) return false;  // a failure or WBEM_S_TIMEDOUT
        INT64 number = 0;
        if (!ReadSequenceNumber(point.Get(), number)) return false;
        newest = std::max(newest, number);
    }
    sequenceNumber = newest;
    return true;
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
    RestorePoint point = BeginWith(setRestorePoint, &ReadNewestRestorePoint, description);
    point.srclient_ = std::move(srclient);
    return point;
}

RestorePoint RestorePoint::BeginWith(SetRestorePointFn setRestorePoint, NewestRestorePointFn newestPoint,
                                     const std::wstring& description) {
    RestorePoint point;
    if (setRestorePoint == nullptr) {
        point.error_ = ERROR_PROC_NOT_FOUND;
        return point;
    }
    INT64 newestBefore = 0;
    const bool listed = newestPoint != nullptr && newestPoint(newestBefore);
    RESTOREPOINTINFOW pointInfo = {};
    pointInfo.dwEventType = BEGIN_SYSTEM_CHANGE;
    pointInfo.dwRestorePtType = APPLICATION_UNINSTALL;
    description.copy(pointInfo.szDescription, MAX_DESC_W - 1);
    STATEMGRSTATUS status = {};
    if (!setRestorePoint(&pointInfo, &status)) {
        point.error_ = RefusalStatus(status);
        return point;
    }
    point.sequenceNumber_ = status.llSequenceNumber;
    if (listed && newestBefore > 0 && status.llSequenceNumber <= newestBefore) {
        point.earlier_ = true;
        return point;
    }
    point.setRestorePoint_ = setRestorePoint;
    point.began_ = true;
    point.open_ = true;
    return point;
}

RestorePoint::RestorePoint(RestorePoint&& other) noexcept
    : srclient_(std::move(other.srclient_)),
      setRestorePoint_(other.setRestorePoint_),
      began_(other.began_),
      earlier_(other.earlier_),
      open_(std::exchange(other.open_, false)),
      sequenceNumber_(other.sequenceNumber_),
      error_(other.error_) {}

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
