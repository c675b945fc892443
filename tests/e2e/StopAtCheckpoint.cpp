// Linked only into the tests' build of quellor.exe: the process ends at the removal's checkpoint named
// by QUELLOR_TEST_STOP_AT, as if the console had been closed there.
#include <windows.h>

#include <string>

#include "app/resume/RemovalJournal.h"

namespace {

std::wstring StopPoint() {
    wchar_t buffer[64] = {};
    DWORD length = ::GetEnvironmentVariableW(L"QUELLOR_TEST_STOP_AT", buffer, 64);
    return length > 0 && length < 64 ? std::wstring(buffer, length) : std::wstring();
}

void StopIfNamed(const wchar_t* point) {
    static const std::wstring stopAt = StopPoint();
    if (!stopAt.empty() && stopAt == point) ::ExitProcess(3);
}

const Quellor::CheckpointApi kCheckpoints{StopIfNamed};
const bool kHooked = (Quellor::ReplaceCheckpointApi(&kCheckpoints), true);

}  // namespace
