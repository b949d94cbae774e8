# Sourced by the benchmark scripts, from the project folder: when no PostgreSQL cluster is named
# (PGHOST), a throwaway test cluster is started for the benchmark's PostgreSQL runs and stopped when
# the script ends. Without the server those runs are skipped with their reason.
if [ -z "${PGHOST:-}" ] && [ -x "${PG_BIN:-/usr/lib/postgresql/15/bin}/initdb" ]; then
  bench_pg=$(mktemp -d /tmp/lir-bench-pg.XXXXXX)
  chmod 755 "$bench_pg"
  trap 'bash scripts/pg-test-cluster.sh stop "$bench_pg" >/dev/null 2>&1 || true; rm -rf "$bench_pg"' EXIT
  if bash scripts/pg-test-cluster.sh start "$bench_pg" >/dev/null; then
    set -a
    # shellcheck disable=SC1091
    . "$bench_pg/env"
    set +a
  else
    echo "bench: the PostgreSQL test cluster did not start; its runs are skipped" >&2
  fi
fi
