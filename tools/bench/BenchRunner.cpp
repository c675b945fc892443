// bench-runner.exe: times one program run from inside Windows (or Wine) for tools/bench.sh.
//
//   bench-runner collect QUELLOR.EXE   runs the removal tool in its own folder, reads its output until it asks
//                                      for confirmation, answers N; prints the time to that question and the
//                                      peak working set the tool reached by then
//   bench-runner remove QUELLOR.EXE    the same up to that question, then answers Y to it and to all that
//                                      follow: the removal runs to its end. Prints the time the tool's end
//                                      check took and the peak working set by then, as the benchmark's build
//                                      of the tool writes them, and the time to the question
//   bench-runner run PROGRAM [ARGS]    runs a program to its end; prints the time
//
// Output, one line: "seconds=<s> peak_bytes=<n> exit=<code>". Exit code 0 when the run went as expected.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kRunLimitMs = 30 * 60 * 1000;  // a collection on the heaviest machine ends well before
constexpr DWORD kExitLimitMs = 60 * 1000;

// The confirmation question and the prompt that follows it, as the tool writes them to a pipe (UTF-8).
constexpr char kConfirmation[] =
    "\xE3\x83\xAC\xE3\x82\xB8\xE3\x82\xB9\xE3\x83\x88\xE3\x83\xAA\xE5\x89\x8A\xE9\x99\xA4\xE3\x80\x81"  // レジストリ削除、
    "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE5\x89\x8A\xE9\x99\xA4\xE3\x82\x92";            // ファイル削除を
constexpr char kPrompt[] = "Y\xE3\x81\x8BN\xE3\x82\x92";  // YかNを

class Owned {
public:
    explicit Owned(HANDLE handle = nullptr) : handle_(handle) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Close(); }
    HANDLE Get() const { return handle_; }
    HANDLE* Put() {
        Close();
        return &handle_;
    }
    void Close() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

std::wstring FolderOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? L"." : path.substr(0, cut);
}

// The tool's output: read on its own thread so the tool never blocks on a full pipe.
struct OutputReader {
    HANDLE pipe = nullptr;
    HANDLE promptSeen = nullptr;
    std::string text;
    CRITICAL_SECTION lock;

    static DWORD WINAPI Run(void* self) {
        auto* reader = static_cast<OutputReader*>(self);
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(reader->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            ::EnterCriticalSection(&reader->lock);
            reader->text.append(buffer, got);
            size_t question = reader->text.find(kConfirmation);
            bool asked = question != std::string::npos && reader->text.find(kPrompt, question) != std::string::npos;
            ::LeaveCriticalSection(&reader->lock);
            if (asked) ::SetEvent(reader->promptSeen);
        }
        return 0;
    }
};

bool Start(const std::wstring& program, const std::wstring& arguments, HANDLE input, HANDLE output,
           PROCESS_INFORMATION& process) {
    std::wstring commandLine = Quoted(program) + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::wstring folder = FolderOf(program);
    return ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                            &startup, &process) != FALSE;
}

DWORD ExitCodeOf(HANDLE process) {
    DWORD code = 0;
    if (!::GetExitCodeProcess(process, &code)) code = 0xFFFFFFFF;
    return code;
}

// "y" for the confirmation, for every question the removal may ask after it, and the final Enter.
constexpr char kYesToAll[] = "y\r\ny\r\ny\r\ny\r\ny\r\ny\r\ny\r\ny\r\ny\r\ny\r\ny\r\ny\r\n";

std::string FieldOf(const std::string& text, const char* name) {
    const size_t at = text.rfind(name);
    if (at == std::string::npos) return {};
    const size_t from = at + std::char_traits<char>::length(name);
    return text.substr(from, text.find_first_of(" \r\n", from) - from);
}

