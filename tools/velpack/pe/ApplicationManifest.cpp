#include "tools/velpack/pe/ApplicationManifest.h"

#include <algorithm>
#include <cstring>

#include "tools/velpack/base/Failure.h"
#include "tools/velpack/pe/Utf8.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
const char kRootElement[] = "assembly";

// The supportedOS ids, oldest first; the comment names the version.
const char kManifestHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
    "    <security>\r\n"
    "      <requestedPrivileges>\r\n"
    "        <requestedExecutionLevel level=\"";
const char kManifestTail[] =
    "\" uiAccess=\"false\"/>\r\n"
    "      </requestedPrivileges>\r\n"
    "    </security>\r\n"
    "  </trustInfo>\r\n"
    "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\r\n"
    "    <application>\r\n"
    "      <!-- Windows Vista -->\r\n"
    "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\r\n"
    "      <!-- Windows 7 -->\r\n"
    "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\r\n"
    "      <!-- Windows 8 -->\r\n"
    "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\r\n"
    "      <!-- Windows 8.1 -->\r\n"
    "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\r\n"
    "      <!-- Windows 10 and 11 -->\r\n"
    "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\r\n"
    "    </application>\r\n"
    "  </compatibility>\r\n"
    "</assembly>\r\n";

// True when text is UTF-8 without control characters other than tab and
// line ends (XML allows no others).
bool IsUtf8Text(const std::string& text) {
    const uint8_t* const p = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        uint32_t c;
        size_t length;
        if (!NextUtf8(p + i, text.size() - i, &c, &length)) return false;
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return false;
        i += length;
    }
    return true;
}

// A scan of XML text for the faults that make Windows refuse a manifest:
// elements not closed in order, malformed tags and attributes, stray text
// or markup outside the one root element, a & that starts no reference.
class XmlScan {
public:
    XmlScan(const std::string& text, std::string* error) : t_(text), error_(error) {}

    bool Run() {
        // A fault found by the scan gets its line in front.
        if (!Scan()) {
            return Fail(error_, "line " +
                                    std::to_string(1 + std::count(t_.begin(), t_.begin() + at_, '\n')) +
                                    ": " + *error_);
        }
        if (root_.empty()) return Fail(error_, "holds no XML element");
        const size_t colon = root_.rfind(':');
        if (root_.substr(colon == std::string::npos ? 0 : colon + 1) != kRootElement) {
            return Fail(error_, "the root element is <" + root_ + ">, not <" + kRootElement + ">");
        }
        return true;
    }

private:
    bool At(const char* s) const { return t_.compare(at_, std::strlen(s), s) == 0; }
    bool SkipPast(const char* end) {
        const size_t e = t_.find(end, at_);
        if (e == std::string::npos) return false;
        at_ = e + std::strlen(end);
        return true;
    }
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool IsNameChar(char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_' ||
               u == ':' || u == '.' || u == '-' || u >= 0x80;
    }
    bool SkipBlanks() {
        const size_t from = at_;
        while (at_ < t_.size() && IsBlank(t_[at_])) ++at_;
        return at_ > from;
    }
    std::string Name() {
        const size_t from = at_;
        while (at_ < t_.size() && IsNameChar(t_[at_])) ++at_;
        return t_.substr(from, at_ - from);
    }
    // A reference (&name; &#10; &#x0A;) at place of text.
    bool IsReference(size_t place) const {
        const size_t end = t_.find(';', place);
        if (end == std::string::npos || end == place + 1) return false;
        size_t i = place + 1;
        if (t_[i] == '#') {
            ++i;
            const bool hex = i < end && t_[i] == 'x';
            if (hex) ++i;
            if (i == end) return false;
            for (; i < end; ++i) {
                const char c = t_[i];
                const bool digit = c >= '0' && c <= '9';
                const bool hexDigit = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
                if (!digit && !(hex && hexDigit)) return false;
            }
            return true;
        }
        for (; i < end; ++i) {
            if (!IsNameChar(t_[i])) return false;
        }
        return true;
    }

