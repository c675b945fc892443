// VitraCare / VitraSetting / VitraResident: the stand-in product's resident components.
// Each publishes a hidden top-level window in its slot of the shared 16-byte status block,
// holds its named mutexes, and on its stop message releases them, clears its slot and ends.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueResource.h"
#include "standin/CommandLine.h"

using Zento::Lithcore::UniqueMappedView;
using Zento::Lithcore::UniqueHandle;

namespace {

constexpr UINT kCareStopMessage = WM_USER + 1;
constexpr WPARAM kResidentStopCommand = 40011;
constexpr DWORD kStatusOffset = 12;

#if STANDIN_ROLE == 0
constexpr DWORD kSlotOffset = 0;
constexpr wchar_t kDefaultMutex[] = L"Global\\Zentoral_Vitra_Care";
constexpr wchar_t kWindowClass[] = L"ZentoralVitraCare";
#elif STANDIN_ROLE == 1
constexpr DWORD kSlotOffset = 4;
constexpr wchar_t kDefaultMutex[] = L"Zentoral_Vitra_Setting";
constexpr wchar_t kWindowClass[] = L"ZentoralVitraSetting";
#elif STANDIN_ROLE == 2
constexpr DWORD kSlotOffset = 8;
constexpr wchar_t kDefaultMutex[] = L"Zentoral_Vitra_Regident";
constexpr wchar_t kWindowClass[] = L"ZentoralVitraResident";
#else
#error "STANDIN_ROLE must be 0 (care), 1 (setting) or 2 (resident)"
#endif

enum ExitCode { kStopped = 0, kBadArguments = 2, kNoStatusBlock = 3, kNoWindow = 4, kNoMutex = 5 };

struct Options {
    std::wstring mapping = L"VITRA_CARE_FILEMAPPING";
    std::optional<DWORD> status;
    std::vector<std::wstring> mutexes;
    bool ignoreStop = false;
    std::wstring readyEvent;
    std::wstring logPath;
};

std::optional<Options> ParseOptions(const std::vector<std::wstring>& arguments) {
    Options options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& name = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (name == L"--ignore-stop") {
            options.ignoreStop = true;
        } else if (!hasValue) {
            return std::nullopt;
        } else if (name == L"--mapping") {
            options.mapping = arguments[++i];
        } else if (name == L"--status") {
            options.status = static_cast<DWORD>(std::wcstoul(arguments[++i].c_str(), nullptr, 0));
        } else if (name == L"--mutex") {
            options.mutexes.push_back(arguments[++i]);
        } else if (name == L"--ready-event") {
            options.readyEvent = arguments[++i];
        } else if (name == L"--log") {
            options.logPath = arguments[++i];
        } else {
            return std::nullopt;
        }
    }
    if (options.mutexes.empty()) options.mutexes.push_back(kDefaultMutex);
    return options;
}

volatile LONG* Field(void* block, DWORD offset) {
    return reinterpret_cast<volatile LONG*>(static_cast<BYTE*>(block) + offset);
}

// Everything the window procedure needs; lives on wWinMain's stack for the whole run.
struct Component {
    Options options;
    void* block = nullptr;
    std::vector<UniqueHandle> mutexes;
    bool stopped = false;
};

void AppendLogLine(const std::wstring& path, const char* line) {
    if (path.empty()) return;
    UniqueHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return;
    const std::string text = std::string(line) + "\r\n";
    DWORD written = 0;
    ::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Stop(Component& component) {
    if (component.stopped) return;
    component.stopped = true;
    for (auto& mutex : component.mutexes) ::ReleaseMutex(mutex.Get());
    ::InterlockedExchange(Field(component.block, kSlotOffset), 0);
    ::PostQuitMessage(kStopped);
}

bool IsStopMessage(UINT message, WPARAM wParam) {
#if STANDIN_ROLE == 2
    return message == WM_COMMAND && LOWORD(wParam) == kResidentStopCommand;
#else
    (void)wParam;
    return message == kCareStopMessage;
#endif
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* component = reinterpret_cast<Component*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (component != nullptr && IsStopMessage(message, wParam)) {
        AppendLogLine(component->options.logPath, STANDIN_ROLE == 2 ? "WM_COMMAND 40011" : "WM_USER+1");
        if (!component->options.ignoreStop) Stop(*component);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHiddenWindow(HINSTANCE instance, Component& component) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    if (::RegisterClassW(&windowClass) == 0) return nullptr;
    // A real top-level window (not message-only), never shown.
    HWND window = ::CreateWindowExW(0, kWindowClass, kWindowClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window != nullptr) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&component));
    return window;
}

void SignalReady(const std::wstring& name) {
    if (name.empty()) return;
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    if (event.IsValid()) ::SetEvent(event.Get());
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Component component;
    if (auto options = ParseOptions(Standin::CommandLineArguments())) {
        component.options = *options;
    } else {
        return kBadArguments;
    }

    UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 16,
                                        component.options.mapping.c_str()));
    if (!mapping.IsValid()) return kNoStatusBlock;
    UniqueMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) return kNoStatusBlock;
    component.block = view.Get();

    HWND window = CreateHiddenWindow(instance, component);
    if (window == nullptr) return kNoWindow;

    for (const auto& name : component.options.mutexes) {
        UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, name.c_str()));
        if (!mutex.IsValid()) return kNoMutex;
        component.mutexes.push_back(std::move(mutex));
    }
    if (component.options.status) ::InterlockedExchange(Field(view.Get(), kStatusOffset), *component.options.status);
    ::InterlockedExchange(Field(view.Get(), kSlotOffset), static_cast<LONG>(reinterpret_cast<ULONG_PTR>(window)));
    SignalReady(component.options.readyEvent);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::DestroyWindow(window);
    return kStopped;
}
