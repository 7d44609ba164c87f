#!/usr/bin/env python3
"""Says whether a peer's output agrees with kest's on the same small input.
Usage: bench/agree.py MODE KEST_OUT PEER_OUT
Modes:
  same   the same rows with the same values (within the six decimals kest writes)
  rows:K the same rows in any order, and the same values in column K row by row
         (for sorts, whose order of ties is free)
  last   the peer wrote only kest's last row (a sum row)
  check  kest's --check line and datamash's "N lines, M fields" give the same counts
Exits 0 when they agree; otherwise prints the first difference and exits 1."""
import math
import re
import sys


def close(a, b):
    # kest writes at most six decimals, so a value may be off by half of 1e-6
    return a == b or math.isclose(a, b, rel_tol=1e-9, abs_tol=1e-6) or (
        math.isnan(a) and math.isnan(b))


def table(path):
    with open(path) as f:
        return [[float(v) for v in line.split()] for line in f if line.strip()]


def same_rows(a, b, what):
    if len(a) != len(b):
        return "%s: %d rows against %d" % (what, len(a), len(b))
    for i, (ra, rb) in enumerate(zip(a, b)):
        if len(ra) != len(rb):
            return "%s, row %d: %d values against %d" % (what, i + 1, len(ra), len(rb))
        for j, (x, y) in enumerate(zip(ra, rb)):
            if not close(x, y):
                return "%s, row %d, column %d: %.17g against %.17g" % (what, i + 1, j + 1, x, y)
    return None


def check_counts(kest_path, peer_path):
    kest = open(kest_path).read().splitlines()[-1].split()
    peer = re.search(r"(\d+) lines?, (\d+) fields?", open(peer_path).read())
    if not peer:
        return "no counts in the peer's output"
    got = (int(kest[-2]), int(kest[-1]))
    want = (int(peer.group(2)), int(peer.group(1)))
    return None if got == want else "cols, rows %s against %s" % (got, want)


def main():
    mode, kest_path, peer_path = sys.argv[1:4]
    try:
        error = compare(mode, kest_path, peer_path)
    except (ValueError, IndexError) as e:
        error = "unreadable output: %s" % e
    if error:
        print(error)
        sys.exit(1)


def compare(mode, kest_path, peer_path):
    if mode == "check":
        error = check_counts(kest_path, peer_path)
    else:
        kest, peer = table(kest_path), table(peer_path)
        if mode == "same":
            error = same_rows(kest, peer, "values")
        elif mode == "last":
            error = same_rows(kest[-1:], peer, "sum row")
        elif mode.startswith("rows:"):
            key = int(mode[5:]) - 1
            error = same_rows([[r[key]] for r in kest], [[r[key]] for r in peer], "key column")
            error = error or same_rows(sorted(kest), sorted(peer), "rows as a set")
        else:
            sys.exit("unknown mode " + mode)
    return error


main()
