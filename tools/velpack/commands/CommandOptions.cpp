#include "tools/velpack/commands/CommandOptions.h"

#include <CLI/CLI.hpp>

#include "tools/velpack/host/CodeSigner.h"
#include "tools/velpack/payload/FolderPacker.h"

void AddPayloadArgument(CLI::App* command, std::string* file) {
    command->add_option("FILE", *file, "Payload, or executable with an EXE_DATA resource 1")
        ->required();
}

void AddPackOptions(CLI::App* command, PackSettings* settings) {
    command->add_option("--title", settings->title,
                        "Add a description entry (setup.ist, first) whose Install= line holds "
                        "TEXT: the launcher then asks before installing and starts install.exe")
        ->option_text("TEXT")
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? std::string("the title is empty") : std::string(); },
            "TEXT"));
    command->add_option("--order", settings->orderFile,
                        "Put the files named in FILE (one a line) first, in that order; the "
                        "others follow in byte order")
        ->option_text("FILE");
    command->add_flag("--stored", settings->stored, "Store every content as it is (no compression)");
    command->add_option_function<std::string>(
               "--codec",
               [settings](const std::string& codec) { settings->zstd = codec == "zstd"; },
               "velmar (the default): the launcher's own codec, the fastest to pack; or zstd: "
               "Zstandard, about half the payload's size, which only stubs of velpack 1.1 and "
               "later read")
        ->check(CLI::IsMember({"velmar", "zstd"}))
        ->option_text("CODEC");
    command->add_option_function<std::string>(
               "--level",
               [settings](const std::string& level) { settings->levelMax = level == "max"; },
               "default, or max: the smallest payload, several times slower to pack")
        ->check(CLI::IsMember({"default", "max"}))
        ->option_text("LEVEL");
    command->add_flag("--plain-names", settings->plainNames,
                      "Store names and information texts as they are (not complemented)");
}

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
