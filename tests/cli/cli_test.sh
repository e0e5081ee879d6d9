#!/bin/sh
# Black-box tests of the console front end on real temporary trees.
# Usage: cli_test.sh QUORVANE GROUP HOLD_LEASE [FAULT_SHIM]
# Exit status 0 when the group passed, 1 when it failed, 77 when it could not
# run here at all.
absolute() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }
Q=$(absolute "$1")
GROUP=$2
. "$(dirname "$0")/program_copy.sh"
HOLD_LEASE=$(absolute "$3")
FAULT_SHIM=
[ -n "${4:-}" ] && FAULT_SHIM=$(absolute "$4")

T=$(mktemp -d) || exit 1
# Display paths are absolute and come from getcwd, so no symbolic links here.
T=$(cd "$T" && pwd -P)
trap 'chmod -R u+rwx "$T" 2>/dev/null; rm -rf "$T"' EXIT
cd "$T" || exit 1
# The ledger of these runs, never the user's.
XDG_STATE_HOME="$T/state"
export XDG_STATE_HOME

failures=0
fail() {
    printf 'FAIL [%s]: %s\n' "$GROUP" "$*" >&2
    failures=$((failures + 1))
}
note() { printf '%s\n' "$*"; }
# skip_group REASON: the group could not run here (exit 77), and why.
skip_group() {
    printf 'skipped: %s\n' "$*"
    return 77
}

# A run that hangs fails here instead of stalling the whole suite.
LIMIT=
command -v timeout >/dev/null 2>&1 && LIMIT="timeout 60"

# run ARGS...: stdout in $T/out, stderr in $T/err, status in $rc; no terminal.
run() {
    $LIMIT "$Q" "$@" >"$T/out" 2>"$T/err" </dev/null
    rc=$?
    [ "$rc" = 124 ] && [ -n "$LIMIT" ] && fail "quorvane $*: still running after 60 s"
}

expect_status() {
    [ "$rc" = "$1" ] || fail "$2: exit status $rc, expected $1; stderr: $(cat "$T/err")"
}

