#!/usr/bin/env bash
# SMTP sink for tests (scripts/smtp-sink.py, Debian's python3-aiosmtpd).
#
#   smtp-sink.sh start DIR [USER PASSWORD]   start a sink that keeps its mail in DIR; with USER
#                                            and PASSWORD it requires AUTH (without TLS)
#   smtp-sink.sh stop DIR                    stop it and remove DIR
#
# The sink listens on 127.0.0.1 at a free port. Once it accepts connections DIR/port holds that
# port and DIR/pid its process id; it stores each message in DIR/mail/<n>.eml and logs one JSON
# line per message in DIR/log.jsonl. When run as root the sink runs as the "nobody" user.
set -euo pipefail

PYTHON=/usr/bin/python3   # Debian's packages are not seen by every python3 on PATH
MARKER=.lir-smtp-sink
PEER=smtp-sink
USAGE="start DIR [USER PASSWORD] | stop DIR"
# shellcheck source=peer-common.sh
. "$(dirname "$0")/peer-common.sh"
set -- "${peer_args[@]}"

sink_pid() {
    # Only a process that is this folder's sink, so a reused process id is left alone.
    local pid
    pid=$(cat "$dir/pid" 2>/dev/null) || return 1
    [[ $pid =~ ^[0-9]+$ ]] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir/smtp-sink.py" || return 1
    echo "$pid"
}

start() {
    [ $# -eq 0 ] || [ $# -eq 2 ] || usage
    "$PYTHON" -c 'import aiosmtpd' 2>/dev/null || die "python3-aiosmtpd is not installed"
    mkdir -p -- "$dir"
    dir=$(cd -- "$dir" && pwd -P)
    [ -z "$(ls -A -- "$dir")" ] || die "$dir is not empty"
    touch "$dir/$MARKER"
    cp -- "$(dirname "$0")/smtp-sink.py" "$dir/smtp-sink.py"
    if [ "$(id -u)" -eq 0 ]; then
        chown "$PEER_USER": "$dir"
        chmod 0755 "$dir"
    fi
    as_peer setsid "$PYTHON" "$dir/smtp-sink.py" "$dir" "$@" </dev/null >"$dir/sink.log" 2>&1 &
    local tries=0
    until [ -s "$dir/port" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 $! 2>/dev/null; then
            cat "$dir/sink.log" >&2
            die "the sink did not start"
        fi
        sleep 0.1
    done
}

stop() {
    [ -d "$dir" ] || return 0
    [ -f "$dir/$MARKER" ] || die "$dir holds no SMTP sink; not removing it"
    dir=$(cd -- "$dir" && pwd -P)
    local pid
    if pid=$(sink_pid); then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            running "$pid" || break
            sleep 0.1
        done
    fi
    rm -rf -- "$dir"
}

case "$cmd" in
    start) start "$@" ;;
    stop) stop ;;
    *) usage ;;
esac
