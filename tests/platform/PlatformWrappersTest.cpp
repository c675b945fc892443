#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "platform/DllLoader.h"
#include "platform/Environment.h"
#include "platform/UniqueResource.h"
#include "platform/Win32Exception.h"

using namespace Zento::Lithcore;
using Exception::Win32Exception;
using File::DllLoader;
using KernelHandle = Zento::Lithcore::UniqueHandle;

namespace {

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

bool IsOpenHandle(HANDLE handle) {
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

template <typename Call>
void ExpectWin32Exception(Call call, const std::string& text, DWORD code) {
    try {
        call();
        ADD_FAILURE() << "no exception for " << text;
    } catch (const Win32Exception& e) {
        EXPECT_EQ(std::string(e.what()), text);
        EXPECT_EQ(e.ErrorCode(), code);
    }
}

template <typename Call>
void ExpectInvalidArgument(Call call, const std::string& text) {
    try {
        call();
        ADD_FAILURE() << "no exception for " << text;
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), text);
    }
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

TEST(DllLoader, RejectsNullNamesWithTheirTexts) {
    ExpectInvalidArgument([] { DllLoader loader(nullptr); }, "name must be not null");
    DllLoader kernel32(L"kernel32.dll");
    ExpectInvalidArgument([&] { kernel32.GetProc(nullptr); }, "procName must be not null");
}

TEST(DllLoader, FailedLookupsThrowWin32ExceptionWithTheLastError) {
    ExpectWin32Exception([] { DllLoader loader(L"quellor-no-such-library.dll"); }, "LoadLibrary",
                         ERROR_MOD_NOT_FOUND);
    DllLoader kernel32(L"kernel32.dll");
    ExpectWin32Exception([&] { kernel32.GetProc("QuellorNoSuchExport"); }, "GetProcAddress", ERROR_PROC_NOT_FOUND);
}

TEST(DllLoader, FindsFunctionsByNameAndOrdinal) {
    DllLoader kernel32(L"kernel32.dll");
    using GetPidFn = DWORD(WINAPI*)();
    EXPECT_EQ(kernel32.GetProcAs<GetPidFn>("GetCurrentProcessId")(), ::GetCurrentProcessId());

    DllLoader msi(L"msi.dll");
    EXPECT_EQ(msi.GetProc("MsiEnumRelatedProductsW"), msi.GetProcByOrdinal(205));
    EXPECT_EQ(msi.GetProc("MsiGetProductInfoW"), msi.GetProcByOrdinal(70));
}

TEST(DllLoader, FreesTheLibraryOnDestruction) {
    ASSERT_EQ(::GetModuleHandleW(L"msi.dll"), nullptr) << "msi.dll must not be loaded by anything else";
    {
        DllLoader msi(L"msi.dll");
        EXPECT_EQ(::GetModuleHandleW(L"msi.dll"), msi.Module());
    }
    EXPECT_EQ(::GetModuleHandleW(L"msi.dll"), nullptr);
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
