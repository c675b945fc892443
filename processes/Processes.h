#pragma once
// Running processes of the target product: the process walk, the diagnosis check on the product's
// shared status block, the stop signal to its resident components and termination by name.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/OsVersion.h"
#include "settings/Settings.h"

namespace Zento::Lithcore {

struct ProcessStartInfo {
    std::wstring program;        // for a listed process: the executable name from the snapshot
    std::wstring arguments;
    std::wstring workingFolder;  // empty: the caller's current folder
    bool hidden = false;
};

// One process, listed or started. Owns its process handle; a handle of INVALID_HANDLE_VALUE marks a
// process that was waited for to its end and whose handle is already closed.
class Process {
public:
    Process() = default;
    explicit Process(ProcessStartInfo info) : startInfo(std::move(info)) {}
    Process(Process&&) noexcept = default;
    Process& operator=(Process&&) noexcept = default;
    virtual ~Process() = default;

    // Creates the process from the start info and, when that worked, waits for it to end.
    bool Start();
    // True when the process ended within the time-out; then the exit code is read and the handle closed.
    bool Wait(DWORD timeoutMs);

    DWORD processId = 0;
    DWORD parentProcessId = 0;
    Handle::Handle handle{INVALID_HANDLE_VALUE};
    DWORD threadId = 0;
    DWORD exitCode = 0;
    bool started = false;
    ProcessStartInfo startInfo;
};

// The text of a listed process: its executable name.
const std::wstring& ProcessText(const Process& process);

struct ProcessEntry {
    DWORD processId = 0;
    DWORD parentProcessId = 0;
    std::wstring exeName;
};

// Receives one snapshot entry at a time; returns false to abandon the walk.
using ProcessVisitor = std::function<bool(const ProcessEntry&)>;

// Walks the process snapshot in order, one entry at a time. The snapshot is closed when the walk
// ends or is abandoned. A failed snapshot gives no entries.
void WalkProcesses(const ProcessVisitor& visit);

// Whether the walk leaves the entry out on the given system (old 9x helper processes).
bool IsHiddenProcess(OsClass osClass, const std::wstring& exeName);

std::vector<Process> ListProcesses();
// Substring match, case-insensitive for A-Z. An empty name selects nothing.
std::vector<Process> FindProcessesByName(const std::wstring& name);
// True when every found process was terminated, also when none was found.
bool TerminateProcessesByName(const std::wstring& name);

// Byte offsets and values of the product's 16-byte shared status block.
namespace StatusBlock {
inline constexpr DWORD Size = 16;
inline constexpr DWORD CareWindowOffset = 0;
inline constexpr DWORD SettingWindowOffset = 4;
inline constexpr DWORD ResidentWindowOffset = 8;
inline constexpr DWORD StatusOffset = 12;
inline constexpr DWORD StatusIdle = 0;
inline constexpr DWORD StatusDiagnosisDone = 6;
}  // namespace StatusBlock

inline constexpr UINT CareStopMessage = WM_USER + 1;
inline constexpr UINT SettingStopMessage = WM_USER + 1;
inline constexpr WPARAM ResidentStopCommand = 40011;
inline constexpr DWORD MutexWaitPerHandleMs = 30000;

bool IsDiagnosingStatus(DWORD status);

enum class DiagnosisState { NotDiagnosing, Diagnosing, Unknown };
// Reads the product's status block, opened read-only and never created. No block means no product
// running and so no diagnosis. A block that exists but cannot be opened or read is Unknown, with
// the Win32 error in `error`: nobody can say then that no diagnosis runs.
[[nodiscard]] DiagnosisState CheckDiagnosis(const std::wstring& mappingName, DWORD& error);

// Posts the stop messages to the published windows and waits for the mutexes of those components.
// No block: nothing published, nothing to stop. False when the wait timed out or a block that
// exists cannot be opened. The mutex names are the tables' values,
// in key order. The per-handle bound is a parameter only so that tests can shorten it.
bool StopResidentProcesses(const WideMap& care, const WideMap& setting, const WideMap& resident,
                           const std::wstring& mappingName, DWORD waitPerHandleMs = MutexWaitPerHandleMs);

// Opens (or creates) each named mutex and appends every handle obtained. Always true.
bool OpenMutexHandles(const std::vector<std::wstring>& names, std::vector<Handle::Handle>& handles);

// Waits until all the mutexes can be held together, at most 64 handles at a time, each group bounded
// by its handle count times the per-handle bound. False only when a wait timed out.
bool WaitForAllMutexes(const std::vector<Handle::Handle>& handles, DWORD waitPerHandleMs);

}  // namespace Zento::Lithcore
