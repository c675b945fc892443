#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "app/resume/RemovalJournal.h"
#include "platform/FileSystem.h"
#include "settings/TextConversion.h"
#include "tests/support/TestSupport.h"

using namespace Quellor;

namespace {

TargetList SomeTargets() {
    TargetList targets;
    targets.push_back({TargetKind::Value, TargetSection::MachineValues, L"HKEY_LOCAL_MACHINE\\Software\\ZEKT\\Velkor\\",
                       RegistryKeyAddress::Parse(L"HKEY_LOCAL_MACHINE\\Software\\ZEKT\\Velkor\\", RegistryView::Bits64),
                       L"a\tb%0A\r\nc"});
    targets.push_back({TargetKind::Folder, TargetSection::ProgramFiles, L"C:\\Program Files\\ZEKT\\Velkor 共有", {}, L""});
    return targets;
}

}  // namespace

TEST(RemovalJournal, RoundTripKeepsEveryCharacterAndTellsFinishedFromUnfinished) {
    std::string text = JournalText(L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}", L"PC-01\t経理", SomeTargets());
    ParsedJournal journal = ParseJournal(text);
    ASSERT_EQ(journal.state, JournalState::Unfinished);
    EXPECT_EQ(journal.productCode, L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}");
    EXPECT_EQ(journal.computer, L"PC-01\t経理");
    ASSERT_EQ(journal.entries.size(), 2u);
    EXPECT_EQ(journal.entries[0].kind, TargetKind::Value);
    EXPECT_TRUE(journal.entries[0].key.Valid());
    EXPECT_EQ(journal.entries[0].key.view, RegistryView::Bits64);
    EXPECT_EQ(journal.entries[0].valueName, L"a\tb%0A\r\nc");
    EXPECT_EQ(journal.entries[1].kind, TargetKind::Folder);
    EXPECT_FALSE(journal.entries[1].key.Valid());
    EXPECT_EQ(journal.entries[1].path, L"C:\\Program Files\\ZEKT\\Velkor 共有");
    EXPECT_EQ(ParseJournal(text + "finished\r\n").state, JournalState::Finished);
}

TEST(RemovalJournal, CutOffOrEditedOutOfShapeIsDamaged) {
    std::string text = JournalText(L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}", L"PC-01", SomeTargets());
    std::string withoutEnd = text.substr(0, text.find("end\t"));
    const std::string damaged[] = {
        withoutEnd,                                     // written up to a target, then cut off
        text.substr(0, text.size() - 1),                // last line without its line end
        withoutEnd + "end\t3\r\n",                      // a target line missing
        text + "finished\r\nfinished\r\n",              // anything after the finished line
        text + "target\tfile\t-\tC:\\x\t\r\n",          // a target after the end line
        "QuellorRemovalJournal\t1" + text.substr(text.find("\r\n")),  // another version
        text.substr(0, text.find("computer\t")) + text.substr(text.find("target\t")),  // no computer
        withoutEnd + "target\tkey\t-\tHKEY_LOCAL_MACHINE\\Software\\X\\\t\r\nend\t3\r\n",  // key without view
        withoutEnd + "target\tfile\t-\tC:\\x%4\t\r\nend\t3\r\n",   // broken escape
        "",
    };
    for (const std::string& journal : damaged) EXPECT_EQ(ParseJournal(journal).state, JournalState::Damaged) << journal;
}

TEST(RemovalJournal, NamedAfterTheLogInItsOwnFolder) {
    EXPECT_EQ(JournalPath(L"C:\\ProgramData\\Quellor", L"D:\\run\\infoLog_20250203090507.txt"),
              L"C:\\ProgramData\\Quellor\\removal_20250203090507.txt");
    EXPECT_EQ(JournalPath(L"C:\\ProgramData\\Quellor", L"infoLog_20250203090507_2.txt"),
              L"C:\\ProgramData\\Quellor\\removal_20250203090507_2.txt");
}

