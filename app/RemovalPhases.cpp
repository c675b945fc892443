// Confirmation and removal phases 13-18. Every target comes from the plan, which is complete before the
// question; the registry targets are backed up before the first change, every result is logged after the
// deletions, and the end message is given only when the check at the end finds nothing left.
#include <optional>
#include <set>

#include "app/Dialogue.h"
#include "app/Phases.h"
#include "app/RegistryBackup.h"
#include "files/FileRemoval.h"
#include "files/ForcedDeletion.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "processes/ChildProcess.h"
#include "processes/Processes.h"
#include "processes/Services.h"
#include "registry/ComSettingsRegistry.h"
#include "registry/InstallerRegistry.h"
#include "registry/RegistryExport.h"
#include "registry/RegistryTargets.h"

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
int UnregisterProduct(Report& report, const Settings& profile, const RemovalPlan& plan) {
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

void LogSectionIfAny(Report& report, const std::wstring& heading, const PathList& lines) {
    if (!lines.empty()) LogSection(report, heading, lines);
}

std::wstring ErrorText(DWORD error) {
    std::wstring text = L"エラー " + std::to_wstring(error);
    wchar_t* message = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = ::FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (length != 0 && message != nullptr) {
        std::wstring described(message, length);
        size_t end = described.find_last_not_of(L"\r\n ");
        described.resize(end == std::wstring::npos ? 0 : end + 1);
        if (!described.empty()) text += L": " + described;
    }
    if (message != nullptr) ::LocalFree(message);
    return text;
}

std::wstring FailureLine(const std::wstring& target, DWORD error) { return target + L"\r\n - " + ErrorText(error); }

std::wstring ValueLine(const std::wstring& keyPath, const std::wstring& name) {
    return keyPath + L"\r\n - エントリ: 「" + name + L"」";
}

// ---- the plan, completed before the question ----

// The folders no deletion may reach, read once per run (Lc::ReadProtectedFolders); none when they cannot
// be read, and then no folder is deleted.
using FolderGuard = std::optional<PathList>;

const std::wstring kServicesKey = L"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\";

// Every key that the removal deletes itself or through a COM server or the service manager is known
// here, before the operator answers; the log lists what the collection did not report.
void CompletePlan(Report& report, const Settings& profile, RemovalPlan& plan, const FolderGuard& guard) {
    const Lc::RegistryView view = Lc::NativeView();
    // The NovexPS server leaves its Interface key behind: it joins the machine deletions.
    if (plan.Unregisters(profile.NOVEXPS_CLSID))
        Lc::CollectKeyPaths(view, L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Interface\\", profile.NOVEXPS_CLSID,
                            plan.interfaceKeys);
    for (const auto& [clsid, unregister] : plan.unregister) {
        auto key = plan.clsidToKey.find(clsid);
        if (unregister && key != plan.clsidToKey.end()) plan.comRegistrationKeys.push_back(key->second);
    }
    if (plan.Unregisters(profile.TERRION_CLSID) && !profile.TERRION_SERVICE_NAME.empty()) {
        std::wstring serviceKey = kServicesKey + profile.TERRION_SERVICE_NAME + L"\\";
        if (Lc::RegistryKeyExists(serviceKey, view)) plan.serviceKeys.push_back(serviceKey);
    }
    if (!plan.programFolders.empty() && !plan.sharedComponentPaths.empty() && plan.sharedWithoutPath.empty()) {
        if (guard)
            Lc::PlanProductFolders(plan.programFolders, plan.sharedComponentPaths, *guard,
                                   plan.programFolderTargets, plan.programFileTargets);
        else
            plan.programFolderTargets = plan.programFolders;  // refused below, and reported as left over
    }

    LogSectionIfAny(report, L"[削除対象に加えるInterfaceのレジストリ]", plan.interfaceKeys);
    PathList removedByOthers = plan.comRegistrationKeys;
    removedByOthers.insert(removedByOthers.end(), plan.serviceKeys.begin(), plan.serviceKeys.end());
    LogSectionIfAny(report, L"[COMコンポーネントの登録解除とサービスの削除で削除されるレジストリ]", removedByOthers);
    PathList programTargets = plan.programFolderTargets;
    programTargets.insert(programTargets.end(), plan.programFileTargets.begin(), plan.programFileTargets.end());
    LogSectionIfAny(report, L"[共有ファイルを残して削除するMirevoのフォルダとファイル]", programTargets);
}

// The plan's registry targets in deletion order.
struct RegistryTargets {
    std::vector<KeyTarget> machineKeys;
    std::vector<KeyTarget> userKeys;
    std::vector<ValueTarget> values;
    std::vector<ValueTarget> sharedKeyValues;  // the target's values in keys that serve other products too
    std::vector<KeyTarget> laterKeys;          // those keys, deleted only when nothing is left in them
    std::vector<KeyTarget> removedByOthers;  // by the COM servers and the service manager
};

void AddKeys(std::vector<KeyTarget>& into, const PathList& paths, RegistryView view) {
    for (const std::wstring& path : paths) into.push_back({path, view});
}

RegistryTargets RegistryTargetsOf(const RemovalPlan& plan) {
    const Lc::RegistryView view = Lc::NativeView();
    RegistryTargets targets;
    for (const PathList& list : plan.hklmKeyLists) AddKeys(targets.machineKeys, list, view);
    AddKeys(targets.machineKeys, plan.interfaceKeys, view);
    for (const PathList& list : plan.hkuKeyLists) AddKeys(targets.userKeys, list, view);
    for (const auto& [keyPath, name] : plan.hklmValueEntries) targets.values.push_back({keyPath, name, view});
    for (const OwnValueInSharedKey& own : plan.ownValuesInSharedKeys) {
        targets.sharedKeyValues.push_back({own.keyPath, own.valueName, view});
        targets.laterKeys.push_back({own.keyPath, view, true});
    }
    AddKeys(targets.removedByOthers, plan.comRegistrationKeys, view);
    AddKeys(targets.removedByOthers, plan.serviceKeys, view);
    return targets;
}

// ---- the backup, before the first change ----

DWORD ExportTargets(const RegistryTargets& targets, Lc::RegistryExport& backup) {
    for (const std::vector<KeyTarget>* keys :
         {&targets.machineKeys, &targets.userKeys, &targets.laterKeys, &targets.removedByOthers}) {
        for (const KeyTarget& key : *keys) {
            LONG result = backup.AddKeyTree(key.path, key.view);
            if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(result);
        }
    }
    for (const std::vector<ValueTarget>* values : {&targets.values, &targets.sharedKeyValues}) {
        for (const ValueTarget& value : *values) {
            LONG result = backup.AddValue(value.keyPath, value.name, value.view);
            if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(result);
        }
    }
    return ERROR_SUCCESS;
}

// 0 when the backup is on disk; -1 when it is not, and then nothing has been changed.
int BackUpRegistry(Report& report, const RegistryTargets& targets) {
    std::wstring path = FullPathOf(BackupFileName(report.LogPath()));
    Lc::RegistryExport backup;
    DWORD result = ExportTargets(targets, backup);
    if (result == ERROR_SUCCESS) result = WriteBackupFile(path, backup.Text());
    if (result == ERROR_SUCCESS) {
        report.PrintLine(L"削除するレジストリのバックアップを作成しました。");
        report.PrintLine(path);
        report.PrintLine(L"");
        return kGoOn;
    }
    report.PrintLine(L"レジストリのバックアップを作成できなかったため、何も変更せずに強制削除を中断します。");
    report.PrintLine(path);
    report.PrintLine(ErrorText(result));
    report.PrintLine(kEnterToEnd);
    report.WaitForEnter();
    return kEnd;
}

// ---- what happened to each target ----

struct Ledger {
    PathList registryFailures;
    PathList fileFailures;
    PathList scheduled;
    std::set<std::wstring> scheduledTargets;  // targets that go at the next start: not left over
};

// Deleted keys are listed; a key already gone (a parent took it along) is not; a failure is kept.
void DeleteKeyTarget(const KeyTarget& key, PathList& deleted, Ledger& ledger) {
    LONG result = key.onlyWhenEmpty ? Lc::DeleteRegistryKeyIfEmpty(key.path, key.view)
                                    : Lc::DeleteRegistryKey(key.path, key.view);
    if (result == ERROR_SUCCESS)
        deleted.push_back(key.path);
    else if (result != ERROR_FILE_NOT_FOUND && !(key.onlyWhenEmpty && result == ERROR_DIR_NOT_EMPTY))
        ledger.registryFailures.push_back(FailureLine(key.path, static_cast<DWORD>(result)));
}

void DeleteValueTarget(const ValueTarget& value, PathList& deleted, Ledger& ledger) {
    LONG result = Lc::DeleteRegistryValue(value.keyPath, value.name, value.view);
    if (result == ERROR_SUCCESS)
        deleted.push_back(ValueLine(value.keyPath, value.name));
    else if (result != ERROR_FILE_NOT_FOUND)
        ledger.registryFailures.push_back(FailureLine(ValueLine(value.keyPath, value.name), static_cast<DWORD>(result)));
}

bool IsUserKey(const std::wstring& path) { return path.rfind(L"HKEY_USERS\\", 0) == 0; }

// Phase 16: the sections list what was deleted, written after the deletions; failures have their own.
void DeleteRegistry(Report& report, const RemovalPlan& plan, const RegistryTargets& targets, Ledger& ledger) {
    report.PrintLine(L"");
    report.PrintLine(L"レジストリを削除します。");
    PathList machineDeleted;
    PathList userDeleted;
    PathList valuesDeleted;
    PathList sharedKeyValuesDeleted;
    for (const KeyTarget& key : targets.machineKeys) DeleteKeyTarget(key, machineDeleted, ledger);
    for (const KeyTarget& key : targets.userKeys) DeleteKeyTarget(key, userDeleted, ledger);
    for (const ValueTarget& value : targets.values) DeleteValueTarget(value, valuesDeleted, ledger);
    for (const ValueTarget& value : targets.sharedKeyValues) DeleteValueTarget(value, sharedKeyValuesDeleted, ledger);
    for (const KeyTarget& key : targets.laterKeys)
        DeleteKeyTarget(key, IsUserKey(key.path) ? userDeleted : machineDeleted, ledger);

    if (!plan.hklmKeyLists.empty() || !machineDeleted.empty())
        LogSection(report, L"[HKEY_LOCAL_MACHINEで削除したレジストリ]", machineDeleted);
    if (!plan.hkuKeyLists.empty() || !userDeleted.empty())
        LogSection(report, L"[HKEY_USERSで削除したレジストリ]", userDeleted);
    if (!targets.values.empty()) LogSection(report, L"[HKEY_LOCAL_MACHINEで削除したレジストリのエントリ]", valuesDeleted);
    if (!targets.sharedKeyValues.empty())
        LogSection(report, L"[他の製品と共有しているレジストリから削除したエントリ]", sharedKeyValuesDeleted);
    LogSectionIfAny(report, L"[削除できなかったレジストリ]", ledger.registryFailures);
}

enum class PathKind { File, Folder };

Lc::DeletionResult RemovePath(const std::wstring& path, PathKind kind, const FolderGuard& guard) {
    if (kind == PathKind::File) return Lc::RemoveFile(path);
    if (!guard) return {Lc::DeletionStatus::Refused, {{path, ERROR_ACCESS_DENIED}}, {}};
    return Lc::RemoveFolder(path, *guard);
}

void Record(const std::wstring& path, const Lc::DeletionResult& result, PathList& deleted, Ledger& ledger) {
    if (result.status == Lc::DeletionStatus::Refused) {
        ledger.fileFailures.push_back(path + L"\r\n - システムやユーザーのフォルダを含むため削除しませんでした。");
        return;
    }
    if (result.status == Lc::DeletionStatus::Deleted) deleted.push_back(path);
    if (result.status == Lc::DeletionStatus::Scheduled) ledger.scheduledTargets.insert(path);
    ledger.scheduled.insert(ledger.scheduled.end(), result.scheduled.begin(), result.scheduled.end());
    for (const Lc::PathError& failure : result.failed)
        ledger.fileFailures.push_back(FailureLine(failure.path, failure.error));
}

// Deletes each list and then logs what of it was deleted.
void DeleteList(Report& report, const PathList& list, PathKind kind, const FolderGuard& guard, Ledger& ledger) {
    PathList deleted;
    for (const std::wstring& path : list) Record(path, RemovePath(path, kind, guard), deleted, ledger);
    report.LogLines(deleted);
}

struct FileGroup {
    const wchar_t* line;
    std::vector<const PathList*> lists;
    PathKind kind;
};

// Phase 17, steps 1-7.
std::vector<FileGroup> FileGroups(const RemovalPlan& plan) {
    return {
        {L"インストーラーファイルを削除します。", {&plan.installerPackages}, PathKind::File},
        {L"スタートメニューのショートカットを削除します。", {&plan.startMenuFolders, &plan.commonStartMenuFolders},
         PathKind::Folder},
        {L"スタートアップのショートカットを削除します。", {&plan.startupShortcuts, &plan.commonStartupShortcuts},
         PathKind::File},
        {L"デスクトップのショートカットを削除します。", {&plan.desktopShortcuts, &plan.commonDesktopShortcuts},
         PathKind::File},
        {L"削除対象のプログラムのユーザー設定フォルダを削除します。", {&plan.userSettingFolders}, PathKind::Folder},
        {L"削除対象のプログラムのユーザー設定ファイルを削除します。", {&plan.userSettingFiles}, PathKind::File},
        {L"「プログラムの追加と削除」で使用される情報のフォルダを削除します。", {&plan.installerInfoFolders},
         PathKind::Folder},
    };
}

// Step 8's targets: the product's folders whole, or, beside shared files, the planned folders and files;
// none while a shared component's path is unknown, for its file may lie in them.
std::vector<std::pair<const PathList*, PathKind>> ProgramTargets(const RemovalPlan& plan) {
    if (!plan.sharedWithoutPath.empty()) return {};
    if (plan.sharedComponentPaths.empty()) return {{&plan.programFolders, PathKind::Folder}};
    return {{&plan.programFolderTargets, PathKind::Folder}, {&plan.programFileTargets, PathKind::File}};
}

// Phase 17.
void DeleteFilesAndFolders(Report& report, const RemovalPlan& plan, const FolderGuard& guard, Ledger& ledger) {
    for (const FileGroup& group : FileGroups(plan)) {
        report.PrintLine(group.line);
        for (const PathList* list : group.lists) DeleteList(report, *list, group.kind, guard, ledger);
    }
    report.PrintLine(L"Mirevoのファイルを削除します。");
    if (plan.programFolders.empty()) {
        report.PrintLine(L"削除対象のMirevoのファイルがありませんでした。");
    } else if (!plan.sharedWithoutPath.empty()) {
        report.PrintLine(L"パスを取得できなかった共有コンポーネントがあるため、Mirevoのフォルダは削除しませんでした。");
        report.LogLines(plan.programFolders);
    } else {
        for (const auto& [list, kind] : ProgramTargets(plan)) DeleteList(report, *list, kind, guard, ledger);
    }
    LogSectionIfAny(report, L"[削除できなかったファイルとフォルダ]", ledger.fileFailures);
    LogSectionIfAny(report, L"[再起動後に削除されるファイルとフォルダ]", ledger.scheduled);
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

// ---- the check at the end ----

void CheckKeys(const std::vector<KeyTarget>& keys, PathList& remaining) {
    for (const KeyTarget& key : keys) {
        // A key kept because something still uses it is not left over.
        if (key.onlyWhenEmpty) continue;
        if (Lc::RegistryKeyExists(key.path, key.view)) remaining.push_back(key.path);
    }
}

void CheckPaths(const PathList& paths, const Ledger& ledger, PathList& remaining) {
    for (const std::wstring& path : paths) {
        if (ledger.scheduledTargets.count(path) != 0) continue;
        const Lc::PathPresence presence = Lc::QueryPathPresence(path);
        if (!presence.present) continue;
        remaining.push_back(presence.error == 0 ? path : path + L"\r\n - エラー " + std::to_wstring(presence.error));
    }
}

// Every planned target that is still there, except what goes at the next start.
PathList RemainingTargets(const RemovalPlan& plan, const RegistryTargets& targets, const Ledger& ledger) {
    PathList remaining;
    CheckKeys(targets.machineKeys, remaining);
    CheckKeys(targets.userKeys, remaining);
    for (const std::vector<ValueTarget>* values : {&targets.values, &targets.sharedKeyValues})
        for (const ValueTarget& value : *values)
            if (Lc::RegistryValueExists(value.keyPath, value.name, value.view))
                remaining.push_back(ValueLine(value.keyPath, value.name));
    CheckKeys(targets.laterKeys, remaining);
    CheckKeys(targets.removedByOthers, remaining);
    for (const FileGroup& group : FileGroups(plan))
        for (const PathList* list : group.lists) CheckPaths(*list, ledger, remaining);
    for (const auto& [list, kind] : ProgramTargets(plan)) CheckPaths(*list, ledger, remaining);
    return remaining;
}

// Phase 18: the completion message only when nothing planned remains.
int Complete(Report& report, const PathList& remaining, const Ledger& ledger) {
    report.PrintLine(L"");
    if (!remaining.empty()) {
        report.PrintLine(L"削除できなかった項目が" + std::to_wstring(remaining.size()) +
                         L"件残っています。詳細は情報ログを確認してください。");
        LogSection(report, L"[削除後も残っている項目]", remaining);
        report.PrintLine(kEnterToEnd);
        report.WaitForEnter();
        return kEnd;
    }
    report.PrintLine(L"強制削除が完了しました。");
    if (!ledger.scheduled.empty())
        report.PrintLine(L"使用中のため削除できなかったファイルは、PCの再起動後に削除されます。");
    report.PrintLine(L"完全に削除する場合、再度インストール後に「プログラムの追加と削除」からアンインストールを行ってください。");
    report.PrintLine(L"Enterキーで終了します...");
    report.WaitForEnter();
    return 0;
}

}  // namespace

int RunRemovalPhases(Report& report, const Settings& profile, RemovalPlan& plan) {
    const FolderGuard guard = Lc::ReadProtectedFolders();
    CompletePlan(report, profile, plan, guard);
    const RegistryTargets targets = RegistryTargetsOf(plan);
    if (ConfirmAndCheckDiagnosis(report, profile) != kGoOn) return kEnd;
    if (BackUpRegistry(report, targets) != kGoOn) return kEnd;
    if (StopProduct(report, profile, plan) != kGoOn) return kEnd;
    if (UnregisterProduct(report, profile, plan) != kGoOn) return kEnd;
    Ledger ledger;
    DeleteRegistry(report, plan, targets, ledger);
    DeleteFilesAndFolders(report, plan, guard, ledger);
    ReportSpared(report, plan);
    return Complete(report, RemainingTargets(plan, targets, ledger), ledger);
}

}  // namespace Quellor
