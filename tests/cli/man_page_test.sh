#!/bin/sh
# The man page and `quorvane --help` name the same commands and options.
# Usage: man_page_test.sh QUORVANE MAN_PAGE
help=$(mktemp) || exit 1
trap 'rm -f "$help" "$help".*' EXIT
"$1" --help >"$help" || { echo "FAIL: --help exit status $?"; exit 1; }

# The commands and options of --help: the first word of each entry of its
# Commands: section, the dashed words before the description in Options:.
awk '/^Commands:/ { s = 1; next } /^$/ { s = 0 } s && /^  [a-z]/ { print $1 }' "$help" | sort >"$help.cmd"
awk '/^Options:/ { s = 1; next } /^$/ { s = 0 } s && /^  -/' "$help" | sed 's/   .*//' |
    grep -oE -- '-[-a-zA-Z0-9]+' | sort >"$help.opt"
# Those of the man page: the tag line of each entry of COMMANDS and OPTIONS,
# with its fonts and escaped dashes taken out.
tags() {
    awk -v want="$1" '/^\.SH / { s = ($2 == want); next } s && tp { print } { tp = ($0 == ".TP") }' "$2" |
        sed -E 's/\\f[BIRP]//g; s/\\-/-/g; s/^\.[A-Z]+ //; s/"//g'
}
tags COMMANDS "$2" | awk '{ print $1 }' | sort >"$help.mancmd"
tags OPTIONS "$2" | grep -oE -- '(^|[ ,])-[-a-zA-Z0-9]+' | tr -d ' ,' | sort >"$help.manopt"

failed=0
for kind in cmd opt; do
    [ -s "$help.$kind" ] || { echo "FAIL: found no $kind in --help"; failed=1; }
    if ! cmp -s "$help.$kind" "$help.man$kind"; then
        echo "FAIL: --help (<) and the man page (>) differ in their ${kind}s:"
        diff "$help.$kind" "$help.man$kind" | grep '^[<>]'
        failed=1
    fi
done
[ "$failed" = 0 ] && echo "PASS: $(wc -l <"$help.cmd") commands, $(wc -l <"$help.opt") options in both"
exit "$failed"
