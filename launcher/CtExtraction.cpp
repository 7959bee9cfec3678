#include "launcher/CtExtraction.h"

#include <cstring>
#include <winternl.h>

#include "archive/CtArchive.h"
#include "archive/CtDecompress.h"
#include "archive/CtFormat.h"
#include "archive/CtContentDecoder.h"
#include "launcher/CtBlockRing.h"
#include "launcher/CtTempFolder.h"
#include "launcher/EntryName.h"
#include "services/HFile.h"
#include "services/LogRouting.h"
#include "services/Text.h"

namespace {

// A complemented stored content is turned back in pieces of this size, on
// the stack; a plain one is written in pieces of kPlainPiece straight from
// the archive, so that progress and a stop are seen within a piece.
const int32_t kStoredPiece = 4096;
const int32_t kPlainPiece = 1 << 20;

// An entry's temporary name is one character longer than any entry name
// (63 at most), so it is never one of them, and carries the entry's index,
// so that two entries of a run never share it: "~vel" and eight hex
// digits, then '~' up to ".tmp".
const int32_t kTemporaryLength = kCtNameCapacity;

void TemporaryName(int32_t index, char* name) {
    for (int32_t i = 0; i < kTemporaryLength; ++i) name[i] = '~';
    name[1] = 'v';
    name[2] = 'e';
    name[3] = 'l';
    const uint32_t value = static_cast<uint32_t>(index);
    for (int32_t digit = 0; digit < 8; ++digit) {
        name[4 + digit] = "0123456789abcdef"[(value >> (28 - 4 * digit)) & 0xF];
    }
    TextCopy(name + kTemporaryLength - 4, ".tmp", 5, nullptr);
}

// Names that differ only in case name one file.
bool SameName(const char* name, const char* other) {
    return other[0] != 0 && TextLength(name) == TextLength(other) &&
           TextFind(name, other, 0, 0) == 1;
}

// What tells the file just written from any other put in its place: its
// number on the volume, its size and its write time. The volume needs no
// comparing: both handles come from names in the one folder the run holds,
// and a link there is opened as itself. These queries only look at the open
// file, where GetFileInformationByHandle also asks the volume for its serial
// number, a round trip to another process under Wine, twice per file.
struct FileIdentity {
    LARGE_INTEGER index;
    LARGE_INTEGER size;
    LARGE_INTEGER written;
};

bool ReadIdentity(HANDLE file, FileIdentity* identity) {
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION internal;
    FILE_STANDARD_INFORMATION standard;
    FILE_BASIC_INFORMATION basic;
    if (!NT_SUCCESS(NtQueryInformationFile(file, &status, &internal, sizeof internal,
                                           FileInternalInformation)) ||
        !NT_SUCCESS(NtQueryInformationFile(file, &status, &standard, sizeof standard,
                                           FileStandardInformation)) ||
        !NT_SUCCESS(NtQueryInformationFile(file, &status, &basic, sizeof basic,
                                           FileBasicInformation))) {
        return false;
    }
    identity->index = internal.IndexNumber;
    identity->size = standard.EndOfFile;
    identity->written = basic.LastWriteTime;
    return true;
}

bool SameFile(const FileIdentity& written, const FileIdentity& seen) {
    return written.index.QuadPart == seen.index.QuadPart &&
           written.size.QuadPart == seen.size.QuadPart &&
           written.written.QuadPart == seen.written.QuadPart;
}

// Logged for an entry the launcher does not write, with its name.
const char kSkippedText[] = "Nom refus\xE9 : ";

// The ring between the two threads: kAheadSlots blocks of kAheadBlock
// bytes, a megabyte in all. A block gathers several of the decoder's
// pieces, so that the threads meet (a wait and a release on each side) and
// the file is written once per quarter megabyte, not per piece; four let
// the second thread go on decoding through the writing thread's work on
// each file (its creation, time, renaming and holding).
const int32_t kAheadSlots = 4;
const int32_t kAheadBlock = 1 << 18;

// Whether the process may run on two processors or more: more than one bit
// of its affinity set.
bool TwoProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return false;
    return (process & (process - 1)) != 0;
}

}  // namespace

