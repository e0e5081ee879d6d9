#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test
# that this machine can run: Linux natively; Linux i686 under qemu-i386, once
# as a processor without SSE and once as one with SSE2; Windows x86_64 under
# Wine; Windows i686 under Wine where the kernel runs 32-bit programs (where it
# does not, the i686 executables are still built and checked for stray SSE2).
# Suites that cannot run are named, never counted as passed.
#   ./test.sh
set -uo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh all || exit 1

# Whether this kernel runs 32-bit x86 programs: try one. QUORVANE_NO_32BIT=1
# takes the other road on a machine that runs them, to try that road.
probe=$(mktemp -d)
printf 'int main(void) { return 0; }\n' >"$probe/probe.c"
runs32=0
if [[ "${QUORVANE_NO_32BIT:-0}" == 1 ]]; then
  echo "QUORVANE_NO_32BIT=1 says so" >"$probe/log"
elif gcc -m32 -static -o "$probe/probe32" "$probe/probe.c" 2>"$probe/log" && "$probe/probe32" 2>>"$probe/log"; then
  runs32=1
fi
if [[ $runs32 -eq 1 ]]; then
  echo "machine: 32-bit x86 programs run here"
else
  why="32-bit x86 programs do not run here: $(tail -1 "$probe/log" | sed 's/.*: //')"
  echo "machine: $why"
fi
rm -rf "$probe"

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
# A wineserver left from an earlier run keeps the display it started with.
wineserver -k 2>/dev/null
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  if [[ $runs32 -eq 1 ]]; then
    wineboot -i >/dev/null 2>&1
  else
    /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1
  fi
  wineserver -w
fi
# The first program in a fresh 64-bit prefix may not find kernel32.dll.
/usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1
wineserver -w

# One X server for the Wine tests that open windows.
display=:97
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null' EXIT
export DISPLAY=$display
# One wineserver for the whole run: a program that starts while a server is
# shutting down (after the default 3 s of idleness) may be killed with it.
# Its services start here, on no test's output: ctest would wait for them.
wineserver -p
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1

passed=0
failed=0
skipped=0
notrun=()
timings=()

# run_suite NAME CTEST-ARGS...: runs ctest, adds its counts to the totals.
run_suite() {
  local name=$1 log start summary total bad skips
  shift
  echo "== $name"
  log=$(mktemp)
  start=$SECONDS
  ctest --output-on-failure --timeout 900 "$@" 2>&1 | tee "$log"
  timings+=("$name: $((SECONDS - start)) s")
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  if [[ -z "$summary" ]]; then
    echo "$name: ctest gave no summary"
    failed=$((failed + 1))
  else
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
    bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
    # A test that could not run here (exit 77) counts as skipped, not passed.
    skips=$(grep -cE '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log")
    passed=$((passed + total - bad - skips))
    failed=$((failed + bad))
    skipped=$((skipped + skips))
  fi
  rm -f "$log"
}

for preset in linux linux-i686 win32 win64; do
  echo "== build $preset"
  start=$SECONDS
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build "build/$preset" -j"$(nproc)" >/dev/null; then
    cmake --build "build/$preset" -j1 2>&1 | tail -30
    echo "build of $preset failed"
    failed=$((failed + 1))
    continue
  fi
  timings+=("build $preset: $((SECONDS - start)) s")
  case $preset in
    linux-i686)
      QEMU_CPU=pentium2 run_suite "linux-i686 (qemu, pentium2: no SSE)" --test-dir "build/$preset"
      QEMU_CPU=coreduo run_suite "linux-i686 (qemu, coreduo: SSE2)" --test-dir "build/$preset"
      ;;
    win32)
      if [[ $runs32 -eq 1 ]]; then
        run_suite win32 --test-dir "build/$preset"
      else
        run_suite "win32 (SSE2 check only)" --test-dir "build/$preset" -R '^check_no_sse2$'
        notrun+=("win32 under Wine: $why")
      fi
      ;;
    *)
      run_suite "$preset" --test-dir "build/$preset"
      ;;
  esac
done

echo "== times"
printf '  %s\n' "${timings[@]}"
for line in "${notrun[@]}"; do echo "not run here: $line"; done
echo "total: $passed passed, $failed failed, $skipped skipped"
[[ $failed -eq 0 ]]
