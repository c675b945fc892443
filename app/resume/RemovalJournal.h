#pragma once
// The removal's journal: before its first change the removal writes the targets it is about to delete
// to "removal_<timestamp>.txt" in the journal folder, and marks the file finished once the check at the
// end found nothing left. A later run on the same computer takes an unfinished journal of its product
// up. The folder and every journal in it may be changed by Administrators and SYSTEM only: a journal
// that anyone else could have written or edited is reported and never used.
//
// The file is UTF-8 without byte-order mark, CR LF line ends, fields separated by a tab; within a
// field "%", tab, CR and LF are written as "%25", "%09", "%0D" and "%0A":
//   QuellorRemovalJournal<TAB>2
//   product<TAB>{braced product code}
//   computer<TAB>the computer's name
//   target<TAB>kind<TAB>view<TAB>path<TAB>value name      (one line per target, in deletion order)
//   end<TAB>number of target lines
//   finished                                             (appended and flushed once the end check passed)
// kind: key, key-when-empty, value, file, folder, removed-by-others; view: 64 or 32 for registry
// targets, "-" for files and folders. The processes, the service and the servers are not written: a
// later run finds them again. A file without its end line, or with any other line, is damaged.
#include <windows.h>

#include <string>
#include <vector>

#include "app/plan/Target.h"

namespace Quellor {

using PathList = std::vector<std::wstring>;

// "<all users' application data>\Quellor": where journals are kept; empty when Windows names no such folder.
std::wstring JournalFolder();

// Makes the journal folder, only Administrators and SYSTEM allowed to change it, unless it is there;
// then checks it, also when it was there before. ERROR_SUCCESS, or the error, with `why` for the console.
[[nodiscard]] DWORD PrepareJournalFolder(const std::wstring& folder, std::wstring& why);

// "...\infoLog_20250203090507.txt" -> "<folder>\removal_20250203090507.txt".
std::wstring JournalPath(const std::wstring& folder, const std::wstring& logPath);

// The name a journal records its computer by.
std::wstring ThisComputerName();

// The journal's whole text for the targets.
std::string JournalText(const std::wstring& productCode, const std::wstring& computer, const TargetList& targets);

// Creates the file (never over an existing one, only Administrators and SYSTEM allowed to change it),
// writes and flushes it. ERROR_SUCCESS or the error.
[[nodiscard]] DWORD WriteJournal(const std::wstring& path, const std::wstring& productCode, const std::wstring& computer,
                                 const TargetList& targets);

// Appends the finished line and flushes it. ERROR_SUCCESS or the error.
[[nodiscard]] DWORD MarkJournalFinished(const std::wstring& path);

enum class JournalState { Unfinished, Finished, Damaged };

// The targets as the journal names them; their sections are the admission's to give.
struct ParsedJournal {
    JournalState state = JournalState::Damaged;
    std::wstring productCode;
    std::wstring computer;
    TargetList entries;
};

ParsedJournal ParseJournal(const std::string& text);

struct EarlierJournal {
    std::wstring path;
    TargetList entries;
};

// The unfinished journals of the product written on this computer, and the lines that report every
// other journal found (each ignored): damaged, of another product or computer, changeable by others, or
// lying in the current folder, where the removal once wrote them and anyone may put one.
struct EarlierJournals {
    std::vector<EarlierJournal> unfinished;
    PathList ignored;
};
EarlierJournals FindEarlierJournals(const std::wstring& folder, const std::wstring& productCode,
                                    const std::wstring& computer);

// The removal names each point after which an interruption leaves it half done, and the start and end
// of its end check. The product's table passes them by; a test build's ends the process at one of them,
// the benchmark's build's times the end check.
struct CheckpointApi {
    void (*passed)(const wchar_t* point);
};

// Test seam: puts `table` in place of the one in use (null restores the product's) and returns the
// table it replaced.
const CheckpointApi* ReplaceCheckpointApi(const CheckpointApi* table);
void PassCheckpoint(const wchar_t* point);

}  // namespace Quellor
