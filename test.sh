#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test
# that this machine can run: Linux natively; Linux i686 under qemu-i386, once
# as a processor without SSE and once as one with SSE2; Windows x86_64 under
# Wine; Windows i686 under Wine where the kernel runs 32-bit programs (where it
# does not, the i686 executables are still built and checked for stray SSE2).
# A test that cannot run here is counted as skipped and named with its reason;
# a suite that cannot run here (its packages could not be installed, or the
# machine lacks what it needs) is named under "not run here"; neither is ever
# counted as passed.
#   ./test.sh
# QUORVANE_NO_32BIT=1 takes the road of a kernel without 32-bit programs on one
# that runs them; QUORVANE_DEPS_WITHHOLD (see tools/install-deps.sh) the road
# of a machine where packages cannot be installed.
set -uo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
xvfb=
cleanup() {
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
  [[ -n "${WINESERVER:-}" ]] && "$WINESERVER" -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
run_start=$SECONDS

QUORVANE_DEPS_REPORT=$work/unavailable tools/install-deps.sh all || exit 1
timings=("dependencies: $((SECONDS - run_start)) s")

notrun=()
# lacking PACKAGE...: why the first of them that could not be installed is
# missing; false when all of them are here.
lacking() {
  local package reason
  for package in "$@"; do
    reason=$(awk -F'\t' -v p="$package" '$1 == p { print $2; exit }' "$work/unavailable")
    if [[ -n "$reason" ]]; then
      echo "$package could not be installed ($reason)"
      return 0
    fi
  done
  return 1
}

# Whether this kernel runs 32-bit x86 programs: try one.
printf 'int main(void) { return 0; }\n' >"$work/probe.c"
runs32=0
if [[ "${QUORVANE_NO_32BIT:-0}" == 1 ]]; then
  echo "QUORVANE_NO_32BIT=1 says so" >"$work/probe.log"
elif gcc -m32 -static -o "$work/probe32" "$work/probe.c" 2>"$work/probe.log" && "$work/probe32" 2>>"$work/probe.log"; then
  runs32=1
fi
if [[ $runs32 -eq 1 ]]; then
  echo "machine: 32-bit x86 programs run here"
else
  no32="32-bit x86 programs do not run here: $(tail -1 "$work/probe.log" | sed 's/.*: //')"
  echo "machine: $no32"
fi

# What each configuration can do here: empty, or why its tests cannot run
# ("no build" when it cannot even be built).
i686_why="" win32_why="" win64_why=""
if why=$(lacking g++-multilib); then
  i686_why="no build: $why"
elif why=$(lacking qemu-user-static); then
  i686_why=$why
fi
if why=$(lacking g++-mingw-w64-i686 binutils-mingw-w64-i686); then
  win32_why="no build: $why"
elif why=$(lacking wine32:i386 wine); then
  win32_why=$why
  [[ $runs32 -eq 0 ]] && win32_why+="; and $no32"
elif [[ $runs32 -eq 0 ]]; then
  win32_why=$no32
fi
if why=$(lacking g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64); then
  win64_why="no build: $why"
elif why=$(lacking wine64); then
  win64_why=$why
fi
# Tools whose tests skip themselves, named here when they are really missing.
if why=$(lacking ntfs-3g) && ! PATH=$PATH:/usr/sbin:/sbin command -v mkntfs >/dev/null; then
  notrun+=("the tests on NTFS images (skipped, see above): $why")
fi
if why=$(lacking lintian) && ! command -v lintian >/dev/null; then
  notrun+=("lintian on the Debian package (install_layout skipped, see above): $why")
fi
for tool in rhash hashdeep mtools; do
  if why=$(lacking "$tool") && ! command -v "${tool/mtools/mcopy}" >/dev/null; then
    notrun+=("the manifest tests against $tool (skipped, see above): $why")
  fi
done
for tool in strace python3; do
  if why=$(lacking "$tool") && ! command -v "$tool" >/dev/null; then
    notrun+=("the console fault tests that need $tool (skipped, see above): $why")
  fi
done

if [[ -z "$win32_why" || -z "$win64_why" ]]; then
  export WINEDEBUG=-all
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
  WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
  # A wineserver left from an earlier run keeps the display it started with.
  "$WINESERVER" -k 2>/dev/null
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    if [[ -z "$win32_why" ]]; then
      wineboot -i >/dev/null 2>&1
    else
      /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1
    fi
    "$WINESERVER" -w
  fi
  # The first program in a fresh 64-bit prefix may not find kernel32.dll.
  /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1
  "$WINESERVER" -w

  # One X server for the Wine tests that open windows, on a display number
  # that is free (Xvfb picks it); without one the dialog tests skip themselves.
  if why=$(lacking xvfb) || ! command -v Xvfb >/dev/null; then
    notrun+=("the dialog tests under Wine (skipped, see above): ${why:-no Xvfb here}")
    unset DISPLAY
    export QUORVANE_NO_DISPLAY=1
  else
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do
      [[ -s "$work/display" ]] && break
      kill -0 "$xvfb" 2>/dev/null || break
      sleep 0.1
    done
    if [[ -s "$work/display" ]]; then
      export DISPLAY=":$(head -1 "$work/display")"
    else
      notrun+=("the dialog tests under Wine (skipped, see above): Xvfb did not start")
      unset DISPLAY
      export QUORVANE_NO_DISPLAY=1
    fi
  fi
  # One wineserver for the whole run: a program that starts while a server is
  # shutting down (after the default 3 s of idleness) may be killed with it.
  # Its services start here, on no test's output: ctest would wait for them.
  "$WINESERVER" -p
  /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1
fi

passed=0
failed=0
skipped=0
skips=()

# junit_outcomes FILE: one line per test of ctest's JUnit report:
# STATUS<TAB>NAME<TAB>REASON, STATUS being passed, failed or skipped. A test
# is skipped only when ctest says so by its skip code or expression; the
# reason is what its output gives as "skipped: REASON".
junit_outcomes() {
  awk '
    function unescape(s) {
      gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s)
      gsub(/&amp;/, "\\&", s)
      return s
    }
    /<testcase / {
      name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
      status = $0; sub(/.* status="/, "", status); sub(/".*/, "", status)
      message = ""; reason = ""
    }
    /<skipped message="/ || /<failure message="/ {
      message = $0; sub(/.* message="/, "", message); sub(/".*/, "", message)
    }
    /(^|>)skipped: / {
      line = $0; sub(/.*skipped: /, "", line)
      line = unescape(line)
      if (index(reason, line) == 0) reason = reason (reason == "" ? "" : "; ") line
    }
    /<\/testcase>/ {
      name = unescape(name)
      if (status == "run") outcome = "passed"
      else if (status == "notrun" && message ~ /^SKIP_/) outcome = "skipped"
      else outcome = "failed"
      if (outcome == "skipped" && reason == "") reason = "no reason given (" unescape(message) ")"
      if (outcome == "failed") reason = status == "fail" ? "" : unescape(message)
      printf "%s\t%s\t%s\n", outcome, name, reason
    }
  ' "$1"
}

