#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs the
# whole suite there as scripts/test.sh does, with its PostgreSQL, SMTP and POP3 peers. Any report of
# the checks fails the run, also one from a program a test starts: every process writes its reports
# into build-asan/sanitizer/, shown at the end. Leaks are not looked for.
#   bash scripts/sanitize.sh [ctest options, for example -R '<regex>']
# SANITIZE_JOBS (default 4) bounds the tests run at once, CMAKE_BUILD_PARALLEL_LEVEL the build's jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
export LIR_BUILD_DIR=build-asan
export LIR_CMAKE_ARGS="${LIR_CMAKE_ARGS:-} -DLIR_SANITIZE=ON"
reports=$PWD/$LIR_BUILD_DIR/sanitizer
rm -rf "$reports"
mkdir -p "$reports"
# The build runs the test programs too (to list their tests), so the options hold from here on.
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:halt_on_error=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"

started=$SECONDS
status=0
bash scripts/test.sh -j"${SANITIZE_JOBS:-4}" "$@" || status=$?
found=("$reports"/*)
if [ -e "${found[0]}" ]; then
  echo "sanitize: ${#found[@]} report(s) in $reports:"
  for f in "${found[@]}"; do
    echo "== $f"
    cat "$f"
  done
  status=1
fi
echo "sanitize: $((SECONDS - started)) s, $([ "$status" -eq 0 ] && echo clean || echo FAILED)"
exit "$status"
