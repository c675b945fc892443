#include "app/users/UserProfiles.h"

#include <algorithm>

#include "app/removal/RegistryBackup.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "registry/Names.h"
#include "registry/RegistryExport.h"
#include "registry/UserHives.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

constexpr wchar_t kClassesSuffix[] = L"_Classes";

std::wstring UserName(const SearchedUser& user) {
    return L"ユーザー " + user.sid + L"（" + (user.profileFolder.empty() ? L"プロファイルのパスなし" : user.profileFolder) + L"）";
}

std::wstring StateText(UserHiveState state) {
    switch (state) {
        case UserHiveState::LoggedOn: return L"ログオン中のユーザーのレジストリを検索します。";
        case UserHiveState::LoadedByTool: return L"ログオンしていないユーザーのレジストリを読み込んで検索します。";
        case UserHiveState::NoHiveFile: return L"レジストリのファイルが無いため、検索しません。";
        case UserHiveState::NotSearched: return L"レジストリを読み込めなかったため、検索できません。";
    }
    return {};
}

bool IsSearched(const SearchedUser& user) {
    return user.state == UserHiveState::LoggedOn || user.state == UserHiveState::LoadedByTool;
}

// A registry target in that user's hives or among the installer's managed keys of that user; a file
// below their profile folder.
bool BelongsTo(const Target& target, const SearchedUser& user) {
    if (target.IsStep()) return false;
    if (!target.IsRegistry()) return Lc::IsAtOrBelow(target.path, user.profileFolder);
    if (Lc::NamesEqual(target.key.HiveSid(), user.sid)) return true;
    return Lc::FoldedName(target.path).find(L"\\INSTALLER\\MANAGED\\" + Lc::FoldedName(user.sid) + L"\\") !=
           std::wstring::npos;
}

bool InLoadedHive(const Target& target, const SearchedUsers& users) {
    if (!target.IsRegistry()) return false;
    const std::wstring sid = target.key.HiveSid();
    return !sid.empty() && std::ranges::any_of(users, [&](const SearchedUser& user) {
        return user.state == UserHiveState::LoadedByTool && Lc::NamesEqual(user.sid, sid);
    });
}

bool IsBackupEntry(const Lc::ProfileEntry& entry) { return Lc::FoldedName(entry.sid).ends_with(L".BAK"); }

// Windows marks a temporary profile in State and gives it a folder named TEMP (TEMP.<domain>.000, ...).
bool IsTemporaryProfile(const Lc::ProfileEntry& entry) {
    if ((entry.state & Lc::kProfileTemporary) != 0) return true;
    const size_t slash = entry.folder.find_last_of(L'\\');
    const std::wstring leaf = Lc::FoldedName(slash == std::wstring::npos ? entry.folder : entry.folder.substr(slash + 1));
    return leaf == L"TEMP" || leaf.rfind(L"TEMP.", 0) == 0;
}

// RegLoadKeyW under a name nobody uses: a name in use (someone else's hive) is left alone. A failed load
// may leave an empty key of that name (Wine), which only an unload removes: `leftover` says it stayed.
LONG LoadUnder(const std::wstring& name, const std::wstring& file, bool& leftover) {
    leftover = false;
    if (Lc::HiveLoaded(Lc::NativeView(), name)) return ERROR_ALREADY_EXISTS;
    LONG result = Lc::LoadUserHive(name, file);
    if (result != ERROR_SUCCESS && Lc::HiveLoaded(Lc::NativeView(), name))
        leftover = Lc::UnloadUserHive(name) != ERROR_SUCCESS;
    return result;
}

// Each searched user's section: their profile, how the hive was reached, the targets of theirs listed.
template <typename Listed>
void LogUserTargets(Report& report, const RemovalPlan& plan, const wchar_t* what, Listed listed) {
    for (const SearchedUser& user : plan.users) {
        if (!IsSearched(user)) continue;
        PathList lines;
        for (const Target& target : plan.targets)
            if (BelongsTo(target, user) && listed(target)) lines.push_back(TargetText(target));
        report.LogLine(L"[" + UserName(user) + what + L"]");
        report.LogLine(L"プロファイル: " + user.profileFolder);
        report.LogLine(user.state == UserHiveState::LoggedOn ? L"状態: ログオン中" : L"状態: ツールが読み込んだレジストリ");
        report.LogLines(lines.empty() ? PathList{L"（なし）"} : lines);
        report.LogLine(L"");
    }
}

}  // namespace