# expect_out WHAT LINE...: stdout holds exactly these lines, in any order
# (the walk follows the file system's order).
expect_out() {
    what=$1
    shift
    if [ $# -eq 0 ]; then : >"$T/exp"; else printf '%s\n' "$@" | LC_ALL=C sort >"$T/exp"; fi
    LC_ALL=C sort "$T/out" >"$T/got"
    if ! cmp -s "$T/exp" "$T/got"; then
        fail "$what: stdout differs (expected, then got)"
        cat "$T/exp" "$T/got" >&2
    fi
}

# expect_err WHAT LINE...: stderr is exactly these lines, in this order.
expect_err() {
    what=$1
    shift
    if [ $# -eq 0 ]; then : >"$T/exp"; else printf '%s\n' "$@" >"$T/exp"; fi
    if ! cmp -s "$T/exp" "$T/err"; then
        fail "$what: stderr differs (expected, then got)"
        cat "$T/exp" "$T/err" >&2
    fi
}

# The digest stored in user.z as lower-case hex, "none" without one, read
# without the program under test; empty when no tool for it is installed.
stored_hex() {
    if command -v python3 >/dev/null 2>&1; then
        python3 -c '
import os, sys
try:
    print(os.getxattr(sys.argv[1], "user.z").hex())
except OSError:
    print("none")' "$1"
    elif command -v getfattr >/dev/null 2>&1; then
        v=$(getfattr -e hex -n user.z --absolute-names -- "$1" 2>/dev/null | sed -n 's/^user\.z=0x//p')
        [ -n "$v" ] && echo "$v" || echo none
    fi
}

# set_stored_hex FILE HEX: writes user.z directly; false without a tool.
set_stored_hex() {
    if command -v python3 >/dev/null 2>&1; then
        python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.z", bytes.fromhex(sys.argv[2]))' "$1" "$2"
    elif command -v setfattr >/dev/null 2>&1; then
        setfattr -n user.z -v "0x$2" -- "$1"
    else
        return 1
    fi
}

mtime() { stat -c %y -- "$1"; }

# run_with_faults VAR=VALUE... QUORVANE ARGS...: run with the fault shim loaded.
run_with_faults() {
    $LIMIT env LD_PRELOAD="$FAULT_SHIM" "$@" >"$T/out" 2>"$T/err" </dev/null
    rc=$?
}

# digested_files DIR: the files under DIR whose user.z holds 64 bytes, sorted;
# one holding any other length as "SHORT path".
digested_files() {
    python3 -c '
import os, sys
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        path = os.path.join(folder, name)
        try:
            value = os.getxattr(path, "user.z")
        except OSError:
            continue
        print(path if len(value) == 64 else "SHORT " + path)' "$1" | LC_ALL=C sort
}

# records WORD: the paths of stdout's records of WORD, sorted.
records() { sed -n "s/^$1  //p" "$T/out" | LC_ALL=C sort; }

# The record show prints for FILE: its size and last-write time, in UTC.
recorded_line() {
    printf 'Recorded: %s bytes, last written %s.%sZ\n' "$(stat -c %s "$1")" \
        "$(date -u -d "@$(stat -c %Y "$1")" +%Y-%m-%dT%H:%M:%S)" "$(stat -c %y "$1" | sed 's/.*\.\([0-9]*\) .*/\1/')"
}

# change_byte FILE OFFSET CHAR: a new byte, the last-write time put back.
change_byte() {
    touch -r "$1" "$T/stamp"
    printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
    touch -r "$T/stamp" "$1"
}

# Whirlpool of known messages: the ISO/IEC 10118-3 vectors, and zero-filled
# files around the 64 KiB read size as an independent implementation gives them.
EMPTY=19fa61d75522a4669b44e39c1d2e1726c530232130d407f89afee0964997f7a73e83be698b288febcf88e3e03c4f0757ea8964e59b63d93708b138cc42a66eb3
ABC=4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5
FOX=b97de512e91e3828b40d2b0fdce9ceb3c4a71f9bea8d88e75c4fa854df36725fd2b52eb6544edcacd6f8beddfea403cb55ae31f03ad62a5ef54e42ee82c3fb35
MILLION_A=0c99005beb57eff50a7cf005560ddf5d29057fd86b20bfd62deca0f1ccea4af51fc15490eddc47af32bb2b66c34ff9ad8c6008ad677f77126953b226e4ed8b01
ZEROS_63=0fac8ef35b4f7be6e1ac1580eef1a8a90f81e3043cc45e918eda3543d9d4e9e3aa16c8e5e71bf792f81ca67f625ff98f9ca1eab8fa9b78c9d2e771cf249768dd
ZEROS_64=15cfa7c1df8e0d6753d9a9aed0642867e26bb3cf11df7dac96f60c274e060fda941ec41eaff5f7375f3839632516ae9a831d9f2fbe2bd0ff02e9cf16e99ebd03
ZEROS_65535=f67d66cd0b052945affbbd19ee9acbf042919877a69eef1be3f7c7c14971db991751a62e85bcabebd9aaca5839f84fb9c11892ec362a8e14b4fce7a45b696b08
ZEROS_65536=199a607ab91239883e7d144a6d13b8510c0b8733158bd2bfea4ebcb34a37d654270ddcdbfd7418916206bfda3c65cde63422d2f7ee8c32e215af467005c34c8a
ZEROS_65537=f5f1321a5471893e789984f94a63f72b52dd2b68cb041fc1ed1fdbbc79851e30b021cef0131f832b3e211f80c7368b3a173b3329ab06000312ae069ff11d355e
ZEROS_200000=2aa4f8eaeaec125f4dd6e5e2a9f6490814965ead3f458db57be599cd5a7d26b4ad8bc54297de80f9355cdec4ed244376944992e71fc482888495ea629cf12817

USAGE_TAIL="Usage: quorvane COMMAND [OPTIONS] TARGET...
Try 'quorvane --help' for more information."

test_usage() {
    run --help
    expect_status 0 "--help"
    grep -q '^Usage: quorvane COMMAND \[OPTIONS\] TARGET\.\.\.$' "$T/out" || fail "--help: no usage line"
    grep -q 'not-removed' "$T/out" || fail "--help: the output words are not named"
    cp "$T/out" "$T/help"
    for form in help -h "check --help" "show -0 --help"; do
        # shellcheck disable=SC2086
        run $form
        expect_status 0 "$form"
        cmp -s "$T/out" "$T/help" || fail "$form prints other text than --help"
    done

    # Every usage error: status 64, the problem, the usage line, nothing started.
    mkdir d && printf abc >d/a
    while IFS='|' read -r args problem; do
        # shellcheck disable=SC2086
        run $args
        expect_status 64 "'$args'"
        expect_out "'$args'"
        expect_err "'$args'" "quorvane: $problem" "$USAGE_TAIL"
    done <<'EOF'
|no command given
frob d|unknown command 'frob'
check --frob d|unknown option '--frob'
check -xq d|unknown option '-q'
check --ex d|--ex is ambiguous: --exclude, --exclude-from
check --json=yes d|--json takes no value
check d --exclude|--exclude needs a value
check d -x -j|-j needs a value
check|no target given
check -0 --|no target given
show|no file given
check --hex d|--hex belongs to show
list --yes d|--yes belongs to remove
digest --quiet d/a|--progress and --quiet belong to check, list, create, rewrite, remove, update, export and import
check --quiet --progress d|--progress and --quiet exclude each other
show -0 d/a|-0 needs --hex with show
remove d|remove asks first; give --yes when standard input is no terminal
shell|shell takes one of register, unregister and status
import - --exclude-from - d|the manifest and --exclude-from cannot both be standard input
EOF
    [ "$(stored_hex d/a)" = none ] || [ -z "$(stored_hex d/a)" ] || fail "a usage error wrote a digest"

    # Options as people type them, as getopt_long takes them: bundled, the
    # value joined, after = or as the next word, names abbreviated, options
    # after the targets; ARGS|the names listed.
    printf b >d/b
    printf 'b\n' >pats
    while IFS='|' read -r args listed; do
        # shellcheck disable=SC2086
        run $args
        expect_status 0 "'$args'"
        got=$(records no-digest | sed "s|^$T/d/||" | tr '\n' ' ')
        [ "$got" = "$listed " ] || fail "'$args' listed $got"
    done <<'EOF'
list -xj2 d|a b
list -x -j 2 --jobs=1 --one-file d|a b
list d --exclude=b|a
list --exclude b d|a
list --exclude-f=pats d|a
list -- d|a b
EOF
    printf 'a\n' | "$Q" list --exclude-from - d >"$T/out" 2>"$T/err"
    [ "$(records no-digest)" = "$T/d/b" ] || fail "--exclude-from - did not read standard input"
    # POSIXLY_CORRECT: the first target ends the options.
    POSIXLY_CORRECT=1 "$Q" list d --json >"$T/out" 2>"$T/err"
    grep -q -- '--json: No such file' "$T/err" || fail "POSIXLY_CORRECT: --json not taken for a target"
    # Usage errors come before the targets are looked at.
    run remove missing
    expect_status 64 "remove of a missing target without --yes"
    run shell status
    expect_status 64 "shell on Linux"
    expect_err "shell on Linux" "quorvane: shell: Explorer's entries are for Windows only"
}

test_digest() {
    : >empty
    printf abc >abc
    printf 'The quick brown fox jumps over the lazy dog' >fox
    head -c 1000000 /dev/zero | tr '\0' a >million
    for n in 63 64 65535 65536 65537 200000; do head -c $n /dev/zero >zeros$n; done
    run digest empty abc fox million zeros63 zeros64 zeros65535 zeros65536 zeros65537 zeros200000
    expect_status 0 "digest of known files"
    expect_err "digest of known files"
    printf '%s  %s\n' "$EMPTY" empty "$ABC" abc "$FOX" fox "$MILLION_A" million "$ZEROS_63" zeros63 \
        "$ZEROS_64" zeros64 "$ZEROS_65535" zeros65535 "$ZEROS_65536" zeros65536 "$ZEROS_65537" zeros65537 \
        "$ZEROS_200000" zeros200000 >"$T/exp"
    cmp -s "$T/exp" "$T/out" || { fail "digest: wrong digests or order"; diff "$T/exp" "$T/out" >&2; }

    # A file that cannot be read is named with the reason (escaped as in a
    # record); the others are still printed.
    mkdir folder
    mkfifo fifo
    run digest abc missing "gone
quorvane: forged" folder fifo empty /proc/version
    expect_status 4 "digest with unreadable operands"
    expect_out "digest with unreadable operands" "$ABC  abc" "$EMPTY  empty"
    expect_err "digest with unreadable operands" "quorvane: missing: No such file or directory" \
        "\\quorvane: gone\\nquorvane: forged: No such file or directory" \
        "quorvane: folder: Is a directory" "quorvane: fifo: Not a regular file" \
        "quorvane: /proc/version: holds more than its size says"

    # -0 ends each record with NUL; an absolute path is printed as given.
    run digest -0 abc "$T/empty"
    printf '%s  %s\0' "$ABC" abc "$EMPTY" "$T/empty" >"$T/exp"
    cmp -s "$T/exp" "$T/out" || fail "digest -0: records not NUL-terminated"

    # Records that cannot be written are no success.
    if [ -w /dev/full ]; then
        $LIMIT "$Q" digest abc >/dev/full 2>"$T/err" </dev/null
        rc=$?
        expect_status 4 "digest to a full disk"
        expect_err "digest to a full disk" "quorvane: standard output could not be written"
    fi
}

test_roundtrip() {
    mkdir -p d/sub/deeper
    printf abc >d/a.txt
    : >d/empty
    head -c 200000 /dev/zero >d/sub/zeros
    printf 'The quick brown fox jumps over the lazy dog' >d/sub/deeper/fox
    touch -d '2001-02-03 04:05:06.123456789' d/a.txt
    before=$(mtime d/a.txt)

    run create d
    expect_status 0 "create"
    expect_out "create" "written  $T/d/a.txt" "written  $T/d/empty" "written  $T/d/sub/zeros" \
        "written  $T/d/sub/deeper/fox"
    expect_err "create" "Ready."
    [ "$(mtime d/a.txt)" = "$before" ] || fail "create changed the last-write time"
    if [ -n "$(stored_hex d/a.txt)" ]; then
        [ "$(stored_hex d/a.txt)" = "$ABC" ] || fail "create stored $(stored_hex d/a.txt) for abc"
        [ "$(stored_hex d/empty)" = "$EMPTY" ] || fail "create stored the wrong digest of the empty file"
        [ "$(stored_hex d/sub/zeros)" = "$ZEROS_200000" ] || fail "create stored the wrong digest of zeros"
    else
        note "no python3 or getfattr: stored digests checked through show only"
    fi

    # show: the path, an empty line, four lines of 16 upper-case groups, and
    # what the record beside the digest says.
    run show d/a.txt
    expect_status 0 "show"
    printf '%s\n' d/a.txt "" \
        "4E 24 48 A4 C6 F4 86 BB 16 B6 56 2C 73 B4 02 0B" \
        "F3 04 3E 3A 73 1B CE 72 1A E1 B3 03 D9 7E 6D 4C" \
        "71 81 EE BD B6 C5 7E 27 7D 0E 34 95 71 14 CB D6" \
        "C7 97 FC 9D 95 D8 B5 82 D2 25 29 20 76 D4 EE F5" "$(recorded_line d/a.txt)" >"$T/exp"
    cmp -s "$T/exp" "$T/out" || { fail "show: not the viewer's text"; diff "$T/exp" "$T/out" >&2; }
    # --hex compares equal with digest.
    run show --hex d/a.txt d/sub/deeper/fox
    cp "$T/out" "$T/shown"
    run digest d/a.txt d/sub/deeper/fox
    cmp -s "$T/shown" "$T/out" || fail "show --hex and digest disagree"

    run check d
    expect_status 0 "check after create"
    expect_out "check after create"
    expect_err "check after create" "All files checked successfully."

    # Nothing left to create: no record, nothing rewritten.
    run create d
    expect_status 0 "second create"
    expect_out "second create"
    expect_err "second create" "Ready."

    # One byte changed, last-write time put back: only the digest notices.
    change_byte d/sub/zeros 100000 x
    run check d
    expect_status 1 "check of a changed byte"
    expect_out "check of a changed byte" "altered  $T/d/sub/zeros"
    expect_err "check of a changed byte" "Ready."

    # A new file without a digest and the altered one: flags add up.
    printf new >d/new.txt
    run check d
    expect_status 3 "check with altered and new"
    expect_out "check with altered and new" "altered  $T/d/sub/zeros" "no-digest  $T/d/new.txt"
    expect_err "check with altered and new" "Ready."

    # rewrite takes the change as the new truth and leaves files without a digest alone.
    zeros_time=$(mtime d/sub/zeros)
    run rewrite d
    expect_status 0 "rewrite"
    expect_out "rewrite" "written  $T/d/sub/zeros"
    expect_err "rewrite" "Ready."
    [ "$(mtime d/sub/zeros)" = "$zeros_time" ] || fail "rewrite changed the last-write time"
    run check d/sub d/a.txt
    expect_status 0 "check after rewrite"
    expect_err "check after rewrite" "All files checked successfully."
    run rewrite d
    expect_status 0 "rewrite with nothing altered"
    expect_out "rewrite with nothing altered"
    expect_err "rewrite with nothing altered" "Ready."

    run list d
    expect_status 0 "list"
    expect_out "list" "hashed  $T/d/a.txt" "hashed  $T/d/empty" "hashed  $T/d/sub/zeros" \
        "hashed  $T/d/sub/deeper/fox" "no-digest  $T/d/new.txt"
    expect_err "list" "Ready."

    # A stored digest cut short or too long is malformed, listed with the
    # altered files; show prints what is stored (no more than 64 bytes) and
    # says it is no digest.
    if set_stored_hex d/sub/deeper/fox "${ABC}00" 2>/dev/null; then
        run show --hex d/sub/deeper/fox
        expect_status 1 "show --hex of a long digest"
        expect_err "show --hex of a long digest" "quorvane: d/sub/deeper/fox: malformed digest of 65 bytes"
    fi
    if set_stored_hex d/sub/deeper/fox 000102030405060708090a0b0c0d0e0f1011121314 2>/dev/null; then
        run check d/sub/deeper
        expect_status 1 "check of a short digest"
        expect_out "check of a short digest" "malformed  $T/d/sub/deeper/fox"
        run show d/sub/deeper/fox
        printf '%s\n' d/sub/deeper/fox "" "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F" "10 11 12 13 14 " \
            >"$T/exp"
        cmp -s "$T/exp" "$T/out" || { fail "show of a short digest"; diff "$T/exp" "$T/out" >&2; }
        run show --hex d/sub/deeper/fox
        expect_status 1 "show --hex of a short digest"
        expect_out "show --hex of a short digest" "000102030405060708090a0b0c0d0e0f1011121314  d/sub/deeper/fox"
        run rewrite d/sub/deeper
        expect_out "rewrite of a short digest" "written  $T/d/sub/deeper/fox"
    else
        note "no python3 or setfattr: short digests not tested"
    fi

    run remove --yes d/sub d/a.txt
    expect_status 0 "remove"
    expect_out "remove" "removed  $T/d/sub/zeros" "removed  $T/d/sub/deeper/fox" "removed  $T/d/a.txt"
    expect_err "remove" "Ready."
    for f in d/sub/zeros d/sub/deeper/fox d/a.txt; do
        h=$(stored_hex "$f")
        [ -z "$h" ] || [ "$h" = none ] || fail "remove left user.z on $f"
    done
    run show d/a.txt d/empty
    expect_status 4 "show after remove"
    expect_out "show after remove" "d/empty" "" \
        "19 FA 61 D7 55 22 A4 66 9B 44 E3 9C 1D 2E 17 26" \
        "C5 30 23 21 30 D4 07 F8 9A FE E0 96 49 97 F7 A7" \
        "3E 83 BE 69 8B 28 8F EB CF 88 E3 E0 3C 4F 07 57" \
        "EA 89 64 E5 9B 63 D9 37 08 B1 38 CC 42 A6 6E B3" "$(recorded_line d/empty)"
    expect_err "show after remove" "quorvane: d/a.txt: no digest"
    run check d
    expect_status 2 "check after remove"
    expect_out "check after remove" "no-digest  $T/d/a.txt" "no-digest  $T/d/sub/zeros" \
        "no-digest  $T/d/sub/deeper/fox" "no-digest  $T/d/new.txt"
    # A second removal finds nothing to remove and still succeeds.
    run remove --yes d/a.txt
    expect_status 0 "remove without digest"
    expect_out "remove without digest" "no-digest  $T/d/a.txt"

    # create and rewrite run two workers one after the other; the second must
    # not take the first one's last reply. One processor makes the race likely.
    pin=
    command -v taskset >/dev/null 2>&1 && taskset -c 0 true 2>/dev/null && pin="taskset -c 0"
    printf x >one
    i=0
    while [ $i -lt 40 ]; do
        timeout 10 $pin "$Q" create --quiet one >/dev/null 2>&1 </dev/null
        rc=$?
        [ "$rc" = 0 ] || { fail "create one after another: status $rc in round $i"; break; }
        "$Q" remove --quiet --yes one >/dev/null 2>&1
        i=$((i + 1))
    done

    # A link named as a target is followed: what is written through it is
    # reported written.
    printf linked >linked && ln -s linked link
    while IFS='|' read -r command word; do
        case $command in update) printf more >>linked ;; rewrite) change_byte linked 0 X ;; esac
        run $command link
        expect_out "$command through a link named" "$word  $T/link"
    done <<'EOF'
create|written
update|updated
rewrite|written
EOF

    # --quiet: records only.
    run create --quiet d
    expect_status 0 "create --quiet"
    expect_err "create --quiet"
    [ "$(wc -l <"$T/out")" -eq 4 ] || fail "create --quiet: expected 4 records"
}

