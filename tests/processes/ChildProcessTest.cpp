#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "processes/ChildProcess.h"
#include "processes/ComUnregistration.h"
#include "tests/processes/ProcessTestHelpers.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
    return text;
}

ProcessStartInfo HelperRun(const std::wstring& arguments) {
    ProcessStartInfo info;
    info.program = HelperExePath();
    info.arguments = arguments;
    return info;
}

}  // namespace

TEST(TrimBlanks, RemovesTheFiveBlankKindsAtBothEndsOnly) {
    std::wstring text = L" \u3000\r\n\tA B\u3000C\t\n\r\u3000 ";
    const std::wstring copy = TrimBlanks(text);
    EXPECT_EQ(text, L"A B\u3000C");
    EXPECT_EQ(copy, text);
    std::wstring onlyBlanks = L" \t\u3000 ";
    EXPECT_EQ(TrimBlanks(onlyBlanks), L"");
}

TEST(CommandLine, QuotedProgramOneBlankThenArgumentsOrTrimmedArgumentsAlone) {
    EXPECT_EQ(BuildCommandLine({L"net.exe", L"stop \"A B\"", L"", true}), L"\"net.exe\" stop \"A B\"");
    EXPECT_EQ(BuildCommandLine({L"", L"  cmd /c exit 3 \t", L"", false}), L"cmd /c exit 3");
    // Percent signs in the values are text, not format directives.
    EXPECT_EQ(BuildCommandLine({L"C:\\100%s\\x.exe", L"%1 %%", L"", false}), L"\"C:\\100%s\\x.exe\" %1 %%");
}

// A bare "regsvr32" would be looked up first in the program's and the current folder.
TEST(CommandLine, RegsvrUnregistrationIsTheSystemsOwnRegsvrByFullPathAndSilent) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
    const ProcessStartInfo info = UnregisterDllStartInfo(L"C:\\Program Files\\ZEKT\\FerrowPS.dll");
    EXPECT_EQ(Lower(info.program), Lower(std::wstring(system) + L"\\regsvr32.exe"));
    EXPECT_EQ(BuildCommandLine(info), L"\"" + info.program + L"\"  /u /s \"C:\\Program Files\\ZEKT\\FerrowPS.dll\"");
    EXPECT_FALSE(info.hidden);
    EXPECT_EQ(Lower(info.workingFolder), Lower(system));
}

// A LocalServer32 value is a command line: the server is what CreateProcessW would run from it, and it
// is run quoted once, without the registered arguments.
TEST(CommandLine, LocalServerUnregistrationRunsTheServerOfTheRegisteredCommandLineInItsFolder) {
    const std::pair<const wchar_t*, const wchar_t*> values[] = {
        {L"  \"C:\\Program Files\\ZEKT\\Novex.exe\" /automation", L"C:\\Program Files\\ZEKT\\Novex.exe"},
        {L"C:\\ZEKT\\Novex.exe /automation", L"C:\\ZEKT\\Novex.exe"},
        {L"C:\\Program Files (x86)\\Z\\x.exe /automation", L"C:\\Program Files (x86)\\Z\\x.exe"},
        {L"C:\\PROGRA~2\\Z\\X.EXE", L"C:\\PROGRA~2\\Z\\X.EXE"},
        {L"C:\\Z\\x.exec\\Novex.Exe\t-Embedding", L"C:\\Z\\x.exec\\Novex.Exe"},
        {L" C:\\Z\\Novex.bin -x ", L"C:\\Z\\Novex.bin -x"},
    };
    for (auto [value, server] : values) {
        EXPECT_EQ(ServerPathOfCommandLine(value), server) << Utf8(value);
        const ProcessStartInfo info = UnregisterExeStartInfo(value);
        EXPECT_EQ(BuildCommandLine(info), L"\"" + std::wstring(server) + L"\"  /UNREGSERVER") << Utf8(value);
    }
    const ProcessStartInfo info = UnregisterExeStartInfo(L"\"C:\\Program Files\\ZEKT\\Novex.exe\"");
    EXPECT_EQ(info.workingFolder, L"C:\\Program Files\\ZEKT");
    EXPECT_FALSE(info.hidden);
    EXPECT_EQ(UnregisterExeStartInfo(L"Novex.exe").workingFolder, L"Novex.exe");
}

