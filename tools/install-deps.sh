#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12, and only what is
# missing, so that a machine that has everything needs no network.
#   tools/install-deps.sh native   compiler, CMake, GoogleTest, OpenSSL (a test oracle)
#   tools/install-deps.sh all      also, group by group: -m32 for the 32-bit
#                                  Linux build, qemu-user, MinGW-w64, Wine (64-
#                                  and 32-bit), Xvfb, ntfs-3g, the fault tests'
#                                  tools, the benchmark's peers, lintian,
#                                  rhash, hashdeep and mtools for the manifests
# The native set is required: if it cannot be installed, the script names
# the packages and exits 1. Any other package that cannot be installed is
# named on standard error and, when QUORVANE_DEPS_REPORT names a file, written
# there as "PACKAGE<TAB>reason" for ./test.sh; the script still exits 0, so
# that what can be tested is. A failing index update is retried a few times
# (QUORVANE_APT_PAUSE seconds apart, default 15) and the installs are tried
# anyway; every apt-get call has a bounded wait.
# QUORVANE_DEPS_WITHHOLD="PACKAGE..." treats those optional packages as not
# installable, to try the road of a machine that lacks them.
set -uo pipefail

native=(cmake make g++ googletest libssl-dev)
# packages|what needs them
optional_groups=(
  "g++-multilib|the linux-i686 build"
  "qemu-user-static|the linux-i686 tests"
  "g++-mingw-w64-i686 binutils-mingw-w64-i686|the win32 build"
  "g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64|the win64 build"
  "wine wine64|the Windows tests under Wine"
  "wine32:i386|the win32 tests under Wine"
  "xvfb|the dialog tests"
  "ntfs-3g|the NTFS stream tests"
  "python3 strace attr|the console's fault tests"
  "pkg-config libgcrypt20-dev|the benchmark's peers"
  "lintian|the Debian package's check"
  "rhash hashdeep mtools dosfstools|the manifest tests against other tools"
)

case "${1:-}" in
  native) groups=() ;;
  all) groups=("${optional_groups[@]}") ;;
  *) echo "usage: $0 native|all" >&2; exit 64 ;;
esac

report=${QUORVANE_DEPS_REPORT:-/dev/null}
: >"$report"
pause=${QUORVANE_APT_PAUSE:-15}
withheld=" ${QUORVANE_DEPS_WITHHOLD:-} "

installed() {
  [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}
# missing PACKAGE...: those not installed, on standard output.
missing() {
  local package
  for package in "$@"; do
    [[ "$withheld" == *" $package "* ]] && continue
    installed "$package" || echo "$package"
  done
}

if [[ $(id -u) -ne 0 ]]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
# A lock held by another apt waits at most two minutes; a run that hangs on
# the network is ended.
apt=(timeout -k 30 1200 $SUDO apt-get -q -o DPkg::Lock::Timeout=120 -o Acquire::Retries=2)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

indexed=0
update_index() {
  [[ $indexed -eq 1 ]] && return
  indexed=1
  local attempt
  for attempt in 1 2 3; do
    if "${apt[@]}" update >"$log" 2>&1; then
      return
    fi
    echo "install-deps: package index update failed (attempt $attempt of 3):" >&2
    grep -E '^(E|W|Err):' "$log" | head -5 | sed 's/^/  /' >&2
    [[ $attempt -lt 3 ]] && sleep "$pause"
  done
  echo "install-deps: installing from the index as it is" >&2
}

# install PACKAGE...: true when all of them are installed afterwards.
install() {
  local package
  if printf '%s\n' "$@" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    indexed=0
  fi
  update_index
  echo "install-deps: installing $*" >&2
  "${apt[@]}" install -y "$@" >"$log" 2>&1
  for package in "$@"; do installed "$package" || return 1; done
}

# The apt-get error that explains a failed install, on one line.
install_error() {
  local error
  error=$(grep -E '^E:' "$log" | head -1)
  if grep -q ' Depends: .* but ' "$log"; then
    error="unmet dependencies: apt-get names $(grep -c ' Depends: .* but ' "$log") it cannot install"
  fi
  [[ -n "$error" ]] || error=$(tail -1 "$log")
  echo "${error:-apt-get install failed}"
}

mapfile -t needed < <(missing "${native[@]}")
if [[ ${#needed[@]} -gt 0 ]] && ! install "${needed[@]}"; then
  echo "install-deps: cannot install what the native build needs: $(missing "${needed[@]}" | tr '\n' ' ')" >&2
  sed 's/^/  /' "$log" | tail -20 >&2
  exit 1
fi

for group in "${groups[@]}"; do
  IFS='|' read -r packages purpose <<<"$group"
  read -r -a packages <<<"$packages"
  for package in "${packages[@]}"; do
    if [[ "$withheld" == *" $package "* ]]; then
      echo "install-deps: not installed: $package, needed for $purpose (withheld by QUORVANE_DEPS_WITHHOLD)" >&2
      printf '%s\twithheld by QUORVANE_DEPS_WITHHOLD\n' "$package" >>"$report"
    fi
  done
  mapfile -t needed < <(missing "${packages[@]}")
  [[ ${#needed[@]} -eq 0 ]] && continue
  install "${needed[@]}" && continue
  # One package that cannot be had must not keep the others of its group out.
  for package in "${needed[@]}"; do
    installed "$package" && continue
    [[ ${#needed[@]} -gt 1 ]] && install "$package" && continue
    reason=$(install_error)
    echo "install-deps: not installed: $package, needed for $purpose ($reason)" >&2
    printf '%s\t%s\n' "$package" "$reason" >>"$report"
  done
done
exit 0
