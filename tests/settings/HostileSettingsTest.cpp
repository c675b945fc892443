#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "settings/SettingsArchive.h"
#include "settings/TextConversion.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/support/TestSupport.h"

namespace Zento::Lithcore {
namespace {

using SettingsTest::Bytes;

// Fragments that steer the archive reader into its less common paths.
const char* const kTokens[] = {
    "<", ">", "</", "/>", "&", "&#", "&#x", ";", "\"", "=", "&amp;", "&#0;", "&#xFFFF;", "&#99999999999;",
    "<item>", "</item>", "<count>", "</count>", "4294967295", "18446744073709551616", "-1",
    " class_id=\"7\"", " tracking_level=\"1\"", " object_id=\"_0\"", " object_id=\"_99\"", " version=\"1\"",
    " class_id_reference=\"0\"", "<!DOCTYPE x>", "<?xml ?>", "]]>", "<![CDATA[", "\xEF\xBF\xBF", "\xC3", "\xF0\x9F\x98",
};

class Mutator {
public:
    explicit Mutator(unsigned seed) : random_(seed) {}

    template <class Buffer>
    Buffer Mutate(Buffer data, bool withTokens) {
        switch (Pick(withTokens ? 5 : 4)) {
            case 0:  // bit flips
                for (int i = 0, n = 1 + Pick(3); i < n && !data.empty(); ++i)
                    data[Pick(data.size())] ^= static_cast<char>(1 << Pick(8));
                break;
            case 1:  // truncation
                data.resize(Pick(data.size() + 1));
                break;
            case 2: {  // random bytes inserted
                Buffer bytes(1 + Pick(16), 0);
                for (auto& b : bytes) b = static_cast<typename Buffer::value_type>(Pick(256));
                data.insert(data.begin() + Pick(data.size() + 1), bytes.begin(), bytes.end());
                break;
            }
            case 3: {  // a range deleted or repeated
                const std::size_t from = Pick(data.size() + 1), length = Pick(64);
                const std::size_t to = std::min(data.size(), from + length);
                Buffer range(data.begin() + from, data.begin() + to);
                if (Pick(2)) data.erase(data.begin() + from, data.begin() + to);
                else data.insert(data.begin() + Pick(data.size() + 1), range.begin(), range.end());
                break;
            }
            default: {
                const std::string token = kTokens[Pick(std::size(kTokens))];
                data.insert(data.begin() + Pick(data.size() + 1), token.begin(), token.end());
            }
        }
        return data;
    }

private:
    std::size_t Pick(std::size_t bound) { return bound == 0 ? 0 : random_() % bound; }
    std::mt19937 random_;
};

struct Tally {
    int variants = 0;
    int loaded = 0;
    void Count(bool ok) {
        ++variants;
        loaded += ok;
    }
};

bool LoadImageFile(const std::wstring& path, const Bytes& image) {
    QuellorTest::WriteFileBytes(path, std::string(image.begin(), image.end()));
    Settings settings;
    return LoadSettingsFile(path, settings);
}

std::size_t PeakWorkingSetMegabytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize / (1024 * 1024);
}

TEST(HostileSettingsFile, CorruptedVariantsEndInTrueOrFalseNeverACrash) {
    const std::string xml = ToUtf8(SettingsTest::FixtureXml());
    const Bytes image = SettingsTest::ImageOfText(SettingsTest::FixtureXml());
    QuellorTest::ScratchFolder folder;
    const std::wstring path = folder / L"setting_ZEKT.dat";
    Mutator mutator(20240601);
    Tally text, files, images;
    const auto start = std::chrono::steady_clock::now();

    for (int i = 0; i < 4000; ++i) {  // archive text, straight to the reader
        std::string variant = mutator.Mutate(xml, true);
        if (i % 3 == 0) variant = mutator.Mutate(variant, true);
        Settings settings;
        text.Count(ParseSettingsXml(FromMultiByte(variant, kUtf8Mode), settings));
    }
    for (int i = 0; i < 500; ++i) {  // archive text, enciphered and read as a file
        const std::string variant = mutator.Mutate(xml, true);
        files.Count(LoadImageFile(path, SettingsTest::ImageOf(Crypto::BuildPlaintext({}, variant))));
    }
    for (int i = 0; i < 1000; ++i)  // the enciphered file itself
        images.Count(LoadImageFile(path, mutator.Mutate(image, false)));

    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ mutation ] %d variants (%d archive texts, %d enciphered texts, %d file images) in %lld ms; "
                "%d still loaded; peak working set %u MB\n",
                text.variants + files.variants + images.variants, text.variants, files.variants, images.variants,
                static_cast<long long>(ms), text.loaded + files.loaded + images.loaded,
                static_cast<unsigned>(PeakWorkingSetMegabytes()));
    EXPECT_EQ(text.variants + files.variants + images.variants, 5500);
    EXPECT_LT(PeakWorkingSetMegabytes(), 256u);
}

TEST(HostileSettingsFile, HugeCountWithFewItemsNeitherHangsNorAllocates) {
    std::wstring xml = SettingsTest::FixtureXml();
    xml = SettingsTest::ReplaceNth(xml, L"<count>3</count>", L"<count>4294967295</count>");
    // The items that are there repeat one key; the rest of the text is read as more items and fails.
    Settings settings;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ParseSettingsXml(xml, settings));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_LT(PeakWorkingSetMegabytes(), 256u);
}

TEST(HostileSettingsFile, LongValuesAndManyEntriesStayWithinTheFileSize) {
    std::wstring items;
    for (int i = 0; i < 20000; ++i)
        items += L"<item><first>" + std::to_wstring(i) + L"</first><second>" + std::wstring(40, L'x') +
                 L"</second></item>";
    std::wstring xml = SettingsTest::ReplaceNth(SettingsTest::FixtureXml(), L"<count>3</count>",
                                                L"<count>20003</count>");
    xml = SettingsTest::ReplaceNth(xml, L"<item>", items + L"<item>");
    xml = SettingsTest::ReplaceNth(xml, L"Terrion KLQ Service", std::wstring(1 << 20, L'S'));
    Settings settings;
    ASSERT_TRUE(ParseSettingsXml(xml, settings));
    EXPECT_EQ(settings.PRODUCTCODES.size(), 20003u);
    EXPECT_EQ(settings.TERRION_SERVICE_NAME.size(), 1u << 20);
}

}  // namespace
}  // namespace Zento::Lithcore
