// Replays fuzz inputs without libFuzzer: every file of the folders named on
// the command line goes once through LLVMFuzzerTestOneInput, which traps on
// a finding; the sanitizers of the build catch the rest. The first folder,
// the seed corpus, must hold at least one file; the others may be missing.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS [MORE...]\n", argv[0]);
        return 2;
    }
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path folder = argv[i];
        if (!std::filesystem::is_directory(folder)) {
            if (i == 1) {
                std::fprintf(stderr, "%s: no seed corpus at %s\n", argv[0], argv[i]);
                return 1;
            }
            continue;
        }
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            if (!e.is_regular_file() || e.path().filename().string()[0] == '.') continue;
            std::ifstream in(e.path(), std::ios::binary);
            const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++replayed;
        }
        if (i == 1 && replayed == 0) {
            std::fprintf(stderr, "%s: the seed corpus %s is empty\n", argv[0], argv[i]);
            return 1;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return 0;
}
