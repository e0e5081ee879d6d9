#!/usr/bin/env bash
# Installs what is missing, builds the Linux, Windows i686 and Windows x86_64
# configurations and runs every test: natively, and under Wine (with Xvfb for
# the dialog) for the two Windows builds.
#   ./test.sh
set -uo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh all || exit 1

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi

# A wineserver left from an earlier run keeps the display it started with.
wineserver -k 2>/dev/null

# One X server for the Wine tests that open windows.
display=:97
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null' EXIT
export DISPLAY=$display

passed=0
failed=0
for preset in linux win32 win64; do
  echo "== $preset"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build "build/$preset" -j"$(nproc)"; then
    echo "build of $preset failed"
    failed=$((failed + 1))
    continue
  fi
  log=$(mktemp)
  ctest --test-dir "build/$preset" --output-on-failure --timeout 900 2>&1 | tee "$log"
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1)
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  bad=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
  if [[ -z "$summary" ]]; then
    failed=$((failed + 1))
  else
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  rm -f "$log"
done

echo "total: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
