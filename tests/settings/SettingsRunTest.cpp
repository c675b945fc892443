// quellor.exe started in a folder holding a tool-written setting_ZEKT.dat.
#include <gtest/gtest.h>

#include "app/Profile.h"
#include "settings/SettingsWriter.h"
#include "tests/support/TestSupport.h"

namespace {

using Zento::Lithcore::Settings;

void WriteSettingsFile(const QuellorTest::ScratchFolder& folder, const Settings& settings) {
    ASSERT_TRUE(Zento::Lithcore::WriteImageFile(
        folder / L"setting_ZEKT.dat",
        Zento::Lithcore::EncipherSettingsText(Zento::Lithcore::WriteSettingsXml(settings))));
}

QuellorTest::ChildResult RunQuellor(const QuellorTest::ScratchFolder& folder, const std::wstring& arguments,
                                    const std::string& input) {
    return QuellorTest::RunChild(L"\"" + std::wstring(QUELLOR_EXE) + L"\"" + arguments, folder.Path(), input,
                                 180000);
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
