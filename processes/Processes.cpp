#include "processes/Processes.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "platform/FileSystem.h"

namespace Zento::Lithcore {

namespace {

constexpr DWORD MaxHandlesPerWait = MAXIMUM_WAIT_OBJECTS;
// Terminate to end it, synchronize to await its end, query to read its image path.
constexpr DWORD TerminationAccess = PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;

const System::ProcessApi& SystemProcessApi() {
    static const System::ProcessApi table{&::OpenProcess, &::OpenMutexW};
    return table;
}

const System::ProcessApi* g_processApi = nullptr;

HANDLE OpenProcessById(DWORD access, DWORD processId) { return System::ProcessCalls().openProcess(access, FALSE, processId); }

std::wstring ImagePathOfHandle(HANDLE process) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = static_cast<DWORD>(path.size());
        if (::QueryFullProcessImageNameW(process, 0, path.data(), &length)) {
            path.resize(length);
            return path;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 32768) return std::wstring();
        path.resize(path.size() * 2);
    }
}

// Only a path with a tilde can hold an 8.3 name, so only such image paths are resolved.
bool IsImageAt(const std::wstring& imagePath, const std::wstring& wantedLongPath) {
    if (imagePath.empty()) return false;
    if (SamePath(imagePath, wantedLongPath)) return true;
    return imagePath.find(L'~') != std::wstring::npos && SamePath(LongPathOf(imagePath), wantedLongPath);
}

// TerminateProcess only starts the end: the process may hold its image mapped a moment longer, so
// its end is awaited before its files are deleted.
StepResult TerminateAndAwait(HANDLE process, DWORD waitLimitMs) {
    // A process that is already ending refuses the termination; its end is awaited all the same.
    const DWORD terminateError = ::TerminateProcess(process, 0) ? ERROR_SUCCESS : ::GetLastError();
    switch (::WaitForSingleObject(process, waitLimitMs)) {
        case WAIT_OBJECT_0: return StepResult::Success();
        case WAIT_TIMEOUT:
            return StepResult::Failure(terminateError != ERROR_SUCCESS ? terminateError : static_cast<DWORD>(WAIT_TIMEOUT));
        default: return StepResult::Failure(::GetLastError());
    }
}

// Ends the listed process when it runs the wanted image. A process id is reused once its process is
// gone, so the image path is read through the very handle that terminates: what is checked is what
// ends. A process that refuses the termination rights is looked at once more, only to tell whether
// it is one of ours that stays (a failure) or a stranger (none of our business).
StepResult TerminateIfImageAt(DWORD processId, const std::wstring& wantedLongPath, DWORD waitLimitMs) {
    UniqueHandle process(OpenProcessById(TerminationAccess, processId));
    if (process) {
        if (!IsImageAt(ImagePathOfHandle(process.Get()), wantedLongPath)) return StepResult::Success();
        return TerminateAndAwait(process.Get(), waitLimitMs);
    }
    const DWORD error = ::GetLastError();
    // The id names no process any more: it ended after the walk.
    if (error == ERROR_INVALID_PARAMETER) return StepResult::Success();
    UniqueHandle looked(OpenProcessById(PROCESS_QUERY_LIMITED_INFORMATION, processId));
    const bool ours = looked && IsImageAt(ImagePathOfHandle(looked.Get()), wantedLongPath);
    return ours ? StepResult::Failure(error) : StepResult::Success();
}

// The product's status block, opened read-only and mapped whole; never created here, so the run
// leaves no block of its own behind for the product to find.
struct MappedStatusBlock {
    UniqueHandle mapping;
    UniqueMappedView view;

    enum class Outcome { Opened, Missing, Failed };

    Outcome Open(const std::wstring& name, DWORD& error) {
        mapping.Reset(::OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
        if (!mapping.IsValid()) {
            error = ::GetLastError();
            return error == ERROR_FILE_NOT_FOUND ? Outcome::Missing : Outcome::Failed;
        }
        view.Reset(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, StatusBlock::Size));
        if (view.IsValid()) return Outcome::Opened;
        error = ::GetLastError();
        return Outcome::Failed;
    }

    DWORD ReadWord(DWORD offset) const {
        DWORD value = 0;
        std::memcpy(&value, static_cast<const BYTE*>(view.Get()) + offset, sizeof value);
        return value;
    }

    HWND ReadWindow(DWORD offset) const { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(ReadWord(offset))); }
};

// Keeps the first failure of several steps that all run.
void KeepFirstFailure(StepResult& kept, const StepResult& next) {
    if (kept.Succeeded() && !next.Succeeded()) kept = next;
}

// Tells one component to close when it has published a window, and collects its mutex names. A name
// is collected once: a wait-all refuses the same mutex twice.
void SignalComponent(HWND window, UINT message, WPARAM wParam, const WideMap& mutexTable,
                     std::vector<std::wstring>& names) {
    if (window == nullptr) return;
    ::PostMessageW(window, message, wParam, 0);
    for (const auto& [label, name] : mutexTable)
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

}  // namespace

namespace System {

const ProcessApi& ProcessCalls() { return g_processApi != nullptr ? *g_processApi : SystemProcessApi(); }

const ProcessApi* ReplaceProcessApi(const ProcessApi* table) {
    const ProcessApi* previous = &ProcessCalls();
    g_processApi = table;
    return previous;
}

}  // namespace System

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> processes;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) return processes;
    PROCESSENTRY32W raw{};
    raw.dwSize = sizeof raw;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &raw); more; more = ::Process32NextW(snapshot.Get(), &raw))
        processes.push_back({raw.th32ProcessID, raw.szExeFile});
    return processes;
}

