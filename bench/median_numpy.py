#!/usr/bin/env python3
"""The numpy peer of the median filter: reads a table of blank-separated numbers
(no comment lines), replaces every value by the median of the 2k+1 values of its
column centred on it, keeps the first and last k rows, and writes the table with
six decimals.
Usage: bench/median_numpy.py IN OUT K COLUMNS"""
import sys

import numpy as np

src, dst, k, cols = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
table = np.loadtxt(src, ndmin=2)  # numpy's C reader, faster than fromfile here
rows = len(table)
out = table.copy()
if rows >= 2 * k + 1:
    # The 2k+1 shifted copies side by side; a sort along that short last axis is
    # several times faster than np.median over a sliding-window view.
    windows = np.stack([table[i:rows - 2 * k + i] for i in range(2 * k + 1)], axis=-1)
    out[k:rows - k] = np.sort(windows, axis=-1)[..., k]
# One printf per block of rows: savetxt formats row by row in Python and is slower,
# and much longer format strings are slower again.
block = 1000
row_format = " ".join(["%.6f"] * cols) + "\n"
with open(dst, "w") as f:
    for start in range(0, rows, block):
        part = out[start:start + block]
        f.write((row_format * len(part)) % tuple(part.ravel().tolist()))
