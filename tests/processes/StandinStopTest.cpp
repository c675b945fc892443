#include <gtest/gtest.h>

#include "processes/Processes.h"
#include "tests/processes/ProcessTestHelpers.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

std::wstring WindowsPathOf(const char* unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

// The stand-in resident component, started with its output on NUL: its top-level window may start
// Wine's desktop process, which must not inherit the test runner's pipe.
class ResidentComponent {
public:
    ResidentComponent(const std::wstring& mapping, const std::wstring& mutex, const std::wstring& log, bool ignoreStop) {
        const std::wstring readyName = UniqueName(L"QuellorTestReady");
        UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
        std::wstring commandLine = L"\"" + WindowsPathOf(QUELLOR_VITRA_RESIDENT) + L"\" --mapping " + mapping +
                                   L" --mutex " + mutex + L" --ready-event " + readyName + L" --log \"" + log + L"\"" +
                                   (ignoreStop ? L" --ignore-stop" : L"");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        UniqueHandle nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.Get();
        PROCESS_INFORMATION created{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &created)) {
            ADD_FAILURE() << "cannot start the resident component: " << ::GetLastError();
            return;
        }
        process_.Reset(created.hProcess);
        UniqueHandle thread(created.hThread);
        EXPECT_EQ(::WaitForSingleObject(ready.Get(), 20000), WAIT_OBJECT_0) << "component never got ready";
    }
    ~ResidentComponent() {
        if (!process_.IsValid()) return;
        ::TerminateProcess(process_.Get(), 0);
        ::WaitForSingleObject(process_.Get(), 10000);
    }
    bool WaitForEnd(DWORD timeoutMs) const { return ::WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0; }

private:
    UniqueHandle process_;
};

WideMap OneMutex(const std::wstring& name) { return {{L"before1.1.1.0", name}}; }

}  // namespace

TEST(StandinStop, ResidentComponentGetsOneCommandAndEnds) {
    ScratchFolder scratch(L"quellor-standin-stop");
    const std::wstring mapping = UniqueName(L"QuellorTestBlock");
    const std::wstring mutex = UniqueName(L"QuellorTestResident");
    const std::wstring log = scratch / L"messages.log";
    ResidentComponent resident(mapping, mutex, log, /*ignoreStop=*/false);

    DWORD error = 0;
    EXPECT_EQ(CheckDiagnosis(mapping, error), DiagnosisState::NotDiagnosing);
    EXPECT_TRUE(StopResidentProcesses({}, {}, OneMutex(mutex), mapping, 10000).Succeeded());
    EXPECT_TRUE(resident.WaitForEnd(10000));
    EXPECT_EQ(ReadLines(log), std::vector<std::wstring>{L"WM_COMMAND 40011"});
}

TEST(StandinStop, ComponentIgnoringTheStopMakesTheWaitTimeOut) {
    ScratchFolder scratch(L"quellor-standin-ignore");
    const std::wstring mapping = UniqueName(L"QuellorTestBlock");
    const std::wstring mutex = UniqueName(L"QuellorTestResident");
    const std::wstring log = scratch / L"messages.log";
    {
        ResidentComponent resident(mapping, mutex, log, /*ignoreStop=*/true);
        EXPECT_EQ(StopResidentProcesses({}, {}, OneMutex(mutex), mapping, 500).Error(), static_cast<DWORD>(WAIT_TIMEOUT));
    }
    EXPECT_EQ(ReadLines(log), std::vector<std::wstring>{L"WM_COMMAND 40011"});
}
