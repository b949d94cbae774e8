#!/usr/bin/env bash
# Builds the benchmark of a received mail with a long НСИ comment in Release (build-release/), starts
# a dovecot POP3 server of its own and runs the benchmark against it. Extra arguments go to the
# benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_mail_nsi -j"${BENCH_JOBS:-$(nproc)}"

peers=$(mktemp -d /tmp/lir-bench-mail-nsi.XXXXXX)
chmod 755 "$peers"
cleanup() {
  bash scripts/pop3-server.sh remove "$peers/pop3" >/dev/null 2>&1 || true
  rm -rf "$peers"
}
trap cleanup EXIT
bash scripts/pop3-server.sh start "$peers/pop3"
maildir=$(bash scripts/pop3-server.sh user "$peers/pop3" bench secret)
POP3TEST_PORT=$(cat "$peers/pop3/port") POP3TEST_MAILDIR=$maildir POP3TEST_USER=bench POP3TEST_PASSWORD=secret \
  QT_QPA_PLATFORM=offscreen build-release/bin/bench_mail_nsi "$@"
