#include "tools/velpack/host/CodeSigner.h"

#include <cctype>

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/host/ChildProcess.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"

namespace {

const char kSigner[] = "osslsigncode";

// What to do when it is missing. Windows has no package to name, and
// signtool of the Windows SDK signs as well; velpack test verifies what
// either signed.
#ifdef _WIN32
const char kMissingSigner[] =
    "osslsigncode.exe not found on PATH; install osslsigncode and put its folder on PATH";
const char kSignAfterwards[] =
    ", or make the setup executable without --sign-cert and sign it afterwards with "
    "signtool sign /fd SHA256 /f CERT.pfx /tr URL /td SHA256 SETUP.EXE (velpack test "
    "verifies either)";
#else
const char kMissingSigner[] = "osslsigncode not found on PATH (Debian package osslsigncode)";
const char kSignAfterwards[] = "";
#endif

// osslsigncode's outcome is its exit status; its words, which Debian's 2.5
// and 2.9 print alike, only say why. The lines and words this file reads:
const char kPassPhrasePrompt[] = "Enter PEM pass phrase";  // a key that needs a password
const char kVerdictFailed[] = "Failed";                   // its closing line
const char kVerdictSucceeded[] = "Succeeded";
const char kDigestLine[] = "Calculated message digest";   // ends in MISMATCH when the file changed
const char kMismatch[] = "MISMATCH";
const char kChainError[] = "certificate verify error";    // OpenSSL's: the chain is not trusted
const char kChainReason[] = "Verify error: ";             // followed by OpenSSL's reason
const char kSignatureFailure[] = "signature failure";     // OpenSSL's: the value does not match
// A line of its own that holds one of these words names a problem.
const char* const kComplaintWords[] = {"failed", "Failed", "error", "Error", kMismatch};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

bool Says(const std::string& text, const char* marker) {
    return text.find(marker) != std::string::npos;
}

// word in line, as a word of its own (not a part of a longer one).
bool HasWord(const std::string& line, const std::string& word) {
    for (size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + 1)) {
        const size_t end = at + word.size();
        const bool startsWord = at == 0 || !std::isalpha(static_cast<unsigned char>(line[at - 1]));
        const bool endsWord = end == line.size() || !std::isalpha(static_cast<unsigned char>(line[end]));
        if (startsWord && endsWord) return true;
    }
    return false;
}

bool Complains(const std::string& line) {
    for (const char* word : kComplaintWords) {
        if (HasWord(line, word)) return true;
    }
    return false;
}

// OpenSSL's error queue, as osslsigncode dumps it: "40B054A4D47F0000:error:…".
bool OpenSslQueueLine(const std::string& line) {
    size_t hex = 0;
    while (hex < line.size() && std::isxdigit(static_cast<unsigned char>(line[hex]))) ++hex;
    return hex >= 8 && line.compare(hex, 7, ":error:") == 0;
}

// What osslsigncode said, for a message: its own lines (those that name a
// problem, with complaintsOnly), without OpenSSL's queue, its prompts, the
// indented details and its closing verdict.
std::string Summary(const std::string& output, bool complaintsOnly) {
    std::string summary;
    for (const std::string& line : Lines(output)) {
        if (line.empty() || line[0] == ' ' || line[0] == '\t' || line == kVerdictFailed ||
            line == kVerdictSucceeded || line.rfind(kPassPhrasePrompt, 0) == 0 ||
            OpenSslQueueLine(line)) {
            continue;
        }
        if (complaintsOnly && !Complains(line)) continue;
        if (!summary.empty()) summary += "; ";
        summary += line;
    }
    return summary;
}

// The rest of the first line that holds marker.
std::string After(const std::string& output, const char* marker) {
    for (const std::string& line : Lines(output)) {
        const size_t at = line.find(marker);
        if (at != std::string::npos) return line.substr(at + std::string(marker).size());
    }
    return std::string();
}

bool DigestMismatch(const std::string& output) {
    for (const std::string& line : Lines(output)) {
        if (line.rfind(kDigestLine, 0) == 0 && Says(line, kMismatch)) return true;
    }
    return false;
}

// Why osslsigncode could not be run (error, from RunChild), and for a
// missing one what to do, which when signing includes another way to sign.
std::string Missing(const std::string& error, bool signing) {
    if (error != kChildNotFound) return std::string(kSigner) + " " + error;
    return std::string(kMissingSigner) + (signing ? kSignAfterwards : "");
}

