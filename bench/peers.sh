#!/usr/bin/env bash
# Times kest against its peers, task by task, with the peers in the same hyperfine
# run, and prints one table: task, kest seconds, the fastest peer that agrees with
# kest, its seconds, the ratio and kest's peak resident memory.
#
# Usage: bench/peers.sh [ROWS] [--rows N] [--tasks LIST] [--runs N] [--exclude PEERS]
#                       [--json FILE]
#   ROWS, --rows N   rows of the mixed-magnitude file (default 2000000)
#   --tasks LIST     comma-separated subset of: copy remove-col add-const new-col sort
#                    transpose sum-vertical median check gzip-copy (default all)
#   --runs N         timed runs per command after one warm-up (default 5)
#   --exclude PEERS  comma-separated peer names to leave out (e.g. mlr on big files)
#   --json FILE      also write the summary as JSON (bench/scaling.sh reads it)
# Environment: KEST_BIN=path/to/kest (default build/kest); KEST_BEFORE=path/to/an
# earlier kest, timed beside the current one for every task.
#
# Before timing, every command runs on a small file (1000 rows, and a 100 x 100 table
# for the transpose) and each peer's output is compared with kest's by bench/agree.py;
# a peer that disagrees is reported and not timed. Needs hyperfine, GNU time
# (/usr/bin/time), gawk, mawk, datamash, miller, coreutils; python3 (numpy only for
# the median filter's peer).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

rows=2000000 tasks=all runs=5 exclude= json=
while [ $# -gt 0 ]; do
  case $1 in
    --rows) rows=$2; shift 2 ;;
    --tasks) tasks=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --exclude) exclude=$2; shift 2 ;;
    --json) json=$2; shift 2 ;;
    [0-9]*) rows=$1; shift ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done

kest=$(realpath "${KEST_BIN:-build/kest}" 2>/dev/null || true)
if [ ! -x "$kest" ]; then
  echo "no kest binary at ${KEST_BIN:-build/kest}; build one, e.g.:" >&2
  echo "  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=ON -DKEST_TESTS=OFF && cmake --build build-bench -j2" >&2
  echo "  KEST_BIN=build-bench/kest bench/peers.sh" >&2
  exit 1
fi
before=
if [ -n "${KEST_BEFORE:-}" ]; then
  before=$(realpath "$KEST_BEFORE")
  [ -x "$before" ] || { echo "KEST_BEFORE=$KEST_BEFORE is not executable" >&2; exit 1; }
fi
for tool in hyperfine /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
# Debian's python3-numpy belongs to /usr/bin/python3, which need not be the first
# python3 on the path.
numpy_python=
for p in python3 /usr/bin/python3; do
  if "$p" -c 'import numpy' 2>/dev/null; then numpy_python=$(command -v "$p"); break; fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Private copies: a rebuild of the checkout during the run must not change the
# binary half-way through.
cp "$kest" "$work/kest"; kest=$work/kest
[ -z "$before" ] || { cp "$before" "$work/kest-before"; before=$work/kest-before; }
note() { printf '%s\n' "$*" >> "$work/notes"; }

