// velpack list FILE [--json]
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>

#include "archive/CtArchive.h"
#include "launcher/EntryName.h"
#include "launcher/IstPlan.h"
#include "tools/velpack/commands/Command.h"
#include "tools/velpack/commands/CommandOptions.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/FileTimes.h"
#include "tools/velpack/host/TextOutput.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/OpenPayload.h"

namespace {

struct ListArguments {
    std::string file;
    bool json = false;
};

// What the launcher does with a payload: the installation sequence's table,
// after its check of every record.
struct LauncherActions {
    bool damaged = false;  // "Le programme d'installation est endommagé" instead
    bool confirmation = false;
    bool message = false;  // "Aucune information d'installation !" instead
    bool extraction = false;
    bool runProgram = false;
    bool programRefused = false;  // a program name it does not run
    const char* startInstall = "never";  // "always", "if_program_exit_code_nonzero"
    size_t extracted = 0;
    std::vector<int32_t> skipped;  // entries whose names it does not write
    bool installInPayload = false;
};

LauncherActions ActionsOf(const IST_PLAN& plan, const std::vector<RecordReport>& records) {
    LauncherActions a;
    a.damaged = FirstDamaged(records) < records.size();
    if (a.damaged) return a;
    const bool title = plan.title[0] != 0;
    const bool program = plan.program[0] != 0;
    a.message = !title && !program;
    a.programRefused = program && EntryNameStaysInside(plan.program) == 0;
    if (a.message || a.programRefused) return a;
    a.confirmation = title;
    a.extraction = true;
    a.runProgram = program;
    if (title) a.startInstall = program ? "if_program_exit_code_nonzero" : "always";
    for (const RecordReport& r : records) {
        if (EntryNameStaysInside(r.name.c_str()) == 0) {
            a.skipped.push_back(r.index);
            continue;
        }
        ++a.extracted;
        if (FoldedName(r.name) == "INSTALL.EXE") a.installInPayload = true;
    }
    return a;
}

void PrintText(const std::vector<RecordReport>& records,
               const IST_PLAN& plan, const LauncherActions& actions) {
    Printf(stdout, "%5s  %6s  %10s  %10s  %-28s  %-5s  %s\n", "index", "method", "stored",
           "unpacked", "modified (UTC)", "check", "name");
    for (const RecordReport& r : records) {
        const bool parts = r.state == CtArchive::kRecordSound;
        const bool length = r.state != CtArchive::kRecordBadLength;
        Printf(stdout, "%5d  %6s  %10s  %10s  %-28s  %-5s  %s\n", r.index,
               std::to_string(r.entry.method).c_str(),
               parts ? std::to_string(r.entry.ContentLength()).c_str() : "-",
               std::to_string(r.entry.unpackedSize).c_str(),
               r.hasTime ? IsoFromFileTime(r.fileTime).c_str() : "-",
               !length ? "-" : r.checkwordOk ? "ok" : "bad",
               parts ? PrintableAnsi(r.name).c_str() : "?");
    }
    const std::string title = PrintableAnsi(plan.title);
    const std::string program = PrintableAnsi(plan.program);
    Printf(stdout, "\ntitle:    %s\nprogram:  %s\nlauncher:\n",
           title.empty() ? "(none)" : title.c_str(), program.empty() ? "(none)" : program.c_str());
    if (actions.damaged) {
        Printf(stdout, "  says the installation program is damaged (exit code 2): nothing is "
               "extracted or started\n");
        return;
    }
    if (actions.message) {
        Printf(stdout, "  shows \"Aucune information d'installation !\" and ends (exit code 1): "
               "nothing is extracted or started\n");
        return;
    }
    if (actions.programRefused) {
        Printf(stdout, "  refuses to run %s, whose name leaves its folder or names a device "
               "(exit code 5): nothing is extracted or started\n",
               program.c_str());
        return;
    }
    int step = 1;
    if (actions.confirmation) {
        Printf(stdout, "  %d. asks \"Ce programme va lancer l'installation de : %s\" (OK, Quitter; "
               "\"auto=1\" in its command line answers OK)\n",
               step++, title.c_str());
    }
    Printf(stdout, "  %d. empties %%TEMP%%\\tmp_vel, all or nothing (another installation at "
                "work, or a file of the folder in use, stops the run: exit code 8)\n",
                step++);
    if (actions.skipped.empty()) {
        Printf(stdout, "  %d. extracts all %zu entries into it, each kept unchanged until the "
                    "programs have started\n",
                    step++, actions.extracted);
    } else {
        Printf(stdout, "  %d. extracts %zu of %zu entries into it, skipping those whose names "
                    "leave the folder or name a device, each kept unchanged until the programs "
                    "have started\n",
                    step++, actions.extracted, records.size());
    }
    if (actions.runProgram) {
        Printf(stdout, "  %d. runs %s and waits for it; an exit code of 0 ends the run there\n",
               step++, program.c_str());
    }
    if (actions.confirmation) {
        Printf(stdout, "  %d. starts install.exe with the launcher's command line%s%s\n", step++,
                    actions.runProgram ? ", if the program ended with a nonzero exit code" : "",
                    actions.installInPayload ? ""
                                             : " (warning: install.exe is not among the entries: "
                                               "the run stops there, exit code 5)");
        Printf(stdout, "     and ends at once, or, with \"wait=1\" in its command line, when "
                    "install.exe ends, with install.exe's exit code\n");
    }
}

// Whether an executable is signed and by whom; nothing for a payload file.
void PrintSignature(const PayloadSource& source) {
    if (!source.fromExecutable) return;
    const PeSignature& s = source.signature;
    if (s.state == PeSignature::kUnsigned) {
        Printf(stdout, "\nsignature: none\n");
    } else if (s.state == PeSignature::kSigned) {
        Printf(stdout, "\nsignature: Authenticode, signed by %s (velpack test verifies it)\n",
               s.signer.c_str());
    } else {
        Printf(stdout, "\nsignature: Authenticode, unreadable: %s\n", s.problem.c_str());
    }
}

nlohmann::json SignatureJson(const PayloadSource& source) {
    if (!source.fromExecutable) return nlohmann::json();
    const PeSignature& s = source.signature;
    nlohmann::json j = {{"signed", s.state != PeSignature::kUnsigned}, {"signer", s.signer}};
    if (s.state == PeSignature::kUnreadable) j["problem"] = s.problem;
    return j;
}

void PrintJson(const ListArguments& a, const PayloadSource& source,
               const std::vector<RecordReport>& records, const IST_PLAN& plan,
               const LauncherActions& actions) {
    nlohmann::json entries = nlohmann::json::array();
    for (const RecordReport& r : records) {
        const bool parts = r.state == CtArchive::kRecordSound;
        nlohmann::json e;
        e["index"] = r.index;
        e["name"] = parts ? PrintableAnsi(r.name) : "";
        e["method"] = r.entry.method;
        e["stored_size"] = parts ? nlohmann::json(r.entry.ContentLength()) : nlohmann::json();
        e["unpacked_size"] = r.entry.unpackedSize;
        e["mtime"] = r.hasTime ? nlohmann::json(IsoFromFileTime(r.fileTime)) : nlohmann::json();
        e["checkword_ok"] = r.checkwordOk;
        const std::string damage = r.Damage();
        if (!damage.empty()) e["damage"] = damage;
        entries.push_back(e);
    }
    nlohmann::json out;
    out["file"] = a.file;
    out["source"] = source.fromExecutable ? "executable" : "payload";
    out["entries"] = entries;
    out["signature"] = SignatureJson(source);
    out["plan"] = {{"title", PrintableAnsi(plan.title)}, {"program", PrintableAnsi(plan.program)}};
    out["actions"] = {{"damaged", actions.damaged},
                      {"confirmation", actions.confirmation},
                      {"message", actions.message},
                      {"program_refused", actions.programRefused},
                      {"extraction", actions.extraction},
                      {"extracted_entries", actions.extracted},
                      {"skipped_entries", actions.skipped},
                      {"run_program", actions.runProgram},
                      {"start_install", actions.startInstall},
                      {"install_exe_in_payload", actions.installInPayload}};
    Printf(stdout, "%s\n", out.dump(2).c_str());
}

int RunList(const ListArguments& a) {
    OpenedPayload opened;
    if (!OpenPayload(a.file, &opened)) return kExitFailed;
    const std::vector<RecordReport>& records = opened.records;
    IST_PLAN plan;
    plan.DrawUp(opened.archive);
    const LauncherActions actions = ActionsOf(plan, records);
    if (a.json) {
        PrintJson(a, opened.source, records, plan, actions);
    } else {
        PrintText(records, plan, actions);
        PrintSignature(opened.source);
    }
    std::fflush(stdout);
    int status = kExitOk;
    for (const RecordReport& r : records) {
        const std::string damage = r.Damage();
        if (damage.empty()) continue;
        Complain(a.file, "entry " + std::to_string(r.index) + ": " + damage);
        status = kExitFailed;
    }
    for (const RecordReport& r : records) WarnAboutName(a.file, r);
    return status;
}

}  // namespace

VelpackCommand AddListCommand(CLI::App& app) {
    auto a = std::make_shared<ListArguments>();
    CLI::App* c = app.add_subcommand(
        "list", "List the entries of a payload and what the launcher will do with them");
    AddPayloadArgument(c, &a->file);
    c->add_flag("--json", a->json, "Print one JSON object (entries, plan, actions)");
    c->footer(
        "For an executable, also whether it carries an Authenticode signature and the subject "
        "of the signer's certificate (velpack test verifies the signature). Exit status 1 when "
        "an entry is damaged (listed all the same, and named on stderr).");
    return VelpackCommand{c, [a]() { return RunList(*a); }};
}
