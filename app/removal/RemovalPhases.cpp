// Confirmation and removal. Every target comes from the plan, which is complete before the
// question; the registry targets are backed up before the first change, every result is logged after the
// deletions, and the end message is given only when the check at the end finds nothing left.
#include <algorithm>
#include <map>
#include <set>

#include "app/Phases.h"
#include "app/Profile.h"
#include "app/collection/OtherProductsFiles.h"
#include "app/endcheck/EndCheck.h"
#include "app/removal/RegistryBackup.h"
#include "app/resume/RemovalJournal.h"
#include "app/plan/RemovalTargets.h"
#include "app/users/UserProfiles.h"
#include "files/FileDeletion.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "platform/RestorePoint.h"
#include "processes/ChildProcess.h"
#include "processes/ComUnregistration.h"
#include "processes/Processes.h"
#include "processes/Services.h"
#include "registry/RegistryExport.h"
#include "registry/RegistryKeys.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

constexpr int kGoOn = 0;
constexpr int kEnd = -1;

// What happened to each target.
struct Ledger {
    std::map<TargetSection, PathList> deleted;
    PathList registryFailures;
    PathList fileFailures;
    PathList scheduled;
    std::set<std::wstring> scheduledTargets;  // targets that go at the next start: not left over
    std::set<std::wstring> goneTargets;       // the identities of the targets deleted or found already gone
};

enum class StepMode { Stop, Unregister };

int ReportFailedStep(Report& report, const std::wstring& label, StepMode mode, const Lc::StepResult& result) {
    report.PrintLine(L"");
    report.PrintLine(label + (mode == StepMode::Stop ? L"の停止ができませんでした。" : L"の登録解除ができませんでした。") +
                     L"(エラーコード: " + std::to_wstring(result.Error()) + L")");
    return AskToContinue(report, L"このまま削除対象のVitraCareの削除処理を続行しますか？");
}

// Reports a step whose operation has already run; a failure lets the operator decide.
int ReportStep(Report& report, const std::wstring& label, StepMode mode, const Lc::StepResult& result) {
    bool stop = mode == StepMode::Stop;
    report.PrintLine(label + (stop ? L"を停止します。" : L"の登録を解除します。"));
    if (result.Succeeded()) {
        report.PrintLine(label + (stop ? L"を停止しました。" : L"の登録を解除しました。"));
        return kGoOn;
    }
    return ReportFailedStep(report, label, mode, result);
}

// The operator's Y and the diagnosis check. 0 to go on, -1 to end (nothing has been changed).
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

// Stops the resident processes and the service, and ends the processes that are targets (Ferrow's).
int StopProduct(Report& report, const Settings& profile, const TargetList& targets, std::wstring& serviceProgram) {
    // Read while the service is registered: its deletion takes the key with it.
    const auto service = std::ranges::find(targets, TargetKind::Service, &Target::kind);
    if (service != targets.end()) serviceProgram = Lc::ServiceProgramPath(service->valueName);
    Lc::StepResult stopped = Lc::StopResidentProcesses(profile.VITRA_CARE_MUTEX_NAME, profile.VITRA_SETTING_MUTEX_NAME,
                                                       profile.VITRA_RESIDENT_MUTEX_NAME,
                                                       profile.NAME_OF_FILEMAPPING_OBJECT);
    if (ReportStep(report, L"VitraCareプロセス", StepMode::Stop, stopped) != kGoOn) return kEnd;
    if (ReportStep(report, L"Terrionサービス", StepMode::Stop, Lc::StopServiceIfRunning(profile.TERRION_SERVICE_NAME)) !=
        kGoOn)
        return kEnd;
    for (const Target& process : targets) {
        if (process.kind != TargetKind::Process) continue;
        stopped = Lc::TerminateProcessesAt(process.path, Lc::ChildWaitLimitMs());
        if (ReportStep(report, L"Ferrow", StepMode::Stop, stopped) != kGoOn) return kEnd;
    }
    report.PrintLine(L"");
    return kGoOn;
}

// A stopped service reports itself stopped before its process has ended, and its files stay in use
// until then: no file is deleted before that process is gone.
int AwaitServiceProcess(Report& report, const std::wstring& serviceProgram) {
    const Lc::StepResult ended = Lc::AwaitProcessesAt(serviceProgram, Lc::System::ServiceProcessExitWaitMs);
    return ended.Succeeded() ? kGoOn : ReportFailedStep(report, L"Terrionサービス", StepMode::Stop, ended);
}

