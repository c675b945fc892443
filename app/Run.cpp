#include "app/Run.h"

#include <windows.h>

#include <optional>

#include "app/Console.h"
#include "app/InfoLog.h"
#include "app/Phases.h"
#include "app/Profile.h"
#include "app/Report.h"
#include "app/users/UserProfiles.h"
#include "platform/ComSecurity.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "settings/TextConversion.h"

namespace Quellor {

namespace {

constexpr int kEnd = -1;

// The version from the command line. Returns it, or nothing when the run ends here.
std::optional<std::wstring> TakeVersion(Report& report, int argc, wchar_t** argv) {
    std::wstring version = kDefaultVersion;
    if (argc > 2) {
        std::wstring program = argv[0] != nullptr ? argv[0] : L"";
        report.ReportOutcome(L"",
                             L"削除したいMirevoのバージョンを１つだけ指定してください。\r\n\r\n(例) >" + program +
                                 L" " + kDefaultVersion,
                             false, true);
        return std::nullopt;
    }
    if (argc == 2)
        version = argv[1];
    else
        report.PrintLine(L"バージョンの指定が無かったため、Ver." + version + L"のMirevoの削除を行います。");
    report.PrintLine(L"");
    return version;
}

// The settings file, or the built-in table when there is none.
Settings LoadProfile(Report& report, const Settings& defaults) {
    const std::wstring path = Zento::Lithcore::FullPathOf(kSettingsFileName);  // in the current folder
    report.ReportOutcome(L"設定ファイルの存在を確認しました。", L"設定ファイルがありませんでした。",
                         Zento::Lithcore::PathMatchesAnything(path), false);
    report.PrintLine(L"");

    WorkingSettings working = LoadWorkingSettings(path, defaults);
    if (working.loaded) {
        report.PrintLine(L"設定ファイルを読み込みました。");
        report.PrintLine(L"");
    } else {
        report.PrintLine(L"設定ファイルが読み込めませんでした。");
        report.PrintLine(L"");
        report.PrintLine(L"設定ファイルが読み込めなかったため、以下の既定値を使用します。");
        report.PrintLines(ListDefaults(defaults));
        report.PrintLine(L"");
    }
    return working.settings;
}

int RunWithLog(Report& report, int argc, wchar_t** argv, const Settings& defaults, UserHiveSession& hives) {
    report.PrintLine(L"||||||Mirevo　情報収集・強制削除ツール||||||");
    report.PrintLine(L"");

    std::optional<std::wstring> version = TakeVersion(report, argc, argv);
    if (!version) return kEnd;

    Settings profile = LoadProfile(report, defaults);

    std::optional<std::wstring> productCode = LookUpProductCode(profile, *version);
    if (!productCode) {
        return report.ReportOutcome(
            L"", L"指定されたバージョン Ver." + *version + L" のプロダクトコードが見つかりませんでした。", false, true);
    }
    report.PrintLine(L"Ver." + *version + L" のMirevoの削除を行います。");
    return RunPhases(report, profile, *productCode, hives);
}

void PrintToConsole(const std::wstring& text) {
    ConsoleOutput console;
    console.Write(text + L"\n");
}

}  // namespace

int RunRemoval(int argc, wchar_t** argv) {
    // Unelevated, the deletions below HKLM\Software and Program Files would fail or, virtualized, go
    // elsewhere: refuse before anything is collected.
    if (!Zento::Lithcore::IsProcessElevated()) {
        PrintToConsole(L"管理者として実行されていないため、処理を中断します。"
                       L"コマンドプロンプトを「管理者として実行」で開き、そこから実行してください。");
        return kEnd;
    }
    // Before any other COM use: the restore point service calls back into this process.
    Zento::Lithcore::ComSecurityScope com;
    Settings defaults = BuildDefaultSettings();
    SYSTEMTIME startTime{};
    ::GetLocalTime(&startTime);
    Zento::Lithcore::TextFile log = CreateInfoLog(startTime);
    ConsoleOutput console;
    ConsoleInput input;
    Report report(console, input, log);
    // Declared after the log and before everything the phases open: every hive the run loaded is
    // unloaded at every end, after the plan and the last registry handle are gone, and before every wait.
    UserHiveSession hives;
    report.SetOperatorWaits(&hives);
    int result = kEnd;
    try {
        result = RunWithLog(report, argc, argv, defaults, hives);
    } catch (...) {
        report.SetOperatorWaits(nullptr);
        (void)hives.UnloadAll(report);
        throw;
    }
    report.SetOperatorWaits(nullptr);
    if (!hives.UnloadAll(report)) result = kEnd;
    return result;  // the log closes when it goes out of scope
}

int RunRemovalGuarded(int argc, wchar_t** argv) {
    try {
        return RunRemoval(argc, argv);
    } catch (const RunError& error) {
        PrintToConsole(error.Message());
    } catch (const std::exception& error) {
        PrintToConsole(L"予期しないエラーが発生したため、処理を中断します。(" +
                       Zento::Lithcore::FromMultiByte(error.what(), 0) + L")");
    } catch (...) {
        PrintToConsole(L"予期しないエラーが発生したため、処理を中断します。");
    }
    return kEnd;
}

}  // namespace Quellor
