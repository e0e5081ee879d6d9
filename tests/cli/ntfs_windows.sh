#!/bin/sh
# The Windows console build against real NTFS streams: an NTFS image mounted
# by ntfs-3g with the Windows stream interface, where path:z under Wine is the
# stream z itself. quorvane-cli.exe creates, checks, rewrites and removes
# digests there; after each step the Linux build, on the same image mounted
# the default way (the stream as user.z), must agree. Exit 77 (skipped) only
# where FUSE or NTFS images are not available.
#   ntfs_windows.sh WINE_RUNNER QUORVANE_CLI_EXE LINUX_QUORVANE HOLD_LEASE_EXE
absolute() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }
RUNNER=$(absolute "$1")
EXE=$(absolute "$2")
LINUX=$3
HOLD=$(absolute "$4")
[ -x "$LINUX" ] && LINUX=$(absolute "$LINUX")
skip() { echo "skipped: $*"; exit 77; }

command -v mkntfs >/dev/null 2>&1 || PATH=$PATH:/usr/sbin:/sbin
command -v mkntfs >/dev/null 2>&1 && command -v ntfs-3g >/dev/null 2>&1 || skip "no ntfs-3g"
[ -e /dev/fuse ] || skip "no /dev/fuse"
[ -x "$LINUX" ] || { echo "FAILED: no Linux build at $LINUX (build the linux preset first)"; exit 1; }