// The service goes with its server. One already gone leaves nothing to unregister; one marked for
// deletion goes at the next start, and its key is then no leftover.
int UninstallService(Report& report, const Target& service, Ledger& ledger) {
    Lc::ServiceRemovalResult uninstall = Lc::UninstallServiceIfInstalled(service.valueName);
    if (uninstall.result.Succeeded() && uninstall.outcome == Lc::ServiceRemoval::AlreadyGone)
        report.LogLine(L"Terrionサービスは既に削除されています。");
    if (uninstall.result.Succeeded() && uninstall.outcome == Lc::ServiceRemoval::MarkedForDeletion) {
        report.LogLine(L"Terrionサービスは削除が予約されています。PCの再起動後に削除されます。");
        ledger.scheduled.push_back(L"サービス「" + service.valueName + L"」");
        ledger.scheduledTargets.insert(service.path);
    }
    return ReportStep(report, L"Terrionサービス", StepMode::Unregister, uninstall.result);
}

// Deletes the service and unregisters the servers that are targets, in the list's order.
int UnregisterProduct(Report& report, const Settings& profile, const TargetList& targets, Ledger& ledger) {
    const std::vector<ProductServer> servers = ProductServers(profile);
    for (const Target& target : targets) {
        if (target.kind == TargetKind::Service && UninstallService(report, target, ledger) != kGoOn) return kEnd;
        if (target.kind != TargetKind::ComServer) continue;
        auto server = std::ranges::find(servers, target.valueName, &ProductServer::clsid);
        if (server == servers.end()) continue;
        const Lc::StepResult unregistered = Lc::UnregisterComServer(target.path, server->isDll, target.key);
        if (ReportStep(report, server->label, StepMode::Unregister, unregistered) != kGoOn) return kEnd;
        PassCheckpoint(L"server-unregistered");
    }
    return kGoOn;
}

std::wstring FailureLine(const std::wstring& target, DWORD error) {
    return target + L"\r\n - " + Lc::Win32ErrorText(error);
}

// ---- the backup, before the first change ----

// A file the removal must have before its first change could not be written: the run ends, unchanged.
int EndUnchanged(Report& report, const wchar_t* line, const std::wstring& path, DWORD error) {
    report.PrintLine(line);
    report.PrintLine(path);
    report.PrintLine(Lc::Win32ErrorText(error));
    report.PrintLine(kEnterToEnd);
    report.WaitForEnter();
    return kEnd;
}

// 0 when the backup is on disk; -1 when it is not, and then nothing has been changed.
int BackUpRegistry(Report& report, const TargetList& targets, const SearchedUsers& users) {
    std::wstring path = Lc::FullPathOf(BackupFileName(report.LogPath()));
    Lc::RegistryExport backup;
    DWORD result = BackUpTargets(WithoutLoadedHives(targets, users), backup);
    if (result == ERROR_SUCCESS) result = WriteBackupFile(path, backup.Text());
    PathList userBackups;
    if (result == ERROR_SUCCESS) result = BackUpLoadedHives(targets, users, path, userBackups);
    if (result == ERROR_SUCCESS) {
        report.PrintLine(L"削除するレジストリのバックアップを作成しました。");
        report.PrintLine(path);
        report.PrintLines(userBackups);
        report.PrintLine(L"");
        return kGoOn;
    }
    return EndUnchanged(report, L"レジストリのバックアップを作成できなかったため、何も変更せずに強制削除を中断します。", path,
                        result);
}


// A key already gone (a parent took it along) is not listed; a key kept for another product neither.
void RecordRegistry(const Target& target, LONG result, Ledger& ledger) {
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) ledger.goneTargets.insert(TargetIdentity(target));
    if (result == ERROR_SUCCESS)
        ledger.deleted[target.section].push_back(TargetText(target));
    else if (result != ERROR_FILE_NOT_FOUND && !(target.kind == TargetKind::KeyWhenEmpty && result == ERROR_DIR_NOT_EMPTY))
        ledger.registryFailures.push_back(FailureLine(TargetText(target), static_cast<DWORD>(result)));
}

