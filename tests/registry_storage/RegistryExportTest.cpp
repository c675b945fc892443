// The backup's .reg text, checked by the program that restores from it: every value type written by
// RegistryExport and read back by `reg import` must come back with the same type and bytes, in its view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Environment.h"
#include "registry/RegistryExport.h"
#include "tests/registry_storage/TestKeys.h"
#include "tests/support/TestSupport.h"

namespace {

Zento::Lithcore::RegistryKeyAddress At(const std::wstring& path, Zento::Lithcore::RegistryView view) {
    return Zento::Lithcore::RegistryKeyAddress::Parse(path, view);
}

using Zento::Lithcore::RegistryValueData;
using Zento::Lithcore::RegistryView;
using namespace QuellorTest;

std::vector<BYTE> Utf16(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

std::vector<RegistryValueData> EveryKindOfValue() {
    std::vector<BYTE> wrapped;
    for (int i = 0; i < 100; ++i) wrapped.push_back(static_cast<BYTE>(i * 7));
    return {
        {L"", REG_SZ, Utf16(L"default value")},
        {L"text", REG_SZ, Utf16(L"a \"quoted\" \\ back\\slash")},
        {L"empty text", REG_SZ, Utf16(L"")},
        {L"no bytes text", REG_SZ, {}},
        {L"two lines", REG_SZ, Utf16(L"one\r\ntwo")},
        {L"expand", REG_EXPAND_SZ, Utf16(L"%SystemRoot%\\x")},
        {L"multi", REG_MULTI_SZ, Utf16(std::wstring(L"a\0bc\0", 5))},
        {L"empty multi", REG_MULTI_SZ, Utf16(L"")},
        {L"dword", REG_DWORD, {0x0a, 0x00, 0x00, 0x80}},
        {L"binary", REG_BINARY, wrapped},
        {L"empty binary", REG_BINARY, {}},
        {L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 0xff}},
        {L"none", REG_NONE, {}},
        {L"none with data", REG_NONE, {0x05, 0x06}},
        {L"name \"with\" \\ marks", REG_SZ, Utf16(L"x")},
        {L"日本語の名前", REG_SZ, Utf16(L"値")},
    };
}

std::vector<BYTE> ReadRaw(HKEY root, const std::wstring& subKey, const std::wstring& name, RegistryView view,
                          DWORD& type) {
    Zento::Lithcore::UniqueRegKey key;
    type = 0xFFFF;
    if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | ViewFlag(view), key.Put()) != ERROR_SUCCESS) return {};
    DWORD size = 0;
    if (::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    std::vector<BYTE> data(size + 1);
    ::RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, data.data(), &size);
    data.resize(size);
    return data;
}

TEST(RegistryExport, RegImportOfTheTextRestoresEveryValueTypeInTheKeysOwnView) {
    // The test key lives in the 32-bit view; under WOW64 the export reads it through the native view
    // by its Wow6432Node spelling, as the removal's targets are listed.
    const bool wow64 = Zento::Lithcore::IsWow64();
    const RegistryView view = RegistryView::Bits32;
    const std::wstring subKey = L"Software\\" + TestKeyName() + L"-export";
    ScopedTestKey cleanup(HKEY_LOCAL_MACHINE, subKey);
    const std::vector<RegistryValueData> values = EveryKindOfValue();
    CreateRawKey(HKEY_LOCAL_MACHINE, subKey + L"\\Empty child", view);
    SetRawString(HKEY_LOCAL_MACHINE, subKey + L"\\Child\\Grandchild", L"deep", L"below", view);
    for (const RegistryValueData& value : values)
        SetRawValue(HKEY_LOCAL_MACHINE, subKey, value.name, value.type, value.data.data(),
                    static_cast<DWORD>(value.data.size()), view);

    Zento::Lithcore::RegistryExport backup;
    const std::wstring listedPath =
        L"HKEY_LOCAL_MACHINE\\Software\\" + std::wstring(wow64 ? L"Wow6432Node\\" : L"") + TestKeyName() + L"-export\\";
    ASSERT_EQ(backup.AddKeyTree(At(listedPath, Zento::Lithcore::NativeView())), ERROR_SUCCESS);
    EXPECT_EQ(backup.AddKeyTree(At(listedPath + L"Missing\\", Zento::Lithcore::NativeView())), ERROR_FILE_NOT_FOUND);
    ScratchFolder folder;
    std::wstring text = L"\xFEFF" + backup.Text();
    WriteFileBytes(folder / L"backup.reg", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    DeleteRawTree(HKEY_LOCAL_MACHINE, subKey, view);
    ASSERT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey, view));

    std::wstring reg = Zento::Lithcore::ExpandEnvironment(L"%SystemRoot%\\system32\\reg.exe");
    ChildResult imported = RunChild(L"\"" + reg + L"\" import \"" + (folder / L"backup.reg") + L"\"" +
                                        (wow64 ? L" /reg:64" : L""),
                                    L"", "");
    ASSERT_TRUE(imported.started);
    ASSERT_EQ(imported.exitCode, 0u) << imported.output;

    for (const RegistryValueData& value : values) {
        DWORD type = 0;
        std::vector<BYTE> data = ReadRaw(HKEY_LOCAL_MACHINE, subKey, value.name, view, type);
        EXPECT_EQ(type, value.type) << Utf8(value.name);
        EXPECT_EQ(data, value.data) << Utf8(value.name);
    }
    EXPECT_TRUE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey + L"\\Empty child", view));
    DWORD type = 0;
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, subKey + L"\\Child\\Grandchild", L"deep", view, type), Utf16(L"below"));
    if (wow64) {
        EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey, RegistryView::Bits64));
    }
}

TEST(RegistryExport, ValueLinesFollowRegeditsForms) {
    EXPECT_EQ(Zento::Lithcore::RegFileValueLine({L"", REG_SZ, Utf16(L"a\"b\\c")}), L"@=\"a\\\"b\\\\c\"\r\n");
    EXPECT_EQ(Zento::Lithcore::RegFileValueLine({L"n", REG_DWORD, {0x0a, 0, 0, 0}}), L"\"n\"=dword:0000000a\r\n");
    EXPECT_EQ(Zento::Lithcore::RegFileValueLine({L"n", REG_EXPAND_SZ, Utf16(L"%")}), L"\"n\"=hex(2):25,00,00,00\r\n");
    EXPECT_EQ(Zento::Lithcore::RegFileValueLine({L"n", REG_NONE, {}}), L"\"n\"=hex(0):\r\n");
}

}  // namespace
