#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <future>
#include <mutex>
#include <thread>

#include "platform/UniqueResource.h"
#include "processes/ChildProcess.h"
#include "processes/Processes.h"
#include "tests/processes/ProcessTestHelpers.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
    return text;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towupper(c));
    return text;
}

// A named 16-byte status block created by the test, standing in for the product's.
class TestStatusBlock {
public:
    explicit TestStatusBlock(const std::wstring& name)
        : mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16, name.c_str())),
          view_(::MapViewOfFile(mapping_.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0)) {}
    void Write(DWORD offset, DWORD value) { std::memcpy(static_cast<BYTE*>(view_.Get()) + offset, &value, 4); }
    void WriteWindow(DWORD offset, HWND window) {
        Write(offset, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window)));
    }

private:
    UniqueHandle mapping_;
    UniqueMappedView view_;
};

struct ReceivedMessage {
    UINT message;
    WPARAM wParam;
};

// A resident component on its own thread: a window and its named mutexes, held until a stop message
// arrives (or never, when told to ignore it). The window is message-only: under Wine a first top-level
// window starts the desktop process, which would inherit the test runner's output pipe.
class FakeComponent {
public:
    FakeComponent(std::vector<std::wstring> mutexNames, bool ignoreStop)
        : mutexNames_(std::move(mutexNames)), ignoreStop_(ignoreStop) {
        std::promise<HWND> ready;
        auto windowReady = ready.get_future();
        thread_ = std::thread([this, &ready] { Run(ready); });
        window_ = windowReady.get();
    }
    ~FakeComponent() {
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    HWND Window() const { return window_; }
    std::vector<ReceivedMessage> Messages() {
        std::lock_guard lock(guard_);
        return messages_;
    }

private:
    void Run(std::promise<HWND>& ready) {
        threadId_ = ::GetCurrentThreadId();
        std::vector<UniqueHandle> mutexes;
        for (const auto& name : mutexNames_) mutexes.emplace_back(::CreateMutexW(nullptr, TRUE, name.c_str()));
        HWND window = ::CreateWindowExW(0, L"STATIC", L"quellor test component", WS_OVERLAPPED, 0, 0, 10, 10,
                                        HWND_MESSAGE, nullptr, nullptr, nullptr);
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the thread's queue exist
        ready.set_value(window);
        bool holding = true;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.hwnd == window && (msg.message == WM_USER + 1 || msg.message == WM_COMMAND)) {
                {
                    std::lock_guard lock(guard_);
                    messages_.push_back({msg.message, msg.wParam});
                }
                if (!ignoreStop_ && holding) {
                    for (auto& mutex : mutexes) ::ReleaseMutex(mutex.Get());
                    holding = false;
                }
                continue;
            }
            ::DispatchMessageW(&msg);
        }
        if (holding)
            for (auto& mutex : mutexes) ::ReleaseMutex(mutex.Get());
        ::DestroyWindow(window);
    }

    std::vector<std::wstring> mutexNames_;
    bool ignoreStop_;
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    HWND window_ = nullptr;
    std::mutex guard_;
    std::vector<ReceivedMessage> messages_;
};

WideMap OneMutex(const std::wstring& name) { return {{L"before1.1.1.0", name}}; }

}  // namespace

TEST(ProcessWalk, ListsThisProcessUnderItsExeName) {
    const std::vector<ProcessEntry> processes = ListProcesses();
    auto self = std::find_if(processes.begin(), processes.end(),
                             [](const ProcessEntry& p) { return p.processId == ::GetCurrentProcessId(); });
    ASSERT_NE(self, processes.end());
    EXPECT_EQ(self->exeName, L"processes_tests.exe");
}