// Writes each piece of a content into the entry's file, whole or not at
// all, counting it towards the progress; answers 0 (stopping the decoder)
// once the extraction is asked to stop.
class CtExtraction::FileSink final : public CtSink {
public:
    FileSink(CtExtraction* extraction, H_FILE* file)
        : error(0), extraction_(extraction), file_(file) {}
    int32_t Write(const uint8_t* data, int32_t length) override {
        if (extraction_->Stopped()) return 0;
        if (file_->Write(data, length) != static_cast<uint32_t>(length)) {
            // A write that reports success with fewer bytes: the disk is full.
            error = file_->lastError != 0 ? file_->lastError : ERROR_DISK_FULL;
            return 0;
        }
        extraction_->Written(length);
        return 1;
    }

    uint32_t error;  // the system's answer to a write that failed

private:
    CtExtraction* extraction_;
    H_FILE* file_;
};

// Gathers the pieces of each content into the ring's blocks, handing each
// on when it is full and the last one with the content's end; answers 0
// (stopping the decoder) once the writing thread has given up.
class CtExtraction::RingSink final : public CtSink {
public:
    explicit RingSink(CtBlockRing* ring) : ring_(ring), slot_(nullptr) {}
    int32_t Write(const uint8_t* data, int32_t length) override {
        while (length > 0) {
            if (slot_ == nullptr && !Begin()) return 0;
            const int32_t room = ring_->size - slot_->length;
            const int32_t n = length < room ? length : room;
            std::memcpy(slot_->data + slot_->length, data, static_cast<size_t>(n));
            slot_->length += n;
            data += n;
            length -= n;
            if (slot_->length == ring_->size) Hand(false, 0, 0);
        }
        return 1;
    }

    // The content's end, in the block that holds its last bytes: false
    // once the writing thread has given up.
    bool End(int32_t result, uint32_t error) {
        if (slot_ == nullptr && !Begin()) return false;
        Hand(true, result, error);
        return true;
    }

private:
    bool Begin() {
        slot_ = ring_->Free();
        if (slot_ == nullptr) return false;
        slot_->length = 0;
        return true;
    }
    void Hand(bool ends, int32_t result, uint32_t error) {
        slot_->ends = ends;
        slot_->result = result;
        slot_->error = error;
        ring_->Put();
        slot_ = nullptr;
    }

    CtBlockRing* ring_;
    CtBlockRing::Slot* slot_;  // the block being filled
};

// The second thread, started with a ready ring: on the way out of Run,
// whichever way that is, the writing thread lets it go and waits for its
// end, so that it never outlives the ring, the archive or the report.
class CtExtraction::Ahead {
public:
    Ahead(CtExtraction* extraction, CtBlockRing* ring) : extraction_(extraction), thread_(nullptr) {
        if (!ring->Ready()) return;
        extraction->ring_ = ring;
        thread_ = CreateThread(nullptr, 0, Work, extraction, 0, nullptr);
        if (thread_ == nullptr) extraction->ring_ = nullptr;
    }
    ~Ahead() {
        if (thread_ == nullptr) return;
        extraction_->ring_->Abandon();
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        extraction_->ring_ = nullptr;
    }
    Ahead(const Ahead&) = delete;
    Ahead& operator=(const Ahead&) = delete;

private:
    static DWORD WINAPI Work(void* extraction) {
        static_cast<CtExtraction*>(extraction)->Produce();
        return 0;
    }

    CtExtraction* extraction_;
    HANDLE thread_;
};

CtExtraction::CtExtraction(CtTempFolder* folder, const CtArchive* archive, const char* program,
                           CtExtractReport* report, CtProgress* progress)
    : folder_(folder),
      archive_(archive),
      program_(program != nullptr ? program : ""),
      report_(report),
      progress_(progress),
      ring_(nullptr),
      stop_(0),
      total_(0),
      written_(0),
      permille_(0) {}

void CtExtraction::Stop() { InterlockedExchange(&stop_, 1); }

bool CtExtraction::Stopped() const {
    return InterlockedCompareExchange(const_cast<LONG*>(&stop_), 0, 0) != 0;
}

