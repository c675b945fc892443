#pragma once
// Move-only owner of one OS resource, in the spirit of WIL's unique_any.
// Each resource kind gets a traits struct naming its type, its empty value and its release call.
#include <windows.h>
#include <shlobj.h>
#include <utility>

namespace Zento::Lithcore {

template <typename Traits>
class UniqueResource {
public:
    using value_type = typename Traits::type;

    UniqueResource() noexcept : value_(Traits::Empty()) {}
    explicit UniqueResource(value_type value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    value_type Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return Traits::IsValid(value_); }
    explicit operator bool() const noexcept { return IsValid(); }

    void Reset(value_type value = Traits::Empty()) noexcept {
        if (Traits::IsValid(value_)) Traits::Release(value_);
        value_ = value;
    }
    value_type Release() noexcept {
        value_type value = value_;
        value_ = Traits::Empty();
        return value;
    }
    // For out-parameters: frees what is held and hands out the slot.
    value_type* Put() noexcept {
        Reset();
        return &value_;
    }

private:
    value_type value_;
};

template <typename T, auto Fn>
struct NullEmptyTraits {
    using type = T;
    static T Empty() noexcept { return nullptr; }
    static bool IsValid(T value) noexcept { return value != nullptr; }
    static void Release(T value) noexcept { Fn(value); }
};

struct RegKeyTraits {
    using type = HKEY;
    static HKEY Empty() noexcept { return nullptr; }
    // Predefined root keys are never closed.
    static bool IsValid(HKEY key) noexcept {
        return key != nullptr && (reinterpret_cast<ULONG_PTR>(key) & 0x80000000u) == 0;
    }
    static void Release(HKEY key) noexcept { ::RegCloseKey(key); }
};

// A kernel handle (process, thread, file, mapping, mutex, snapshot) or a find handle: null and
// INVALID_HANDLE_VALUE both mean "nothing held", since the Win32 calls use either to say they failed.
template <auto Fn>
struct HandleTraits {
    using type = HANDLE;
    static HANDLE Empty() noexcept { return nullptr; }
    static bool IsValid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Release(HANDLE h) noexcept { Fn(h); }
};

using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueFindHandle = UniqueResource<HandleTraits<&::FindClose>>;
using UniqueHandle = UniqueResource<HandleTraits<&::CloseHandle>>;

// Closes a held kernel handle and says whether CloseHandle succeeded (true when nothing was held): a file's
// last write errors can surface only when it is closed.
[[nodiscard]] inline bool CloseKernelHandle(UniqueHandle& handle) noexcept {
    HANDLE raw = handle.Release();
    return !HandleTraits<&::CloseHandle>::IsValid(raw) || ::CloseHandle(raw) != FALSE;
}
using UniqueModule = UniqueResource<NullEmptyTraits<HMODULE, &::FreeLibrary>>;
// A SID from AllocateAndInitializeSid.
using UniqueSid = UniqueResource<NullEmptyTraits<PSID, &::FreeSid>>;
// Memory the system allocated with LocalAlloc for the caller (FormatMessageW, CommandLineToArgvW, ...).
using UniqueLocalMemory = UniqueResource<NullEmptyTraits<HLOCAL, &::LocalFree>>;
using UniqueServiceHandle = UniqueResource<NullEmptyTraits<SC_HANDLE, &::CloseServiceHandle>>;
using UniqueMappedView = UniqueResource<NullEmptyTraits<void*, &::UnmapViewOfFile>>;
using UniqueItemIdList = UniqueResource<NullEmptyTraits<LPITEMIDLIST, &::CoTaskMemFree>>;
using UniqueBstr = UniqueResource<NullEmptyTraits<BSTR, &::SysFreeString>>;

// One reference to a COM interface.
template <typename Interface>
void ReleaseReference(Interface* value) noexcept { value->Release(); }
template <typename Interface>
using UniqueComReference = UniqueResource<NullEmptyTraits<Interface*, &ReleaseReference<Interface>>>;

}  // namespace Zento::Lithcore