std::string Pem(const std::vector<std::vector<uint8_t>>& certificates) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string pem;
    for (const std::vector<uint8_t>& der : certificates) {
        pem += "-----BEGIN CERTIFICATE-----\n";
        size_t column = 0;
        for (size_t i = 0; i < der.size(); i += 3) {
            const size_t n = der.size() - i < 3 ? der.size() - i : 3;
            uint32_t group = static_cast<uint32_t>(der[i]) << 16;
            if (n > 1) group |= static_cast<uint32_t>(der[i + 1]) << 8;
            if (n > 2) group |= der[i + 2];
            for (size_t k = 0; k < 4; ++k) {
                pem += k <= n ? kDigits[group >> (18 - 6 * k) & 63] : '=';
            }
            column += 4;
            if (column == 64) {
                pem += '\n';
                column = 0;
            }
        }
        if (column != 0) pem += '\n';
        pem += "-----END CERTIFICATE-----\n";
    }
    return pem;
}

}  // namespace

bool CheckSignFiles(const SignSettings& settings) {
    const std::pair<const std::string*, const char*> files[] = {
        {&settings.certificate, "--sign-cert"},
        {&settings.key, "--sign-key"},
        {&settings.passwordFile, "--sign-pass-file"},
    };
    bool readable = true;
    for (const auto& f : files) {
        HostFile file;
        std::string error;
        if (f.first->empty() || file.OpenRead(*f.first, &error)) continue;
        Complain(*f.first, std::string(f.second) + ": " + error);
        readable = false;
    }
    return readable;
}

bool SignFile(const SignSettings& settings, const std::string& in, const std::string& out,
              int64_t signingTime, std::string* error) {
    std::vector<std::string> arguments = {"sign", "-h", "sha256", "-certs", settings.certificate,
                                          "-key", settings.key};
    if (!settings.passwordFile.empty()) {
        arguments.insert(arguments.end(), {"-readpass", settings.passwordFile});
    }
    if (!settings.timestampUrl.empty()) {
        arguments.insert(arguments.end(), {"-ts", settings.timestampUrl});
    } else {
        arguments.insert(arguments.end(), {"-time", std::to_string(signingTime)});
    }
    arguments.insert(arguments.end(), {"-in", in, "-out", out});
    ChildOutcome run;
    std::string cannot;
    if (!RunChild(kSigner, arguments, &run, &cannot)) {
        return Fail(error, "cannot sign: " + Missing(cannot, true));
    }
    if (run.exitCode == 0) return true;
    std::string said = Summary(run.output, false);
    if (said.empty()) said = std::string(kSigner) + " ended with exit code " + std::to_string(run.exitCode);
    *error = "signing failed: " + said;
    if (settings.passwordFile.empty() && Says(run.output, kPassPhrasePrompt)) {
        *error += " (an encrypted key needs --sign-pass-file)";
    }
    return false;
}

SignatureCheck VerifySignature(const std::string& path,
                               const std::vector<std::vector<uint8_t>>& certificates) {
    SignatureCheck check;
    ChildOutcome first;
    std::string cannot;
    if (!RunChild(kSigner, {"verify", "-in", path}, &first, &cannot)) {
        check.detail = Missing(cannot, false);
        return check;
    }
    if (first.exitCode == 0) {
        check.verdict = SignatureCheck::kVerified;
        return check;
    }
    check.verdict = SignatureCheck::kMismatch;
    if (DigestMismatch(first.output)) {
        check.detail = "the file no longer matches the digest its signature holds";
        return check;
    }
    if (!Says(first.output, kChainError)) {
        check.detail = Summary(first.output, true);
        return check;
    }
    // The system does not trust the signer. osslsigncode then checks no
    // further: with the signature's own certificates as trusted ones, it
    // judges the signature value itself.
    const std::string chain = "the signer's certificate chain does not verify here (" +
                              After(first.output, kChainReason) + ")";
    check.verdict = SignatureCheck::kUnchecked;
    check.detail = chain + "; the signature value was not checked";
    if (certificates.empty()) return check;
    const std::string anchors = TemporaryElsewhere("signers.pem");
    const std::string pem = Pem(certificates);
    HostFile file;
    std::string error;
    if (!file.CreateNew(anchors, false, &error) ||
        !file.Write(reinterpret_cast<const uint8_t*>(pem.data()), pem.size(), &error) ||
        !file.Close(&error)) {
        RemoveFile(anchors);
        return check;
    }
    ChildOutcome second;
    const bool ran = RunChild(kSigner, {"verify", "-CAfile", anchors, "-in", path}, &second, &cannot);
    RemoveFile(anchors);
    if (ran && second.exitCode == 0) {
        check.verdict = SignatureCheck::kUntrusted;
        check.detail = chain;
    } else if (DigestMismatch(second.output) || Says(second.output, kSignatureFailure)) {
        check.verdict = SignatureCheck::kMismatch;
        check.detail = "the signature value does not match what it signs";
    }
    return check;
}