int Collect(const std::wstring& quellor, bool remove) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    Owned inRead, inWrite, outRead, outWrite;
    if (!::CreatePipe(inRead.Put(), inWrite.Put(), &inheritable, 0) ||
        !::CreatePipe(outRead.Put(), outWrite.Put(), &inheritable, 0)) {
        std::printf("error=pipes\n");
        return 2;
    }
    ::SetHandleInformation(inWrite.Get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);

    OutputReader reader;
    ::InitializeCriticalSection(&reader.lock);
    Owned promptSeen(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    reader.pipe = outRead.Get();
    reader.promptSeen = promptSeen.Get();

    LARGE_INTEGER started, asked;
    ::QueryPerformanceCounter(&started);
    PROCESS_INFORMATION info{};
    if (!Start(quellor, L"", inRead.Get(), outWrite.Get(), info)) {
        std::printf("error=start %lu\n", ::GetLastError());
        return 2;
    }
    Owned process(info.hProcess), thread(info.hThread);
    inRead.Close();
    outWrite.Close();  // the tool now holds the only write end: its end is the reader's end
    Owned readerThread(::CreateThread(nullptr, 0, &OutputReader::Run, &reader, 0, nullptr));

    HANDLE waits[] = {promptSeen.Get(), process.Get()};
    DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, kRunLimitMs);
    ::QueryPerformanceCounter(&asked);
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    bool measured = woke == WAIT_OBJECT_0 && ::GetProcessMemoryInfo(process.Get(), &memory, sizeof memory);

    DWORD written = 0;
    if (remove)
        ::WriteFile(inWrite.Get(), kYesToAll, sizeof kYesToAll - 1, &written, nullptr);
    else
        ::WriteFile(inWrite.Get(), "n\r\n", 3, &written, nullptr);
    inWrite.Close();
    if (::WaitForSingleObject(process.Get(), remove ? kRunLimitMs : kExitLimitMs) != WAIT_OBJECT_0)
        ::TerminateProcess(process.Get(), 1);
    ::WaitForSingleObject(readerThread.Get(), kExitLimitMs);
    DWORD exitCode = ExitCodeOf(process.Get());
    if (remove) {
        const std::string seconds = FieldOf(reader.text, "end_check_seconds=");
        std::printf("seconds=%s peak_bytes=%s collect_seconds=%.3f exit=%ld\n", seconds.empty() ? "none" : seconds.c_str(),
                    FieldOf(reader.text, "end_peak_bytes=").c_str(), Seconds(started, asked), static_cast<long>(exitCode));
        if (!measured || seconds.empty()) {
            std::printf("error=the removal did not reach its end check\n%s\n", reader.text.c_str());
            return 1;
        }
        return 0;
    }
    std::printf("seconds=%.3f peak_bytes=%lu exit=%ld\n", Seconds(started, asked),
                static_cast<unsigned long>(memory.PeakWorkingSetSize), static_cast<long>(exitCode));
    if (!measured) {
        std::printf("error=the tool never asked for confirmation\n%s\n", reader.text.c_str());
        return 1;
    }
    return 0;
}

int RunToEnd(const std::wstring& program, const std::wstring& arguments) {
    Owned nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
    ::SetHandleInformation(nul.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    LARGE_INTEGER started, ended;
    ::QueryPerformanceCounter(&started);
    PROCESS_INFORMATION info{};
    if (!Start(program, arguments, nul.Get(), nul.Get(), info)) {
        std::printf("error=start %lu\n", ::GetLastError());
        return 2;
    }
    Owned process(info.hProcess), thread(info.hThread);
    bool ended_in_time = ::WaitForSingleObject(process.Get(), kRunLimitMs) == WAIT_OBJECT_0;
    ::QueryPerformanceCounter(&ended);
    if (!ended_in_time) ::TerminateProcess(process.Get(), 1);
    DWORD exitCode = ExitCodeOf(process.Get());
    std::printf("seconds=%.3f peak_bytes=0 exit=%ld\n", Seconds(started, ended), static_cast<long>(exitCode));
    return ended_in_time && exitCode == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"collect" && argc == 3) return Collect(argv[2], false);
    if (mode == L"remove" && argc == 3) return Collect(argv[2], true);
    if (mode == L"run" && argc >= 3) {
        std::wstring arguments;
        for (int i = 3; i < argc; ++i) arguments += (arguments.empty() ? L"" : L" ") + Quoted(argv[i]);
        return RunToEnd(argv[2], arguments);
    }
    std::fprintf(stderr, "usage: bench-runner collect|remove QUELLOR.EXE | run PROGRAM [ARGS]\n");
    return 2;
}
