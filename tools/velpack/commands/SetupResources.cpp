#include "tools/velpack/commands/SetupResources.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "launcher/StubResources.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/pe/ApplicationManifest.h"
#include "tools/velpack/pe/ResourceTree.h"
#include "tools/velpack/pe/VersionResource.h"

namespace {

const char kGroup[] = "Resources of the setup executable";
const char kVersionInfo[] = "--version-info";

// A.B.C.D: four decimal numbers from 0 to 65535, A in the highest bits.
bool ParseVersion(const std::string& text, uint64_t* version) {
    uint64_t v = 0;
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
        uint32_t n = 0;
        size_t digits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 6; ++i, ++digits) {
            n = n * 10 + static_cast<uint32_t>(text[i] - '0');
        }
        if (digits == 0 || n > UINT16_MAX) return false;
        v = v << 16 | n;
    }
    if (i != text.size()) return false;
    *version = v;
    return true;
}

std::string VersionText(uint64_t v) {
    return std::to_string(v >> 48) + "." + std::to_string(v >> 32 & 0xFFFF) + "." +
           std::to_string(v >> 16 & 0xFFFF) + "." + std::to_string(v & 0xFFFF);
}

// Keys match as Windows looks them up: without regard to ASCII case.
bool SameKey(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool HasControl(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// One string of the version information, and the option it comes from.
struct VersionString {
    std::string key;
    std::string value;  // UTF-8
    std::string from;
};

// What is wrong with s in Windows-1252, put as its option would: a string
// drawn from the title or the output name speaks of those.
std::string Problem(const VersionString& s, const std::string& ansi, bool fits) {
    const char* wrong = !fits              ? "does not fit Windows-1252"
                        : HasControl(ansi) ? "holds a control character"
                                           : nullptr;
    if (wrong == nullptr) return "";
    if (s.from == "--title") return std::string("the title ") + wrong;
    if (s.from == "--output") return std::string("the file name ") + wrong;
    return s.key + ": the value " + wrong;
}

}  // namespace

void SetupResources::AddOptions(CLI::App* command) {
    command
        ->add_option("--icon", iconPath_,
                     "The setup executable's icon (the one Explorer shows): every image of "
                     "FILE.ico, PNG-compressed ones included")
        ->option_text("FILE.ico")
        ->group(kGroup);
    command
        ->add_option(kVersionInfo, versionInfo_,
                     "A string of the version information (repeatable): CompanyName, "
                     "FileDescription, LegalCopyright, ProductName... Values must fit Windows-1252")
        ->option_text("KEY=VALUE")
        ->allow_extra_args(false)
        ->check(CLI::Validator(
            [](std::string& s) {
                const size_t eq = s.find('=');
                return eq == std::string::npos || eq == 0 ? std::string("not KEY=VALUE") : std::string();
            },
            "KEY=VALUE"))
        ->group(kGroup);
    const CLI::Validator version(
        [](std::string& s) {
            uint64_t v;
            return ParseVersion(s, &v) ? std::string()
                                       : std::string("not a version A.B.C.D (four numbers from 0 to 65535)");
        },
        "A.B.C.D");
    command
        ->add_option("--file-version", fileVersion_,
                     "The file version of the version information (also its FileVersion string)")
        ->option_text("A.B.C.D")
        ->check(version)
        ->group(kGroup);
    command
        ->add_option("--product-version", productVersion_,
                     "The product version (also its ProductVersion string); by default the file "
                     "version, and the other way round")
        ->option_text("A.B.C.D")
        ->check(version)
        ->group(kGroup);
    CLI::Option* elevation =
        command
            ->add_option("--elevation", elevation_,
                         "An application manifest asking Windows for this execution level: "
                         "asInvoker, highestAvailable or requireAdministrator")
            ->option_text("LEVEL")
            ->check(CLI::IsMember(ApplicationManifest::Levels()))
            ->group(kGroup);
    command
        ->add_option("--manifest", manifestPath_,
                     "An application manifest of your own (UTF-8 XML), in place of --elevation's")
        ->option_text("FILE.xml")
        ->excludes(elevation)
        ->group(kGroup);
}

int SetupResources::Prepare(const std::string& output, const std::string& title) {
    std::string error;
    if (!iconPath_.empty()) {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(iconPath_, &bytes, &error) || !icon_.Parse(bytes, &error)) {
            Complain(iconPath_, error);
            return kExitFailed;
        }
        hasIcon_ = true;
    }
    if (!manifestPath_.empty()) {
        if (!ReadWholeFile(manifestPath_, &manifest_, &error) ||
            !ApplicationManifest::Check(manifest_, &error)) {
            Complain(manifestPath_, error);
            return kExitFailed;
        }
    } else if (!elevation_.empty()) {
        manifest_ = ApplicationManifest::ForLevel(elevation_);
    }
    return PrepareVersion(output, title) ? kExitOk : kExitFailed;
}

