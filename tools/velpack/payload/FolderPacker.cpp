#include "tools/velpack/payload/FolderPacker.h"

#include <algorithm>
#include <map>
#include <set>

#include "archive/CtFormat.h"
#include "tools/velpack/host/AnsiText.h"
#include "tools/velpack/host/Diagnostics.h"
#include "tools/velpack/host/FileTimes.h"
#include "tools/velpack/host/HostFile.h"
#include "tools/velpack/host/HostFolder.h"
#include "tools/velpack/payload/NameRules.h"
#include "tools/velpack/payload/PayloadWriter.h"

const char kTitleEntryName[] = "setup.ist";

namespace {

// The launcher copies the title into its buffer and ends it at the first
// control byte.
const size_t kMaxTitleBytes = kCtTitleCapacity - 1;
const uint64_t kMaxFileSize = INT32_MAX;
// The first line of every information text: the time keys need a line
// break before them.
const char kInfoFirstLine[] = "velpack";

struct Candidate {
    std::string utf8;  // name on disk
    std::string ansi;  // name in the archive
    std::string path;
};

// Checks the --title value; empty when it is usable.
std::string TitleProblem(const std::string& title, std::string* ansi) {
    if (!AnsiFromUtf8(title, ansi)) return "the title does not fit Windows-1252";
    for (char c : *ansi) {
        if (static_cast<unsigned char>(c) < 32) {
            return "the title holds a control character, at which the launcher would cut it";
        }
    }
    if (ansi->size() > kMaxTitleBytes) {
        return "the title is " + std::to_string(ansi->size()) +
               " bytes in Windows-1252; the launcher shows " +
               std::to_string(kMaxTitleBytes) + " at most";
    }
    return "";
}

// The names of the order file, one a line; blank lines are skipped.
bool ReadOrder(const std::string& path, std::vector<std::string>* names) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, &bytes, &error)) {
        Complain(path, error);
        return false;
    }
    std::string line;
    auto take = [&]() {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) names->push_back(line);
        line.clear();
    };
    for (uint8_t b : bytes) {
        if (b == '\n') {
            take();
        } else {
            line += static_cast<char>(b);
        }
    }
    take();
    return true;
}

// Puts candidates in payload order. false after complaints about the order
// file.
bool Arrange(const PackSettings& settings, std::vector<Candidate>* files) {
    std::sort(files->begin(), files->end(),
              [](const Candidate& a, const Candidate& b) { return a.ansi < b.ansi; });
    if (settings.orderFile.empty()) return true;
    std::vector<std::string> wanted;
    if (!ReadOrder(settings.orderFile, &wanted)) return false;
    std::map<std::string, size_t> rank;
    bool ok = true;
    for (const std::string& name : wanted) {
        const bool present = std::any_of(files->begin(), files->end(),
                                         [&](const Candidate& c) { return c.utf8 == name; });
        if (!present) {
            Complain(settings.orderFile, "lists " + name + ", which is not a file of the folder");
            ok = false;
        } else if (!rank.emplace(name, rank.size()).second) {
            Complain(settings.orderFile, "lists " + name + " twice");
            ok = false;
        }
    }
    std::stable_sort(files->begin(), files->end(), [&](const Candidate& a, const Candidate& b) {
        const auto ra = rank.find(a.utf8);
        const auto rb = rank.find(b.utf8);
        const size_t ia = ra == rank.end() ? rank.size() : ra->second;
        const size_t ib = rb == rank.end() ? rank.size() : rb->second;
        return ia < ib;
    });
    return ok;
}

}  // namespace

bool PackSettings::Given() const {
    return !title.empty() || !orderFile.empty() || stored || plainNames || levelMax || zstd;
}

