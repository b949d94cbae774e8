#!/usr/bin/env bash
# Configures and builds everything into build/ (build/bin holds what the programs need to run).
# Extra configure options come from LIR_CMAKE_ARGS (for example -DBUILD_TESTING=OFF); LIR_BUILD_DIR
# names another build folder (scripts/sanitize.sh uses build-asan); CMAKE_BUILD_PARALLEL_LEVEL bounds
# the jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LIR_BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${LIR_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
