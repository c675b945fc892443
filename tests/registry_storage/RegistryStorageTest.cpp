#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Environment.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryWalk.h"
#include "tests/registry_storage/RegistryViewCheck.h"
#include "tests/registry_storage/TestKeys.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;

namespace {

Zento::Lithcore::RegistryKeyAddress At(const std::wstring& path, Zento::Lithcore::RegistryView view) {
    return Zento::Lithcore::RegistryKeyAddress::Parse(path, view);
}

struct ParseCase {
    const wchar_t* path;
    HKEY root;
    const wchar_t* subKey;
};

PathList Sorted(PathList names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(RegistryKeyAddress, MapsRootNamesAndDropsOneTrailingSeparator) {
    const ParseCase cases[] = {
        {L"HKLM\\Software\\", HKEY_LOCAL_MACHINE, L"Software"},
        {L"HKEY_LOCAL_MACHINE\\Software\\Microsoft", HKEY_LOCAL_MACHINE, L"Software\\Microsoft"},
        {L"HKLM", HKEY_LOCAL_MACHINE, L""},
        {L"HKEY_USERS\\", HKEY_USERS, L""},
        {L"HKU\\.Default", HKEY_USERS, L".Default"},
        {L"HKPN", HKEY_PERFORMANCE_NLSTEXT, L""},
        {L"HKEY_DYN_DATA\\x", HKEY_DYN_DATA, L"x"},
    };
    for (const ParseCase& c : cases) {
        const RegistryKeyAddress address = At(c.path, RegistryView::Bits64);
        EXPECT_EQ(address.root, c.root) << Utf8(c.path);
        EXPECT_EQ(address.subKey, c.subKey) << Utf8(c.path);
        EXPECT_EQ(address.path, c.path);
    }
}

TEST(RegistryKeyAddress, RejectsEmptyComponentsAndUnknownOrLowerCaseRoots) {
    for (const wchar_t* path : {L"HKLM\\Software\\\\", L"HKLM\\\\Software", L"\\HKLM\\Software", L"hklm\\Software",
                                L"Hklm", L"HKEY_LOCAL_MACHINE_X\\Software", L"HKLM\\A\\\\B", L"", L"\\"}) {
        EXPECT_FALSE(At(path, RegistryView::Bits64).Valid()) << Utf8(path);
        UniqueRegKey key;
        EXPECT_EQ(OpenExistingKey(path, RegistryView::Bits64, KEY_READ, key), ERROR_INVALID_PARAMETER) << Utf8(path);
    }
}

// One key under either spelling of the 32-bit classes key, in any letter case, is one identity; the user
// of a key below HKEY_USERS is its hive's name without "_Classes".
TEST(RegistryKeyAddress, IdentityAndHiveUserComeFromTheAddress) {
    EXPECT_EQ(At(L"HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\CLSID\\{A}\\", RegistryView::Bits64).Identity(),
              At(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\classes\\clsid\\{a}\\", RegistryView::Bits64).Identity());
    EXPECT_NE(At(L"HKLM\\Software\\Classes\\CLSID\\{A}\\", RegistryView::Bits64).Identity(),
              At(L"HKLM\\Software\\Wow6432Node\\Classes\\CLSID\\{A}\\", RegistryView::Bits64).Identity());
    EXPECT_EQ(At(L"HKEY_USERS\\S-1-5-21-1_Classes\\CLSID\\", RegistryView::Bits64).HiveSid(), L"S-1-5-21-1");
    EXPECT_EQ(At(L"HKU\\S-1-5-21-2", RegistryView::Bits64).HiveSid(), L"S-1-5-21-2");
    EXPECT_EQ(At(L"HKEY_USERS\\_Classes\\", RegistryView::Bits64).HiveSid(), L"_Classes");
    EXPECT_EQ(At(L"HKEY_LOCAL_MACHINE\\Software\\S-1-5-21-1\\", RegistryView::Bits64).HiveSid(), L"");
}

class RegistryReadTest : public ::testing::Test {
protected:
    const std::wstring subKey = L"Software\\" + TestKeyName();
    const std::wstring path = L"HKEY_LOCAL_MACHINE\\" + subKey + L"\\";
    ScopedTestKey cleanup{HKEY_LOCAL_MACHINE, subKey};

    std::wstring Sub(const std::wstring& name) const { return subKey + L"\\" + name; }
    bool Exists(const std::wstring& name) const { return RawKeyExists(HKEY_LOCAL_MACHINE, Sub(name), RegistryView::Bits64); }
    void MakeKey(const std::wstring& name) const { CreateRawKey(HKEY_LOCAL_MACHINE, Sub(name), RegistryView::Bits64); }
    void SetString(const std::wstring& key, const std::wstring& name, const std::wstring& text) const {
        SetRawString(HKEY_LOCAL_MACHINE, key.empty() ? subKey : Sub(key), name, text, RegistryView::Bits64);
    }
    void SetRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) const {
        SetRawValue(HKEY_LOCAL_MACHINE, subKey, name, type, data, size, RegistryView::Bits64);
    }
    bool HasValue(const std::wstring& key, const std::wstring& name) const {
        return RawValueExists(HKEY_LOCAL_MACHINE, key.empty() ? subKey : Sub(key), name, RegistryView::Bits64);
    }
    std::optional<RegistryValue> Read(const std::wstring& name) const {
        return ReadRegistryValue(RegistryView::Bits64, path, name);
    }
};

TEST_F(RegistryReadTest, OpenOfMissingKeyFailsAndCreatesNothing) {
    UniqueRegKey key;
    EXPECT_EQ(OpenExistingKey(path, RegistryView::Bits64, KEY_READ, key), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(SubkeysOf(RegistryView::Bits64, path).empty());
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey, RegistryView::Bits64));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey, RegistryView::Bits32));

