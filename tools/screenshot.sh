#!/usr/bin/env bash
# Renders the window after a check of a sample folder and saves it as
# docs/screenshot.png (or the path given); with a second path, maximises the
# window afterwards and saves it again there, to see it redrawn. Needs a
# Windows build (win32, the default, or win64 where 32-bit programs do not
# run), Wine, Xvfb, xdotool and ImageMagick; uses an X server of its own.
#   tools/screenshot.sh [--build win32|win64] [OUTPUT.png [MAXIMISED.png]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=win32
if [[ "${1:-}" == --build ]]; then
  build="${2:?--build takes win32 or win64}"
  shift 2
fi
[[ "$build" == win32 || "$build" == win64 ]] || { echo "--build takes win32 or win64" >&2; exit 2; }
out="$(realpath -m "${1:-docs/screenshot.png}")"
maximised=""
[[ -n "${2:-}" ]] && maximised="$(realpath -m "$2")"
mkdir -p "$(dirname "$out")"

cmake --preset "$build" >/dev/null
cmake --build "build/$build" -j2 --target ui_screenshot_scene >/dev/null

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
# PE32+ goes straight to the 64-bit loader (cmake/wine-run.sh says why).
wine=wine
[[ "$build" == win64 && -x /usr/lib/wine/wine64 ]] && wine=/usr/lib/wine/wine64
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

# photograph NAME OUTPUT: waits for the scene's marker NAME.ready, saves the
# client area it names, and answers with NAME.taken.
photograph() {
  for _ in $(seq 600); do
    [[ -s "$work/$1.ready" ]] && break
    sleep 0.1
  done
  [[ -s "$work/$1.ready" ]] || { echo "the scene did not come up" >&2; exit 1; }
  # Time for the window to paint; a control it failed to redraw stays blank.
  sleep 1
  # Inside Wine's desktop the window is no X window of its own: the scene says
  # where it is.
  import -window root -crop "$(tr -d '\r\n' <"$work/$1.ready")" +repage "$2"
  touch "$work/$1.taken"
  echo "$2"
}

markers=("Z:${work//\//\\}\\first.ready" "Z:${work//\//\\}\\first.taken")
[[ -n "$maximised" ]] && markers+=("Z:${work//\//\\}\\maximised.ready" "Z:${work//\//\\}\\maximised.taken")
# Wine's own desktop window, filling the screen, stands in for the window
# manager that Xvfb lacks.
"$wine" explorer /desktop=shot,1024x768 "build/$build/tests/ui/ui_screenshot_scene.exe" "${markers[@]}" &
scene=$!
photograph first "$out"
[[ -n "$maximised" ]] && photograph maximised "$maximised"
wait "$scene" || true
scene=""
