#!/usr/bin/env python3
# Makes the benchmarks' trees: COUNT files of 0..MAXBYTES bytes (the same sizes
# and contents every time), 1000 to a folder; with "fixed", every file holds
# MAXBYTES.
#   make_tree.py DIR COUNT MAXBYTES [fixed]
import os
import random
import sys

root, count, largest = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
fixed = sys.argv[4:] == ["fixed"]
rng = random.Random(20240501)
pool = rng.randbytes(largest + 1) if largest else b""
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    if i % 1000 == 0:
        os.makedirs(folder, exist_ok=True)
    size = largest if fixed else rng.randint(0, largest) if largest else 0
    with open(os.path.join(folder, "f%06d" % i), "wb") as f:
        f.write(pool[:size])