test_names() {
    mkdir d
    blank="$T/d/with blank"
    quote="$T/d/say \"hi\" it's"
    dash="$T/d/-0"
    backslash="$T/d/back\\slash"
    newline="$T/d/two
lines"
    bad="$T/d/bad$(printf '\377\376')name"
    for f in "$blank" "$quote" "$dash" "$backslash" "$newline" "$bad"; do printf '%s' "$f" >"$f"; done

    run create -0 d
    expect_status 0 "create of odd names"
    printf 'written  %s\0' "$blank" "$quote" "$dash" "$backslash" "$newline" "$bad" | LC_ALL=C sort -z >"$T/exp"
    LC_ALL=C sort -z "$T/out" >"$T/got"
    cmp -s "$T/exp" "$T/got" || fail "create -0 of odd names: records differ"

    # Each as a target of its own, one argument each; '--' lets a name begin with '-'.
    run check -- "$blank" "$quote" "$dash" "$backslash" "$newline" "$bad"
    expect_status 0 "check of odd names as targets"
    expect_err "check of odd names as targets" "All files checked successfully."

    change_byte "$newline" 0 X
    change_byte "$bad" 0 X
    run check -0 d
    expect_status 1 "check -0 of odd names"
    printf 'altered  %s\0' "$newline" "$bad" | LC_ALL=C sort -z >"$T/exp"
    LC_ALL=C sort -z "$T/out" >"$T/got"
    cmp -s "$T/exp" "$T/got" || fail "check -0 of odd names: records differ"

    run digest -0 -- "$dash" "$bad"
    expect_status 0 "digest of odd names"
    tr '\000' '\n' <"$T/out" | cut -c131- >"$T/got"
    printf '%s\n' "$dash" "$bad" | cmp -s - "$T/got" || fail "digest -0 of odd names"

    # Plain records cannot be forged by a name: a line feed, a backslash or a
    # carriage return is escaped as sha256sum escapes it.
    mkdir -p "d/x
altered  /etc"
    printf x >"d/x
altered  /etc/passwd"
    printf x >"d/cr$(printf '\r')"
    run list d
    expect_out "list of names that would break a record" "hashed  $blank" "hashed  $quote" "hashed  $dash" \
        "\\hashed  $T/d/back\\\\slash" "\\hashed  $T/d/two\\nlines" "hashed  $bad" \
        "\\no-digest  $T/d/x\\naltered  /etc/passwd" "\\no-digest  $T/d/cr\\r"
    rm -r "d/x
altered  " "d/cr$(printf '\r')"

    run rewrite -0 d
    expect_status 0 "rewrite of odd names"
    printf 'written  %s\0' "$newline" "$bad" | LC_ALL=C sort -z >"$T/exp"
    LC_ALL=C sort -z "$T/out" >"$T/got"
    cmp -s "$T/exp" "$T/got" || fail "rewrite -0 of odd names: records differ"

    # A relative target resolves against the current directory.
    (cd d && "$Q" list "with blank" >"$T/out" 2>"$T/err")
    expect_out "list of a relative target" "hashed  $blank"
}

test_missing() {
    mkdir d
    printf abc >d/a
    # One missing target stops none of the others; it is named in its place,
    # as a file that could not be read.
    run create d "$T/no such"
    expect_status 4 "create with a missing target"
    expect_out "create with a missing target" "written  $T/d/a" "unreadable  $T/no such"
    expect_err "create with a missing target" "quorvane: $T/no such: No such file or directory" \
        "1 file could not be read."
    # With no target at all, or no file of show and digest: 66, each one named.
    for command in check show digest; do
        run $command gone1 gone2
        expect_status 66 "$command of two missing targets"
        expect_err "$command of two missing targets" "quorvane: gone1: No such file or directory" \
            "quorvane: gone2: No such file or directory"
    done
    run remove --yes ""
    expect_status 66 "remove of an empty target"
    expect_err "remove of an empty target" "quorvane: : No such file or directory"
    # A FIFO target exists, but is no file to read: named, never passed.
    mkfifo fifo
    run list fifo d
    expect_status 4 "list of a FIFO target"
    expect_out "list of a FIFO target" "unreadable  $T/fifo" "hashed  $T/d/a"
    expect_err "list of a FIFO target" "quorvane: $T/fifo: Not a regular file" "1 file could not be read."
}

