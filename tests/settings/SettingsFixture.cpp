#include "tests/settings/SettingsFixture.h"

#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "settings/TextConversion.h"
#include "tests/support/TestSupport.h"

namespace SettingsTest {

std::wstring FixtureXml() { return QuellorTest::Wide(QuellorTest::ReadFileBytes(QUELLOR_SETTINGS_FIXTURE)); }

Settings FixtureSettings() {
    Settings s;
    s.CUSTOMER = L"ZEKT";
    s.UPGRADECODE = L"{1FDADB3D-1C23-7115-CA82-52D074A33760}";
    s.PRODUCTNAME = L"Mirevo";
    s.TOOLNAME = L"Corvane 管理ツール & <予備>";
    s.PRODUCTCODES = {{L"1.0.14.0", L"{A8A29C11-24A3-2E3D-2CDA-E9F333B92BB5}"},
                      {L"1.0.9.0", L"{4344A992-02A4-706C-D466-7CFF8C489813}"},
                      {L"2.0.0.0", L"{11111111-2222-3333-4444-555555555555}"}};
    s.TERRION_SERVICE_NAME = L"Terrion KLQ Service";
    s.MODULE_NAME_SUFFIX = L"_klq_1_0_0";
    s.FERROW_CLSID = L"{0F176F16-C1BE-51d9-2826-B6641F4C4C3A}";
    s.FERROWPS_CLSID = L"{C10CE499-BEAA-FC65-979B-6227A97255C2}";
    s.VENTREL_CLSID = L"{97F7CD52-5C94-9b4c-8F6A-82C822B3D6E0}";
    s.TERRION_CLSID = L"{1BE3A785-8017-545C-62F3-D5C10ACC50BD}";
    s.TERRIONPS_CLSID = L"{9D406394-BD56-70FD-BC9D-878734DB1AB6}";
    s.NOVEX_CLSID = L"{66DD3643-314F-D467-CEB1-B75CEE9A5AF5}";
    s.NOVEXPS_CLSID = L"{4A4724EA-E7FE-68e6-7AC9-BF18DEC0FC20}";
    s.VITRA_CARE_MUTEX_NAME = {{L"before1.1.1.0", L"Global\\Zentoral_Vitra_Care"}};
    s.VITRA_RESIDENT_MUTEX_NAME = {{L"before1.1.1.0", L"Zentoral_Vitra_Regident"}};
    return s;
}

std::wstring ReplaceNth(const std::wstring& text, const std::wstring& from, const std::wstring& to, int nth) {
    std::size_t at = text.find(from);
    for (int i = 0; i < nth && at != std::wstring::npos; ++i) at = text.find(from, at + 1);
    EXPECT_NE(at, std::wstring::npos) << QuellorTest::Utf8(from);
    if (at == std::wstring::npos) return text;
    return text.substr(0, at) + to + text.substr(at + from.size());
}

Bytes ImageOf(const Bytes& plaintext) {
    std::array<unsigned char, Zento::Lithcore::Crypto::kPrefixLength> prefix{};
    for (std::size_t i = 0; i < prefix.size(); ++i) prefix[i] = static_cast<unsigned char>(0x30 + i);
    return Zento::Lithcore::Crypto::EncipherImage(Zento::Lithcore::kSettingsPassPhrase, prefix, plaintext);
}

Bytes ImageOfText(const std::wstring& xml) {
    return ImageOf(Zento::Lithcore::Crypto::BuildPlaintext({}, Zento::Lithcore::ToUtf8(xml)));
}

}  // namespace SettingsTest
