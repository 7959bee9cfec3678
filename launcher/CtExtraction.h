// The extraction proper: the folder made the run's own and emptied, then
// every entry of the archive written into it, each decoded straight into
// its file in memory that does not grow with it. It touches no window: the
// extraction dialog runs it on a worker thread and shows its progress.
//
// Where the process may use two processors, a second thread walks the
// entries ahead of the first and produces their contents (decoded, or
// stored) into a ring of blocks (CtBlockRing), while the first writes them:
// the same files in the same order, the same stop at the first entry that
// cannot be written whole, in memory that does not grow either. On one
// processor one thread does both, block by block.
#ifndef VEL_LAUNCHER_CTEXTRACTION_H
#define VEL_LAUNCHER_CTEXTRACTION_H

#include <windows.h>

#include <cstdint>

class CtArchive;
class CtBlockRing;
class CtEntry;
class CtSink;
class CtContentDecoder;
class CtTempFolder;

// How an extraction ended, for the message and exit code of the run; the
// caller's, since it outlives the dialog.
struct CtExtractReport {
    enum : int32_t {
        kDone = 0,         // every entry written (or the extraction never ran)
        kNoFolder = 1,     // no usable temporary folder: nothing deleted or written
        kEntryFailed = 2,  // an entry could not be written whole (name, error)
        kInUse = 3,        // a file of the folder could not be deleted (name)
        kInterrupted = 4,  // asked to stop: no half file stays
    };
    int32_t failure = kDone;
    char name[256] = {};  // the entry that failed, or the file that stays
    uint32_t error = 0;   // why the entry failed: the system's error code
    // Whether this run wrote install.exe, and the program of the plan:
    // only what the run wrote is started.
    int32_t wroteInstaller = 0;
    int32_t wroteProgram = 0;
};

// Told how far the writing has come.
class CtProgress {
public:
    // The share of the unpacked bytes written, in thousandths; called on
    // the extraction's thread, each time the share grows.
    virtual void Advanced(int32_t permille) = 0;

protected:
    ~CtProgress() = default;
};

class CtExtraction {
public:
    // program: the plan's program name (empty: none). progress may be null.
    CtExtraction(CtTempFolder* folder, const CtArchive* archive, const char* program,
                 CtExtractReport* report, CtProgress* progress);

    // Opens the folder (CtTempFolder::Open), empties it (all or nothing),
    // and writes the entries. 1 when every entry was written. 0 as the
    // report says: no usable folder, a file that would not go, the first
    // entry that could not be written whole, or a stop. Entries whose names
    // leave the folder or name a device are skipped, and logged ("Nom
    // refusé : name", channels 69 and 0).
    //
    // Each entry is written under a temporary name, given its time, renamed
    // to its own name and held open (CtTempFolder::Hold): a file is under
    // its name only whole, and stays so until the programs have started. A
    // failed or stopped entry leaves nothing behind; a run killed meanwhile
    // leaves a temporary file that the next run's emptying removes.
    int32_t Run();
    // Asks Run to stop at the next piece it writes, removing the entry's
    // temporary file (kInterrupted); from any thread.
    void Stop();

private:
    class FileSink;
    class RingSink;
    class Ahead;

    int32_t WriteEntry(int32_t index, const char* name, const char* info, int32_t unpacked,
                       CtContentDecoder* decoder);
    // Hands the entry's content to sink: 1 when all of its unpacked bytes
    // went; else 0, with the reason in *error.
    static int32_t WriteContent(const CtEntry& entry, int32_t unpacked, CtContentDecoder* decoder,
                                CtSink* sink, uint32_t* error);
    // The second thread's work: the contents of the entries that Run
    // writes, in its order, into the ring, up to the first that cannot be
    // had whole.
    void Produce();
    // WriteContent for the writing thread, from the ring.
    int32_t TakeContent(CtSink* sink, uint32_t* error);
    // Counts written bytes towards the progress.
    void Written(int32_t bytes);
    int32_t Failed(int32_t failure, const char* name, uint32_t error);
    bool Stopped() const;

    CtTempFolder* folder_;
    const CtArchive* archive_;
    const char* program_;
    CtExtractReport* report_;
    CtProgress* progress_;
    CtBlockRing* ring_;  // null while one thread does all
    volatile LONG stop_;
    int64_t total_;
    int64_t written_;
    int32_t permille_;
};

#endif
