// quellor.exe started in a folder holding a tool-written setting_ZEKT.dat.
#include <gtest/gtest.h>

#include "app/Profile.h"
#include "platform/UniqueResource.h"
#include "tests/support/TestSupport.h"
#include "tools/settings-tool/SettingsWriter.h"

namespace {

using Zento::Lithcore::Settings;

void WriteSettingsFile(const QuellorTest::ScratchFolder& folder, const Settings& settings) {
    ASSERT_TRUE(Zento::Lithcore::WriteImageFile(
        folder / L"setting_ZEKT.dat",
        Zento::Lithcore::EncipherSettingsText(Zento::Lithcore::WriteSettingsXml(settings))));
}

struct RunResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string output;
};

HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD creation) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, creation,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Standard input and output are files, not pipes: the shell may start Wine's desktop process from
// inside the run, which inherits the handles and would hold a pipe open long after the run ended.
RunResult RunQuellor(const QuellorTest::ScratchFolder& folder, const std::wstring& arguments,
                     const std::string& input) {
    QuellorTest::WriteFileBytes(folder / L"stdin.txt", input);
    RunResult result;
    {
        Zento::Lithcore::UniqueHandle in(InheritableFile(folder / L"stdin.txt", GENERIC_READ, OPEN_EXISTING));
        Zento::Lithcore::UniqueHandle out(InheritableFile(folder / L"stdout.txt", GENERIC_WRITE, CREATE_ALWAYS));
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in.Get();
        si.hStdOutput = out.Get();
        si.hStdError = out.Get();
        PROCESS_INFORMATION pi{};
        std::wstring command = L"\"" + std::wstring(QUELLOR_EXE) + L"\"" + arguments;
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                              folder.Path().c_str(), &si, &pi))
            return result;
        result.started = true;
        Zento::Lithcore::UniqueHandle process(pi.hProcess), thread(pi.hThread);
        if (::WaitForSingleObject(process.Get(), 120000) != WAIT_OBJECT_0) {
            result.timedOut = true;
            ::TerminateProcess(process.Get(), 1);
            ::WaitForSingleObject(process.Get(), 10000);
        }
        ::GetExitCodeProcess(process.Get(), &result.exitCode);
    }
    result.output = QuellorTest::ReadFileBytes(folder / L"stdout.txt");
    return result;
}

TEST(SettingsFileInTheRun, AddedVersionIsFound) {
    QuellorTest::ScratchFolder folder;
    Settings settings = Quellor::BuildDefaultSettings();
    settings.PRODUCTCODES[L"2.0.0.0"] = L"{5D1A8C2E-0000-4000-8000-00000000A200}";
    WriteSettingsFile(folder, settings);
    const auto run = RunQuellor(folder, L" 2.0.0.0", "N\n\n\n");
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_NE(run.output.find(QuellorTest::Utf8(L"設定ファイルを読み込みました。")), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(QuellorTest::Utf8(L"Ver.2.0.0.0 のMirevoの削除を行います。")), std::string::npos)
        << run.output;
}

TEST(SettingsFileInTheRun, FileWithoutTheDefaultVersionEndsTheRun) {
    QuellorTest::ScratchFolder folder;
    Settings settings = Quellor::BuildDefaultSettings();
    settings.PRODUCTCODES.erase(L"1.0.14.0");
    WriteSettingsFile(folder, settings);
    const auto run = RunQuellor(folder, L"", "\n");
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_NE(run.output.find(QuellorTest::Utf8(
                  L"指定されたバージョン Ver.1.0.14.0 のプロダクトコードが見つかりませんでした。")),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu);
}

TEST(SettingsFileInTheRun, UnreadableFileFallsBackToTheDefaults) {
    QuellorTest::ScratchFolder folder;
    QuellorTest::WriteFileBytes(folder / L"setting_ZEKT.dat", std::string(500, '\x5A'));
    // 1.0.11.0 is in no table, so the run ends right after the profile is settled.
    const auto run = RunQuellor(folder, L" 1.0.11.0", "\n");
    ASSERT_TRUE(run.started);
    EXPECT_NE(run.output.find(QuellorTest::Utf8(L"設定ファイルが読み込めませんでした。")), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("PRODUCTCODES : "), std::string::npos);
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu);
}

}  // namespace
