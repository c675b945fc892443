#include "tools/settings-tool/SettingsTool.h"

#include <windows.h>

#include "app/Profile.h"
#include "platform/FileSystem.h"
#include "platform/UniqueResource.h"
#include "settings/SettingsArchive.h"
#include "settings/TextConversion.h"
#include "tools/settings-tool/SettingsSource.h"
#include "tools/settings-tool/SettingsWriter.h"

namespace Quellor::SettingsTool {

namespace {

using Zento::Lithcore::Settings;

constexpr wchar_t kUsage[] =
    L"Usage:\r\n"
    L"  quellor-settings defaults <source.txt>          write the built-in defaults as a source file\r\n"
    L"  quellor-settings write <source> <settings.dat>  encipher a source (KEY = value text or archive XML)\r\n"
    L"  quellor-settings export <settings.dat> <source.txt>  a settings file back to its source text\r\n"
    L"  quellor-settings read <settings.dat> [<out.xml>]     decipher to the archive XML (default: standard output)\r\n"
    L"  quellor-settings check <settings.dat>           whether the file loads, and its fields\r\n";

constexpr std::size_t kMaxSourceBytes = 16 * 1024 * 1024;

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    Zento::Lithcore::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxSourceBytes)) return false;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (bytes.empty()) return true;
    return ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

bool WriteUtf8File(const std::wstring& path, const std::wstring& text) {
    const std::string utf8 = Zento::Lithcore::ToUtf8(text);
    return Zento::Lithcore::WriteImageFile(path, Zento::Lithcore::Crypto::Bytes(utf8.begin(), utf8.end()));
}

// UTF-8 file to wide text; a leading byte-order mark is dropped.
bool ReadUtf8File(const std::wstring& path, std::wstring& text) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes)) return false;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
    if (bytes.find('\0') != std::string::npos) return false;
    text = Zento::Lithcore::FromMultiByte(bytes, Zento::Lithcore::kUtf8Mode);
    return !text.empty() || bytes.empty();
}

bool IsXml(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t\r\n");
    return first != std::wstring::npos && text[first] == L'<';
}

class Commands {
public:
    explicit Commands(Output& output) : out_(output) {}

    int Defaults(const std::wstring& target) {
        if (!WriteUtf8File(target, FormatSource(BuildDefaultSettings()))) return Fail(L"cannot write " + target);
        out_.Out(L"Wrote the built-in defaults to " + target + L"\r\n");
        return kExitOk;
    }

    int Write(const std::wstring& source, const std::wstring& target) {
        Settings settings;
        if (!LoadSource(source, settings)) return kExitFailed;
        if (!Zento::Lithcore::WriteImageFile(
                target, Zento::Lithcore::EncipherSettingsText(Zento::Lithcore::WriteSettingsXml(settings))))
            return Fail(L"cannot write " + target);
        Settings reloaded;
        if (!Zento::Lithcore::LoadSettingsFile(target, reloaded) || !(reloaded == settings))
            return Fail(L"the written file " + target + L" does not read back as the source");
        out_.Out(L"Wrote " + target + L" (" + std::to_wstring(settings.PRODUCTCODES.size()) +
                 L" product versions)\r\n");
        return kExitOk;
    }

    int Export(const std::wstring& file, const std::wstring& target) {
        Settings settings;
        if (!Zento::Lithcore::LoadSettingsFile(file, settings)) return Fail(file + L" does not load");
        if (!WriteUtf8File(target, FormatSource(settings))) return Fail(L"cannot write " + target);
        out_.Out(L"Wrote " + target + L"\r\n");
        return kExitOk;
    }

    int Read(const std::wstring& file, const std::wstring* target) {
        std::wstring text;
        if (!Zento::Lithcore::ReadSettingsText(file, text))
            return Fail(L"cannot read or decipher " + file);
        if (target == nullptr) {
            out_.Out(text);
            return kExitOk;
        }
        if (!WriteUtf8File(*target, text)) return Fail(L"cannot write " + *target);
        out_.Out(L"Wrote " + *target + L"\r\n");
        return kExitOk;
    }

    int Check(const std::wstring& file) {
        Settings settings;
        if (!Zento::Lithcore::PathMatchesAnything(file)) return Fail(L"no file " + file);
        if (!Zento::Lithcore::LoadSettingsFile(file, settings))
            return Fail(file + L" does not load: quellor.exe would use its built-in defaults");
        out_.Out(file + L" loads.\r\n");
        for (const std::wstring& line : ListDefaults(settings)) out_.Out(line + L"\r\n");
        return kExitOk;
    }

private:
    bool LoadSource(const std::wstring& source, Settings& settings) {
        std::wstring text;
        if (!ReadUtf8File(source, text)) {
            Fail(L"cannot read " + source + L" as UTF-8 text");
            return false;
        }
        if (IsXml(text)) {
            if (Zento::Lithcore::ParseSettingsXml(text, settings)) return true;
            Fail(source + L" is not a complete settings archive");
            return false;
        }
        std::wstring error;
        if (ParseSource(text, settings, error)) return true;
        Fail(source + L": " + error);
        return false;
    }

    int Fail(const std::wstring& message) {
        out_.Err(L"error: " + message + L"\r\n");
        return kExitFailed;
    }

    Output& out_;
};

}  // namespace

int RunSettingsTool(const std::vector<std::wstring>& args, Output& output) {
    Commands commands(output);
    const std::wstring command = args.empty() ? L"" : args[0];
    const std::size_t operands = args.empty() ? 0 : args.size() - 1;
    if (command == L"defaults" && operands == 1) return commands.Defaults(args[1]);
    if (command == L"write" && operands == 2) return commands.Write(args[1], args[2]);
    if (command == L"export" && operands == 2) return commands.Export(args[1], args[2]);
    if (command == L"read" && operands == 1) return commands.Read(args[1], nullptr);
    if (command == L"read" && operands == 2) return commands.Read(args[1], &args[2]);
    if (command == L"check" && operands == 1) return commands.Check(args[1]);
    output.Err(kUsage);
    return kExitUsage;
}

}  // namespace Quellor::SettingsTool