UserHiveSession::~UserHiveSession() {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
        if (it->loaded) (void)Lc::UnloadUserHive(it->name);
}

LONG UserHiveSession::LoadMount(const std::wstring& name, const std::wstring& file, const std::wstring& sid) {
    bool leftover = false;
    LONG result = LoadUnder(name, file, leftover);
    if (result == ERROR_SUCCESS) mounts_.push_back({name, file, sid, true});
    if (leftover) mounts_.push_back({name, L"", sid, true});
    return result;
}

void UserHiveSession::LoadUser(SearchedUser& user) {
    if (Lc::HiveLoaded(Lc::NativeView(), user.sid)) {
        user.state = UserHiveState::LoggedOn;
        return;
    }
    const std::wstring hiveFile = Lc::UserHiveFile(user.profileFolder);
    if (user.profileFolder.empty() || !Lc::HiveFileExists(hiveFile)) {
        user.state = UserHiveState::NoHiveFile;
        return;
    }
    LONG result = LoadMount(user.sid, hiveFile, user.sid);
    const std::wstring classesName = user.sid + kClassesSuffix;
    const std::wstring classesFile = Lc::ClassesHiveFile(user.profileFolder);
    // A classes hive that someone else loaded is theirs to unload; it is searched as it is.
    if (result == ERROR_SUCCESS && Lc::HiveFileExists(classesFile) && !Lc::HiveLoaded(Lc::NativeView(), classesName)) {
        result = LoadMount(classesName, classesFile, user.sid);
        if (result == ERROR_SUCCESS) user.classesLoaded = true;
        else UnloadUser(user.sid);  // half a user is not searched at all: nothing of theirs is changed
    }
    user.state = result == ERROR_SUCCESS ? UserHiveState::LoadedByTool : UserHiveState::NotSearched;
    user.error = static_cast<DWORD>(result);
}

void UserHiveSession::UnloadUser(const std::wstring& sid) {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
        if (it->sid == sid && it->loaded && Lc::UnloadUserHive(it->name) == ERROR_SUCCESS) it->loaded = false;
    // What did not unload stays listed, for UnloadAll to try again and report.
    std::erase_if(mounts_, [&](const HiveMount& mount) { return mount.sid == sid && !mount.loaded; });
}

LONG UserHiveSession::ReloadUser(const std::wstring& sid) {
    std::vector<HiveMount> leftovers;
    LONG result = ERROR_SUCCESS;
    for (HiveMount& mount : mounts_) {
        if (mount.sid != sid || mount.loaded) continue;
        bool leftover = false;
        result = LoadUnder(mount.name, mount.file, leftover);
        if (leftover) leftovers.push_back({mount.name, L"", sid, true});
        if (result != ERROR_SUCCESS) break;
        mount.loaded = true;
    }
    mounts_.insert(mounts_.end(), leftovers.begin(), leftovers.end());
    return result;
}

bool UserHiveSession::UnloadMount(Report& report, HiveMount& mount) {
    LONG result = Lc::UnloadUserHive(mount.name);
    if (result == ERROR_SUCCESS) {
        mount.loaded = false;
        return true;
    }
    report.PrintLine(L"ユーザー " + mount.sid + L" のレジストリ（HKEY_USERS\\" + mount.name + L"）をアンロードできませんでした。");
    report.PrintLine(L" - " + Lc::Win32ErrorText(static_cast<DWORD>(result)));
    return false;
}

