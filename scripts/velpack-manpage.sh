#!/bin/sh
# Makes the man page velpack.1.gz from velpack's own help: help2man reads
# `velpack --help` and `--version`, and every command's --help becomes a
# part of the COMMANDS section (its options as tagged paragraphs, its notes
# as text), so that the page says what the program says.
#
# usage: velpack-manpage.sh VELPACK OUT.1.gz
set -eu
velpack=$1
out=$2
include=$(mktemp)
page=$(mktemp)
trap 'rm -f "$include" "$page"' EXIT

# troff: backslashes escaped, no line taken for a request.
escape() {
    sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
}

{
    printf '[COMMANDS]\n'
    # The commands: the names in the first column of "Subcommands:" (what
    # they do may go on, further indented, on the lines below).
    for command in $("$velpack" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [^ ]/ { print $1 }'); do
        printf '.SS "velpack %s"\n' "$command"
        # Lines: the summary, "Usage: …", headings ("Options:"), options
        # (indented: name, then two blanks or more, then what it does,
        # going on in lines indented further), and the notes of the
        # footer, a paragraph wrapped over lines up to a blank one.
        "$velpack" "$command" --help | escape | awk '
            # A text that moved to the start of a line is not taken for a request.
            function safe(s) { return s ~ /^[.\047]/ ? "\\&" s : s }
            /^$/ { text = 0; next }
            /^Usage: / { print ".PP"; print "\\fB" substr($0, 8) "\\fR"; text = 0; next }
            /^[A-Z][a-z]*:$/ { print ".PP"; print "\\fI" $0 "\\fR"; text = 0; next }
            /^   / { sub(/^ +/, ""); print safe($0); next }
            /^  / {
                text = 0
                line = substr($0, 3)
                split_at = match(line, /  +/)
                print ".TP"
                if (split_at) {
                    print "\\fB" substr(line, 1, split_at - 1) "\\fR"
                    rest = substr(line, split_at)
                    sub(/^ +/, "", rest)
                    print safe(rest)
                } else {
                    print "\\fB" line "\\fR"
                }
                next
            }
            { if (!text) print ".PP"; print; text = 1 }'
    done
    printf '[SEE ALSO]\n.BR osslsigncode (1)\n'
} >"$include"

help2man --no-info --name "makes, inspects and binds installation payloads" \
    --include "$include" --output "$page" "$velpack"
gzip -9n <"$page" >"$out"
