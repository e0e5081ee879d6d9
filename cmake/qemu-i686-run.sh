#!/bin/sh
# Runs a 32-bit x86 Linux test program under qemu-user, as the processor model
# QEMU_CPU names (pentium2 when unset: no SSE at all, so any stray SSE or SSE2
# instruction faults).
export QEMU_CPU="${QEMU_CPU:-pentium2}"
exec qemu-i386-static "$@"
