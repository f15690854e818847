#!/usr/bin/env bash
# Plants each fault of a list (tests/mutants.txt by default) in turn, builds
# the targets its line names, runs the test binaries among them and says
# whether the tests caught it. A tool for developers, not part of test.sh:
# run it before and after changing tests, and every fault caught before must
# be caught after. The tree is restored whatever happens (the one planted
# file is copied back, even on Ctrl-C).
#
#   scripts/mutants.sh [LIST]
#
# A list line: FILE<TAB>TEXT<TAB>REPLACEMENT<TAB>TARGETS, where TEXT occurs
# on exactly one line of FILE and its first occurrence there is replaced,
# and TARGETS are comma-separated CMake targets (test binaries end in
# "_test"; the e2e binary needs the controller listed too). Blank lines and
# lines starting with "#" are skipped. Uses the default preset's build.
set -uo pipefail
cd "$(dirname "$0")/.."
list=${1:-tests/mutants.txt}
build=build/default

cmake --preset default >/dev/null && cmake --build --preset default >/dev/null ||
  { echo "the tree does not build as it is" >&2; exit 2; }

# Every test binary the list names must pass as the tree is: a binary that
# fails anyway would count every fault planted for it as caught. (Binaries
# run whole here, as below, not one case a process as CTest runs them.)
binaryOf() { find "$build/tests" -type f -name "$1" -perm -u+x | head -1; }
for name in $(grep -v '^#' "$list" | cut -f4 | tr ',' '\n' | grep '_test$' | sort -u); do
  if ! (timeout 600 "$(binaryOf "$name")" --gtest_brief=1) >/dev/null 2>&1; then
    echo "$name fails on the tree as it is: mend that first" >&2
    exit 2
  fi
done

saved=$(mktemp) planted=""
restore() {
  if [ -n "$planted" ]; then
    cp "$saved" "$planted" && touch "$planted"
    planted=""
  fi
}
trap 'restore; rm -f "$saved"' EXIT
trap 'exit 130' INT TERM

caught=0 missed=() unbuilt=() bad=() n=0
while IFS=$'\t' read -r file text replacement targets || [ -n "$file" ]; do
  [[ -z "$file" || "$file" == \#* ]] && continue
  n=$((n + 1))
  label="$n $file: $text"
  hits=$(grep -cF -- "$text" "$file" 2>/dev/null || true)
  if [ "$hits" != 1 ]; then
    bad+=("$label (found on ${hits:-0} lines)")
    continue
  fi
  cp "$file" "$saved" && planted=$file
  OLD=$text NEW=$replacement perl -i -pe 'if (!$done && index($_, $ENV{OLD}) >= 0) { substr($_, index($_, $ENV{OLD}), length $ENV{OLD}) = $ENV{NEW}; $done = 1 }' "$file"
  IFS=, read -ra names <<<"$targets"
  if ! cmake --build "$build" --target "${names[@]}" >/dev/null 2>&1; then
    unbuilt+=("$label")
  else
    result=missed
    for name in "${names[@]}"; do
      [[ "$name" == *_test ]] || continue
      binary=$(binaryOf "$name")
      if ! (timeout 300 "$binary" --gtest_brief=1) >/dev/null 2>&1; then
        result=caught
        break
      fi
    done
    if [ $result = caught ]; then caught=$((caught + 1)); else missed+=("$label"); fi
  fi
  restore
  printf '%3d %-8s %s\n' "$n" "${result:-unbuilt}" "$file"
  result=""
done <"$list"
# Rebuild what the last fault left behind.
cmake --build --preset default >/dev/null

echo "faults: $n; caught: $caught; missed: ${#missed[@]}; did not build: ${#unbuilt[@]}; not found: ${#bad[@]}"
for item in "${missed[@]}"; do echo "missed: $item"; done
for item in "${unbuilt[@]}"; do echo "did not build: $item"; done
for item in "${bad[@]}"; do echo "not found: $item"; done
[ ${#missed[@]} -eq 0 ] && [ ${#unbuilt[@]} -eq 0 ] && [ ${#bad[@]} -eq 0 ]
