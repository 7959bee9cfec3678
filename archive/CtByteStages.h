// The run and back-reference stages of the decoder as filters between sinks:
// each takes its input in pieces of any size, as the stage before it
// delivers them, expands it into a block of its own and hands every full
// block on to the next sink.
//
// A stage that meets damaged data keeps the code of its first error and
// takes no further notice of its input: the stages before it go on, since
// an error of theirs further on is the one to report (the whole-buffer
// decoder undoes one stage after the other). Write and Finish answer 0 only
// when the next sink asked to stop; the stage then does nothing more.
#ifndef VEL_ARCHIVE_CTBYTESTAGES_H
#define VEL_ARCHIVE_CTBYTESTAGES_H

#include <cstddef>
#include <cstdint>

#include "archive/CtSink.h"
#include "archive/CtWide.h"

// What both stages share: their block, the bound on their output, and the
// hand-over of every full block to the next sink.
class CtBlockStage : public CtSink {
public:
    int32_t code;  // 0, or the stage's error once known

protected:
    // block: size bytes (1 or more), the stage's output. At most bound bytes
    // of output in all; a block that holds the whole bound is never handed
    // on before the end. After each block handed on, reach bytes of its end
    // stay in front of the block. The wide steps take path.
    void StartBlock(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound, uint32_t reach,
                    CtSink* next, CtWide::Path path);

    // Hands the block on: 0 when the next sink asked to stop.
    int32_t Flush();
    // Called at the limit: a new block, or at the bound false, with
    // AtBound() true from then on.
    bool MakeRoom();
    bool Put(uint8_t c);
    // Whether a full block whose room is too short for a wide step of
    // room output bytes and input input bytes should go on early, rather
    // than fill its last bytes one at a time.
    bool FlushesEarly(ptrdiff_t room, ptrdiff_t input, const uint8_t* in,
                      const uint8_t* end) const;
    bool AtBound() const { return full_; }

    uint8_t escape_;
    CtWide::Path path_;
    bool stopped_;     // the next sink asked to stop
    uint8_t last_;     // the last byte of the blocks handed on (0 before the first)
    uint8_t* block_;
    uint8_t* out_;
    uint8_t* limit_;
    uint32_t flushed_;  // bytes handed on before the current block

private:
    void SetLimit();

    bool blockLimited_;  // the limit is the end of the block, not the bound
    bool full_;          // the bound is reached
    int32_t blockSize_;
    uint32_t bound_;
    uint32_t reach_;
    CtSink* next_;
};

// Back-reference stage: escape, distance (1..255) and count copy earlier
// output; escape, escape is a literal escape byte. Its references reach
// into the previous blocks through the 255 bytes kept in front of its
// block.
class CtRefStage : public CtBlockStage {
public:
    static constexpr int32_t kHistory = 256;

    // block: size bytes (1 or more). At most bound bytes of output in all;
    // one more fails with kCtErrorCapacity. A block smaller than the bound
    // has kHistory bytes in front of it that are the stage's too; one that
    // holds the whole bound is never handed on before the end, and the
    // stage reads and writes nothing outside it. Its wide steps take path.
    void Start(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound, CtSink* next,
               CtWide::Path path);

    int32_t Write(const uint8_t* data, int32_t length) override;

    // The end of the input. An escape sequence that it cuts fails with
    // kCtErrorTruncated (a distance beyond the output has been reported as
    // kCtErrorReference already); otherwise the last block goes on.
    int32_t Finish();

private:
    uint32_t Produced() const;
    int32_t Halt();
    bool Copy(uint32_t distance, uint32_t count);
    int32_t Item(const uint8_t* p, int32_t available);
    void WideSteps(const uint8_t** in, const uint8_t* end);

    uint8_t carry_[3];  // an escape sequence cut by the end of a piece
    int32_t carryLength_;
};

// Run stage: escape and count k repeat the last byte output k times (0 at
// the start); escape, escape is a literal escape byte; escape, 0 produces
// nothing.
class CtRunStage : public CtBlockStage {
public:
    // block: size bytes, the only memory the stage writes. At most bound
    // bytes of output in all: beyond them the stage only follows its
    // escapes to the end, since an escape cut by the end of the input
    // (kCtErrorTruncated) is reported before the excess (kCtErrorCapacity).
    // Its wide steps take path.
    void Start(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound, CtSink* next,
               CtWide::Path path);

    int32_t Write(const uint8_t* data, int32_t length) override;

    // The end of the input: kCtErrorTruncated for an escape without its
    // count, kCtErrorCapacity for an excess of output; otherwise the last
    // block goes on.
    int32_t Finish();

private:
    bool Fill(uint32_t count);
    int32_t Item(const uint8_t* p, int32_t available);
    void WideSteps(const uint8_t** in, const uint8_t* end);
    void Scan(const uint8_t* in, const uint8_t* end);

    bool pending_;  // the last piece ended with an escape: its count comes next
};

#endif
