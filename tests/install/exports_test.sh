#!/bin/bash
# A shared library exports exactly what its public headers declare: every
# function and variable of theirs, under the library's version nodes, and
# nothing else (no runtime-layer name, no internal twin its headers do not
# declare, no C++ library instantiation). Its soname is lib<name>.so.1.
#
#   exports_test.sh CC LIBRARY VERSION_NODE[,VERSION_NODE...] [-IDIR...] HEADER...
# (-I: where the headers' own includes are, besides their directories)
set -euo pipefail
cc=$1 library=$2 nodes=$3
shift 3
fail() { echo "FAIL: $*" >&2; exit 1; }

soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = "$(basename "${library%%.so*}").so.1" ] || fail "$library: soname '$soname'"

# Declared: in the headers as the C compiler reads them (the containers'
# functions are declared by macros; what a header includes is another's),
# the names of the headers' prefixes
# that a "(" follows, and the variables they declare extern.
includes=()
while [[ "${1:-}" == -I* ]]; do includes+=("$1"); shift; done
for header in "$@"; do includes+=(-I "$(dirname "$header")"); done
text=$(for header in "$@"; do  # each header's own lines, macros expanded
  "$cc" -E "${includes[@]}" "$header" | awk -v own="\"$header\"" '/^# [0-9]+ "/ { keep = $3 == own; next } keep'
done)
declared=$(grep -oE '\b(Kvl[A-Za-z0-9_]*|kvlIntl[A-Za-z0-9_]*|Oxs[A-Za-z0-9_]*|zil_[a-z0-9_]*|uni[A-Z][A-Za-z]*)[[:space:]]*\(' <<<"$text" |
  tr -d '( \t'; sed -n 's/^extern [^;(]*[ *]\([A-Za-z_][A-Za-z0-9_]*\)\(\[[0-9]*\]\)\?;.*/\1/p' <<<"$text")
# (Each version node itself is listed as an absolute symbol.)
symbols=$(nm -D --defined-only "$library" |
  awk -v nodes="$nodes" 'BEGIN { n = split(nodes, list, ","); for (i = 1; i <= n; ++i) node[list[i]] = 1 }
    !($2 == "A" && $3 in node) { print $3 }')
exported=$(sed 's/@.*//' <<<"$symbols")
unversioned=$(grep -vE "@@?(${nodes//,/|})\$" <<<"$symbols" || true)
[ -z "$unversioned" ] || fail "$library: names outside $nodes: $unversioned"
extra=$(comm -13 <(sort -u <<<"$declared") <(sort -u <<<"$exported"))
missing=$(comm -23 <(sort -u <<<"$declared") <(sort -u <<<"$exported"))
[ -z "$extra" ] || fail "$library exports what no public header declares: $extra"
[ -z "$missing" ] || fail "$library lacks what its headers declare: $missing"
echo "ok: $(wc -l <<<"$exported") names"