int32_t CtExtraction::Run() {
    // Stopped before it began: nothing is touched.
    if (Stopped()) return Failed(CtExtractReport::kInterrupted, "", 0);
    if (!folder_->Open()) return Failed(CtExtractReport::kNoFolder, "", 0);
    char left[sizeof report_->name];
    if (!folder_->Empty(left, sizeof left)) return Failed(CtExtractReport::kInUse, left, 0);

    // The progress counts the unpacked bytes of the entries to be written.
    char name[kCtNameCapacity];
    char info[kCtInfoCapacity];
    int32_t unpacked = 0;
    for (int32_t i = 0; archive_->GetEntry(i, name, sizeof name, nullptr, 0, nullptr, &unpacked);
         ++i) {
        if (EntryNameStaysInside(name)) total_ += unpacked;
    }

    // The contents come from a second thread where two processors can share
    // the work, else from this one. One decoder for every entry, of either
    // codec, in the thread that produces the contents: its blocks (and a
    // Zstandard frame's window), and the ring's, are all the memory the
    // writing takes, whatever the size of the entries. Without them a
    // compressed entry fails as one whose memory cannot be had. (A block of
    // 0 takes none: this thread's, when it only writes.)
    CtBlockRing ring(TwoProcessors() ? kAheadSlots : 0, kAheadBlock);
    const Ahead ahead(this, &ring);
    CtContentDecoder decoder(ring_ != nullptr ? 0 : CtStreamDecoder::kDefaultBlock);
    for (int32_t i = 0;; ++i) {
        if (Stopped()) return Failed(CtExtractReport::kInterrupted, "", 0);
        info[0] = 0;
        if (!archive_->GetEntry(i, name, sizeof name, info, sizeof info, nullptr, &unpacked)) break;
        if (!EntryNameStaysInside(name)) {
            int32_t at = 0;
            TextCopy(LogTextBuffer, kSkippedText, sizeof LogTextBuffer, &at);
            TextCopy(LogTextBuffer, name, sizeof LogTextBuffer, &at);
            SendLog(kLogArchive, LogTextBuffer);
            continue;
        }
        if (!WriteEntry(i, name, info, unpacked, &decoder)) return 0;
        if (SameName(name, kCtInstaller)) report_->wroteInstaller = 1;
        if (SameName(name, program_)) report_->wroteProgram = 1;
    }
    if (progress_ != nullptr && permille_ < 1000) progress_->Advanced(1000);
    return 1;
}

int32_t CtExtraction::WriteEntry(int32_t index, const char* name, const char* info,
                                 int32_t unpacked, CtContentDecoder* decoder) {
    CtEntry entry;
    if (!archive_->EntryAt(index, &entry)) {
        return Failed(CtExtractReport::kEntryFailed, name, ERROR_INVALID_DATA);
    }
    // A folder part would lead through a subfolder that nobody checked (a
    // link someone made there): only bare names are written.
    if (TextFind(name, "\\", 1, 0) != 0 || TextFind(name, "/", 1, 0) != 0) {
        return Failed(CtExtractReport::kEntryFailed, name, ERROR_PATH_NOT_FOUND);
    }
    char temporary[kTemporaryLength + 1];
    TemporaryName(index, temporary);
    H_FILE file;
    // DELETE: renamed through this handle once whole, so that it is this
    // file that takes the name.
    if (!file.Open(temporary, CREATE_NEW, GENERIC_READ | GENERIC_WRITE | DELETE)) {
        return Failed(CtExtractReport::kEntryFailed, name, file.lastError);
    }
    FileSink sink(this, &file);
    uint32_t error = 0;
    const int32_t whole = ring_ != nullptr ? TakeContent(&sink, &error)
                                           : WriteContent(entry, unpacked, decoder, &sink, &error);
    if (!whole) {
        // Nothing that is not the content stays: no zeros where it did not
        // decode, no half file on a disk that filled up.
        file.Close();
        DeleteFileA(temporary);
        if (Stopped()) return Failed(CtExtractReport::kInterrupted, name, 0);
        return Failed(CtExtractReport::kEntryFailed, name, sink.error != 0 ? sink.error : error);
    }
    file.SetWriteTime(info, 0);
    // A file held for an earlier entry of the same name would keep the
    // rename from replacing it; the later entry wins, as it always did.
    folder_->Unhold(name);
    if (!folder_->Rename(file.handle, name)) {
        const DWORD failed = GetLastError();
        file.Close();
        DeleteFileA(temporary);
        return Failed(CtExtractReport::kEntryFailed, name, failed);
    }
    // Read under the new name: a file system whose file numbers follow the
    // directory entry (FAT) gives the one the name now has.
    FileIdentity written;
    const bool known = ReadIdentity(file.handle, &written);
    file.Close();
    if (!known) return Failed(CtExtractReport::kEntryFailed, name, ERROR_GEN_FAILURE);
    // Held from now on, with read sharing only. Between the close and this
    // open another program could have put a file of its own in its place,
    // or written into it: it must be the file just written, as it was.
    HANDLE held = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return Failed(CtExtractReport::kEntryFailed, name, GetLastError());
    }
    FileIdentity seen;
    if (!ReadIdentity(held, &seen) || !SameFile(written, seen)) {
        CloseHandle(held);
        // Another program had it in hand.
        return Failed(CtExtractReport::kEntryFailed, name, ERROR_SHARING_VIOLATION);
    }
    if (!folder_->Hold(held, name)) {
        return Failed(CtExtractReport::kEntryFailed, name, ERROR_NOT_ENOUGH_MEMORY);
    }
    return 1;
}

