#include "tools/velpack/host/Diagnostics.h"

#include <cstdio>

#include "tools/velpack/host/TextOutput.h"

void Complain(const std::string& subject, const std::string& message) {
    if (subject.empty()) {
        Printf(stderr, "velpack: %s\n", message.c_str());
    } else {
        Printf(stderr, "velpack: %s: %s\n", subject.c_str(), message.c_str());
    }
}

void Warn(const std::string& subject, const std::string& message) {
    Complain("warning: " + subject, message);
}
