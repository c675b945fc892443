#include "tests/processes/ProcessTestHelpers.h"

#include <gtest/gtest.h>

#include <sstream>

namespace QuellorTest {

std::wstring HelperExePath() { return ExeFolder() + L"\\quellor_process_helper.exe"; }
std::wstring ProbeDllPath() { return ExeFolder() + L"\\quellor_unregister_probe.dll"; }

std::wstring CopyHelperAs(const std::wstring& folder, const std::wstring& fileName) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + fileName;
    EXPECT_TRUE(::CopyFileW(HelperExePath().c_str(), path.c_str(), FALSE)) << Utf8(path);
    return path;
}

RunningHelper::RunningHelper(const std::wstring& exePath) {
    std::wstring commandLine = L"\"" + exePath + L"\" --sleep";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    // Detached: a console of its own would start a Wine console host that can outlive the helper
    // and keep the test runner's output pipe open.
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                          &startup, &created)) {
        ADD_FAILURE() << "cannot start " << Utf8(exePath);
        return;
    }
    process_.Reset(created.hProcess);
    Zento::Lithcore::UniqueHandle thread(created.hThread);
    id_ = created.dwProcessId;
}

RunningHelper::~RunningHelper() {
    if (!process_.IsValid()) return;
    ::TerminateProcess(process_.Get(), 0);
    ::WaitForSingleObject(process_.Get(), 10000);
}

bool RunningHelper::IsRunning() const { return process_.IsValid() && !WaitForEnd(0); }

bool RunningHelper::WaitForEnd(DWORD timeoutMs) const {
    return ::WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const std::wstring& name, const std::wstring& value)
    : name_(name) {
    ::SetEnvironmentVariableW(name.c_str(), value.c_str());
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { ::SetEnvironmentVariableW(name_.c_str(), nullptr); }

std::wstring UniqueName(const std::wstring& prefix) {
    static int counter = 0;
    return prefix + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    std::istringstream text(ReadFileBytes(path));
    std::vector<std::wstring> lines;
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(Wide(line));
    }
    return lines;
}

}  // namespace QuellorTest
