// Where a decoding hands its output: the caller's sink at the end of the
// streaming decoder, and each stage of it for the stage before.
#ifndef VEL_ARCHIVE_CTSINK_H
#define VEL_ARCHIVE_CTSINK_H

#include <cstdint>

class CtSink {
public:
    // The next length bytes (1 or more) of the output, valid during the call
    // only. Answers nonzero to go on, 0 to stop.
    virtual int32_t Write(const uint8_t* data, int32_t length) = 0;

protected:
    ~CtSink() {}
};

#endif
