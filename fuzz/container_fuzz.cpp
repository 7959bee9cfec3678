// Arbitrary images through the payload container: every entry GetEntry
// finds, read the way the launcher reads it but into a buffer of exactly the
// contract's size (unpacked size + 1), so that ASan sees a write beyond it,
// and a compressed one (either codec) also the extraction's way, streamed,
// which must agree; the record walk of velpack past damaged records; and the
// installation plan.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/CtArchive.h"
#include "archive/CtContentDecoder.h"
#include "fuzz/FuzzCheck.h"
#include "launcher/IstPlan.h"

namespace {

// Contents larger than this are not decoded: the fuzzer's memory is bounded.
const int32_t kMaxContent = 1 << 20;

// Appends what the decoder hands on.
class Collect final : public CtSink {
public:
    int32_t Write(const uint8_t* data, int32_t length) override {
        bytes.insert(bytes.end(), data, data + length);
        return 1;
    }
    std::vector<uint8_t> bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the image's size: a read past its end is caught.
    const std::vector<uint8_t> image(data, data + size);
    const CtArchive archive(image.data(), static_cast<int32_t>(size));

    int32_t count = 0;
    CtContentDecoder decoder;
    for (int32_t i = 0;; ++i) {
        char name[64];
        std::memset(name, 0x5A, sizeof name);
        int32_t unpacked = -7;
        if (archive.GetEntry(i, name, 64, nullptr, 0, nullptr, &unpacked) == 0) break;
        Check(std::memchr(name, 0, sizeof name) != nullptr);
        ++count;
        if (unpacked < 0 || unpacked > kMaxContent) continue;
        std::vector<uint8_t> content(static_cast<size_t>(unpacked) + 1, 0);
        char info[128];
        int32_t length = unpacked;
        Check(archive.GetEntry(i, name, 64, info, 128, content.data(), &length) == 1);
        Check(length == unpacked);
        Check(std::memchr(info, 0, sizeof info) != nullptr);
        // A buffer one byte too small is refused untouched.
        if (unpacked > 0) {
            length = unpacked - 1;
            std::vector<uint8_t> small(static_cast<size_t>(unpacked), 0xA5);
            archive.GetEntry(i, nullptr, 0, nullptr, 0, small.data(), &length);
            for (uint8_t b : small) Check(b == 0xA5);
        }
        // A compressed content reads whole into the buffer, streamed it
        // gives the same bytes, or both fail; a Zstandard content that fails
        // leaves the buffer untouched (a stages content that decodes short
        // is copied, and only the answer says that it is not whole).
        CtEntry e;
        Check(archive.EntryAt(i, &e) == 1);
        if (CtContentOf(e.method) == kCtContentStored ||
            static_cast<uint32_t>(e.method) > kCtMethodLast) {
            continue;
        }
        std::vector<uint8_t> whole(static_cast<size_t>(unpacked) + 1, 0xA5);
        const int32_t read = e.ReadContent(whole.data(), unpacked);
        Collect streamed;
        CtCompressExcept error{0};
        const int32_t n = decoder.Decode(e.method, e.Content(), e.ContentLength(), unpacked,
                                         &streamed, &error);
        Check((n == unpacked) == (read == 1));
        if (read == 1) {
            Check(std::equal(streamed.bytes.begin(), streamed.bytes.end(), whole.begin()));
        } else if (CtContentOf(e.method) == kCtContentZstd) {
            for (uint8_t b : whole) Check(b == 0xA5);
        }
    }
    // The walk over all records, damaged ones included, ends and stays in
    // the image; GetEntry finds exactly the sound records before the first
    // unsound one whose checkwords are right.
    CtEntry entry;
    int32_t offset = archive.FirstRecord();
    int32_t sound = 0;
    bool unsound = false;
    for (;;) {
        const int32_t state = archive.RecordAt(offset, &entry);
        if (state == CtArchive::kRecordEnd || state == CtArchive::kRecordBadLength) break;
        Check(entry.length >= kCtRecordHeaderSize && entry.length <= archive.size - offset);
        if (state == CtArchive::kRecordSound && !unsound) {
            Check(entry.Content() + entry.ContentLength() <= image.data() + size);
            const bool right = entry.Checkword() == entry.checkword;
            Check(archive.GetEntry(sound, nullptr, 0, nullptr, 0, nullptr, nullptr) == (right ? 1 : 0));
            ++sound;
        } else {
            unsound = true;
        }
        offset += entry.length;
    }
    Check(archive.GetEntry(sound, nullptr, 0, nullptr, 0, nullptr, nullptr) == 0);
    Check(count <= sound);

    IST_PLAN plan;
    plan.DrawUp(archive);
    Check(std::memchr(plan.title, 0, sizeof plan.title) != nullptr);
    Check(std::memchr(plan.program, 0, sizeof plan.program) != nullptr);
    return 0;
}
