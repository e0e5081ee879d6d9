#!/bin/sh
# The Debian package's documents, made from the repository's:
#   debian_docs.sh changelog OUTPUT.gz CHANGELOG.md PACKAGE CONTACT
#     each release of the Keep a Changelog file as a Debian changelog entry
#     (a native package's changelog.gz is read as one), compressed;
#   debian_docs.sh copyright OUTPUT LICENSE
#     the licence in Debian's machine-readable copyright format.
set -eu
output=$2
case $1 in
changelog)
    # A contact without an address gets an empty one: the trailer's form
    # requires the brackets, and no address may be made up.
    contact=$5
    case $contact in *'<'*) ;; *) contact="$contact <>" ;; esac
    awk -v package="$4" -v contact="$contact" '
        function close_entry() {
            if (!open) return
            command = "date -u -R -d " date
            command | getline stamp
            close(command)
            printf "\n -- %s  %s\n\n", contact, stamp
            open = 0
        }
        # A release: "## [VERSION] - YYYY-MM-DD"; [Unreleased] is none.
        /^## / {
            close_entry()
            if (match($0, /^## \[.+\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]/)) {
                version = $2; gsub(/[][]/, "", version)
                date = $4
                printf "%s (%s) unstable; urgency=medium\n\n", package, version
                open = 1; blank = 0; printed = 0
            }
            next
        }
        !open { next }
        /^[ \t]*$/ { blank = 1; next }
        {
            if (blank && printed) print ""
            blank = 0; printed = 1
            line = $0; gsub(/`/, "", line)
            if (line ~ /^### /) { sub(/^### /, "", line); print "  " line ":" }
            else if (line ~ /^- /) { sub(/^- /, "", line); print "  * " line }
            else if (line ~ /^  /) print "  " line
            else print "  " line
        }
        END { close_entry() }' "$3" | sed '$d' | gzip -9n >"$output"
    ;;
copyright)
    exec >"$output"
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: Quorvane"
    echo
    echo "Files: *"
    sed -n 's/^Copyright (c) /Copyright: /p' "$3"
    echo "License: Expat"
    # The text after the copyright line, each line indented, blank ones as " .".
    sed '1,/^Copyright/d' "$3" | sed '/./,$!d' | sed 's/^$/./; s/^/ /'
    ;;
*)
    echo "usage: $0 changelog OUTPUT.gz CHANGELOG.md PACKAGE CONTACT | copyright OUTPUT LICENSE" >&2
    exit 64
    ;;
esac
