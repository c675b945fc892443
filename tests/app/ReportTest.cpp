#include <gtest/gtest.h>

#include <deque>

#include "app/InfoLog.h"
#include "app/Report.h"
#include "app/users/UserProfiles.h"
#include "platform/Privileges.h"
#include "platform/UniqueResource.h"
#include "registry/UserHives.h"
#include "tests/registry_storage/TestKeys.h"
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
    Zento::Lithcore::TextFile log = Zento::Lithcore::TextFile::CreateNewForWriting(logPath);
    CapturedOutput console;

    std::string LogBytes() {
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

// ---- other users' hives and the privileges that loading them needs, held only while the run works in them ----

namespace {

namespace Lc = Zento::Lithcore;

bool PrivilegeEnabled(const wchar_t* name) {
    Lc::UniqueHandle token;
    LUID luid{};
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()) ||
        !::LookupPrivilegeValueW(nullptr, name, &luid))
        return false;
    DWORD bytes = 0;
    ::GetTokenInformation(token.Get(), TokenPrivileges, nullptr, 0, &bytes);
    std::vector<BYTE> buffer(bytes);
    if (!::GetTokenInformation(token.Get(), TokenPrivileges, buffer.data(), bytes, &bytes)) return false;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
        if (privileges->Privileges[i].Luid.LowPart == luid.LowPart &&
            privileges->Privileges[i].Luid.HighPart == luid.HighPart)
            return (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    return false;
}

bool HivePrivilegesEnabled() { return PrivilegeEnabled(SE_BACKUP_NAME) || PrivilegeEnabled(SE_RESTORE_NAME); }

bool Mounted(const std::wstring& name) { return Lc::HiveLoaded(Lc::NativeView(), name); }

// What was loaded below HKEY_USERS, and whether the two privileges were on, at each read of the console.
class WatchingInput : public ScriptedInput {
public:
    WatchingInput(const std::string& script, std::wstring hive) : ScriptedInput(script), hive_(std::move(hive)) {}
    int ReadChar() override {
        if (Mounted(hive_)) hiveSeen = true;
        if (HivePrivilegesEnabled()) privilegesSeen = true;
        return ScriptedInput::ReadChar();
    }
    bool hiveSeen = false;
    bool privilegesSeen = false;

private:
    std::wstring hive_;
};

const char kHive[] = "WINE REGISTRY Version 2\r\n\r\n[Software\\\\QuellorTest] 0\r\n\"N\"=\"1\"\r\n";

// A profile-list entry for a user of the scratch folder's subfolder `name`, with its two hive files.
struct PlantedUser {
    PlantedUser(const ScratchFolder& folder, const std::wstring& sid, const std::wstring& entry,
                const std::string& classesHive, DWORD state = 0)
        : key(HKEY_LOCAL_MACHINE, kProfileList + entry) {
        const std::wstring home = folder / sid;
        ::CreateDirectoryW(home.c_str(), nullptr);
        QuellorTest::WriteFileBytes(Lc::UserHiveFile(home), kHive);
        for (const wchar_t* part : {L"\\AppData", L"\\AppData\\Local", L"\\AppData\\Local\\Microsoft",
                                    L"\\AppData\\Local\\Microsoft\\Windows"})
            ::CreateDirectoryW((home + part).c_str(), nullptr);
        QuellorTest::WriteFileBytes(Lc::ClassesHiveFile(home), classesHive);
        QuellorTest::SetRawString(HKEY_LOCAL_MACHINE, kProfileList + entry, L"ProfileImagePath", home,
                                  Lc::NativeView());
        if (state != 0)
            QuellorTest::SetRawValue(HKEY_LOCAL_MACHINE, kProfileList + entry, L"State", REG_DWORD, &state,
                                     sizeof(state), Lc::NativeView());
    }
    static inline const std::wstring kProfileList = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    QuellorTest::ScopedTestKey key;
};

// A hive that someone else loaded before the run, and unloads after it.
struct ForeignMount {
    ForeignMount(const std::wstring& name, const std::wstring& file) : name(name) {
        Lc::EnabledPrivileges privileges({SE_BACKUP_NAME, SE_RESTORE_NAME});
        loaded = ::RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str()) == ERROR_SUCCESS;
    }
    ~ForeignMount() {
        Lc::EnabledPrivileges privileges({SE_BACKUP_NAME, SE_RESTORE_NAME});
        if (Mounted(name)) ::RegUnLoadKeyW(HKEY_USERS, name.c_str());
    }
    std::wstring name;
    bool loaded = false;
};