// Only the planned executable ends, however its path is spelt; the same file name elsewhere is another
// program. The terminated process is gone when the call returns, so its files can be deleted.
TEST(TerminateProcesses, EndsOnlyTheProcessesAtThePlannedPathAndAwaitsTheirEnd) {
    ScratchFolder scratch(L"quellor-terminate");
    const std::wstring planned = CopyHelperAs(scratch / L"Planned Folder", L"QlrFerrow.exe");
    const std::wstring elsewhere = CopyHelperAs(scratch / L"Other Folder", L"QlrFerrow.exe");
    RunningHelper bystander(elsewhere);
    {
        RunningHelper target(planned), secondTarget(planned);
        const StepResult result = TerminateProcessesAt(Upper(planned), ChildWaitLimitMs());
        EXPECT_TRUE(result.Succeeded()) << result.Error();
        EXPECT_TRUE(target.WaitForEnd(0));
        EXPECT_TRUE(secondTarget.WaitForEnd(0));
    }
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(planned.c_str(), shortPath, MAX_PATH);
    if (length > 0 && length < MAX_PATH && Lower(shortPath) != Lower(planned)) {
        RunningHelper target(planned);
        EXPECT_TRUE(TerminateProcessesAt(shortPath, ChildWaitLimitMs()).Succeeded());
        EXPECT_TRUE(target.WaitForEnd(0)) << "8.3 spelling " << Utf8(shortPath);
    }
    EXPECT_TRUE(TerminateProcessesAt(scratch / L"NoSuch.exe", ChildWaitLimitMs()).Succeeded());
    EXPECT_TRUE(TerminateProcessesAt(L"", ChildWaitLimitMs()).Succeeded());
    EXPECT_TRUE(bystander.IsRunning());
}

namespace {

// Stands in for an id that is handed out again: the planned process's id names a bystander from its
// second open on.
DWORD g_reusedId = 0;
DWORD g_reusedBy = 0;
int g_opensOfReusedId = 0;
HANDLE WINAPI OpenProcessWithReusedId(DWORD access, BOOL inherit, DWORD processId) {
    if (processId == g_reusedId && g_opensOfReusedId++ > 0) processId = g_reusedBy;
    return ::OpenProcess(access, inherit, processId);
}

}  // namespace

// Windows reuses an ended process's id at once; Wine seldom does, hence the opener.
TEST(TerminateProcesses, EndsTheProcessWhosePathWasCheckedNotWhatItsIdNamesLater) {
    ScratchFolder scratch(L"quellor-reused-id");
    RunningHelper target(CopyHelperAs(scratch / L"Planned", L"QlrFerrow.exe"));
    RunningHelper bystander(CopyHelperAs(scratch / L"Other", L"Bystander.exe"));
    g_reusedId = target.Id();
    g_reusedBy = bystander.Id();
    System::ProcessApi reusing = System::ProcessCalls();
    reusing.openProcess = &OpenProcessWithReusedId;
    const System::ProcessApi* previous = System::ReplaceProcessApi(&reusing);
    const StepResult result = TerminateProcessesAt(scratch / L"Planned\\QlrFerrow.exe", ChildWaitLimitMs());
    System::ReplaceProcessApi(previous);
    EXPECT_TRUE(result.Succeeded()) << result.Error();
    EXPECT_TRUE(target.WaitForEnd(0));
    EXPECT_TRUE(bystander.IsRunning());
}

