#!/usr/bin/env bash
# Builds the benchmark of a zip bomb received as an attachment in Release
# (build-release/) and runs it. Extra arguments go to the
# benchmark (for example --benchmark_filter=Lying).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_zip_bomb -j"${BENCH_JOBS:-$(nproc)}"
build-release/bin/bench_zip_bomb "$@"
