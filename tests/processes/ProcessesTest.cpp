#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "platform/UniqueResource.h"
#include "processes/Processes.h"
#include "tests/processes/ProcessTestHelpers.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

bool ContainsProcessId(const std::vector<Process>& processes, DWORD id) {
    return std::any_of(processes.begin(), processes.end(), [&](const Process& p) { return p.processId == id; });
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
    Handle::Handle mapping_;
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
        std::vector<Handle::Handle> mutexes;
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

TEST(ProcessWalk, ListsThisProcessUnderItsExeNameWithAnOpenHandle) {
    const std::vector<Process> processes = ListProcesses();
    auto self = std::find_if(processes.begin(), processes.end(),
                             [](const Process& p) { return p.processId == ::GetCurrentProcessId(); });
    ASSERT_NE(self, processes.end());
    EXPECT_EQ(ProcessText(*self), L"processes_tests.exe");
    EXPECT_TRUE(self->handle.IsValid());
    EXPECT_FALSE(self->started);
    EXPECT_TRUE(self->startInfo.arguments.empty());
}

TEST(ProcessWalk, OnlyTheOldConsumerFamilyHidesItsHelperProcesses) {
    for (OsClass old : {OsWin98, OsWin98Se, OsWinMe}) {
        EXPECT_TRUE(IsHiddenProcess(old, L"wnlssub.exe"));
        EXPECT_TRUE(IsHiddenProcess(old, L"xPStores.Exe.bak"));
        EXPECT_FALSE(IsHiddenProcess(old, L"explorer.exe"));
    }
    for (OsClass other : {OsWin95, OsWinXp, OsWin7, OsOther}) EXPECT_FALSE(IsHiddenProcess(other, L"PSTORES.EXE"));
}

TEST(FindProcesses, MatchesSubstringsCaseInsensitivelyAndNeverEverythingForAnEmptyName) {
    ScratchFolder scratch(L"quellor-find");
    const std::wstring exact = CopyHelperAs(scratch.Path(), L"QlrFindTarget.exe");
    const std::wstring longer = CopyHelperAs(scratch.Path(), L"OldQLRFINDTARGET.EXE");
    const std::wstring other = CopyHelperAs(scratch.Path(), L"QlrFindOther.exe");
    {
        RunningHelper a(exact), b(longer), c(other);
        const std::vector<Process> found = FindProcessesByName(L"qlrfindtarget.exe");
        EXPECT_EQ(found.size(), 2u);
        EXPECT_TRUE(ContainsProcessId(found, a.Id()));
        EXPECT_TRUE(ContainsProcessId(found, b.Id()));
        EXPECT_FALSE(ContainsProcessId(found, c.Id()));
        EXPECT_TRUE(FindProcessesByName(L"").empty());
    }
}

TEST(TerminateProcesses, EndsExactlyTheNamedProcesses) {
    ScratchFolder scratch(L"quellor-terminate");
    const std::wstring target = CopyHelperAs(scratch.Path(), L"QlrKillTarget.exe");
    const std::wstring targetToo = CopyHelperAs(scratch.Path(), L"xqlrkilltarget.exe");
    const std::wstring bystander = CopyHelperAs(scratch.Path(), L"QlrKillBystander.exe");
    {
        RunningHelper a(target), b(targetToo), c(bystander);
        EXPECT_TRUE(TerminateProcessesByName(L"QLRKILLTARGET.EXE"));
        EXPECT_TRUE(a.WaitForEnd(10000));
        EXPECT_TRUE(b.WaitForEnd(10000));
        EXPECT_TRUE(c.IsRunning());
        EXPECT_TRUE(::WaitForSingleObject(::GetCurrentProcess(), 0) == WAIT_TIMEOUT);
    }
}

TEST(TerminateProcesses, NameMatchingNothingCountsAsDoneAndEmptyNameTouchesNothing) {
    ScratchFolder scratch(L"quellor-terminate-none");
    RunningHelper bystander(CopyHelperAs(scratch.Path(), L"QlrNoneBystander.exe"));
    EXPECT_TRUE(TerminateProcessesByName(L"no-such-process-name.exe"));
    EXPECT_TRUE(TerminateProcessesByName(L""));
    EXPECT_TRUE(bystander.IsRunning());
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
    EXPECT_TRUE(StopResidentProcesses(OneMutex(heldName), OneMutex(heldName), OneMutex(heldName), absentBlock, 2000));
    EXPECT_LT(::GetTickCount64() - start, 1500u);
    EXPECT_TRUE(holder.Messages().empty());
    // Looking never creates the block.
    EXPECT_EQ(::OpenFileMappingW(FILE_MAP_READ, FALSE, absentBlock.c_str()), nullptr);
}

// A name held by something that is not a readable block gives no answer: it is not "not diagnosing".
TEST(Diagnosis, BlockThatCannotBeOpenedIsUnknownAndTheStopFails) {
    const std::wstring name = UniqueName(L"QuellorTestBlock");
    Handle::Handle other(::CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(other.IsValid());
    DWORD error = 0;
    EXPECT_EQ(CheckDiagnosis(name, error), DiagnosisState::Unknown);
    EXPECT_NE(error, 0u);
    EXPECT_FALSE(StopResidentProcesses({}, {}, {}, name, 300));
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
                                      3000));
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

    EXPECT_TRUE(StopResidentProcesses(OneMutex(careMutex), OneMutex(settingMutex), {}, blockName, 3000));
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
    EXPECT_FALSE(StopResidentProcesses({}, {}, OneMutex(residentMutex), blockName, 300));
    EXPECT_EQ(resident.Messages().size(), 1u);
}

std::vector<std::wstring> ManyMutexNames(int count) {
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i) names.push_back(UniqueName(L"QuellorTestMany"));
    return names;
}

TEST(MutexWait, MoreThanSixtyFourMutexesAreAwaitedInGroups) {
    std::vector<Handle::Handle> freeHandles;
    EXPECT_TRUE(OpenMutexHandles(ManyMutexNames(70), freeHandles));
    ASSERT_EQ(freeHandles.size(), 70u);
    EXPECT_TRUE(WaitForAllMutexes(freeHandles, 200));

    const std::vector<std::wstring> names = ManyMutexNames(70);
    FakeComponent holderOfLast({names.back()}, /*ignoreStop=*/true);
    std::vector<Handle::Handle> handles;
    OpenMutexHandles(names, handles);
    EXPECT_FALSE(WaitForAllMutexes(handles, 10));
}
