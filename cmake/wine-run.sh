#!/bin/sh
# Runs a Windows test executable under Wine in the project's own prefix.
# PE32+ programs go straight to the 64-bit loader: once wine32 is installed,
# the plain `wine` starts through the 32-bit loader, which cannot run where the
# kernel runs no 32-bit programs.
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
machine=$(od -An -tx2 -j$((${header:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
if [ "$machine" = 8664 ] && [ -x /usr/lib/wine/wine64 ]; then
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
