#include "app/resume/RemovalJournal.h"

#include <charconv>
#include <ranges>

#include "app/removal/RegistryBackup.h"
#include "files/ShellFolders.h"
#include "platform/AdministratorsOnly.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "platform/UniqueResource.h"
#include "registry/Names.h"
#include "settings/TextConversion.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

constexpr char kFormat[] = "QuellorRemovalJournal";
constexpr char kVersion[] = "2";
constexpr int kCsidlCommonAppData = 0x23;
// A journal lists every target once: far below this; anything larger is not one.
constexpr DWORD kLargestJournal = 64 * 1024 * 1024;

constexpr CheckpointApi kPassedBy{[](const wchar_t*) {}};
constinit const CheckpointApi* g_checkpoints = &kPassedBy;

// The journal's name of each kind; none for the steps, which a later run finds again for itself.
const char* KindName(TargetKind kind) {
    switch (kind) {
        case TargetKind::Key: return "key";
        case TargetKind::KeyWhenEmpty: return "key-when-empty";
        case TargetKind::Value: return "value";
        case TargetKind::File: return "file";
        case TargetKind::Folder: return "folder";
        case TargetKind::RemovedByOthers: return "removed-by-others";
        case TargetKind::Process:
        case TargetKind::Service:
        case TargetKind::ComServer: return nullptr;
    }
    return nullptr;
}

bool KindOfName(const std::string& name, TargetKind& kind) {
    for (TargetKind known : {TargetKind::Key, TargetKind::KeyWhenEmpty, TargetKind::Value, TargetKind::File,
                             TargetKind::Folder, TargetKind::RemovedByOthers})
        if (name == KindName(known)) {
            kind = known;
            return true;
        }
    return false;
}

std::string Escaped(const std::wstring& text) {
    std::string out;
    for (char c : Lc::ToUtf8(text)) {
        switch (c) {
            case '%': out += "%25"; break;
            case '\t': out += "%09"; break;
            case '\r': out += "%0D"; break;
            case '\n': out += "%0A"; break;
            default: out += c;
        }
    }
    return out;
}

bool Unescaped(const std::string& field, std::wstring& text) {
    std::string bytes;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            bytes += field[i];
            continue;
        }
        // Exactly two hexadecimal digits: an unsigned parse takes no sign, and both must be used.
        unsigned byte = 0;
        const char* digits = field.data() + i + 1;
        if (i + 2 >= field.size() || std::from_chars(digits, digits + 2, byte, 16).ptr != digits + 2) return false;
        bytes += static_cast<char>(byte);
        i += 2;
    }
    text = Lc::FromMultiByte(bytes, Lc::kUtf8Mode);
    return bytes.empty() || !text.empty();
}

// Every piece between separators, an empty one after a last separator included.
std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    for (const auto part : std::views::split(text, separator)) parts.emplace_back(part.begin(), part.end());
    return parts;
}

std::string ViewName(const Target& target) {
    if (!target.IsRegistry()) return "-";
    return target.key.view == RegistryView::Bits64 ? "64" : "32";
}

bool ParseTarget(const std::vector<std::string>& fields, Target& entry) {
    if (fields.size() != 5 || fields[0] != "target" || !KindOfName(fields[1], entry.kind)) return false;
    const bool registry = entry.IsRegistry();
    if (registry ? fields[2] != "64" && fields[2] != "32" : fields[2] != "-") return false;
    if (!Unescaped(fields[3], entry.path) || !Unescaped(fields[4], entry.valueName)) return false;
    if (entry.path.empty() || (entry.kind != TargetKind::Value && !entry.valueName.empty())) return false;
    const RegistryView view = fields[2] == "64" ? RegistryView::Bits64 : RegistryView::Bits32;
    if (registry) entry.key = RegistryKeyAddress::Parse(entry.path, view);
    return true;
}

bool ParseField(const std::string& line, const char* name, std::wstring& value) {
    std::vector<std::string> fields = Split(line, '\t');
    return fields.size() == 2 && fields[0] == name && Unescaped(fields[1], value);
}

