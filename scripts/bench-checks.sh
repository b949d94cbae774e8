#!/usr/bin/env bash
# Builds the benchmark of the data checks and the consolidation in Release (build-release/) and runs
# it on SQLite and the offscreen platform. Extra arguments go to the benchmark (for example
# --benchmark_filter=CheckNSI).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_checks -j"${BENCH_JOBS:-$(nproc)}"
QT_QPA_PLATFORM=offscreen build-release/bin/bench_checks "$@"
