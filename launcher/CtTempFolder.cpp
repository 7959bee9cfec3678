#include "launcher/CtTempFolder.h"

#include <aclapi.h>
#include <cstddef>
#include <winternl.h>

#include "launcher/AnsiTempPath.h"
#include "services/Text.h"

namespace {

// The session's one name for "a launcher works in tmp_vel": every setup
// made with velpack shares the folder, so they share the mutex.
const char kRunMutexName[] = "Local\\Velmar.tmp_vel";
// Every path of the launcher is built in buffers of this size.
const int32_t kPathCapacity = 256;
// A link or foreign folder planted again as fast as it is moved aside
// stops the run after this many rounds.
const int32_t kAttempts = 3;

// A kernel handle closed on every way out.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }

private:
    HANDLE handle_;
};

// A security descriptor that GetSecurityInfo allocated.
class ScopedDescriptor {
public:
    ScopedDescriptor() : descriptor(nullptr) {}
    ~ScopedDescriptor() {
        if (descriptor != nullptr) LocalFree(descriptor);
    }
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
    PSECURITY_DESCRIPTOR descriptor;
};

// A well-known SID in a buffer of the largest SID's size.
class WellKnownSid {
public:
    explicit WellKnownSid(WELL_KNOWN_SID_TYPE type) : bytes_{} {
        DWORD size = sizeof bytes_;
        made_ = CreateWellKnownSid(type, nullptr, bytes_, &size) != 0;
    }
    PSID Get() { return made_ ? static_cast<PSID>(bytes_) : nullptr; }

private:
    alignas(DWORD) BYTE bytes_[SECURITY_MAX_SID_SIZE];
    bool made_;
};

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The delete disposition of an open file: set, a file goes when its last
// handle closes; cleared, it stays. Setting it is how Windows tells whether
// the file can go at all: a program running from it (its image mapped)
// cannot, nor can a read-only file. XP has no SetFileInformationByHandle.
bool SetDeletion(HANDLE file, bool deletion) {
    FILE_DISPOSITION_INFORMATION disposition;
    disposition.DoDeleteFile = deletion ? TRUE : FALSE;
    IO_STATUS_BLOCK status;
    return NT_SUCCESS(NtSetInformationFile(file, &status, &disposition, sizeof disposition,
                                           FileDispositionInformation));
}

// The attributes of an open file (zero times leave the times alone).
bool SetAttributes(HANDLE file, uint32_t attributes) {
    FILE_BASIC_INFORMATION basic = {};
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    IO_STATUS_BLOCK status;
    return NT_SUCCESS(
        NtSetInformationFile(file, &status, &basic, sizeof basic, FileBasicInformation));
}

// Renames an open file (opened with DELETE access) to target, a whole
// path: through the handle, so that it is this file that moves, whatever
// the old name holds meanwhile. replace: a file of the new name is
// replaced (not one held open). The last error says why not.
bool RenameOpen(HANDLE file, const char* target, bool replace) {
    // The new name as the system's own path: "\??\" and the whole path.
    const WCHAR prefix[] = L"\\??\\";
    const int32_t prefixLength = sizeof prefix / sizeof prefix[0] - 1;
    const int32_t room = prefixLength + kPathCapacity;
    union {
        FILE_RENAME_INFORMATION info;
        BYTE bytes[sizeof(FILE_RENAME_INFORMATION) + room * sizeof(WCHAR)];
    } rename = {};
    WCHAR* name = reinterpret_cast<WCHAR*>(rename.bytes + offsetof(FILE_RENAME_INFORMATION, FileName));
    for (int32_t i = 0; i < prefixLength; ++i) name[i] = prefix[i];
    const int n = MultiByteToWideChar(CP_ACP, 0, target, -1, name + prefixLength, room - prefixLength);
    if (n <= 1) return false;
    rename.info.ReplaceIfExists = replace ? TRUE : FALSE;
    rename.info.FileNameLength = static_cast<ULONG>((prefixLength + n - 1) * sizeof(WCHAR));
    IO_STATUS_BLOCK status;
    const NTSTATUS result =
        NtSetInformationFile(file, &status, &rename, sizeof rename, FileRenameInformation);
    if (NT_SUCCESS(result)) return true;
    SetLastError(RtlNtStatusToDosError(result));
    return false;
}

// A file of the folder that the emptying deals with: not a subfolder, not
// ".", "..", nor any name that begins with a point.
bool IsEmptied(const WIN32_FIND_DATAW& found) {
    return found.cFileName[0] != L'.' && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A found name in the ANSI code page, for a message: what it cannot spell
// shows as the system's default character.
void NameForMessage(const wchar_t* name, char* out, int32_t capacity) {
    char ansi[2 * MAX_PATH];
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, ansi, sizeof ansi, nullptr, nullptr) == 0) {
        ansi[0] = 0;
    }
    TextCopy(out, ansi, capacity, nullptr);
}

// The search handle of a listing, closed on every way out.
class Listing {
public:
    explicit Listing(WIN32_FIND_DATAW* found) : handle_(FindFirstFileW(L"*", found)) {}
    ~Listing() {
        if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Next(WIN32_FIND_DATAW* found) { return FindNextFileW(handle_, found) != 0; }

private:
    HANDLE handle_;
};

}  // namespace

