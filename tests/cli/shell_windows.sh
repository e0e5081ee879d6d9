#!/bin/sh
# shell register / status / unregister under Wine, read back with `reg query`
# and from the Send To shortcut itself; a copy moved elsewhere is mended by
# registering again. The prefix's registry is the current user's own.
# Usage: shell_windows.sh WINE_RUNNER QUORVANE_CLI_EXE QUORVANE_EXE
absolute() { printf '%s/%s' "$(cd "$(dirname "$1")" && pwd)" "$(basename "$1")"; }
RUNNER=$(absolute "$1")
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
T=$(mktemp -d) || exit 1
trap 'rm -rf "$T"' EXIT
mkdir "$T/a" "$T/b" "$T/alone"
cp "$2" "$3" "$T/a/" && cp "$2" "$T/alone/" || exit 1
failures=0
fail() { printf 'FAIL [shell]: %s\n' "$*" >&2; failures=$((failures + 1)); }
win() { printf 'Z:%s' "$1" | tr / '\\'; }
run() { "$RUNNER" "$T/$1/quorvane-cli.exe" shell "$2" >"$T/out" 2>"$T/err" </dev/null; rc=$?; }
# Wine's own reg.exe, through the 64-bit loader where there is one.
WINE=wine
[ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64
reg() { WINEDEBUG=-all "$WINE" reg "$@"; }
KEYS='HKCU\Software\Classes\Directory\shell\Quorvane.Check HKCU\Software\Classes\Drive\shell\Quorvane.Check'
# The command of each verb key, one line each.
commands() {
    for key in $KEYS; do
        reg query "$key\\command" /ve 2>/dev/null | sed -n 's/^ *(Default) *REG_SZ *//p' | tr -d '\r'
    done
}
shortcut() { sed -n '1s/^[a-z-]*  C:\\users\\\([^\\]*\)\\\(.*\) -> .*/\1 \2/p' "$T/out" | tr '\\' /; }

registered_at() {
    window=$(win "$T/$1/Quorvane.exe")
    [ "$rc" = 0 ] || fail "register from $1: exit status $rc: $(cat "$T/err")"
    printf '"%s" "%%V"\n"%s" %%V\n' "$window" "$window" | cmp -s - "$T/commands" ||
        { fail "register from $1: the verbs' commands:"; cat "$T/commands" >&2; }
    [ "$(grep -c "^registered  .* -> $(printf '%s' "$window" | sed 's/\\/\\\\/g')\$" "$T/out")" = 3 ] ||
        { fail "register from $1: status"; cat "$T/out" >&2; }
    set -- $(shortcut)
    link="$WINEPREFIX/drive_c/users/$1/$2"
    strings "$link" 2>/dev/null | grep -qxF "$window" || fail "the Send To shortcut does not start $window"
}

run alone register
[ "$rc" = 66 ] || fail "register without Quorvane.exe beside: exit status $rc"
commands >"$T/commands"
[ -s "$T/commands" ] && fail "register without Quorvane.exe beside wrote verbs"

run a register
commands >"$T/commands"
registered_at a

# Moved: the entries start nothing now, until registered again from there.
mv "$T/a/Quorvane.exe" "$T/a/quorvane-cli.exe" "$T/b/"
run b status
[ "$rc" = 0 ] && [ "$(grep -c '^stale  ' "$T/out")" = 3 ] || { fail "status after the move"; cat "$T/out" >&2; }
grep -q 'is gone' "$T/err" || fail "status after the move: no hint"
run b register
commands >"$T/commands"
registered_at b

run b unregister
[ "$rc" = 0 ] && [ "$(grep -c '^removed  ' "$T/out")" = 3 ] || { fail "unregister"; cat "$T/out" "$T/err" >&2; }
commands >"$T/commands"
[ -s "$T/commands" ] && fail "unregister left verbs: $(cat "$T/commands")"
for key in $KEYS; do
    reg query "$key" >/dev/null 2>&1 && fail "unregister left $key"
done
[ -e "$link" ] && fail "unregister left the Send To shortcut"
run b status
[ "$(grep -c '^not-registered  ' "$T/out")" = 3 ] || { fail "status after unregister"; cat "$T/out" >&2; }

[ "$failures" -eq 0 ] || exit 1
echo "PASS [shell]"
