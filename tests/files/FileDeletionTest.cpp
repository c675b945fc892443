#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <winioctl.h>

#include <algorithm>

#include "files/DeletablePaths.h"
#include "files/FileDeletion.h"
#include "platform/FileSystem.h"
#include "platform/UniqueResource.h"
#include "tests/files/FileTree.h"
#include "tests/support/TestSupport.h"

using namespace Zento::Lithcore;
using namespace QuellorTest;
using Tree = std::vector<std::wstring>;

namespace {

constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// The deletions scheduled for the next start as (source, target) pairs; puts back what was there on destruction.
class PendingRenames {
public:
    PendingRenames() { hadValue_ = Read(saved_); }
    ~PendingRenames() {
        UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) return;
        if (hadValue_)
            ::RegSetValueExW(key.Get(), kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(saved_.data()),
                             static_cast<DWORD>(saved_.size() * sizeof(wchar_t)));
        else
            ::RegDeleteValueW(key.Get(), kPendingRenames);
    }
    PendingRenames(const PendingRenames&) = delete;
    PendingRenames& operator=(const PendingRenames&) = delete;

    // Whether a deletion (an empty target) of the path is recorded.
    bool HasDeletionOf(const std::wstring& path) const {
        std::wstring data;
        if (!Read(data)) return false;
        std::vector<std::wstring> entries;
        for (size_t at = 0; at < data.size();) {
            size_t end = data.find(L'\0', at);
            if (end == std::wstring::npos) end = data.size();
            entries.push_back(data.substr(at, end - at));
            at = end + 1;
        }
        for (size_t i = 0; i + 1 < entries.size(); i += 2)
            if (::lstrcmpiW(entries[i].c_str(), (L"\\??\\" + path).c_str()) == 0 && entries[i + 1].empty()) return true;
        return false;
    }

private:
    static bool Read(std::wstring& data) {
        UniqueRegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
            return false;
        DWORD bytes = 0;
        if (::RegQueryValueExW(key.Get(), kPendingRenames, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return false;
        data.assign(bytes / sizeof(wchar_t), L'\0');
        return ::RegQueryValueExW(key.Get(), kPendingRenames, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                                  &bytes) == ERROR_SUCCESS;
    }

    bool hadValue_ = false;
    std::wstring saved_;
};

// Wine 8 cannot set a reparse point (ERROR_NOT_SUPPORTED) but shows a Unix symbolic link to a folder as
// one; such a link is made and removed by host programs, which Wine starts like any other.
std::wstring UnixPath(const std::wstring& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(path.c_str()) : nullptr;
    if (name == nullptr) return {};
    std::wstring wide = Wide(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return wide;
}

// The host program cannot be awaited through its handle: waits for `path` to show or go.
bool RunOnHost(std::wstring command, const std::wstring& path, bool shows) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    auto there = [&] { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    for (int tries = 0; tries < 100 && there() != shows; ++tries) ::Sleep(50);
    return there() == shows;
}

bool MakeUnixLink(const std::wstring& link, const std::wstring& target) {
    return RunOnHost(L"Z:\\bin\\ln -s \"" + UnixPath(target) + L"\" \"" + UnixPath(link) + L"\"", link, true);
}

// Windows' RemoveDirectoryW removes a junction itself; Wine's follows the Unix stand-in and finds it not empty.
BOOL WINAPI RemoveDirectoryAsWindows(LPCWSTR path) {
    if (::RemoveDirectoryW(path)) return TRUE;
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(path);
    if (error != ERROR_DIR_NOT_EMPTY || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        ::SetLastError(error);
        return FALSE;
    }
    return RunOnHost(L"Z:\\bin\\rm \"" + UnixPath(path) + L"\"", path, false);
}

// A mount-point reparse point (junction) at `link` that leads to `target`.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
    UniqueHandle folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) return false;
    const std::wstring substitute = L"\\??\\" + target;
    const USHORT substituteBytes = static_cast<USHORT>(substitute.size() * sizeof(wchar_t));
    const USHORT printBytes = static_cast<USHORT>(target.size() * sizeof(wchar_t));
    // The mount-point layout: tag, data length, reserved, four name offsets and lengths, then both names NUL-ended.
    std::vector<BYTE> buffer(8 + 8 + substituteBytes + printBytes + 2 * sizeof(wchar_t), 0);
    auto put16 = [&](size_t at, USHORT value) { memcpy(buffer.data() + at, &value, sizeof(value)); };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    memcpy(buffer.data(), &tag, sizeof(tag));
    put16(4, static_cast<USHORT>(buffer.size() - 8));
    put16(8, 0);
    put16(10, substituteBytes);
    put16(12, static_cast<USHORT>(substituteBytes + sizeof(wchar_t)));
    put16(14, printBytes);
    memcpy(buffer.data() + 16, substitute.c_str(), substituteBytes);
    memcpy(buffer.data() + 16 + substituteBytes + sizeof(wchar_t), target.c_str(), printBytes);
    DWORD returned = 0;
    if (::DeviceIoControl(folder.Get(), FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                          nullptr, 0, &returned, nullptr))
        return true;
    if (::GetLastError() != ERROR_NOT_SUPPORTED) return false;
    folder.Reset();
    ::RemoveDirectoryW(link.c_str());
    return MakeUnixLink(link, target);
}

}  // namespace

