// Runs quellor.exe as a process with scripted input in a scratch folder and checks the bytes
// it writes to the console (redirected: UTF-8) and to its log, and its exit code.
#include <gtest/gtest.h>

#include "platform/UniqueResource.h"
#include "tests/support/TestSupport.h"

using namespace QuellorTest;

namespace {

const std::wstring kExe = HostPathToWindows(QUELLOR_EXE);
constexpr DWORD kMinusOne = 0xFFFFFFFF;

struct QuellorRun {
    ChildResult child;
    std::string log;
    int logCount = 0;
};

QuellorRun RunQuellor(const ScratchFolder& folder, const std::wstring& arguments, const std::string& input = "") {
    QuellorRun run;
    run.child = RunChild(L"\"" + kExe + L"\"" + arguments, folder.Path(), input);
    for (const std::wstring& name : ListFileNames(folder.Path())) {
        if (name.rfind(L"infoLog_", 0) == 0) {
            ++run.logCount;
            run.log = ReadFileBytes(folder / name);
        }
    }
    return run;
}

std::string Lines(std::initializer_list<const wchar_t*> lines, const char* end = "\n") {
    std::string bytes;
    for (const wchar_t* line : lines) bytes += Utf8(line) + end;
    return bytes;
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

const wchar_t kBanner[] = L"||||||Mirevo　情報収集・強制削除ツール||||||";

}  // namespace

TEST(Startup, NoArgumentUsesDefaultVersionAndListsDefaultsWhenSettingsFileIsMissing) {
    ScratchFolder folder;
    QuellorRun run = RunQuellor(folder, L"", "\n");
    ASSERT_TRUE(run.child.started);
    std::string expectedStart = Lines({kBanner, L"", L"バージョンの指定が無かったため、Ver.1.0.14.0のMirevoの削除を行います。", L"",
                                       L"設定ファイルがありませんでした。", L"", L"設定ファイルが読み込めませんでした。", L"",
                                       L"設定ファイルが読み込めなかったため、以下の既定値を使用します。",
                                       L"CUSTOMER : ZEKT"});
    EXPECT_EQ(run.child.output.substr(0, expectedStart.size()), expectedStart);
    std::string productCodes = Lines({L"PRODUCTCODES : ", L"  - 1.0.10.0 : {35307B30-CC25-2F50-AFAC-42187A2492C9}"});
    std::string lastCode = Lines({L"  - 1.0.9.0 : {4344A992-02A4-706C-D466-7CFF8C489813}", L"",
                                  L"Ver.1.0.14.0 のMirevoの削除を行います。"});
    EXPECT_NE(run.child.output.find(productCodes), std::string::npos);
    EXPECT_NE(run.child.output.find(lastCode), std::string::npos);
    EXPECT_LT(run.child.output.find(productCodes), run.child.output.find(lastCode));
    // Every console line is in the log too, as UTF-8 without a byte-order mark and with CR LF.
    ASSERT_EQ(run.logCount, 1);
    EXPECT_EQ(run.log.substr(0, 3), Utf8(L"|||"));
    EXPECT_EQ(run.log.substr(0, expectedStart.size() + 10), ToCrLf(expectedStart).substr(0, expectedStart.size() + 10));
}

TEST(Startup, OneArgumentThatIsFoundIsUsedVerbatim) {
    ScratchFolder folder;
    QuellorRun run = RunQuellor(folder, L" 1.0.15.0", "\n");
    std::string expected = Lines({kBanner, L""}) + "\n" + Lines({L"設定ファイルがありませんでした。"});
    EXPECT_EQ(run.child.output.substr(0, expected.size()), expected);
    EXPECT_NE(run.child.output.find(Utf8(L"\nVer.1.0.15.0 のMirevoの削除を行います。\n")), std::string::npos);
    EXPECT_EQ(run.child.output.find(Utf8(L"バージョンの指定が無かった")), std::string::npos);
}

TEST(Startup, VersionsNotInTableEndWithNotFoundMessageAfterOneCharacter) {
    for (const wchar_t* arguments : {L" 1.0.11.0", L" \" 1.0.14.0\"", L" 1.0.09.0"}) {
        ScratchFolder folder;
        QuellorRun run = RunQuellor(folder, arguments, "");
        std::wstring version = std::wstring(arguments).find(L'"') != std::wstring::npos ? L" 1.0.14.0"
                                                                                         : std::wstring(arguments + 1);
        std::string tail = Lines({(L"指定されたバージョン Ver." + version + L" のプロダクトコードが見つかりませんでした。").c_str(),
                                  L"Enterで終了"});
        ASSERT_GE(run.child.output.size(), tail.size()) << Utf8(arguments);
        EXPECT_EQ(run.child.output.substr(run.child.output.size() - tail.size()), tail) << Utf8(arguments);
        EXPECT_EQ(run.child.exitCode, kMinusOne);
        EXPECT_FALSE(run.child.timedOut);
        EXPECT_EQ(run.log.substr(run.log.size() - ToCrLf(tail).size()), ToCrLf(tail));
    }
}

TEST(Startup, MoreThanOneArgumentPrintsUsageWithProgramPathAndEndsWithMinusOne) {
    ScratchFolder folder;
    QuellorRun run = RunQuellor(folder, L" 1.0.14.0 1.0.15.0", "\n");
    std::string expected = Lines({kBanner, L""}) + Utf8(L"削除したいMirevoのバージョンを１つだけ指定してください。") +
                           "\r\n\r\n" + Utf8(L"(例) >" + kExe + L" 1.0.14.0") + "\n" + Lines({L"Enterで終了"});
    EXPECT_EQ(run.child.output, expected);
    EXPECT_EQ(run.child.exitCode, kMinusOne);
    ASSERT_EQ(run.logCount, 1);
    EXPECT_EQ(run.log, ToCrLf(Lines({kBanner, L""})) + Utf8(L"削除したいMirevoのバージョンを１つだけ指定してください。") +
                           "\r\n\r\n" + Utf8(L"(例) >" + kExe + L" 1.0.14.0") + "\r\n" + Utf8(L"Enterで終了") + "\r\n");
}

TEST(Startup, SettingsFileIsLookedForInCurrentFolderAndAnUnreadableOneFallsBackToDefaults) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"setting_ZEKT.dat", "not an enciphered settings file");
    QuellorRun run = RunQuellor(folder, L"", "");
    std::string expected = Lines({L"設定ファイルの存在を確認しました。", L"", L"", L"設定ファイルが読み込めませんでした。", L"",
                                  L"設定ファイルが読み込めなかったため、以下の既定値を使用します。", L"CUSTOMER : ZEKT"});
    EXPECT_NE(run.child.output.find(expected), std::string::npos);
}