int32_t CtHandleList::Add(HANDLE handle, uint32_t attributes, const char* name) {
    if (count == room) {
        const int32_t more = room == 0 ? 16 : 2 * room;
        const SIZE_T bytes = static_cast<SIZE_T>(more) * sizeof(Item);
        void* grown = items == nullptr ? HeapAlloc(GetProcessHeap(), 0, bytes)
                                       : HeapReAlloc(GetProcessHeap(), 0, items, bytes);
        if (grown == nullptr) {
            CloseHandle(handle);
            return 0;
        }
        items = static_cast<Item*>(grown);
        room = more;
    }
    Item& item = items[count++];
    item.handle = handle;
    item.attributes = attributes;
    item.name[0] = 0;
    if (name != nullptr) TextCopy(item.name, name, sizeof item.name, nullptr);
    return 1;
}

void CtHandleList::CloseAll() {
    for (int32_t i = 0; i < count; ++i) {
        if (items[i].handle != nullptr) CloseHandle(items[i].handle);
    }
    if (items != nullptr) HeapFree(GetProcessHeap(), 0, items);
    items = nullptr;
    count = 0;
    room = 0;
}

CtTempFolder::CtTempFolder() : path{}, mutex_(nullptr), folder_(nullptr) {}

CtTempFolder::~CtTempFolder() { Release(); }

int32_t CtTempFolder::Lock() {
    if (mutex_ != nullptr) return 1;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kRunMutexName);
    // No mutex to be had (the name taken by an object of another kind, or
    // by someone who denies us): as good as held by another run.
    if (mutex == nullptr) return 0;
    // Abandoned: the run that held it ended without letting go (it was
    // killed); its leftovers are emptied like any others.
    const DWORD got = WaitForSingleObject(mutex, 0);
    if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return 0;
    }
    mutex_ = mutex;
    return 1;
}

