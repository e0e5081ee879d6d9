#!/bin/sh
# Smoke test of quorvane-cli.exe under Wine: help, version, usage errors,
# digests of known files (also under a name outside ASCII, which must reach
# the program through the wide command line and come back as UTF-8).
# Usage: wine_smoke.sh WINE_RUNNER QUORVANE_CLI_EXE VERSION
absolute() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }
RUNNER=$(absolute "$1")
EXE=$(absolute "$2")
VERSION=$3
export LC_ALL=C.UTF-8

T=$(mktemp -d) || exit 1
trap 'rm -rf "$T"' EXIT
cd "$T" || exit 1

failures=0
fail() {
    printf 'FAIL [wine]: %s\n' "$*" >&2
    failures=$((failures + 1))
}

run() {
    "$RUNNER" "$EXE" "$@" >"$T/out" 2>"$T/err" </dev/null
    rc=$?
}

run --help
[ "$rc" = 0 ] || fail "--help: exit status $rc"
grep -q '^Usage: quorvane-cli COMMAND \[OPTIONS\] TARGET\.\.\.' "$T/out" || fail "--help: no usage line"
grep -q "$(printf '\r')" "$T/out" && fail "--help: carriage returns in redirected output"

run --version
[ "$rc" = 0 ] || fail "--version: exit status $rc"
[ "$(cat "$T/out")" = "$VERSION" ] || fail "--version printed '$(cat "$T/out")'"

run frob
[ "$rc" = 64 ] || fail "unknown command: exit status $rc"
grep -q "^quorvane-cli: unknown command 'frob'" "$T/err" || fail "unknown command: no message"

run check missing-target
[ "$rc" = 66 ] || fail "missing target: exit status $rc"
grep -q '^quorvane-cli: missing-target: ' "$T/err" || fail "missing target: message"

ABC=4e2448a4c6f486bb16b6562c73b4020bf3043e3a731bce721ae1b303d97e6d4c7181eebdb6c57e277d0e34957114cbd6c797fc9d95d8b582d225292076d4eef5
ZEROS_200000=2aa4f8eaeaec125f4dd6e5e2a9f6490814965ead3f458db57be599cd5a7d26b4ad8bc54297de80f9355cdec4ed244376944992e71fc482888495ea629cf12817
printf abc >abc.txt
head -c 200000 /dev/zero >"zéros ✓.bin"
run digest abc.txt "zéros ✓.bin" missing.txt
[ "$rc" = 4 ] || fail "digest: exit status $rc, expected 4"
printf '%s  %s\n' "$ABC" abc.txt "$ZEROS_200000" "zéros ✓.bin" | cmp -s - "$T/out" ||
    { fail "digest: wrong output"; cat "$T/out" >&2; }
grep -q '^quorvane-cli: missing.txt: ' "$T/err" || fail "digest of a missing file: no message naming it"

# Missing targets (an empty one too) stop none of the others; patterns from a pipe.
printf 'z*\n' | "$RUNNER" "$EXE" list --exclude-from - "" missing-target . >"$T/out" 2>"$T/err"
rc=$?
[ "$rc" = 4 ] || fail "list with missing targets: exit status $rc, expected 4"
[ "$(grep -c '^unreadable  ' "$T/out")" = 2 ] || fail "list with missing targets: not both named"
grep -q '^no-digest  .*abc.txt' "$T/out" && ! grep -q 'zéros' "$T/out" || fail "list --exclude-from -: $(cat "$T/out")"

# The ledger in %LOCALAPPDATA%\Quorvane (Wine sets it to the prefix's own).
run check --older-than 30d abc.txt
[ "$rc" = 2 ] || fail "check --older-than: exit status $rc: $(cat "$T/err")"
grep -q '^0 files (0 bytes) not verified within 30d remain' "$T/err" || fail "no count remaining: $(cat "$T/err")"
grep -q 'ledger' "$T/err" && fail "the ledger could not be used: $(cat "$T/err")"
ls "${WINEPREFIX:-$HOME/.wine-quorvane}"/drive_c/users/*/AppData/Local/Quorvane/ledger >/dev/null 2>&1 ||
    fail "no ledger in %LOCALAPPDATA%\\Quorvane"

[ "$failures" -eq 0 ] || exit 1
echo "PASS [wine]"
