#!/usr/bin/env bash
# Builds the benchmark of the forecast's export and import between two organisations in Release
# (build-release/) and runs it on SQLite and the offscreen platform, the large import also on a
# PostgreSQL test cluster (scripts/bench-pg.sh). Extra arguments go to the benchmark (for example
# --benchmark_filter=Import).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-pg.sh
. scripts/bench-pg.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_exchange -j"${BENCH_JOBS:-$(nproc)}"
QT_QPA_PLATFORM=offscreen build-release/bin/bench_exchange "$@"
