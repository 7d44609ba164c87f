#!/usr/bin/env bash
# Times copy, sort and check at growing row counts with bench/peers.sh and prints
# one scaling table: rows, task, kest seconds, kest nanoseconds a row, the fastest
# peer that agrees with kest, its seconds, the ratio and kest's peak memory.
#
# Usage: bench/scaling.sh [--sizes LIST] [--runs N] [--exclude PEERS]
#   --sizes LIST     comma-separated row counts (default 250000,1000000,4000000,16000000)
#   --runs N         timed runs per command after one warm-up (default 3)
#   --exclude PEERS  peers to leave out (default gawk,mlr: the slower peers of copy
#                    and sort, and mlr holds gigabytes at 16M rows)
# KEST_BIN and KEST_BEFORE are passed on to peers.sh. A size whose files would not
# fit in the free space of the temp directory, or whose sort would not fit in the
# available memory, is left out with a note.
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=250000,1000000,4000000,16000000 runs=3 exclude=gawk,mlr
while [ $# -gt 0 ]; do
  case $1 in
    --sizes) sizes=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --exclude) exclude=$2; shift 2 ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench/mixed.py "$work/probe" 10000
row_bytes=$(( $(stat -c %s "$work/probe") / 10000 + 1 ))
rm "$work/probe"
tmp=$(dirname "$work")
free_kb=$(df -Pk "$tmp" | awk 'NR == 2 {print $4}')
mem_kb=$(awk '/^MemAvailable/ {print $2}' /proc/meminfo)
notes=()
run=()
for n in ${sizes//,/ }; do
  # On disk at once: the file, its copy while it is made, and the three outputs of
  # the copy task. In memory: the file in the page cache and the sorted table
  # (ten doubles and a pointer a row, twice for the peers' buffers).
  disk_kb=$(( n * row_bytes * 5 / 1024 ))
  need_mem_kb=$(( (n * row_bytes + n * 88 * 2) / 1024 ))
  if [ "$disk_kb" -gt "$free_kb" ]; then
    notes+=("$n rows left out: needs about $((disk_kb / 1024)) MB in $tmp, $((free_kb / 1024)) MB free")
  elif [ "$need_mem_kb" -gt "$mem_kb" ]; then
    notes+=("$n rows left out: needs about $((need_mem_kb / 1024)) MB of memory, $((mem_kb / 1024)) MB available")
  else
    run+=("$n")
  fi
done
echo "free in $tmp: $((free_kb / 1024)) MB; memory available: $((mem_kb / 1024)) MB;" \
  "about $row_bytes bytes a row" >&2

for n in "${run[@]}"; do
  echo "=== $n rows" >&2
  bench/peers.sh --rows "$n" --tasks copy,sort,check --runs "$runs" --exclude "$exclude" \
    --json "$work/$n.json" > "$work/$n.txt"
  cat "$work/$n.txt" >&2
done

python3 - "$work" "$row_bytes" "${run[@]}" <<'PY'
import json, os, sys
work, row_bytes, sizes = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
def f(v, fmt):
    return fmt % v if v is not None else "-"
print("%10s %-6s %8s %12s  %-9s %8s %10s %12s" % (
    "rows", "task", "kest s", "kest ns/row", "best peer", "peer s", "kest/peer", "kest peak MB"))
for n in sizes:
    for s in json.load(open(os.path.join(work, n + ".json"))):
        k, p = s["kest"], s["peer_s"]
        print("%10s %-6s %8s %12s  %-9s %8s %10s %12s" % (
            n, s["task"], f(k, "%.3f"), f(k * 1e9 / int(n) if k else None, "%.0f"),
            s["peer"] or "-", f(p, "%.3f"), f(k / p if k and p else None, "%.2f"),
            f(s["peak_mb"], "%.0f")))
print("(file: about %d bytes a row, %.0f MB at the largest size)" % (
    row_bytes, row_bytes * int(sizes[-1]) / 1e6 if sizes else 0))
PY
for n in "${notes[@]}"; do echo "note: $n"; done