test_unreadable() {
    tested=0
    mkdir d
    printf abc >d/locked
    printf xyz >d/free
    "$Q" create --quiet d >/dev/null
    # A lease: the digest is readable, the contents cannot be opened, even by root.
    "$HOLD_LEASE" "$T/d/locked" "$Q" check d >"$T/out" 2>"$T/err" </dev/null
    rc=$?
    if [ "$rc" = 77 ]; then
        note "no file leases here: locked contents not tested"
    else
        tested=1
        expect_status 4 "check of a locked file"
        expect_out "check of a locked file" "unreadable  $T/d/locked"
        expect_err "check of a locked file" "quorvane: $T/d/locked: Resource temporarily unavailable" \
            "1 file could not be read."
        "$HOLD_LEASE" "$T/d/locked" "$Q" digest d/free d/locked >"$T/out" 2>"$T/err" </dev/null
        rc=$?
        expect_status 4 "digest of a locked file"
        expect_out "digest of a locked file" "$(printf '%s  d/free' "$("$Q" digest d/free | cut -c1-128)")"
        grep -q '^quorvane: d/locked: ' "$T/err" || fail "digest of a locked file: no message naming it"
        # rewrite: the check cannot read it, so it is not taken for altered.
        change_byte d/locked 0 X
        "$HOLD_LEASE" "$T/d/locked" "$Q" rewrite d >"$T/out" 2>"$T/err" </dev/null
        rc=$?
        expect_status 4 "rewrite of a locked file"
        expect_out "rewrite of a locked file" "unreadable  $T/d/locked"
        expect_err "rewrite of a locked file" "quorvane: $T/d/locked: Resource temporarily unavailable" \
            "1 file could not be read."
        # create: a file without a digest that cannot be read is not written.
        "$Q" remove --yes --quiet d/locked >/dev/null
        "$HOLD_LEASE" "$T/d/locked" "$Q" create d >"$T/out" 2>"$T/err" </dev/null
        rc=$?
        expect_status 4 "create of a locked file"
        expect_out "create of a locked file" "not-written  $T/d/locked"
        expect_err "create of a locked file" "quorvane: $T/d/locked: Resource temporarily unavailable" \
            "1 hash could not be written."
    fi

    # As an unprivileged user: denied contents, denied digests.
    if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null 2>&1; then
        note "not root or no setpriv: permission failures not tested"
    else
        tested=1
        copy_program "$Q" "$T/quorvane"
        chmod 755 "$T"
        mkdir p
        chmod 755 p
        printf one >p/secret
        printf two >p/open
        printf three >p/third
        "$Q" create --quiet p >/dev/null
        chmod 000 p/secret
        mkdir -m 777 nobody
        as_nobody() {
            setpriv --reuid=65534 --regid=65534 --clear-groups env XDG_STATE_HOME="$T/nobody" "$T/quorvane" "$@" \
                >"$T/out" 2>"$T/err" </dev/null
            rc=$?
        }
        as_nobody check p
        expect_status 4 "check of a denied file"
        expect_out "check of a denied file" "unreadable  $T/p/secret"
        expect_err "check of a denied file" "quorvane: $T/p/secret: Permission denied" "1 file could not be read."
        as_nobody digest p/secret p/open
        expect_status 4 "digest of a denied file"
        expect_err "digest of a denied file" "quorvane: p/secret: Permission denied"

        # Readable but not writable: digests can be neither written nor deleted.
        chmod 644 p/secret
        as_nobody remove --yes p
        expect_status 4 "remove of foreign files"
        expect_out "remove of foreign files" "not-removed  $T/p/secret" "not-removed  $T/p/open" \
            "not-removed  $T/p/third"
        grep -c ': Operation not permitted$\|: Permission denied$' "$T/err" | grep -qx 3 ||
            fail "remove of foreign files: not three reasons"
        tail -n 1 "$T/err" | grep -qx "3 hashes could not be deleted." || fail "remove of foreign files: closing text"
        "$Q" remove --yes --quiet p/open >/dev/null
        as_nobody create p
        expect_status 4 "create of a foreign file"
        expect_out "create of a foreign file" "not-written  $T/p/open"
        expect_err "create of a foreign file" "quorvane: $T/p/open: Permission denied" "1 hash could not be written."
        change_byte p/secret 0 X
        change_byte p/third 0 X
        as_nobody rewrite p
        expect_status 4 "rewrite of foreign files"
        expect_out "rewrite of foreign files" "not-written  $T/p/secret" "not-written  $T/p/third"
        tail -n 1 "$T/err" | grep -qx "2 hashes could not be written." || fail "rewrite of foreign files: closing text"
        [ "$(grep -c ': Permission denied$' "$T/err")" = 2 ] || fail "rewrite of foreign files: not two reasons"
        run check p/secret p/third
        expect_status 1 "foreign files stay altered"
    fi
    [ "$tested" = 1 ] || skip_group "no file leases here, and not root with setpriv"
}

# now_ms: milliseconds of the clock, for rough timing.
now_ms() { date +%s%3N; }

# Bytes this machine digests per millisecond, measured once.
SPEED=
measure_speed() {
    [ -n "$SPEED" ] && return
    truncate -s 200000000 "$T/probe"
    start=$(now_ms)
    "$Q" digest "$T/probe" >/dev/null
    spent=$(($(now_ms) - start))
    [ "$spent" -gt 0 ] || spent=1
    rm -f "$T/probe"
    SPEED=$((200000000 / spent))
}

# make_slow_file FILE SECONDS: a file with a digest that a check needs about
# SECONDS to read: digested while small, then grown (sparse), so that it
# checks as altered.
make_slow_file() {
    measure_speed
    printf x >"$1"
    "$Q" create --quiet "$1" >/dev/null
    truncate -s $((SPEED * 1000 * $2)) "$1"
}

process_state() { awk '{print $3}' "/proc/$1/stat" 2>/dev/null; }

test_interrupt() {
    # Ctrl-C during a long check: out within a poll, status 130.
    mkdir big
    make_slow_file big/slow 20
    "$Q" check --progress big >"$T/out" 2>"$T/err" &
    pid=$!
    sleep 2
    kill -INT "$pid"
    start=$(now_ms)
    wait "$pid"
    rc=$?
    expect_status 130 "Ctrl-C during check"
    [ $(($(now_ms) - start)) -lt 2000 ] || fail "Ctrl-C during check: took over 2 s to end"
    grep -q 'MB/s' "$T/err" || fail "Ctrl-C during check: no progress line before the interrupt"
    grep -q 'checked\|Ready' "$T/err" && fail "Ctrl-C during check: a closing text was printed"

    # SIGTERM the same way.
    "$Q" check big >"$T/out" 2>"$T/err" &
    pid=$!
    sleep 1
    kill -TERM "$pid"
    wait "$pid"
    rc=$?
    expect_status 130 "SIGTERM during check"
}

