#!/usr/bin/env python3
"""Writes the mixed-magnitude benchmark file: rows of ten values that mix
magnitudes and decimals (9361551.75, -0.003, 57142218, 81821.086, 0.4931, ...).
Usage: bench/mixed.py PATH [ROWS] (default 2,000,000 rows)."""
import random
import sys

path = sys.argv[1]
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 2000000
rnd = random.Random(20261206)
forms = [
    lambda: "%.2f" % rnd.uniform(-1e7, 1e7),
    lambda: "%.3f" % rnd.uniform(-1, 1),
    lambda: "%d" % rnd.randint(0, 99999999),
    lambda: "%.3f" % rnd.uniform(0, 1e5),
    lambda: "%.4f" % rnd.random(),
    lambda: "%d" % rnd.randint(-999, 999),
    lambda: "%.6g" % rnd.gauss(0, 1e3),
    lambda: "%.1f" % rnd.uniform(-50, 50),
    lambda: "%.5f" % rnd.uniform(-10, 10),
    lambda: "%.2e" % rnd.uniform(-1e9, 1e9),
]
with open(path, "w") as out:
    out.write("# %d rows of ten values of mixed magnitudes\n" % rows)
    chunk = []
    for i in range(rows):
        chunk.append(" ".join(form() for form in forms) + "\n")
        if len(chunk) == 10000:
            out.writelines(chunk)
            chunk = []
    out.writelines(chunk)
