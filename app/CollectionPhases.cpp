// Collection phases 1-12: find every trace of the product and report it. Nothing is changed here.
#include "app/Dialogue.h"
#include "app/Phases.h"
#include "files/ShellFolders.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "registry/ComSettingsRegistry.h"
#include "registry/InstallerQueries.h"
#include "registry/InstallerRegistry.h"
#include "registry/Names.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

constexpr wchar_t kUninstallBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr wchar_t kClassesInstaller[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer\\";
constexpr wchar_t kUpgradeCodesBase[] =
    L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UpgradeCodes\\";
constexpr wchar_t kClsidBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\";
constexpr wchar_t kAppIdBase[] = L"HKEY_LOCAL_MACHINE\\Software\\Classes\\AppID\\";

constexpr int kCsidlProgramFiles = 0x26;
constexpr int kCsidlProgramFilesX86 = 0x2A;
constexpr int kCsidlProgramFilesCommon = 0x2B;
constexpr int kCsidlProgramFilesCommonX86 = 0x2C;
constexpr int kCsidlCommonAppData = 0x23;
constexpr int kCsidlWindows = 0x24;

// A key search reported under its label; its result list joins the deletion lists.
void SearchKeys(Report& report, std::vector<PathList>& into, const std::wstring& label, const std::wstring& base,
                const std::wstring& name) {
    PathList found;
    bool any = Lc::CollectKeyPaths(Lc::NativeView(), base, name, found);
    report.ReportSearch(label, any, found);
    into.push_back(found);
}

void SearchUserInstallerKeys(Report& report, RemovalPlan& plan, const std::wstring& label,
                             const std::wstring& packed, const std::wstring& kind) {
    PathList found;
    bool any = Lc::CollectUserInstallerKeys(Lc::NativeView(), packed, kind, found);
    report.ReportSearch(label, any, found);
    plan.hkuKeyLists.push_back(found);
}

std::wstring Packed(const std::wstring& guid) {
    std::wstring packed;
    Lc::PackGuid(guid, packed);
    return packed;
}

// The products a shared key's other values name: packed codes as braced codes, other names as they are.
PathList NamedProducts(const PathList& valueNames) {
    PathList products;
    for (const std::wstring& name : valueNames) {
        std::wstring code;
        products.push_back(Lc::UnpackGuid(name, code) ? code : name);
    }
    return products;
}

bool IsSpared(const RemovalPlan& plan, const std::wstring& item) {
    for (const SparedItem& spared : plan.spared)
        if (spared.item == item) return true;
    return false;
}

// Of found installer keys, those that serve the target alone are returned to be deleted whole. A key that
// also names another product keeps it: only the target's value is planned for deletion.
PathList KeysOfTargetAlone(RemovalPlan& plan, const PathList& found) {
    const std::wstring ownValue = Packed(plan.productCode);
    PathList alone;
    for (const std::wstring& key : found) {
        Lc::KeySharing sharing;
        if (!Lc::ReadKeySharing(Lc::NativeView(), key, ownValue, sharing) || !sharing.Shared()) {
            alone.push_back(key);
            continue;
        }
        if (IsSpared(plan, key)) continue;  // the installer may list a component twice
        if (sharing.hasOwnValue) plan.ownValuesInSharedKeys.push_back({key, sharing.ownValueName});
        plan.spared.push_back({key, NamedProducts(sharing.otherValues)});
    }
    return alone;
}

// A key search over installer keys that may name other products as well (see KeysOfTargetAlone).
void SearchSharableKeys(Report& report, RemovalPlan& plan, const std::wstring& label, const std::wstring& base,
                        const std::wstring& name) {
    PathList found;
    bool any = Lc::CollectKeyPaths(Lc::NativeView(), base, name, found);
    report.ReportSearch(label, any, found);
    plan.hklmKeyLists.push_back(KeysOfTargetAlone(plan, found));
}

void SearchSharableUserKeys(Report& report, RemovalPlan& plan, const std::wstring& label, const std::wstring& packed,
                            const std::wstring& kind) {
    PathList found;
    bool any = Lc::CollectUserInstallerKeys(Lc::NativeView(), packed, kind, found);
    report.ReportSearch(label, any, found);
    plan.hkuKeyLists.push_back(KeysOfTargetAlone(plan, found));
}

// The clients of a component other than the target.
PathList OtherClients(const std::wstring& componentCode, const std::wstring& productCode) {
    PathList clients;
    Lc::ListComponentClients(componentCode, clients);
    PathList others;
    for (const std::wstring& client : clients)
        if (!Lc::NamesEqual(client, productCode)) others.push_back(client);
    return others;
}

// Phase 1. 0 to go on, -1 to end the run.
int CheckInstallation(Report& report, const Settings& profile, const RemovalPlan& plan) {
    report.PrintLine(L"削除対象プログラムのインストール・アンインストールレジストリの検索を開始します...");
    report.PrintLine(L"インストール情報が登録されているMirevoの製品コードを確認します...");
    PathList others;
    bool registered = false;
    Lc::FindRelatedProducts(profile.UPGRADECODE, plan.productCode, others, registered);

    if (registered) {
        report.PrintLine(L"削除対象のMirevoの製品コードと一致しました。");
        if (others.empty()) {
            report.PrintLine(plan.productCode);
            report.PrintLine(L"");
            return 0;
        }
        report.PrintLine(L"関連する以下の製品の強制削除は行わず、削除対象のMirevoの処理のみ行います。");
        report.PrintLines(others);
        report.PrintLine(L"");
        report.PrintLine(L"Enterで続行");
        report.WaitForEnter();
        return 0;
    }
    report.PrintLine(L"削除対象のMirevoの製品コードが見つかりませんでした。");
    report.PrintLine(L"削除対象のMirevoのインストール情報が壊れている可能性があります。");
    if (others.empty())
        return AskToContinue(report, L"このまま削除対象のMirevoのファイル・レジストリの検索・削除処理を続行しますか？");
    report.PrintLine(L"関連する以下の製品が見つかりましたが、削除対象のMirevoの製品コードと一致しませんでした。");
    report.PrintLines(others);
    report.PrintLine(L"");
    report.PrintLine(kEnterToEnd);
    report.WaitForEnter();
    return -1;
}

// Phase 2.
void CollectProductRegistrations(Report& report, const Settings& profile, RemovalPlan& plan) {
    if (!Lc::GetProductName(plan.productCode, plan.displayName) || plan.displayName.empty())
        plan.displayName = profile.PRODUCTNAME;
    SearchKeys(report, plan.hklmKeyLists, L"「プログラムの追加と削除」情報のレジストリ", kUninstallBase, plan.productCode);

    std::wstring packedProduct = Packed(plan.productCode);
    PathList userData;
    bool found = Lc::CollectUserDataKeys(Lc::NativeView(), packedProduct, L"Products", userData);
    if (found)
        Lc::CollectLocalPackages(Lc::NativeView(), userData, L"InstallProperties", L"LocalPackage",
                                 plan.installerPackages);
    report.ReportSearch(L"アンインストーラー情報のレジストリ", found, userData);
    plan.hklmKeyLists.push_back(userData);

    SearchUserInstallerKeys(report, plan, L"Usersのアンインストーラー情報のレジストリ", packedProduct, L"Products");
    SearchKeys(report, plan.hklmKeyLists, L"全ユーザー共通のアンインストーラー情報のレジストリ",
               std::wstring(kClassesInstaller) + L"Products\\", packedProduct);
    report.PrintLine(L"続いて、削除対象プログラムに関連するレジストリを検索します。");
    report.PrintLine(L"");
}

// Phase 3.
void CollectUpgradeAndFeatureRegistrations(Report& report, const Settings& profile, RemovalPlan& plan) {
    std::wstring packedUpgrade = Packed(profile.UPGRADECODE);
    std::wstring packedProduct = Packed(plan.productCode);
    // An upgrade code's key names every product installed under it; another version keeps it.
    SearchSharableKeys(report, plan, L"削除対象プログラムのUpgradeCode情報のレジストリ", kUpgradeCodesBase,
                       packedUpgrade);
    SearchSharableUserKeys(report, plan, L"削除対象プログラムのUsersのUpgradeCode情報のレジストリ", packedUpgrade,
                           L"UpgradeCodes");
    SearchSharableKeys(report, plan, L"削除対象プログラムの全ユーザー共通のUpgradeCode情報のレジストリ",
                       std::wstring(kClassesInstaller) + L"UpgradeCodes\\", packedUpgrade);
    SearchUserInstallerKeys(report, plan, L"削除対象プログラムのFeature情報のレジストリ", packedProduct, L"Features");
    SearchKeys(report, plan.hklmKeyLists, L"削除対象プログラムの全ユーザー共通のFeature情報のレジストリ",
               std::wstring(kClassesInstaller) + L"Features\\", packedProduct);
}

void RemoveEvery(PathList& list, const std::wstring& value) {
    for (auto it = list.begin(); it != list.end();) it = (*it == value) ? list.erase(it) : it + 1;
}

// Phase 4.
void CollectComponents(Report& report, RemovalPlan& plan) {
    PathList codes;
    Lc::ListProductComponents(plan.productCode, codes);
    bool anyPath = Lc::ListComponentPaths(codes, plan.productCode, plan.componentPaths);
    report.ReportSearch(L"Mirevoのコンポーネント", anyPath, plan.componentPaths);
    PathList packedCodes = codes.empty() ? PathList{} : Lc::PackGuids(codes);

    report.PrintLine(L"Mirevoのコンポーネントの内、他のプログラムと共有しているコンポーネントがあるか確認します...");
    PathList sharedCodes;
    PathList sharedPacked;
    for (const std::wstring& code : codes) {
        bool shared = false;
        if (!Lc::IsComponentShared(code, plan.productCode, shared)) continue;
        std::wstring path;
        bool pathRead = Lc::GetComponentPath(plan.productCode, code, path);
        if (!pathRead) path.clear();
        if (shared) {
            sharedCodes.push_back(code);
            plan.sharedComponentCodes.push_back(code);
            sharedPacked.push_back(Packed(code));
            plan.sharedComponentPaths.push_back(path);
            InsertFirst(plan.sharedByPath, path, code);
            if (!pathRead) plan.sharedWithoutPath.push_back(code);
        } else {
            InsertFirst(plan.ownByPath, path, code);
        }
    }
    if (sharedCodes.empty()) {
        report.PrintLine(L"他のプログラムと共有しているコンポーネントはありませんでした。");
    } else {
        report.PrintLine(L"他のプログラムと共有しているコンポーネントが見つかりました。");
        report.PrintLine(L"共有しているコンポーネントのファイル・レジストリは削除対象から除外します。");
        report.LogLines(sharedCodes);
        for (const std::wstring& packed : sharedPacked) RemoveEvery(packedCodes, packed);
    }
    // Without its path a shared file cannot be told apart from the product's own files.
    if (!plan.sharedWithoutPath.empty()) {
        report.PrintLine(L"共有しているコンポーネントの内、パスを取得できなかったものがあります。");
        report.PrintLine(L"共有しているファイルを残すため、Mirevoのフォルダは削除しません。");
        report.LogLines(plan.sharedWithoutPath);
    }
    report.PrintLine(L"");
    report.PrintLine(L"Mirevoのコンポーネントのレジストリパスを取得します。");
    report.PrintLine(L"取得完了まで、１分程度かかることがあります。");
    report.PrintLine(L"");

    PathList componentKeys;
    bool found = Lc::CollectUserDataComponentKeys(Lc::NativeView(), packedCodes, L"Components", componentKeys);
    report.ReportSearch(L"Mirevoのコンポーネントのレジストリパス", found, componentKeys);
    plan.hklmKeyLists.push_back(KeysOfTargetAlone(plan, componentKeys));
}

// After phase 4: a shared component's files stay, and so does its registration for the other clients;
// only the target's client value goes from it, so the installer no longer counts the target as a client.
void CollectSharedComponentRegistrations(RemovalPlan& plan) {
    if (plan.sharedComponentCodes.empty()) return;
    PathList keys;
    Lc::CollectUserDataComponentKeys(Lc::NativeView(), Lc::PackGuids(plan.sharedComponentCodes), L"Components", keys);
    plan.hklmKeyLists.push_back(KeysOfTargetAlone(plan, keys));
    for (size_t i = 0; i < plan.sharedComponentCodes.size() && i < plan.sharedComponentPaths.size(); ++i) {
        const std::wstring& path = plan.sharedComponentPaths[i];
        if (path.empty() || IsSpared(plan, path)) continue;
        plan.spared.push_back({path, OtherClients(plan.sharedComponentCodes[i], plan.productCode)});
    }
}

// Phase 5, step 2: the CLSID's server path, when its key was found.
void LookUpComServer(RemovalPlan& plan, const std::wstring& clsid, const std::wstring& key) {
    if (key.empty()) return;
    std::wstring server;
    if (Lc::ReadStringValue(Lc::NativeView(), key + L"LocalServer32\\", L"", server) ||
        Lc::ReadStringValue(Lc::NativeView(), key + L"InProcServer32\\", L"", server)) {
        InsertFirst(plan.serverToClsid, server, clsid);
        InsertFirst(plan.clsidToServer, clsid, server);
    }
    InsertFirst(plan.clsidToKey, clsid, key);
}

PathList ComClsids(const Settings& p) {
    return {p.FERROW_CLSID,  p.FERROWPS_CLSID, p.VENTREL_CLSID, p.TERRION_CLSID,
            p.TERRIONPS_CLSID, p.NOVEX_CLSID,    p.NOVEXPS_CLSID};
}

// Phase 5.
void CollectComRegistrations(Report& report, const Settings& profile, RemovalPlan& plan) {
    report.PrintLine(L"Mirevo関連のCOMコンポーネントのレジストリを検索します...");
    // One listing of the machine's CLSID keys serves all seven lookups.
    PathList clsids = ComClsids(profile);
    PathList keys = Lc::FindKeyPaths(Lc::NativeView(), kClsidBase, clsids);
    for (size_t i = 0; i < clsids.size(); ++i) LookUpComServer(plan, clsids[i], keys[i]);

    // Only servers that are the product's own, unshared components are unregistered.
    PathList clsidKeys;
    for (const auto& [server, clsid] : plan.serverToClsid) {
        bool own = plan.sharedByPath.count(server) == 0 && plan.ownByPath.count(server) != 0;
        plan.unregister[clsid] = own;
        if (own) clsidKeys.push_back(plan.clsidToKey[clsid]);
    }
    PathList appIdKeys;
    if (!clsidKeys.empty()) {
        PathList appIds;
        Lc::ReadStringValues(Lc::NativeView(), clsidKeys, L"AppID", appIds);
        for (const std::wstring& appId : appIds) Lc::CollectKeyPaths(Lc::NativeView(), kAppIdBase, appId, appIdKeys);
    }
    report.ReportSearch(L"Mirevo関連のCOMコンポーネントのCLSIDレジストリ", !clsidKeys.empty(), clsidKeys);
    report.ReportSearch(L"Mirevo関連のCOMコンポーネントのAppIDレジストリ", !appIdKeys.empty(), appIdKeys);
    plan.hklmKeyLists.push_back(appIdKeys);
}

// After phase 5: a server whose file is a shared component keeps its registration, and the service that
// runs it is only stopped, for the products that share it.
void NoteSparedComServers(const Settings& profile, RemovalPlan& plan) {
    for (const auto& [clsid, server] : plan.clsidToServer) {
        auto shared = plan.sharedByPath.find(server);
        if (plan.Unregisters(clsid) || shared == plan.sharedByPath.end()) continue;
        PathList keptFor = OtherClients(shared->second, plan.productCode);
        plan.spared.push_back({L"COMコンポーネントの登録 " + clsid + L"（" + server + L"）", keptFor});
        if (clsid == profile.TERRION_CLSID)
            plan.spared.push_back({L"サービス「" + profile.TERRION_SERVICE_NAME + L"」", keptFor});
    }
}

// Phase 6.
void CollectSettingsRegistry(Report& report, const Settings& profile, RemovalPlan& plan) {
    PathList userKeys;
    bool found = Lc::CollectUserSettingsKeys(Lc::NativeView(), plan.componentPaths, profile.CUSTOMER, userKeys,
                                             plan.settingsNames);
    report.ReportSearch(L"Mirevoの設定情報のレジストリ", found, userKeys);
    plan.hkuKeyLists.push_back(userKeys);

    std::wstring vendorBase = L"HKEY_LOCAL_MACHINE\\Software\\" + profile.CUSTOMER + L"\\";
    SearchKeys(report, plan.hklmKeyLists, L"Mirevo設定情報の全ユーザー共通のレジストリ", vendorBase + L"Velkor\\",
               L"Common");

    PathList productKeys;
    PathList entries;
    if (Lc::CollectKeyPaths(Lc::NativeView(), vendorBase, L"Velkor", productKeys)) {
        for (const std::wstring& key : productKeys) {
            std::wstring data;
            if (!Lc::ReadStringValue(Lc::NativeView(), key, L"", data)) continue;
            InsertFirst(plan.hklmValueEntries, key, L"");
            entries.push_back(key + L"\r\n - エントリ「」 = " + data);
        }
    }
    report.ReportSearch(L"Mirevo設定情報の全ユーザー共通のレジストリのエントリ", !entries.empty(), entries);
    report.PrintLine(L"削除対象のプログラムに関連するレジストリの検索が完了しました。");
    report.PrintLine(L"");
}

// Phase 7.
void CollectProgramFolders(Report& report, const Settings& profile, RemovalPlan& plan) {
    report.PrintLine(L"削除対象のプログラムのファイルパスを確認します...");
    plan.installSubPath = L"\\" + profile.CUSTOMER + L"\\Velkor";
    bool wow64 = Lc::IsWow64();
    const std::wstring bases[] = {
        ProgramFilesFolder(wow64),
        Lc::GetSpecialFolderPath(wow64 ? kCsidlProgramFilesCommonX86 : kCsidlProgramFilesCommon),
        Lc::GetSpecialFolderPath(kCsidlCommonAppData),
    };
    // An empty answer names no folder: with the sub-path alone it would mean the current drive.
    for (const std::wstring& base : bases)
        if (!base.empty() && Lc::IsFolder(base + plan.installSubPath))
            plan.programFolders.push_back(base + plan.installSubPath);
    report.ReportSearch(L"削除対象のプログラムのフォルダ", !plan.programFolders.empty(), plan.programFolders);
}

// Phase 8.
void CollectShortcuts(Report& report, const Settings& profile, RemovalPlan& plan) {
    report.PrintLine(L"削除対象のプログラムのショートカットのパスを確認します...");
    PathList folderNames = {profile.CUSTOMER + L"\\" + plan.displayName, profile.TOOLNAME + L"\\" + plan.displayName,
                            profile.TOOLNAME};
    PathList names = {plan.displayName, profile.TOOLNAME};
    const Lc::RegistryView view = Lc::NativeView();

    bool found = Lc::FindUserMenuFolders(view, folderNames, names, plan.startMenuFolders);
    report.ReportSearch(L"削除対象のプログラムのショートカットフォルダ", found, plan.startMenuFolders);
    found = Lc::FindCommonMenuFolders(view, folderNames, names, plan.commonStartMenuFolders);
    report.ReportSearch(L"削除対象のプログラムの全ユーザー共通ショートカットフォルダ", found, plan.commonStartMenuFolders);
    found = Lc::FindUserShortcuts(view, L"Startup", names, plan.startupShortcuts);
    report.ReportSearch(L"削除対象のプログラムのスタートアップショートカット", found, plan.startupShortcuts);
    found = Lc::FindCommonShortcuts(view, L"Common Startup", names, plan.commonStartupShortcuts);
    report.ReportSearch(L"削除対象のプログラムの全ユーザー共通スタートアップショートカット", found,
                        plan.commonStartupShortcuts);
    found = Lc::FindUserShortcuts(view, L"Desktop", names, plan.desktopShortcuts);
    report.ReportSearch(L"削除対象のプログラムのデスクトップショートカット", found, plan.desktopShortcuts);
    found = Lc::FindCommonShortcuts(view, L"Common Desktop", names, plan.commonDesktopShortcuts);
    report.ReportSearch(L"削除対象のプログラムの全ユーザー共通デスクトップショートカット", found,
                        plan.commonDesktopShortcuts);
}

// Phase 9: only when the settings search named some users.
void CollectUserSettingFiles(Report& report, const Settings& profile, RemovalPlan& plan) {
    if (plan.settingsNames.empty()) return;
    bool found = Lc::FindUserSettingFiles(Lc::NativeView(), plan.settingsNames, profile, plan.userSettingFolders,
                                          plan.userSettingFiles);
    report.ReportSearch(L"削除対象のプログラムのユーザー設定ファイルとフォルダ", found, plan.userSettingFolders);
    if (!plan.userSettingFiles.empty()) report.LogLines(plan.userSettingFiles);
    report.PrintLine(L"");
}

// Phase 10.
void CollectInstallerInfoFolders(Report& report, RemovalPlan& plan) {
    bool found =
        Lc::FindUserAppDataFolders(Lc::NativeView(), L"Microsoft\\Installer\\" + plan.productCode, plan.installerInfoFolders);
    report.ReportSearch(L"「プログラムの追加と削除」で使用される情報のフォルダ", found, plan.installerInfoFolders);
    const std::wstring windows = Lc::GetSpecialFolderPath(kCsidlWindows);
    std::wstring allUsers = windows + L"\\Installer\\" + plan.productCode;
    bool isFolder = !windows.empty() && Lc::IsFolder(allUsers);
    report.ReportFolderCheck(L"「プログラムの追加と削除」で使用される情報の全ユーザー共通フォルダ", isFolder, allUsers);
    if (isFolder) plan.installerInfoFolders.push_back(allUsers);
}

// Phase 11.
void CheckFerrow(Report& report, const Settings& profile, RemovalPlan& plan) {
    report.PrintLine(L"Ferrowの存在チェック");
    auto registered = plan.clsidToServer.find(profile.FERROW_CLSID);
    if (registered != plan.clsidToServer.end())
        plan.ferrowExePath = registered->second;
    else
        plan.ferrowExePath =
            ProgramFilesFolder(Lc::IsWow64()) + plan.installSubPath + L"\\Ferrow" + profile.MODULE_NAME_SUFFIX + L".exe";
    report.ReportOutcome(plan.ferrowExePath + L"が見つかりました。", plan.ferrowExePath + L"がありません。",
                         Lc::PathMatchesAnything(plan.ferrowExePath), false);
}

// Phase 12.
void CollectProcesses(Report& report, RemovalPlan& /*plan*/) {
    report.PrintLine(L"プロセス情報を収集します...");
    for (const Lc::ProcessEntry& process : Lc::ListProcesses()) report.LogLine(Lc::ProcessText(process));
    report.PrintLine(L"プロセス情報を収集し、ログに出力しました。");
    report.PrintLine(L"情報収集が完了しました。");
    report.PrintLine(L"");
    report.PrintLine(L"強制削除の準備が完了しました。");
}

}  // namespace

std::wstring ProgramFilesFolder(bool wow64) {
    return Lc::GetSpecialFolderPath(wow64 ? kCsidlProgramFilesX86 : kCsidlProgramFiles);
}

int RunCollection(Report& report, const Settings& profile, RemovalPlan& plan) {
    if (CheckInstallation(report, profile, plan) != 0) return -1;
    CollectProductRegistrations(report, profile, plan);
    CollectUpgradeAndFeatureRegistrations(report, profile, plan);
    CollectComponents(report, plan);
    CollectSharedComponentRegistrations(plan);
    CollectComRegistrations(report, profile, plan);
    NoteSparedComServers(profile, plan);
    CollectSettingsRegistry(report, profile, plan);
    CollectProgramFolders(report, profile, plan);
    CollectShortcuts(report, profile, plan);
    CollectUserSettingFiles(report, profile, plan);
    CollectInstallerInfoFolders(report, plan);
    CheckFerrow(report, profile, plan);
    CollectProcesses(report, plan);
    return 0;
}

}  // namespace Quellor
