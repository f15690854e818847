#!/bin/bash
# Runs one example program of examples/logging in a directory of its own and
# compares what it prints (time stamps, host, thread and process ids taken
# out) with what it must print.
#
#   examples_test.sh NAME SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
name=$1 source=$2 build=$3 work=$4
examples=$source/examples/logging bin=$build/examples/logging
export ZILDIR=$build
rm -rf "$work" && mkdir -p "$work" && cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
# Time stamps out, so the output can be compared whole.
plain() { sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]+[-+][0-9:]+/TIME/g'; }
expect() {
  diff -u <(printf '%s\n' "$@") "$work/out" >&2 || fail "$name printed otherwise (- expected, + printed)"
}

case $name in
  file_log)
    "$bin/example_file_log" "$examples/file_log.properties" | plain >out
    expect "example2.log: 43 records" "  first: TIME record 1 of 100" "  last:  TIME record 43 of 100" \
           "example1.log: 43 records" "  first: TIME record 44 of 100" "  last:  TIME record 86 of 100" \
           "example.log: 14 records" "  first: TIME record 87 of 100" "  last:  TIME record 100 of 100"
    ;;
  shared_log)
    key=1448232280
    ipcrm -S $key 2>/dev/null || true
    trap 'ipcrm -S $key 2>/dev/null || true' EXIT
    "$bin/example_shared_log" "$examples/shared_log.properties" >out
    expect "0 writers failed; 600 records in the set, 600 whole"
    ;;
  pd_xml)
    "$bin/example_pd_xml" >records
    grep -q '^<Message Id="EXA0007E" Severity="ERROR">$' records || fail "no message record"
    grep -q '^ <Source FileName="examples/logging/pd_xml.c" Method="main" Line="[0-9]*"/>$' records ||
      fail "no trace record with its source place"
    if command -v xmllint >/dev/null; then
      { echo "<log>"; cat records; echo "</log>"; } | xmllint --noout - || fail "not well-formed"
    fi
    ;;
  convert)
    "$bin/example_convert" >out
    expect "UTF-8     43 61 66 C3 A9 20 E2 82 AC 35 20 E6 97 A5" \
           "ISO885915 43 61 66 E9 20 A4 35 20 3F" "  back: Café €5 ? (replaced: 1)" \
           "IBM1047   C3 81 86 51 40 6F F5 40 6F" "  back: Café ?5 ? (replaced: 2)"
    ;;
  catalog)
    "$bin/example_catalog" "$bin/nls" | plain >out
    expect "TIME EXA0001I Hello, Ann: 3 new messages." "TIME EXA0001I 3 neue Nachrichten für Ann." \
           "TIME EXA0001I Hello, Ann: 3 new messages." "TIME EXA0002W The disk /var is 93% full." \
           "TIME EXA0002W Die Platte /var ist zu 93% voll." "TIME EXA0002W The disk /var is 93% full."
    ;;
  typed)
    "$bin/example_typed" | plain >out
    # The trace formatter's lines start with a record separator.
    expect $'\x1e'"[TIME] -  MIN  -  -  - examples/logging/typed.cpp:main(25) -  - copied /var/log/app.log (4096 bytes) for operator" \
           $'\x1e'"[TIME] - WARN  -  -  -  - EXA0003W - EXA0003W /var/log/app.log is 93.5% full"
    ;;
  *) fail "no example named $name" ;;
esac