void RecordPath(const Target& target, const Lc::DeletionResult& result, Report& report, Ledger& ledger) {
    if (result.status == Lc::DeletionStatus::Refused) {
        ledger.fileFailures.push_back(target.path + L"\r\n - システムやユーザーのフォルダを含むため削除しませんでした。");
        return;
    }
    if (result.status == Lc::DeletionStatus::Deleted) report.LogLine(target.path);
    if (result.status == Lc::DeletionStatus::Deleted || result.status == Lc::DeletionStatus::Absent)
        ledger.goneTargets.insert(TargetIdentity(target));
    if (result.status == Lc::DeletionStatus::Scheduled) ledger.scheduledTargets.insert(target.path);
    ledger.scheduled.insert(ledger.scheduled.end(), result.scheduled.begin(), result.scheduled.end());
    for (const Lc::PathError& failure : result.failed)
        ledger.fileFailures.push_back(FailureLine(failure.path, failure.error));
}

Lc::DeletionResult RemoveFolder(const std::wstring& path, const RemovalPlan& plan) {
    if (!plan.protectedFolders) return {Lc::DeletionStatus::Refused, {{path, ERROR_ACCESS_DENIED}}, {}};
    return Lc::RemoveFolder(path, *plan.protectedFolders);
}

bool IsServiceKey(const Target& target, const RemovalPlan& plan) {
    return std::ranges::any_of(plan.targets, [&](const Target& service) {
        return service.kind == TargetKind::Service && Lc::SamePath(service.path, target.path);
    });
}

// A COM registration that its server's unregistration did not remove (its file deleted by hand, or it
// failed and the operator went on) is deleted here, as that unregistration would have. The service's
// key is the service manager's alone.
void RemoveLeftByServer(const Target& target, const RemovalPlan& plan, Ledger& ledger) {
    if (IsServiceKey(target, plan) || !Lc::RegistryKeyExists(target.key)) return;
    RecordRegistry(target, Lc::DeleteRegistryKey(target.key), ledger);
}

// The one place a target is deleted.
void Execute(const Target& target, const RemovalPlan& plan, Report& report, Ledger& ledger) {
    switch (target.kind) {
        case TargetKind::Key: RecordRegistry(target, Lc::DeleteRegistryKey(target.key), ledger); return;
        case TargetKind::KeyWhenEmpty: RecordRegistry(target, Lc::DeleteRegistryKeyIfEmpty(target.key), ledger); return;
        case TargetKind::Value:
            RecordRegistry(target, Lc::DeleteRegistryValue(target.key, target.valueName), ledger);
            return;
        case TargetKind::File: RecordPath(target, Lc::RemoveFile(target.path), report, ledger); return;
        case TargetKind::Folder: RecordPath(target, RemoveFolder(target.path, plan), report, ledger); return;
        case TargetKind::RemovedByOthers: RemoveLeftByServer(target, plan, ledger); return;
        case TargetKind::Process:
        case TargetKind::Service:
        case TargetKind::ComServer: return;  // ended or unregistered before the first deletion
    }
}

// The console line that opens each group of file deletions.
const wchar_t* OpeningLine(TargetSection section) {
    switch (section) {
        case TargetSection::InstallerPackages: return L"インストーラーファイルを削除します。";
        case TargetSection::StartMenuFolders: return L"スタートメニューのショートカットを削除します。";
        case TargetSection::StartupShortcuts: return L"スタートアップのショートカットを削除します。";
        case TargetSection::DesktopShortcuts: return L"デスクトップのショートカットを削除します。";
        case TargetSection::UserSettingFolders: return L"削除対象のプログラムのユーザー設定フォルダを削除します。";
        case TargetSection::UserSettingFiles: return L"削除対象のプログラムのユーザー設定ファイルを削除します。";
        case TargetSection::InstallerInfoFolders:
            return L"「プログラムの追加と削除」で使用される情報のフォルダを削除します。";
        case TargetSection::ProgramFiles: return L"Mirevoのファイルを削除します。";
        default: return nullptr;
    }
}

// The program folders' group says why nothing of the program folders is deleted, when that is so.
void ReportProgramFolders(Report& report, const RemovalPlan& plan) {
    if (plan.programFolders.empty()) {
        report.PrintLine(L"削除対象のMirevoのファイルがありませんでした。");
    } else if (!plan.programFoldersKeptLine.empty()) {
        report.PrintLine(plan.programFoldersKeptLine);
        report.LogLines(plan.programFolders);
    }
}

// Prints the opening lines of the file groups up to `upTo` that have not been opened yet.
void OpenFileGroups(Report& report, const RemovalPlan& plan, TargetSection upTo, int& opened) {
    for (int section = opened + 1; section <= static_cast<int>(upTo); ++section) {
        const wchar_t* line = OpeningLine(static_cast<TargetSection>(section));
        if (line == nullptr) continue;
        report.PrintLine(line);
        if (static_cast<TargetSection>(section) == TargetSection::ProgramFiles) ReportProgramFolders(report, plan);
    }
    if (static_cast<int>(upTo) > opened) opened = static_cast<int>(upTo);
}

