#!/bin/sh
# `cmake --install` of the build puts exactly the named files below the prefix,
# every version they and the package's name tell is VERSION, and lintian accepts
# the Debian package; where lintian is missing the rest is checked and the test
# is skipped (exit 77).
# Usage: install_test.sh CMAKE CPACK SOURCE_DIR BUILD_DIR VERSION TOOL FILE...
#   TOOL: on Linux the console, asked for --version; on Windows windres, which
#   reads the executables' version blocks.
cmake=$1 cpack=$2 source=$3 build=$4 version=$5 tool=$6
shift 6
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

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
[ -x "$root/opt/quorvane/$1" ] || fail "$1 is not executable"

# What each installed file tells of the version, and the texts for Windows.
for name in "$@"; do
    file=$root/opt/quorvane/$name
    case $name in
    bin/*) told=$("$tool" --version) ;;
    *.1.gz | */changelog.gz) told=$(gzip -dc "$file" | head -1) ;;
    *.exe) told=$("$tool" -i "$file" -O rc 2>&1 | grep -E 'FILEVERSION|ProductVersion' | tr -d ' ') ;;
    *.txt)
        # README.txt is README.md, LICENSE.txt LICENSE, each line ended by CR LF.
        original=$source/${name%.txt}
        [ -f "$original" ] || original=$original.md
        tr -d '\r' <"$file" | cmp -s - "$original" || fail "$name differs from $original"
        [ "$(grep -c "$(printf '\r')\$" "$file")" = "$(wc -l <"$file")" ] || fail "$name: a line without CR LF"
        continue ;;
    *) continue ;;
    esac
    # --version alone, "Quorvane VERSION" in the man page's header, "(VERSION)"
    # as the changelog's latest entry, both forms in a version block.
    case $told in
    "$version" | *"\"Quorvane $version\""* | *"($version)"*) ;;
    "FILEVERSION$(echo "$version" | tr . ,)"*"\"ProductVersion\",\"$version\"") ;;
    *) fail "$name tells: $told" ;;
    esac
done

# The package, named by the version; lintian's one finding left is the contact
# without an address, in the control file and the changelog's trailer.
(cd "$root" && "$cpack" --config "$build/CPackConfig.cmake" -B "$root/cpack") >"$root/cpack.log" 2>&1 ||
    { cat "$root/cpack.log"; echo "FAIL: cpack"; exit 1; }
package=$(find "$root/packages" -name "quorvane[-_]${version}[-_]*.*")
[ -f "$package" ] || fail "no package of version $version: $(ls "$root/packages")"
skipped=
if [ "${package%.deb}" != "$package" ] && command -v lintian >/dev/null 2>&1; then
    lintian --fail-on none "$package" >"$root/lintian" 2>&1 || fail "lintian: $(cat "$root/lintian")"
    grep -E '^[EW]: ' "$root/lintian" | grep -vE ' (malformed-contact|bogus-mail-host-in-debian-changelog) ' &&
        fail "lintian found the above"
elif [ "${package%.deb}" != "$package" ]; then
    skipped="lintian not installed"
fi
[ "$failures" = 0 ] || exit 1
[ -n "$skipped" ] && { echo "skipped: $skipped"; exit 77; }
echo "PASS: $* and $(basename "$package"), all of version $version"