# A real Ctrl-C from outside, sent while a create is held at the write of
# f15's digest: that write is finished, none begins after it.
interrupt_held_create() {
    mkdir held "$T/hold"
    i=0
    while [ $i -lt 30 ]; do
        truncate -s $((70000 + i)) held/f$i
        i=$((i + 1))
    done
    env LD_PRELOAD="$FAULT_SHIM" FAULT_HOLD=fsetxattr:f15:1 FAULT_HOLD_DIR="$T/hold" "$Q" create -j 1 held \
        >"$T/out" 2>"$T/err" &
    pid=$!
    i=0
    while [ ! -e "$T/hold/held" ] && [ $i -lt 3000 ]; do sleep 0.1; i=$((i + 1)); done
    kill -INT "$pid"
    touch "$T/hold/go"
    wait "$pid"
    rc=$?
    expect_status 130 "Ctrl-C during create"
    written=$(grep -c '^written  ' "$T/out")
    [ "$written" -gt 0 ] && [ "$written" -lt 30 ] || fail "Ctrl-C during create: $written of 30 written"
    grep -q "^written  $T/held/f15\$" "$T/out" || fail "Ctrl-C during create: the write under way was not finished"
    cp "$T/out" "$T/written"
    run check held
    [ "$rc" = 2 ] || [ "$rc" = 0 ] || fail "check after an interrupted create: status $rc (altered digests?)"
    grep -q '^altered' "$T/out" && fail "an interrupted create left a wrong digest"
    hashed=$(($(ls held | wc -l) - $(grep -c '^no-digest  ' "$T/out")))
    [ "$hashed" -eq "$written" ] || fail "$hashed digests stored, $written reported written"
    for f in held/*; do
        h=$(stored_hex "$f")
        [ -z "$h" ] || [ "$h" = none ] || [ ${#h} -eq 128 ] || fail "$f holds a digest of ${#h} hex digits"
    done
}

# Ctrl-C at exact points of a create: before and after each digest write,
# before each read of the hashing. Whatever the point, every digest stored is
# whole and right and was reported, and no write or read begins after the
# interrupt.
test_interrupt_points() {
    if [ -z "$FAULT_SHIM" ] || ! command -v python3 >/dev/null 2>&1; then
        skip_group "no fault shim or python3: interrupt points not tested"
        return
    fi
    mkdir many
    # Sizes around the 64 KiB read; 20 reads in all.
    i=0
    for size in 0 1 63 64 65535 65536 65537 131072 200000 1000 300000 7; do
        head -c "$size" /dev/urandom >"many/f$i"
        i=$((i + 1))
    done
    points=
    n=1
    while [ $n -le 12 ]; do
        points="$points setxattr:$n:before setxattr:$n:after"
        n=$((n + 1))
    done
    n=1
    while [ $n -le 20 ]; do
        points="$points read:$n:before"
        n=$((n + 1))
    done
    for point in $points read:1:after read:6:after read:20:after; do
        interrupt_create_at "$point" 1
    done
    # With two hashing threads the other thread's write or read may be under
    # way when the interrupt lands: the record must still match the disk.
    for point in setxattr:1:after setxattr:3:before setxattr:5:after setxattr:9:before read:4:before read:11:after; do
        interrupt_create_at "$point" 2
    done
    test_interrupted_removals
    interrupt_held_create
}

# Ctrl-C during a remove: every digest deleted was reported removed, and none
# is deleted after the interrupt.
test_interrupted_removals() {
    for point in removexattr:1:after removexattr:4:before removexattr:7:after; do
        "$Q" create --quiet many >/dev/null
        run_with_faults FAULT_INTERRUPT="$point" "$Q" remove --yes many
        what="remove interrupted at $point"
        expect_status 130 "$what"
        grep -q 'removexattr after the interrupt' "$T/err" && fail "$what: a deletion began after it"
        records removed >"$T/reported"
        digested_files "$T/many" >"$T/stored"
        ls "$T/many" | sed "s|^|$T/many/|" | LC_ALL=C sort >"$T/all"
        LC_ALL=C comm -23 "$T/all" "$T/stored" >"$T/gone"
        if ! cmp -s "$T/reported" "$T/gone"; then
            fail "$what: digests reported removed, then gone"
            cat "$T/reported" "$T/gone" >&2
        fi
    done
}

# interrupt_create_at POINT JOBS
interrupt_create_at() {
    what="create -j$2 interrupted at $1"
    "$Q" remove --yes --quiet many >/dev/null
    run_with_faults FAULT_INTERRUPT="$1" "$Q" create -j "$2" many
    expect_status 130 "$what"
    if [ "$2" = 1 ]; then
        grep -q 'setxattr after the interrupt' "$T/err" && fail "$what: a write began after it"
        grep -q 'read after the interrupt' "$T/err" && fail "$what: hashing read on after it"
    fi
    grep -q 'Ready\|could not' "$T/err" && fail "$what: a closing text was printed"
    records written >"$T/reported"
    digested_files "$T/many" >"$T/stored"
    if ! cmp -s "$T/reported" "$T/stored"; then
        fail "$what: digests reported written, then stored"
        cat "$T/reported" "$T/stored" >&2
    fi
    case $1:$2 in
        setxattr:*:1)
            n=$(echo "$1" | cut -d: -f2)
            [ "$(wc -l <"$T/stored")" -eq "$n" ] || fail "$what: not $n digests stored"
            ;;
    esac
    run check many
    grep -q '^altered' "$T/out" && fail "$what left a wrong digest"
}

# On a file system that leaves entry types to a lookup, an entry that cannot
# be looked up is reported, never passed over as if it were no file.
test_lookups() {
    if [ -z "$FAULT_SHIM" ]; then
        skip_group "no fault shim: lookups not tested"
        return
    fi
    mkdir -p d/sub
    printf a >d/a
    printf b >d/hidden
    printf c >d/sub/c
    "$Q" create --quiet d >/dev/null
    run_with_faults FAULT_UNKNOWN_TYPES=1 "$Q" check d
    expect_status 0 "check with entry types left to lookups"
    run_with_faults FAULT_UNKNOWN_TYPES=1 FAULT_FSTATAT_FAILS=hidden "$Q" check d
    expect_status 4 "check with an entry that cannot be looked up"
    expect_out "check with an entry that cannot be looked up" "unreadable  $T/d/hidden"
    grep -q "^quorvane: $T/d/hidden: Permission denied\$" "$T/err" || fail "lookup failure: no reason given"
    grep -q 'All files checked successfully' "$T/err" && fail "lookup failure: success claimed"
}

# Records and reasons come out in the same order whatever -j: every command
# on a tree with every outcome, with one hashing thread and with four, the
# outputs compared as they are. The files' sizes differ widely, so that the
# threads finish them out of the order they were handed over.
test_order() {
    if [ -z "$FAULT_SHIM" ] || ! command -v python3 >/dev/null 2>&1; then
        skip_group "no fault shim or python3: no changed or malformed files can be made"
        return
    fi
    mkdir -p tree/a/deep tree/b
    i=0
    for size in 4000000 0 1 300000 64 65536 2000000 7 65537 1000 500000 3 131072 20 1500000 9 100000 5; do
        case $((i % 3)) in 0) folder=tree ;; 1) folder=tree/a ;; *) folder=tree/a/deep ;; esac
        head -c "$size" /dev/urandom >"$folder/f$i"
        i=$((i + 1))
    done
    # Small files, every one with a record in each command: altered (even
    # numbers, made before the create), or new (odd ones, after it).
    small_files() {
        i=$1
        while [ $i -lt 48 ]; do
            head -c $((i * 37)) /dev/urandom >"tree/b/s$i"
            i=$((i + 2))
        done
    }
    small_files 0
    printf 'locked' >tree/b/locked-hashed
    head -c 200000 /dev/urandom >tree/a/changing-hashed
    # Second names of files (one later altered, one edited) are met while the
    # first may still be under way: they must come out as with one thread.
    ln tree/f0 tree/b/hard-f0 && ln tree/f3 tree/b/hard-f3 && ln tree/a/f1 tree/b/hard-f1
    "$Q" create --quiet tree >/dev/null
    for f in tree/f3 tree/a/f7 tree/a/deep/f14 tree/f15 tree/b/s*; do change_byte "$f" 0 X; done
    printf more >>tree/a/f1
    set_stored_hex tree/a/f4 0011223344
    small_files 1
    printf 'locked' >tree/b/locked-new
    head -c 200000 /dev/urandom >tree/b/changing-new
    touch -d '2030-01-01' tree/a/f10
    cp -a tree template
    # Each file once, but those a command passes over in silence: its name
    # among the records exactly once, whatever record came before it.
    unchanged="f0 f2 f5 f6 f8 f9 f11 f12 f13 f16 f17 hard-f0"
    new="$(seq -f 's%g' 1 2 47) locked-new changing-new"
    find template -type f -printf '%f\n' | sort >"$T/all"
    while IFS='|' read -r command words silent; do
        for form in 1 4 "4 --json" "4 -0"; do
            tag=$(printf '%s' "$form" | tr -d ' ')
            rm -rf tree
            cp -a template tree
            # shellcheck disable=SC2086
            $LIMIT "$HOLD_LEASE" "$T/tree/b/locked-hashed" "$HOLD_LEASE" "$T/tree/b/locked-new" \
                env LD_PRELOAD="$FAULT_SHIM" FAULT_CHANGE_AT_READ=changing "$Q" $command -j $form tree \
                >"$T/out$tag" 2>"$T/err$tag" </dev/null
        done
        for word in $words; do
            grep -q "^$word  " "$T/out1" || fail "$command: no '$word' record; stdout: $(cat "$T/out1")"
        done
        cmp -s "$T/out1" "$T/out4" || { fail "$command: records of -j 1 and -j 4 differ"; diff "$T/out1" "$T/out4" >&2; }
        cmp -s "$T/err1" "$T/err4" || { fail "$command: reasons of -j 1 and -j 4 differ"; diff "$T/err1" "$T/err4" >&2; }
        # shellcheck disable=SC2086
        case $silent in
            unchanged) printf '%s\n' $unchanged ;;
            hashed) printf '%s\n' $new f4 | sort | comm -13 - "$T/all" ;;
            unjudged) printf '%s\n' $unchanged $(seq -f 's%g' 1 2 47) changing-new ;;
        esac | sort >"$T/silent"
        # A second name of a file just updated has nothing left to tell.
        comm -23 "$T/all" "$T/silent" | sed 's/^hard-f1$/f1/' | sort -u >"$T/told"
        sed 's/^[a-z-]*  //; s|.*/||' "$T/out1" | sort >"$T/named"
        [ -z "$(uniq -d "$T/named")" ] || fail "$command: a file named twice: $(uniq -d "$T/named")"
        sed -i 's/^hard-f1$/f1/' "$T/named" && sort -u -o "$T/named" "$T/named"
        cmp -s "$T/told" "$T/named" || { fail "$command: not each file's record once"; diff "$T/told" "$T/named" >&2; }
        lines=$(grep -c '' "$T/out1")
        [ "$(grep -c '' "$T/out4--json")" = "$lines" ] || fail "$command --json: not one line a record"
        [ "$(tr -cd '\0' <"$T/out4-0" | wc -c)" = "$lines" ] || fail "$command -0: not one record a file"
    done <<'EOF'
check|altered edited no-digest malformed unreadable changed stale-record|unchanged
create|written not-written changed malformed|hashed
update|altered updated written malformed unreadable changed refreshed|unchanged
rewrite|written unreadable changed stale-record|unjudged
remove --yes|removed no-digest|none
list|hashed no-digest malformed|none
EOF
}