# One line per command: task | name | how its output is compared with kest's (see
# bench/agree.py) | command. The kest line of a task comes first. @IN@ is the rows
# file, @SQ@ the square table, @OUT@ the command's own output file.
cat > "$work/commands" <<'EOF'
copy|kest|-|@KEST@ --quiet --nop @IN@ @OUT@
copy|mawk|same|mawk '{$1=$1; print}' @IN@ > @OUT@
copy|gawk|same|gawk '{$1=$1; print}' @IN@ > @OUT@
remove-col|kest|-|@KEST@ --quiet -k -e 2 @IN@ @OUT@
remove-col|cut|same|cut -d' ' -f1,3- @IN@ > @OUT@
remove-col|mawk|same|mawk '{print $1,$3,$4,$5,$6,$7,$8,$9,$10}' @IN@ > @OUT@
add-const|kest|-|@KEST@ --quiet -p 1.5 -e 2 @IN@ @OUT@
add-const|mawk|same|mawk '{$2+=1.5; print}' @IN@ > @OUT@
new-col|kest|-|@KEST@ --quiet --eval='n[1]=c[1]+c[2]' @IN@ @OUT@
new-col|mawk|same|mawk '{print $0, $1+$2}' @IN@ > @OUT@
new-col|mawk-OFMT|same|mawk -v OFMT=%.6f '{print $0, $1+$2}' @IN@ > @OUT@
sort|kest|-|@KEST@ --quiet -q 2 @IN@ @OUT@
sort|sort|rows:2|LC_ALL=C sort -g -k2,2 -t' ' --parallel=2 @IN@ > @OUT@
sort|mlr|rows:2|mlr --inidx --ifs ' ' --onidx --ofs ' ' sort -nf 2 @IN@ > @OUT@
transpose|kest|-|@KEST@ --quiet -t @SQ@ @OUT@
transpose|datamash|same|datamash -W transpose < @SQ@ > @OUT@
sum-vertical|kest|-|@KEST@ --quiet --sum-vertical @IN@ @OUT@
sum-vertical|datamash|last|datamash -W sum 1 sum 2 sum 3 sum 4 sum 5 sum 6 sum 7 sum 8 sum 9 sum 10 < @IN@ > @OUT@
sum-vertical|mawk|same|mawk '{for(i=1;i<=NF;i++) s[i]+=$i; print} END{printf "%.17g", s[1]; for(i=2;i<=NF;i++) printf " %.17g", s[i]; printf "\n"}' @IN@ > @OUT@
median|kest|-|@KEST@ --quiet -u 2 -e 1-10 @IN@ @OUT@
median|numpy|same|@PY@ @ROOT@/bench/median_numpy.py @IN@ @OUT@ 2 10
check|kest|-|@KEST@ --quiet -c @IN@ > @OUT@
check|datamash|check|datamash -W check < @IN@ > @OUT@
gzip-copy|kest|-|@KEST@ --quiet --nop @IN@.gz @OUT@
gzip-copy|zcat-kest|same|zcat @IN@.gz | @KEST@ --quiet --nop - @OUT@
gzip-copy|zcat-mawk|same|zcat @IN@.gz | mawk '{$1=$1; print}' > @OUT@
EOF
all_tasks=$(cut -d'|' -f1 "$work/commands" | uniq | paste -sd, -)
[ "$tasks" = all ] && tasks=$all_tasks
for t in ${tasks//,/ }; do
  case ",$all_tasks," in *",$t,"*) ;; *) echo "unknown task $t (tasks: $all_tasks)" >&2; exit 2 ;; esac
done
[ -n "$numpy_python" ] || note "numpy is not installed: the median filter has no peer (apt-get install python3-numpy)"

# The files: the mixed-magnitude rows without their comment line, so that every tool
# reads the same numbers; the square table for the transpose.
mixed() { bench/mixed.py "$work/tmp" "$1"; tail -n +2 "$work/tmp" > "$2"; rm "$work/tmp"; }
square() {
  python3 - "$1" "$2" <<'PY'
import random, sys
n, rnd = int(sys.argv[1]), random.Random(2000)
forms = [lambda: "%.2f" % rnd.uniform(-1e7, 1e7), lambda: "%.3f" % rnd.uniform(-1, 1),
         lambda: "%d" % rnd.randint(0, 99999999), lambda: "%.4f" % rnd.random(),
         lambda: "%.6g" % rnd.gauss(0, 1e3)]
with open(sys.argv[2], "w") as f:
    for r in range(n):
        f.write(" ".join(forms[c % 5]() for c in range(n)) + "\n")
PY
}
echo "making the files in $work ..." >&2
mixed 1000 "$work/small.dat"
gzip -c "$work/small.dat" > "$work/small.dat.gz"
square 100 "$work/small-square.dat"
case ",$tasks," in *,transpose,*) square 2000 "$work/square.dat" ;; esac
if [ -n "$(echo ",$tasks," | tr , '\n' | grep -vx -e transpose -e '')" ]; then
  mixed "$rows" "$work/rows.dat"
  case ",$tasks," in *,gzip-copy,*) gzip -c "$work/rows.dat" > "$work/rows.dat.gz" ;; esac
fi

expand() {  # expand COMMAND BINARY IN SQUARE OUT
  local c=$1
  c=${c//@KEST@/$2}; c=${c//@IN@/$3}; c=${c//@SQ@/$4}; c=${c//@OUT@/$5}; c=${c//@ROOT@/$root}; c=${c//@PY@/$numpy_python}
  printf '%s' "$c"
}
excluded() { case ",$exclude," in *",$1,"*) return 0 ;; esac; return 1; }

