#!/usr/bin/env bash
# Builds the forecast editor benchmark in Release (build-release/) and runs it on SQLite, offscreen.
# Extra arguments go to the benchmark (for example --benchmark_filter=CardEdit).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_editor -j"${BENCH_JOBS:-$(nproc)}"
build-release/bin/bench_editor "$@"
