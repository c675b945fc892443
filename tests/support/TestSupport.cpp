#include "tests/support/TestSupport.h"

#include <shellapi.h>

#include <atomic>
#include <thread>

#include "platform/UniqueResource.h"

namespace QuellorTest {

using Zento::Lithcore::UniqueFindHandle;
using Zento::Lithcore::UniqueHandle;

namespace {

void ReadAllInto(HANDLE pipe, std::string& sink) {
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) && read > 0) sink.append(buffer, read);
}

// Reads whatever the pipe holds until `done` is set and the pipe stays empty. Polling instead of a
// blocking read: a grandchild that inherited the pipe's write end must not keep the test waiting.
// `done` is read before the peek, so output written just before the child ended is never left behind.
void DrainUntilDone(HANDLE pipe, std::string& sink, const std::atomic<bool>& done) {
    char buffer[4096];
    for (;;) {
        const bool childEnded = done;
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            ReadAllInto(pipe, sink);  // every writer is gone; take what they left in the pipe
            return;
        }
        if (available == 0) {
            if (childEnded) return;
            ::Sleep(10);
            continue;
        }
        DWORD read = 0;
        if (!::ReadFile(pipe, buffer, sizeof buffer, &read, nullptr) || read == 0) return;
        sink.append(buffer, read);
    }
}

}  // namespace

ChildResult RunChild(const std::wstring& commandLine, const std::wstring& workingFolder, const std::string& input,
                     DWORD timeoutMs, HANDLE token) {
    ChildResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return result;
    UniqueHandle inReadOwner(inRead), inWriteOwner(inWrite);
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return result;
    UniqueHandle outReadOwner(outRead), outWriteOwner(outWrite);
    ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = outWrite;
    PROCESS_INFORMATION pi{};
    std::wstring cmd = commandLine;
    const wchar_t* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();
    BOOL created = token == nullptr ? ::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                                       nullptr, folder, &si, &pi)
                                    : ::CreateProcessAsUserW(token, nullptr, cmd.data(), nullptr, nullptr, TRUE,
                                                             CREATE_NO_WINDOW, nullptr, folder, &si, &pi);
    if (!created) return result;
    result.started = true;
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    inReadOwner.Reset();
    outWriteOwner.Reset();

    std::atomic<bool> childEnded{false};
    std::thread reader([&] { DrainUntilDone(outRead, result.output, childEnded); });
    DWORD written = 0;
    if (!input.empty()) ::WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    inWriteOwner.Reset();  // end of input

    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        ::TerminateProcess(process.Get(), 0xDEAD);
        ::WaitForSingleObject(process.Get(), 5000);
    }
    ::GetExitCodeProcess(process.Get(), &result.exitCode);
    childEnded = true;
    reader.join();
    return result;
}

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L'\\'));
}

ScratchFolder::ScratchFolder(const std::wstring& hint) {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    for (;;) {
        path_ = std::wstring(temp) + hint + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(counter++);
        if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
    std::wstring list = path;
    list.push_back(L'\0');
    list.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    ::SHFileOperationW(&op);
}

std::string ReadFileBytes(const std::wstring& path) {
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return {};
    std::string bytes;
    ReadAllInto(file.Get(), bytes);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    UniqueHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file.IsValid() && !bytes.empty())
        ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::wstring> ListFileNames(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileW(find.Get(), &data));
    return names;
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    return bytes;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

}  // namespace QuellorTest

namespace QuellorTest {
std::wstring HostPathToWindows(const std::string& hostPath) {
    std::wstring path = L"Z:" + Wide(hostPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}
}  // namespace QuellorTest
