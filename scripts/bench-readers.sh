#!/usr/bin/env bash
# Builds the benchmark of the readers of received documents in Release (build-release/) and runs it
# on the offscreen platform: an НСИ with a 100 MB supporting document, a forecast with a 10 MB comment
# and a document with 1,000,000 attributes, against `xmllint --stream` with the same schema over the
# same bytes; a comment of 10 and 100 MB in each kind of document, refused by its length. Extra
# arguments go to the benchmark (for example --benchmark_filter=Nsi).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_readers -j"${BENCH_JOBS:-$(nproc)}"
QT_QPA_PLATFORM=offscreen build-release/bin/bench_readers "$@"
