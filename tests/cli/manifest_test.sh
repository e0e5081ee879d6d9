#!/bin/sh
# export and import on real trees, against rhash and hashdeep, and through a
# FAT image (mtools). Usage: manifest_test.sh QUORVANE GROUP
absolute() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }
Q=$(absolute "$1")
GROUP=$2
export LC_ALL=C.UTF-8

T=$(mktemp -d) || exit 1
T=$(cd "$T" && pwd -P)
trap 'rm -rf "$T"' EXIT
# The ledger of the checks here is the test's own.
XDG_STATE_HOME="$T/state"
export XDG_STATE_HOME
cd "$T" || exit 1

failures=0
fail() {
    printf 'FAIL [manifest %s]: %s\n' "$GROUP" "$*" >&2
    failures=$((failures + 1))
}
# needs TOOL...: the group cannot run here without them (77).
needs() { for tool; do command -v "$tool" >/dev/null 2>&1 || { echo "skipped: no $tool here" && exit 77; }; done; }

# run ARGS...: stdout in out, stderr in err, status in rc.
run() { "$Q" "$@" >out 2>err </dev/null; rc=$?; }
expect() { [ "$rc" = "$1" ] || fail "$2: exit status $rc, expected $1; $(cat out err)"; }
# words: the records' words, sorted, on one line.
words() { cut -d' ' -f1 out | LC_ALL=C sort | tr '\n' ' '; }

# A tree of names that need no escape (blanks, UTF-8, an empty file).
make_tree() {
    mkdir -p "$1/sub dir"
    printf abc >"$1/a.txt"
    : >"$1/empty"
    head -c 200000 /dev/zero >"$1/sub dir/zeros"
    printf 'caf\303\251' >"$1/sub dir/$(printf 'caf\303\251').txt"
}
# corrupt FILE: its first byte changed, its size and time kept.
corrupt() {
    touch -r "$1" stamp
    printf X | dd of="$1" bs=1 conv=notrunc status=none
    touch -r stamp "$1"
}
# imports_whole MANIFEST DIR: every file of DIR gets its digest and record.
imports_whole() {
    run import "$1" "$2"
    expect 0 "import of $1"
    [ "$(words)" = "written written written written " ] || fail "import of $1: $(cat out err)"
    run check "$2"
    expect 0 "check after import of $1"
}

case $GROUP in
export)
    needs python3
    make_tree d
    "$Q" create --quiet d >/dev/null
    printf new >d/new
    printf m >d/malformed && python3 -c 'import os; os.setxattr("d/malformed", "user.z", b"short")'
    touch -d '2030-01-01' d/a.txt
    # Left out, each named with its flag: no digest (2), malformed (1), a
    # record out of step (16); the manifest itself is not listed.
    run export -o d/sums.whirlpool d
    expect 19 "export of a tree with files left out"
    [ "$(wc -l <d/sums.whirlpool)" = 3 ] && ! grep -q -e a.txt -e sums d/sums.whirlpool ||
        fail "export: $(cat d/sums.whirlpool)"
    [ "$(grep -c -e "/new: left out" -e "/malformed: left out" -e "/a.txt: left out" err)" = 3 ] || fail "$(cat err)"
    # Verified, a file whose contents match goes in although its record is out
    # of step; one whose contents changed (its time kept) is left out.
    corrupt "d/sub dir/zeros"
    run export --verify --relative-to d --format bsd -o - d
    expect 19 "export --verify"
    grep -q '^WHIRLPOOL (a.txt) = 4e2448a4' out && ! grep -q zeros out || fail "export --verify: $(cat out)"
    grep -q "^quorvane: $T/d/sub dir/zeros: left out: " err || fail "export --verify names no altered file: $(cat err)"
    # hashdeep's lines have no escapes: a name with a line feed is left out (4).
    mkdir n && printf x >"n/line
feed" && "$Q" create --quiet n >/dev/null
    run export --format hashdeep n
    expect 4 "export of a name hashdeep cannot hold"
    run export n
    expect 0 "export of an escaped name"
    grep -q '^\\[0-9a-f]\{128\}  n/line\\nfeed$' out || fail "export does not escape a line feed: $(cat out)"
    run export --relative-to n/line* n
    expect 64 "export relative to a file"
    ;;
