#include <gtest/gtest.h>

#include "app/RemovalJournal.h"

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