StepResult TerminateProcessesAt(const std::wstring& imagePath, DWORD waitLimitMs) {
    StepResult result = StepResult::Success();
    if (imagePath.empty()) return result;
    const std::wstring wanted = LongPathOf(imagePath);
    for (const ProcessEntry& entry : ListProcesses())
        KeepFirstFailure(result, TerminateIfImageAt(entry.processId, wanted, waitLimitMs));
    return result;
}

StepResult AwaitProcessesAt(const std::wstring& imagePath, DWORD waitLimitMs) {
    StepResult result = StepResult::Success();
    if (imagePath.empty()) return result;
    const std::wstring wanted = LongPathOf(imagePath);
    const ULONGLONG deadline = ::GetTickCount64() + waitLimitMs;
    for (const ProcessEntry& entry : ListProcesses()) {
        UniqueHandle process(OpenProcessById(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, entry.processId));
        if (!process || !IsImageAt(ImagePathOfHandle(process.Get()), wanted)) continue;
        const ULONGLONG now = ::GetTickCount64();
        const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (::WaitForSingleObject(process.Get(), left) != WAIT_OBJECT_0) result = StepResult::Failure(WAIT_TIMEOUT);
    }
    return result;
}

DiagnosisState CheckDiagnosis(const std::wstring& mappingName, DWORD& error) {
    error = ERROR_SUCCESS;
    MappedStatusBlock block;
    switch (block.Open(mappingName, error)) {
        case MappedStatusBlock::Outcome::Missing: return DiagnosisState::NotDiagnosing;
        case MappedStatusBlock::Outcome::Failed: return DiagnosisState::Unknown;
        case MappedStatusBlock::Outcome::Opened: break;
    }
    const DWORD status = block.ReadWord(StatusBlock::StatusOffset);
    const bool diagnosing = status != StatusBlock::StatusIdle && status != StatusBlock::StatusDiagnosisDone;
    return diagnosing ? DiagnosisState::Diagnosing : DiagnosisState::NotDiagnosing;
}

// Only SYNCHRONIZE is asked for: it is all that waiting needs, and the product's mutexes may belong
// to another account that grants no more (CreateMutexW would ask for full access and be refused).
// Releasing needs no further right: ReleaseMutex asks only that the thread own the mutex, and
// MUTEX_MODIFY_STATE is merely the native query-state bit, documented as reserved.
StepResult OpenMutexHandles(const std::vector<std::wstring>& names, std::vector<UniqueHandle>& handles) {
    StepResult result = StepResult::Success();
    for (const std::wstring& name : names) {
        UniqueHandle mutex(System::ProcessCalls().openMutex(SYNCHRONIZE, FALSE, name.c_str()));
        if (mutex) {
            handles.push_back(std::move(mutex));
            continue;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) KeepFirstFailure(result, StepResult::Failure(error));
    }
    return result;
}

StepResult WaitForAllMutexes(const std::vector<UniqueHandle>& handles, DWORD waitPerHandleMs) {
    for (size_t first = 0; first < handles.size(); first += MaxHandlesPerWait) {
        const size_t count = std::min<size_t>(MaxHandlesPerWait, handles.size() - first);
        std::vector<HANDLE> group;
        for (size_t i = 0; i < count; ++i) group.push_back(handles[first + i].Get());
        const DWORD bound = static_cast<DWORD>(count) * waitPerHandleMs;
        const DWORD waited = ::WaitForMultipleObjects(static_cast<DWORD>(count), group.data(), TRUE, bound);
        if (waited == WAIT_TIMEOUT) return StepResult::Failure(WAIT_TIMEOUT);
        if (waited == WAIT_FAILED) return StepResult::Failure(::GetLastError());
        // WAIT_OBJECT_0 or WAIT_ABANDONED_0 + i: either way the whole group is held now, abandoned ones
        // included. It is given back: holding it would only hand it on abandoned when the run ends.
        for (HANDLE mutex : group) ::ReleaseMutex(mutex);
    }
    return StepResult::Success();
}

StepResult StopResidentProcesses(const WideMap& care, const WideMap& setting, const WideMap& resident,
                                 const std::wstring& mappingName, DWORD waitPerHandleMs) {
    MappedStatusBlock block;
    DWORD error = ERROR_SUCCESS;
    switch (block.Open(mappingName, error)) {
        case MappedStatusBlock::Outcome::Missing: return StepResult::Success();
        case MappedStatusBlock::Outcome::Failed: return StepResult::Failure(error);
        case MappedStatusBlock::Outcome::Opened: break;
    }

    std::vector<std::wstring> names;
    SignalComponent(block.ReadWindow(StatusBlock::CareWindowOffset), CareStopMessage, 0, care, names);
    SignalComponent(block.ReadWindow(StatusBlock::SettingWindowOffset), SettingStopMessage, 0, setting, names);
    SignalComponent(block.ReadWindow(StatusBlock::ResidentWindowOffset), WM_COMMAND, ResidentStopCommand, resident,
                    names);
    // The mutexes that could be opened are awaited even after one could not, so that the components
    // have stopped when the operator chooses to go on.
    std::vector<UniqueHandle> handles;
    StepResult result = OpenMutexHandles(names, handles);
    KeepFirstFailure(result, WaitForAllMutexes(handles, waitPerHandleMs));
    return result;
}

}  // namespace Zento::Lithcore