// Reads the journal through the handle its security was checked on; `why` says why it is not used.
bool ReadTrusted(const std::wstring& path, std::string& text, std::wstring& why) {
    Lc::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        why = L"読み取れませんでした: " + Lc::Win32ErrorText(::GetLastError());
        return false;
    }
    Lc::TrustCheck trust = Lc::CheckAdministratorsOnly(file.Get());
    if (trust.trust != Lc::Trust::AdministratorsOnly) {
        why = Lc::TrustText(trust);
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestJournal) {
        why = L"内容が壊れているため使用しません。";
        return false;
    }
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!text.empty() && (!::ReadFile(file.Get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr) ||
                          read != text.size())) {
        why = L"読み取れませんでした: " + Lc::Win32ErrorText(::GetLastError());
        return false;
    }
    return true;
}

// The journals in a folder ("removal_*.txt"): files only, never a link.
PathList JournalsIn(const std::wstring& folder) {
    PathList journals;
    Lc::ForEachEntry(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& entry) {
        const std::wstring name = Lc::FoldedName(entry.cFileName);
        const bool journal = name.starts_with(L"REMOVAL_") && name.ends_with(L".TXT");
        if (journal && !Lc::IsFolderEntry(entry) && !Lc::IsLinkEntry(entry)) journals.push_back(path);
    });
    return journals;
}

void JudgeJournal(const std::wstring& path, const std::wstring& productCode, const std::wstring& computer,
                  EarlierJournals& found) {
    std::string text;
    std::wstring why;
    if (!ReadTrusted(path, text, why)) {
        found.ignored.push_back(path + L"\r\n - " + why + L"使用しません。");
        return;
    }
    ParsedJournal journal = ParseJournal(text);
    if (journal.state == JournalState::Finished) return;
    if (journal.state == JournalState::Damaged)
        found.ignored.push_back(path + L"\r\n - 内容が壊れているため使用しません。");
    else if (!Lc::NamesEqual(journal.productCode, productCode))
        found.ignored.push_back(path + L"\r\n - 別の製品（" + journal.productCode + L"）の記録のため使用しません。");
    else if (!Lc::NamesEqual(journal.computer, computer))
        found.ignored.push_back(path + L"\r\n - 別のコンピューター（" + journal.computer + L"）の記録のため使用しません。");
    else
        found.unfinished.push_back({path, journal.entries});
}

}  // namespace

std::wstring JournalFolder() {
    const std::wstring common = Lc::GetSpecialFolderPath(kCsidlCommonAppData);
    return common.empty() ? std::wstring() : common + L"\\Quellor";
}

DWORD PrepareJournalFolder(const std::wstring& folder, std::wstring& why) {
    if (folder.empty()) {
        why = L"記録を置くフォルダがありません。";
        return ERROR_PATH_NOT_FOUND;
    }
    Lc::AdministratorsOnlySecurity security(Lc::AdministratorsOnlySecurity::For::Folder);
    if (security.Attributes() == nullptr) {
        why = L"フォルダのセキュリティを作成できませんでした。";
        return security.Error();
    }
    if (!::CreateDirectoryW(folder.c_str(), security.Attributes()) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        DWORD error = ::GetLastError();
        why = L"フォルダを作成できませんでした。";
        return error;
    }
    // Made now or found: someone may have made it first.
    Lc::TrustCheck trust = Lc::CheckAdministratorsOnly(folder);
    if (trust.trust == Lc::Trust::AdministratorsOnly) return ERROR_SUCCESS;
    why = Lc::TrustText(trust);
    return trust.trust == Lc::Trust::Unreadable ? trust.error : ERROR_ACCESS_DENIED;
}

std::wstring JournalPath(const std::wstring& folder, const std::wstring& logPath) {
    std::wstring name = BackupFileName(logPath);  // "...backup_<stamp>.reg"
    size_t slash = name.find_last_of(L'\\');
    if (slash != std::wstring::npos) name = name.substr(slash + 1);
    if (name.rfind(L"backup_", 0) == 0) name.replace(0, 7, L"removal_");
    if (name.size() >= 4) name.replace(name.size() - 4, 4, L".txt");
    return folder + L"\\" + name;
}