const SearchedUser* Find(const SearchedUsers& users, const std::wstring& sid) {
    for (const SearchedUser& user : users)
        if (user.sid == sid) return &user;
    return nullptr;
}

}  // namespace

TEST_F(ReportFixture, OtherUsersHivesAndPrivilegesAreHeldOnlyWhileTheRunWorksInThem) {
    const std::wstring base = L"S-1-5-21-7-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
    const std::wstring sid = base + L"1001", halfSid = base + L"1002", tempSid = base + L"1003",
                       sharedSid = base + L"1004";
    ASSERT_FALSE(HivePrivilegesEnabled());
    PlantedUser user(folder, sid, sid, kHive);
    PlantedUser repaired(folder, sid, sid + L".bak", kHive);  // a profile repair's copy of the same entry
    PlantedUser half(folder, halfSid, halfSid, "not a hive\r\n");  // UsrClass.dat does not load
    PlantedUser temporary(folder, tempSid, tempSid, kHive, Lc::kProfileTemporary);
    PlantedUser shared(folder, sharedSid, sharedSid, kHive);
    ForeignMount foreign(sharedSid + L"_Classes", Lc::ClassesHiveFile(folder / sharedSid));
    ASSERT_TRUE(foreign.loaded);
    ASSERT_FALSE(HivePrivilegesEnabled());

    WatchingInput yes("y\n", sid), no("n\n", sid);
    Report report(console, yes, log), reportNo(console, no, log);
    SearchedUsers users;
    UserHiveSession hives;
    report.SetOperatorWaits(&hives);
    reportNo.SetOperatorWaits(&hives);
    hives.LoadProfiles(report, users);
    EXPECT_FALSE(HivePrivilegesEnabled()) << "the privileges outlived the loads";
    ASSERT_NE(Find(users, sid), nullptr);
    EXPECT_EQ(Find(users, sid)->state, UserHiveState::LoadedByTool);
    EXPECT_TRUE(Mounted(sid) && Mounted(sid + L"_Classes"));
    EXPECT_EQ(Find(users, sid + L".bak"), nullptr);
    EXPECT_EQ(Find(users, tempSid), nullptr);
    EXPECT_FALSE(Mounted(sid + L".bak") || Mounted(tempSid));
    ASSERT_NE(Find(users, halfSid), nullptr);
    EXPECT_EQ(Find(users, halfSid)->state, UserHiveState::NotSearched);
    EXPECT_FALSE(Mounted(halfSid) || Mounted(halfSid + L"_Classes")) << "half a user stayed loaded";
    ASSERT_NE(Find(users, sharedSid), nullptr);
    EXPECT_EQ(Find(users, sharedSid)->state, UserHiveState::LoadedByTool);
    EXPECT_TRUE(Mounted(sharedSid + L"_Classes"));

    // Let go during the question, taken again after Y.
    EXPECT_EQ(AskToContinue(report, L"Q?"), 0);
    EXPECT_FALSE(yes.hiveSeen) << "the hive stayed loaded while the operator was asked";
    EXPECT_FALSE(yes.privilegesSeen);
    EXPECT_TRUE(Mounted(sid) && Mounted(sid + L"_Classes") && Mounted(sharedSid));
    EXPECT_TRUE(Mounted(sharedSid + L"_Classes")) << "someone else's classes hive was unloaded";
    EXPECT_EQ(Find(users, sid)->state, UserHiveState::LoadedByTool);
    EXPECT_FALSE(HivePrivilegesEnabled());

    // After N nothing is loaded again.
    EXPECT_EQ(AskToContinue(reportNo, L"Q?"), -1);
    EXPECT_FALSE(no.hiveSeen);
    EXPECT_FALSE(Mounted(sid) || Mounted(sid + L"_Classes") || Mounted(sharedSid));

    EXPECT_TRUE(hives.UnloadAll(report));
    EXPECT_TRUE(Mounted(sharedSid + L"_Classes"));
    EXPECT_FALSE(HivePrivilegesEnabled());
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
