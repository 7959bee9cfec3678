#include "archive/CtZstdCompress.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <memory>
#include <string>

#include "archive/CtFormat.h"

namespace {

struct FreeContext {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

}  // namespace

bool CtZstdCompress(const uint8_t* data, size_t size, CtLevel level, std::vector<uint8_t>* frame,
                    std::string* error) {
    std::unique_ptr<ZSTD_CCtx, FreeContext> context(ZSTD_createCCtx());
    if (!context) {
        *error = "no memory for the Zstandard compressor";
        return false;
    }
    const int zstdLevel = level == CtLevel::kMax ? kCtZstdMaxLevel : kCtZstdDefaultLevel;
    size_t answer = ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, zstdLevel);
    // The library brings the window down to the data where that is
    // smaller, as it does the level's own.
    if (!ZSTD_isError(answer)) {
        answer = ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, kCtZstdWindowLog);
    }
    if (!ZSTD_isError(answer)) answer = ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
    if (!ZSTD_isError(answer)) {
        frame->resize(ZSTD_compressBound(size));
        answer = ZSTD_compress2(context.get(), frame->data(), frame->size(), data, size);
    }
    if (ZSTD_isError(answer)) {
        // The stub's build of the library, which velpack.exe shares, keeps
        // no error texts.
        const ZSTD_ErrorCode code = ZSTD_getErrorCode(answer);
        *error = code == ZSTD_error_memory_allocation
                     ? "no memory for the Zstandard compressor"
                     : "the Zstandard compressor failed, error code " + std::to_string(code);
        frame->clear();
        return false;
    }
    frame->resize(answer);
    return true;
}
