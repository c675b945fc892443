#pragma once
// A loaded dynamic library; functions are looked up by name or, for msi.dll, by ordinal.
#include <windows.h>

namespace Zento::Lithcore::File {

class DllLoader {
public:
    // Throws std::invalid_argument for a null name and Win32Exception("LoadLibrary") when loading fails.
    explicit DllLoader(const wchar_t* name);
    DllLoader(const DllLoader&) = delete;
    DllLoader& operator=(const DllLoader&) = delete;
    virtual ~DllLoader();

    // Never null: throws std::invalid_argument for a null name, Win32Exception("GetProcAddress") on failure.
    FARPROC GetProc(const char* procName) const;
    FARPROC GetProcByOrdinal(WORD ordinal) const;

    template <typename Fn>
    Fn GetProcAs(const char* procName) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProc(procName)));
    }
    template <typename Fn>
    Fn GetProcAs(WORD ordinal) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcByOrdinal(ordinal)));
    }

    HMODULE Module() const noexcept { return module_; }

private:
    HMODULE module_;
};

}  // namespace Zento::Lithcore::File