namespace {

// The folder's items in name order. false after a complaint.
bool CollectItems(const std::string& folder, std::vector<FolderItem>* items) {
    std::string error;
    if (!IsFolder(folder)) {
        Complain(folder, "not a folder");
        return false;
    }
    if (!ListFolder(folder, items, &error)) {
        Complain(folder, error);
        return false;
    }
    std::sort(items->begin(), items->end(),
              [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
    return true;
}

// What is wrong with an item as an entry of the payload; empty when it
// packs. folded holds the folded names taken so far, each with what took it.
std::string ItemProblem(const FolderItem& item, Candidate* c,
                        std::map<std::string, std::string>* folded) {
    if (item.kind == FolderItem::kFolder) return "is a folder; the launcher writes bare file names only";
    if (item.kind == FolderItem::kOther) return "not a regular file";
    if (!AnsiFromUtf8(item.name, &c->ansi)) return "the name does not fit Windows-1252";
    const std::string problem = WindowsNameProblem(c->ansi);
    if (!problem.empty()) return problem;
    if (c->ansi.size() > kMaxNameBytes) {
        return "the name is " + std::to_string(c->ansi.size()) +
               " bytes in Windows-1252; the launcher reads " + std::to_string(kMaxNameBytes) +
               " at most";
    }
    if (item.size > kMaxFileSize) return "larger than 2 GiB - 1 bytes";
    const auto seen = folded->emplace(FoldedName(c->ansi), c->path);
    if (!seen.second) {
        return "differs from " + seen.first->second +
               " only in case; Windows would write one file for both";
    }
    return "";
}

// Checks the title and every item, complaining about each problem; the
// files that pack, in payload order, when there is none.
bool CheckItems(const std::string& folder, const std::vector<FolderItem>& items,
                const PackSettings& settings, std::string* titleAnsi,
                std::vector<Candidate>* files) {
    bool ok = true;
    std::map<std::string, std::string> folded;  // folded ANSI name -> what took it
    if (!settings.title.empty()) {
        const std::string problem = TitleProblem(settings.title, titleAnsi);
        if (!problem.empty()) {
            Complain("--title", problem);
            ok = false;
        }
        folded[FoldedName(kTitleEntryName)] = std::string("the --title entry ") + kTitleEntryName;
    }
    for (const FolderItem& item : items) {
        Candidate c;
        c.utf8 = item.name;
        c.path = JoinHostPath(folder, item.name);
        const std::string problem = ItemProblem(item, &c, &folded);
        if (!problem.empty()) {
            Complain(c.path, problem);
            ok = false;
            continue;
        }
        files->push_back(c);
    }
    return Arrange(settings, files) && ok;
}

// The payload items: the --title description first, then every file with
// its content and time. false after a complaint.
bool ReadItems(const std::vector<Candidate>& files, const PackSettings& settings,
               const std::string& titleAnsi, std::vector<PayloadItem>* payload) {
    if (!settings.title.empty()) {
        PayloadItem title;
        title.name = kTitleEntryName;
        title.info = kInfoFirstLine;
        const std::string text = kCtTitleKey + titleAnsi + "\r\n";
        title.content.assign(text.begin(), text.end());
        payload->push_back(title);
    }
    for (const Candidate& c : files) {
        PayloadItem item;
        HostFile file;
        uint64_t fileTime = 0;
        std::string error;
        if (!file.OpenRead(c.path, &error) || !file.ReadAll(&item.content, &error) ||
            !file.GetWriteTime(&fileTime, &error)) {
            Complain(c.path, error);
            return false;
        }
        // It may have grown since it was listed.
        if (item.content.size() > kMaxFileSize) {
            Complain(c.path, "larger than 2 GiB - 1 bytes");
            return false;
        }
        item.name = c.ansi;
        item.info = kInfoFirstLine + InfoTimeLines(fileTime);
        payload->push_back(std::move(item));
    }
    return true;
}

}  // namespace

bool PackFolder(const std::string& folder, const PackSettings& settings,
                std::vector<uint8_t>* image) {
    std::vector<FolderItem> items;
    std::vector<Candidate> files;
    std::string titleAnsi;
    std::vector<PayloadItem> payload;
    if (!CollectItems(folder, &items) || !CheckItems(folder, items, settings, &titleAnsi, &files) ||
        !ReadItems(files, settings, titleAnsi, &payload)) {
        return false;
    }
    PayloadOptions options;
    options.stored = settings.stored;
    options.plainNames = settings.plainNames;
    options.level = settings.levelMax ? CtLevel::kMax : CtLevel::kDefault;
    options.codec = settings.zstd ? PayloadCodec::kZstd : PayloadCodec::kVelmar;
    std::string error;
    if (!BuildPayload(payload, options, image, &error)) {
        Complain(folder, error);
        return false;
    }
    return true;
}

bool WriteResult(const std::string& path, const std::vector<uint8_t>& data, bool executable) {
    const std::string temporary = TemporaryBeside(path);
    HostFile file;
    std::string error;
    if (!file.CreateNew(temporary, executable, &error) ||
        !file.Write(data.data(), data.size(), &error) || !file.Close(&error)) {
        Complain(path, error);
        RemoveFile(temporary);
        return false;
    }
    if (!RenameOver(temporary, path, &error)) {
        Complain(path, error);
        RemoveFile(temporary);
        return false;
    }
    return true;
}
