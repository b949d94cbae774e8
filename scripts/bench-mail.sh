#!/usr/bin/env bash
# Builds the mail send benchmark in Release (build-release/), starts an SMTP sink of its own and
# runs the benchmark against it. Extra arguments go to the benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_mail_send -j"$(nproc)"

peers=$(mktemp -d /tmp/lir-bench-mail.XXXXXX)
chmod 755 "$peers"
trap 'bash scripts/smtp-sink.sh stop "$peers/smtp" >/dev/null 2>&1 || true; rm -rf "$peers"' EXIT
bash scripts/smtp-sink.sh start "$peers/smtp"
SMTPTEST_PORT=$(cat "$peers/smtp/port") build-release/bin/bench_mail_send "$@"
