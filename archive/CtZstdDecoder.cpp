#include "archive/CtZstdDecoder.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>

#include "archive/CtFormat.h"

namespace {

uint32_t ReadWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// What the library's answer means to the caller: its own code, or the
// memory it could not have as ours.
int32_t Refused(CtCompressExcept* error, size_t answer) {
    const ZSTD_ErrorCode code = ZSTD_getErrorCode(answer);
    if (code == ZSTD_error_memory_allocation) return CtFail(error, kCtErrorMemory);
    return CtFail(error, kCtErrorZstd + static_cast<int32_t>(code));
}

ZSTD_DCtx* MakeContext() {
    ZSTD_DCtx* context = ZSTD_createDCtx();
    if (context != nullptr &&
        ZSTD_isError(ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, kCtZstdWindowLog))) {
        ZSTD_freeDCtx(context);
        return nullptr;
    }
    return context;
}

}  // namespace

CtZstdDecoder::CtZstdDecoder(bool take)
    : context_(take ? MakeContext() : nullptr), piece_(take ? kPiece : 0, CtMem::kUnset) {}

CtZstdDecoder::~CtZstdDecoder() { ZSTD_freeDCtx(context_); }

int64_t CtZstdDecoder::Memory() const {
    const int64_t context = context_ != nullptr ? static_cast<int64_t>(ZSTD_sizeof_DCtx(context_)) : 0;
    return context + (piece_.Held() ? piece_.size : 0);
}

int32_t CtZstdDecoder::Decode(const uint8_t* source, int32_t length, int32_t capacity,
                              CtSink* sink, CtCompressExcept* error) {
    if (capacity < 0 || !Held()) return CtFail(error, kCtErrorMemory);
    if (length < 4) return CtFail(error, kCtErrorTruncated);
    if (ReadWord(source) != ZSTD_MAGICNUMBER) {
        return CtFail(error, kCtErrorZstd + ZSTD_error_prefix_unknown);
    }
    // A size the frame declares decides before anything goes out; a header
    // cut short or refused is the streaming decoder's to report.
    const unsigned long long declared = ZSTD_getFrameContentSize(source, static_cast<size_t>(length));
    if (declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != ZSTD_CONTENTSIZE_ERROR &&
        declared != static_cast<unsigned long long>(capacity)) {
        return CtFail(error, kCtErrorFrameSize);
    }

    // A failed frame leaves the context in the middle of it.
    ZSTD_DCtx_reset(context_, ZSTD_reset_session_only);
    ZSTD_inBuffer in = {source, static_cast<size_t>(length), 0};
    int32_t total = 0;
    for (;;) {
        ZSTD_outBuffer out = {piece_.data, static_cast<size_t>(kPiece), 0};
        const size_t answer = ZSTD_decompressStream(context_, &out, &in);
        if (ZSTD_isError(answer)) return Refused(error, answer);
        const int32_t n = static_cast<int32_t>(out.pos);
        if (n > capacity - total) return CtFail(error, kCtErrorCapacity);
        if (n > 0) {
            if (sink->Write(piece_.data, n) == 0) return CtFail(error, kCtErrorStopped);
            total += n;
        }
        // 0: the frame is whole and all of it has gone out.
        if (answer == 0) break;
        // Room left for output and no input left: the frame goes on beyond
        // the data.
        if (in.pos == in.size && out.pos < out.size) return CtFail(error, kCtErrorTruncated);
    }
    if (in.pos != in.size) return CtFail(error, kCtErrorTrailing);
    if (total != capacity) return CtFail(error, kCtErrorFrameSize);
    return total;
}

int32_t CtZstdDecompress(const uint8_t* source, int32_t length, uint8_t* destination,
                         int32_t capacity) {
    // Into a block of its own: after a failure the destination holds what
    // it held, and no start of a content that did not decode.
    CtCompressExcept error{0};
    CtMem block(capacity, CtMem::kUnset);
    CtZstdDecoder decoder;
    int32_t result = -1;
    if (capacity != 0 && !block.Held()) {
        error.code = kCtErrorMemory;
    } else {
        CtBufferSink into(block.data);
        result = decoder.Decode(source, length, capacity, &into, &error);
    }
    if (result < 0) {
        CtLogFailure(error.code);
        return -1;
    }
    if (result > 0) std::memcpy(destination, block.data, static_cast<size_t>(result));
    return result;
}