work=$(mktemp -d) || exit 1
work=$(cd "$work" && pwd -P)
# The ledger of the Linux build's checks here is the test's own.
XDG_STATE_HOME="$work/state"
export XDG_STATE_HOME
mounted=
cleanup() { [ -n "$mounted" ] && umount "$work/m" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work" || exit 1
truncate -s 32M ntfs.img && mkntfs -F -Q ntfs.img >/dev/null 2>&1 || skip "mkntfs failed"
mkdir m
mount_windows() { ntfs-3g -o streams_interface=windows ntfs.img m 2>/dev/null && mounted=1; }
mount_linux() { ntfs-3g ntfs.img m 2>/dev/null && mounted=1; }
unmount() { umount m && mounted=; }
mount_windows || skip "cannot mount an NTFS image with ntfs-3g here"

failures=0
fail() {
    printf 'FAIL [ntfs windows]: %s\n' "$*" >&2
    failures=$((failures + 1))
}

# Wine shows the root of the Linux file system as drive Z:.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
WINDIR=$(windows_path "$work/m/d")
win() { windows_program "$EXE" "$@"; }
windows_program() {
    "$RUNNER" "$@" >"$work/out" 2>"$work/err" </dev/null
    rc=$?
    tr -d '\r' <"$work/out" >"$work/out.lf" && mv "$work/out.lf" "$work/out"
    tr -d '\r' <"$work/err" >"$work/err.lf" && mv "$work/err.lf" "$work/err"
}
lin() {
    "$LINUX" "$@" >"$work/out" 2>"$work/err" </dev/null
    rc=$?
}
expect() {  # expect STATUS WHAT: the last run's exit status
    [ "$rc" = "$1" ] || fail "$2: exit status $rc, expected $1; $(cat "$work/out" "$work/err")"
}
lines() { grep -c "^$1  " "$work/out"; }
# Last-write times in nanoseconds, one line per file, sorted by name.
stamps() { find m/d -type f -exec stat -c '%n %.9Y' {} + | LC_ALL=C sort; }
no_colon_files() {
    found=$(find m -name '*:*' | head -3)
    [ -z "$found" ] || fail "$1: files with a colon in their name: $found"
}

mkdir -p m/d/sub
printf 'alpha' >m/d/a.txt
printf 'abc' >"m/d/with blank.txt"
head -c 200000 /dev/urandom >m/d/sub/b.bin
: >m/d/sub/empty
touch -d '2021-03-04 05:06:07.123456700' m/d/a.txt "m/d/with blank.txt" m/d/sub/b.bin m/d/sub/empty
before=$(stamps)

win create "$WINDIR"
expect 0 "create (Windows)"
[ "$(lines written)" = 4 ] || fail "create (Windows): $(cat "$work/out")"
grep -q "^written  $(printf '%s' "$WINDIR" | sed 's/\\/\\\\/g')\\\\a.txt\$" "$work/out" ||
    fail "create (Windows) names no Windows path: $(head -1 "$work/out")"
[ "$(stamps)" = "$before" ] || fail "create (Windows) moved last-write times: $(stamps)"
abc=$(od -An -v -tx1 "m/d/with blank.txt:z" | tr -d ' \n')
[ "$abc" = 4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5 ] ||
    fail "the stream z of 'with blank.txt' holds '$abc', not the digest of abc"
[ "$(wc -c <"m/d/with blank.txt:zr")" = 32 ] || fail "create (Windows) wrote no 32-byte record beside the digest"
win check "$WINDIR"
expect 0 "check after create (Windows)"
grep -q '^All files checked successfully\.$' "$work/err" || fail "check (Windows) said: $(cat "$work/err")"
# A manifest of the digests as they are now, UTF-8 with / between names.
win export --relative-to "$WINDIR" -o "$(windows_path "$work/sums.whirlpool")"
expect 0 "export (Windows)"
[ "$(grep -c '^[0-9a-f]\{128\}  ' "$work/sums.whirlpool")" = 4 ] && grep -q '  sub/b\.bin$' "$work/sums.whirlpool" &&
    ! grep -q "$(printf '\r')" "$work/sums.whirlpool" || fail "export (Windows): $(cat "$work/sums.whirlpool")"
unmount

mount_linux || fail "remount the default way"
no_colon_files "after create"
lin check m/d
expect 0 "check after create (Linux)"
lin list m/d
[ "$(lines hashed)" = 4 ] && [ "$(lines no-digest)" = 0 ] || fail "list (Linux): $(cat "$work/out")"
# A silent change: one byte, the size and the last-write time as they were;
# and an edit, with a time of its own: the record the Windows build wrote
# tells them apart here.
printf 'X' | dd of=m/d/sub/b.bin bs=1 seek=1000 conv=notrunc status=none
touch -d '2021-03-04 05:06:07.123456700' m/d/sub/b.bin
printf 'beta' >>m/d/a.txt
touch -d '2022-01-01 00:00:00.500000000' m/d/a.txt
before=$(stamps)
lin check m/d
expect 9 "check of an altered and an edited file (Linux)"
grep -q "^altered  .*/sub/b.bin\$" "$work/out" && grep -q "^edited  .*/a.txt\$" "$work/out" ||
    fail "check (Linux) did not tell b.bin altered and a.txt edited: $(cat "$work/out")"
unmount

mount_windows || fail "remount with the Windows stream interface"
win check "$WINDIR"
expect 9 "check of an altered and an edited file (Windows)"
[ "$(lines altered)" = 1 ] && grep -q '^altered  .*\\sub\\b.bin$' "$work/out" && grep -q '^edited  .*\\a.txt$' "$work/out" ||
    fail "check (Windows) did not tell b.bin altered and a.txt edited: $(cat "$work/out")"
win rewrite "$WINDIR"
expect 0 "rewrite (Windows)"
[ "$(lines written)" = 2 ] || fail "rewrite (Windows): $(cat "$work/out")"
[ "$(stamps)" = "$before" ] || fail "rewrite (Windows) moved last-write times: $(stamps)"
win check "$WINDIR"
expect 0 "check after rewrite (Windows)"
unmount

mount_linux || fail "remount the default way"
no_colon_files "after rewrite"
lin check m/d
expect 0 "check after rewrite (Linux)"
unmount

mount_windows || fail "remount with the Windows stream interface"
win remove --yes "$WINDIR"
expect 0 "remove (Windows)"
[ "$(lines removed)" = 4 ] || fail "remove (Windows): $(cat "$work/out")"
[ "$(stamps)" = "$before" ] || fail "remove (Windows) moved last-write times: $(stamps)"
win list "$WINDIR"
[ "$(lines no-digest)" = 4 ] || fail "list after remove (Windows): $(cat "$work/out")"
# That manifest with backslashes and CR LF: the two files changed since get
# nothing, the other two their digest again, and lose it once more.
sed 's#/#\\#g; s/$/\r/' "$work/sums.whirlpool" >"$work/sums.txt"
win import --relative-to "$WINDIR" "$(windows_path "$work/sums.txt")" "$WINDIR"
expect 1 "import (Windows)"
[ "$(lines written)" = 2 ] && [ "$(lines altered)" = 2 ] || fail "import (Windows): $(cat "$work/out" "$work/err")"
win remove --yes "$WINDIR"
unmount

mount_linux || fail "remount the default way"
no_colon_files "after remove"
lin list m/d
[ "$(lines no-digest)" = 4 ] || fail "list after remove (Linux): $(cat "$work/out")"
# The other way: digest and record written here, an edit told there.
lin create m/d
expect 0 "create (Linux)"
printf 'gamma' >>m/d/a.txt
unmount

mount_windows || fail "remount with the Windows stream interface"
win check "$WINDIR"
expect 8 "check of a file edited after the Linux build hashed it (Windows)"
grep -q '^edited  .*\\a.txt$' "$work/out" || fail "check (Windows) did not tell a.txt edited: $(cat "$work/out")"
unmount

# One file under two names (hard links) with two hashing threads: its digest
# is written once and every later run agrees; a file another program holds
# open sharing only reading gets no digest and no stream; names that Windows
# would rewrite (a trailing dot or blank, a device's) are the files themselves.
mount_windows || fail "remount with the Windows stream interface"
mkdir m/h m/n
printf 'linked' >m/h/a && ln m/h/a m/h/b && printf 'held' >m/h/held
WINH=$(windows_path "$work/m/h")
# ntfs-3g caches a stream per name: one read through b does not see a write
# through a until the volume is mounted again (NTFS itself has one stream).
remount_windows() { { unmount && mount_windows; } </dev/null || fail "remount with the Windows stream interface"; }
while IFS='|' read -r command status words; do
    remount_windows
    case $command in
        update) printf ' more' >>m/h/a ;;
        rewrite)
            touch -r m/h/a stamp && printf 'L' | dd of=m/h/a bs=1 conv=notrunc status=none && touch -r stamp m/h/a ;;
    esac
    if [ "$command" = create ]; then
        windows_program "$HOLD" "$WINH\\held" "$(windows_path "$EXE")" create -j 2 "$WINH"
        [ -e m/h/held:z ] || [ -e m/h/held:zr ] && fail "create under a reader left a stream on the file it holds"
        [ "$(wc -c <m/h/a:z)" = 64 ] && [ "$(wc -c <m/h/a:zr)" = 32 ] ||
            fail "create -j 2 over hard links: no digest and record"
        rm m/h/held
    else
        win "$command" -j 2 "$WINH"
    fi
    expect "$status" "$command -j 2 over hard links"
    [ "$(cut -d' ' -f1 "$work/out" | sort | tr '\n' ' ')" = "$words" ] ||
        fail "$command -j 2 over hard links: $(cat "$work/out")"
    remount_windows
    win check "$WINH"
    expect 0 "check after $command -j 2 over hard links"
done <<'EOF'
create|4|not-written written 
update|8|updated 
rewrite|0|written written 
EOF
for name in dot. 'space ' nul.txt CON aux.c; do printf '%s' "$name" >"m/n/$name"; done
WINN=$(windows_path "$work/m/n")
# Relative to the current folder too.
set -- "$WINN\\dot." "$WINN\\space " "$WINN\\nul.txt" "$WINN\\CON" 'm\n\aux.c'
win create "$@"
expect 0 "create of names Windows would rewrite"
[ "$(lines written)" = 5 ] || fail "create of names Windows would rewrite: $(cat "$work/out" "$work/err")"
for name in dot. 'space ' nul.txt CON aux.c; do
    [ "$(wc -c <"m/n/$name:z")" = 64 ] || fail "no digest with the file '$name'"
done
win check "$@"
expect 0 "check of names Windows would rewrite"
unmount

[ "$failures" -eq 0 ] || exit 1
echo "PASS [ntfs windows]"
