#!/bin/bash
# The real forecast, driven by the road driver (ProgramDriver.cpp), while another program holds a lock
# it needs: the wait shows (at start-up on the splash window, later in the status bar); Escape ends
# it with the message (at start-up it ends the start, as the splash window's close box does); a close
# request or SIGTERM during it ends the program as a normal close does (exit status 0, settings written
# back, no main window at start-up), and nothing of the operation is stored. SQLite: the start-up and
# an import wait for another program's write lock. PostgreSQL: the start-up and the forecast list wait
# for a table lock of a psql session. SQLite also ends the program by a signal while it saves a large
# report as PDF.
# Arguments: sqlite|postgresql, the build's program folder, the driver library, the upper
# organisation's fixture, the output folder (left for a look).
set -u
dialect=$1
bin=$2
driver=$3
fixture=$4
out=$(realpath -m "$5")
# The driver comes ahead of the program's own libraries; built with the address checks, their runtime
# must be told not to refuse a library loaded before it.
preload=(LD_PRELOAD="$driver" ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")

skip() {
    echo "SKIP: $*"
    exit 77
}
for p in sqlite3 timeout; do
    command -v "$p" >/dev/null || skip "$p is not installed"
done
if [ "$dialect" = postgresql ]; then
    command -v psql >/dev/null || skip "psql is not installed"
    [ -n "${PGHOST:-}" ] && [ -n "${PGPORT:-}" ] && [ -n "${PGTEST_PASSWORD:-}" ] \
        || skip "the PostgreSQL test cluster is not running (PGHOST, PGPORT, PGTEST_PASSWORD: scripts/test.sh)"
fi

rm -rf "$out"
mkdir -p "$out"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
wait_text="Ожидание: база данных занята другой программой..."
retry_text="Операция не выполнена, повторите ее позже."

# The program's socket name must fit into 107 bytes: the runtime folders lie in a short path.
runtime=$(mktemp -d /tmp/lir-waits.XXXXXX)
db=lir_waits_$$
cleanup() {
    rm -rf "$runtime"
    [ "$dialect" != postgresql ] || psql -X -q -d postgres -c "drop database if exists $db with (force)" >/dev/null 2>&1
}
trap cleanup EXIT

program_folder() {
    mkdir -p "$1" "$1.config/LIR" "$runtime/$(basename "$1")"
    chmod 700 "$runtime/$(basename "$1")"
    cp "$bin/LIR.db.tmpl" "$bin/LIRR.db" "$bin"/*.xsd "$bin"/*.rpt "$1/"
}
ini() { echo "$1.config/LIR/Forecast.ini"; }

# start HOME TAG ON-WAIT < script: the program in the background ($pid, $tag).
start() {
    tag=$2
    cat >"$out/$tag.script"
    mkdir -p "$out/$tag.sync" "$out/$tag.tmp"
    TMPDIR=$out/$tag.tmp LIR_HOME=$1/ XDG_CONFIG_HOME=$1.config XDG_RUNTIME_DIR=$runtime/$(basename "$1") LIR_MSGBOX=yes \
        QT_QPA_PLATFORM=offscreen ROAD_SCRIPT=$out/$tag.script ROAD_LOG=$out/$tag.log ROAD_SYNC=$out/$tag.sync \
        ROAD_ON_WAIT=$3 ROAD_STEP_TIMEOUT=${ROAD_STEP_TIMEOUT:-20} timeout -k 5 "${RUN_TIMEOUT:-90}" \
        env "${preload[@]}" "$bin/forecast" 2>"$out/$tag.err" &
    pid=$!
}

# Waits up to 30 s for the program's first WAIT line (or the sync marker NAME with sync); false when
# the program has gone first.
await() { # WAIT | sync NAME
    local _
    for _ in $(seq 300); do
        if [ "$1" = sync ]; then
            [ -f "$out/$tag.sync/$2" ] && return 0
        else
            wait_line=$(grep -m1 '^WAIT ' "$out/$tag.log" 2>/dev/null) && return 0
        fi
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# The end of the run: its exit status and how long after `since` it came.
finish() { # since
    wait "$pid"
    status=$?
    took=$((SECONDS - $1))
    echo "$tag: exit $status, $took s; $(grep -c '^WAIT ' "$out/$tag.log" 2>/dev/null) waits shown"
    grep -A3 '^MSGBOX' "$out/$tag.err" | grep -v 'propagateSizeHints' | sed 's/^/    /'
    grep '^FAIL\|^  ' "$out/$tag.log" 2>/dev/null | sed 's/^/    /'
    [ "$status" -eq 0 ] || fail "$tag: exit status $status ($out/$tag.err)"
}

# The wait was shown where it should be, with its text.
shown_on() { # status|splash
    local where text
    where=$(echo "$wait_line" | cut -d' ' -f3)
    text=$(echo "$wait_line" | cut -d' ' -f4-)
    [ "$where" = "$1" ] || fail "$tag: the wait was shown on '$where', not on '$1'"
    [ "$text" = "$wait_text" ] || fail "$tag: the wait said '$text'"
}
quit_logged() { grep -q '^QUIT' "$out/$tag.log" 2>/dev/null; }
# A message box said it (its text may run over several lines).
said() { grep -q -- "$1" "$out/$tag.err"; }
# The settings are written back by a normal close only: the import folder is among them.
forget_settings() { sed -i '/^ImportDir=/d' "$(ini "$1")"; }
settings_saved() { grep -q '^ImportDir=' "$(ini "$1")" || fail "$tag: the settings were not written back"; }

# SIGTERM once the program shows its wait: it ends at once, as a normal close, and goes no further.
terminate_during_wait() { # home status|splash
    if await WAIT; then
        shown_on "$2"
        local since=$SECONDS
        kill -TERM "$(echo "$wait_line" | cut -d' ' -f2)"
        finish "$since"
        [ "$took" -le 10 ] || fail "$tag: the program took $took s to end after SIGTERM"
        settings_saved "$1"
        ! quit_logged || fail "$tag: the program went on after SIGTERM"
    else
        fail "$tag: no wait shown"
        finish "$SECONDS"
    fi
}

# A lock of another program, held until release: a psql session (PostgreSQL) or sqlite3 (SQLite).
hold() { # statement...
    if [ "$dialect" = postgresql ]; then
        coproc HOLDER { psql -X -q -A -t -v ON_ERROR_STOP=1 -d "$db" 2>&1; }
    else
        coproc HOLDER { sqlite3 -batch "$B/LIR.db" 2>&1; }
    fi
    local s
    for s in "$@"; do
        echo "$s" >&"${HOLDER[1]}"
    done
    if [ "$dialect" = postgresql ]; then echo "select 'held';" >&"${HOLDER[1]}"; else echo ".print held" >&"${HOLDER[1]}"; fi
    local line
    read -r -t 30 line <&"${HOLDER[0]}"
    [ "$line" = held ] || fail "the other program did not take its lock: $line"
}
release() {
    echo "rollback;" >&"${HOLDER[1]}"
    if [ "$dialect" = postgresql ]; then echo '\q' >&"${HOLDER[1]}"; else echo ".quit" >&"${HOLDER[1]}"; fi
    wait "$HOLDER_PID" 2>/dev/null
}
q() {
    if [ "$dialect" = postgresql ]; then
        psql -X -A -t -q -d "$db" -c "$1"
    else
        sqlite3 -batch -noheader "$B/LIR.db" "$1"
    fi
}

# Escape on the splash window, or its close box, while the start-up waits to seed the kinds of
# exchange events: the program ends as a normal close does, without its main window, seeding nothing.
end_start_during_wait() { # home kinds-stored
    local how since
    for how in escape close; do
        forget_settings "$1"
        if [ "$dialect" = postgresql ]; then
            hold "begin;" "lock table tclsimporteventtype in access exclusive mode;"
        else
            hold "begin immediate;"
        fi
        start "$1" start-$how $how <<EOF
title
quit
EOF
        since=$SECONDS
        await WAIT && shown_on splash || fail "$tag: no wait shown"
        finish "$since"
        release
        [ "$took" -le 10 ] || fail "$tag: the program took $took s to end"
        settings_saved "$1"
        ! grep -q '^SHOWN' "$out/$tag.log" || fail "$tag: the main window came up: $(grep '^SHOWN' "$out/$tag.log")"
        ! quit_logged || fail "$tag: the program went on after the start was ended"
        [ "$(q 'select count(*) from tclsimporteventtype')" = "$2" ] || fail "$tag: kinds were seeded"
        [ "$(grep -c '^WAIT ' "$out/$tag.log") $(grep -c '^MSGBOX' "$out/$tag.err")" = "1 1" ] \
            || fail "$tag: more than the one wait and its message"
    done
}

if [ "$dialect" = postgresql ]; then
    C=$out/C
    program_folder "$C"
    psql -X -q -d postgres -c "create database $db" >/dev/null || { echo "no database $db"; exit 1; }
    sed 's/^GO$/;/' "$(dirname "$0")/../../core/sql/postgresql/schema.sql" | psql -X -q -v ON_ERROR_STOP=1 -d "$db" \
        >"$out/schema.out" 2>&1 || { cat "$out/schema.out"; echo "the schema did not load"; exit 1; }
    printf '[Settings]\nDataBase\\Sql=1\nDataBase\\HostName=127.0.0.1\nDataBase\\Port=%s\nDataBase\\DbName=%s\nDataBase\\UserName=postgres\nDataBase\\Password=%s\nDataBase\\SavePass=1\n' \
        "$PGPORT" "$db" "$PGTEST_PASSWORD" >"$(ini "$C")"

    # 1. The start-up waits on the splash window; Escape or the close box end the program.
    end_start_during_wait "$C" 0

    # 2. SIGTERM while the start-up waits ends the program at once, as a normal close.
    forget_settings "$C"
    hold "begin;" "lock table tclsimporteventtype in access exclusive mode;"
    start "$C" start-sigterm none <<EOF
title
quit
EOF
    terminate_during_wait "$C" splash
    release

    # 3. The forecast list waits in the main window; its close box ends the wait and the program.
    forget_settings "$C"
    start "$C" list-close close <<EOF
sync up
command 32792
idle
quit
EOF
    if await sync up; then
        hold "begin;" "lock table tfctprognoz in access exclusive mode;"
        touch "$out/$tag.sync/up.go"
        since=$SECONDS
        await WAIT && shown_on status || fail "$tag: no wait shown"
        finish "$since"
        [ "$took" -le 15 ] || fail "$tag: the program took $took s to end"
        settings_saved "$C"
        ! quit_logged || fail "$tag: the program went on after the close request"
        release
    else
        fail "$tag: the program did not come up"
        finish "$SECONDS"
    fi
else
    # The upper organisation sends its reference data; the lower one, on a fresh file of its own,
    # starts once, and then takes the document in while another program holds the file's write lock.
    A=$out/A
    B=$out/B
    program_folder "$A"
    program_folder "$B"
    cp "$bin/LIR.db.tmpl" "$A/LIR.db"
    cp "$bin/LIR.db.tmpl" "$B/LIR.db"
    chmod 600 "$A/LIR.db" "$B/LIR.db"
    sqlite3 -bail "$A/LIR.db" <"$fixture" || { echo "the fixture does not load"; exit 1; }
    nsi=$A/Export/НСИ_Управление_А_Прогноз_на_2026_год.xml
    start "$A" nsi-send none <<EOF
command 32807
receiver Управление А
log-window
quit
EOF
    finish "$SECONDS"
    [ -f "$nsi" ] || { echo "A wrote no reference data ($nsi)"; exit 1; }
    start "$B" first-start none <<EOF
quit
EOF
    finish "$SECONDS"

    # 1. A kind of exchange event is missing, and another program holds the write lock that the
    # start needs to seed it: Escape or the close box on the splash window end the program.
    q "delete from tclsimporteventtype where id = 5"
    end_start_during_wait "$B" 4
    # Without the other program the next start seeds it.
    start "$B" start-again none <<EOF
quit
EOF
    finish "$SECONDS"
    [ "$(q 'select count(*) from tclsimporteventtype')" = 5 ] || fail "$tag: the kinds were not seeded"

    # 4. SIGTERM while the import waits for the write lock ends the program at once, as a normal
    # close, and nothing of the document is stored.
    forget_settings "$B"
    hold "begin immediate;"
    start "$B" import-sigterm none <<EOF
command 32808
file $nsi
idle
quit
EOF
    terminate_during_wait "$B" status
    release
    [ "$(q 'select count(*) from tclsreceiver') $(q 'select count(*) from tclsproduct')" = "0 0" ] \
        || fail "$tag: the import stored rows although it was ended"
fi

# 5. An edit in the editor whose recalculation waits for another user's edit of a sibling (on SQLite
# for the file's write lock): Escape, SIGTERM and (on the server) the two-minute limit end the wait,
# and neither the typed figure nor a group row is stored; the receiver group's rows stay the sums of
# their members. Receivers: the group "Группа В" (40) below the ministry, with "Отдел В1" (41) and
# "Отдел В2" (42); the figure is the sum of "Бумага офисная" (111) for the year before last.
if [ "$dialect" = postgresql ]; then
    E=$C
    grep -v '^--' "$fixture" | psql -X -q -v ON_ERROR_STOP=1 -d "$db" >"$out/fixture.out" 2>&1 \
        || { cat "$out/fixture.out"; echo "the fixture did not load"; exit 1; }
else
    E=$out/E
    program_folder "$E"
    cp "$bin/LIR.db.tmpl" "$E/LIR.db"
    sqlite3 -bail "$E/LIR.db" <"$fixture" || { echo "the fixture does not load"; exit 1; }
    B=$E # q() reads B's file
fi
q "insert into tclsreceiver (id, category, name, email, position, importedId, type, isgroup) values
    (40, 21, 'Группа В', 'v@example.org', 3, 0, 1, 1),
    (41, 40, 'Отдел В1', 'v1@example.org', 1, 0, 1, 0),
    (42, 40, 'Отдел В2', 'v2@example.org', 2, 0, 1, 0);
insert into tclsreceivermap (prognoz, receiver, subReceiverCount) values (7, 40, 2), (7, 41, 0), (7, 42, 0);" \
    || fail "the receiver group could not be made"
edit_script() { # figure
    printf '%s\n' "tab Прогноз" "click id1103" "receiver Отдел В2" "tree Продукция | [01]Канцелярские товары" \
        "list 0" "card 3 | 2 | $1" "idle" "quit"
}
paper() { q "select sumlast from tfctprognozdata where prognoz = 7 and receiver = 42 and product = 111"; }
# Rows of the receiver group, or of a product group of 42, that are not the sums of their members.
wrong_sums() {
    q "select count(*) from tfctprognozdata g where g.prognoz = 7 and g.receiver = 40 and g.sumlast <>
         (select coalesce(sum(m.sumlast), 0) from tfctprognozdata m where m.prognoz = 7 and m.receiver in (41, 42)
          and m.product = g.product)"
    q "select count(*) from tfctprognozdata g join tclsproduct p on p.id = g.product and p.prognoz = 7
       where g.prognoz = 7 and g.receiver = 42 and p.isgroup = 1 and g.sumlast <>
         (select coalesce(sum(m.sumlast), 0) from tfctprognozdata m join tclsproduct c on c.id = m.product
          and c.prognoz = 7 where m.prognoz = 7 and m.receiver = 42 and c.parent = g.product)"
}
sums_right() { [ "$(wrong_sums | tr '\n' ' ')" = "0 0 " ] || fail "$tag: group rows are not the sums of their members"; }
sibling_edit() {
    if [ "$dialect" = postgresql ]; then
        # That user's session keeps its transaction open past the database's own limit of a minute.
        hold "set idle_in_transaction_session_timeout = 0;" "begin;" \
            "insert into tfctprognozdata (prognoz, product, receiver, sumlast) values (7, 111, 41, 5);" \
            "update tfctprognozdata set sumlast = sumlast + 5 where prognoz = 7 and receiver = 40 and product = 111;"
    else
        hold "begin immediate;" \
            "insert into tfctprognozdata (prognoz, product, receiver, sumlast) values (7, 111, 41, 50000);"
    fi
}
forget_settings "$E"
start "$E" edit-first none < <(edit_script 1000)
finish "$SECONDS"
stored=$(paper)
[ -n "$stored" ] || fail "$tag: the first edit was not stored"
sums_right

for end in escape sigterm limit; do
    [ "$end" != limit ] || [ "$dialect" = postgresql ] || continue # SQLite's limit ends the same wait
    forget_settings "$E"
    sibling_edit
    case $end in
    escape)
        start "$E" edit-escape escape < <(edit_script 5151)
        since=$SECONDS
        await WAIT && shown_on status || fail "$tag: no wait shown"
        finish "$since"
        said "Ожидание прервано." || fail "$tag: the wait ended without its message"
        said "$retry_text" || fail "$tag: the wait ended without the message"
        ;;
    sigterm)
        start "$E" edit-sigterm none < <(edit_script 5151)
        terminate_during_wait "$E" status
        ;;
    limit)
        # The program's own limit of two minutes ends the wait.
        ROAD_STEP_TIMEOUT=170 RUN_TIMEOUT=200 start "$E" edit-limit none < <(edit_script 5151)
        since=$SECONDS
        await WAIT && shown_on status || fail "$tag: no wait shown"
        finish "$since"
        [ "$took" -ge 110 ] || fail "$tag: the wait ended after $took s, before the limit"
        said "База данных занята другой программой." || fail "$tag: the limit ended the wait without its message"
        ;;
    esac
    release
    [ "$(paper)" = "$stored" ] || fail "$tag: the typed figure was stored: $(paper), not $stored"
    sums_right
done

# 6. SIGTERM while form Ф1 of some thousands of products (a few hundred pages) is saved as PDF from
# its preview (the window held meanwhile, the parts in the temporary folder) ends the program as a
# normal close and leaves neither the PDF, nor a file beside it, nor the parts.
if [ "$dialect" = sqlite ]; then
    P=$out/P
    program_folder "$P"
    cp "$bin/LIR.db.tmpl" "$P/LIR.db"
    { cat "$fixture"; echo "with recursive n(i) as (select 1 union all select i + 1 from n where i < 9000)
        insert into tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, name, position, code,
            offsetMin, offsetMax, type, isgroup) select 7, 1000 + i, 110, 1, 2, 'Товар ' || i, 2 + i, '01.' || i,
            0, 0, 1, 0 from n;
        insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext)
            select 7, id, 10000, 10000, 10000 from tclsproduct where id > 1000;"; } | sqlite3 -bail "$P/LIR.db" \
        || { echo "the products do not load"; exit 1; }
    start "$P" save-sigterm hold <<EOF
command 32805
click id1060
receiver Управление А
click id1087
click id1
action reportPreview | export
file $P/form1.pdf
quit
EOF
    if await sync wait && [ -n "$(find "$out/$tag.tmp" -path '*/lir-report-*/*')" ]; then
        kill -TERM "$pid"
        touch "$out/$tag.sync/wait.go"
        finish "$SECONDS"
        [ "$took" -le 10 ] || fail "$tag: the program took $took s to end after SIGTERM"
        settings_saved "$P"
        ! quit_logged || fail "$tag: the program went on after SIGTERM"
    else
        fail "$tag: no save with its parts in the temporary folder was shown"
        finish "$SECONDS"
    fi
    grep -q '^WAIT [0-9]* reportPreview Сохранение в PDF: страница' "$out/$tag.log" || fail "$tag: the pages were not shown"
    left=$(find "$out/$tag.tmp" "$P" -maxdepth 1 \( -name 'lir-report-*' -o -name 'form1.pdf*' \))
    [ -z "$left" ] || fail "$tag: the save left $left"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed; the program folders are in $out"
    exit 1
fi
echo "the waits hold; the program folders are in $out"