    bool Scan() {
        while (at_ < t_.size()) {
            const char c = t_[at_];
            if (c != '<') {
                if (open_.empty() && !IsBlank(c)) return Fail(error_, "text outside the root element");
                if (c == '&' && !IsReference(at_)) return Fail(error_, "a & that starts no reference");
                ++at_;
                continue;
            }
            if (At("<!--")) {
                if (!SkipPast("-->")) return Fail(error_, "a comment that does not end");
            } else if (At("<?")) {
                if (!SkipPast("?>")) return Fail(error_, "a processing instruction that does not end");
            } else if (At("<![CDATA[")) {
                if (open_.empty()) return Fail(error_, "a CDATA section outside the root element");
                if (!SkipPast("]]>")) return Fail(error_, "a CDATA section that does not end");
            } else if (At("<!")) {
                return Fail(error_, "a declaration (<!...>), which manifests do not hold");
            } else if (At("</")) {
                if (!EndTag()) return false;
            } else if (!StartTag()) {
                return false;
            }
        }
        if (!open_.empty()) return Fail(error_, "<" + open_.back() + "> is not closed");
        return true;
    }

    bool EndTag() {
        at_ += 2;
        const std::string name = Name();
        SkipBlanks();
        if (name.empty() || at_ >= t_.size() || t_[at_] != '>') return Fail(error_, "a malformed end tag");
        if (open_.empty()) return Fail(error_, "</" + name + "> closes no element");
        if (open_.back() != name) return Fail(error_, "<" + open_.back() + "> closed by </" + name + ">");
        ++at_;
        open_.pop_back();
        return true;
    }

    bool StartTag() {
        ++at_;
        const std::string name = Name();
        if (name.empty()) return Fail(error_, "a < that starts no tag");
        if (open_.empty()) {
            if (!root_.empty()) return Fail(error_, "a second root element <" + name + ">");
            root_ = name;
        }
        for (;;) {
            const bool blank = SkipBlanks();
            if (at_ >= t_.size()) return Fail(error_, "the tag <" + name + "> does not end");
            if (t_[at_] == '>') {
                ++at_;
                open_.push_back(name);
                return true;
            }
            if (At("/>")) {
                at_ += 2;
                return true;
            }
            const std::string attribute = blank ? Name() : std::string();
            if (attribute.empty()) return Fail(error_, "a malformed tag <" + name + ">");
            SkipBlanks();
            if (at_ >= t_.size() || t_[at_] != '=') {
                return Fail(error_, "the attribute " + attribute + " of <" + name + "> has no value");
            }
            ++at_;
            SkipBlanks();
            const char quote = at_ < t_.size() ? t_[at_] : 0;
            const size_t end = quote == '"' || quote == '\'' ? t_.find(quote, at_ + 1) : std::string::npos;
            if (end == std::string::npos) {
                return Fail(error_, "the value of " + attribute + " in <" + name + "> is not quoted");
            }
            for (size_t i = at_ + 1; i < end; ++i) {
                if (t_[i] == '<' || (t_[i] == '&' && !IsReference(i))) {
                    at_ = i;
                    return Fail(error_, "the value of " + attribute + " in <" + name + "> holds a bare " +
                                std::string(1, t_[i]));
                }
            }
            at_ = end + 1;
        }
    }

    const std::string& t_;
    size_t at_ = 0;
    std::vector<std::string> open_;
    std::string root_;
    std::string* error_;
};

}  // namespace

const std::vector<std::string>& ApplicationManifest::Levels() {
    static const std::vector<std::string> levels = {"asInvoker", "highestAvailable", "requireAdministrator"};
    return levels;
}

std::vector<uint8_t> ApplicationManifest::ForLevel(const std::string& level) {
    const std::string text = kManifestHead + level + kManifestTail;
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool ApplicationManifest::Check(const std::vector<uint8_t>& bytes, std::string* error) {
    std::string text(bytes.begin(), bytes.end());
    if (text.compare(0, 3, kByteOrderMark) == 0) text.erase(0, 3);
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        *error = "empty";
        return false;
    }
    if (!IsUtf8Text(text)) {
        *error = "not UTF-8 text (or it holds control characters)";
        return false;
    }
    return XmlScan(text, error).Run();
}

void ApplicationManifest::Install(const std::vector<uint8_t>& text, ResourceTree* tree) {
    const ResourceKey type = ResourceKey::Id(kType);
    const ResourceKey name = ResourceKey::Id(1);
    std::vector<ResourceLeaf>& leaves = tree->leaves;
    leaves.erase(
        std::remove_if(leaves.begin(), leaves.end(),
                       [&](const ResourceLeaf& l) { return l.type.Matches(type) && l.name.Matches(name); }),
        leaves.end());
    ResourceLeaf leaf;
    leaf.type = type;
    leaf.name = name;
    leaf.data = text;
    leaves.push_back(std::move(leaf));
}
