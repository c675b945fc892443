#include "app/RemovalJournal.h"

#include "app/RegistryBackup.h"
#include "platform/UniqueResource.h"
#include "registry/Names.h"
#include "settings/TextConversion.h"
#include "settings/TextFile.h"

namespace Quellor {

namespace Lc = Zento::Lithcore;

namespace {

constexpr char kFormat[] = "QuellorRemovalJournal";
constexpr char kVersion[] = "1";

CheckpointHook g_checkpointHook = nullptr;

const struct {
    TargetKind kind;
    const char* name;
} kKindNames[] = {
    {TargetKind::Key, "key"},   {TargetKind::KeyWhenEmpty, "key-when-empty"},
    {TargetKind::Value, "value"}, {TargetKind::File, "file"},
    {TargetKind::Folder, "folder"}, {TargetKind::RemovedByOthers, "removed-by-others"},
};

std::string KindName(TargetKind kind) {
    for (const auto& entry : kKindNames)
        if (entry.kind == kind) return entry.name;
    return "?";
}

bool KindOfName(const std::string& name, TargetKind& kind) {
    for (const auto& entry : kKindNames)
        if (name == entry.name) {
            kind = entry.kind;
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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescaped(const std::string& field, std::wstring& text) {
    std::string bytes;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            bytes += field[i];
            continue;
        }
        int high = i + 1 < field.size() ? HexDigit(field[i + 1]) : -1;
        int low = i + 2 < field.size() ? HexDigit(field[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    text = Lc::FromMultiByte(bytes, Lc::kUtf8Mode);
    return bytes.empty() || !text.empty();
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t cut = text.find(separator, start);
        parts.push_back(text.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
        if (cut == std::string::npos) return parts;
        start = cut + 1;
    }
}

std::string ViewName(const Target& target) {
    if (!target.IsRegistry()) return "-";
    return target.key.view == RegistryView::Bits64 ? "64" : "32";
}

bool ParseTarget(const std::vector<std::string>& fields, JournalEntry& entry) {
    if (fields.size() != 5 || fields[0] != "target" || !KindOfName(fields[1], entry.kind)) return false;
    bool registry = entry.kind != TargetKind::File && entry.kind != TargetKind::Folder;
    entry.hasView = registry;
    if (registry && fields[2] == "64")
        entry.view = RegistryView::Bits64;
    else if (registry && fields[2] == "32")
        entry.view = RegistryView::Bits32;
    else if (registry || fields[2] != "-")
        return false;
    if (!Unescaped(fields[3], entry.path) || !Unescaped(fields[4], entry.valueName)) return false;
    if (entry.path.empty() || (entry.kind != TargetKind::Value && !entry.valueName.empty())) return false;
    return true;
}

// Writes bytes at the file's end, or into a new file, and flushes them.
DWORD WriteFlushed(const std::wstring& path, const std::string& bytes, bool append) {
    Lc::UniqueHandle file(::CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, append ? OPEN_EXISTING : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError();
    DWORD written = 0;
    if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return ::GetLastError();
    if (written != bytes.size()) return ERROR_WRITE_FAULT;
    if (!::FlushFileBuffers(file.Get())) return ::GetLastError();
    return ERROR_SUCCESS;
}

bool ReadWhole(const std::wstring& path, std::string& text) {
    try {
        Lc::TextFile file = Lc::TextFile::OpenForReading(path);
        std::vector<unsigned char> bytes = file.ReadAll();
        text.assign(bytes.begin(), bytes.end());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

std::wstring JournalFileName(const std::wstring& logPath) {
    std::wstring name = BackupFileName(logPath);  // "...backup_<stamp>.reg"
    size_t at = name.rfind(L"backup_");
    if (at != std::wstring::npos) name.replace(at, 7, L"removal_");
    if (name.size() >= 4) name.replace(name.size() - 4, 4, L".txt");
    return name;
}

std::string JournalText(const std::wstring& productCode, const TargetList& targets) {
    std::string text = std::string(kFormat) + "\t" + kVersion + "\r\n";
    text += "product\t" + Escaped(productCode) + "\r\n";
    for (const Target& target : targets)
        text += "target\t" + KindName(target.kind) + "\t" + ViewName(target) + "\t" + Escaped(target.path) + "\t" +
                Escaped(target.valueName) + "\r\n";
    text += "end\t" + std::to_string(targets.size()) + "\r\n";
    return text;
}

DWORD WriteJournal(const std::wstring& path, const std::wstring& productCode, const TargetList& targets) {
    return WriteFlushed(path, JournalText(productCode, targets), false);
}

DWORD MarkJournalFinished(const std::wstring& path) { return WriteFlushed(path, "finished\r\n", true); }

ParsedJournal ParseJournal(const std::string& text) {
    ParsedJournal journal;
    std::vector<std::string> lines = Split(text, '\n');
    if (lines.empty() || !lines.back().empty()) return journal;  // the last line is cut off
    lines.pop_back();
    for (std::string& line : lines) {
        if (line.empty() || line.back() != '\r') return journal;
        line.pop_back();
    }
    if (lines.size() < 3 || lines[0] != std::string(kFormat) + "\t" + kVersion) return journal;
    std::vector<std::string> product = Split(lines[1], '\t');
    if (product.size() != 2 || product[0] != "product" || !Unescaped(product[1], journal.productCode)) return journal;
    size_t at = 2;
    for (; at < lines.size() && lines[at].rfind("target\t", 0) == 0; ++at) {
        JournalEntry entry{};
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

EarlierJournals FindEarlierJournals(const std::wstring& productCode) {
    EarlierJournals found;
    WIN32_FIND_DATAW data;
    Lc::UniqueFindHandle find(::FindFirstFileW(L"removal_*.txt", &data));
    if (!find) return found;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        const std::wstring path = FullPathOf(data.cFileName);
        std::string text;
        ParsedJournal journal;
        if (ReadWhole(data.cFileName, text)) journal = ParseJournal(text);
        if (journal.state == JournalState::Finished) continue;
        if (journal.state == JournalState::Damaged)
            found.ignored.push_back(path + L"\r\n - 内容が壊れているため使用しません。");
        else if (!Lc::NamesEqual(journal.productCode, productCode))
            found.ignored.push_back(path + L"\r\n - 別の製品（" + journal.productCode + L"）の記録のため使用しません。");
        else
            found.unfinished.push_back({path, journal.entries});
    } while (::FindNextFileW(find.Get(), &data));
    return found;
}

void SetCheckpointHook(CheckpointHook hook) { g_checkpointHook = hook; }

void PassCheckpoint(const wchar_t* point) {
    if (g_checkpointHook != nullptr) g_checkpointHook(point);
}

}  // namespace Quellor
