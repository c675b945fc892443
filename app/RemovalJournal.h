#pragma once
// The removal's journal: before its first change the removal writes the targets it is about to delete
// to "removal_<timestamp>.txt" beside the log, and marks the file finished once the check at the end
// found nothing left. A later run in the same folder takes an unfinished journal of its product up.
//
// The file is UTF-8 without byte-order mark, CR LF line ends, fields separated by a tab; within a
// field "%", tab, CR and LF are written as "%25", "%09", "%0D" and "%0A":
//   QuellorRemovalJournal<TAB>1
//   product<TAB>{braced product code}
//   target<TAB>kind<TAB>view<TAB>path<TAB>value name      (one line per target, in deletion order)
//   end<TAB>number of target lines
//   finished                                             (appended and flushed once the end check passed)
// kind: key, key-when-empty, value, file, folder, removed-by-others; view: 64 or 32 for registry
// targets, "-" for files and folders. A file without its end line, or with any other line, is damaged.
#include <windows.h>

#include <string>
#include <vector>

#include "app/RemovalTargets.h"

namespace Quellor {

// "infoLog_20250203090507.txt" -> "removal_20250203090507.txt".
std::wstring JournalFileName(const std::wstring& logPath);

// The journal's whole text for the targets.
std::string JournalText(const std::wstring& productCode, const TargetList& targets);

// Creates the file (never over an existing one), writes and flushes it. ERROR_SUCCESS or the error.
[[nodiscard]] DWORD WriteJournal(const std::wstring& path, const std::wstring& productCode, const TargetList& targets);

// Appends the finished line and flushes it. ERROR_SUCCESS or the error.
[[nodiscard]] DWORD MarkJournalFinished(const std::wstring& path);

struct JournalEntry {
    TargetKind kind;
    bool hasView;  // registry targets
    RegistryView view;
    std::wstring path;
    std::wstring valueName;
};

enum class JournalState { Unfinished, Finished, Damaged };

struct ParsedJournal {
    JournalState state = JournalState::Damaged;
    std::wstring productCode;
    std::vector<JournalEntry> entries;
};

ParsedJournal ParseJournal(const std::string& text);

struct EarlierJournal {
    std::wstring path;
    std::vector<JournalEntry> entries;
};

// The journals found in the current folder: the unfinished ones of the product, and the lines that
// report a damaged journal or one written for another product (each ignored).
struct EarlierJournals {
    std::vector<EarlierJournal> unfinished;
    PathList ignored;
};
EarlierJournals FindEarlierJournals(const std::wstring& productCode);

// Test seam: the removal names each point after which an interruption leaves it half done; the
// product passes them by. A test build sets a hook that ends the process at one of them.
using CheckpointHook = void (*)(const wchar_t* point);
void SetCheckpointHook(CheckpointHook hook);
void PassCheckpoint(const wchar_t* point);

}  // namespace Quellor
