#!/bin/sh
# Runs a command with an X display: the caller's, or an Xvfb of its own that
# ends with the command. Without either the dialog tests skip themselves;
# QUORVANE_NO_DISPLAY=1 starts none, as where Xvfb cannot be installed.
if [ -z "$DISPLAY" ] && [ "${QUORVANE_NO_DISPLAY:-0}" != 1 ] && command -v Xvfb >/dev/null 2>&1; then
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb=$!
  read -r number <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$number"
  "$@"
  status=$?
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  exit $status
fi
exec "$@"