TEST(RunProcess, WaitsForTheEndAndReadsTheFullExitCode) {
    const Process failed = RunProcess(HelperRun(L"--exit 0xFFFFFFFF"));
    EXPECT_TRUE(failed.started);
    EXPECT_NE(failed.processId, 0u);
    EXPECT_EQ(failed.handle.Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(failed.exitCode, 0xFFFFFFFFu);
    EXPECT_FALSE(EndedAsUnregistered(failed));

    const Process one = RunProcess(HelperRun(L"--exit 1"));
    EXPECT_EQ(one.exitCode, 1u);
    EXPECT_TRUE(EndedAsUnregistered(one));
}

TEST(RunProcess, MissingProgramOrFolderLeavesTheRecordUnstarted) {
    ScratchFolder scratch(L"quellor-missing");
    const Process missing = RunProcess({scratch / L"NoSuch.exe", L"", L"", false});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.handle.Get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(missing.processId, 0u);
    EXPECT_FALSE(EndedAsUnregistered(missing));

    ProcessStartInfo badFolder = HelperRun(L"--exit 0");
    badFolder.workingFolder = scratch / L"no-such-folder";
    const Process notStarted = RunProcess(badFolder);
    EXPECT_FALSE(notStarted.started);
    EXPECT_EQ(notStarted.startError, static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_EQ(UnregisterComExe(scratch / L"NoSuch.exe").Error(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(RunProcess, HiddenFlagAndWorkingFolderReachTheChild) {
    ScratchFolder scratch(L"quellor-startup");
    ScopedEnvironmentVariable record(L"QUELLOR_HELPER_RECORD", scratch / L"record.txt");
    ProcessStartInfo hidden = HelperRun(L"--exit 0");
    hidden.hidden = true;
    hidden.workingFolder = scratch.Path();
    RunProcess(hidden);
    RunProcess(HelperRun(L"--exit 0"));
    const auto lines = ReadLines(scratch / L"record.txt");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(Lower(lines[1]), Lower(scratch.Path()));
    EXPECT_EQ(lines[2], L"startup 1 0");
    EXPECT_EQ(lines[5].substr(0, 9), L"startup 0");
}

TEST(UnregisterComExe, ServerGetsTheSwitchInItsFolderAndOnlyMinusOneFails) {
    ScratchFolder scratch(L"quellor-comexe");
    const std::wstring folder = scratch / L"Server Folder";
    const std::wstring server = CopyHelperAs(folder, L"TestServer.exe");
    ScopedEnvironmentVariable record(L"QUELLOR_HELPER_RECORD", scratch / L"record.txt");
    {
        ScopedEnvironmentVariable exitCode(L"QUELLOR_HELPER_EXIT_CODE", L"1");
        EXPECT_TRUE(UnregisterComExe(L"\"" + server + L"\" /automation").Succeeded());
    }
    {
        ScopedEnvironmentVariable exitCode(L"QUELLOR_HELPER_EXIT_CODE", L"0xFFFFFFFF");
        EXPECT_EQ(UnregisterComExe(server).Error(), 0xFFFFFFFFu);
    }
    const auto lines = ReadLines(scratch / L"record.txt");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"\"" + server + L"\"  /UNREGSERVER");
    EXPECT_EQ(Lower(lines[1]), Lower(folder));
    EXPECT_EQ(lines[2].substr(0, 9), L"startup 0");
}

// Only the end of a child within the limit counts; a child past it is ended and its step fails.
TEST(RunProcess, ChildPastTheWaitLimitIsEndedAndCountsAsFailed) {
    const DWORD limit = ChildWaitLimitMs();
    SetChildWaitLimitMs(1000);
    const ULONGLONG start = ::GetTickCount64();
    const Process hung = RunProcess(HelperRun(L"--sleep"));
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    StepResult hungServer = StepResult::Success();
    {
        ScopedEnvironmentVariable hang(L"QUELLOR_HELPER_UNREGISTER_HANGS", L"1");
        hungServer = UnregisterComExe(HelperExePath());
    }
    SetChildWaitLimitMs(limit);
    EXPECT_EQ(hungServer.Error(), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(limit, DefaultChildWaitLimitMs);
    EXPECT_TRUE(hung.started);
    EXPECT_LT(elapsed, 8000u);
    EXPECT_FALSE(EndedAsUnregistered(hung));
    EXPECT_EQ(::WaitForSingleObject(hung.handle.Get(), 0), WAIT_OBJECT_0) << "the hung child is still running";
}

TEST(UnregisterComDll, RegsvrCallsTheServersUnregistration) {
    ScratchFolder scratch(L"quellor-comdll");
    const std::wstring folder = scratch / L"Probe Folder";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring dll = folder + L"\\probe.dll";
    ASSERT_TRUE(::CopyFileW(ProbeDllPath().c_str(), dll.c_str(), FALSE));
    const std::wstring marker = scratch / L"unregistered.txt";
    ScopedEnvironmentVariable record(L"QUELLOR_HELPER_RECORD", marker);
    EXPECT_TRUE(UnregisterComDll(dll).Succeeded());
    EXPECT_TRUE(FileExists(marker));
}

// regsvr32 ends with 3 when the DLL cannot be loaded and 5 when its unregistration fails: the server
// stays registered, so the step must fail.
TEST(UnregisterComDll, RegsvrFailureCodesAreFailures) {
    ScratchFolder scratch(L"quellor-comdll-fail");
    const std::wstring dll = scratch / L"probe.dll";
    ASSERT_TRUE(::CopyFileW(ProbeDllPath().c_str(), dll.c_str(), FALSE));
    {
        ScopedEnvironmentVariable fail(L"QUELLOR_HELPER_UNREGISTER_FAILS", L"1");
        EXPECT_EQ(UnregisterComDll(dll).Error(), 5u);
    }
    EXPECT_EQ(UnregisterComDll(scratch / L"missing.dll").Error(), 3u);
    EXPECT_TRUE(UnregisterComDll(dll).Succeeded());
}