bool SetupResources::PrepareVersion(const std::string& output, const std::string& title) {
    if (versionInfo_.empty() && fileVersion_.empty() && productVersion_.empty()) return true;
    uint64_t fileVersion = 0;
    uint64_t productVersion = 0;
    // Both were checked when the command line was read; with neither, 0.0.0.0.
    ParseVersion(fileVersion_.empty() ? productVersion_ : fileVersion_, &fileVersion);
    ParseVersion(productVersion_.empty() ? fileVersion_ : productVersion_, &productVersion);

    std::vector<VersionString> given;
    bool ok = true;
    for (const std::string& pair : versionInfo_) {
        const size_t eq = pair.find('=');
        const VersionString s{pair.substr(0, eq), pair.substr(eq + 1), kVersionInfo};
        for (const VersionString& g : given) {
            if (SameKey(g.key, s.key)) {
                Complain(kVersionInfo, s.key + " is given twice");
                ok = false;
            }
        }
        given.push_back(s);
    }
    // The strings Windows shows, given or drawn from the other options.
    auto pick = [&](const std::string& key, const std::string& value, const std::string& from) {
        for (const VersionString& g : given) {
            if (SameKey(g.key, key)) return VersionString{key, g.value, g.from};
        }
        return VersionString{key, value, from};
    };
    const size_t slash = output.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const VersionString product =
        pick("ProductName", title.empty() ? stem : title, title.empty() ? "--output" : "--title");
    std::vector<VersionString> strings = {
        pick("CompanyName", "", kVersionInfo),
        pick("FileDescription", "Installation de " + product.value, product.from),
        pick("FileVersion", VersionText(fileVersion), kVersionInfo),
        pick("LegalCopyright", "", kVersionInfo),
        pick("OriginalFilename", name, "--output"),
        product,
        pick("ProductVersion", VersionText(productVersion), kVersionInfo),
    };
    const size_t standard = strings.size();
    for (const VersionString& g : given) {
        bool known = false;
        for (size_t i = 0; i < standard; ++i) known = known || SameKey(strings[i].key, g.key);
        if (!known) strings.push_back(g);
    }

    VersionResource resource;
    resource.fileVersion = fileVersion;
    resource.productVersion = productVersion;
    std::vector<std::string> told;  // a title or name that is wrong once is told once
    for (const VersionString& s : strings) {
        std::string key;
        std::string value;
        std::string problem;
        if (!AnsiFromUtf8(s.key, &key) || HasControl(key)) {
            problem = s.key + ": the key does not fit Windows-1252 or holds a control character";
        } else {
            const bool fits = AnsiFromUtf8(s.value, &value);
            problem = Problem(s, value, fits);
        }
        if (!problem.empty()) {
            ok = false;
            const std::string message = s.from + ": " + problem;
            if (std::find(told.begin(), told.end(), message) == told.end()) Complain(s.from, problem);
            told.push_back(message);
        }
        resource.strings.push_back({Utf16FromAnsi(key), Utf16FromAnsi(value)});
    }
    std::string error;
    if (ok && !resource.Build(&version_, &error)) {
        Complain(kVersionInfo, error);
        ok = false;
    }
    return ok;
}

bool SetupResources::Apply(ResourceTree* tree, std::string* error) const {
    if (hasIcon_ && !icon_.InstallAsGroup(ResourceKey::Name(kStubIcon), tree, error)) return false;
    if (!version_.empty()) VersionResource::Install(version_, tree);
    if (!manifest_.empty()) ApplicationManifest::Install(manifest_, tree);
    return true;
}
