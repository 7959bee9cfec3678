#include "tools/velpack/commands/HelpFormatter.h"

#include <sstream>

namespace {

// The last column a line may fill: one short of the console's 80, where
// the cursor would wrap.
const size_t kHelpWidth = 79;

// Characters, not bytes, of UTF-8 text.
size_t Columns(const std::string& text) {
    size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// text with its lines broken at blanks so that none is wider than width
// characters (a longer word stays whole); its own line breaks stay.
std::string WrapHelpText(const std::string& text, size_t width) {
    std::string wrapped;
    std::istringstream lines(text);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (!first) wrapped += '\n';
        first = false;
        std::istringstream words(line);
        std::string word;
        size_t used = 0;
        while (words >> word) {
            if (used != 0 && used + 1 + Columns(word) > width) {
                wrapped += '\n';
                used = 0;
            } else if (used != 0) {
                wrapped += ' ';
                ++used;
            }
            wrapped += word;
            used += Columns(word);
        }
    }
    if (!text.empty() && text.back() == '\n') wrapped += '\n';
    return wrapped;
}

}  // namespace

std::string HelpFormatter::make_description(const CLI::App* app) const {
    return WrapHelpText(CLI::Formatter::make_description(app), kHelpWidth);
}

std::string HelpFormatter::make_subcommand(const CLI::App* sub) const {
    std::ostringstream out;
    CLI::detail::format_help(out, sub->get_display_name(true),
                             WrapHelpText(sub->get_description(), kHelpWidth - get_column_width()),
                             get_column_width());
    return out.str();
}

std::string HelpFormatter::make_footer(const CLI::App* app) const {
    return WrapHelpText(CLI::Formatter::make_footer(app), kHelpWidth);
}

std::string HelpFormatter::make_option_desc(const CLI::Option* option) const {
    return WrapHelpText(CLI::Formatter::make_option_desc(option), kHelpWidth - get_column_width());
}
