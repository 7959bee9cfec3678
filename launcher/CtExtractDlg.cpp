#include "launcher/CtExtractDlg.h"

#include "archive/CtArchive.h"
#include "archive/CtMem.h"
#include "services/FileList.h"
#include "services/HFile.h"
#include "services/Text.h"

namespace {

const int32_t kStatusControl = 20;
const int32_t kExtractCommand = 100;
// Every path of the extraction is built in buffers of this size.
const int32_t kPathCapacity = 256;
// Entry names are read with a capacity of 64.
const int32_t kNameCapacity = 64;
const int32_t kInfoCapacity = 128;
// The block of an entry holds ten zero bytes behind its content.
const int32_t kSpareBytes = 10;

const char kFolderName[] = "tmp_vel";

bool EndsWithBackslash(const char* text) {
    const int32_t n = TextLength(text);
    return n > 0 && text[n - 1] == '\\';
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, alone or before an extension: names
// that open a device wherever they stand.
bool IsDeviceName(const char* part, int32_t length) {
    int32_t base = 0;
    while (base < length && part[base] != '.') ++base;
    while (base > 0 && part[base - 1] == ' ') --base;
    char n[5] = {0};
    if (base != 3 && base != 4) return false;
    for (int32_t i = 0; i < base; ++i) n[i] = Upper(part[i]);
    if (base == 3) {
        return TextEqualN(3, n, "CON") || TextEqualN(3, n, "PRN") || TextEqualN(3, n, "AUX") ||
               TextEqualN(3, n, "NUL");
    }
    return (TextEqualN(3, n, "COM") || TextEqualN(3, n, "LPT")) && n[3] >= '1' && n[3] <= '9';
}

}  // namespace

CtExtractDlg::CtExtractDlg(FEN_OBJ* parent, char* folder, int32_t capacity,
                           const CtArchive* archive)
    : M_DIALOG(parent, "AUTO_IST"),
      status(nullptr),
      folder(folder),
      capacity(capacity),
      archive(archive) {}

CtExtractDlg::~CtExtractDlg() {}

void CtExtractDlg::OnInitDialog(MessageRecord*) {
    Centre(0, 0);
    ShowWindow(GetDlgItem(window, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(window, IDCANCEL), SW_HIDE);
    status = GetDlgItem(window, kStatusControl);
    SetWindowTextA(status, "... pr\xE9" "paration de l'installation ...");
    PostMessageA(window, WM_COMMAND, kExtractCommand, 0);
}

void CtExtractDlg::DoCommand(MessageRecord* record) {
    if (LOWORD(record->wParam) != kExtractCommand) return;
    EndDialog(window, Extract() ? 1 : 0);
}

int32_t CtExtractDlg::NameStaysInside(const char* name) {
    if (name == nullptr || name[0] == 0) return 0;
    if (name[0] == '\\' || name[0] == '/') return 0;
    // A colon names a drive ("C:x" is relative to C:'s own current folder)
    // or a stream of another file.
    if (TextFind(name, ":", 1, 0) != 0) return 0;
    // Each component between separators: no "..", no device.
    const char* part = name;
    for (const char* p = name;; ++p) {
        if (*p == '\\' || *p == '/' || *p == 0) {
            const int32_t length = static_cast<int32_t>(p - part);
            if (length == 2 && part[0] == '.' && part[1] == '.') return 0;
            if (IsDeviceName(part, length)) return 0;
            if (*p == 0) return 1;
            part = p + 1;
        }
    }
}

int32_t CtExtractDlg::Extract() {
    if (folder == nullptr || capacity < 2) return 0;
    // Paths are built from the folder in buffers of kPathCapacity: refuse a
    // temporary path that would leave no room for "\tmp_vel" and a name,
    // before anything is deleted, rather than cut a path into another one.
    const int32_t room = capacity < kPathCapacity ? capacity : kPathCapacity;
    const DWORD got = GetTempPathA(static_cast<DWORD>(room), folder);
    if (got == 0 || got >= static_cast<DWORD>(room)) {
        folder[0] = 0;
        return 0;
    }
    if (!EndsWithBackslash(folder) && TextAppendBounded(folder, room, "\\") < 0) return 0;
    if (TextAppendBounded(folder, room, kFolderName) < 0) return 0;
    if (TextLength(folder) + 1 + (kNameCapacity - 1) > kPathCapacity - 1) return 0;

    if (!SetCurrentDirectoryA(folder)) {
        CreateDirectoryA(folder, nullptr);
        if (!SetCurrentDirectoryA(folder)) return 0;
    }

    char pattern[kPathCapacity];
    TextCopy(pattern, folder, sizeof pattern, nullptr);
    if (!EndsWithBackslash(pattern)) TextAppendBounded(pattern, sizeof pattern, "\\");
    TextAppendBounded(pattern, sizeof pattern, "*.*");

    // Empty the folder in passes of at most 20 files; subfolders and their
    // content stay. A file that cannot be deleted is counted, over the whole
    // emptying: once the failures reach the number of files a pass finds,
    // what is left is undeletable as far as this run can tell.
    CtFileBatch batch;
    int32_t failures = 0;
    for (;;) {
        batch.count = 0;
        ListFiles(pattern, &batch, CollectPath, 0, nullptr);
        if (batch.count == 0 || failures >= batch.count) break;
        for (int32_t i = batch.count - 1; i >= 0; --i) {
            // Clears a read-only mark, which would make the deletion fail.
            SetFileAttributesA(batch.paths[i], FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(batch.paths[i])) ++failures;
        }
    }

    // Write every entry, one block at a time. The block is zero-filled and
    // ten bytes longer than the content, which room a stored content's
    // terminator needs.
    for (int32_t i = 0;; ++i) {
        char name[kNameCapacity];
        int32_t unpacked = 0;
        if (!archive->GetEntry(i, name, sizeof name, nullptr, 0, nullptr, &unpacked)) break;
        CtMem block(CtMem::Padded(unpacked, kSpareBytes));
        if (!block.Held()) continue;
        char info[kInfoCapacity];
        info[0] = 0;
        int32_t length = unpacked;
        archive->GetEntry(i, name, sizeof name, info, sizeof info, block.data, &length);
        if (!NameStaysInside(name)) continue;
        H_FILE file;
        if (!file.Open(name, CREATE_ALWAYS, GENERIC_READ | GENERIC_WRITE)) continue;
        file.Write(block.data, unpacked);
        file.SetWriteTime(info, 0);
    }
    return 1;
}