    MakeKey(L"");
    EXPECT_EQ(OpenExistingKey(path, RegistryView::Bits64, KEY_READ, key), ERROR_SUCCESS);
    // A root name alone opens the root.
    EXPECT_EQ(OpenExistingKey(L"HKLM", RegistryView::Bits64, KEY_READ, key), ERROR_SUCCESS);
}

TEST_F(RegistryReadTest, ViewFlagChoosesTheRegistryViewOnlyUnderWow64) {
    SetString(L"", L"v", L"1");
    EXPECT_TRUE(Read(L"v").has_value());
    // In a 32-bit system the flags are ignored and both views are the same key.
    UniqueRegKey redirected;
    EXPECT_EQ(OpenExistingKey(path, RegistryView::Bits32, KEY_READ, redirected) == ERROR_SUCCESS, !IsWow64());
}

TEST_F(RegistryReadTest, ValuesReadBackWithTheirTypes) {
    const DWORD number = static_cast<DWORD>(-5);
    SetRaw(L"int", REG_DWORD, &number, sizeof number);
    SetString(L"", L"text", L"C:\\Program Files\\x y");
    const BYTE bytes[] = {0, 1, 255};
    SetRaw(L"bytes", REG_BINARY, bytes, sizeof bytes);
    // Text outside the ANSI code page (1252 under Wine's C.UTF-8), in data and in a value's name.
    const std::wstring folder = L"C:\\プログラム\\x.exe";
    SetString(L"", L"folder", folder);
    SetString(L"", L"フォルダ", L"named");

    EXPECT_EQ(DwordOf(Read(L"int")), number);
    EXPECT_EQ(DwordOf(Read(L"text")), std::nullopt);
    EXPECT_EQ(StoredText(Read(L"text")), L"C:\\Program Files\\x y");
    EXPECT_EQ(StoredText(Read(L"int")), std::nullopt);
    const std::optional<RegistryValue> binary = Read(L"bytes");
    ASSERT_TRUE(binary.has_value());
    EXPECT_EQ(binary->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(binary->data, (std::vector<unsigned char>{0, 1, 255}));
    EXPECT_EQ(StoredText(Read(L"folder")), folder);
    EXPECT_EQ(StoredText(Read(L"フォルダ")), L"named");
}

TEST_F(RegistryReadTest, MissingValueSaysWhy) {
    MakeKey(L"");
    LONG error = ERROR_SUCCESS;
    EXPECT_FALSE(ReadRegistryValue(At(path, RegistryView::Bits64), L"missing", &error).has_value());
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(ReadRegistryValue(At(path + L"Gone\\", RegistryView::Bits64), L"", &error).has_value());
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Exists(L"Gone"));
}

TEST_F(RegistryReadTest, ZeroLengthValuesReadAsEmptyTextAndNoNumber) {
    SetRaw(L"sz", REG_SZ, nullptr, 0);
    SetRaw(L"dw", REG_DWORD, nullptr, 0);
    EXPECT_EQ(StoredText(Read(L"sz")), L"");
    EXPECT_EQ(DwordOf(Read(L"dw")), std::nullopt);
}

TEST_F(RegistryReadTest, UnterminatedStringDataIsReadWithinItsSize) {
    const wchar_t text[] = {L'a', L'b', L'c'};
    SetRaw(L"sz", REG_SZ, text, sizeof text);
    const wchar_t early[] = L"first\0second";
    SetRaw(L"early", REG_SZ, early, sizeof early);
    EXPECT_EQ(StoredText(Read(L"sz")), L"abc");
    EXPECT_EQ(StoredText(Read(L"early")), L"first");
}

