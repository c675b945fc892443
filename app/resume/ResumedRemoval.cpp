#include "app/resume/ResumedRemoval.h"

#include <set>

#include "app/plan/RemovalTargets.h"
#include "platform/FileSystem.h"

namespace Quellor {

namespace {

// What the journal names, as a search would have offered it.
Target CandidateOf(const Target& entry) {
    Target candidate = entry;
    if (candidate.kind == TargetKind::RemovedByOthers) candidate.kind = TargetKind::Key;
    return candidate;
}

}  // namespace

PathList FoldersOfEarlierTargets(const EarlierJournals& earlier) {
    PathList folders;
    for (const EarlierJournal& journal : earlier.unfinished)
        for (const Target& entry : journal.entries) {
            if (entry.kind == TargetKind::Folder) folders.push_back(entry.path);
            if (entry.kind == TargetKind::File) folders.push_back(Zento::Lithcore::FolderOf(entry.path));
        }
    return folders;
}

void TakeUpEarlierRemovals(Report& report, const TargetAdmission& admission, RemovalPlan& plan,
                           const EarlierJournals& earlier) {
    if (earlier.unfinished.empty() && earlier.ignored.empty()) return;
    std::set<std::wstring> planned;
    for (const Target& target : plan.targets) planned.insert(TargetIdentity(target));
    PathList taken;
    PathList refused;
    for (const EarlierJournal& journal : earlier.unfinished) {
        plan.resumedJournals.push_back(journal.path);
        for (const Target& entry : journal.entries) {
            Target candidate = CandidateOf(entry);
            if (!planned.insert(TargetIdentity(candidate)).second || IsGone(candidate)) continue;
            const Verdict verdict = admission.Judge(candidate);
            if (!verdict.admitted) {
                refused.push_back(TargetText(candidate) + L"\r\n - " + verdict.reason);
                continue;
            }
            candidate.section = verdict.section;
            AddInDeletionOrder(plan.targets, candidate);
            taken.push_back(TargetText(candidate));
        }
    }
    if (!plan.resumedJournals.empty()) {
        report.PrintLine(L"前回の強制削除が完了していなかった記録を確認しました。");
        report.LogLines(plan.resumedJournals);
        report.PrintLine(L"");
    }
    report.PrintSection(L"[前回の強制削除から引き継いで削除する項目]", taken);
    report.PrintSection(L"[前回の強制削除の記録にあったが削除しない項目]", refused);
    report.PrintSection(L"[使用しなかった強制削除の記録]", earlier.ignored);
}

}  // namespace Quellor
