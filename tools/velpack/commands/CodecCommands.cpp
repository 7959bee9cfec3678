// velpack encode [--codec C] [--stages LIST] [--level L] IN OUT
// velpack decode [--codec C] --size N IN OUT
//
// One compressed content at a time, as an archive entry of method 2 (or,
// with --codec zstd, 4) holds it: for trying a codec on a file and for
// taking a damaged entry apart.
#include <CLI/CLI.hpp>

#include <memory>
#include <string>
#include <vector>

#include "archive/CtCompress.h"
#include "archive/CtMem.h"
#include "archive/CtZstdDecoder.h"
#include "archive/CtZstdCompress.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"

namespace {

struct EncodeArguments {
    std::string codec = "velmar";
    std::string stages = "best";
    std::string level = "default";
    std::string in;
    std::string out;
};

struct DecodeArguments {
    std::string codec = "velmar";
    int32_t size = 0;
    std::string in;
    std::string out;
};

const int kBest = -1;
const int kInvalid = -2;

// "best", "none", or a comma list of run, ref and bits: the flags byte of
// the stages, kBest, or kInvalid.
int ParseStages(const std::string& text) {
    if (text == "best") return kBest;
    if (text == "none") return 0;
    int flags = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma - start);
        int bit = 0;
        if (name == "run") bit = kCtStageRuns;
        if (name == "ref") bit = kCtStageRefs;
        if (name == "bits") bit = kCtStageBits;
        if (bit == 0 || (flags & bit)) return kInvalid;
        flags |= bit;
        if (comma == std::string::npos) return flags;
        start = comma + 1;
    }
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& data) {
    HostFile file;
    std::string error;
    if (file.CreateReplace(path, &error) && file.Write(data.data(), data.size(), &error) &&
        file.Close(&error)) {
        return true;
    }
    Complain(path, error);
    return false;
}

// Reads path whole; false after a complaint.
bool ReadInput(const std::string& path, std::vector<uint8_t>* data) {
    std::string error;
    if (ReadWholeFile(path, data, &error)) return true;
    Complain(path, error);
    return false;
}

int RunEncode(const EncodeArguments& a) {
    if (a.codec == "zstd" && a.stages != "best") {
        Complain("--stages", "the stages are velmar's; a Zstandard frame has none");
        return kExitUsage;
    }
    std::vector<uint8_t> data;
    if (!ReadInput(a.in, &data)) return kExitFailed;
    // The launcher decodes into blocks of "unpacked size + 256" bytes.
    if (data.size() > static_cast<size_t>(CtMem::kMaxRequest)) {
        Complain(a.in, "too large for an archive entry");
        return kExitFailed;
    }
    const CtLevel level = a.level == "max" ? CtLevel::kMax : CtLevel::kDefault;
    if (a.codec == "zstd") {
        std::vector<uint8_t> frame;
        std::string error;
        if (!CtZstdCompress(data.data(), data.size(), level, &frame, &error)) {
            Complain(a.in, error);
            return kExitFailed;
        }
        return WriteWholeFile(a.out, frame) ? kExitOk : kExitFailed;
    }
    const int stages = ParseStages(a.stages);
    const std::vector<uint8_t> content =
        stages == kBest
            ? CtCompress(data.data(), data.size(), level)
            : CtCompress(data.data(), data.size(), static_cast<uint8_t>(stages));
    if (content.empty()) {
        Complain(a.in, "the stages " + a.stages +
                           " cannot carry this data within the decoder's bounds");
        return kExitFailed;
    }
    return WriteWholeFile(a.out, content) ? kExitOk : kExitFailed;
}

int RunDecode(const DecodeArguments& a) {
    std::vector<uint8_t> content;
    if (!ReadInput(a.in, &content)) return kExitFailed;
    if (content.size() > static_cast<size_t>(INT32_MAX)) {
        Complain(a.in, "too large for an archive entry");
        return kExitFailed;
    }
    std::vector<uint8_t> out(static_cast<size_t>(a.size));
    CtCompressExcept failure{0};
    int32_t n = -1;
    if (a.codec == "zstd") {
        CtBufferSink into(out.data());
        CtZstdDecoder decoder;
        n = decoder.Decode(content.data(), static_cast<int32_t>(content.size()), a.size, &into,
                           &failure);
    } else {
        n = CtDecode(content.data(), static_cast<int32_t>(content.size()), out.data(), a.size,
                     &failure);
    }
    if (n < 0) {
        Complain("", "decode error code " + std::to_string(failure.code));
        return kExitFailed;
    }
    if (n != a.size) {
        Warn(a.in, "decoded " + std::to_string(n) + " bytes, not " + std::to_string(a.size));
    }
    out.resize(static_cast<size_t>(n));
    return WriteWholeFile(a.out, out) ? kExitOk : kExitFailed;
}

// --codec of encode and decode: the method's codec.
void AddCodecOption(CLI::App* command, std::string* codec) {
    command
        ->add_option("--codec", *codec,
                     "velmar (default), the content of methods 2 and 3, or zstd, one Zstandard "
                     "frame, of methods 4 and 5")
        ->check(CLI::IsMember({"velmar", "zstd"}));
}

}  // namespace

VelpackCommand AddEncodeCommand(CLI::App& app) {
    auto a = std::make_shared<EncodeArguments>();
    CLI::App* c = app.add_subcommand("encode", "Compress one file as an archive entry's content");
    AddCodecOption(c, &a->codec);
    c->add_option("--stages", a->stages,
                  "velmar's: best (default), none, or a comma list of run, ref and bits")
        ->check([](const std::string& text) {
            return ParseStages(text) == kInvalid ? "not best, none or a list of run, ref, bits"
                                                 : std::string();
        });
    c->add_option("--level", a->level, "with best or zstd: default, or max (smallest, slowest)")
        ->check(CLI::IsMember({"default", "max"}));
    c->add_option("IN", a->in, "file to compress")->required();
    c->add_option("OUT", a->out, "compressed content, flags byte first")->required();
    return VelpackCommand{c, [a] { return RunEncode(*a); }};
}

VelpackCommand AddDecodeCommand(CLI::App& app) {
    auto a = std::make_shared<DecodeArguments>();
    CLI::App* c = app.add_subcommand("decode", "Decompress one archive entry's content");
    AddCodecOption(c, &a->codec);
    c->add_option("--size", a->size, "unpacked size (the decoder's capacity)")
        ->required()
        ->check(CLI::Range(0, INT32_MAX));
    c->add_option("IN", a->in, "compressed content")->required();
    c->add_option("OUT", a->out, "decoded file; not written when decoding fails")->required();
    return VelpackCommand{c, [a] { return RunDecode(*a); }};
}
