#pragma once
// The exception for failed Windows calls: a narrow text (ANSI or a named code page) and a Win32 error code.
#include <windows.h>
#include <exception>
#include <string>

namespace Zento::Lithcore::Exception {

class Win32Exception : public std::exception {
public:
    // The error code is taken from GetLastError at the moment of construction.
    explicit Win32Exception(std::string text) : text_(std::move(text)), code_(::GetLastError()) {}
    Win32Exception(std::string text, DWORD code) : text_(std::move(text)), code_(code) {}
    ~Win32Exception() override = default;

    const char* what() const noexcept override { return text_.c_str(); }
    DWORD ErrorCode() const noexcept { return code_; }

private:
    std::string text_;
    DWORD code_;
};

}  // namespace Zento::Lithcore::Exception
