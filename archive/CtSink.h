// Where a decoding hands its output: the caller's sink at the end of the
// streaming decoder, and each stage of it for the stage before.
#ifndef VEL_ARCHIVE_CTSINK_H
#define VEL_ARCHIVE_CTSINK_H

#include <cstdint>
#include <cstring>

class CtSink {
public:
    // The next length bytes (1 or more) of the output, valid during the call
    // only. Answers nonzero to go on, 0 to stop.
    virtual int32_t Write(const uint8_t* data, int32_t length) = 0;

protected:
    ~CtSink() {}
};

// Lays the output end to end from out, which the caller made large enough
// (the decoders hand on no more than the capacity they were given).
class CtBufferSink final : public CtSink {
public:
    explicit CtBufferSink(uint8_t* out) : end_(out) {}
    int32_t Write(const uint8_t* data, int32_t length) override {
        std::memcpy(end_, data, static_cast<size_t>(length));
        end_ += length;
        return 1;
    }

private:
    uint8_t* end_;
};

#endif
