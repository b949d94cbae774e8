#!/usr/bin/env bash
# Builds the mail benchmark in Release (build-release/), starts an SMTP sink and a dovecot POP3
# server of its own and runs the benchmark against them. Extra arguments go to the benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release --target bench_mail_send -j"$(nproc)"

peers=$(mktemp -d /tmp/lir-bench-mail.XXXXXX)
chmod 755 "$peers"
cleanup() {
  bash scripts/smtp-sink.sh stop "$peers/smtp" >/dev/null 2>&1 || true
  bash scripts/pop3-server.sh remove "$peers/pop3" >/dev/null 2>&1 || true
  rm -rf "$peers"
}
trap cleanup EXIT
bash scripts/smtp-sink.sh start "$peers/smtp"
bash scripts/pop3-server.sh start "$peers/pop3"
maildir=$(bash scripts/pop3-server.sh user "$peers/pop3" bench secret)
SMTPTEST_PORT=$(cat "$peers/smtp/port") POP3TEST_PORT=$(cat "$peers/pop3/port") POP3TEST_MAILDIR=$maildir \
  POP3TEST_USER=bench POP3TEST_PASSWORD=secret build-release/bin/bench_mail_send "$@"
