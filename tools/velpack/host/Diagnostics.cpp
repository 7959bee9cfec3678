#include "tools/velpack/host/Diagnostics.h"

#include <cstdio>

void Complain(const std::string& subject, const std::string& message) {
    if (subject.empty()) {
        std::fprintf(stderr, "velpack: %s\n", message.c_str());
    } else {
        std::fprintf(stderr, "velpack: %s: %s\n", subject.c_str(), message.c_str());
    }
}

void Warn(const std::string& subject, const std::string& message) {
    Complain("warning: " + subject, message);
}
