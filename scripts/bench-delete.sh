#!/usr/bin/env bash
# Builds the benchmark of deleting a forecast in Release (build-release/) and runs it on SQLite.
# Extra arguments go to the benchmark (for example --benchmark_filter=Bare).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_forecast_delete -j3
build-release/bin/bench_forecast_delete "$@"
