#include "tools/velpack/host/Progress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "tools/velpack/host/TextOutput.h"

namespace {

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

const auto kQuietTime = std::chrono::seconds(1);
// Lines are padded to this width and erased with blanks: plain consoles of
// Windows know no escape sequences.
const int kLineWidth = 60;
const auto kRefresh = std::chrono::milliseconds(200);

}  // namespace

Progress::Progress(const std::string& what, uint64_t total)
    : what_(what),
      total_(total),
      terminal_(StderrIsTerminal()),
      shown_(false),
      start_(std::chrono::steady_clock::now()),
      last_(start_) {}

Progress::~Progress() {
    if (shown_) Printf(stderr, "\r%*s\r", kLineWidth, "");
}

void Progress::Show(uint64_t done) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < kQuietTime || (shown_ && now - last_ < kRefresh)) return;
    last_ = now;
    shown_ = true;
    const unsigned percent = total_ == 0 ? 100 : static_cast<unsigned>(done * 100 / total_);
    char line[kLineWidth + 1];
    std::snprintf(line, sizeof line, "velpack: %s %3u%% (%llu of %llu MB)", what_.c_str(), percent,
                  static_cast<unsigned long long>(done >> 20),
                  static_cast<unsigned long long>(total_ >> 20));
    Printf(stderr, "\r%-*s", kLineWidth, line);
    std::fflush(stderr);
}
