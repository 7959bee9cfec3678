// velpack's help, wrapped to fit an 80-column console. CLI11 prints every
// description and footer on one line, which cmd.exe's window (and a
// terminal) breaks wherever its edge falls, in the middle of words; the man
// page and the plain-text reference are made from the same text.
#ifndef VEL_VELPACK_HELPFORMATTER_H
#define VEL_VELPACK_HELPFORMATTER_H

#include <CLI/CLI.hpp>

#include <string>

class HelpFormatter : public CLI::Formatter {
public:
    std::string make_description(const CLI::App* app) const override;
    std::string make_subcommand(const CLI::App* sub) const override;
    std::string make_footer(const CLI::App* app) const override;
    std::string make_option_desc(const CLI::Option* option) const override;
};

#endif
