#pragma once
// Owner of one kernel handle (process, thread, file, mapping, mutex, snapshot).
// Both null and INVALID_HANDLE_VALUE count as "nothing held" and are never closed.
#include <windows.h>

namespace Zento::Lithcore::Handle {

class Handle {
public:
    Handle() noexcept = default;
    explicit Handle(HANDLE handle) noexcept : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) Set(other.Release());
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    virtual ~Handle() { Close(); }

    HANDLE Get() const noexcept { return handle_; }
    bool IsValid() const noexcept { return IsOwnable(handle_); }
    // Closes what is held and takes the new handle.
    void Set(HANDLE handle) noexcept {
        Close();
        handle_ = handle;
    }
    HANDLE Release() noexcept {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    // Returns whether a held handle was closed successfully (true when nothing was held).
    bool Close() noexcept {
        bool ok = true;
        if (IsOwnable(handle_)) ok = ::CloseHandle(handle_) != FALSE;
        handle_ = nullptr;
        return ok;
    }

    static bool IsOwnable(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace Zento::Lithcore::Handle
