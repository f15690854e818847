#!/bin/bash
# A shared library's ABI against its baseline in abi/ (abidw's description
# of the types and functions its public headers reach). Any difference
# fails: a removed or changed name breaks programs linked to the library,
# an added one is a new interface; either is taken on purpose by updating
# the baseline (with the soname bumped when old programs would break):
#
#   abi_test.sh LIBRARY BASELINE SOURCE_DIR --update
set -euo pipefail
library=$1 baseline=$2 source=$3
headers=(--headers-dir "$source/kavel/include" --headers-dir "$source/kavel/net/include"
  --headers-dir "$source/libmsg/include")
if [ "${4:-}" = --update ]; then
  abidw --no-corpus-path --no-comp-dir-path --no-show-locs --drop-private-types \
    --exported-interfaces-only --type-id-style hash "${headers[@]}" "$library" >"$baseline"
  exit 0
fi
command -v abidiff >/dev/null || { echo "SKIPPED: abidiff (package abigail-tools) is missing"; exit 77; }
status=0
report=$(abidiff --drop-private-types --headers-dir2 "$source/kavel/include" \
  --headers-dir2 "$source/kavel/net/include" --headers-dir2 "$source/libmsg/include" \
  "$baseline" "$library") || status=$?
[ "$status" -eq 0 ] && { echo "ok: $(basename "$library") matches $(basename "$baseline")"; exit 0; }
echo "$report"
echo "FAIL: the ABI of $library differs from $baseline (abidiff status $status)."
echo "If that is meant, update the baseline: $0 $library $baseline $source --update"
exit 1
