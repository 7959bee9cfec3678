// Archive images for tests, built byte by byte so that every field can be
// set, damaged or left inconsistent on purpose.
#ifndef VEL_TESTS_CONTAINER_ARCHIVEBUILDER_H
#define VEL_TESTS_CONTAINER_ARCHIVEBUILDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "services/LogRouting.h"

namespace testarchive {

using Bytes = std::vector<uint8_t>;

inline void PutWord(Bytes& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

inline uint32_t GetWord(const Bytes& b, size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | b[at + k];
    return v;
}

// The checkword as the format defines it, written out plainly.
inline uint32_t ReferenceCheckword(const Bytes& record) {
    uint32_t sum = 0;
    for (size_t j = 24; j < record.size(); ++j) sum += ((j - 24) % 16 + 1) * record[j];
    return ~(GetWord(record, 0) + GetWord(record, 8) + GetWord(record, 12) +
             GetWord(record, 16) + sum);
}

// One record with a right checkword. name and info are given plain and are
// complemented for odd methods; content is stored exactly as given.
inline Bytes Record(int32_t method, const std::string& name, const std::string& info,
                    const Bytes& content, int32_t unpacked) {
    Bytes r(24);
    const uint8_t flip = (method & 1) != 0 ? 0xFF : 0x00;
    for (char c : name) r.push_back(static_cast<uint8_t>(c) ^ flip);
    for (char c : info) r.push_back(static_cast<uint8_t>(c) ^ flip);
    r.insert(r.end(), content.begin(), content.end());
    PutWord(r, 0, static_cast<uint32_t>(r.size()));
    PutWord(r, 8, static_cast<uint32_t>(method));
    PutWord(r, 12, static_cast<uint32_t>(name.size()));
    PutWord(r, 16, static_cast<uint32_t>(info.size()));
    PutWord(r, 20, static_cast<uint32_t>(unpacked));
    PutWord(r, 4, ReferenceCheckword(r));
    return r;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A stored entry (method 0, or 1 with the content complemented).
inline Bytes Stored(const std::string& name, const std::string& content,
                    const std::string& info = "", int32_t method = 0) {
    Bytes c = Text(content);
    if (method == 1) {
        for (uint8_t& b : c) b ^= 0xFF;
    }
    return Record(method, name, info, c, static_cast<int32_t>(content.size()));
}

// Records behind a header whose first entry offset is firstOffset.
inline Bytes Image(const std::vector<Bytes>& records, uint32_t firstOffset = 4) {
    Bytes image(firstOffset < 4 ? 4 : firstOffset);
    PutWord(image, 0, firstOffset);
    for (const Bytes& r : records) image.insert(image.end(), r.begin(), r.end());
    return image;
}

// Collects the log texts of channels 69 and 0, each as "<id>:<text>", in the
// order they arrive.
class LogCapture {
public:
    LogCapture() : archive_(kLogArchive, this), all_(kLogAll, this) {
        AttachLogReceiver(&archive_);
        AttachLogReceiver(&all_);
    }
    std::vector<std::string> texts;

private:
    class Receiver : public LogReceiver {
    public:
        Receiver(uint16_t id, LogCapture* owner) : LogReceiver(id), owner_(owner) {}
        void Log(const char* text) override {
            owner_->texts.push_back(std::to_string(identifier) + ":" + text);
        }

    private:
        LogCapture* owner_;
    };
    Receiver archive_;
    Receiver all_;
};

}  // namespace testarchive

#endif