// A stopped service's process is waited for, never ended: the wait lasts until it ends by itself,
// within the limit, and concerns only the processes at the path.
TEST(AwaitProcesses, WaitsForTheProcessesAtThePathWithinTheLimitAndEndsNone) {
    ScratchFolder scratch(L"quellor-await");
    const std::wstring planned = CopyHelperAs(scratch / L"Service Folder", L"QlrService.exe");
    RunningHelper bystander(CopyHelperAs(scratch / L"Other Folder", L"QlrService.exe"));
    RunningHelper service(planned);
    EXPECT_EQ(AwaitProcessesAt(planned, 300).Error(), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(service.IsRunning());
    std::thread ender([id = service.Id()] {
        ::Sleep(500);
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
        ::TerminateProcess(process.Get(), 0);
    });
    const StepResult awaited = AwaitProcessesAt(Upper(planned), 30000);
    ender.join();
    EXPECT_TRUE(awaited.Succeeded()) << awaited.Error();
    EXPECT_TRUE(service.WaitForEnd(0));
    EXPECT_TRUE(bystander.IsRunning());
    EXPECT_TRUE(AwaitProcessesAt(L"", 0).Succeeded());
}

TEST(Diagnosis, OnlyStatusesOtherThanZeroAndSixMeanDiagnosing) {
    const std::wstring name = UniqueName(L"QuellorTestBlock");
    TestStatusBlock block(name);
    const std::pair<DWORD, bool> cases[] = {{0, false}, {6, false}, {1, true}, {2, true}, {0xFFFFFFFF, true}};
    for (auto [status, diagnosing] : cases) {
        block.Write(StatusBlock::StatusOffset, status);
        DWORD error = 0;
        const DiagnosisState expected = diagnosing ? DiagnosisState::Diagnosing : DiagnosisState::NotDiagnosing;
        EXPECT_EQ(CheckDiagnosis(name, error), expected) << "status " << status;
    }
}

TEST(Diagnosis, MissingBlockIsNotDiagnosingAndStopWaitsForNothing) {
    const std::wstring heldName = UniqueName(L"QuellorTestHeld");
    FakeComponent holder({heldName}, /*ignoreStop=*/true);
    const std::wstring absentBlock = UniqueName(L"QuellorTestNoBlock");
    DWORD error = 0;
    EXPECT_EQ(CheckDiagnosis(absentBlock, error), DiagnosisState::NotDiagnosing);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_TRUE(
        StopResidentProcesses(OneMutex(heldName), OneMutex(heldName), OneMutex(heldName), absentBlock, 2000).Succeeded());
    EXPECT_LT(::GetTickCount64() - start, 1500u);
    EXPECT_TRUE(holder.Messages().empty());
    // Looking never creates the block.
    EXPECT_EQ(::OpenFileMappingW(FILE_MAP_READ, FALSE, absentBlock.c_str()), nullptr);
}

// A name held by something that is not a readable block gives no answer: it is not "not diagnosing".
TEST(Diagnosis, BlockThatCannotBeOpenedIsUnknownAndTheStopFails) {
    const std::wstring name = UniqueName(L"QuellorTestBlock");
    UniqueHandle other(::CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(other.IsValid());
    DWORD error = 0;
    EXPECT_EQ(CheckDiagnosis(name, error), DiagnosisState::Unknown);
    EXPECT_NE(error, 0u);
    EXPECT_EQ(StopResidentProcesses({}, {}, {}, name, 300).Error(), error);
}

TEST(StopSignal, OnlyResidentWindowGetsOneCommandAndOnlyResidentMutexesAreAwaited) {
    const std::wstring blockName = UniqueName(L"QuellorTestBlock");
    const std::wstring residentMutex = UniqueName(L"QuellorTestResident");
    const std::wstring careMutex = UniqueName(L"QuellorTestCare");
    FakeComponent careHolder({careMutex}, /*ignoreStop=*/true);  // would time the wait out if awaited
    FakeComponent resident({residentMutex}, /*ignoreStop=*/false);
    TestStatusBlock block(blockName);
    block.WriteWindow(StatusBlock::ResidentWindowOffset, resident.Window());

    EXPECT_TRUE(StopResidentProcesses(OneMutex(careMutex), OneMutex(careMutex), OneMutex(residentMutex), blockName,
                                      3000)
                    .Succeeded());
    const auto messages = resident.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(messages[0].wParam, 40011u);
    EXPECT_TRUE(careHolder.Messages().empty());
}

TEST(StopSignal, CareAndSettingWindowsGetUserPlusOne) {
    const std::wstring blockName = UniqueName(L"QuellorTestBlock");
    const std::wstring careMutex = UniqueName(L"QuellorTestCare");
    const std::wstring settingMutex = UniqueName(L"QuellorTestSetting");
    FakeComponent care({careMutex}, false), setting({settingMutex}, false);
    TestStatusBlock block(blockName);
    block.WriteWindow(StatusBlock::CareWindowOffset, care.Window());
    block.WriteWindow(StatusBlock::SettingWindowOffset, setting.Window());

    EXPECT_TRUE(StopResidentProcesses(OneMutex(careMutex), OneMutex(settingMutex), {}, blockName, 3000).Succeeded());
    for (FakeComponent* component : {&care, &setting}) {
        const auto messages = component->Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].message, static_cast<UINT>(WM_USER + 1));
        EXPECT_EQ(messages[0].wParam, 0u);
    }
}