import)
    make_tree d
    "$Q" create --quiet d >/dev/null
    "$Q" export d d/a.txt >d/sums.whirlpool 2>/dev/null
    "$Q" remove --yes --quiet d >/dev/null
    # Each case: what is done to d after the digests are gone, the words and
    # the exit status of the import. The manifest names d/a.txt twice, d/gone
    # and itself (as hashdeep's of its own folder does).
    printf '%0128d  d/%s\n' 0 gone 0 sums.whirlpool >>d/sums.whirlpool
    while IFS='|' read -r case status expected; do
        case $case in
            again) ;;
            rotted) corrupt d/a.txt ;;
            own)
                "$Q" remove --yes --quiet d/empty >/dev/null
                printf no >d/empty && "$Q" create --quiet d/empty >/dev/null
                ;;
            extra) printf x >d/extra ;;
        esac
        run import d/sums.whirlpool d
        expect "$status" "import, $case"
        [ "$(words)" = "$expected" ] || fail "import, $case: $(cat out err)"
    done <<'EOF'
rotted|5|altered unreadable written written written 
again|5|altered unreadable 
own|5|altered conflict unreadable 
extra|7|altered conflict unlisted unreadable 
EOF
    grep -q "^quorvane: $T/d/gone: No such file or directory" err || fail "import names no missing file: $(cat err)"
    # CR LF, a byte-order mark, backslashes: a bad line stops everything (65).
    { printf '\357\273\277'; sed 's/$/\r/' d/sums.whirlpool; printf 'zz  d/x\r\n'; } >bad.whirlpool
    run import bad.whirlpool d
    expect 65 "import of a manifest with a bad line"
    grep -q "bad.whirlpool: line 8: no Whirlpool digest" err || fail "bad line not named: $(cat err)"
    run import missing.whirlpool d
    expect 66 "import of a missing manifest"
    ;;
rhash | hashdeep)
    needs "$GROUP"
    make_tree d
    "$Q" create --quiet d >/dev/null
    cp -r d copy
    corrupt "copy/sub dir/zeros"
    # verify MANIFEST DIR: the tool's own verdict on DIR.
    verify() {
        if [ "$GROUP" = rhash ]; then rhash -c "$1"; else hashdeep -c whirlpool -a -l -k "$1" -r "$2"; fi >log 2>&1
    }
    # What Quorvane writes verifies there, and a corrupted copy fails.
    while IFS='|' read -r tool format; do
        [ "$tool" = "$GROUP" ] || continue
        "$Q" export --format "$format" -o sums.whirlpool d 2>err || fail "export --format $format: $(cat err)"
        verify sums.whirlpool d || fail "$GROUP on an export --format $format: $(cat log)"
        sed 's#d/#copy/#' sums.whirlpool >copy.whirlpool
        verify copy.whirlpool copy && fail "$GROUP passed a corrupted copy ($format): $(cat log)"
    done <<'EOF'
rhash|plain
rhash|bsd
hashdeep|hashdeep
EOF
    # What it writes imports (also with CR LF line ends).
    while IFS='|' read -r tool write; do
        [ "$tool" = "$GROUP" ] || continue
        rm -rf fresh && cp -r d fresh && "$Q" remove --yes --quiet fresh >/dev/null
        $write -r fresh >written.txt || fail "$write"
        imports_whole written.txt fresh
        rm -rf fresh && cp -r d fresh && "$Q" remove --yes --quiet fresh >/dev/null
        sed 's/$/\r/' written.txt >crlf.txt
        imports_whole crlf.txt fresh
    done <<'EOF'
rhash|rhash --whirlpool
rhash|rhash --whirlpool --bsd
hashdeep|hashdeep -c whirlpool -l
EOF
    ;;
fat)
    needs mformat mcopy
    make_tree d
    rm "d/sub dir/caf"*  # mtools changes the case of names outside ASCII
    printf 'one more' >"d/sub dir/Mixed Case.TXT"
    "$Q" create --quiet d >/dev/null
    "$Q" export -o sums.whirlpool d 2>err || fail "export: $(cat err)"
    truncate -s 8M fat.img && mformat -i fat.img :: || fail "mformat"
    mcopy -s -i fat.img d ::/ || fail "mcopy to the image"
    printf 'x' >one && mcopy -o -i fat.img one ::/d/empty || fail "mcopy of the damage"
    mv d original && mcopy -s -i fat.img ::/d . || fail "mcopy from the image"
    run import sums.whirlpool d
    expect 1 "import after the FAT round trip"
    [ "$(words)" = "altered written written written " ] && grep -q "^altered  $T/d/empty$" out ||
        fail "import after the FAT round trip: $(cat out err)"
    run check d
    expect 2 "check after the round trip"
    [ "$(cat out)" = "no-digest  $T/d/empty" ] || fail "check after the round trip: $(cat out)"
    ;;
*)
    echo "unknown group $GROUP" >&2
    exit 2
    ;;
esac
[ "$failures" -eq 0 ] || exit 1
echo "PASS [manifest $GROUP]"
