#pragma once
// Helpers shared by the test suites: running a child process with scripted input,
// scratch folders, and whole-file bytes.
#include <windows.h>

#include <string>
#include <vector>

namespace QuellorTest {

struct ChildResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;     // the full Windows exit code (0xFFFFFFFF for -1)
    std::string output;     // everything written to standard output and standard error
};

// Runs `commandLine` in `workingFolder` (empty: the current one), feeding `input` to its standard
// input and closing it afterwards (so the child sees end of input). Kills the child after `timeoutMs`.
// With a token, the child runs as that token's user (CreateProcessAsUserW).
ChildResult RunChild(const std::wstring& commandLine, const std::wstring& workingFolder, const std::string& input,
                     DWORD timeoutMs = 60000, HANDLE token = nullptr);

// Folder of the running test exe, without a trailing backslash.
std::wstring ExeFolder();

// A fresh empty folder below %TEMP%, deleted with everything in it on destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::wstring& hint = L"quellor-test");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);
// Every file name (not folders) directly in the folder.
std::vector<std::wstring> ListFileNames(const std::wstring& folder);
// Deletes a folder tree (test cleanup only).
void RemoveTree(const std::wstring& path);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

}  // namespace QuellorTest

namespace QuellorTest {
// The Windows form (Z:\...) of a host path, for paths baked in at build time.
std::wstring HostPathToWindows(const std::string& hostPath);
}  // namespace QuellorTest
