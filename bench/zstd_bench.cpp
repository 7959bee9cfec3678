// The Zstandard contents of a payload decoded as the launcher decodes them
// (CtZstdDecoder, pieces to a sink), with the library the build links: the
// host's (Debian's libzstd) in the release build, the stub's own build
// (-Os, one Huffman and one sequence decoder) in the Windows builds, which
// make bench runs under Wine in turn with the host's (bench/zstd-builds.sh).
//
//   zstd_bench PAYLOAD [ROUNDS]
//
// ROUNDS passes (9 by default) over every content of methods 4 and 5; the
// line gives the fastest pass and the median one, in MB/s of decoded
// content, and the decoder's memory after the pass.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "archive/CtArchive.h"
#include "archive/CtZstdDecoder.h"

namespace {

// Takes the content and keeps nothing: the decoding alone is timed.
class Discard final : public CtSink {
public:
    int32_t Write(const uint8_t*, int32_t) override { return 1; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zstd_bench PAYLOAD [ROUNDS]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    const CtArchive archive(image.data(), static_cast<int32_t>(image.size()));
    std::vector<CtEntry> entries;
    int64_t bytes = 0;
    CtEntry entry;
    for (int32_t i = 0; archive.EntryAt(i, &entry); ++i) {
        if (CtContentOf(entry.method) != kCtContentZstd) continue;
        entries.push_back(entry);
        bytes += entry.unpackedSize;
    }
    if (entries.empty() || rounds < 1) {
        std::fprintf(stderr, "zstd_bench: no Zstandard content in %s\n", argv[1]);
        return 1;
    }
    CtZstdDecoder decoder;
    Discard sink;
    std::vector<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (const CtEntry& e : entries) {
            CtCompressExcept error{0};
            if (decoder.Decode(e.Content(), e.ContentLength(), e.unpackedSize, &sink, &error) !=
                e.unpackedSize) {
                std::fprintf(stderr, "zstd_bench: a content fails, code %d\n", error.code);
                return 1;
            }
        }
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%zu contents, %.1f MB: fastest %.0f MB/s, median %.0f MB/s, memory %.2f MB\n",
                entries.size(), bytes / 1e6, bytes / 1e6 / seconds.front(),
                bytes / 1e6 / seconds[seconds.size() / 2], decoder.Memory() / 1e6);
    return 0;
}
