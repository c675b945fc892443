#include <gtest/gtest.h>

#include <deque>

#include "app/Dialogue.h"
#include "app/InfoLog.h"
#include "app/Report.h"
#include "tests/support/TestSupport.h"

using namespace Quellor;
using QuellorTest::ReadFileBytes;
using QuellorTest::ScratchFolder;
using QuellorTest::Utf8;

namespace {

class CapturedOutput : public ConsoleOutput {
public:
    void Write(const std::wstring& text) override { text_ += text; }
    std::string Bytes() const { return Utf8(text_); }

private:
    std::wstring text_;
};

class ScriptedInput : public ConsoleInput {
public:
    explicit ScriptedInput(const std::string& script) : rest_(script.begin(), script.end()) {}
    int ReadChar() override {
        if (rest_.empty()) return kEnd;
        int c = static_cast<unsigned char>(rest_.front());
        rest_.pop_front();
        return c;
    }
    std::string Rest() const { return std::string(rest_.begin(), rest_.end()); }

private:
    std::deque<char> rest_;
};

struct ReportFixture : ::testing::Test {
    ScratchFolder folder;
    std::wstring logPath = folder / L"log.txt";
    Zento::Lithcore::TextFile log = Zento::Lithcore::TextFile::OpenForWriting(logPath);
    CapturedOutput console;

    std::string LogBytes() {
        log.Close();
        return ReadFileBytes(logPath);
    }
};

int CountOf(const std::string& haystack, const std::string& needle) {
    int count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++count;
    return count;
}

}  // namespace

TEST_F(ReportFixture, EmptySearchPrintsThreeLinesAndLogsNoList) {
    ScriptedInput input("");
    Report report(console, input, log);
    report.ReportSearch(L"ラベル", false, {L"never"});
    EXPECT_EQ(console.Bytes(), Utf8(L"ラベルを検索します...\nラベルがありません。\n\n"));
    EXPECT_EQ(LogBytes(), Utf8(L"ラベルを検索します...\r\nラベルがありません。\r\n\r\n"));
}

TEST_F(ReportFixture, FoundSearchWritesListToLogBetweenSecondAndThirdLine) {
    ScriptedInput input("");
    Report report(console, input, log);
    report.ReportSearch(L"L", true, {L"HKEY_USERS\\a\\", L"C:\\b"});
    EXPECT_EQ(console.Bytes(), "L\xe3\x82\x92\xe6\xa4\x9c\xe7\xb4\xa2\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x99...\n" +
                                   Utf8(L"Lが見つかりました。\n\n"));
    EXPECT_EQ(LogBytes(), Utf8(L"Lを検索します...\r\nLが見つかりました。\r\nHKEY_USERS\\a\\\r\nC:\\b\r\n\r\n"));
}

TEST_F(ReportFixture, OutcomeSuccessAddsEmptyLineFailureWaitsForOneCharacter) {
    ScriptedInput input("ab");
    Report report(console, input, log);
    EXPECT_EQ(report.ReportOutcome(L"ok", L"ng", true, true), 0);
    EXPECT_EQ(report.ReportOutcome(L"ok", L"ng", false, false), -1);
    EXPECT_EQ(input.Rest(), "ab");
    EXPECT_EQ(report.ReportOutcome(L"ok", L"ng", false, true), -1);
    EXPECT_EQ(input.Rest(), "b");
    EXPECT_EQ(console.Bytes(), Utf8(L"ok\n\nng\nng\nEnterで終了\n"));
}

TEST_F(ReportFixture, LogIsUtf8WithoutByteOrderMarkAndCrLf) {
    ScriptedInput input("");
    Report report(console, input, log);
    report.PrintLine(L"日本語");
    report.LogLine(L"only log");
    EXPECT_EQ(console.Bytes(), Utf8(L"日本語\n"));
    EXPECT_EQ(LogBytes(), "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\r\nonly log\r\n");
}

TEST_F(ReportFixture, YesAcceptedAtFirstCharacterAndRestOfLineDiscarded) {
    ScriptedInput input("yes\nN\n");
    Report report(console, input, log);
    EXPECT_EQ(AskToContinue(report, L"Q?"), 0);
    EXPECT_EQ(input.Rest(), "N\n");
    EXPECT_EQ(console.Bytes(), Utf8(L"Q?\nYで処理を続行、Nでプログラムを終了します。\nYかNを入力してください。\n"
                                    L"処理を続行します。\n"));
}

TEST_F(ReportFixture, OtherLetterPromptsTwiceMoreThenEndOfInputCountsAsNo) {
    ScriptedInput input("x\n");
    Report report(console, input, log);
    EXPECT_EQ(AskToContinue(report, L"Q?"), -1);
    std::string out = console.Bytes();
    EXPECT_EQ(CountOf(out, Utf8(L"YかNを入力してください。")), 3);
    EXPECT_NE(out.find(Utf8(L"プログラムを終了します。\n")), std::string::npos);
}

TEST_F(ReportFixture, NoLeavesRestOfLineUnread) {
    ScriptedInput input("nope\n");
    Report report(console, input, log);
    EXPECT_EQ(AskToContinue(report, L"Q?"), -1);
    EXPECT_EQ(input.Rest(), "ope\n");
}

TEST(InfoLog, NameCarriesStartTimeAndSecondRunInSameSecondKeepsFirstLog) {
    SYSTEMTIME t{};
    t.wYear = 2025;
    t.wMonth = 2;
    t.wDay = 3;
    t.wHour = 9;
    t.wMinute = 5;
    t.wSecond = 7;
    EXPECT_EQ(LogFileName(t, 1), L"infoLog_20250203090507.txt");

    ScratchFolder folder;
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.Path().c_str()));
    {
        auto first = CreateInfoLog(t);
        first.WriteText(L"first run\r\n");
        auto second = CreateInfoLog(t);
        second.WriteText(L"2nd\r\n");
        EXPECT_EQ(second.Path(), L"infoLog_20250203090507_2.txt");
    }
    EXPECT_EQ(ReadFileBytes(folder / L"infoLog_20250203090507.txt"), "first run\r\n");
    EXPECT_EQ(ReadFileBytes(folder / L"infoLog_20250203090507_2.txt"), "2nd\r\n");
    ::SetCurrentDirectoryW(previous);
}