void LogRegistryResults(Report& report, const TargetList& targets, Ledger& ledger) {
    auto deleted = [&](TargetSection section) { return ledger.deleted[section]; };
    auto planned = [&](TargetSection section) {
        return std::ranges::any_of(targets, [&](const Target& target) { return target.section == section; });
    };
    report.LogSection(L"[HKEY_LOCAL_MACHINEで削除したレジストリ]", deleted(TargetSection::MachineKeys), true);
    report.LogSection(L"[HKEY_USERSで削除したレジストリ]", deleted(TargetSection::UserKeys), true);
    // The value sections are logged whenever a value was planned in them.
    report.LogSection(L"[HKEY_LOCAL_MACHINEで削除したレジストリのエントリ]", deleted(TargetSection::MachineValues),
                      planned(TargetSection::MachineValues));
    report.LogSection(L"[他の製品と共有しているレジストリから削除したエントリ]", deleted(TargetSection::SharedKeyValues),
                      planned(TargetSection::SharedKeyValues));
    report.LogSection(L"[COMコンポーネントの登録解除で削除されなかったため削除したレジストリ]",
                      deleted(TargetSection::RemovedByOthers));
    report.LogSection(L"[削除できなかったレジストリ]", ledger.registryFailures);
}

// The deletion, in one walk over the targets: the registry first, its sections logged once it is
// done; then the files and folders, each group opened by its console line.
void DeleteTargets(Report& report, const RemovalPlan& plan, const TargetList& targets, Ledger& ledger) {
    report.PrintLine(L"");
    report.PrintLine(L"レジストリを削除します。");
    bool registryLogged = false;
    int opened = static_cast<int>(TargetSection::RemovedByOthers);
    for (const Target& target : targets) {
        if (target.IsStep()) continue;
        if (!target.IsRegistry() && !registryLogged) {
            LogRegistryResults(report, targets, ledger);
            registryLogged = true;
            PassCheckpoint(L"registry-deleted");
        }
        if (!target.IsRegistry()) OpenFileGroups(report, plan, target.section, opened);
        Execute(target, plan, report, ledger);
    }
    if (!registryLogged) LogRegistryResults(report, targets, ledger);
    OpenFileGroups(report, plan, TargetSection::ProgramFiles, opened);
    report.LogSection(L"[削除できなかったファイルとフォルダ]", ledger.fileFailures);
    report.LogSection(L"[再起動後に削除されるファイルとフォルダ]", ledger.scheduled);
}

// What stayed for other products: one line on the console, the list with its keepers in the log.
void ReportSpared(Report& report, const RemovalPlan& plan) {
    if (plan.spared.empty() && plan.keptForOtherComponents.empty()) return;
    report.PrintLine(L"他の製品が使用している項目は削除せずに残しました（一覧はログに出力しました）。");
    report.LogSection(L"[他の製品のために削除せずに残した項目]", SparedLines(plan.spared));
    report.LogSection(L"[他の製品のコンポーネントのために削除せずに残したファイル]",
                      SparedLines(plan.keptForOtherComponents));
}

// ---- the journal: what the removal is about to do, for a later run should this one not finish ----

int StartJournal(Report& report, const RemovalPlan& plan, const TargetList& targets, std::wstring& journal) {
    const std::wstring folder = JournalFolder();
    std::wstring why;
    DWORD result = PrepareJournalFolder(folder, why);
    if (result == ERROR_SUCCESS) {
        journal = JournalPath(folder, report.LogPath());
        result = WriteJournal(journal, plan.productCode, ThisComputerName(), targets);
    } else {
        journal = folder;
        report.PrintLine(why);
    }
    if (result == ERROR_SUCCESS) {
        PassCheckpoint(L"journal-written");
        return kGoOn;
    }
    return EndUnchanged(report, L"削除内容の記録を作成できなかったため、何も変更せずに強制削除を中断します。", journal,
                        result);
}

// Once nothing is left: ours and the earlier journals taken up are done.
void FinishJournals(Report& report, const RemovalPlan& plan, const std::wstring& journal) {
    PathList journals = plan.resumedJournals;
    journals.push_back(journal);
    for (const std::wstring& path : journals) {
        DWORD result = MarkJournalFinished(path);
        if (result != ERROR_SUCCESS)
            report.LogLine(L"削除内容の記録に完了を書き込めませんでした: " + FailureLine(path, result));
    }
}

