#!/usr/bin/env bash
# Builds the project and runs every test, first in the default preset, then
# under AddressSanitizer and UndefinedBehaviorSanitizer; the tests of
# threaded code run under ThreadSanitizer too. Installs missing build
# packages first. Exits non-zero when anything fails.
#
# The end-to-end tests run the controller in a private mount namespace and
# need root; without root they are reported as skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

vrx_install_deps
vrx_unpack_syslog_ng

status=0
for preset in default asan tsan; do
  echo "=== $preset: build"
  if ! vrx_build "$preset"; then
    echo "=== $preset: BUILD FAILED"
    status=1
    continue
  fi
  labels=()
  [ "$preset" = tsan ] && labels=(-L threads)
  echo "=== $preset: test ${labels[*]}"
  if ! ctest --preset "$preset" -j "$(nproc)" "${labels[@]}"; then
    echo "=== $preset: TESTS FAILED"
    status=1
  fi
done
exit $status
