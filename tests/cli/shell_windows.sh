#!/bin/sh
# shell register / status / unregister under Wine, read back with `reg query`
# and from the Send To shortcut itself; a copy moved elsewhere is mended by
# registering again. Usage: shell_windows.sh WINE_RUNNER QUORVANE_CLI_EXE QUORVANE_EXE
RUNNER=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
T=$(mktemp -d) || exit 1
trap 'rm -rf "$T"' EXIT
mkdir "$T/a" "$T/b" "$T/alone" && cp "$2" "$3" "$T/a/" && cp "$2" "$T/alone/" || exit 1
failures=0
fail() { printf 'FAIL [shell]: %s\n' "$*" >&2; failures=$((failures + 1)); }
run() { "$RUNNER" "$T/$1/quorvane-cli.exe" shell "$2" >"$T/out" 2>"$T/err" </dev/null; rc=$?; }
count() { grep -c "^$1  " "$T/out"; }
WINE=wine  # Wine's own reg.exe, through the 64-bit loader where there is one
[ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64
KEYS='HKCU\Software\Classes\Directory\shell\Quorvane.Check HKCU\Software\Classes\Drive\shell\Quorvane.Check'
# The command of each verb key, a line each.
commands() {
    for key in $KEYS; do
        WINEDEBUG=-all "$WINE" reg query "$key\\command" /ve 2>/dev/null | sed -n 's/^ *(Default) *REG_SZ *//p' | tr -d '\r'
    done
}

registered_at() {
    window=$(printf 'Z:%s' "$T/$1/Quorvane.exe" | tr / '\\')
    [ "$rc" = 0 ] && [ "$(count registered)" = 3 ] || fail "register from $1: $rc $(cat "$T/out" "$T/err")"
    [ "$(commands)" = "$(printf '"%s" "%%V"\n"%s" %%V' "$window" "$window")" ] || fail "verbs: $(commands)"
    link=$WINEPREFIX/drive_c/$(sed -n '1s/^[a-z]*  C:\\\(.*\) -> .*/\1/p' "$T/out" | tr '\\' /)
    strings "$link" 2>/dev/null | grep -qxF "$window" || fail "the Send To shortcut does not start $window"
}

run alone register
[ "$rc" = 66 ] && [ -z "$(commands)" ] || fail "register without Quorvane.exe beside: $rc $(commands)"
run a register
registered_at a
# Moved: the entries start nothing now, until registered again from there.
mv "$T/a/Quorvane.exe" "$T/a/quorvane-cli.exe" "$T/b/"
run b status
[ "$rc" = 0 ] && [ "$(count stale)" = 3 ] && grep -q 'is gone' "$T/err" || fail "status after the move"
run b register
registered_at b

run b unregister
[ "$rc" = 0 ] && [ "$(count removed)" = 3 ] || fail "unregister: $rc $(cat "$T/out" "$T/err")"
for key in $KEYS; do
    WINEDEBUG=-all "$WINE" reg query "$key" >/dev/null 2>&1 && fail "unregister left $key"
done
[ -e "$link" ] && fail "unregister left the Send To shortcut"
run b status
[ "$(count not-registered)" = 3 ] || fail "status after unregister: $(cat "$T/out")"

[ "$failures" -eq 0 ] || exit 1
echo "PASS [shell]"
