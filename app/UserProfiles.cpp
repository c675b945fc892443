#include "app/UserProfiles.h"

#include <cwctype>

#include "app/RegistryBackup.h"
#include "platform/ErrorText.h"
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

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
    if (folder.empty() || path.size() <= folder.size()) return false;
    return Lower(path.substr(0, folder.size())) == Lower(folder) && path[folder.size()] == L'\\';
}

// A registry target in that user's hives or among the installer's managed keys of that user; a file
// below their profile folder.
bool BelongsTo(const Target& target, const SearchedUser& user) {
    if (!target.IsRegistry()) return StartsWithFolder(target.path, user.profileFolder);
    if (Lower(Lc::HiveSidOf(target.path)) == Lower(user.sid)) return true;
    return Lower(target.path).find(L"\\installer\\managed\\" + Lower(user.sid) + L"\\") != std::wstring::npos;
}

bool InLoadedHive(const Target& target, const SearchedUsers& users) {
    if (!target.IsRegistry()) return false;
    std::wstring sid = Lower(Lc::HiveSidOf(target.path));
    if (sid.empty()) return false;
    for (const SearchedUser& user : users)
        if (user.state == UserHiveState::LoadedByTool && Lower(user.sid) == sid) return true;
    return false;
}

void LogUserSection(Report& report, const std::wstring& heading, const SearchedUser& user, const PathList& lines) {
    report.LogLine(heading);
    report.LogLine(L"プロファイル: " + user.profileFolder);
    report.LogLine(user.state == UserHiveState::LoggedOn ? L"状態: ログオン中" : L"状態: ツールが読み込んだレジストリ");
    report.LogLines(lines.empty() ? PathList{L"（なし）"} : lines);
    report.LogLine(L"");
}

}  // namespace

UserHiveSession::~UserHiveSession() {
    for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it) (void)Lc::UnloadUserHive(it->name, it->file);
}

LONG UserHiveSession::Load(const std::wstring& name, const std::wstring& file, const std::wstring& sid) {
    LONG result = Lc::LoadUserHive(name, file);
    if (result == ERROR_SUCCESS) {
        loaded_.push_back({name, file, sid});
        return result;
    }
    // A failed load may leave an empty key of that name, which only an unload removes.
    if (Lc::HiveLoaded(Lc::NativeView(), name) && Lc::UnloadUserHive(name, L"") != ERROR_SUCCESS)
        loaded_.push_back({name, L"", sid});
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
    if (!privileges_) privileges_ = std::make_unique<Lc::EnabledPrivileges>(std::vector<std::wstring>{SE_BACKUP_NAME, SE_RESTORE_NAME});
    LONG result = Load(user.sid, hiveFile, user.sid);
    const std::wstring classesFile = Lc::ClassesHiveFile(user.profileFolder);
    if (result == ERROR_SUCCESS && Lc::HiveFileExists(classesFile)) {
        LONG classes = Load(user.sid + kClassesSuffix, classesFile, user.sid);
        if (classes == ERROR_SUCCESS) user.classesLoaded = true;
        else result = classes;
    }
    user.state = result == ERROR_SUCCESS ? UserHiveState::LoadedByTool : UserHiveState::NotSearched;
    user.error = static_cast<DWORD>(result);
}

void UserHiveSession::LoadProfiles(Report& report) {
    for (const Lc::ProfileEntry& entry : Lc::ListProfiles(Lc::NativeView())) {
        SearchedUser user;
        user.sid = entry.sid;
        user.profileFolder = entry.folder;
        LoadUser(user);
        users_.push_back(user);
    }
    report.LogLine(L"[ユーザーのプロファイル]");
    for (const SearchedUser& user : users_) {
        if (user.state != UserHiveState::NotSearched) {
            report.LogLine(UserName(user) + L"\r\n - " + StateText(user.state));
            continue;
        }
        report.PrintLine(UserName(user) + L"のレジストリを読み込めなかったため、このユーザーは検索できません。");
        report.PrintLine(L" - " + Lc::Win32ErrorText(user.error));
    }
    report.LogLine(L"");
}

bool UserHiveSession::UnloadAll(Report& report) {
    bool all = true;
    // The classes hive was loaded after its user's hive: unloaded first.
    for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it) {
        LONG result = Lc::UnloadUserHive(it->name, it->file);
        if (result == ERROR_SUCCESS) continue;
        all = false;
        report.PrintLine(L"ユーザー " + it->sid + L" のレジストリ（HKEY_USERS\\" + it->name + L"）をアンロードできませんでした。");
        report.PrintLine(L" - " + Lc::Win32ErrorText(static_cast<DWORD>(result)));
    }
    loaded_.clear();
    if (privileges_) privileges_->Restore();
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
    const TargetList targets = TargetsOf(plan);
    for (const SearchedUser& user : plan.users) {
        if (!IsSearched(user)) continue;
        PathList found;
        for (const Target& target : targets)
            if (BelongsTo(target, user)) found.push_back(TargetText(target));
        LogUserSection(report, L"[" + UserName(user) + L"で見つかった項目]", user, found);
    }
}

void LogUserOutcomes(Report& report, const RemovalPlan& plan) {
    const TargetList targets = TargetsOf(plan);
    const MachineProbe probe;
    for (const SearchedUser& user : plan.users) {
        if (!IsSearched(user)) continue;
        PathList deleted;
        for (const Target& target : targets)
            if (target.kind != TargetKind::RemovedByOthers && BelongsTo(target, user) && IsGone(target, probe))
                deleted.push_back(TargetText(target));
        LogUserSection(report, L"[" + UserName(user) + L"で削除した項目]", user, deleted);
    }
}

TargetList WithoutLoadedHives(const TargetList& targets, const SearchedUsers& users) {
    TargetList kept;
    for (const Target& target : targets)
        if (!InLoadedHive(target, users)) kept.push_back(target);
    return kept;
}

DWORD BackUpLoadedHives(const TargetList& targets, const SearchedUsers& users, const std::wstring& mainBackupPath,
                        PathList& written) {
    const std::wstring stem = mainBackupPath.substr(0, mainBackupPath.size() - std::wstring(L".reg").size());
    for (const SearchedUser& user : users) {
        if (user.state != UserHiveState::LoadedByTool) continue;
        TargetList own;
        for (const Target& target : targets)
            if (InLoadedHive(target, {user})) own.push_back(target);
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
