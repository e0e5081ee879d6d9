#!/usr/bin/env bash
# Builds the console front end and checks the named files and folders:
#   ./check.sh TARGET...
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh native
cmake --preset linux >/dev/null
cmake --build build/linux -j"$(nproc)" --target quorvane_cli >/dev/null
exec build/linux/cli/quorvane check "$@"