int32_t CtExtraction::WriteContent(const CtEntry& entry, int32_t unpacked,
                                   CtContentDecoder* decoder, CtSink* sink, uint32_t* error) {
    const uint8_t* content = entry.Content();
    const int32_t stored = entry.ContentLength();
    *error = ERROR_INVALID_DATA;
    if (CtContentOf(entry.method) != kCtContentStored) {
        // Decoded block by block: the memory does not grow with the entry.
        CtCompressExcept failure;
        if (decoder->Decode(entry.method, content, stored, unpacked, sink, &failure) == unpacked) {
            return 1;
        }
        if (failure.code == kCtErrorMemory) *error = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    if (stored != unpacked) return 0;
    const bool complemented = entry.method == kCtMethodComplemented;
    const int32_t pieceSize = complemented ? kStoredPiece : kPlainPiece;
    uint8_t piece[kStoredPiece];
    for (int32_t at = 0; at < stored;) {
        const int32_t n = stored - at < pieceSize ? stored - at : pieceSize;
        const uint8_t* data = content + at;
        if (complemented) {
            for (int32_t k = 0; k < n; ++k) piece[k] = static_cast<uint8_t>(~content[at + k]);
            data = piece;
        }
        if (!sink->Write(data, n)) return 0;
        at += n;
    }
    return 1;
}

void CtExtraction::Produce() {
    CtContentDecoder decoder;
    RingSink sink(ring_);
    CtEntry entry;
    char name[kCtNameCapacity];
    // The entries that Run writes, in its order: those GetEntry answers for
    // (EntryAt, then the checkword; its log is Run's to give) whose names
    // stay inside the folder. Each content ends in a block that says
    // whether it came whole, and why not.
    for (int32_t i = 0; archive_->EntryAt(i, &entry) && entry.Checkword() == entry.checkword;
         ++i) {
        entry.ReadName(name, sizeof name);
        if (!EntryNameStaysInside(name)) continue;
        uint32_t error = 0;
        const int32_t whole = WriteContent(entry, entry.unpackedSize, &decoder, &sink, &error);
        if (!sink.End(whole, error) || !whole) break;
    }
    ring_->Finish();
}

int32_t CtExtraction::TakeContent(CtSink* sink, uint32_t* error) {
    *error = ERROR_INVALID_DATA;
    for (;;) {
        const CtBlockRing::Slot* slot = ring_->Take();
        // The second thread ended before this content's end: nothing more
        // comes.
        if (slot == nullptr) return 0;
        const bool written = slot->length == 0 || sink->Write(slot->data, slot->length) != 0;
        const bool ends = slot->ends;
        const int32_t whole = slot->result;
        if (ends) *error = slot->error;
        ring_->Give();
        if (!written) return 0;
        if (ends) return whole;
    }
}

void CtExtraction::Written(int32_t bytes) {
    written_ += bytes;
    if (progress_ == nullptr || total_ <= 0) return;
    const int32_t permille = static_cast<int32_t>(written_ * 1000 / total_);
    if (permille <= permille_) return;
    permille_ = permille;
    progress_->Advanced(permille);
}

int32_t CtExtraction::Failed(int32_t failure, const char* name, uint32_t error) {
    report_->failure = failure;
    report_->error = error;
    TextCopy(report_->name, name, sizeof report_->name, nullptr);
    return 0;
}