TEST_F(RegistryReadTest, ExpandableStringIsExpandedBeyond260Characters) {
    const std::wstring longValue(300, L'x');
    ASSERT_TRUE(::SetEnvironmentVariableW(L"QUELLOR_TEST_LONG", longValue.c_str()));
    const std::wstring data = L"%QUELLOR_TEST_LONG%\\end";
    SetRaw(L"exp", REG_EXPAND_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(StoredText(Read(L"exp")), data);
    EXPECT_EQ(ExpandedText(Read(L"exp")), longValue + L"\\end");
    EXPECT_EQ(ReadStringValue(RegistryView::Bits64, path, L"exp"), longValue + L"\\end");
}

TEST_F(RegistryReadTest, SubkeysAreListedAndLooksNeverCreateKeys) {
    MakeKey(L"A\\Inner");
    MakeKey(L"B");
    EXPECT_EQ(Sorted(SubkeysOf(RegistryView::Bits64, path)), (PathList{L"A", L"B"}));
    EXPECT_EQ(SubkeysOf(RegistryView::Bits64, path + L"A\\"), (PathList{L"Inner"}));
    EXPECT_TRUE(SubkeysOf(RegistryView::Bits64, path + L"Missing\\").empty());
    EXPECT_FALSE(RegistryKeyExists(At(path + L"Missing2\\", RegistryView::Bits64)));
    for (const wchar_t* name : {L"Missing", L"Missing2"}) EXPECT_FALSE(Exists(name)) << Utf8(name);
}

TEST_F(RegistryReadTest, LooksStayInTheirView) {
    CreateRawKey(HKEY_LOCAL_MACHINE, Sub(L"Only32"), RegistryView::Bits32);
    MakeKey(L"");
    EXPECT_EQ(SubkeysOf(RegistryView::Bits32, path), PathList{L"Only32"});
    EXPECT_EQ(RegistryKeyExists(At(path + L"Only32\\", RegistryView::Bits64)), !IsWow64());
}

// The removal's key deletion takes the named tree only: siblings and the parent's values stay, a
// path without a root or naming a root itself deletes nothing.
TEST_F(RegistryReadTest, DeleteRegistryKeyRemovesOnlyTheNamedTree) {
    MakeKey(L"Target\\Child\\Grand");
    SetString(L"Target", L"shared", L"child's");
    SetString(L"Target\\Child", L"c", L"1");
    MakeKey(L"Sibling");
    SetString(L"", L"shared", L"parent's");

    EXPECT_EQ(DeleteRegistryKey(At(L"Software\\" + TestKeyName() + L"\\Target\\", NativeView())), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DeleteRegistryKey(At(L"HKLM\\\\Software", NativeView())), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DeleteRegistryKey(At(L"HKEY_LOCAL_MACHINE\\", NativeView())), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Exists(L"Target\\Child\\Grand"));

    EXPECT_EQ(DeleteRegistryKey(At(path + L"Target\\", NativeView())), ERROR_SUCCESS);
    EXPECT_FALSE(Exists(L"Target"));
    EXPECT_TRUE(Exists(L"Sibling"));
    EXPECT_TRUE(HasValue(L"", L"shared"));
    EXPECT_EQ(DeleteRegistryKey(At(path + L"Target\\", NativeView())), ERROR_FILE_NOT_FOUND);
}

// The checking table that every registry suite runs on must itself catch a forgotten view.
TEST(RegistryViewCheck, FailsEveryCallThatReachesARedirectedKeyWithoutItsView) {
    const std::wstring subKey = L"Software\\" + TestKeyName() + L"-check";
    ScopedTestKey cleanup{HKEY_LOCAL_MACHINE, subKey};
    CreateRawKey(HKEY_LOCAL_MACHINE, subKey + L"\\Child", RegistryView::Bits64);
    const System::RegistryApi& api = System::Registry();

    UniqueRegKey key;
    EXPECT_NONFATAL_FAILURE(api.openKey(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ, key.Put()),
                            "RegOpenKeyExW reaches HKEY_LOCAL_MACHINE\\Software");
    ASSERT_EQ(api.openKey(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.Put()),
              ERROR_SUCCESS);
    // The handle does not carry its view on to a relative open.
    UniqueRegKey child;
    EXPECT_NONFATAL_FAILURE(api.openKey(key.Get(), L"Child", 0, KEY_READ, child.Put()), "\\Child without a registry view");
    EXPECT_NONFATAL_FAILURE(api.deleteKey(key.Get(), L"Child"), "RegDeleteKeyW");
    EXPECT_NONFATAL_FAILURE((void)api.deleteKeyEx(HKEY_LOCAL_MACHINE, (subKey + L"\\Child").c_str(), 0, 0),
                            "RegDeleteKeyExW");

    // Keys that WOW64 shares between the views need no flag.
    UniqueRegKey users;
    EXPECT_EQ(api.openKey(HKEY_USERS, L".Default\\Software", 0, KEY_READ, users.Put()), ERROR_SUCCESS);
    EXPECT_TRUE(RegistryViewCheck::IsBelowRedirectedLocation(L"HKEY_USERS\\S-1-5-21-1\\Software\\Classes\\CLSID"));
    EXPECT_TRUE(RegistryViewCheck::IsBelowRedirectedLocation(L"HKEY_USERS\\S-1-5-21-1_Classes"));
    EXPECT_FALSE(RegistryViewCheck::IsBelowRedirectedLocation(L"HKEY_LOCAL_MACHINE\\System\\CurrentControlSet"));
    EXPECT_FALSE(RegistryViewCheck::IsBelowRedirectedLocation(L"HKEY_LOCAL_MACHINE\\SoftwareX"));
}
