#include "settings/Crypto.h"

#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "tests/settings/SettingsFixture.h"
#include "tests/support/TestSupport.h"

namespace Zento::Lithcore::Crypto {
namespace {

using SettingsTest::ImageOf;

struct Outcome {
    int code;
    std::string payload;
};

Outcome DecryptImage(const Bytes& image) {
    Outcome outcome{};
    outcome.code = DecipherImage(kSettingsPassPhrase, image, outcome.payload);
    return outcome;
}

Bytes Plaintext(std::initializer_list<unsigned char> fillerCount, const std::string& rest) {
    Bytes plain(fillerCount);
    plain.insert(plain.end(), rest.begin(), rest.end());
    return plain;
}

TEST(Crypto, KeyIsSha256OfThePassPhraseBytes) {
    const auto key = DeriveKey(kSettingsPassPhrase);
    const unsigned char expected[] = {0x52, 0xb4, 0xd3, 0xe1, 0xb0, 0xaf, 0x9e, 0x73, 0x73, 0x80, 0x76,
                                      0x50, 0xb0, 0x27, 0xd9, 0x1c, 0xb3, 0xa7, 0xe6, 0x21, 0xde, 0xa0,
                                      0xac, 0xee, 0x1f, 0xbe, 0x52, 0xed, 0x6e, 0x80, 0x8b, 0x17};
    EXPECT_TRUE(std::equal(key.begin(), key.end(), std::begin(expected)));
}

TEST(Crypto, ImagesTooShortForTheCountOrThePrefixAreRejected) {
    for (std::uint32_t length = 1; length <= 3; ++length)
        EXPECT_EQ(DecryptImage(Bytes(length, 0x41)).code, kBadArgument) << length;
    for (std::uint32_t length = 4; length <= 31; ++length)
        EXPECT_EQ(DecryptImage(Bytes(length, 0x41)).code, kCipherFailed) << length;
    // Only the prefix: the plaintext is empty, so there is no filler count.
    EXPECT_EQ(DecryptImage(Bytes(32, 0x41)).code, kBadArgument);
    EXPECT_EQ(DecryptImage({}).code, kBadArgument);
}

TEST(Crypto, FillerCountSelectsWhereThePayloadStarts) {
    EXPECT_EQ(DecryptImage(ImageOf(Plaintext({0, 0, 0, 0}, "<xml/>"))).payload, "<xml/>");
    EXPECT_EQ(DecryptImage(ImageOf(Plaintext({3, 0, 0, 0}, "abcPAYLOAD"))).payload, "PAYLOAD");
    // Filler reaching exactly to the end: an empty payload is a success.
    Outcome empty = DecryptImage(ImageOf(Plaintext({6, 0, 0, 0}, "abcdef")));
    EXPECT_EQ(empty.code, kSuccess);
    EXPECT_EQ(empty.payload, "");
    // Little-endian: 0x00000100 is 256, past the end of this plaintext.
    EXPECT_EQ(DecryptImage(ImageOf(Plaintext({0, 1, 0, 0}, "abcdef"))).code, kBadArgument);
    EXPECT_EQ(DecryptImage(ImageOf(Plaintext({7, 0, 0, 0}, "abcdef"))).code, kBadArgument);
    EXPECT_EQ(DecryptImage(ImageOf(Plaintext({1, 0}, ""))).code, kBadArgument);
}

TEST(Crypto, AllBitsSetFillerCountDoesNotWrapAround) {
    // 4 + 0xFFFFFFFF wraps to 3 in 32 bits, which would fit this plaintext.
    EXPECT_EQ(DecryptImage(ImageOf(Plaintext({0xFF, 0xFF, 0xFF, 0xFF}, "abcdefgh"))).code, kBadArgument);
}

// Files enciphered by the host's openssl from fixtures/settings.xml (see make-openssl-vector.sh).
std::wstring VectorPath(const wchar_t* name) { return std::wstring(QUELLOR_SETTINGS_VECTORS) + L"\\" + name; }

TEST(SettingsFileFromOpenssl, DeciphersToTheArchiveText) {
    const std::wstring fixture = SettingsTest::FixtureXml();
    for (const wchar_t* name : {L"openssl-plain.dat", L"openssl-filler.dat"}) {
        std::wstring text;
        ASSERT_TRUE(ReadSettingsText(VectorPath(name), text)) << QuellorTest::Utf8(name);
        EXPECT_EQ(text, fixture) << QuellorTest::Utf8(name);
        Settings settings;
        EXPECT_TRUE(LoadSettingsFile(VectorPath(name), settings));
        EXPECT_EQ(settings, SettingsTest::FixtureSettings());
    }
}

TEST(SettingsFileFromOpenssl, TextEndsAtTheFirstNulByte) {
    std::wstring text;
    ASSERT_TRUE(ReadSettingsText(VectorPath(L"openssl-nul.dat"), text));
    EXPECT_EQ(text, SettingsTest::FixtureXml());
}

TEST(ReadSettingsText, FailsForMissingEmptyAndUndecipherableFiles) {
    QuellorTest::ScratchFolder folder;
    std::wstring text;
    EXPECT_FALSE(ReadSettingsText(folder / L"missing.dat", text));
    QuellorTest::WriteFileBytes(folder / L"empty.dat", "");
    EXPECT_FALSE(ReadSettingsText(folder / L"empty.dat", text));
    QuellorTest::WriteFileBytes(folder / L"short.dat", std::string(20, 'x'));
    EXPECT_FALSE(ReadSettingsText(folder / L"short.dat", text));
    QuellorTest::WriteFileBytes(folder / L"prefix.dat", std::string(32, 'x'));
    EXPECT_FALSE(ReadSettingsText(folder / L"prefix.dat", text));
    EXPECT_TRUE(text.empty());
}

TEST(ReadSettingsText, EmptyPayloadReadsAsEmptyTextAndDoesNotLoad) {
    QuellorTest::ScratchFolder folder;
    const Bytes image = ImageOf(Plaintext({2, 0, 0, 0}, "ab"));
    QuellorTest::WriteFileBytes(folder / L"s.dat", std::string(image.begin(), image.end()));
    std::wstring text = L"stale";
    EXPECT_TRUE(ReadSettingsText(folder / L"s.dat", text));
    EXPECT_EQ(text, L"");
    Settings settings;
    EXPECT_FALSE(LoadSettingsFile(folder / L"s.dat", settings));
}

}  // namespace
}  // namespace Zento::Lithcore::Crypto
