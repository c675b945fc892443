#include "tools/settings-tool/SettingsWriter.h"

#include <gtest/gtest.h>

#include "app/Profile.h"
#include "settings/SettingsArchive.h"
#include "settings/TextConversion.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/support/TestSupport.h"

namespace Zento::Lithcore {
namespace {

Settings AwkwardSettings() {
    Settings s = Quellor::BuildDefaultSettings();
    s.PRODUCTNAME = L"a<b>&c\"d'e ミレボ";
    s.TOOLNAME = L"";
    s.MODULE_NAME_SUFFIX = L"  spaced\ttab ";
    s.PRODUCTCODES[L"2.0.0.0"] = L"{00000000-0000-0000-0000-000000000002}";
    s.VITRA_SETTING_MUTEX_NAME.clear();
    return s;
}

TEST(SettingsWriter, WrittenFileLoadsAsTheSourceRecord) {
    QuellorTest::ScratchFolder folder;
    const Settings source = AwkwardSettings();
    ASSERT_TRUE(WriteImageFile(folder / L"setting_ZEKT.dat", EncipherSettingsText(WriteSettingsXml(source))));
    Settings loaded;
    ASSERT_TRUE(LoadSettingsFile(folder / L"setting_ZEKT.dat", loaded));
    EXPECT_EQ(loaded, source);
}

TEST(SettingsWriter, UsesOneLetterElementNamesInRecordOrder) {
    const std::wstring xml = WriteSettingsXml(Quellor::BuildDefaultSettings());
    std::wstring letters;
    for (std::size_t at = xml.find(L"\n\t<"); at != std::wstring::npos; at = xml.find(L"\n\t<", at + 1))
        if (xml[at + 3] != L'/') letters += xml[at + 3];
    EXPECT_EQ(letters, L"CUPTPTMFFVTTNNVVVN");
    EXPECT_NE(xml.find(L"<Root class_id=\"0\" tracking_level=\"0\" version=\"0\">"), std::wstring::npos);
}

TEST(SettingsWriter, EveryFileGetsItsOwnCounterBlock) {
    const std::wstring xml = WriteSettingsXml(Quellor::BuildDefaultSettings());
    const Crypto::Bytes first = EncipherSettingsText(xml);
    const Crypto::Bytes second = EncipherSettingsText(xml);
    ASSERT_EQ(first.size(), Crypto::kPrefixLength + 4 + ToUtf8(xml).size());
    EXPECT_FALSE(std::equal(first.begin(), first.begin() + 16, second.begin()));
}

TEST(SettingsWriter, ReplacesAnExistingLongerFile) {
    QuellorTest::ScratchFolder folder;
    QuellorTest::WriteFileBytes(folder / L"s.dat", std::string(100000, 'z'));
    const Crypto::Bytes image = EncipherSettingsText(WriteSettingsXml(Quellor::BuildDefaultSettings()));
    ASSERT_TRUE(WriteImageFile(folder / L"s.dat", image));
    EXPECT_EQ(QuellorTest::ReadFileBytes(folder / L"s.dat"), std::string(image.begin(), image.end()));
}

}  // namespace
}  // namespace Zento::Lithcore
