#!/usr/bin/env bash
# Builds the recalculation benchmark in Release (build-release/) and runs it on SQLite and on a
# PostgreSQL test cluster (scripts/bench-pg.sh).
# Extra arguments go to the benchmark (for example --benchmark_filter=MemberEdit).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=bench-pg.sh
. scripts/bench-pg.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_recalc -j"${BENCH_JOBS:-$(nproc)}"
build-release/bin/bench_recalc "$@"
