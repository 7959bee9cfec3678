// Authenticode signing and verification of setup executables, through
// osslsigncode (looked for on PATH). The password of a key is handed over
// in a file of the maker's, never on a command line.
#ifndef VEL_VELPACK_CODESIGNER_H
#define VEL_VELPACK_CODESIGNER_H

#include <cstdint>
#include <string>
#include <vector>

struct SignSettings {
    std::string certificate;   // --sign-cert: the signer's certificate (and its chain), PEM or DER
    std::string key;           // --sign-key: its private key, PEM or DER
    std::string passwordFile;  // --sign-pass-file: the key's password, on its first line
    std::string timestampUrl;  // --timestamp: an RFC 3161 time-stamping service

    bool Given() const { return !certificate.empty(); }
};

// Each file the settings name can be read; false after complaints.
bool CheckSignFiles(const SignSettings& settings);

// Signs the PE file in into out (SHA-256). Without a time-stamping service
// the signing time is signingTime (Unix seconds): the same file, key and
// time give the same signature, byte for byte, with RSA keys (whose
// signatures involve no randomness). false, with error set to what
// osslsigncode said, when it is missing or fails; out may then be left
// over, for the caller to remove.
bool SignFile(const SignSettings& settings, const std::string& in, const std::string& out,
              int64_t signingTime, std::string* error);

struct SignatureCheck {
    enum Verdict {
        kVerified,   // sound, and the signer's chain is trusted by this machine
        kUntrusted,  // sound, but the signer's chain is not trusted here
        kUnchecked,  // could not be judged (no osslsigncode, an unverifiable chain)
        kMismatch,   // the file no longer matches its signature: damaged
    };
    Verdict verdict = kUnchecked;
    std::string detail;  // why, for all but kVerified
};

// Verifies the signature of the signed PE file at path. certificates (DER,
// the ones the signature carries) serve as trust anchors when the system's
// do not reach the signer, so that the signature value is checked all the
// same.
SignatureCheck VerifySignature(const std::string& path,
                               const std::vector<std::vector<uint8_t>>& certificates);

#endif
