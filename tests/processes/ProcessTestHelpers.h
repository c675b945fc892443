#pragma once
// Shared by the process tests: the helper programs, processes started under chosen names,
// scoped environment variables and unique object names.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/UniqueResource.h"
#include "tests/support/TestSupport.h"

namespace QuellorTest {

std::wstring HelperExePath();
std::wstring ProbeDllPath();

// Copies the helper program into the folder under the given file name; returns the full path.
std::wstring CopyHelperAs(const std::wstring& folder, const std::wstring& fileName);

// A helper process left running ("--sleep"); terminated and awaited on destruction.
class RunningHelper {
public:
    explicit RunningHelper(const std::wstring& exePath);
    ~RunningHelper();
    RunningHelper(const RunningHelper&) = delete;
    RunningHelper& operator=(const RunningHelper&) = delete;

    DWORD Id() const { return id_; }
    bool IsRunning() const;
    // Waits up to timeoutMs for the process to end.
    bool WaitForEnd(DWORD timeoutMs) const;

private:
    Zento::Lithcore::UniqueHandle process_;
    DWORD id_ = 0;
};

class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(const std::wstring& name, const std::wstring& value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::wstring name_;
};

// prefix + this process's id + a running number: names no other test run uses.
std::wstring UniqueName(const std::wstring& prefix);

// The lines of a UTF-8 text file, without line ends.
std::vector<std::wstring> ReadLines(const std::wstring& path);

}  // namespace QuellorTest
