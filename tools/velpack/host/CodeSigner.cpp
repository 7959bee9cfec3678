#include "tools/velpack/host/CodeSigner.h"

#include <CLI/CLI.hpp>

#include <cctype>

#include "tools/velpack/host/ChildProcess.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"

namespace {

const char kSigner[] = "osslsigncode";

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

// OpenSSL's error queue, as osslsigncode dumps it: "40B054A4D47F0000:error:…".
bool OpenSslQueueLine(const std::string& line) {
    size_t hex = 0;
    while (hex < line.size() && std::isxdigit(static_cast<unsigned char>(line[hex]))) ++hex;
    return hex >= 8 && line.compare(hex, 7, ":error:") == 0;
}

// What osslsigncode said, for a message: its own lines (those naming a
// problem, with complaintsOnly), without OpenSSL's queue, its prompts and
// its closing verdict.
std::string Summary(const std::string& output, bool complaintsOnly) {
    std::string summary;
    for (const std::string& line : Lines(output)) {
        if (line.empty() || line[0] == ' ' || line[0] == '\t' || line == "Failed" ||
            line == "Succeeded" || line.rfind("Enter PEM pass phrase", 0) == 0 ||
            OpenSslQueueLine(line)) {
            continue;
        }
        if (complaintsOnly && line.find("ailed") == std::string::npos &&
            line.find("rror") == std::string::npos && line.find("MISMATCH") == std::string::npos) {
            continue;
        }
        if (!summary.empty()) summary += "; ";
        summary += line;
    }
    return summary;
}

bool Says(const std::string& output, const char* text) {
    return output.find(text) != std::string::npos;
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
        if (line.rfind("Calculated message digest", 0) == 0 && Says(line, "MISMATCH")) return true;
    }
    return false;
}

std::string Missing(const ChildOutcome& run) {
    return std::string(kSigner) + " " + run.error +
           (run.error == "not found" ? " on PATH (Debian package osslsigncode)" : "");
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

void AddSignOptions(CLI::App* command, SignSettings* settings) {
    CLI::Option* certificate =
        command
            ->add_option("--sign-cert", settings->certificate,
                         "Sign the setup executable (Authenticode, SHA-256, through osslsigncode) "
                         "with this certificate, PEM or DER, the signer's first and its chain "
                         "after it")
            ->option_text("CERT");
    CLI::Option* key =
        command->add_option("--sign-key", settings->key, "The certificate's private key, PEM or DER")
            ->option_text("KEY");
    certificate->needs(key);
    key->needs(certificate);
    command
        ->add_option("--sign-pass-file", settings->passwordFile,
                     "File whose first line is the password of an encrypted key")
        ->option_text("FILE")
        ->needs(certificate);
    command
        ->add_option("--timestamp", settings->timestampUrl,
                     "RFC 3161 time-stamping service that countersigns the signature, so that "
                     "it stays valid after the certificate expires")
        ->option_text("URL")
        ->needs(certificate);
}

bool CheckSignFiles(const SignSettings& settings) {
    const std::pair<const std::string*, const char*> files[] = {
        {&settings.certificate, "--sign-cert"},
        {&settings.key, "--sign-key"},
        {&settings.passwordFile, "--sign-pass-file"},
    };
    bool readable = true;
    for (const auto& f : files) {
        HostFile file;
        if (f.first->empty() || file.OpenRead(*f.first)) continue;
        Complain(*f.first, std::string(f.second) + ": " + file.Error());
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
    const ChildOutcome run = RunChild(kSigner, arguments);
    if (!run.started) {
        *error = "cannot sign: " + Missing(run);
        return false;
    }
    if (run.exitCode == 0) return true;
    std::string said = Summary(run.output, false);
    if (said.empty()) said = std::string(kSigner) + " ended with exit code " + std::to_string(run.exitCode);
    *error = "signing failed: " + said;
    if (settings.passwordFile.empty() && Says(run.output, "assword")) {
        *error += " (an encrypted key needs --sign-pass-file)";
    }
    return false;
}

SignatureCheck VerifySignature(const std::string& path,
                               const std::vector<std::vector<uint8_t>>& certificates) {
    SignatureCheck check;
    const ChildOutcome first = RunChild(kSigner, {"verify", "-in", path});
    if (!first.started) {
        check.detail = Missing(first);
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
    if (!Says(first.output, "certificate verify error")) {
        check.detail = Summary(first.output, true);
        return check;
    }
    // The system does not trust the signer. osslsigncode then checks no
    // further: with the signature's own certificates as trusted ones, it
    // judges the signature value itself.
    const std::string chain = "the signer's certificate chain does not verify here (" +
                              After(first.output, "Verify error: ") + ")";
    check.verdict = SignatureCheck::kUnchecked;
    check.detail = chain + "; the signature value was not checked";
    if (certificates.empty()) return check;
    const std::string anchors = TemporaryElsewhere("signers.pem");
    const std::string pem = Pem(certificates);
    HostFile file;
    if (!file.CreateNew(anchors, false) ||
        !file.Write(reinterpret_cast<const uint8_t*>(pem.data()), pem.size()) || !file.Close()) {
        RemoveFile(anchors);
        return check;
    }
    const ChildOutcome second = RunChild(kSigner, {"verify", "-CAfile", anchors, "-in", path});
    RemoveFile(anchors);
    if (second.started && second.exitCode == 0) {
        check.verdict = SignatureCheck::kUntrusted;
        check.detail = chain;
    } else if (DigestMismatch(second.output) || Says(second.output, "signature failure")) {
        check.verdict = SignatureCheck::kMismatch;
        check.detail = "the signature value does not match what it signs";
    }
    return check;
}
