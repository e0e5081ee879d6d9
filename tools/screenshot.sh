#!/usr/bin/env bash
# Renders the window after a check of a sample folder and saves it as
# docs/screenshot.png (or the path given). Needs the win32 build, Wine, Xvfb,
# xdotool and ImageMagick; uses an X server of its own.
#   tools/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/screenshot.png}")"
mkdir -p "$(dirname "$out")"

cmake --preset win32 >/dev/null
cmake --build build/win32 -j"$(nproc)" --target ui_screenshot_scene >/dev/null

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
work=$(mktemp -d)
fifo="$work/display"
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r number <"$fifo"
export DISPLAY=":$number"
scene=""
cleanup() {
  [[ -n "$scene" ]] && kill "$scene" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  rm -rf "$work" "$WINEPREFIX/drive_c/Archive"
}
trap cleanup EXIT

# Wine's own desktop window, filling the screen, stands in for the window
# manager that Xvfb lacks.
wine explorer /desktop=shot,1024x768 build/win32/tests/ui/ui_screenshot_scene.exe \
  "Z:${work//\//\\}\\ready" "Z:${work//\//\\}\\taken" &
scene=$!
for _ in $(seq 600); do
  [[ -s "$work/ready" ]] && break
  sleep 0.1
done
[[ -s "$work/ready" ]] || { echo "the scene did not come up" >&2; exit 1; }
sleep 1
# Inside Wine's desktop the window is no X window of its own: the scene says
# where it is.
import -window root -crop "$(tr -d '\r\n' <"$work/ready")" +repage "$out"
touch "$work/taken"
wait "$scene" || true
scene=""
echo "$out"