int32_t CtTempFolder::Open() {
    path[0] = 0;
    // Paths are built from the folder in buffers of kPathCapacity: refuse a
    // temporary path that would leave no room for "\tmp_vel" and a name,
    // before anything is deleted, rather than cut a path into another one.
    if (AnsiTempPath(path, kPathCapacity) == 0) return 0;
    const int32_t n = TextLength(path);
    if ((n == 0 || path[n - 1] != '\\') && TextAppendBounded(path, kPathCapacity, "\\") < 0) {
        path[0] = 0;
        return 0;
    }
    if (TextAppendBounded(path, kPathCapacity, kCtFolderName) < 0 ||
        TextLength(path) + 1 + (kCtNameCapacity - 1) > kPathCapacity - 1) {
        path[0] = 0;
        return 0;
    }
    for (int32_t attempt = 0; attempt < kAttempts; ++attempt) {
        CreateDirectoryA(path, nullptr);
        // The path's own attributes: Wine shows a link to a folder as a
        // reparse point only here, not on an open handle.
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        // A file in the way is not ours to move.
        if (!link && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 0;
        if (!link) {
            const Taken taken = Take();
            if (taken == kTaken) return 1;
            if (taken == kFailed) return 0;
        }
        if (MoveAside(link) == 0) return 0;
    }
    return 0;
}

CtTempFolder::Taken CtTempFolder::Take() {
    // The name itself, not what a link there points at; without delete
    // sharing, so that nobody renames or replaces the folder while it is
    // held (nor, on Windows, any folder above it).
    ScopedHandle folder(CreateFileA(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    if (!folder.Valid()) return kNotOurs;
    BY_HANDLE_FILE_INFORMATION held;
    if (!GetFileInformationByHandle(folder.Get(), &held)) return kNotOurs;
    if ((held.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (held.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return kNotOurs;
    }
    if (OwnedByTrustee(folder.Get()) == 0) return kNotOurs;
    // The current directory is looked up by path once more: it must be the
    // folder just checked, which can no longer be renamed.
    if (!SetCurrentDirectoryA(path)) return kFailed;
    ScopedHandle current(CreateFileA(".", FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION seen;
    if (!current.Valid() || !GetFileInformationByHandle(current.Get(), &seen) ||
        !SameFile(held, seen)) {
        return kFailed;
    }
    folder_ = folder.Release();
    return kTaken;
}

int32_t CtTempFolder::OwnedByTrustee(HANDLE folder) const {
    PSID owner = nullptr;
    ScopedDescriptor descriptor;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor.descriptor) != ERROR_SUCCESS ||
        owner == nullptr) {
        // Only a volume without owners (FAT) has nothing to tell.
        char root[MAX_PATH];
        DWORD flags = FILE_PERSISTENT_ACLS;
        if (!GetVolumePathNameA(path, root, sizeof root) ||
            !GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
            return 0;
        }
        return (flags & FILE_PERSISTENT_ACLS) == 0 ? 1 : 0;
    }
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
    ScopedHandle tokenOwner(token);
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } user;
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, &user, sizeof user, &size)) return 0;
    WellKnownSid administrators(WinBuiltinAdministratorsSid);
    BOOL administrator = FALSE;
    if (administrators.Get() == nullptr ||
        !CheckTokenMembership(nullptr, administrators.Get(), &administrator)) {
        administrator = FALSE;
    }
    return TrustedOwner(owner, user.user.User.Sid, administrator ? 1 : 0);
}

int32_t CtTempFolder::TrustedOwner(PSID owner, PSID user, int32_t administrator) {
    if (owner == nullptr || !IsValidSid(owner)) return 0;
    if (user != nullptr && EqualSid(owner, user)) return 1;
    if (administrator == 0) return 0;
    WellKnownSid administrators(WinBuiltinAdministratorsSid);
    WellKnownSid system(WinLocalSystemSid);
    return (administrators.Get() != nullptr && EqualSid(owner, administrators.Get())) ||
                   (system.Get() != nullptr && EqualSid(owner, system.Get()))
               ? 1
               : 0;
}

int32_t CtTempFolder::MoveAside(bool link) const {
    // The name itself is opened and renamed through that handle: a link
    // is moved, never what it points at.
    ScopedHandle moved(CreateFileA(path, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!moved.Valid() || !GetFileInformationByHandle(moved.Get(), &info)) return 0;
    // A system that opens what a link points at even so (Wine) would move
    // the target: the run stops instead.
    if (link && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return 0;
    // "tmp_vel.<process>.<tick>" beside it: the link or folder keeps what it
    // holds, under a name nobody relies on.
    char aside[kPathCapacity];
    char digits[13];
    TextCopy(aside, path, sizeof aside, nullptr);
    TextAppendBounded(aside, sizeof aside, ".");
    TextAppendBounded(aside, sizeof aside, NumberToText(GetCurrentProcessId(), digits, 16));
    TextAppendBounded(aside, sizeof aside, ".");
    TextAppendBounded(aside, sizeof aside, NumberToText(GetTickCount(), digits, 16));
    return RenameOpen(moved.Get(), aside, false) ? 1 : 0;
}

int32_t CtTempFolder::Rename(HANDLE file, const char* name) const {
    char target[kPathCapacity];
    TextCopy(target, path, sizeof target, nullptr);
    if (TextAppendBounded(target, sizeof target, "\\") < 0 ||
        TextAppendBounded(target, sizeof target, name) < 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    return RenameOpen(file, target, true) ? 1 : 0;
}

int32_t CtTempFolder::Empty(char* left, int32_t capacity) {
    if (left != nullptr && capacity > 0) left[0] = 0;
    // First every file is taken for deletion and asked whether it can go,
    // without going: opened without sharing (so none is in use), its
    // read-only mark cleared, its delete disposition set and cleared again.
    // Only when all can go, all go.
    CtHandleList taken;
    WIN32_FIND_DATAW found;
    {
        Listing listing(&found);
        bool more = listing.Valid();
        for (; more; more = listing.Next(&found)) {
            if (!IsEmptied(found)) continue;
            // The name itself: a link is deleted, never what it points at.
            HANDLE file = CreateFileW(found.cFileName,
                                      DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (file == INVALID_HANDLE_VALUE) break;
            const uint32_t attributes = found.dwFileAttributes;
            const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
            if (!taken.Add(file, readOnly ? attributes : 0, nullptr)) break;
            if (readOnly && !SetAttributes(file, attributes & ~FILE_ATTRIBUTE_READONLY)) break;
            if (!SetDeletion(file, true)) break;
            SetDeletion(file, false);
        }
        if (more) {
            // One file cannot go: everything stays as it was.
            for (int32_t i = 0; i < taken.count; ++i) {
                if (taken.items[i].attributes != 0) {
                    SetAttributes(taken.items[i].handle, taken.items[i].attributes);
                }
            }
            NameForMessage(found.cFileName, left, capacity);
            return 0;
        }
    }
    for (int32_t i = 0; i < taken.count; ++i) SetDeletion(taken.items[i].handle, true);
    taken.CloseAll();
    // Whatever is left now (a file made meanwhile) is named.
    Listing again(&found);
    for (bool more = again.Valid(); more; more = again.Next(&found)) {
        if (!IsEmptied(found)) continue;
        NameForMessage(found.cFileName, left, capacity);
        return 0;
    }
    return 1;
}

int32_t CtTempFolder::Hold(HANDLE file, const char* name) {
    return held_.Add(file, 0, name);
}

void CtTempFolder::Unhold(const char* name) {
    const int32_t length = TextLength(name);
    for (int32_t i = 0; i < held_.count; ++i) {
        CtHandleList::Item& item = held_.items[i];
        // Names differ only in case: the same file.
        if (item.handle == nullptr || TextLength(item.name) != length ||
            TextFind(item.name, name, 0, 0) != 1) {
            continue;
        }
        CloseHandle(item.handle);
        item.handle = nullptr;
    }
}

void CtTempFolder::Release() {
    held_.CloseAll();
    if (folder_ != nullptr) {
        CloseHandle(folder_);
        folder_ = nullptr;
    }
    if (mutex_ != nullptr) {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
        mutex_ = nullptr;
    }
}
