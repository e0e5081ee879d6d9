#!/bin/sh
# `cmake --install` of the build puts exactly the named files below the prefix.
# Usage: install_test.sh CMAKE BUILD_DIR FILE...
cmake=$1
build=$2
shift 2
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
DESTDIR=$root "$cmake" --install "$build" --prefix /opt/quorvane >"$root.log" 2>&1 ||
    { cat "$root.log"; rm -f "$root.log"; echo "FAIL: cmake --install"; exit 1; }
rm -f "$root.log"
printf '%s\n' "$@" | sort >"$root/expected"
(cd "$root/opt/quorvane" 2>/dev/null && find . -type f | sed 's|^\./||' | sort) >"$root/installed"
if ! cmp -s "$root/expected" "$root/installed"; then
    echo "FAIL: expected (<) and installed (>) files differ:"
    diff "$root/expected" "$root/installed" | grep '^[<>]'
    exit 1
fi
[ -x "$root/opt/quorvane/$1" ] || { echo "FAIL: $1 is not executable"; exit 1; }
echo "PASS: $*"
