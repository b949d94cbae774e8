#!/usr/bin/env bash
# Throw-away PostgreSQL 15 cluster for tests.
#
#   pg-test-cluster.sh start DIR   create and start a cluster in DIR, print its
#                                  settings as "export NAME=value" lines and
#                                  write them as NAME=value lines to DIR/env
#   pg-test-cluster.sh stop DIR    stop the cluster and remove DIR
#
# The server listens on a Unix socket in DIR and on 127.0.0.1 at a free high
# port. The superuser "postgres" logs in over the socket without a password;
# every other socket or TCP login needs its password (scram-sha-256).
# DIR/env holds PGHOST (the socket folder), PGPORT, PGUSER, PGDATABASE,
# PGTEST_TCPHOST (127.0.0.1) and PGTEST_PASSWORD (the superuser's password,
# for TCP logins). When run as root the cluster belongs to the "postgres"
# system user; the server never runs as root.
set -euo pipefail

PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}
MARKER=.lir-pg-test-cluster
SUPERUSER=postgres

die() { echo "pg-test-cluster: $*" >&2; exit 1; }

usage() {
    echo "usage: $0 start|stop DIR" >&2
    exit 2
}

[ $# -eq 2 ] || usage
cmd=$1
dir=$2

# Only plain path characters: the values go into an env file unquoted.
case "$dir" in
    ''|*[!A-Za-z0-9/._-]*) die "unsupported folder name: '$dir'" ;;
esac
if [ "$cmd" = start ]; then
    mkdir -p -- "$dir" || die "cannot create $dir"
fi
if [ -d "$dir" ]; then
    dir=$(cd -- "$dir" && pwd -P)
fi
[ "$dir" != / ] || die "refusing to use /"

if [ "$(id -u)" -eq 0 ]; then
    owner=postgres
    id "$owner" >/dev/null 2>&1 || die "no '$owner' system user to own the cluster"
    as_owner() { runuser -u "$owner" -- "$@"; }
else
    owner=$(id -un)
    as_owner() { "$@"; }
fi

data=$dir/data
envfile=$dir/env

is_running() {
    [ -f "$data/postmaster.pid" ] && as_owner "$PG_BIN/pg_ctl" -D "$data" status >/dev/null 2>&1
}

stop_server() {
    if is_running; then
        as_owner "$PG_BIN/pg_ctl" -D "$data" -m fast -w -t 60 stop >/dev/null
    fi
}

free_port() {
    # Bind to port 0 and let the kernel choose; a lost race is retried below.
    python3 -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

print_env() {
    sed 's/^/export /' "$envfile"
}

start() {
    [ -x "$PG_BIN/initdb" ] || die "PostgreSQL 15 server not installed ($PG_BIN)"

    if [ -f "$dir/$MARKER" ] && [ -f "$envfile" ] && is_running; then
        print_env
        return 0
    fi
    if [ -n "$(ls -A -- "$dir")" ] && [ ! -f "$dir/$MARKER" ]; then
        die "$dir is not empty and holds no test cluster"
    fi
    # A stale cluster (for instance after a crash) is thrown away.
    if [ -f "$dir/$MARKER" ]; then
        stop_server || true
        find "$dir" -mindepth 1 -delete
    fi
    touch "$dir/$MARKER"

    # The socket path must fit into sun_path (107 bytes).
    [ ${#dir} -le 80 ] || die "folder path too long for a Unix socket: $dir"

    if [ "$(id -u)" -eq 0 ]; then
        chown "$owner": "$dir"
        chmod 0755 "$dir"
        as_owner test -w "$dir" || die "$owner cannot write $dir (check the parent folders' permissions)"
    fi

    local password
    password=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')
    local pwfile=$dir/.pw
    (umask 077; printf '%s\n' "$password" >"$pwfile")
    [ "$(id -u)" -ne 0 ] || chown "$owner": "$pwfile"

    as_owner "$PG_BIN/initdb" -D "$data" -U "$SUPERUSER" --pwfile="$pwfile" \
        -E UTF8 --locale=C.UTF-8 --auth-local=trust --auth-host=scram-sha-256 \
        >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; die "initdb failed"; }
    rm -f "$pwfile"

    as_owner tee "$data/pg_hba.conf" >/dev/null <<EOF
local   all  $SUPERUSER                trust
local   all  all                       scram-sha-256
host    all  all        127.0.0.1/32   scram-sha-256
EOF

    local port tries=0
    while :; do
        port=$(free_port)
        as_owner tee "$data/postgresql.auto.conf" >/dev/null <<EOF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$dir'
password_encryption = 'scram-sha-256'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 400
EOF
        if as_owner "$PG_BIN/pg_ctl" -D "$data" -l "$dir/server.log" -w -t 60 start >/dev/null; then
            break
        fi
        tries=$((tries + 1))
        [ $tries -lt 5 ] || { tail -n 20 "$dir/server.log" >&2; die "server did not start"; }
    done

    cat >"$envfile" <<EOF
PGHOST=$dir
PGPORT=$port
PGUSER=$SUPERUSER
PGDATABASE=postgres
PGTEST_TCPHOST=127.0.0.1
PGTEST_PASSWORD=$password
EOF
    chmod 0644 "$envfile"
    print_env
}

stop() {
    [ -d "$dir" ] || return 0
    if [ ! -f "$dir/$MARKER" ]; then
        [ -z "$(ls -A -- "$dir")" ] && { rmdir -- "$dir"; return 0; }
        die "$dir holds no test cluster; not removing it"
    fi
    stop_server || true
    rm -rf -- "$dir"
}

case "$cmd" in
    start) start ;;
    stop) stop ;;
    *) usage ;;
esac
