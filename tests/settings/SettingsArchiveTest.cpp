#include "settings/SettingsArchive.h"

#include <gtest/gtest.h>

#include "app/Profile.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/support/TestSupport.h"

namespace Zento::Lithcore {
namespace {

using SettingsTest::FixtureSettings;
using SettingsTest::FixtureXml;
using SettingsTest::ReplaceNth;

bool Parses(const std::wstring& xml, Settings* out = nullptr) {
    Settings settings;
    const bool ok = ParseSettingsXml(xml, settings);
    if (out) *out = settings;
    return ok;
}

std::wstring WithLibraryVersion(std::wstring xml, const std::wstring& version) {
    return ReplaceNth(xml, L"version=\"18\"", L"version=\"" + version + L"\"");
}

// Drops every item_version element of the fixture (it has four maps).
std::wstring WithoutItemVersions(std::wstring xml) {
    for (int i = 0; i < 4; ++i) xml = ReplaceNth(xml, L"<item_version>0</item_version>", L"");
    return xml;
}

TEST(SettingsArchive, FixtureLoadsEveryField) {
    Settings settings;
    ASSERT_TRUE(ParseSettingsXml(FixtureXml(), settings));
    EXPECT_EQ(settings, FixtureSettings());
}

TEST(SettingsArchive, ClosingTagsMustCarryTheOneLetterName) {
    EXPECT_FALSE(Parses(ReplaceNth(FixtureXml(), L"ZEKT</C>", L"ZEKT</CUSTOMER>")));
    EXPECT_FALSE(Parses(ReplaceNth(FixtureXml(), L"</count>", L"</COUNT>")));
    // Opening tags are not compared.
    Settings settings;
    EXPECT_TRUE(Parses(ReplaceNth(FixtureXml(), L"<C>ZEKT", L"<CUSTOMER>ZEKT"), &settings));
    EXPECT_EQ(settings.CUSTOMER, L"ZEKT");
    // Nor the record element's tags.
    EXPECT_TRUE(Parses(ReplaceNth(FixtureXml(), L"</Root>", L"</Record>")));
}

TEST(SettingsArchive, CountZeroGivesAnEmptyMap) {
    Settings settings;
    ASSERT_TRUE(Parses(FixtureXml(), &settings));
    EXPECT_TRUE(settings.VITRA_SETTING_MUTEX_NAME.empty());  // the fixture's <count>0</count> map
}

TEST(SettingsArchive, ItemVersionIsPresentFromLibraryVersionFourOn) {
    Settings settings;
    EXPECT_TRUE(Parses(WithLibraryVersion(WithoutItemVersions(FixtureXml()), L"3"), &settings));
    EXPECT_EQ(settings, FixtureSettings());
    EXPECT_FALSE(Parses(WithLibraryVersion(WithoutItemVersions(FixtureXml()), L"4")));
    EXPECT_TRUE(Parses(WithLibraryVersion(FixtureXml(), L"4")));
}

TEST(SettingsArchive, RepeatedMapKeyKeepsTheFirstValue) {
    std::wstring xml = ReplaceNth(FixtureXml(), L"<count>3</count>", L"<count>4</count>");
    xml = ReplaceNth(xml, L"<item>", L"<item><first>1.0.14.0</first><second>LATER</second></item><item>");
    Settings settings;
    ASSERT_TRUE(Parses(xml, &settings));
    EXPECT_EQ(settings.PRODUCTCODES.size(), 3u);
    EXPECT_EQ(settings.PRODUCTCODES.at(L"1.0.14.0"), L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}");
}

TEST(SettingsArchive, ClassVersionAboveZeroIsRejected) {
    const std::wstring xml = FixtureXml();
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"tracking_level=\"0\" version=\"0\"", L"tracking_level=\"0\" version=\"1\"", 0)))
        << "record";
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"tracking_level=\"0\" version=\"0\"", L"tracking_level=\"0\" version=\"1\"", 1)))
        << "map";
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"tracking_level=\"0\" version=\"0\"", L"tracking_level=\"0\" version=\"1\"", 2)))
        << "pair";
}

TEST(SettingsArchive, HeaderNeedsTheWholeSignature) {
    const std::wstring xml = FixtureXml();
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"serialization::archive", L"serialization::archivf")));
    // The archive library alone would accept a prefix of the signature.
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"serialization::archive", L"serial")));
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"\"serialization::archive\"", L"\"\"")));
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"signature=\"serialization::archive\" ", L"")));
    EXPECT_TRUE(Parses(ReplaceNth(xml, L"signature=\"", L"signature = \"")));
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"<!DOCTYPE boost_serialization>", L"")));
}

TEST(SettingsArchive, TextEndingEarlyFailsWithoutEndingTheProcess) {
    const std::wstring xml = FixtureXml();
    const std::size_t recordEnd = xml.find(L"</Root>") + 7;
    // Cut right after the record: the closing header tag is read when the archive goes away.
    EXPECT_FALSE(Parses(xml.substr(0, recordEnd)));
    EXPECT_FALSE(Parses(xml.substr(0, recordEnd) + L"\n</boost_serial"));
    EXPECT_TRUE(Parses(xml.substr(0, recordEnd) + L"</boost_serialization>"));
    for (std::size_t cut : {std::size_t{0}, std::size_t{10}, xml.size() / 2, recordEnd - 1})
        EXPECT_FALSE(Parses(xml.substr(0, cut))) << cut;
}

TEST(SettingsArchive, HugeCountEndsAtTheEndOfTheText) {
    const std::wstring xml = FixtureXml();
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"<count>3</count>", L"<count>4294967295</count>")));
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"<count>3</count>", L"<count>99999999999999999999</count>")));
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"<count>3</count>", L"<count>-1</count>")));
    EXPECT_FALSE(Parses(ReplaceNth(xml, L"<count>3</count>", L"<count>three</count>")));
}

TEST(SettingsArchive, BrokenTwelfthFieldLeavesTheDefaultsWhole) {
    const std::wstring broken = ReplaceNth(FixtureXml(), L"</T>", L"</X>", 3);  // TERRIONPS_CLSID
    Settings partial;
    EXPECT_FALSE(ParseSettingsXml(broken, partial));
    EXPECT_EQ(partial.TERRION_CLSID, L"{1BE3A785-8017-545C-62F3-D5C10ACC50BD}");  // read before the error

    QuellorTest::ScratchFolder folder;
    const SettingsTest::Bytes image = SettingsTest::ImageOfText(broken);
    QuellorTest::WriteFileBytes(folder / L"setting_ZEKT.dat", std::string(image.begin(), image.end()));
    const Settings defaults = Quellor::BuildDefaultSettings();
    const Quellor::WorkingSettings working = Quellor::LoadWorkingSettings(folder / L"setting_ZEKT.dat", defaults);
    EXPECT_FALSE(working.loaded);
    EXPECT_EQ(working.settings, defaults);
}

TEST(SettingsArchive, LoadSettingsFileNeedsAnExistingFile) {
    QuellorTest::ScratchFolder folder;
    Settings settings;
    EXPECT_FALSE(LoadSettingsFile(folder / L"setting_ZEKT.dat", settings));
    EXPECT_EQ(settings, Settings{});
}

}  // namespace
}  // namespace Zento::Lithcore
