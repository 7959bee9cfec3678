#include "launcher/IstPlan.h"

#include "archive/CtArchive.h"
#include "archive/CtFormat.h"
#include "archive/CtMem.h"
#include "services/Text.h"

namespace {
// The program prefix is matched byte for byte, in this case only, at the
// start of the name; the marks anywhere in it, in any case.
const int32_t kProgramPrefixLength = sizeof kCtProgramPrefix - 1;
}  // namespace

IST_PLAN::IST_PLAN() {
    title[0] = 0;
    program[0] = 0;
}

void IST_PLAN::DrawUp(const CtArchive& archive) {
    title[0] = 0;
    program[0] = 0;
    char name[kCtNameCapacity] = {0};
    int32_t unpacked = 0;
    for (int32_t i = 0;
         archive.GetEntry(i, name, kCtNameCapacity, nullptr, 0, nullptr, &unpacked) != 0; ++i) {
        // Of several programs, the last one in archive order wins.
        if (TextEqualN(kProgramPrefixLength, name, kCtProgramPrefix) != 0 &&
            TextFind(name, kCtProgramMark, 0, 0) != 0) {
            TextCopy(program, name, kTextCapacity, nullptr);
        }
        // Of several descriptions, the first with a non-empty value wins;
        // later ones are not decoded.
        if (title[0] == 0 && TextFind(name, kCtDescriptionMark, 0, 0) != 0) {
            ReadTitle(archive, i, unpacked);
        }
    }
}

void IST_PLAN::ReadTitle(const CtArchive& archive, int32_t index, int32_t unpacked) {
    // A size whose block cannot be had (negative, too large, memory
    // exhausted) passes the entry over: nothing is decoded or searched.
    // The block holds zero bytes behind the content, so that a value on the
    // last line ends there.
    CtMem block(CtMem::Padded(unpacked, kCtSpareBytes));
    if (!block.Held()) return;
    int32_t capacity = unpacked;
    archive.GetEntry(index, nullptr, 0, nullptr, 0, block.data, &capacity);
    // The key is found in any case, within the content proper; a content
    // that failed to decode left the block zero and holds no key.
    const char* text = reinterpret_cast<const char*>(block.data);
    const char* value = TextFindAfter(text, kCtTitleKey, 0, unpacked);
    if (value == nullptr) return;
    // The value runs to the first control byte (line break, tab, or the zero
    // bytes behind the content); bytes 128-255 are ANSI letters and stay.
    // The title holds 127 bytes: a longer value is cut there.
    const char* end = text + block.size;
    int32_t n = 0;
    while (n < kTextCapacity - 1 && value + n < end &&
           static_cast<unsigned char>(value[n]) >= 32) {
        title[n] = value[n];
        ++n;
    }
    title[n] = 0;
}