# Digests that cannot be written, in runs between ones that can: the list the
# run works down keeps exactly the failures, in the order of the walk.
test_write_failures() {
    if [ -z "$FAULT_SHIM" ] || ! command -v python3 >/dev/null 2>&1; then
        skip_group "no fault shim or python3: write failures not tested"
        return
    fi
    mkdir d
    i=0
    while [ $i -lt 300 ]; do
        # Refused: runs of one to three files, none at first.
        case $((i % 7)):$((i % 11)) in
            3:* | 4:* | *:5 | *:6 | *:7) name=refused$i ;;
            *) name=f$i ;;
        esac
        printf '%s' "$i" >"d/$name"
        i=$((i + 1))
    done
    refused=$(ls d | grep -c '^refused')
    run_with_faults FAULT_SETXATTR_FAILS=refused "$Q" create d
    expect_status 4 "create with refused writes"
    [ "$(tail -1 "$T/err")" = "$refused hashes could not be written." ] ||
        fail "create with refused writes: closing text $(tail -1 "$T/err")"
    [ "$(grep -c ': Permission denied$' "$T/err")" = "$refused" ] ||
        fail "create with refused writes: not one reason per refused file"
    records written >"$T/written"
    records not-written >"$T/kept"
    digested_files "$T/d" >"$T/stored"
    cmp -s "$T/written" "$T/stored" || fail "create with refused writes: reported written differs from stored"
    grep -q refused "$T/written" && fail "create with refused writes: a refused file reported written"
    [ "$(grep -c '' "$T/written")" -eq $((300 - refused)) ] || fail "create with refused writes: others not written"
    [ "$(grep -c '/refused' "$T/kept")" -eq "$refused" ] || fail "create with refused writes: refused ones not reported"
    # The leftovers come in the walk's order, as a listing shows it.
    sed -n 's/^not-written  //p' "$T/out" >"$T/kept_order"
    run list d
    sed -n 's/^no-digest  //p' "$T/out" >"$T/listed_order"
    cmp -s "$T/kept_order" "$T/listed_order" || fail "create with refused writes: leftovers out of the walk's order"
    run check d
    expect_status 2 "check after refused writes"
    grep -q '^altered' "$T/out" && fail "create with refused writes stored a wrong digest"

    # A digest without its record is no success: a later edit would pass for
    # corruption.
    for command in create update; do
        rm -rf d && mkdir d && printf x >d/norecord
        run_with_faults FAULT_RECORD_FAILS=norecord "$Q" $command d
        expect_status 4 "$command with a record refused"
        expect_out "$command with a record refused" "not-written  $T/d/norecord"
        grep -q "norecord: No space left on device" "$T/err" || fail "$command with a record refused: $(cat "$T/err")"
        [ "$(getfattr --only-values -n user.zr d/norecord 2>/dev/null)" = "" ] ||
            fail "$command with a record refused: a record stands"
        getfattr -n user.z d/norecord >/dev/null 2>&1 &&
            fail "$command with a record refused: the digest it made stands"
    done
}

test_stop() {
    mkdir big
    make_slow_file big/slow 5
    "$Q" check --progress big >"$T/out" 2>"$T/err" &
    pid=$!
    sleep 2
    kill -TSTP "$pid"
    sleep 1
    if [ "$(process_state "$pid")" != T ]; then
        kill -CONT "$pid" 2>/dev/null
        wait "$pid"
        skip_group "Ctrl-Z did not stop the process here (orphaned process group?)"
        return
    fi
    before=$(tr '\r' '\n' <"$T/err" | sed -n 's/.*Average: *\([0-9.]*\) MB\/s.*/\1/p' | tail -n 1)
    sleep 15
    [ "$(process_state "$pid")" = T ] || fail "the stopped process did not stay stopped"
    kill -CONT "$pid"
    wait "$pid"
    rc=$?
    # Grown since it was hashed: edited, as its record tells.
    expect_status 8 "check stopped and continued"
    expect_out "check stopped and continued" "edited  $T/big/slow"
    grep -q '^Ready\.' "$T/err" || fail "no closing text after continuing"
    after=$(tr '\r' '\n' <"$T/err" | sed -n 's/.*Average: *\([0-9.]*\) MB\/s.*/\1/p' | tail -n 1)
    if [ -z "$before" ] || [ -z "$after" ]; then
        fail "no average throughput before ($before) or after ($after) the stop"
    else
        # Counted in, 15 s of stop in a run of about 5 s would quarter the
        # average; the margin is for a machine whose speed varies meanwhile.
        awk -v b="$before" -v a="$after" 'BEGIN { exit !(a >= 0.5 * b) }' ||
            fail "the stopped time counts in the throughput: average $before MB/s before, $after MB/s at the end"
    fi
}

# Edited or silently altered: what the record beside the digest tells, one
# case a row. Every row starts from a file hashed by create (digest and
# record), is changed as the row says, and is then checked and updated.
test_verdicts() {
    command -v python3 >/dev/null 2>&1 || { skip_group "no python3 to change records"; return 77; }
    # Edits: bytes at the end, the same time (put back), or a time of its own.
    grow() { printf 'more' >>"$1"; }
    same_size_same_time() { change_byte "$1" 0 X; }
    same_size_new_time() { change_byte "$1" 0 X && touch -d '2030-01-01' "$1"; }
    same_size_old_time() { change_byte "$1" 0 X && touch -d '2001-01-01' "$1"; }
    time_only() { touch -d '2030-01-01' "$1"; }
    record_only_lost() { python3 -c 'import os, sys; os.removexattr(sys.argv[1], "user.zr")' "$1"; }
    no_record() { change_byte "$1" 0 X && record_only_lost "$1"; }
    cut_short_same_time() { t=$(stat -c %y "$1") && truncate -s 3 "$1" && touch -d "$t" "$1"; }
    stale_record() {
        python3 -c 'import os, sys; v = bytearray(os.getxattr(sys.argv[1], "user.z")); v[0] ^= 1; os.setxattr(sys.argv[1], "user.z", bytes(v))' "$1"
    }
    # A copy that kept whole seconds only: the same contents, or other ones.
    seconds_only() { touch -d "@$(stat -c %Y "$1")" "$1"; }
    seconds_only_edit() { change_byte "$1" 0 X && seconds_only "$1"; }
    # change|check's word (none: not listed)|check status|update's word|update status|then check status
    while IFS='|' read -r change word status updated ustatus after; do
        rm -rf v && mkdir v && printf 'contents' >v/f
        touch -d '2020-02-02 02:02:02.123456789' v/f
        "$Q" create --quiet v >/dev/null
        $change v/f
        run check v
        expect_status "$status" "check after $change"
        if [ "$word" = none ]; then expect_out "check after $change"; else expect_out "check after $change" "$word  $T/v/f"; fi
        run update v
        expect_status "$ustatus" "update after $change"
        if [ "$updated" = none ]; then expect_out "update after $change"; else expect_out "update after $change" "$updated  $T/v/f"; fi
        run check v
        expect_status "$after" "check after update after $change"
    done <<'EOF'
grow|edited|8|updated|8|0
same_size_same_time|altered|1|altered|1|1
same_size_new_time|edited|8|updated|8|0
same_size_old_time|edited|8|updated|8|0
time_only|stale-record|16|refreshed|0|0
record_only_lost|stale-record|16|refreshed|0|0
no_record|altered|1|altered|1|1
cut_short_same_time|altered|1|altered|1|1
stale_record|altered|1|altered|1|1
seconds_only|none|0|none|0|0
seconds_only_edit|altered|1|altered|1|1
EOF
    # Flags add up: an altered file beside an edited and a new one.
    rm -rf v && mkdir v && printf 'a' >v/a && printf 'e' >v/e
    "$Q" create --quiet v >/dev/null
    same_size_same_time v/a
    grow v/e
    printf 'n' >v/n
    run update v
    expect_status 11 "update of an altered, an edited and a new file"
    # A file only touched gets a new record from update: rot after it is no edit.
    rm -rf v && mkdir v && printf 'contents' >v/f
    "$Q" create --quiet v >/dev/null
    time_only v/f
    run update v
    same_size_same_time v/f
    run check v
    expect_out "rot after a refreshed record" "altered  $T/v/f"
    # The reason of an older version, on standard error.
    run rewrite v
    change_byte v/f 1 Y && touch -d '2001-01-01' v/f
    run check v
    expect_err "older version" "quorvane: $T/v/f: replaced by an older version" "Ready. 1 of 1 altered files were edited."

    # JSON lines, read back by a JSON parser.
    rm -rf v && mkdir v && printf 'a' >v/a && printf 'b' >"v/q\"uote" && printf 'n' >v/new
    "$Q" create --quiet v/a "v/q\"uote" >/dev/null
    printf 'A' >v/a
    change_byte "v/q\"uote" 0 B
    run check --json v
    expect_status 11 "check --json"
    python3 - "$T/out" "$T/v" <<'PY' || fail "check --json: lines not as expected"
import json, sys
records = {r["path"]: r for r in map(json.loads, open(sys.argv[1], encoding="utf-8"))}
root = sys.argv[2]
assert set(records) == {root + "/a", root + '/q"uote', root + "/new"}, records
a, q, n = records[root + "/a"], records[root + '/q"uote'], records[root + "/new"]
assert a["word"] == "edited" and q["word"] == "altered" and n["word"] == "no-digest", records
for r in (a, q):
    assert len(r["stored"]) == 128 and len(r["computed"]) == 128 and r["stored"] != r["computed"], r
    assert r["size"] == 1 and r["modified"].endswith("Z"), r
    assert r["recorded_size"] == 1 and r["recorded_modified"].endswith("Z"), r
assert "stored" not in n and "computed" not in n, n
PY
    # A digest just written has no record to set beside its facts.
    run create --json v
    python3 -c 'import json, sys; r = json.loads(open(sys.argv[1]).read()); assert r["word"] == "written" and "computed" in r and "recorded_size" not in r, r' "$T/out" ||
        fail "create --json: $(cat "$T/out")"
}