std::wstring ThisComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return ::GetComputerNameW(name, &size) ? std::wstring(name, size) : std::wstring();
}

std::string JournalText(const std::wstring& productCode, const std::wstring& computer, const TargetList& targets) {
    std::string text = std::string(kFormat) + "\t" + kVersion + "\r\n";
    text += "product\t" + Escaped(productCode) + "\r\n";
    text += "computer\t" + Escaped(computer) + "\r\n";
    size_t written = 0;
    for (const Target& target : targets) {
        const char* kind = KindName(target.kind);
        if (kind == nullptr) continue;
        text += std::string("target\t") + kind + "\t" + ViewName(target) + "\t" + Escaped(target.path) + "\t" +
                Escaped(target.valueName) + "\r\n";
        ++written;
    }
    text += "end\t" + std::to_string(written) + "\r\n";
    return text;
}

DWORD WriteJournal(const std::wstring& path, const std::wstring& productCode, const std::wstring& computer,
                   const TargetList& targets) {
    return WriteProtectedFile(path, JournalText(productCode, computer, targets), false);
}

DWORD MarkJournalFinished(const std::wstring& path) { return WriteProtectedFile(path, "finished\r\n", true); }

ParsedJournal ParseJournal(const std::string& text) {
    ParsedJournal journal;
    std::vector<std::string> lines = Split(text, '\n');
    if (lines.empty() || !lines.back().empty()) return journal;  // the last line is cut off
    lines.pop_back();
    for (std::string& line : lines) {
        if (line.empty() || line.back() != '\r') return journal;
        line.pop_back();
    }
    if (lines.size() < 4 || lines[0] != std::string(kFormat) + "\t" + kVersion) return journal;
    if (!ParseField(lines[1], "product", journal.productCode) || !ParseField(lines[2], "computer", journal.computer))
        return journal;
    size_t at = 3;
    for (; at < lines.size() && lines[at].rfind("target\t", 0) == 0; ++at) {
        Target entry{};
        if (!ParseTarget(Split(lines[at], '\t'), entry)) return journal;
        journal.entries.push_back(entry);
    }
    if (at >= lines.size() || lines[at] != "end\t" + std::to_string(journal.entries.size())) return journal;
    ++at;
    if (at == lines.size()) {
        journal.state = JournalState::Unfinished;
    } else if (at + 1 == lines.size() && lines[at] == "finished") {
        journal.state = JournalState::Finished;
    }
    return journal;
}

EarlierJournals FindEarlierJournals(const std::wstring& folder, const std::wstring& productCode,
                                    const std::wstring& computer) {
    EarlierJournals found;
    const std::wstring current = Lc::FullPathOf(L".");
    if (!Lc::SamePath(current, Lc::FullPathOf(folder)))
        for (const std::wstring& path : JournalsIn(current))
            found.ignored.push_back(path + L"\r\n - 管理者以外も書き込めるフォルダにあるため使用しません。");
    if (folder.empty() || !Lc::IsFolder(folder)) return found;
    Lc::TrustCheck trust = Lc::CheckAdministratorsOnly(folder);
    if (trust.trust != Lc::Trust::AdministratorsOnly) {
        found.ignored.push_back(folder + L"\r\n - " + Lc::TrustText(trust) + L"このフォルダの記録は使用しません。");
        return found;
    }
    for (const std::wstring& path : JournalsIn(folder)) JudgeJournal(path, productCode, computer, found);
    return found;
}

const CheckpointApi* ReplaceCheckpointApi(const CheckpointApi* table) {
    const CheckpointApi* replaced = g_checkpoints;
    g_checkpoints = table != nullptr ? table : &kPassedBy;
    return replaced;
}

void PassCheckpoint(const wchar_t* point) { g_checkpoints->passed(point); }

}  // namespace Quellor
