#include "processes/Processes.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "platform/UniqueResource.h"

namespace Zento::Lithcore {

namespace {

constexpr DWORD MaxHandlesPerWait = MAXIMUM_WAIT_OBJECTS;

std::wstring ToLowerAscii(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring ToUpperAscii(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

Process MakeListedProcess(const ProcessEntry& entry) {
    ProcessStartInfo info;
    info.program = entry.exeName;
    Process process(std::move(info));
    process.processId = entry.processId;
    process.parentProcessId = entry.parentProcessId;
    process.handle.Set(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.processId));
    return process;
}

// The product's status block, opened read-only and mapped whole; never created here, so the run
// leaves no block of its own behind for the product to find.
struct MappedStatusBlock {
    Handle::Handle mapping;
    UniqueMappedView view;

    enum class Outcome { Opened, Missing, Failed };

    Outcome Open(const std::wstring& name, DWORD& error) {
        mapping.Set(::OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
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

std::vector<std::wstring> MutexNames(const WideMap& table) {
    std::vector<std::wstring> names;
    for (const auto& [label, name] : table) names.push_back(name);
    return names;
}

// Tells one component to close when it has published a window, and collects its mutexes.
void SignalComponent(HWND window, UINT message, WPARAM wParam, const WideMap& mutexTable,
                     std::vector<Handle::Handle>& handles) {
    if (window == nullptr) return;
    ::PostMessageW(window, message, wParam, 0);
    OpenMutexHandles(MutexNames(mutexTable), handles);
}

}  // namespace

const std::wstring& ProcessText(const Process& process) { return process.startInfo.program; }

bool IsHiddenProcess(OsClass osClass, const std::wstring& exeName) {
    if (osClass != OsWin98 && osClass != OsWin98Se && osClass != OsWinMe) return false;
    const std::wstring upper = ToUpperAscii(exeName);
    return upper.find(L"WNLSSUB.EXE") != std::wstring::npos || upper.find(L"PSTORES.EXE") != std::wstring::npos;
}

void WalkProcesses(const ProcessVisitor& visit) {
    Handle::Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) return;
    const OsClass osClass = GetOsClass();

    PROCESSENTRY32W raw{};
    raw.dwSize = sizeof raw;
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &raw); more; more = ::Process32NextW(snapshot.Get(), &raw)) {
        ProcessEntry entry{raw.th32ProcessID, raw.th32ParentProcessID, raw.szExeFile};
        if (IsHiddenProcess(osClass, entry.exeName)) continue;
        if (!visit(entry)) return;
    }
}

std::vector<Process> ListProcesses() {
    std::vector<Process> processes;
    WalkProcesses([&](const ProcessEntry& entry) {
        processes.push_back(MakeListedProcess(entry));
        return true;
    });
    return processes;
}

std::vector<Process> FindProcessesByName(const std::wstring& name) {
    std::vector<Process> processes;
    if (name.empty()) return processes;
    const std::wstring wanted = ToLowerAscii(name);
    WalkProcesses([&](const ProcessEntry& entry) {
        if (ToLowerAscii(entry.exeName).find(wanted) != std::wstring::npos)
            processes.push_back(MakeListedProcess(entry));
        return true;
    });
    return processes;
}

bool TerminateProcessesByName(const std::wstring& name) {
    bool allTerminated = true;
    for (const Process& process : FindProcessesByName(name))
        if (::TerminateProcess(process.handle.Get(), 0) != TRUE) allTerminated = false;
    return allTerminated;
}

bool IsDiagnosingStatus(DWORD status) {
    return status != StatusBlock::StatusIdle && status != StatusBlock::StatusDiagnosisDone;
}

DiagnosisState CheckDiagnosis(const std::wstring& mappingName, DWORD& error) {
    error = ERROR_SUCCESS;
    MappedStatusBlock block;
    switch (block.Open(mappingName, error)) {
        case MappedStatusBlock::Outcome::Missing: return DiagnosisState::NotDiagnosing;
        case MappedStatusBlock::Outcome::Failed: return DiagnosisState::Unknown;
        case MappedStatusBlock::Outcome::Opened: break;
    }
    return IsDiagnosingStatus(block.ReadWord(StatusBlock::StatusOffset)) ? DiagnosisState::Diagnosing
                                                                         : DiagnosisState::NotDiagnosing;
}

bool OpenMutexHandles(const std::vector<std::wstring>& names, std::vector<Handle::Handle>& handles) {
    for (const std::wstring& name : names) {
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex != nullptr) handles.emplace_back(mutex);
    }
    return true;
}

bool WaitForAllMutexes(const std::vector<Handle::Handle>& handles, DWORD waitPerHandleMs) {
    for (size_t first = 0; first < handles.size(); first += MaxHandlesPerWait) {
        const size_t count = std::min<size_t>(MaxHandlesPerWait, handles.size() - first);
        std::vector<HANDLE> group;
        for (size_t i = 0; i < count; ++i) group.push_back(handles[first + i].Get());
        const DWORD bound = static_cast<DWORD>(count) * waitPerHandleMs;
        if (::WaitForMultipleObjects(static_cast<DWORD>(count), group.data(), TRUE, bound) == WAIT_TIMEOUT)
            return false;
    }
    return true;
}

bool StopResidentProcesses(const WideMap& care, const WideMap& setting, const WideMap& resident,
                           const std::wstring& mappingName, DWORD waitPerHandleMs) {
    MappedStatusBlock block;
    DWORD error = ERROR_SUCCESS;
    const MappedStatusBlock::Outcome opened = block.Open(mappingName, error);
    if (opened != MappedStatusBlock::Outcome::Opened) return opened == MappedStatusBlock::Outcome::Missing;

    std::vector<Handle::Handle> handles;
    SignalComponent(block.ReadWindow(StatusBlock::CareWindowOffset), CareStopMessage, 0, care, handles);
    SignalComponent(block.ReadWindow(StatusBlock::SettingWindowOffset), SettingStopMessage, 0, setting, handles);
    SignalComponent(block.ReadWindow(StatusBlock::ResidentWindowOffset), WM_COMMAND, ResidentStopCommand, resident,
                    handles);
    // The mutexes stay owned by this thread after a successful wait: nothing here releases them.
    return WaitForAllMutexes(handles, waitPerHandleMs);
}

}  // namespace Zento::Lithcore