# Excludes on a tree with matches at every depth: names, paths below the
# target, ** at both ends and inside, folders only, a pattern file.
test_excludes() {
    mkdir -p x/keep/deep/tmp x/tmp x/build/out x/src/build x/.git/objects
    for f in x/a.txt x/a.tmp x/keep/b.tmp x/keep/deep/c.txt x/keep/deep/tmp/d.txt x/tmp/e.txt x/build/out/f.o \
        x/src/build/g.c x/src/h.c x/.git/objects/i x/build.txt; do printf x >"$f"; done
    printf '# build output\n/build/\n\n*.o\n' >patterns
    run list --exclude '*.tmp' --exclude 'tmp/' --exclude '**/.git' --exclude-from patterns x
    expect_status 0 "list with excludes"
    expect_out "list with excludes" "no-digest  $T/x/a.txt" "no-digest  $T/x/keep/deep/c.txt" \
        "no-digest  $T/x/src/build/g.c" "no-digest  $T/x/src/h.c" "no-digest  $T/x/build.txt"
    run create --exclude 'keep/**' --exclude 'src/*/' x
    expect_out "create with excludes" "written  $T/x/a.txt" "written  $T/x/a.tmp" "written  $T/x/tmp/e.txt" \
        "written  $T/x/build/out/f.o" "written  $T/x/src/h.c" "written  $T/x/.git/objects/i" "written  $T/x/build.txt"
    # bad|reason: a usage error with the reason, nothing walked.
    while IFS='|' read -r bad reason; do
        run list $bad x
        expect_status 64 "$bad"
        grep -q "$reason" "$T/err" || fail "$bad: no reason '$reason': $(cat "$T/err")"
        [ -s "$T/out" ] && fail "$bad: walked anyway"
    done <<'EOF'
--exclude=[ab|\[
--exclude-from=missing|No such file
--exclude=|empty
EOF
}

# The tree changes at an exact step of a run (the shim holds the run there):
# an entry swapped for a link to a file or folder outside the target, a file
# renamed over a listed one, a digest appearing meanwhile. Nothing outside is
# read, written or deleted, and no digest of another file is written over.
test_races() {
    if [ -z "$FAULT_SHIM" ] || ! command -v python3 >/dev/null 2>&1; then
        note "no fault shim or python3: races not tested"
        return 77
    fi
    # Digests of the files outside and of the one renamed over, wherever it is.
    outside() { for f in o/f o/sub/f "$(cat b.at)"; do stored_hex "$f"; done; }
    # command|swap|hold point|word for t/sub/f (none: no record of it)
    while IFS='|' read -r command swap hold word; do
        what="$command with $swap"
        rm -rf t o b b.at hold && mkdir -p t/sub o/sub hold
        printf inside >t/sub/f
        printf outside >o/f
        printf outside >o/sub/f
        printf b >b
        echo b >b.at
        case $command in create) "$Q" create --quiet b >/dev/null ;; *) "$Q" create --quiet t o b >/dev/null ;; esac
        # Anything read outside would be called altered; a rewrite needs its altered file.
        for f in o/f o/sub/f; do change_byte "$f" 0 X; done
        [ "$command" = rewrite ] && change_byte t/sub/f 0 X
        before=$(outside)
        extra=
        [ "$command" = remove ] && extra=--yes
        $LIMIT env LD_PRELOAD="$FAULT_SHIM" FAULT_HOLD="$hold" FAULT_HOLD_DIR="$T/hold" \
            "$Q" "$command" $extra t >"$T/out" 2>"$T/err" </dev/null &
        pid=$!
        i=0
        while [ ! -e hold/held ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i + 1)); done
        [ -e hold/held ] || fail "$what: never reached $hold"
        case $swap in
            "a file link") mv t/sub/f away && ln -s "$T/o/f" t/sub/f ;;
            "a folder link") mv t/sub away && ln -s "$T/o/sub" t/sub ;;
            "a rename over") mv b t/sub/f && echo t/sub/f >b.at ;;
            "a digest appearing") python3 -c 'import os, sys; os.setxattr(sys.argv[1], "user.z", b"\1" * 64)' t/sub/f ;;
        esac
        touch hold/go
        wait $pid
        grep -q '^altered' "$T/out" && fail "$what: judged a file outside: $(cat "$T/out")"
        if [ "$word" = none ]; then
            grep -q "  $T/t/sub/f\$" "$T/out" && fail "$what: $(cat "$T/out")"
        else
            grep -qx "$word  $T/t/sub/f" "$T/out" || fail "$what: no '$word' record: $(cat "$T/out" "$T/err")"
        fi
        after=$(outside)
        [ "$before" = "$after" ] || fail "$what: digests outside or of the file renamed over changed"
        [ "$swap" = "a digest appearing" ] && [ "$(stored_hex t/sub/f)" != "$(printf '01%.0s' $(seq 64))" ] &&
            fail "$what: the digest that appeared was written over"
        rm -rf away
    done <<'EOF'
check|a file link|openat:f:1|none
check|a folder link|openat:sub:1|none
check|a rename over|fgetxattr:f:1|none
create|a file link|openat:f:1|none
create|a folder link|openat:sub:1|none
create|a rename over|fsetxattr:f:1|changed
create|a digest appearing|fsetxattr:f:1|changed
rewrite|a file link|openat2:f:1|changed
rewrite|a folder link|openat2:f:1|changed
rewrite|a rename over|openat2:f:1|changed
remove|a file link|openat:f:1|none
remove|a folder link|openat:sub:1|none
EOF
}

# The schedule. A random tree whose files were all touched since they were
# hashed: each file a run verifies says so as stale-record, so that the
# records show what each run read.
schedule_tree() {
    rm -rf r "$T/state" && mkdir r
    python3 -c '
import os, random, sys
random.seed(int(sys.argv[1]))
folders = ["r"]
for i in range(int(sys.argv[2])):
    if random.random() < 0.2:
        folders.append(os.path.join(random.choice(folders), "d%d" % i))
        os.makedirs(folders[-1])
    with open(os.path.join(random.choice(folders), "f%d" % i), "wb") as f:
        f.write(os.urandom(random.randrange(3000)))' "$1" "$2"
    "$Q" create --quiet r >/dev/null
    for f in $(find r -type f -name 'f*[05]'); do rm "$f" && touch "$f"; done
    find r -type f -exec touch -d '+1 min' {} +
    "$Q" list -j 1 r | sed -n 's/^hashed  //p' >"$T/walked"
    LC_ALL=C sort "$T/walked" >"$T/all"
}

# stale_paths: the paths of the JSON lines in $T/out that say stale-record.
stale_paths() { sed -n 's/.*"word":"stale-record","path":"\([^"]*\)".*/\1/p' "$T/out"; }

remaining_files() { sed -n 's/.*"remaining_files":\([0-9]*\).*/\1/p' "$T/out"; }

