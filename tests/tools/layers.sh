#!/usr/bin/env bash
# Every source file includes only its own folder or the folders below it:
# base < io < select < expr < ops < driver (expr needs only base; main.cpp is on top).
set -u
cd "$(dirname "$0")/../../src" || exit 2
rank() {
  case "$1" in
    base) echo 0 ;; io) echo 1 ;; select) echo 2 ;; expr) echo 3 ;; ops) echo 4 ;; driver) echo 5 ;;
    *) echo 9 ;;
  esac
}
status=0
for file in */*.h */*.cpp; do
  from=${file%%/*}
  while read -r included; do
    to=${included%%/*}
    if [ "$(rank "$to")" -gt "$(rank "$from")" ]; then
      echo "$file includes $included, a layer above it"
      status=1
    fi
  done < <(sed -n 's/^#include "\([a-z]*\/[^"]*\)".*/\1/p' "$file")
done
exit $status
