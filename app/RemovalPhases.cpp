// Confirmation and removal phases 13-18: every target comes from the collected plan.
#include <optional>

#include "app/Dialogue.h"
#include "app/Phases.h"
#include "files/FileRemoval.h"
#include "platform/Environment.h"
#include "processes/ChildProcess.h"
#include "processes/Processes.h"
#include "processes/Services.h"
#include "registry/ComSettingsRegistry.h"
#include "registry/InstallerRegistry.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

constexpr int kGoOn = 0;
constexpr int kEnd = -1;

enum class StepMode { Stop, Unregister };

// Reports a step whose operation has already run; a failure lets the operator decide.
int ReportStep(Report& report, const std::wstring& label, StepMode mode, bool succeeded) {
    bool stop = mode == StepMode::Stop;
    report.PrintLine(label + (stop ? L"を停止します。" : L"の登録を解除します。"));
    if (succeeded) {
        report.PrintLine(label + (stop ? L"を停止しました。" : L"の登録を解除しました。"));
        return kGoOn;
    }
    report.PrintLine(L"");
    report.PrintLine(label + (stop ? L"の停止ができませんでした。" : L"の登録解除ができませんでした。"));
    return AskToContinue(report, L"このまま削除対象のVitraCareの削除処理を続行しますか？");
}

