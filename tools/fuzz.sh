#!/usr/bin/env bash
# Runs the fuzz targets built in build-fuzz/ (cmake --preset fuzz && cmake --build
# --preset fuzz), one after the other, each for SECONDS on a fresh scratch copy of
# its seed corpus (tests/fuzz/corpus/<target>/ stays as it is).
#   tools/fuzz.sh SECONDS [target...]     all targets by default
# Prints per target the seconds run, the executions and the coverage (libFuzzer's
# cov: and ft: figures). A finding (crash, sanitizer report, failed check,
# timeout, leak, memory limit) leaves its input in build-fuzz/fuzz/<target>/
# artifacts/, named in the report, and makes the script exit with status 1.
# The tool's own messages are silenced (-close_fd_mask=3); sanitizer reports and
# failed checks still reach the log, build-fuzz/fuzz/<target>/log.
set -u
cd "$(dirname "$0")/.."
root=$PWD
if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [target...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reader_fuzz numbers_fuzz selection_fuzz expr_fuzz options_fuzz)

# Longest input per target: a few lines of data, a few numbers, a command line.
max_len() {
  case "$1" in
    reader_fuzz) echo 4096 ;;
    numbers_fuzz) echo 256 ;;
    *) echo 1024 ;;
  esac
}

status=0
for target in "${targets[@]}"; do
  binary=$root/build-fuzz/$target
  if [ ! -x "$binary" ] || [ ! -d "$root/tests/fuzz/corpus/$target" ]; then
    echo "$target: no such target in build-fuzz/ (build it with: cmake --preset fuzz && cmake --build --preset fuzz)" >&2
    status=1
    continue
  fi
  work=$root/build-fuzz/fuzz/$target
  rm -rf "$work/corpus"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$root/tests/fuzz/corpus/$target"/* "$work/corpus/"
  # A target's words (option names, function names), when it has a dictionary.
  dict=()
  [ -f "$root/tests/fuzz/$target.dict" ] && dict=(-dict="$root/tests/fuzz/$target.dict")
  start=$(date +%s)
  "$binary" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 -max_len="$(max_len "$target")" \
    -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 -artifact_prefix="$work/artifacts/" \
    "$work/corpus" >"$work/log" 2>&1
  result=$?
  elapsed=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$work/log" | tail -n 1)
  echo "$target: ${elapsed}s, ${execs:-?} executions, ${coverage:-no coverage figures}"
  if [ $result -ne 0 ]; then
    status=1
    artifact=$(sed -n 's/.*Test unit written to //p' "$work/log" | tail -n 1)
    echo "$target: FINDING (exit status $result), input: ${artifact:-none written}, log: $work/log"
    grep -m 1 -E 'ERROR: |fuzz check failed|runtime error|SUMMARY' "$work/log" | sed 's/^/  /'
  fi
done
exit $status