TEST(Startup, LogThatCannotBeCreatedEndsWithJapaneseMessageAndMinusOne) {
    ScratchFolder folder;
    // A read-only working folder cannot take the log under Windows; under Wine the folder attribute is
    // not enforced, so take away the name instead: a folder already named like every candidate log.
    ScratchFolder blocked;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    for (int second = 0; second < 3; ++second) {
        SYSTEMTIME t = now;
        FILETIME ft{};
        ::SystemTimeToFileTime(&t, &ft);
        ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
        v.QuadPart += static_cast<ULONGLONG>(second) * 10000000ULL;
        ft = {v.LowPart, v.HighPart};
        ::FileTimeToSystemTime(&ft, &t);
        wchar_t stamp[32];
        swprintf(stamp, 32, L"%04d%02d%02d%02d%02d%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
        for (int attempt = 1; attempt <= 100; ++attempt) {
            std::wstring name = L"infoLog_" + std::wstring(stamp) + (attempt > 1 ? L"_" + std::to_wstring(attempt) : L"") + L".txt";
            ::CreateDirectoryW((folder / name).c_str(), nullptr);
        }
    }
    QuellorRun run = RunQuellor(folder, L"", "");
    EXPECT_EQ(run.child.exitCode, kMinusOne);
    EXPECT_NE(run.child.output.find(Utf8(L"情報ログファイルを作成できませんでした。")), std::string::npos);
}

namespace {

std::string ManifestOf(const std::wstring& exe) {
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return {};
    std::string text;
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    if (loaded != nullptr) text.assign(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module, found));
    ::FreeLibrary(module);
    return text;
}

}  // namespace

TEST(Manifest, AsksForAdministratorAndNamesWindows7To11) {
    const std::string manifest = ManifestOf(kExe);
    ASSERT_FALSE(manifest.empty()) << "quellor.exe carries no manifest";
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    for (const char* id : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos) << id;
}

// Started with the limited token that an administrator's unelevated programs get, the run refuses
// before it writes a log or looks at anything.
TEST(Startup, UnelevatedStartIsRefusedBeforeAnythingIsCollected) {
    Zento::Lithcore::UniqueHandle token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put()));
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenLinkedToken, &linked, sizeof linked, &size))
        GTEST_SKIP() << "this system gives the test no limited token (" << ::GetLastError() << ")";
    Zento::Lithcore::UniqueHandle limited(linked.LinkedToken);

    ScratchFolder folder;
    ChildResult child = RunChild(L"\"" + kExe + L"\" 1.0.14.0", folder.Path(), "Y\n\n", 60000, limited.Get());
    ASSERT_TRUE(child.started);
    EXPECT_EQ(child.exitCode, kMinusOne);
    EXPECT_EQ(child.output, Utf8(L"管理者として実行されていないため、処理を中断します。"
                                 L"コマンドプロンプトを「管理者として実行」で開き、そこから実行してください。\n"));
    EXPECT_TRUE(ListFileNames(folder.Path()).empty());

    // The same program with the full token runs.
    ChildResult elevated = RunChild(L"\"" + kExe + L"\" 1 2", folder.Path(), "");
    EXPECT_NE(elevated.output.find(Utf8(L"バージョンを１つだけ指定してください")), std::string::npos);
}