std::wstring FileNamePart(const std::wstring& path) {
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Phase 13. 0 to go on, -1 to end (nothing has been changed).
int ConfirmAndCheckDiagnosis(Report& report, const Settings& profile) {
    if (AskToContinue(report, L"レジストリ削除、ファイル削除を開始してもよろしいですか？") != kGoOn) return kEnd;
    report.PrintLine(L"削除開始");
    report.PrintLine(L"");
    DWORD error = ERROR_SUCCESS;
    switch (Lc::CheckDiagnosis(profile.NAME_OF_FILEMAPPING_OBJECT, error)) {
        case Lc::DiagnosisState::NotDiagnosing: return kGoOn;
        case Lc::DiagnosisState::Diagnosing:
            report.PrintLine(L"診断中のため強制削除を中断します。Enterで終了");
            report.WaitForEnter();
            return kEnd;
        case Lc::DiagnosisState::Unknown: break;
    }
    // The product's status block exists but cannot be read: a diagnosis may be running.
    report.PrintLine(L"Mirevoが診断中かどうかを確認できませんでした。(エラーコード: " + std::to_wstring(error) + L")");
    report.PrintLine(L"診断中に削除すると、診断が正しく終了しないおそれがあります。");
    return AskToContinue(report, L"このまま削除対象のVitraCareの削除処理を続行しますか？");
}

// Phase 14.
int StopProduct(Report& report, const Settings& profile, const RemovalPlan& plan) {
    bool stopped = Lc::StopResidentProcesses(profile.VITRA_CARE_MUTEX_NAME, profile.VITRA_SETTING_MUTEX_NAME,
                                             profile.VITRA_RESIDENT_MUTEX_NAME, profile.NAME_OF_FILEMAPPING_OBJECT);
    if (ReportStep(report, L"VitraCareプロセス", StepMode::Stop, stopped) != kGoOn) return kEnd;
    stopped = Lc::StopServiceIfRunning(profile.TERRION_SERVICE_NAME);
    if (ReportStep(report, L"Terrionサービス", StepMode::Stop, stopped) != kGoOn) return kEnd;
    stopped = Lc::TerminateProcessesByName(FileNamePart(plan.ferrowExePath));
    if (ReportStep(report, L"Ferrow", StepMode::Stop, stopped) != kGoOn) return kEnd;
    report.PrintLine(L"");
    return kGoOn;
}

struct ServerStep {
    const std::wstring& clsid;
    bool isDll;
    const wchar_t* label;
};

int UnregisterServer(Report& report, const RemovalPlan& plan, const ServerStep& step) {
    const std::wstring& server = plan.clsidToServer.at(step.clsid);
    bool done = step.isDll ? Lc::UnregisterComDll(server) : Lc::UnregisterComExe(server);
    return ReportStep(report, step.label, StepMode::Unregister, done);
}

// Phase 15: only the CLSIDs marked for unregistration.
int UnregisterProduct(Report& report, const Settings& profile, RemovalPlan& plan) {
    if (plan.Unregisters(profile.TERRION_CLSID)) {
        bool removed = Lc::UninstallServiceIfInstalled(profile.TERRION_SERVICE_NAME);
        if (ReportStep(report, L"Terrionサービス", StepMode::Unregister, removed) != kGoOn) return kEnd;
    }
    const ServerStep before[] = {
        {profile.TERRION_CLSID, false, L"TerrionのCOMコンポーネント"},
        {profile.TERRIONPS_CLSID, true, L"TerrionPSのCOMコンポーネント"},
        {profile.FERROWPS_CLSID, true, L"FerrowPSのCOMコンポーネント"},
        {profile.FERROW_CLSID, false, L"FerrowのCOMコンポーネント"},
        {profile.NOVEXPS_CLSID, true, L"NovexPSのCOMコンポーネント"},
    };
    for (const ServerStep& step : before)
        if (plan.Unregisters(step.clsid) && UnregisterServer(report, plan, step) != kGoOn) return kEnd;

    // The NovexPS server leaves its Interface key behind: it joins the machine deletions.
    if (plan.Unregisters(profile.NOVEXPS_CLSID)) {
        PathList interfaceKeys;
        if (Lc::CollectKeyPaths(Lc::NativeView(), L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Interface\\",
                                profile.NOVEXPS_CLSID, interfaceKeys))
            plan.hklmKeyLists.push_back(interfaceKeys);
    }
    const ServerStep after[] = {
        {profile.NOVEX_CLSID, false, L"NovexのCOMコンポーネント"},
        {profile.VENTREL_CLSID, false, L"VentrelのCOMコンポーネント"},
    };
    for (const ServerStep& step : after)
        if (plan.Unregisters(step.clsid) && UnregisterServer(report, plan, step) != kGoOn) return kEnd;
    return kGoOn;
}

void LogSection(Report& report, const std::wstring& heading, const PathList& lines) {
    report.LogLine(heading);
    report.LogLines(lines);
    report.LogLine(L"");
}

// Phase 16.
void DeleteRegistry(Report& report, const RemovalPlan& plan) {
    report.PrintLine(L"");
    report.PrintLine(L"レジストリを削除します。");
    if (!plan.hklmKeyLists.empty()) {
        PathList deleted;
        Lc::DeleteMachineKeys(plan.hklmKeyLists, Lc::NativeView(), deleted);
        LogSection(report, L"[HKEY_LOCAL_MACHINEで削除したレジストリ]", deleted);
    }
    if (!plan.hkuKeyLists.empty()) {
        PathList deleted;
        Lc::DeleteUserKeys(plan.hkuKeyLists, Lc::NativeView(), deleted);
        LogSection(report, L"[HKEY_USERSで削除したレジストリ]", deleted);
    }
    if (!plan.hklmValueEntries.empty()) {
        PathList deleted;
        for (const auto& [keyPath, valueName] : plan.hklmValueEntries)
            if (Lc::DeleteSettingValue(keyPath, valueName, Lc::NativeView()))
                deleted.push_back(keyPath + L"\r\n - エントリ: 「" + valueName + L"」");
        LogSection(report, L"[HKEY_LOCAL_MACHINEで削除したレジストリのエントリ]", deleted);
    }
    if (!plan.ownValuesInSharedKeys.empty()) {
        PathList deleted;
        for (const OwnValueInSharedKey& own : plan.ownValuesInSharedKeys) {
            bool keyDeleted = false;
            if (Lc::DeleteValueThenEmptyKey(Lc::NativeView(), own.keyPath, own.valueName, keyDeleted))
                deleted.push_back(own.keyPath + L"\r\n - エントリ: 「" + own.valueName + L"」" +
                                  (keyDeleted ? L"\r\n - 他のエントリが無いため、キーも削除しました" : L""));
        }
        LogSection(report, L"[他の製品と共有しているレジストリから削除したエントリ]", deleted);
    }
}

// `protectedFolders`: the folders no deletion may reach, read once for the whole removal; only folder lists use it.
void DeleteFileLists(Report& report, const std::wstring& line, std::initializer_list<const PathList*> lists,
                     bool folders, const std::optional<PathList>& protectedFolders) {
    report.PrintLine(line);
    for (const PathList* list : lists) {
        report.LogLines(*list);
        if (folders)
            Lc::DeleteFolders(*list, protectedFolders);
        else
            Lc::DeleteFiles(*list);
    }
}

// Phase 17, step 8: the product's own folders, sparing shared component files.
void DeleteProgramFolders(Report& report, const RemovalPlan& plan, const std::optional<PathList>& protectedFolders) {
    report.PrintLine(L"Mirevoのファイルを削除します。");
    if (plan.programFolders.empty()) {
        report.PrintLine(L"削除対象のMirevoのファイルがありませんでした。");
        return;
    }
    if (!plan.sharedWithoutPath.empty()) {
        report.PrintLine(L"パスを取得できなかった共有コンポーネントがあるため、Mirevoのフォルダは削除しませんでした。");
        report.LogLines(plan.programFolders);
        return;
    }
    if (plan.sharedComponentPaths.empty()) {
        report.LogLines(plan.programFolders);
        Lc::DeleteFolders(plan.programFolders, protectedFolders);
        return;
    }
    PathList deletedFolders;
    PathList deletedFiles;
    Lc::DeleteProductFolders(plan.programFolders, plan.sharedComponentPaths, protectedFolders, deletedFolders,
                             deletedFiles);
    report.LogLines(deletedFolders);
    report.LogLines(deletedFiles);
}

// Phase 17.
void DeleteFilesAndFolders(Report& report, const RemovalPlan& plan) {
    constexpr bool kFolders = true;
    constexpr bool kFiles = false;
    // Shell folders do not change during a run: the folders no deletion may reach are read once.
    const std::optional<PathList> protectedFolders = Lc::ReadProtectedFolders();
    DeleteFileLists(report, L"インストーラーファイルを削除します。", {&plan.installerPackages}, kFiles, protectedFolders);
    DeleteFileLists(report, L"スタートメニューのショートカットを削除します。",
                    {&plan.startMenuFolders, &plan.commonStartMenuFolders}, kFolders, protectedFolders);
    DeleteFileLists(report, L"スタートアップのショートカットを削除します。",
                    {&plan.startupShortcuts, &plan.commonStartupShortcuts}, kFiles, protectedFolders);
    DeleteFileLists(report, L"デスクトップのショートカットを削除します。",
                    {&plan.desktopShortcuts, &plan.commonDesktopShortcuts}, kFiles, protectedFolders);
    DeleteFileLists(report, L"削除対象のプログラムのユーザー設定フォルダを削除します。", {&plan.userSettingFolders},
                    kFolders, protectedFolders);
    DeleteFileLists(report, L"削除対象のプログラムのユーザー設定ファイルを削除します。", {&plan.userSettingFiles},
                    kFiles, protectedFolders);
    DeleteFileLists(report, L"「プログラムの追加と削除」で使用される情報のフォルダを削除します。",
                    {&plan.installerInfoFolders}, kFolders, protectedFolders);
    DeleteProgramFolders(report, plan, protectedFolders);
}

// What stayed for other products: one line on the console, the list with its keepers in the log.
void ReportSpared(Report& report, const RemovalPlan& plan) {
    if (plan.spared.empty()) return;
    report.PrintLine(L"他の製品が使用している項目は削除せずに残しました（一覧はログに出力しました）。");
    PathList lines;
    for (const SparedItem& spared : plan.spared) {
        std::wstring products;
        for (const std::wstring& product : spared.keptFor) products += (products.empty() ? L"" : L", ") + product;
        lines.push_back(spared.item + L"\r\n - 使用している製品: " + products);
    }
    LogSection(report, L"[他の製品のために削除せずに残した項目]", lines);
}

// Phase 18.
int Complete(Report& report) {
    report.PrintLine(L"");
    report.PrintLine(L"強制削除が完了しました。");
    report.PrintLine(L"完全に削除する場合、再度インストール後に「プログラムの追加と削除」からアンインストールを行ってください。");
    report.PrintLine(L"Enterキーで終了します...");
    report.WaitForEnter();
    return 0;
}

}  // namespace

int RunRemovalPhases(Report& report, const Settings& profile, RemovalPlan& plan) {
    if (ConfirmAndCheckDiagnosis(report, profile) != kGoOn) return kEnd;
    if (StopProduct(report, profile, plan) != kGoOn) return kEnd;
    if (UnregisterProduct(report, profile, plan) != kGoOn) return kEnd;
    DeleteRegistry(report, plan);
    DeleteFilesAndFolders(report, plan);
    ReportSpared(report, plan);
    return Complete(report);
}

}  // namespace Quellor
