#include "tools/settings-tool/SettingsTool.h"

#include <gtest/gtest.h>

#include "app/Profile.h"
#include "settings/SettingsArchive.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/support/TestSupport.h"
#include "tools/settings-tool/SettingsSource.h"

namespace Quellor::SettingsTool {
namespace {

using QuellorTest::ReadFileBytes;
using QuellorTest::Utf8;
using QuellorTest::WriteFileBytes;

class CapturedOutput : public Output {
public:
    void Out(const std::wstring& text) override { out += text; }
    void Err(const std::wstring& text) override { err += text; }
    std::wstring out, err;
};

class SettingsToolTest : public ::testing::Test {
protected:
    int Run(std::vector<std::wstring> args) {
        output = {};
        return RunSettingsTool(args, output);
    }
    std::wstring At(const wchar_t* name) const { return folder / name; }

    QuellorTest::ScratchFolder folder;
    CapturedOutput output;
};

TEST_F(SettingsToolTest, DefaultsSourceWritesAFileThatLoadsAsTheDefaults) {
    ASSERT_EQ(Run({L"defaults", At(L"source.txt")}), kExitOk);
    ASSERT_EQ(Run({L"write", At(L"source.txt"), At(L"setting_ZEKT.dat")}), kExitOk) << Utf8(output.err);
    Settings loaded;
    ASSERT_TRUE(Zento::Lithcore::LoadSettingsFile(At(L"setting_ZEKT.dat"), loaded));
    EXPECT_EQ(loaded, BuildDefaultSettings());

    ASSERT_EQ(Run({L"check", At(L"setting_ZEKT.dat")}), kExitOk);
    for (const std::wstring& line : ListDefaults(BuildDefaultSettings()))
        EXPECT_NE(output.out.find(line + L"\r\n"), std::wstring::npos) << Utf8(line);
}

TEST_F(SettingsToolTest, EditedSourceAddsAndDropsVersions) {
    WriteFileBytes(At(L"source.txt"),
                   "\xEF\xBB\xBF# edited\r\n" + Utf8(FormatSource(BuildDefaultSettings())) +
                       "PRODUCTCODES[2.0.0.0] = {AAAAAAAA-0000-0000-0000-000000000000}\n  \n");
    std::string text = ReadFileBytes(At(L"source.txt"));
    text.erase(text.find("PRODUCTCODES[1.0.14.0]"), text.find("\n", text.find("PRODUCTCODES[1.0.14.0]")) -
                                                        text.find("PRODUCTCODES[1.0.14.0]") + 1);
    WriteFileBytes(At(L"source.txt"), text);
    ASSERT_EQ(Run({L"write", At(L"source.txt"), At(L"out.dat")}), kExitOk) << Utf8(output.err);
    Settings loaded;
    ASSERT_TRUE(Zento::Lithcore::LoadSettingsFile(At(L"out.dat"), loaded));
    EXPECT_EQ(loaded.PRODUCTCODES.count(L"1.0.14.0"), 0u);
    EXPECT_EQ(loaded.PRODUCTCODES.at(L"2.0.0.0"), L"{AAAAAAAA-0000-0000-0000-000000000000}");
}

TEST_F(SettingsToolTest, ExportThenWriteReproducesTheRecordAndReadGivesTheArchive) {
    WriteFileBytes(At(L"fixture.xml"), Utf8(SettingsTest::FixtureXml()));
    ASSERT_EQ(Run({L"write", At(L"fixture.xml"), At(L"a.dat")}), kExitOk) << Utf8(output.err);
    ASSERT_EQ(Run({L"export", At(L"a.dat"), At(L"a.txt")}), kExitOk);
    ASSERT_EQ(Run({L"write", At(L"a.txt"), At(L"b.dat")}), kExitOk) << Utf8(output.err);
    Settings loaded;
    ASSERT_TRUE(Zento::Lithcore::LoadSettingsFile(At(L"b.dat"), loaded));
    EXPECT_EQ(loaded, SettingsTest::FixtureSettings());

    ASSERT_EQ(Run({L"read", At(L"b.dat"), At(L"b.xml")}), kExitOk);
    Settings parsed;
    EXPECT_TRUE(Zento::Lithcore::ParseSettingsXml(QuellorTest::Wide(ReadFileBytes(At(L"b.xml"))), parsed));
    EXPECT_EQ(parsed, loaded);
}

TEST_F(SettingsToolTest, BadSourcesAreRefusedWithTheLineAndNoFileWritten) {
    const std::string good = Utf8(FormatSource(BuildDefaultSettings()));
    const struct {
        std::string source;
        const wchar_t* message;
    } cases[] = {
        {good + "COLOUR = blue\r\n", L"unknown key COLOUR"},
        {good + "CUSTOMER = again\r\n", L"CUSTOMER is given twice"},
        {good + "CUSTOMER[x] = y\r\n", L"CUSTOMER is not a table"},
        {good + "PRODUCTCODES = {X}\r\n", L"PRODUCTCODES is a table"},
        {good + "PRODUCTCODES[1.0.9.0] = {X}\r\n", L"PRODUCTCODES[1.0.9.0] is given twice"},
        {good + "PRODUCTCODES[1.0.9.0 = {X}\r\n", L"missing ']'"},
        {good + "just words\r\n", L"expected KEY = value"},
        {"CUSTOMER = ZEKT\r\n", L"missing UPGRADECODE, PRODUCTNAME"},
        {std::string("\x00\x01\xFF\xFE garbage", 12), L"cannot read"},
        {"<?xml version=\"1.0\"?><broken", L"not a complete settings archive"},
    };
    for (const auto& c : cases) {
        WriteFileBytes(At(L"bad.txt"), c.source);
        EXPECT_EQ(Run({L"write", At(L"bad.txt"), At(L"bad.dat")}), kExitFailed) << Utf8(c.message);
        EXPECT_NE(output.err.find(c.message), std::wstring::npos) << Utf8(output.err);
        EXPECT_FALSE(QuellorTest::FileExists(At(L"bad.dat")));
    }
    WriteFileBytes(At(L"bad.txt"), good + "COLOUR = blue\r\n");
    Run({L"write", At(L"bad.txt"), At(L"bad.dat")});
    EXPECT_NE(output.err.find(L"line 28:"), std::wstring::npos) << Utf8(output.err);
}

TEST_F(SettingsToolTest, UnreadableInputsAndWrongArgumentsFail) {
    EXPECT_EQ(Run({}), kExitUsage);
    EXPECT_EQ(Run({L"write", At(L"only-one")}), kExitUsage);
    EXPECT_EQ(Run({L"frobnicate", L"a", L"b"}), kExitUsage);
    EXPECT_EQ(Run({L"check", At(L"missing.dat")}), kExitFailed);
    WriteFileBytes(At(L"junk.dat"), std::string(300, 'j'));
    EXPECT_EQ(Run({L"check", At(L"junk.dat")}), kExitFailed);
    EXPECT_EQ(Run({L"read", At(L"junk.dat")}), kExitFailed);
    EXPECT_EQ(Run({L"export", At(L"junk.dat"), At(L"x.txt")}), kExitFailed);
    EXPECT_EQ(Run({L"write", At(L"missing.txt"), At(L"x.dat")}), kExitFailed);
}

TEST(SettingsToolExe, PrintsUtf8WhenRedirectedAndReportsFailureInTheExitCode) {
    QuellorTest::ScratchFolder folder;
    WriteFileBytes(folder / L"fixture.xml", Utf8(SettingsTest::FixtureXml()));
    const std::wstring tool = L"\"" + std::wstring(QUELLOR_SETTINGS_TOOL) + L"\" ";
    auto written = QuellorTest::RunChild(tool + L"write fixture.xml setting_ZEKT.dat", folder.Path(), "");
    ASSERT_TRUE(written.started);
    EXPECT_EQ(written.exitCode, 0u) << written.output;
    auto checked = QuellorTest::RunChild(tool + L"check setting_ZEKT.dat", folder.Path(), "");
    EXPECT_EQ(checked.exitCode, 0u);
    EXPECT_NE(checked.output.find(Utf8(L"TOOLNAME : Corvane 管理ツール & <予備>\r\n")), std::string::npos)
        << checked.output;
    auto failed = QuellorTest::RunChild(tool + L"check fixture.xml", folder.Path(), "");
    EXPECT_EQ(failed.exitCode, 1u);
    EXPECT_NE(failed.output.find("does not load"), std::string::npos) << failed.output;
}

}  // namespace
}  // namespace Quellor::SettingsTool