void UserHiveSession::LoadProfiles(Report& report, SearchedUsers& users) {
    users_ = &users;
    users.clear();
    report.LogLine(L"[ユーザーのプロファイル]");
    for (const Lc::ProfileEntry& entry : Lc::ListProfiles(Lc::NativeView())) {
        SearchedUser user;
        user.sid = entry.sid;
        user.profileFolder = entry.folder;
        // Neither is a user of its own: a .bak entry names the folder of its user's entry again, and a
        // temporary profile is discarded at its user's sign-out.
        if (IsBackupEntry(entry) || IsTemporaryProfile(entry)) {
            report.LogLine(UserName(user) + L"\r\n - " +
                           (IsBackupEntry(entry) ? L"プロファイルのバックアップのため、読み込みません。"
                                                 : L"一時プロファイルのため、読み込みません。"));
            continue;
        }
        LoadUser(user);
        users.push_back(user);
        if (user.state != UserHiveState::NotSearched) {
            report.LogLine(UserName(user) + L"\r\n - " + StateText(user.state));
            continue;
        }
        report.PrintLine(UserName(user) + L"のレジストリを読み込めなかったため、このユーザーは検索できません。");
        report.PrintLine(L" - " + Lc::Win32ErrorText(user.error));
    }
    report.LogLine(L"");
}

void UserHiveSession::BeforeOperatorWait(Report& report) {
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
        if (it->loaded) (void)UnloadMount(report, *it);
    // The empty key of a failed load is gone for good once unloaded.
    std::erase_if(mounts_, [](const HiveMount& mount) { return mount.file.empty() && !mount.loaded; });
}

void UserHiveSession::AfterOperatorGoesOn(Report& report) {
    if (users_ == nullptr) return;
    for (SearchedUser& user : *users_) {
        if (user.state != UserHiveState::LoadedByTool) continue;
        LONG result = ReloadUser(user.sid);
        if (result == ERROR_SUCCESS) continue;
        // The user may have signed in meanwhile: their own hive is then Windows', and not ours to change.
        UnloadUser(user.sid);
        user.state = UserHiveState::NotSearched;
        user.error = static_cast<DWORD>(result);
        user.classesLoaded = false;
        report.PrintLine(UserName(user) + L"のレジストリを再び読み込めなかったため、このユーザーの項目は削除できません。");
        report.PrintLine(L" - " + Lc::Win32ErrorText(user.error));
    }
}

bool UserHiveSession::UnloadAll(Report& report) {
    bool all = true;
    // The classes hive was loaded after its user's hive: unloaded first.
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
        if (it->loaded && !UnloadMount(report, *it)) all = false;
    mounts_.clear();
    users_ = nullptr;
    return all;
}

PathList NotSearchedUserLines(const SearchedUsers& users) {
    PathList lines;
    for (const SearchedUser& user : users)
        if (user.state == UserHiveState::NotSearched)
            lines.push_back(UserName(user) + L"\r\n - " + Lc::Win32ErrorText(user.error));
    return lines;
}

void LogUserFindings(Report& report, const RemovalPlan& plan) {
    LogUserTargets(report, plan, L"で見つかった項目", [](const Target&) { return true; });
}

void LogUserOutcomes(Report& report, const RemovalPlan& plan, const std::set<std::wstring>& goneTargets) {
    LogUserTargets(report, plan, L"で削除した項目", [&](const Target& target) {
        return target.kind != TargetKind::RemovedByOthers && goneTargets.count(TargetIdentity(target)) != 0;
    });
}

TargetList WithoutLoadedHives(const TargetList& targets, const SearchedUsers& users) {
    TargetList kept = targets;
    std::erase_if(kept, [&](const Target& target) { return InLoadedHive(target, users); });
    return kept;
}

DWORD BackUpLoadedHives(const TargetList& targets, const SearchedUsers& users, const std::wstring& mainBackupPath,
                        PathList& written) {
    const std::wstring stem = mainBackupPath.substr(0, mainBackupPath.size() - std::wstring(L".reg").size());
    for (const SearchedUser& user : users) {
        if (user.state != UserHiveState::LoadedByTool) continue;
        TargetList own = targets;
        std::erase_if(own, [&](const Target& target) { return !InLoadedHive(target, {user}); });
        if (own.empty()) continue;
        Lc::RegistryExport backup;
        DWORD result = BackUpTargets(own, backup);
        if (result != ERROR_SUCCESS) return result;
        if (backup.Empty()) continue;
        const std::wstring path = stem + L"_" + user.sid + L".reg";
        result = WriteBackupFile(path, backup.Text());
        if (result != ERROR_SUCCESS) return result;
        written.push_back(path);
    }
    return ERROR_SUCCESS;
}

}  // namespace Quellor