TEST(StopSignal, ComponentThatKeepsItsMutexMakesTheStopFail) {
    const std::wstring blockName = UniqueName(L"QuellorTestBlock");
    const std::wstring residentMutex = UniqueName(L"QuellorTestResident");
    FakeComponent resident({residentMutex}, /*ignoreStop=*/true);
    TestStatusBlock block(blockName);
    block.WriteWindow(StatusBlock::ResidentWindowOffset, resident.Window());
    EXPECT_EQ(StopResidentProcesses({}, {}, OneMutex(residentMutex), blockName, 300).Error(),
              static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(resident.Messages().size(), 1u);
}

// The product's mutexes may belong to another account, which lets others wait on them but not hold
// them fully; Wine lets everything open everything, so the refusal is played by a replaced opener.
HANDLE WINAPI OpenMutexDenyingSome(DWORD access, BOOL inherit, LPCWSTR name) {
    constexpr wchar_t denied[] = L"QuellorTestDenied";
    if (std::wcsncmp(name, denied, std::size(denied) - 1) == 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return ::OpenMutexW(access, inherit, name);
}

TEST(StopSignal, MissingMutexIsNothingToAwaitButOneThatCannotBeOpenedFailsTheStop) {
    const std::wstring blockName = UniqueName(L"QuellorTestBlock");
    const std::wstring residentMutex = UniqueName(L"QuellorTestResident");
    const std::wstring deniedMutex = UniqueName(L"QuellorTestDenied");
    FakeComponent resident({residentMutex}, /*ignoreStop=*/false), denied({deniedMutex}, /*ignoreStop=*/true);
    TestStatusBlock block(blockName);
    block.WriteWindow(StatusBlock::ResidentWindowOffset, resident.Window());
    const WideMap withAbsent = {{L"a", UniqueName(L"QuellorTestAbsent")}, {L"b", residentMutex}};
    WideMap withDenied = withAbsent;
    withDenied[L"c"] = deniedMutex;

    System::ProcessApi denying = System::ProcessCalls();
    denying.openMutex = &OpenMutexDenyingSome;
    const System::ProcessApi* previous = System::ReplaceProcessApi(&denying);
    const StepResult refused = StopResidentProcesses({}, {}, withDenied, blockName, 3000);
    const StepResult absent = StopResidentProcesses({}, {}, withAbsent, blockName, 3000);
    System::ReplaceProcessApi(previous);
    EXPECT_EQ(refused.Error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(absent.Succeeded()) << absent.Error();
    EXPECT_EQ(resident.Messages().size(), 2u);
}

std::vector<std::wstring> ManyMutexNames(int count) {
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i) names.push_back(UniqueName(L"QuellorTestMany"));
    return names;
}

bool FreeForAnotherThread(HANDLE mutex) {
    return std::async(std::launch::async, [mutex] {
               const bool free = ::WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0;
               if (free) ::ReleaseMutex(mutex);
               return free;
           }).get();
}

TEST(MutexWait, MoreThanSixtyFourMutexesAreAwaitedInGroupsAndGivenBack) {
    const std::vector<std::wstring> freeNames = ManyMutexNames(70);
    std::vector<UniqueHandle> existing;
    for (const auto& name : freeNames) existing.emplace_back(::CreateMutexW(nullptr, FALSE, name.c_str()));
    std::vector<UniqueHandle> freeHandles;
    EXPECT_TRUE(OpenMutexHandles(freeNames, freeHandles).Succeeded());
    ASSERT_EQ(freeHandles.size(), 70u);
    EXPECT_TRUE(WaitForAllMutexes(freeHandles, 200).Succeeded());
    EXPECT_TRUE(FreeForAnotherThread(freeHandles.front().Get()));
    EXPECT_TRUE(FreeForAnotherThread(freeHandles.back().Get()));

    const std::vector<std::wstring> names = ManyMutexNames(70);
    FakeComponent holderOfLast({names.back()}, /*ignoreStop=*/true);  // first: only a creator owns it
    std::vector<UniqueHandle> created;
    for (const auto& name : names) created.emplace_back(::CreateMutexW(nullptr, FALSE, name.c_str()));
    std::vector<UniqueHandle> handles;
    EXPECT_TRUE(OpenMutexHandles(names, handles).Succeeded());
    EXPECT_EQ(WaitForAllMutexes(handles, 10).Error(), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(MutexWait, FailedWaitIsAFailureWithItsError) {
    std::vector<UniqueHandle> handles;
    handles.emplace_back(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7ff0)));
    const StepResult result = WaitForAllMutexes(handles, 10);
    handles.front().Release();  // never a handle of this process: not to be closed
    EXPECT_EQ(result.Error(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
