#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Environment.h"
#include "platform/Win32Exception.h"
#include "registry/RegistryDeletion.h"
#include "registry/RegistryKeys.h"
#include "registry/RegistryStorage.h"
#include "settings/TextConversion.h"
#include "tests/registry_storage/RegistryViewCheck.h"
#include "tests/registry_storage/TestKeys.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;
using Storage::IO::ByteArray;
using Storage::IO::StorageData;
using Storage::IO::StorageType;
using System::RegistryStorageEx;

namespace {

Zento::Lithcore::RegistryKeyAddress At(const std::wstring& path, Zento::Lithcore::RegistryView view) {
    return Zento::Lithcore::RegistryKeyAddress::Parse(path, view);
}

struct SplitCase {
    const wchar_t* path;
    HKEY root;
    const wchar_t* rootName;
    const wchar_t* subKey;
};

PathList Sorted(PathList names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(SplitRegistryPath, MapsRootNamesAndDropsOneTrailingSeparator) {
    const SplitCase cases[] = {
        {L"HKLM\\Software\\", HKEY_LOCAL_MACHINE, L"HKLM", L"Software"},
        {L"HKEY_LOCAL_MACHINE\\Software\\Microsoft", HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE", L"Software\\Microsoft"},
        {L"HKLM", HKEY_LOCAL_MACHINE, L"HKLM", L""},
        {L"HKEY_USERS\\", HKEY_USERS, L"HKEY_USERS", L""},
        {L"HKU\\.Default", HKEY_USERS, L"HKU", L".Default"},
        {L"HKPN", HKEY_PERFORMANCE_NLSTEXT, L"HKPN", L""},
        {L"HKEY_DYN_DATA\\x", HKEY_DYN_DATA, L"HKEY_DYN_DATA", L"x"},
    };
    for (const SplitCase& c : cases) {
        RegistryPathParts parts = SplitRegistryPath(c.path);
        EXPECT_EQ(parts.root, c.root) << Utf8(c.path);
        EXPECT_EQ(parts.rootName, c.rootName) << Utf8(c.path);
        EXPECT_EQ(parts.subKey, c.subKey) << Utf8(c.path);
    }
}

TEST(SplitRegistryPath, RejectsEmptyComponentsAndUnknownOrLowerCaseRoots) {
    for (const wchar_t* path : {L"HKLM\\Software\\\\", L"HKLM\\\\Software", L"\\HKLM\\Software", L"hklm\\Software",
                                L"Hklm", L"HKEY_LOCAL_MACHINE_X\\Software", L"HKLM\\A\\\\B", L"", L"\\"})
        EXPECT_EQ(SplitRegistryPath(path).root, nullptr) << Utf8(path);
}

class RegistryStorageTest : public ::testing::Test {
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
};

TEST_F(RegistryStorageTest, OpenOfMissingKeyStaysClosedAndCreatesNothing) {
    RegistryStorageEx storage(path, RegistryView::Bits64);
    EXPECT_FALSE(storage.IsOpen());
    EXPECT_EQ(storage.LastResult(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey, RegistryView::Bits64));
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, subKey, RegistryView::Bits32));

    MakeKey(L"");
    RegistryStorageEx existing(path, RegistryView::Bits64);
    EXPECT_TRUE(existing.IsOpen());
    EXPECT_EQ(existing.LastResult(), ERROR_SUCCESS);
    EXPECT_EQ(existing.GetPath(), path);
}

TEST_F(RegistryStorageTest, ViewFlagChoosesTheRegistryViewOnlyUnderWow64) {
    SetString(L"", L"v", L"1");
    RegistryStorageEx native(path, RegistryView::Bits64);
    EXPECT_TRUE(native.ValueExists(L"v"));
    // In a 32-bit system the flags are ignored and both views are the same key.
    RegistryStorageEx redirected(path, RegistryView::Bits32);
    EXPECT_EQ(redirected.IsOpen(), !IsWow64());
}

TEST_F(RegistryStorageTest, RootNameAloneOpensTheRootAndCloseIsIdempotent) {
    RegistryStorageEx root(L"HKLM", RegistryView::Bits64);
    EXPECT_TRUE(root.IsOpen());
    EXPECT_TRUE(root.KeyExists(L"Software"));
    EXPECT_TRUE(root.Close());
    EXPECT_FALSE(root.IsOpen());
    EXPECT_TRUE(root.Close());
}

TEST_F(RegistryStorageTest, ClosedStorageReportsFailureAndThrowsOnRead) {
    RegistryStorageEx storage(L"hklm\\Software", RegistryView::Bits64);
    EXPECT_FALSE(storage.IsOpen());
    EXPECT_EQ(storage.LastResult(), 0);
    EXPECT_FALSE(storage.ValueExists(L""));
    EXPECT_FALSE(storage.KeyExists(L""));
    EXPECT_TRUE(storage.EnumKeys(L"").empty());
    EXPECT_TRUE(storage.EnumValues(L"Microsoft").empty());
    EXPECT_TRUE(storage.Close());

    ::SetLastError(77);
    try {
        storage.Read(L"x", StorageData(1));
        FAIL() << "no exception";
    } catch (const Exception::Win32Exception& e) {
        EXPECT_EQ(std::string(e.what()), ToAnsi(L"レジストリキーが開かれていません。"));
        EXPECT_EQ(e.ErrorCode(), 77u);
    }
}

TEST_F(RegistryStorageTest, ValuesReadBackWithTheirTypes) {
    const DWORD number = static_cast<DWORD>(-5);
    SetRaw(L"int", REG_DWORD, &number, sizeof number);
    SetString(L"", L"text", L"C:\\Program Files\\x y");
    const wchar_t multi[] = L"one\0two\0";
    SetRaw(L"multi", REG_MULTI_SZ, multi, sizeof multi);
    const wchar_t emptyMulti[] = L"";
    SetRaw(L"none", REG_MULTI_SZ, emptyMulti, sizeof emptyMulti);
    const BYTE bytes[] = {0, 1, 255};
    SetRaw(L"bytes", REG_BINARY, bytes, sizeof bytes);
    // Text outside the ANSI code page (1252 under Wine's C.UTF-8), in data and in a value's name.
    const std::wstring folder = L"C:\\プログラム\\x.exe";
    SetString(L"", L"folder", folder);
    SetString(L"", L"フォルダ", L"named");
    const wchar_t folders[] = L"C:\\プログラム\0D:\\データ\0";
    SetRaw(L"folders", REG_MULTI_SZ, folders, sizeof folders);
    RegistryStorageEx storage(path, RegistryView::Bits64);

    StorageData integer = storage.Read(L"int", StorageData());
    EXPECT_EQ(integer.GetType(), StorageType::Integer);
    EXPECT_EQ(integer.ToString(), L"-5");
    EXPECT_EQ(storage.Read(L"text", StorageData()).GetWString(), L"C:\\Program Files\\x y");
    StorageData strings = storage.Read(L"multi", StorageData());
    EXPECT_EQ(strings.GetType(), StorageType::MultiString);
    EXPECT_EQ(strings.GetStrings(), (PathList{L"one", L"two"}));
    EXPECT_EQ(strings.ToString(), L"one\ntwo\n");
    EXPECT_TRUE(storage.Read(L"none", StorageData()).GetStrings().empty());
    StorageData binary = storage.Read(L"bytes", StorageData());
    EXPECT_EQ(binary.GetType(), StorageType::Bytes);
    EXPECT_EQ(binary.GetBytes(), (ByteArray{0, 1, 255}));
    EXPECT_EQ(storage.Read(L"folder", StorageData()).GetWString(), folder);
    EXPECT_EQ(storage.Read(L"フォルダ", StorageData()).ToString(), L"named");
    EXPECT_EQ(storage.Read(L"folders", StorageData()).GetStrings(), (PathList{L"C:\\プログラム", L"D:\\データ"}));
}

TEST_F(RegistryStorageTest, ReadOfMissingValueReturnsTheDefaultUnchanged) {
    MakeKey(L"");
    RegistryStorageEx storage(path, RegistryView::Bits64);
    StorageData fallback = storage.Read(L"missing", StorageData(7));
    EXPECT_EQ(fallback.GetType(), StorageType::Integer);
    EXPECT_EQ(fallback.ToString(), L"7");
    EXPECT_EQ(storage.Read(L"missing", StorageData()).GetType(), StorageType::Empty);
    EXPECT_EQ(storage.LastResult(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStorageTest, UnsupportedTypeThrowsOnlyWithoutAFallback) {
    unsigned long long quad = 5;
    SetRaw(L"q", REG_QWORD, &quad, sizeof quad);
    RegistryStorageEx storage(path, RegistryView::Bits64);
    try {
        storage.Read(L"q", StorageData());
        FAIL() << "no exception";
    } catch (const Exception::Win32Exception& e) {
        EXPECT_EQ(std::string(e.what()), ToAnsi(L"RegistryStorageEx: ライブラリがこの値の方に対応してません。11\n"));
    }
    EXPECT_EQ(storage.Read(L"q", StorageData(std::wstring(L"fallback"))).GetWString(), L"fallback");
}

TEST_F(RegistryStorageTest, ZeroLengthValuesReadAsEmptyTextAndZero) {
    SetRaw(L"sz", REG_SZ, nullptr, 0);
    SetRaw(L"dw", REG_DWORD, nullptr, 0);
    RegistryStorageEx storage(path, RegistryView::Bits64);
    StorageData text = storage.Read(L"sz", StorageData(1));
    EXPECT_EQ(text.GetType(), StorageType::WString);
    EXPECT_EQ(text.GetWString(), L"");
    StorageData number = storage.Read(L"dw", StorageData());
    EXPECT_EQ(number.GetType(), StorageType::Integer);
    EXPECT_EQ(number.ToString(), L"0");
}

TEST_F(RegistryStorageTest, UnterminatedStringDataIsReadWithinItsSize) {
    const wchar_t text[] = {L'a', L'b', L'c'};
    SetRaw(L"sz", REG_SZ, text, sizeof text);
    const wchar_t multi[] = {L'o', L'n', L'e', 0, L't', L'w', L'o'};
    SetRaw(L"multi", REG_MULTI_SZ, multi, sizeof multi);
    const wchar_t wellFormed[] = L"first\0second\0\0ignored\0";
    SetRaw(L"formed", REG_MULTI_SZ, wellFormed, sizeof wellFormed);

    RegistryStorageEx storage(path, RegistryView::Bits64);
    EXPECT_EQ(storage.Read(L"sz", StorageData()).GetWString(), L"abc");
    EXPECT_EQ(storage.Read(L"multi", StorageData()).GetStrings(), (PathList{L"one", L"two"}));
    EXPECT_EQ(storage.Read(L"formed", StorageData()).GetStrings(), (PathList{L"first", L"second"}));
}

TEST_F(RegistryStorageTest, ExpandableStringIsExpandedBeyond260Characters) {
    const std::wstring longValue(300, L'x');
    ASSERT_TRUE(::SetEnvironmentVariableW(L"QUELLOR_TEST_LONG", longValue.c_str()));
    const std::wstring data = L"%QUELLOR_TEST_LONG%\\end";
    SetRaw(L"exp", REG_EXPAND_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegistryStorageEx storage(path, RegistryView::Bits64);
    EXPECT_EQ(storage.Read(L"exp", StorageData()).GetWString(), longValue + L"\\end");
}

TEST_F(RegistryStorageTest, NoneTypedValueCountsAsAbsent) {
    const BYTE data[] = {1, 2};
    SetRaw(L"none", REG_NONE, data, sizeof data);
    SetString(L"", L"text", L"1");
    RegistryStorageEx storage(path, RegistryView::Bits64);
    EXPECT_FALSE(storage.ValueExists(L"none"));
    EXPECT_TRUE(storage.ValueExists(L"text"));
    EXPECT_FALSE(storage.ValueExists(L"missing"));
}

TEST_F(RegistryStorageTest, EnumerationListsNamesAndSubPathLooksNeverCreateKeys) {
    MakeKey(L"A\\Inner");
    MakeKey(L"B");
    SetString(L"", L"v1", L"1");
    SetString(L"", L"v2", L"2");
    SetString(L"A", L"a1", L"1");
    RegistryStorageEx storage(path, RegistryView::Bits64);

    EXPECT_EQ(Sorted(storage.EnumKeys(L"")), (PathList{L"A", L"B"}));
    EXPECT_EQ(Sorted(storage.EnumValues(L"")), (PathList{L"v1", L"v2"}));
    EXPECT_EQ(storage.EnumKeys(L"A"), (PathList{L"Inner"}));
    EXPECT_EQ(storage.EnumValues(L"A"), (PathList{L"a1"}));
    EXPECT_TRUE(storage.KeyExists(L"A\\Inner"));
    EXPECT_TRUE(storage.KeyExists(L""));

    EXPECT_TRUE(storage.EnumKeys(L"Missing").empty());
    EXPECT_TRUE(storage.EnumValues(L"Missing2").empty());
    EXPECT_FALSE(storage.KeyExists(L"Missing3"));
    for (const wchar_t* name : {L"Missing", L"Missing2", L"Missing3"}) EXPECT_FALSE(Exists(name)) << Utf8(name);
}

TEST_F(RegistryStorageTest, SubPathLooksStayInTheStoragesView) {
    CreateRawKey(HKEY_LOCAL_MACHINE, Sub(L"Only32"), RegistryView::Bits32);
    MakeKey(L"");
    RegistryStorageEx view32(path, RegistryView::Bits32);
    ASSERT_TRUE(view32.IsOpen());
    EXPECT_TRUE(view32.KeyExists(L"Only32"));
    EXPECT_TRUE(view32.EnumKeys(L"Only32").empty());
    EXPECT_EQ(view32.LastResult(), ERROR_SUCCESS);

    RegistryStorageEx view64(path, RegistryView::Bits64);
    EXPECT_EQ(view64.KeyExists(L"Only32"), !IsWow64());
}

// The removal's key deletion takes the named tree only: siblings and the parent's values stay, a
// path without a root or naming a root itself deletes nothing.
TEST_F(RegistryStorageTest, DeleteRegistryKeyRemovesOnlyTheNamedTree) {
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
