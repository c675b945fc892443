// Linked only into the benchmark's build of quellor.exe: times the end check, the searches made once
// more after the deletions, and writes one line to the tool's output for bench-runner.exe:
// "end_check_seconds=<s> end_peak_bytes=<n>".
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>

#include "app/resume/RemovalJournal.h"

namespace {

LARGE_INTEGER g_started{};

void TimeTheEndCheck(const wchar_t* point) {
    if (std::wcscmp(point, L"end-check") == 0) ::QueryPerformanceCounter(&g_started);
    if (std::wcscmp(point, L"end-check-done") != 0 || g_started.QuadPart == 0) return;
    LARGE_INTEGER ended, frequency;
    ::QueryPerformanceCounter(&ended);
    ::QueryPerformanceFrequency(&frequency);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
    char line[96];
    const int length = std::snprintf(line, sizeof line, "\nend_check_seconds=%.3f end_peak_bytes=%lu\n",
                                     static_cast<double>(ended.QuadPart - g_started.QuadPart) /
                                         static_cast<double>(frequency.QuadPart),
                                     static_cast<unsigned long>(memory.PeakWorkingSetSize));
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}

const Quellor::CheckpointApi kCheckpoints{TimeTheEndCheck};
const bool kHooked = (Quellor::ReplaceCheckpointApi(&kCheckpoints), true);

}  // namespace