: > "$work/status"
for t in ${tasks//,/ }; do
  echo "== $t" >&2
  names=()
  while IFS='|' read -r task name mode cmd <&3; do
    [ "$task" = "$t" ] || continue
    [ "$name" = numpy ] && [ -z "$numpy_python" ] && continue
    excluded "$name" && { note "$t: $name left out (--exclude)"; continue; }
    roles=peer
    [ "$name" = kest ] && { roles=kest; [ -n "$before" ] && roles="kest before"; }
    for role in $roles; do
      label=$name bin=$kest
      [ "$role" = before ] && label=kest-before bin=$before
      small=$work/small-$t-$label.out
      if ! sh -c "$(expand "$cmd" "$bin" "$work/small.dat" "$work/small-square.dat" "$small")" \
          </dev/null >/dev/null 2>"$work/err"; then
        note "$t: $label failed on the small file: $(head -c 300 "$work/err")"
        printf '%s\t%s\t%s\tfailed\n' "$t" "$role" "$label" >> "$work/status"
        continue
      fi
      status=agrees
      if [ "$role" = peer ]; then
        if ! why=$(python3 bench/agree.py $mode "$work/small-$t-kest.out" "$small" 2>&1); then
          note "$t: $name disagrees with kest, not timed: $why"
          printf '%s\t%s\t%s\tdisagrees\n' "$t" "$role" "$label" >> "$work/status"
          continue
        fi
      elif [ "$role" = before ] && ! cmp -s "$work/small-$t-kest.out" "$small"; then
        status=differs
        note "$t: kest-before writes other output than kest on the small file (timed all the same)"
      fi
      printf '%s\t%s\t%s\t%s\n' "$t" "$role" "$label" "$status" >> "$work/status"
      full=$(expand "$cmd" "$bin" "$work/rows.dat" "$work/square.dat" "$work/$t-$label.out")
      names+=(-n "$label" "$full")
      if [ "$role" = kest ]; then
        /usr/bin/time -v sh -c "$full" 2>&1 </dev/null >/dev/null |
          awk -F': ' '/Maximum resident/ {print $2}' > "$work/peak-$t"
      fi
    done
  done 3< "$work/commands"
  [ ${#names[@]} -gt 0 ] || continue
  if ! hyperfine --warmup 1 --runs "$runs" --export-json "$work/time-$t.json" "${names[@]}" \
      </dev/null > "$work/hyperfine-$t.log" 2>&1; then
    cat "$work/hyperfine-$t.log" >&2
    note "$t: hyperfine failed"
  fi
  rm -f "$work"/"$t"-*.out
done

python3 - "$work" "$rows" "$json" <<'PY'
import json, os, sys
work, rows, json_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
status = [l.rstrip("\n").split("\t") for l in open(os.path.join(work, "status"))]
summary = []
for task in dict.fromkeys(s[0] for s in status):
    path = os.path.join(work, "time-%s.json" % task)
    results = json.load(open(path))["results"] if os.path.exists(path) else []
    times = {r["command"]: r["median"] for r in results}
    spans = {r["command"]: (r["min"], r["max"]) for r in results}
    peers = {s[2]: s[3] for s in status if s[0] == task and s[1] == "peer"}
    timed = {p: times[p] for p in peers if peers[p] == "agrees" and p in times}
    best = min(timed, key=timed.get) if timed else None
    peak = open(os.path.join(work, "peak-" + task)).read().strip() \
        if os.path.exists(os.path.join(work, "peak-" + task)) else ""
    summary.append({"task": task, "rows": rows, "kest": times.get("kest"),
                    "before": times.get("kest-before"), "peer": best,
                    "peer_s": timed.get(best), "peak_mb": int(peak) / 1024 if peak else None,
                    "all": times, "spans": spans, "peers": peers})

def f(v, fmt):
    return fmt % v if v is not None else "-"

before = any(s["before"] is not None for s in summary)
head = "%-13s %8s  %-10s %8s %10s %12s" % ("task", "kest s", "best peer", "peer s",
                                           "kest/peer", "kest peak MB")
if before:
    head += " %9s %12s" % ("before s", "kest/before")
print("%d rows of ten mixed-magnitude numbers (transpose: 2000 x 2000); medians of"
      " hyperfine runs" % rows)
print(head)
for s in summary:
    ratio = s["kest"] / s["peer_s"] if s["kest"] and s["peer_s"] else None
    line = "%-13s %8s  %-10s %8s %10s %12s" % (
        s["task"], f(s["kest"], "%.3f"), s["peer"] or "-", f(s["peer_s"], "%.3f"),
        f(ratio, "%.2f"), f(s["peak_mb"], "%.0f"))
    if before:
        line += " %9s %12s" % (f(s["before"], "%.3f"),
                               f(s["kest"] / s["before"] if s["kest"] and s["before"] else None,
                                 "%.2f"))
    print(line)
print()
print("every command (median s, fastest-slowest run; a peer that disagreed with kest"
      " was not timed):")
for s in summary:
    parts = ["%s %.3f (%.3f-%.3f)" % ((n, t) + s["spans"][n]) for n, t in s["all"].items()]
    parts += ["%s %s" % (p, st) for p, st in s["peers"].items() if st != "agrees"]
    print("  %-13s %s" % (s["task"], ", ".join(parts)))
notes = os.path.join(work, "notes")
if os.path.exists(notes):
    print("\nnotes:")
    for line in open(notes):
        print("  " + line.rstrip())
if json_path:
    json.dump(summary, open(json_path, "w"), indent=1)
PY
