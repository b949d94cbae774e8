#!/bin/bash
# forecast started from outside with the scripted transport receiving: the information message is
# shown at once, the plug-in's log lines reach the journal while it runs, and SIGTERM ends it with
# status 0 and its settings written back. Arguments: the program folder of the build, the plug-in,
# and optionally a signal: then the message box really opens, and that signal is sent while it
# waits for the user.
set -u
bin=$1
plugin=$2
signal=${3:-}
command -v sqlite3 >/dev/null || { echo "sqlite3 is not installed"; exit 77; }
work=$(mktemp -d)
trap 'kill -KILL "$pid" 2>/dev/null; rm -rf "$work"' EXIT
home=$work/home
mkdir -p "$home/transport" "$work/config/LIR" "$work/run"
chmod 700 "$work/run"
cp "$plugin" "$home/transport/"
cp "$bin/LIR.db.tmpl" "$bin/LIRR.db" "$home/"
printf '[Settings]\nTransport=FAKE\nEnableOpJournal=1\n' >"$work/config/LIR/Forecast.ini"
printf '8 start\n1 [InfoSubject:] Тема\\r\\nТекст\\r\\n\nevery 100 tick\n' >"$work/receive.txt"

# Read-only: a query before the program has made its database must not make an empty one.
query() { sqlite3 -readonly "$home/LIR.db" "$1" 2>/dev/null || echo 0; }
journal() { query "select count(*) from tFctOpJournal where Type = 1"; }
run() {
    LIR_HOME=$home/ XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen \
        LIR_FAKE_RECEIVE=$work/receive.txt "$bin/forecast" 2>"$work/err" &
    pid=$!
}

if [ -n "$signal" ]; then
    run
    # The box holds the information message: it is stored only once the box is answered.
    for _ in $(seq 50); do
        [ "$(journal)" -gt 5 ] && break
        sleep 0.1
    done
    sleep 1
    mailings=$(query "select count(*) from tFctMailing")
    [ "$mailings" = 0 ] || { echo "no message box waits ($mailings mailings)"; cat "$work/err"; exit 1; }
else
    LIR_MSGBOX=yes run
    for _ in $(seq 50); do
        grep -q 'MSGBOX [0-9]* Получено информационное сообщение' "$work/err" && break
        sleep 0.1
    done
    grep -q 'MSGBOX [0-9]* Получено информационное сообщение' "$work/err" \
        || { echo "no message within 5 s"; cat "$work/err"; exit 1; }
    first=$(journal)
    sleep 1
    second=$(journal)
    [ "$second" -gt "$first" ] || { echo "the journal did not grow ($first, $second)"; exit 1; }
fi

kill -"${signal:-TERM}" "$pid"
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "still running 5 s after SIG${signal:-TERM}"
    exit 1
fi
wait "$pid"
status=$?
[ "$status" -eq 0 ] || { echo "exit status $status"; cat "$work/err"; exit 1; }
grep -q '^ExportDir=' "$work/config/LIR/Forecast.ini" || { echo "settings not saved"; exit 1; }
if [ -n "$signal" ]; then
    echo "SIG$signal ended the program with 0 while a message box waited"
else
    echo "message shown, journal $first -> $second, ended with 0"
fi
