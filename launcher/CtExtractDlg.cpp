#include "launcher/CtExtractDlg.h"

#include "archive/CtArchive.h"
#include "archive/CtDecompress.h"
#include "archive/CtFormat.h"
#include "archive/CtStreamDecoder.h"
#include "launcher/AnsiTempPath.h"
#include "launcher/EntryName.h"
#include "launcher/StubResources.h"
#include "services/FileList.h"
#include "services/HFile.h"
#include "services/LogRouting.h"
#include "services/Text.h"

namespace {

const int32_t kExtractCommand = 100;
// Every path of the extraction is built in buffers of this size.
const int32_t kPathCapacity = 256;

// A stored content is complemented in pieces of this size.
const int32_t kStoredPiece = 4096;

// Writes each piece of a content into the entry's file, whole or not at all.
class FileSink final : public CtSink {
public:
    explicit FileSink(H_FILE* file) : file_(file) {}
    int32_t Write(const uint8_t* data, int32_t length) override {
        return file_->Write(data, length) == static_cast<uint32_t>(length) ? 1 : 0;
    }

private:
    H_FILE* file_;
};

// Logged for an entry the launcher does not write, with its name.
const char kSkippedText[] = "Nom refus\xE9 : ";

bool EndsWithBackslash(const char* text) {
    const int32_t n = TextLength(text);
    return n > 0 && text[n - 1] == '\\';
}

}  // namespace

CtExtractDlg::CtExtractDlg(FEN_OBJ* parent, char* folder, int32_t capacity,
                           const CtArchive* archive, CtExtractReport* report)
    : M_DIALOG(parent, kStubDialog),
      status(nullptr),
      folder(folder),
      capacity(capacity),
      archive(archive),
      report(report) {}

CtExtractDlg::~CtExtractDlg() {}

void CtExtractDlg::OnInitDialog(MessageRecord*) {
    Centre(0, 0);
    ShowWindow(GetDlgItem(window, IDOK), SW_HIDE);
    ShowWindow(GetDlgItem(window, IDCANCEL), SW_HIDE);
    status = GetDlgItem(window, STUB_TEXT_CONTROL);
    SetWindowTextA(status, "... pr\xE9" "paration de l'installation ...");
    PostMessageA(window, WM_COMMAND, kExtractCommand, 0);
}

void CtExtractDlg::DoCommand(MessageRecord* record) {
    if (LOWORD(record->wParam) != kExtractCommand) return;
    EndDialog(window, Extract() ? 1 : 0);
}

int32_t CtExtractDlg::Extract() {
    if (folder == nullptr || capacity < 2) return NoFolder();
    // Paths are built from the folder in buffers of kPathCapacity: refuse a
    // temporary path that would leave no room for "\tmp_vel" and a name,
    // before anything is deleted, rather than cut a path into another one.
    const int32_t room = capacity < kPathCapacity ? capacity : kPathCapacity;
    if (AnsiTempPath(folder, room) == 0) return NoFolder();
    if (!EndsWithBackslash(folder) && TextAppendBounded(folder, room, "\\") < 0) return NoFolder();
    if (TextAppendBounded(folder, room, kCtFolderName) < 0) return NoFolder();
    if (TextLength(folder) + 1 + (kCtNameCapacity - 1) > kPathCapacity - 1) return NoFolder();

    if (!SetCurrentDirectoryA(folder)) {
        CreateDirectoryA(folder, nullptr);
        if (!SetCurrentDirectoryA(folder)) return NoFolder();
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

    // One decoder for every entry: its blocks are all the memory the
    // writing takes, whatever the size of the entries. Without them a
    // compressed entry fails as one whose memory cannot be had.
    CtStreamDecoder decoder;
    for (int32_t i = 0;; ++i) {
        char name[kCtNameCapacity];
        char info[kCtInfoCapacity];
        int32_t unpacked = 0;
        info[0] = 0;
        if (!archive->GetEntry(i, name, sizeof name, info, sizeof info, nullptr, &unpacked)) break;
        if (!EntryNameStaysInside(name)) {
            int32_t at = 0;
            TextCopy(LogTextBuffer, kSkippedText, sizeof LogTextBuffer, &at);
            TextCopy(LogTextBuffer, name, sizeof LogTextBuffer, &at);
            SendLog(kLogArchive, LogTextBuffer);
            continue;
        }
        if (!WriteEntry(i, name, info, unpacked, &decoder)) return EntryFailed(name);
    }
    return 1;
}

int32_t CtExtractDlg::WriteEntry(int32_t index, const char* name, const char* info,
                                 int32_t unpacked, CtStreamDecoder* decoder) {
    CtEntry entry;
    if (!archive->EntryAt(index, &entry)) return 0;
    H_FILE file;
    if (!file.Open(name, CREATE_ALWAYS, GENERIC_READ | GENERIC_WRITE)) return 0;
    FileSink sink(&file);
    if (!WriteContent(entry, unpacked, decoder, &sink)) {
        // Nothing that is not the content stays: no zeros where it did not
        // decode, no half file on a disk that filled up.
        file.Close();
        DeleteFileA(name);
        return 0;
    }
    file.SetWriteTime(info, 0);
    return 1;
}

int32_t CtExtractDlg::WriteContent(const CtEntry& entry, int32_t unpacked,
                                   CtStreamDecoder* decoder, CtSink* sink) {
    const uint8_t* content = entry.Content();
    const int32_t stored = entry.ContentLength();
    if ((entry.method & kCtMethodCompressed) != 0) {
        // Decoded block by block: the memory does not grow with the entry.
        CtCompressExcept error;
        return decoder->Decode(content, stored, unpacked, sink, &error) == unpacked ? 1 : 0;
    }
    if (stored != unpacked) return 0;
    if (entry.method != kCtMethodComplemented) return unpacked == 0 || sink->Write(content, stored);
    uint8_t piece[kStoredPiece];
    for (int32_t at = 0; at < stored;) {
        const int32_t n = stored - at < kStoredPiece ? stored - at : kStoredPiece;
        for (int32_t k = 0; k < n; ++k) piece[k] = static_cast<uint8_t>(~content[at + k]);
        if (!sink->Write(piece, n)) return 0;
        at += n;
    }
    return 1;
}

int32_t CtExtractDlg::NoFolder() {
    if (report != nullptr) report->failure = CtExtractReport::kNoFolder;
    return 0;
}

int32_t CtExtractDlg::EntryFailed(const char* name) {
    if (report != nullptr) {
        report->failure = CtExtractReport::kEntryFailed;
        TextCopy(report->name, name, sizeof report->name, nullptr);
    }
    return 0;
}