// What Windows would say of the files that someone else made or may change; Wine keeps no security of
// its own for files (it answers from the Unix owner and mode), so the test tells it through the file table.
DWORD WINAPI SecurityOfPlantedFiles(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION what, PSID* owner,
                                      PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
    wchar_t path[MAX_PATH] = {};
    ::GetFinalPathNameByHandleW(handle, path, MAX_PATH, 0);
    const std::wstring name(path);
    const wchar_t* sddl = nullptr;
    if (name.find(L"removal_3.txt") != std::wstring::npos) sddl = L"O:BAD:(A;;FA;;;SY)(A;;0x1301ff;;;WD)";
    if (name.size() >= 8 && name.compare(name.size() - 8, 8, L"squatted") == 0) sddl = L"O:BUD:(A;OICI;FA;;;BU)";
    if (sddl == nullptr) return ::GetSecurityInfo(handle, type, what, owner, group, dacl, sacl, descriptor);
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor, nullptr))
        return ::GetLastError();
    BOOL present = FALSE, defaulted = FALSE;
    if (owner != nullptr) ::GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
    if (dacl != nullptr) ::GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted);
    return ERROR_SUCCESS;
}

// A later run believes only journals that nobody but Administrators and SYSTEM could have written, in a
// folder that only they may change, and only those written on this computer.
TEST(RemovalJournal, OnlyJournalsThatAdministratorsAloneCouldWriteHereAreTakenUp) {
    const std::wstring code = L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}";
    QuellorTest::ScratchFolder scratch;
    const std::wstring folder = scratch / L"journals";
    std::wstring why;
    ASSERT_EQ(PrepareJournalFolder(folder, why), static_cast<DWORD>(ERROR_SUCCESS)) << Zento::Lithcore::ToUtf8(why);
    ASSERT_EQ(WriteJournal(folder + L"\\removal_1.txt", code, ThisComputerName(), SomeTargets()),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(WriteJournal(folder + L"\\removal_2.txt", code, L"OTHER-PC", SomeTargets()), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(WriteJournal(folder + L"\\removal_3.txt", code, ThisComputerName(), SomeTargets()),
              static_cast<DWORD>(ERROR_SUCCESS));
    const std::wstring squatted = scratch / L"squatted";
    ASSERT_TRUE(::CreateDirectoryW(squatted.c_str(), nullptr));
    ASSERT_EQ(WriteJournal(squatted + L"\\removal_4.txt", code, ThisComputerName(), SomeTargets()),
              static_cast<DWORD>(ERROR_SUCCESS));

    Zento::Lithcore::System::FileApi planted = Zento::Lithcore::System::Files();
    planted.getSecurityInfo = &SecurityOfPlantedFiles;
    const Zento::Lithcore::System::FileApi* previous = Zento::Lithcore::System::ReplaceFileApi(&planted);
    EarlierJournals found = FindEarlierJournals(folder, code, ThisComputerName());
    // A folder a user made before the first run: nothing in it is used, and no journal is written there.
    const DWORD squattedPrepared = PrepareJournalFolder(squatted, why);
    const EarlierJournals inSquatted = FindEarlierJournals(squatted, code, ThisComputerName());
    Zento::Lithcore::System::ReplaceFileApi(previous);

    ASSERT_EQ(found.unfinished.size(), 1u);
    EXPECT_EQ(found.unfinished[0].path, folder + L"\\removal_1.txt");
    std::wstring ignored;
    for (const std::wstring& line : found.ignored) ignored += line + L"\n";
    EXPECT_NE(ignored.find(L"removal_2.txt\r\n - 別のコンピューター（OTHER-PC）の記録のため使用しません。"), std::wstring::npos)
        << Zento::Lithcore::ToUtf8(ignored);
    EXPECT_NE(ignored.find(L"removal_3.txt\r\n - Administrators・SYSTEM以外のユーザーも変更できます。"), std::wstring::npos)
        << Zento::Lithcore::ToUtf8(ignored);
    EXPECT_NE(squattedPrepared, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(why.find(L"所有者"), std::wstring::npos) << Zento::Lithcore::ToUtf8(why);
    EXPECT_TRUE(inSquatted.unfinished.empty());
    ASSERT_EQ(inSquatted.ignored.size(), 1u);
}