// ---- the restore point, the Windows way back for files ----

Lc::RestorePoint BeginRestorePoint(Report& report) {
    Lc::RestorePoint point = Lc::RestorePoint::Begin(L"Quellor: Mirevo の強制削除");
    if (point.Began()) {
        report.PrintLine(L"復元ポイントを作成しました。(シーケンス番号: " + std::to_wstring(point.SequenceNumber()) + L")");
    } else if (point.Earlier()) {
        // Windows makes at most one point in its creation frequency: the earlier point is the way back.
        report.PrintLine(L"復元ポイントは作成されませんでした。直近に作成された復元ポイント(シーケンス番号: " +
                         std::to_wstring(point.SequenceNumber()) + L")があります。");
    } else {
        // System Protection may be off, or Windows declines: the registry backup still holds.
        report.PrintLine(L"復元ポイントを作成できませんでした。(エラーコード: " + std::to_wstring(point.Error()) + L")");
        report.PrintLine(L"レジストリのバックアップは作成済みのため、このまま処理を続行します。");
    }
    report.PrintLine(L"");
    return point;
}

// Only a point this run began is ended: an earlier one named by Windows is not ours to end.
void EndRestorePoint(Report& report, Lc::RestorePoint& point) {
    if (!point.Began()) return;
    DWORD ended = point.End();
    if (ended != ERROR_SUCCESS)
        report.PrintLine(L"復元ポイントを完了できませんでした。(エラーコード: " + std::to_wstring(ended) + L")");
}

// The end of the removal: the completion message only when nothing is left.
int Complete(Report& report, const RemovalPlan& plan, const PathList& remaining, const Ledger& ledger,
             const std::wstring& journal) {
    report.PrintLine(L"");
    // A user whose hive could not be searched may still hold the product's keys.
    const PathList notSearched = NotSearchedUserLines(plan.users);
    if (!notSearched.empty()) {
        report.PrintLine(L"以下のユーザーは検索できなかったため、強制削除を完了できませんでした。");
        report.PrintLines(notSearched);
    }
    if (!remaining.empty()) {
        report.PrintLine(L"削除できなかった項目が" + std::to_wstring(remaining.size()) +
                         L"件残っています。詳細は情報ログを確認してください。");
        report.LogSection(L"[削除後も残っている項目]", remaining);
    }
    if (!remaining.empty() || !notSearched.empty()) {
        report.PrintLine(kEnterToEnd);
        report.WaitForEnter();
        return kEnd;
    }
    FinishJournals(report, plan, journal);
    report.PrintLine(L"強制削除が完了しました。");
    if (!ledger.scheduled.empty())
        report.PrintLine(L"使用中のため削除できなかったファイルは、PCの再起動後に削除されます。");
    report.PrintLine(L"完全に削除する場合、再度インストール後に「プログラムの追加と削除」からアンインストールを行ってください。");
    report.PrintLine(L"Enterキーで終了します...");
    report.WaitForEnter();
    return 0;
}

}  // namespace

int RunRemovalPhases(Report& report, const Settings& profile, const RemovalPlan& plan) {
    const TargetList& targets = plan.targets;
    if (ConfirmAndCheckDiagnosis(report, profile) != kGoOn) return kEnd;
    if (BackUpRegistry(report, targets, plan.users) != kGoOn) return kEnd;
    std::wstring journal;
    if (StartJournal(report, plan, targets, journal) != kGoOn) return kEnd;
    Lc::RestorePoint point = BeginRestorePoint(report);  // an early end ends it too, as it goes away
    std::wstring serviceProgram;
    if (StopProduct(report, profile, targets, serviceProgram) != kGoOn) return kEnd;
    Ledger ledger;
    if (UnregisterProduct(report, profile, targets, ledger) != kGoOn) return kEnd;
    if (AwaitServiceProcess(report, serviceProgram) != kGoOn) return kEnd;
    DeleteTargets(report, plan, targets, ledger);
    LogUserOutcomes(report, plan, ledger.goneTargets);  // only after a removal that ran
    EndRestorePoint(report, point);
    ReportSpared(report, plan);
    return Complete(report, plan, Leftovers(report, profile, plan, ledger.scheduledTargets), ledger, journal);
}

}  // namespace Quellor