TEST(FileDeletion, ClearsReadOnlyAndSchedulesWhatIsHeldOpen) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"readonly.txt", L"held.txt", L"Folder\\held.dll", L"Folder\\free.txt"});
    ASSERT_TRUE(::SetFileAttributesW((root / L"readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(RemoveFile(root / L"readonly.txt").status, DeletionStatus::Deleted);
    EXPECT_FALSE(FileExists(root / L"readonly.txt"));

    PendingRenames pending;
    {
        // Open without FILE_SHARE_DELETE, as a loaded image or another program's open file.
        UniqueHandle held(::CreateFileW((root / L"held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        UniqueHandle heldInside(::CreateFileW((root / L"Folder\\held.dll").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held && heldInside);
        DeletionResult file = RemoveFile(root / L"held.txt");
        EXPECT_EQ(file.status, DeletionStatus::Scheduled);
        EXPECT_EQ(file.scheduled, Tree{root / L"held.txt"});
        EXPECT_TRUE(pending.HasDeletionOf(root / L"held.txt"));

        // The folder goes after its held file; the rest of it goes now.
        DeletionResult folder = RemoveFolder(root / L"Folder\\", {});
        EXPECT_EQ(folder.status, DeletionStatus::Scheduled);
        EXPECT_EQ(folder.scheduled, (Tree{root / L"Folder\\held.dll", root / L"Folder"}));
        EXPECT_TRUE(pending.HasDeletionOf(root / L"Folder\\held.dll"));
        EXPECT_TRUE(pending.HasDeletionOf(root / L"Folder"));
        EXPECT_FALSE(FileExists(root / L"Folder\\free.txt"));
    }
}

TEST(FileDeletion, RemovesAJunctionWithoutFollowingItAndRefusesAProtectedFolder) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"Target\\kept.txt", L"Target\\Sub\\kept.dll", L"Product\\own.txt",
                           L"Parent\\Shell\\x.txt", L"Bystander\\Finance\\b.txt", L"Bystander\\c.txt"});
    ASSERT_TRUE(MakeJunction(root / L"Product\\Link", root / L"Target")) << ::GetLastError();
    ASSERT_NE(::GetFileAttributesW((root / L"Product\\Link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    // A user turned the product's own folder into a junction to someone else's.
    ASSERT_TRUE(MakeJunction(root / L"Scheduler", root / L"Bystander")) << ::GetLastError();
    // Windows' own kind: a second spelling of the folder that holds a protected one.
    ASSERT_TRUE(MakeJunction(root / L"Alias", root / L"Parent")) << ::GetLastError();

    // Planning neither enters the junction nor lists what lies behind it.
    PathList plannedFolders, plannedFiles;
    PlanProductFolders({root / L"Scheduler"}, {}, {}, plannedFolders, plannedFiles);
    EXPECT_EQ(plannedFolders, Tree{root / L"Scheduler"});
    plannedFolders.clear();
    PlanProductFolders({root / L"Scheduler"}, {root / L"Scheduler\\c.txt"}, {}, plannedFolders, plannedFiles);
    EXPECT_TRUE(plannedFolders.empty());
    EXPECT_TRUE(plannedFiles.empty());

    System::FileApi windows = System::Files();
    windows.removeDirectory = &RemoveDirectoryAsWindows;
    const System::FileApi* previous = System::ReplaceFileApi(&windows);
    DeletionResult product = RemoveFolder(root / L"Product", {});
    DeletionResult scheduler = RemoveFolder(root / L"Scheduler\\", {});
    System::ReplaceFileApi(previous);
    EXPECT_EQ(product.status, DeletionStatus::Deleted);
    EXPECT_TRUE(product.failed.empty());
    EXPECT_EQ(scheduler.status, DeletionStatus::Deleted);
    EXPECT_TRUE(scheduler.failed.empty());
    EXPECT_TRUE(FileExists(root / L"Bystander\\Finance\\b.txt") && FileExists(root / L"Bystander\\c.txt"));
    EXPECT_FALSE(FileExists(root / L"Scheduler"));

    ShellFolderTestValue value(HKEY_CURRENT_USER, kShellFoldersKey, L"QuellorTestFolder", root / L"Parent\\Shell");
    ShellFolderTestValue later(HKEY_CURRENT_USER, kShellFoldersKey, L"QuellorTestLater", root / L"Parent\\Shell\\NotYet");
    const PathList protectedFolders = ReadProtectedFolders().value();
    EXPECT_EQ(RemoveFolder(root / L"Parent\\Shell", protectedFolders).status, DeletionStatus::Refused);
    EXPECT_EQ(RemoveFolder(root / L"Parent", protectedFolders).status, DeletionStatus::Refused);
    EXPECT_EQ(RemoveFolder(root / L"Alias\\Shell", protectedFolders).status, DeletionStatus::Refused);
    EXPECT_EQ(JudgeDeletablePath(root / L"Alias\\Shell\\NotYet", true, protectedFolders), PathRefusal::Protected);
    EXPECT_EQ(JudgeDeletablePath(root / L"Alias\\Shell\\x.txt", false, protectedFolders), PathRefusal::Protected);
    EXPECT_EQ(JudgeDeletablePath(root / L"Alias\\Other", true, protectedFolders), PathRefusal::None);

    EXPECT_EQ(TreeOf(root.Path()),
              (Tree{L"Alias\\", L"Alias\\Shell\\", L"Alias\\Shell\\x.txt", L"Bystander\\", L"Bystander\\Finance\\",
                    L"Bystander\\Finance\\b.txt", L"Bystander\\c.txt", L"Parent\\", L"Parent\\Shell\\",
                    L"Parent\\Shell\\x.txt", L"Target\\", L"Target\\Sub\\", L"Target\\Sub\\kept.dll",
                    L"Target\\kept.txt"}));
    ASSERT_TRUE(RemoveDirectoryAsWindows((root / L"Alias").c_str()));
}

// ---- what Wine does not show: who owns a link ----

namespace {

// Wine shows its links as owned by the account that runs the test: the seam says who made them.
const wchar_t* g_linkOwner = nullptr;  // a security descriptor string ("O:SY")
std::wstring g_fakeLink;

DWORD WINAPI AttributesWithFakeLink(LPCWSTR path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    if (::lstrcmpiW(path, g_fakeLink.c_str()) != 0 || attributes == INVALID_FILE_ATTRIBUTES) return attributes;
    return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
}

DWORD WINAPI OwnerOfFakeLink(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID* owner, PSID*, PACL*, PACL*,
                             PSECURITY_DESCRIPTOR* descriptor) {
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(g_linkOwner, SDDL_REVISION_1, descriptor, nullptr))
        return ::GetLastError();
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
    return ERROR_SUCCESS;
}

}  // namespace

TEST(FileDeletion, RefusesWhatIsReachedThroughALinkThatAUserOwns) {
    ScratchFolder root;
    MakeTree(root.Path(), {L"Link\\ZEKT\\Scheduler\\s.dat", L"Link\\x.txt"});
    g_fakeLink = root / L"Link";
    System::FileApi table = System::Files();
    table.getFileAttributes = &AttributesWithFakeLink;
    table.getSecurityInfo = &OwnerOfFakeLink;
    const System::FileApi* previous = System::ReplaceFileApi(&table);

    g_linkOwner = L"O:S-1-5-21-1004336348-1177238915-682003330-1001";
    EXPECT_EQ(JudgeDeletablePath(root / L"Link\\ZEKT\\Scheduler", true, {}), PathRefusal::ThroughLink);
    EXPECT_EQ(JudgeDeletablePath(root / L"Link\\ZEKT\\Missing\\m.txt", false, {}), PathRefusal::ThroughLink);
    EXPECT_EQ(JudgeDeletablePath(root / L"Link", true, {}), PathRefusal::None);  // the link itself may go
    EXPECT_EQ(RemoveFolder(root / L"Link\\ZEKT\\Scheduler", {}).status, DeletionStatus::Refused);
    EXPECT_EQ(RemoveFile(root / L"Link\\x.txt").status, DeletionStatus::Refused);
    std::vector<PathRefusal> trusted;
    for (const wchar_t* owner : {L"O:SY", L"O:BA", L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"}) {
        g_linkOwner = owner;
        trusted.push_back(JudgeDeletablePath(root / L"Link\\ZEKT\\Scheduler", true, {}));
    }
    System::ReplaceFileApi(previous);
    EXPECT_EQ(trusted, std::vector<PathRefusal>(3, PathRefusal::None));
    EXPECT_EQ(TreeOf(root.Path()), (Tree{L"Link\\", L"Link\\ZEKT\\", L"Link\\ZEKT\\Scheduler\\",
                                         L"Link\\ZEKT\\Scheduler\\s.dat", L"Link\\x.txt"}));
}

// ---- what Wine does not show: security that forbids a deletion ----

namespace {

struct SeamState {
    bool denyDeleteOpen = false;
    std::vector<std::wstring> scheduled;
};

SeamState* g_seam = nullptr;

BOOL WINAPI DeniedDeleteFile(LPCWSTR) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

HANDLE WINAPI CheckedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model) {
    if (g_seam->denyDeleteOpen && (access & DELETE) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(path, access, share, security, disposition, flags, model);
}

// Scheduling succeeds for an administrator whatever the security says: recorded, never written.
BOOL WINAPI RecordedMoveFileEx(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (to == nullptr && flags == MOVEFILE_DELAY_UNTIL_REBOOT) g_seam->scheduled.push_back(from);
    return TRUE;
}

class DeniedDeletion : public ::testing::Test {
protected:
    DeniedDeletion() {
        g_seam = &state;
        table = System::Files();
        table.deleteFile = &DeniedDeleteFile;
        table.createFile = &CheckedCreateFile;
        table.moveFileEx = &RecordedMoveFileEx;
        previous = System::ReplaceFileApi(&table);
    }
    ~DeniedDeletion() override {
        System::ReplaceFileApi(previous);
        g_seam = nullptr;
    }

    ScratchFolder root;
    SeamState state;
    System::FileApi table{};
    const System::FileApi* previous = nullptr;
};

}  // namespace

TEST_F(DeniedDeletion, FailsWhenTheDeleteOpenIsRefusedAndSchedulesAFileInUse) {
    MakeTree(root.Path(), {L"denied.txt", L"inuse.exe"});
    state.denyDeleteOpen = true;
    DeletionResult denied = RemoveFile(root / L"denied.txt");
    EXPECT_EQ(denied.status, DeletionStatus::Failed);
    ASSERT_EQ(denied.failed.size(), 1u);
    EXPECT_EQ(denied.failed[0].path, root / L"denied.txt");
    EXPECT_EQ(denied.failed[0].error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(denied.scheduled.empty());
    EXPECT_TRUE(state.scheduled.empty());

    state.denyDeleteOpen = false;
    DeletionResult inUse = RemoveFile(root / L"inuse.exe");
    EXPECT_EQ(inUse.status, DeletionStatus::Scheduled);
    EXPECT_EQ(inUse.scheduled, Tree{root / L"inuse.exe"});
    EXPECT_EQ(state.scheduled, Tree{root / L"inuse.exe"});
}
