#pragma once
// The result of one step whose failure makes the run ask the operator: success, or the Win32 error that
// caused the failure, so that the failure line can name it.
#include <windows.h>

namespace Zento::Lithcore {

class [[nodiscard]] StepResult {
public:
    static StepResult Success() { return StepResult(ERROR_SUCCESS); }
    // A failure always carries a cause: a zero error becomes ERROR_GEN_FAILURE.
    static StepResult Failure(DWORD error) { return StepResult(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error); }

    bool Succeeded() const noexcept { return error_ == ERROR_SUCCESS; }
    DWORD Error() const noexcept { return error_; }

private:
    explicit StepResult(DWORD error) : error_(error) {}
    DWORD error_;
};

}  // namespace Zento::Lithcore
