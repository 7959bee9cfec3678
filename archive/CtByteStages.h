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

#include <cstdint>

#include "archive/CtSink.h"

// Back-reference stage: escape, distance (1..255) and count copy earlier
// output; escape, escape is a literal escape byte. Its references reach
// into the previous blocks through the 255 bytes kept in front of its
// block.
class CtRefStage : public CtSink {
public:
    static constexpr int32_t kHistory = 256;

    // block: size bytes (1 or more). At most bound bytes of output in all;
    // one more fails with code 25. A block smaller than the bound has
    // kHistory bytes in front of it that are the stage's too; one that
    // holds the whole bound is never handed on before the end, and the
    // stage reads and writes nothing outside it.
    void Start(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound, CtSink* next);

    int32_t Write(const uint8_t* data, int32_t length) override;

    // The end of the input. An escape sequence that it cuts fails with code
    // 62 (a distance beyond the output has been reported as 61 already);
    // otherwise the last block goes on.
    int32_t Finish();

    int32_t code;  // 0, or the stage's first error

private:
    uint32_t Produced() const;
    void SetLimit();
    int32_t Flush();
    bool MakeRoom();
    bool Put(uint8_t c);
    bool Copy(uint32_t distance, uint32_t count);
    int32_t Item(const uint8_t* p, int32_t available);
    void WideSteps(const uint8_t** in, const uint8_t* end);

    uint8_t escape_;
    bool stopped_;
    bool blockLimited_;  // the limit is the end of the block, not the bound
    uint8_t carry_[3];   // an escape sequence cut by the end of a piece
    int32_t carryLength_;
    uint8_t* block_;
    int32_t blockSize_;
    uint8_t* out_;
    uint8_t* limit_;
    uint32_t bound_;
    uint32_t flushed_;  // bytes handed on before the current block
    CtSink* next_;
};

// Run stage: escape and count k repeat the last byte output k times (0 at
// the start); escape, escape is a literal escape byte; escape, 0 produces
// nothing.
class CtRunStage : public CtSink {
public:
    // block: size bytes, the only memory the stage writes. At most bound
    // bytes of output in all: beyond them the stage only follows its
    // escapes to the end, since an escape cut by the end of the input (code
    // 62) is reported before the excess (code 25).
    void Start(uint8_t escape, uint8_t* block, int32_t size, uint32_t bound, CtSink* next);

    int32_t Write(const uint8_t* data, int32_t length) override;

    // The end of the input: code 62 for an escape without its count, 25 for
    // an excess of output; otherwise the last block goes on.
    int32_t Finish();

    int32_t code;  // 0, or the stage's error once known

private:
    void SetLimit();
    int32_t Flush();
    bool MakeRoom();
    bool Put(uint8_t c);
    bool Fill(uint32_t count);
    int32_t Item(const uint8_t* p, int32_t available);
    void WideSteps(const uint8_t** in, const uint8_t* end);
    void Scan(const uint8_t* in, const uint8_t* end);

    uint8_t escape_;
    bool stopped_;
    bool blockLimited_;
    bool pending_;     // the last piece ended with an escape: its count comes next
    bool overflowed_;  // the bound is reached: only the escapes are followed
    uint8_t last_;     // the byte a run repeats while the block is empty
    uint8_t* block_;
    int32_t blockSize_;
    uint8_t* out_;
    uint8_t* limit_;
    uint32_t bound_;
    uint32_t flushed_;
    CtSink* next_;
};

#endif