# Every file verified exactly once, by the runs whose paths are in $T/seen.
expect_each_once() {
    LC_ALL=C sort "$T/seen" >"$T/got"
    cmp -s "$T/all" "$T/got" || fail "$1: $(LC_ALL=C comm -3 "$T/all" "$T/got" | head -3) (not once each)"
}

test_schedule() {
    command -v python3 >/dev/null 2>&1 || { skip_group "no python3: no random trees"; return; }
    # Slices partition: K = 1..N verify every file with a digest exactly once;
    # files without one are told in every slice.
    for tree in 1:120:3 2:200:7 3:60:1 4:150:20; do
        schedule_tree "$(echo $tree | cut -d: -f1)" "$(echo $tree | cut -d: -f2)"
        n=$(echo $tree | cut -d: -f3)
        : >"$T/seen"
        k=1
        while [ $k -le "$n" ]; do
            run check --no-ledger --json --slice "$k/$n" r
            stale_paths >>"$T/seen"
            [ "$(grep -c '"word":"no-digest"' "$T/out")" = "$(find r -name 'f*[05]' | wc -l)" ] ||
                fail "slice $k/$n: not every file without a digest told"
            k=$((k + 1))
        done
        expect_each_once "slices of $n over tree $tree"
    done
    # A budget resumed until nothing remains: each file once, in rounds.
    schedule_tree 5 300
    : >"$T/seen"
    runs=0
    while [ $runs -lt 60 ]; do
        run check --older-than 1d --budget 40K --json r
        stale_paths >>"$T/seen"
        runs=$((runs + 1))
        [ "$(remaining_files)" = 0 ] && break
    done
    [ $runs -gt 3 ] || fail "a budget of 40K verified 300 files in $runs runs"
    expect_each_once "budgeted runs"
    grep -q 'not verified within 1d remain' "$T/err" || fail "no remaining count: $(cat "$T/err")"
    # Within the period nothing is due: nothing read, and nothing remains.
    run check --older-than 1d --json r
    [ "$(stale_paths | wc -l)" = 0 ] && [ "$(remaining_files)" = 0 ] || fail "a second run read again: $(head -2 "$T/out")"
    [ -n "$FAULT_SHIM" ] && schedule_interrupted
    schedule_altered_rule
}

# A run held before the 40th file in the walk's order, with the ledger: a
# second run waits for it; the first is killed, and the second reads exactly
# the files from the 40th on.
schedule_interrupted() {
    schedule_tree 6 80
    held=$(sed -n 40p "$T/walked")
    mkdir "$T/hold"
    env LD_PRELOAD="$FAULT_SHIM" FAULT_HOLD="fgetxattr:$(basename "$held"):1" FAULT_HOLD_DIR="$T/hold" \
        "$Q" check -j 1 r >"$T/a.out" 2>"$T/a.err" &
    a=$!
    i=0
    while [ ! -e "$T/hold/held" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
    "$Q" check --older-than 1d --json r >"$T/b.out" 2>"$T/b.err" &
    b=$!
    while ! grep -q 'waiting until it ends' "$T/b.err" && [ $i -lt 1200 ]; do sleep 0.1; i=$((i + 1)); done
    grep -q 'waiting until it ends' "$T/b.err" || fail "a second run at once did not wait: $(cat "$T/b.err")"
    "$Q" check r 2>"$T/c.err" & c=$!
    while ! grep -q 'waiting until it ends' "$T/c.err" && [ $i -lt 1800 ]; do sleep 0.1; i=$((i + 1)); done
    kill -INT $c; wait $c; [ $? = 130 ] || fail "Ctrl-C did not end a run waiting for the ledger"
    kill -9 $a
    wait $b
    cp "$T/b.out" "$T/out"
    stale_paths | LC_ALL=C sort >"$T/got"
    sed -n '40,$p' "$T/walked" | LC_ALL=C sort >"$T/exp"
    cmp -s "$T/exp" "$T/got" || fail "after a kill at the 40th file: $(LC_ALL=C comm -3 "$T/exp" "$T/got" | head -3)"
    rm -r "$T/hold"
}

# A file touched, verified, then changed under that same time: the record
# says edited, the ledger altered. A ledger that cannot be used costs one
# warning, never the verdict.
schedule_altered_rule() {
    rm -rf "$T/state" l && mkdir l
    printf 'some contents' >l/f
    "$Q" create --quiet l >/dev/null
    touch -d '+1 min' l/f
    run check l
    expect_status 16 "a touched file"
    change_byte l/f 0 S
    mkdir -p "$T/folded/quorvane/ledger"
    # options|state folder|word|status|warnings
    while IFS='|' read -r options state word status warnings; do
        XDG_STATE_HOME=$state
        run check $options l
        XDG_STATE_HOME=$T/state
        expect_out "check $options with $state" "$word  $T/l/f"
        expect_status "$status" "check $options with $state"
        [ "$(grep -c 'ledger' "$T/err")" = "$warnings" ] || fail "check with $state: $(cat "$T/err")"
        [ ! -e "$state/quorvane/ledger.new" ] || fail "check with $state left a ledger.new"
    done <<EOF
|$T/state|altered|1|0
|$T/state|altered|1|0
--no-ledger|$T/state|edited|8|0
|$T/l/f|edited|8|1
|$T/folded|edited|8|1
EOF
    # Read in vain, it waits its turn like the rest: no budget goes on it again.
    printf 'edited' >l/f
    for status in 8 0; do
        run check --older-than 1d l
        expect_status $status "check --older-than of an edited file, read in vain before"
    done
}

test_progress() {
    mkdir big
    make_slow_file big/slow 2

    # Not a terminal: no progress line, just the closing text.
    run check big
    expect_err "check without a terminal" "Ready. 1 of 1 altered files were edited."
    # Not a terminal: each tick a line of its own, so that a record written to
    # the same stream never shares one with it.
    printf abc >big/altered
    "$Q" create --quiet big/altered >/dev/null
    printf abd >big/altered
    "$Q" check --progress big >"$T/out" 2>&1 </dev/null
    tick=' *[0-9.]* %  *[0-9.]* MB/s  (Average: *[0-9.]* MB/s)  Remaining: [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'
    grep -qx "$tick" "$T/out" || fail "--progress: no line in the window's format"
    grep -q '100\.0 %' "$T/out" || fail "--progress: the final tick does not show 100.0 %"
    bad=$(grep -vx -e "$tick" -e "altered  $T/big/[a-z]*" -e "edited  $T/big/[a-z]*" -e 'Ready\. 2 of 2 altered files were edited\.' "$T/out")
    [ -z "$bad" ] || fail "--progress with the records in one stream: $(printf '%s' "$bad" | od -c | head -3)"
    rm big/altered
    run check --quiet big
    expect_err "check --quiet"
    # A listing reads no contents: the line never appears.
    run list --progress big
    expect_err "list --progress" "Ready."

    # On a terminal the line appears by itself.
    if command -v script >/dev/null 2>&1; then
        script -qec "'$Q' check big" /dev/null </dev/null >"$T/tty" 2>&1
        grep -q 'Remaining:' "$T/tty" || fail "check on a terminal: no progress line"
        grep -q 'Ready\.' "$T/tty" || fail "check on a terminal: no closing text"
    else
        note "no script(1): the terminal's progress line not tested"
    fi
}

test_confirm() {
    command -v script >/dev/null 2>&1 || { skip_group "no script(1): the question not tested"; return; }
    mkdir d
    printf abc >d/a
    "$Q" create --quiet d >/dev/null
    printf 'n\n' | script -qec "'$Q' remove d" /dev/null >"$T/tty" 2>&1
    grep -q 'Do you really want to delete hashes of these files/folders?' "$T/tty" || fail "remove asked nothing"
    "$Q" show d/a >/dev/null 2>&1 || fail "remove answered no deleted the digest"
    printf 'y\n' | script -qec "'$Q' remove d" /dev/null >"$T/tty" 2>&1
    grep -q "removed  $T/d/a" "$T/tty" || fail "remove answered yes did not report the removal"
    "$Q" show d/a >/dev/null 2>&1 && fail "remove answered yes left the digest"
    # --yes asks nothing, also on a terminal.
    "$Q" create --quiet d >/dev/null
    script -qec "'$Q' remove --yes d" /dev/null </dev/null >"$T/tty" 2>&1
    grep -q 'Do you really' "$T/tty" && fail "remove --yes asked"
    "$Q" show d/a >/dev/null 2>&1 && fail "remove --yes left the digest"
}

case "$GROUP" in
    usage | digest | roundtrip | names | missing | unreadable | interrupt | stop | progress | confirm | races | \
        verdicts | excludes | schedule | \
        interrupt_points | write_failures | lookups | order)
        "test_$GROUP"
        result=$?
        ;;
    *)
        echo "unknown group $GROUP" >&2
        exit 2
        ;;
esac
[ "$failures" -eq 0 ] || exit 1
[ "$result" = 77 ] && exit 77
echo "PASS [$GROUP]"
exit 0
