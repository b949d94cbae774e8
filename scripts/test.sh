#!/usr/bin/env bash
# Installs what is missing, builds, starts the test peers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh

peers=$(mktemp -d /tmp/lir-peers.XXXXXX)
chmod 755 "$peers"
cleanup() {
  bash scripts/pg-test-cluster.sh stop "$peers/pg" >/dev/null 2>&1 || true
  rm -rf "$peers"
}
trap cleanup EXIT

bash scripts/pg-test-cluster.sh start "$peers/pg"
set -a
# shellcheck disable=SC1091
. "$peers/pg/env"
set +a

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"
