#!/usr/bin/env bash
# Installs what is missing, builds, starts the test peers and runs every test. LIR_BUILD_DIR names
# another build folder than build/ (scripts/sanitize.sh runs the suite in build-asan/ so).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

peers=$(mktemp -d /tmp/lir-peers.XXXXXX)
chmod 755 "$peers"
cleanup() {
  bash scripts/smtp-sink.sh stop "$peers/smtp" >/dev/null 2>&1 || true
  bash scripts/smtp-sink.sh stop "$peers/smtp-auth" >/dev/null 2>&1 || true
  bash scripts/pop3-server.sh remove "$peers/pop3" >/dev/null 2>&1 || true
  bash scripts/pg-test-cluster.sh stop "$peers/pg" >/dev/null 2>&1 || true
  rm -rf "$peers"
}
trap cleanup EXIT

bash scripts/pg-test-cluster.sh start "$peers/pg"
set -a
# shellcheck disable=SC1091
. "$peers/pg/env"
set +a

# Two SMTP sinks: one takes any mail, the other requires AUTH as user/pass.
bash scripts/smtp-sink.sh start "$peers/smtp"
bash scripts/smtp-sink.sh start "$peers/smtp-auth" user pass
export SMTPTEST_PORT=$(cat "$peers/smtp/port") SMTPTEST_DIR=$peers/smtp
export SMTPTEST_AUTH_PORT=$(cat "$peers/smtp-auth/port") SMTPTEST_AUTH_DIR=$peers/smtp-auth
export SMTPTEST_AUTH_USER=user SMTPTEST_AUTH_PASSWORD=pass

# A dovecot POP3 server; each test adds the mailbox it uses.
bash scripts/pop3-server.sh start "$peers/pop3"
export POP3TEST_PORT=$(cat "$peers/pop3/port") POP3TEST_DIR=$peers/pop3

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${LIR_BUILD_DIR:-build}" --output-on-failure -j"$(nproc)" "$@"
