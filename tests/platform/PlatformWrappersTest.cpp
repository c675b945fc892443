#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>

#include "platform/DllSearchPath.h"
#include "platform/Environment.h"
#include "platform/SystemLibrary.h"
#include "platform/UniqueResource.h"

using namespace Zento::Lithcore;
using KernelHandle = Zento::Lithcore::UniqueHandle;

namespace {

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
    return text;
}

}  // namespace

TEST(ExpandEnvironment, ExpandsAtEveryLengthAroundTheFirstBuffer) {
    for (size_t length : {1u, 258u, 259u, 260u, 261u, 1000u, 5000u}) {
        const std::wstring value(length, L'v');
        ASSERT_TRUE(::SetEnvironmentVariableW(L"QUELLOR_TEST_VALUE", value.c_str()));
        EXPECT_EQ(ExpandEnvironment(L"%QUELLOR_TEST_VALUE%"), value) << length;
        EXPECT_EQ(ExpandEnvironment(L"a\\%QUELLOR_TEST_VALUE%\\b"), L"a\\" + value + L"\\b") << length;
    }
}

TEST(ExpandEnvironment, LeavesTextWithoutKnownReferencesAlone) {
    ::SetEnvironmentVariableW(L"QUELLOR_TEST_UNSET", nullptr);
    EXPECT_EQ(ExpandEnvironment(L"C:\\plain\\path"), L"C:\\plain\\path");
    EXPECT_EQ(ExpandEnvironment(L"%QUELLOR_TEST_UNSET%\\x"), L"%QUELLOR_TEST_UNSET%\\x");
    EXPECT_EQ(ExpandEnvironment(L""), L"");
}

TEST(LoadSystemLibrary, LoadsFromTheSystemFolderAndLooksUpByNameAndOrdinal) {
    ASSERT_EQ(::GetModuleHandleW(L"msi.dll"), nullptr) << "msi.dll must not be loaded by anything else";
    {
        DWORD error = 1;
        UniqueModule msi = LoadSystemLibrary(L"msi.dll", error);
        ASSERT_TRUE(msi.IsValid()) << error;
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
        wchar_t path[MAX_PATH] = {};
        ASSERT_NE(::GetModuleFileNameW(msi.Get(), path, MAX_PATH), 0u);
        EXPECT_EQ(Lower(path), Lower(SystemFolderFile(L"msi.dll")));

        using AnyFn = UINT(WINAPI*)();
        EXPECT_NE(ProcAddress<AnyFn>(msi.Get(), "MsiEnumRelatedProductsW"), nullptr);
        EXPECT_EQ(ProcAddress<AnyFn>(msi.Get(), "MsiEnumRelatedProductsW"), ProcAddress<AnyFn>(msi.Get(), WORD{205}));
        EXPECT_EQ(ProcAddress<AnyFn>(msi.Get(), "MsiGetProductInfoW"), ProcAddress<AnyFn>(msi.Get(), WORD{70}));
        EXPECT_EQ(ProcAddress<AnyFn>(msi.Get(), "QuellorNoSuchExport"), nullptr);
        EXPECT_EQ(ProcAddress<AnyFn>(nullptr, "GetCurrentProcessId"), nullptr) << "null must not mean the program";
    }
    EXPECT_EQ(::GetModuleHandleW(L"msi.dll"), nullptr);
}

TEST(LoadSystemLibrary, RefusesMissingLibrariesAndNamesWithAFolder) {
    DWORD error = ERROR_SUCCESS;
    EXPECT_FALSE(LoadSystemLibrary(L"quellor-no-such-library.dll", error).IsValid());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    for (const wchar_t* name : {L".\\msi.dll", L"C:\\windows\\system32\\msi.dll", L"sub/msi.dll", L""}) {
        error = ERROR_SUCCESS;
        EXPECT_FALSE(LoadSystemLibrary(name, error).IsValid()) << std::wstring(name);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << std::wstring(name);
    }
}

namespace {

struct LoadCall {
    std::wstring fileName;
    DWORD flags;
};
std::vector<LoadCall> g_loadCalls;

// A system from before the search flags: it refuses them as an invalid parameter.
HMODULE WINAPI LoadWithoutSearchFlags(LPCWSTR fileName, HANDLE, DWORD flags) {
    g_loadCalls.push_back({fileName, flags});
    if ((flags & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return ::LoadLibraryExW(fileName, nullptr, flags);
}

}  // namespace

TEST(LoadSystemLibrary, WithoutTheSearchFlagLoadsByTheFullSystemPath) {
    g_loadCalls.clear();
    DWORD error = 1;
    UniqueModule kernel32 = LoadSystemLibraryWith(&LoadWithoutSearchFlags, L"kernel32.dll", error);
    EXPECT_TRUE(kernel32.IsValid());
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(g_loadCalls.size(), 2u);
    EXPECT_EQ(g_loadCalls[0].fileName, L"kernel32.dll");
    EXPECT_EQ(g_loadCalls[0].flags, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_EQ(g_loadCalls[1].fileName, SystemFolderFile(L"kernel32.dll"));
    EXPECT_EQ(g_loadCalls[1].flags, static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));
}

namespace {

std::vector<DWORD> g_defaultDirectoryFlags;
std::vector<std::wstring> g_dllDirectories;

BOOL WINAPI RecordDefaultDllDirectories(DWORD flags) {
    g_defaultDirectoryFlags.push_back(flags);
    return TRUE;
}

BOOL WINAPI RecordDllDirectory(LPCWSTR path) {
    g_dllDirectories.push_back(path == nullptr ? L"<null>" : path);
    return TRUE;
}

}  // namespace

TEST(RestrictDllSearch, UsesTheSystemFolderOnlyOrElseDropsTheCurrentFolder) {
    g_defaultDirectoryFlags.clear();
    g_dllDirectories.clear();
    RestrictDllSearchWith(&RecordDefaultDllDirectories, &RecordDllDirectory);
    EXPECT_EQ(g_defaultDirectoryFlags, std::vector<DWORD>{LOAD_LIBRARY_SEARCH_SYSTEM32});
    EXPECT_TRUE(g_dllDirectories.empty());

    g_defaultDirectoryFlags.clear();
    RestrictDllSearchWith(nullptr, &RecordDllDirectory);
    EXPECT_TRUE(g_defaultDirectoryFlags.empty());
    EXPECT_EQ(g_dllDirectories, std::vector<std::wstring>{L""});
}

TEST(UniqueHandle, ClosesWhatItOwnsOnDestructionAndOnReset) {
    HANDLE first = NewEvent();
    HANDLE second = NewEvent();
    {
        KernelHandle owner(first);
        EXPECT_TRUE(owner.IsValid());
        owner.Reset(second);
        EXPECT_FALSE(IsOpenHandle(first));
        EXPECT_TRUE(IsOpenHandle(second));
    }
    EXPECT_FALSE(IsOpenHandle(second));
}

TEST(UniqueHandle, MoveAndReleaseHandOverOwnership) {
    HANDLE event = NewEvent();
    KernelHandle moved;
    {
        KernelHandle original(event);
        moved = std::move(original);
        EXPECT_EQ(original.Get(), nullptr);
    }
    EXPECT_TRUE(IsOpenHandle(event));
    EXPECT_EQ(moved.Release(), event);
    EXPECT_FALSE(moved.IsValid());
    EXPECT_TRUE(IsOpenHandle(event));
    KernelHandle last(event);
    EXPECT_TRUE(CloseKernelHandle(last));
    EXPECT_FALSE(IsOpenHandle(event));
}
