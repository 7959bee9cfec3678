#include "tools/velpack/payload/PayloadWriter.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "archive/CtArchive.h"
#include "archive/CtCompress.h"
#include "archive/CtFormat.h"
#include "archive/CtMem.h"
#include "archive/CtZstdCompress.h"
#include "tools/velpack/host/Progress.h"
#include "tools/velpack/host/Workers.h"

namespace {

const uint64_t kMaxImage = INT32_MAX;
// A compressed content is decoded through two scratch blocks of unpacked
// size + 256 bytes each; larger contents are stored.
const uint64_t kMaxCompressed = static_cast<uint64_t>(CtMem::kMaxRequest) - 256;

void PutWord(uint8_t* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

// How one item goes into its record.
struct Encoded {
    bool compressed = false;
    std::vector<uint8_t> packed;  // the compressed content, when compressed
    std::string error;            // why the compressor failed
};

}  // namespace

void AppendRecord(std::vector<uint8_t>* image, int32_t method, const std::string& name,
                  const std::string& info, const uint8_t* content, size_t contentSize,
                  int32_t unpacked) {
    const size_t start = image->size();
    const size_t length = kCtRecordHeaderSize + name.size() + info.size() + contentSize;
    image->resize(start + length);
    uint8_t* r = image->data() + start;
    PutWord(r + kCtLengthField, static_cast<uint32_t>(length));
    PutWord(r + kCtCheckwordField, 0);
    PutWord(r + kCtMethodField, static_cast<uint32_t>(method));
    PutWord(r + kCtNameLengthField, static_cast<uint32_t>(name.size()));
    PutWord(r + kCtInfoLengthField, static_cast<uint32_t>(info.size()));
    PutWord(r + kCtUnpackedField, static_cast<uint32_t>(unpacked));
    uint8_t* p = r + kCtRecordHeaderSize;
    // Odd methods keep name and text complemented; method 1 its content too.
    const uint8_t flip = (method & kCtMethodComplemented) != 0 ? 0xFF : 0x00;
    for (char c : name) *p++ = static_cast<uint8_t>(c) ^ flip;
    for (char c : info) *p++ = static_cast<uint8_t>(c) ^ flip;
    const uint8_t contentFlip = method == kCtMethodComplemented ? 0xFF : 0x00;
    for (size_t i = 0; i < contentSize; ++i) p[i] = content[i] ^ contentFlip;
    // The reader's own checkword: what it verifies is what is written.
    CtEntry entry(r, static_cast<int32_t>(length));
    PutWord(r + kCtCheckwordField, entry.Checkword());
}

std::string InfoTimeLines(uint64_t fileTime) {
    return kInfoTimeLowKey + std::to_string(static_cast<uint32_t>(fileTime)) + kInfoTimeHighKey +
           std::to_string(static_cast<uint32_t>(fileTime >> 32));
}

bool BuildPayload(const std::vector<PayloadItem>& items, const PayloadOptions& options,
                  std::vector<uint8_t>* image, std::string* error) {
    uint64_t total = kCtImageHeaderSize;
    uint64_t contentBytes = 0;
    for (const PayloadItem& item : items) {
        total += kCtRecordHeaderSize + item.name.size() + item.info.size() + item.content.size();
        contentBytes += item.content.size();
    }
    if (total > kMaxImage) {
        *error = "the payload would exceed 2 GiB - 1 bytes";
        return false;
    }

    std::vector<Encoded> encoded(items.size());
    if (!options.stored) {
        Progress progress("packing", contentBytes);
        std::atomic<uint64_t> done{0};
        // The largest contents first, so that no processor is left with a
        // big one at the end while the others wait.
        std::vector<size_t> order(items.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return items[a].content.size() > items[b].content.size();
        });
        RunJobs(
            items.size(),
            [&](size_t k) {
                const size_t i = order[k];
                const std::vector<uint8_t>& c = items[i].content;
                std::vector<uint8_t> packed;
                if (!c.empty() && options.codec == PayloadCodec::kZstd) {
                    CtZstdCompress(c.data(), c.size(), options.level, &packed, &encoded[i].error);
                } else if (!c.empty() && c.size() <= kMaxCompressed) {
                    packed = CtCompress(c.data(), c.size(), options.level);
                }
                if (!packed.empty() && packed.size() < c.size()) {
                    encoded[i].compressed = true;
                    encoded[i].packed.swap(packed);
                }
                done += c.size();
            },
            [&]() { progress.Show(done.load()); });
        for (size_t i = 0; i < items.size(); ++i) {
            if (encoded[i].error.empty()) continue;
            *error = encoded[i].error;
            return false;
        }
    }

    image->clear();
    image->reserve(static_cast<size_t>(total));
    image->resize(kCtImageHeaderSize);
    PutWord(image->data() + kCtFirstOffsetField, kCtImageHeaderSize);
    const int32_t nameBit = options.plainNames ? 0 : kCtMethodComplemented;
    const int32_t compressed =
        options.codec == PayloadCodec::kZstd ? kCtMethodZstd : kCtMethodCompressed;
    for (size_t i = 0; i < items.size(); ++i) {
        const PayloadItem& item = items[i];
        const int32_t unpacked = static_cast<int32_t>(item.content.size());
        if (encoded[i].compressed) {
            AppendRecord(image, compressed | nameBit, item.name, item.info, encoded[i].packed.data(),
                         encoded[i].packed.size(), unpacked);
        } else {
            AppendRecord(image, nameBit, item.name, item.info, item.content.data(),
                         item.content.size(), unpacked);
        }
    }
    return true;
}