# run_suite NAME CTEST-ARGS...: runs ctest, adds its counts to the totals and
# notes each skipped test with its reason.
run_suite() {
  local name=$1 start junit status test reason count=0
  shift
  echo "== $name"
  junit=$work/junit.xml
  rm -f "$junit"
  start=$SECONDS
  ctest --output-on-failure --timeout 900 --output-junit "$junit" "$@" 2>&1
  timings+=("$name: $((SECONDS - start)) s")
  if [[ ! -s "$junit" ]]; then
    echo "$name: ctest gave no report"
    failed=$((failed + 1))
    return
  fi
  while IFS=$'\t' read -r status test reason; do
    count=$((count + 1))
    case $status in
      passed) passed=$((passed + 1)) ;;
      skipped)
        skipped=$((skipped + 1))
        skips+=("$name: $test: $reason")
        ;;
      *)
        failed=$((failed + 1))
        [[ -n "$reason" ]] && echo "$name: $test did not run: $reason"
        ;;
    esac
  done < <(junit_outcomes "$junit")
  if [[ $count -eq 0 ]]; then
    echo "$name: no test ran"
    failed=$((failed + 1))
  fi
}

# build PRESET: configures and builds; false (and counted) when that failed.
build() {
  local start=$SECONDS
  echo "== build $1"
  if ! cmake --preset "$1" >"$work/build.log" 2>&1 || ! cmake --build "build/$1" -j"$(nproc)" >>"$work/build.log" 2>&1; then
    tail -40 "$work/build.log"
    echo "build of $1 failed"
    failed=$((failed + 1))
    return 1
  fi
  timings+=("build $1: $((SECONDS - start)) s")
}

# count_tests PRESET CTEST-ARGS...: how many tests ctest would run.
count_tests() {
  local dir=build/$1
  shift
  ctest --test-dir "$dir" -N "$@" 2>/dev/null | sed -n 's/^Total Tests: //p'
}

# not_run WHAT PRESET WHY CTEST-ARGS...: notes a suite that cannot run here,
# with the number of its tests when it was built.
not_run() {
  local what=$1 preset=$2 why=$3 tests=""
  shift 3
  [[ -d build/$preset ]] && [[ "$why" != "no build: "* ]] && tests=" ($(count_tests "$preset" "$@") tests)"
  notrun+=("$what$tests: ${why#no build: }")
}

if build linux; then
  run_suite linux --test-dir build/linux
  [[ -x build/linux/bench/whirlpool_bench ]] || notrun+=("whirlpool_bench (not built): $(lacking pkg-config libgcrypt20-dev || echo "no libgcrypt or OpenSSL found")")
fi

if [[ "$i686_why" == "no build: "* ]]; then
  not_run "linux-i686 (build and tests)" linux-i686 "$i686_why"
elif build linux-i686; then
  if [[ -z "$i686_why" ]]; then
    QEMU_CPU=pentium2 run_suite "linux-i686 (qemu, pentium2: no SSE)" --test-dir build/linux-i686
    QEMU_CPU=coreduo run_suite "linux-i686 (qemu, coreduo: SSE2)" --test-dir build/linux-i686
  else
    not_run "linux-i686 under qemu" linux-i686 "$i686_why"
  fi
fi

# The Windows builds' tests that need no Wine: the instruction checks and the
# install.
no_wine='^(check_no_sse2|check_no_avx|install_layout)$'
for windows in win32 win64; do
  why_of="${windows}_why"
  why="${!why_of}"
  if [[ "$why" == "no build: "* ]]; then
    not_run "$windows (build and tests)" "$windows" "$why"
  elif build "$windows"; then
    if [[ -z "$why" ]]; then
      run_suite "$windows" --test-dir "build/$windows"
    else
      run_suite "$windows (without Wine)" --test-dir "build/$windows" -R "$no_wine"
      not_run "$windows under Wine" "$windows" "$why" -E "$no_wine"
    fi
  fi
done

timings+=("all: $((SECONDS - run_start)) s")
echo "== times"
printf '  %s\n' "${timings[@]}"
if [[ ${#skips[@]} -gt 0 ]]; then
  echo "== skipped"
  printf 'skipped: %s\n' "${skips[@]}"
fi
for line in "${notrun[@]}"; do echo "not run here: $line"; done
echo "total: $passed passed, $failed failed, $skipped skipped"
[[ $failed -eq 0 ]]
