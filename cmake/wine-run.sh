#!/bin/sh
# Runs a Windows test executable under Wine in the project's own prefix.
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-quorvane}"
exec wine "$@"
