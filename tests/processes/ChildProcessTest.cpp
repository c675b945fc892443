#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "processes/ChildProcess.h"
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

TEST(CommandLine, RegsvrUnregistrationIsSilentInTheMatchingSystemFolder) {
    const ProcessStartInfo info = UnregisterDllStartInfo(L"C:\\Program Files\\ZEKT\\FerrowPS.dll");
    EXPECT_EQ(BuildCommandLine(info), L"\"regsvr32\"  /u /s \"C:\\Program Files\\ZEKT\\FerrowPS.dll\"");
    EXPECT_FALSE(info.hidden);
    const std::wstring expectedFolder = IsWow64() ? L"c:\\windows\\syswow64" : L"c:\\windows\\system32";
    EXPECT_EQ(Lower(info.workingFolder), expectedFolder);
}

TEST(CommandLine, LocalServerUnregistrationRunsInTheServersFolder) {
    const ProcessStartInfo info = UnregisterExeStartInfo(L"C:\\Program Files\\ZEKT\\Novex.exe");
    EXPECT_EQ(BuildCommandLine(info), L"\"C:\\Program Files\\ZEKT\\Novex.exe\"  /UNREGSERVER");
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
    EXPECT_FALSE(RunProcess(badFolder).started);
    EXPECT_FALSE(UnregisterComExe(scratch / L"NoSuch.exe"));
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
        EXPECT_TRUE(UnregisterComExe(server));
    }
    {
        ScopedEnvironmentVariable exitCode(L"QUELLOR_HELPER_EXIT_CODE", L"0xFFFFFFFF");
        EXPECT_FALSE(UnregisterComExe(server));
    }
    const auto lines = ReadLines(scratch / L"record.txt");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"\"" + server + L"\"  /UNREGSERVER");
    EXPECT_EQ(Lower(lines[1]), Lower(folder));
    EXPECT_EQ(lines[2].substr(0, 9), L"startup 0");
}

TEST(UnregisterComDll, RegsvrCallsTheServersUnregistration) {
    ScratchFolder scratch(L"quellor-comdll");
    const std::wstring folder = scratch / L"Probe Folder";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring dll = folder + L"\\probe.dll";
    ASSERT_TRUE(::CopyFileW(ProbeDllPath().c_str(), dll.c_str(), FALSE));
    const std::wstring marker = scratch / L"unregistered.txt";
    ScopedEnvironmentVariable record(L"QUELLOR_HELPER_RECORD", marker);
    EXPECT_TRUE(UnregisterComDll(dll));
    EXPECT_TRUE(FileExists(marker));
}
