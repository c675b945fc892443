#include "app/endcheck/EndCheck.h"

#include "app/Phases.h"
#include "app/plan/RemovalTargets.h"
#include "app/resume/RemovalJournal.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

// Whether the target counts as left over; `error` receives what made the answer unsure.
bool IsLeftOver(const Target& target, DWORD& error) {
    error = ERROR_SUCCESS;
    if (target.IsStep()) return false;  // what it leaves is looked for as the keys and files listed beside it
    // Kept while another product still has something in it.
    if (target.kind == TargetKind::KeyWhenEmpty) return Lc::RegistryKeyState(target.key) == Lc::KeyState::Empty;
    if (target.IsRegistry()) return !IsGone(target);
    Lc::PathPresence presence = Lc::QueryPathPresence(target.path);
    error = presence.present ? presence.error : ERROR_SUCCESS;
    return presence.present;
}

}  // namespace

PathList RemainingTargets(const TargetList& targets, const std::set<std::wstring>& scheduledTargets) {
    PathList remaining;
    for (const Target& target : targets) {
        if (scheduledTargets.count(target.path) != 0) continue;
        DWORD error = ERROR_SUCCESS;
        if (!IsLeftOver(target, error)) continue;
        std::wstring line = TargetText(target);
        if (error != ERROR_SUCCESS) line += L"\r\n - エラー " + std::to_wstring(error);
        remaining.push_back(line);
    }
    return remaining;
}

PathList Leftovers(const Report& report, const Settings& profile, const RemovalPlan& plan,
                   const std::set<std::wstring>& scheduledTargets) {
    PassCheckpoint(L"end-check");
    std::set<std::wstring> planned;
    for (const Target& target : plan.targets) planned.insert(TargetIdentity(target));
    TargetList checked = plan.targets;
    for (const Target& target : SearchAgain(report, profile, plan))
        if (planned.count(TargetIdentity(target)) == 0) checked.push_back(target);
    PathList remaining = RemainingTargets(checked, scheduledTargets);
    PassCheckpoint(L"end-check-done");
    return remaining;
}

}  // namespace Quellor
