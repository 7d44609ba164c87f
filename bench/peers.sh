#!/usr/bin/env bash
# Times kest against peers on generated files, in the same run, and prints the
# median times, peak memory and the ratios (--nop, -c and --eval="n[1]=c[1]+c[2]"
# against their awk and datamash counterparts).
# Usage: bench/peers.sh [rows]   (default 2000000)
# Files: the benchmark file (ten mixed numbers a row, made here) and the
# mixed-magnitude file of bench/mixed.py. With KEST_BEFORE=path/to/other/kest an
# earlier build is timed beside the current one.
# Needs hyperfine, GNU time (/usr/bin/time), mawk and datamash.
set -euo pipefail
cd "$(dirname "$0")/.."
rows=${1:-2000000}
kest=build/kest
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$rows" "$work/peers.dat" <<'PY'
import random, sys
rows, path = int(sys.argv[1]), sys.argv[2]
rnd = random.Random(12345)
with open(path, "w") as f:
    f.write("# generated: %d rows of 10 mixed numbers\n" % rows)
    out = []
    for i in range(rows):
        out.append("%d %.3f %d %.6g %.2f %d %.9f %.4e %d %.1f\n" % (
            i, rnd.uniform(-1000, 1000), rnd.randint(-99999, 99999), rnd.gauss(0, 1e3),
            rnd.uniform(0, 100), rnd.randint(0, 9), rnd.random(), rnd.uniform(-1e6, 1e6),
            rnd.randint(0, 1 << 31), rnd.uniform(-50, 50)))
        if len(out) == 10000:
            f.writelines(out); out = []
    f.writelines(out)
PY
bench/mixed.py "$work/mixed.dat" "$rows"

peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}'; }
for name in peers mixed; do
  data=$work/$name.dat
  echo "== $name: $(du -h "$data" | cut -f1), $rows rows"
  commands=(-n "kest --nop" "$kest --quiet --nop $data $work/out1"
            -n "mawk \$1=\$1" "mawk '{\$1=\$1; print}' $data > $work/out2"
            -n "kest -c" "$kest --quiet -c $data"
            -n "datamash check" "datamash -W -C check < $data"
            -n "kest --eval" "$kest --quiet --eval='n[1]=c[1]+c[2]' $data $work/out4"
            -n "mawk sum" "mawk '{print \$0, \$1+\$2}' $data > $work/out5")
  if [ -n "${KEST_BEFORE:-}" ]; then
    commands+=(-n "before --nop" "$KEST_BEFORE --quiet --nop $data $work/out3")
  fi
  hyperfine --warmup 1 --runs 5 --export-json "$work/times.json" "${commands[@]}" >/dev/null
  python3 - "$work/times.json" "$(peak $kest --quiet --nop "$data" "$work/out1")" <<'PY'
import json, sys
res = json.load(open(sys.argv[1]))["results"]
print("%-16s %10s" % ("command", "median s"))
for r in res:
    print("%-16s %10.3f" % (r["command"], r["median"]))
t = {r["command"]: r["median"] for r in res}
print("kest --nop peak RSS kB:         %s" % sys.argv[2])
print("ratio kest --nop / mawk:        %.2f" % (t["kest --nop"] / t["mawk $1=$1"]))
print("ratio kest -c / datamash check: %.2f" % (t["kest -c"] / t["datamash check"]))
print("ratio kest --eval / mawk sum:   %.2f" % (t["kest --eval"] / t["mawk sum"]))
if "before --nop" in t:
    print("ratio before --nop / mawk:      %.2f" % (t["before --nop"] / t["mawk $1=$1"]))
PY
done
