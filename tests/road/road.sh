#!/bin/bash
# The user's road across restarts. The real forecast runs as one process per step, driven from
# inside by the road driver (ProgramDriver.cpp), between two program folders: the upper organisation
# A on SQLite, seeded from the fixture, and the lower organisation B, a fresh folder (on the
# PostgreSQL test cluster for "postgresql": Bastrel prepares only the one database "lir", so A stays
# on SQLite). After every process the database is dumped and compared with the dump taken after the
# process before: only what the step must change may differ, and no receiver, data row or
# exchange-journal row may go. On SQLite, B's file database is also read from outside while B shows
# and cancels each kind of file dialog.
# Arguments: sqlite|postgresql, the build's program folder, the driver library, A's fixture, the
# output folder (left for a look).
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
for p in sqlite3 xmllint pdftotext timeout; do
    command -v "$p" >/dev/null || skip "$p is not installed"
done
if [ "$dialect" = postgresql ]; then
    for p in psql pg_dump; do
        command -v "$p" >/dev/null || skip "$p is not installed"
    done
    [ -n "${PGHOST:-}" ] && [ -n "${PGPORT:-}" ] && [ -n "${PGTEST_PASSWORD:-}" ] \
        || skip "the PostgreSQL test cluster is not running (PGHOST, PGPORT, PGTEST_PASSWORD: scripts/test.sh)"
fi

rm -rf "$out"
mkdir -p "$out/runs" "$out/state"
A=$out/A
B=$out/B
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The forecast of the fixture and the files its exchange writes.
forecast=7
nsi_file=НСИ_Управление_А_Прогноз_на_2026_год.xml
forecast_file=Прогноз_Управление_А_Прогноз_на_2026_год.xml
title_A="Прогноз (Министерство тестирования)"
title_B="Прогноз (Управление А)"
# What B types into the card, by product: quantity and sum of the report year, the current year and
# the forecast year (the last as the parts typed add up).
expected="111 10 3000 0 0 12 4200
112 0 0 100 2700 50 1500
121 0 0 0 0 0 2.5"

# ---- program folders and their databases

# The runtime folders lie in a short path of their own: the program's socket name must fit into 107
# bytes.
runtime=$(mktemp -d /tmp/lir-road.XXXXXX)
trap 'rm -rf "$runtime"' EXIT
runtime_of() { echo "$runtime/$(basename "$1")"; }

# Empty folders: the program finds the files it ships beside itself.
program_folder() {
    mkdir -p "$1" "$1.config/LIR" "$(runtime_of "$1")"
    chmod 700 "$(runtime_of "$1")"
}

on_server() { [ "$dialect" = postgresql ] && [ "$1" = "$B" ]; }

# One query, one value a line.
q() {
    if on_server "$1"; then
        psql -X -A -t -q -v ON_ERROR_STOP=1 -d lir -c "$2"
    else
        sqlite3 -batch -noheader "$1/LIR.db" "$2"
    fi
}

# A money column as text with four decimals.
m() {
    if on_server "$1"; then
        echo "coalesce($2, 0)::numeric(19,4)"
    else
        echo "printf('%.4f', coalesce($2, 0) / 10000.0)"
    fi
}

# Decimal numbers written alike.
norm() { awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^-?[0-9.]+$/) $i = sprintf("%.4f", $i); print }'; }

dump_db() {
    if on_server "$1"; then
        pg_dump --data-only --no-owner -d lir | grep -v '^\\\(un\)\?restrict '
    elif [ -f "$1/LIR.db" ]; then
        sqlite3 "$1/LIR.db" .dump
    fi
}

# The rows of a dump as "table<TAB>row", sorted; a sequence counts as a row of its table. The
# planner's statistics that the program keeps (sqlite_stat1) are no rows of the data.
rows() {
    if on_server "$2"; then
        awk '/^COPY / { t = $2; sub(/^public\./, "", t); inside = 1; next }
             /^\\\.$/ { inside = 0; next }
             inside { print t "\t" $0 }
             /pg_catalog\.setval/ { s = $0; sub(/.*setval\(.public\./, "", s); sub(/_[a-z]+_seq.*/, "", s); print s "\t" $0 }' "$1"
    else
        sed -n 's/^INSERT INTO "\{0,1\}\([A-Za-z0-9_]*\)"\{0,1\} VALUES(\(.*\));$/\1\t\2/p' "$1" \
            | awk -F'\t' -v OFS='\t' '{ $1 = tolower($1); if ($1 !~ /^sqlite_/) print }'
    fi | LC_ALL=C sort
}

# Rows that changed although the step may not change their table.
unexpected_changes() { # before after home allowed
    diff <(rows "$1" "$3") <(rows "$2" "$3") | awk -F'\t' -v allowed=" $4 " '
        /^[<>] / { t = substr($1, 3); if (allowed != " * " && index(allowed, " " t " ") == 0) print }'
}

# No receiver, data row or exchange-journal row seen so far may be gone.
check_nothing_lost() { # home tag
    local kind sql now lost seen
    for kind in receivers data journal; do
        case $kind in
        receivers) sql="select id || ' ' || name from tclsreceiver" ;;
        data) sql="select prognoz || '/' || receiver || '/' || product from tfctprognozdata" ;;
        journal) sql="select id || ' ' || coalesce(comment, '') from tfctimportstatus" ;;
        esac
        seen=$out/state/$(basename "$1").$kind
        touch "$seen"
        now=$(q "$1" "$sql" 2>/dev/null | LC_ALL=C sort -u)
        lost=$(LC_ALL=C comm -23 "$seen" <(printf '%s\n' "$now" | sed '/^$/d'))
        [ -z "$lost" ] || fail "$2: $kind lost: $(echo "$lost" | head -5 | tr '\n' ';')"
        printf '%s\n' "$now" | sed '/^$/d' | LC_ALL=C sort -u -m - "$seen" >"$seen.new" && mv "$seen.new" "$seen"
    done
}

# ---- one process of the program

count=0
hook=
# run HOME NAME ALLOWED-TABLES < script: "-" checks no dump, "*" lets every table change.
run() {
    local home=$1 name=$2 allowed=$3
    count=$((count + 1))
    tag=$(printf '%02d-%s-%s' "$count" "$(basename "$home")" "$name")
    local script=$out/runs/$tag.script log=$out/runs/$tag.log err=$out/runs/$tag.err
    cat >"$script"
    sync=$out/runs/$tag.sync
    mkdir -p "$sync"
    local before=$out/runs/$tag.before.sql after=$out/runs/$tag.after.sql
    [ "$allowed" = - ] || dump_db "$home" >"$before"
    local started=$SECONDS
    LIR_HOME=$home/ XDG_CONFIG_HOME=$home.config XDG_RUNTIME_DIR=$(runtime_of "$home") LIR_MSGBOX=${answer:-yes} \
        QT_QPA_PLATFORM=offscreen ROAD_SCRIPT=$script ROAD_LOG=$log ROAD_SYNC=$sync \
        timeout -k 5 90 env "${preload[@]}" "$bin/forecast" 2>"$err" &
    local pid=$!
    [ -z "$hook" ] || "$hook" "$pid"
    wait "$pid"
    local status=$?
    echo "$tag: exit $status, $((SECONDS - started)) s"
    grep '^MSGBOX' "$err" | sed 's/^/    /'
    grep '^FAIL\|^  ' "$log" 2>/dev/null | sed 's/^/    /'
    if [ "$status" -ne 0 ] || ! grep -q '^QUIT' "$log" 2>/dev/null; then
        fail "$tag: the run did not end as the script says (exit $status; $log, $err)"
        tail -n 5 "$err" | sed 's/^/    /'
    fi
    [ "$allowed" != - ] || return 0
    dump_db "$home" >"$after"
    local changed
    changed=$(unexpected_changes "$before" "$after" "$home" "$allowed")
    if [ -n "$changed" ]; then
        fail "$tag: the database changed beyond ${allowed:-nothing} ($(echo "$changed" | wc -l) rows):"
        echo "$changed" | head -n 12 | sed 's/^/    /'
    fi
    check_nothing_lost "$home" "$tag"
}

titles() { sed -n 's/^TITLE //p' "$out/runs/$tag.log" 2>/dev/null; }
check_titles() { # expected [first]
    local t
    while IFS= read -r t; do
        [ "$t" = "$1" ] || fail "$tag: the main window's title is '$t', not '$1'"
    done < <(if [ "${2:-}" = last ]; then titles | tail -n 1; else titles; fi)
    [ -n "$(titles)" ] || fail "$tag: no title logged"
}
shown() { grep -q "^MSGBOX [0-9]* $1" "$out/runs/$tag.err"; }

# The figures of a forecast's rows of B's receiver, one product a line as in $expected.
stored_figures() { # home receiver
    local cols="" c
    for c in valueLast sumLast valueCurr sumCurr valueNext sumNext; do
        cols="$cols || ' ' || $(m "$1" "$c")"
    done
    q "$1" "select product $cols from tfctprognozdata where prognoz = $forecast and receiver = $2
            and product in (111, 112, 121) order by product" | norm
}

# The program makes the folder its step writes into; when it did not, the user makes it and tries
# again.
made_by_program() { # folder step
    [ -d "$1" ] && return 0
    fail "$tag: the program did not make the folder $1"
    mkdir -p "$1"
    "$2"
}

# Runs a step that writes a document into the export folder, and judges the document by its schema.
exported() { # step folder file schema
    "$1"
    made_by_program "$2" "$1"
    [ -f "$2/$3" ] || { fail "$tag: no $2/$3"; return 1; }
    local lint
    lint=$(xmllint --noout --nonet --schema "$bin/$4" "$2/$3" 2>&1) || fail "$2/$3 does not pass $4: $lint"
}

# Form Ф1 over Управление А, from its dialog to the PDF: the report database and the page hold the
# figures B typed.
form1() { # home
    rm -f "$1/form1.pdf"
    run "$1" form1 "" <<EOF
title
command 32805
click id1060
receiver Управление А
text id1059
click id1
action reportPreview | export
file $1/form1.pdf
action reportPreview | closePreview
click id2
idle
quit
EOF
    sed -n 's/^TEXT //p' "$out/runs/$tag.log" | sed 's/^/    /'
    [ -f "$1/LIRR.db" ] || { fail "$tag: the program made no $1/LIRR.db"; return; }
    local report shown
    report=$(sqlite3 -batch -separator ' ' "$1/LIRR.db" "select case code when '01.1' then 111 when '01.2' then 112
        when '02.1' then 121 end, valueLast / 1e4, sumLast / 1e4, valueCurr / 1e4, sumCurr / 1e4, valueNext / 1e4,
        sumNext / 1e4 from reportform1 where report = (select max(report) from reportform1)
        and code in ('01.1', '01.2', '02.1') order by code" | norm)
    [ "$report" = "$(echo "$expected" | norm)" ] || fail "$tag: form Ф1 in LIRR.db holds other figures: $(echo "$report" | tr '\n' ';')"
    if [ -f "$1/form1.pdf" ]; then
        pdftotext -layout "$1/form1.pdf" "$1/form1.txt"
        # Quantities (none for a product without a natural unit), then sums, as the page shows them.
        while IFS='|' read -r name figures; do
            shown=$(grep -m1 -- "$name" "$1/form1.txt" | awk '{ s = ""; for (i = 1; i <= NF; ++i) if ($i ~ /^[0-9]+(,[0-9]+)?$/) s = s " " $i; print substr(s, 2) }')
            [ "$shown" = "$figures" ] || fail "$tag: form Ф1's PDF shows '$shown' for $name, not '$figures'"
        done <<'FIGURES'
Бумага офисная|10 0 12 3000 0 4200
Ручка шариковая|0 100 50 0 2700 1500
Связь|0 0 2,5
FIGURES
    else
        fail "$tag: no PDF of form Ф1 was written"
    fi
}

# ---- the road

program_folder "$A"
program_folder "$B"
cp "$bin/LIR.db.tmpl" "$A/LIR.db"
chmod 600 "$A/LIR.db"
sqlite3 -bail "$A/LIR.db" <"$fixture" || { echo "the fixture does not load"; exit 1; }

if [ "$dialect" = postgresql ]; then
    # The cluster's administrator login "lir_admin" is shared with the preparation tests.
    coproc PGLOCK { PGAPPNAME=lir-road psql -X -q -d postgres >/dev/null; }
    echo "select pg_advisory_lock(4711028);" >&"${PGLOCK[1]}"
    for _ in $(seq 600); do
        [ "$(psql -X -A -t -d postgres -c "select count(*) from pg_locks l join pg_stat_activity a using (pid)
            where l.locktype = 'advisory' and l.objid = 4711028 and l.granted and a.application_name = 'lir-road'")" = 1 ] && break
        sleep 0.1
    done
    # Logins belong to the cluster, not to the database: the expert of an earlier run goes with it.
    drop_lir() {
        psql -X -q -d postgres -c "drop database if exists lir with (force)" -c "drop role if exists road_expert" \
            -c "drop role if exists road_user" -c "drop role if exists road_user2" >/dev/null 2>&1
    }
    trap 'rm -rf "$runtime"; drop_lir; echo "\\q" >&"${PGLOCK[1]}" 2>/dev/null' EXIT
    drop_lir
    PGUSER=postgres PGPASSWORD=$PGTEST_PASSWORD LIR_MSGBOX=yes "$bin/Bastrel" "DBPATH=127.0.0.1&BASETYPE=SERVER" \
        >"$out/bastrel.out" 2>&1 || { cat "$out/bastrel.out"; echo "Bastrel did not prepare the database"; exit 1; }
    # The default administrator alone on the new database: the first step needs the expert's role,
    # and the window says so and where roles are given; nothing is granted by itself.
    printf '[Settings]\nDataBase\\Sql=1\nDataBase\\HostName=127.0.0.1\nDataBase\\Port=%s\nDataBase\\DbName=lir\nDataBase\\UserName=lir_admin\nDataBase\\Password=tarno\nDataBase\\SavePass=1\n' \
        "$PGPORT" >"$B.config/LIR/Forecast.ini"
    run "$B" admin-first-start "tclsimporteventtype" <<EOF
text firstStep
tip 32808
quit
EOF
    grep -q 'нужна роль «Ведущий специалист», а у пользователя «lir_admin» ее нет. Назначьте эту роль себе или другому пользователю командой "Прогноз > Администрирование..."' \
        "$out/runs/$tag.log" || fail "$tag: the window does not say what the first step needs: $(grep -A3 '^TEXT' "$out/runs/$tag.log")"
    grep -q '^TIP 32808 Команда недоступна: нужна роль «Ведущий специалист».$' "$out/runs/$tag.log" \
        || fail "$tag: \"Получение НСИ...\" does not say why it is disabled: $(grep '^TIP' "$out/runs/$tag.log")"
    [ "$(q "$B" "select string_agg(g.rolname, ',' order by g.rolname) from pg_auth_members m join pg_roles g on g.oid = m.roleid
                 join pg_roles u on u.oid = m.member where u.rolname = 'lir_admin'")" = lir_admins ] \
        || fail "$tag: lir_admin's groups changed"
    # B's user is an expert, made by the default administrator with the server's own procedure (the one
    # "Администрирование..." runs): the administrator alone may not take reference data in.
    PGPASSWORD=tarno psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -U lir_admin -d lir \
        -c "select lir_user_save('road_expert', 'road-pass', 2)" >/dev/null || { echo "no expert login"; exit 1; }
    printf '[Settings]\nDataBase\\Sql=1\nDataBase\\HostName=127.0.0.1\nDataBase\\Port=%s\nDataBase\\DbName=lir\nDataBase\\UserName=road_expert\nDataBase\\Password=road-pass\nDataBase\\SavePass=1\n' \
        "$PGPORT" >"$B.config/LIR/Forecast.ini"
fi

# The program's first start on the database the fixture wrote seeds the kinds of exchange events.
run "$A" first-start "tclsimporteventtype" <<EOF
title
quit
EOF
check_titles "$title_A"

# 1. A sends its reference data to B over the file transport into its default export folder.
a_sends_nsi() {
    run "$A" nsi-send "tfctimportstatus" <<EOF
title
command 32807
receiver Управление А
log-window
quit
EOF
    check_titles "$title_A"
}
exported a_sends_nsi "$A/Export" "$nsi_file" lir.xsd
nsi=$A/Export/$nsi_file

# 2. B, a fresh folder, takes it in through the open-file dialog.
run "$B" nsi-receive "*" <<EOF
title
command 32808
file $nsi
idle
title
quit
EOF
check_titles "$title_B" last
own=$(q "$B" "select id from tclsreceiver where name = 'Управление А'")
own=${own:-0}
shown "НСИ успешно загружен!" || fail "$tag: B did not report the reference data loaded"
if on_server "$B"; then
    [ ! -e "$B/LIR.db" ] || fail "$tag: B works on the server and still made $B/LIR.db"
else
    [ -f "$B/LIR.db" ] || fail "$tag: B made no LIR.db from its template"
fi
for sql in "select id || ' ' || parent || ' ' || name || ' ' || coalesce(code, '') from tclsproduct where prognoz = $forecast order by id" \
    "select count(*) from tclsmeasurement" "select name || ' ' || year || ' ' || status from tfctprognoz"; do
    [ "$(q "$B" "$sql")" = "$(q "$A" "$sql")" ] || fail "$tag: B's reference data differ from A's: $sql"
done
[ "$(q "$B" "select product || ' ' || $(m "$B" priceNext) from tfctprice where prognoz = $forecast order by product" | norm)" \
    = "$(q "$A" "select product || ' ' || $(m "$A" priceNext) from tfctprice where prognoz = $forecast order by product" | norm)" ] \
    || fail "$tag: B's prices differ from A's"
[ "$(q "$B" "select name || ' ' || importedId from tclsreceiver order by name")" \
    = "$(printf 'Министерство тестирования 21\nУправление А 34')" ] \
    || fail "$tag: B's receivers: $(q "$B" "select name || ' ' || importedId || ' ' || category from tclsreceiver" | tr '\n' ';')"

# 3. B restarts; enters its figures in the editor; restarts again.
run "$B" restart "" <<EOF
title
quit
EOF
check_titles "$title_B"

run "$B" entry "tfctprognozdata" <<EOF
title
tab Прогноз
text id1104
tree Продукция | [01]Канцелярские товары
list 0
card 2 | 2 | 10
card 3 | 2 | 3000
card 2 | 5 | 12
card 3 | 5 | 4200
list 1
card 2 | 3 | 100
card 3 | 3 | 2700
card 2 | 7 | 50
card 3 | 7 | 1500
tree Продукция | [02]Услуги
list 0
card 3 | 6 | 2,5
quit
EOF
check_titles "$title_B"
grep -q '^TEXT id1104 Управление А$' "$out/runs/$tag.log" || fail "$tag: the editor does not show Управление А: $(grep '^TEXT' "$out/runs/$tag.log")"
[ "$(stored_figures "$B" "$own")" = "$(echo "$expected" | norm)" ] \
    || fail "$tag: B stored other figures than typed: $(stored_figures "$B" "$own" | tr '\n' ';')"

run "$B" restart "" <<EOF
title
quit
EOF
check_titles "$title_B"

# B's folder held nothing at its first start: its Ф1 comes of the files beside the program, and
# of those the program copies only the empty report database.
form1 "$B"
for f in LIR.db.tmpl lir.xsd reportdef.xsd Form1.rpt transport; do
    [ ! -e "$B/$f" ] || fail "$tag: the program copied $f into $B"
done

# 4. B checks, consolidates and sends its forecast up, into its default export folder.
b_sends_forecast() {
    run "$B" check-and-send "tfcttotalprognoz tfctimportstatus" <<EOF
title
tab Прогноз
command 32821
log-window
command 32811
log-window
command 32794
log-window
quit
EOF
    check_titles "$title_B"
}
sent=$B/Export/$forecast_file
if exported b_sends_forecast "$B/Export" "$forecast_file" forecast.xsd; then
    attr() { xmllint --nonet --xpath "string(/forecast/@$1)" "$sent"; }
    [ "$(attr from)" = 34 ] && [ "$(attr to)" = 21 ] \
        || fail "$sent: from $(attr from) and to $(attr to) instead of B's receiver as A knows it (34) and A's own (21)"
    doc=$(for p in 111 112 121; do
        echo "$p $(for c in valuelast sumlast valuecurr sumcurr valuenext sumnext; do
            xmllint --nonet --xpath "string(/forecast/prognozdata[product=$p]/$c)" "$sent"
            echo
        done | tr '\n' ' ')"
    done | norm)
    [ "$doc" = "$(echo "$expected" | norm)" ] || fail "$sent holds other figures than B typed: $(echo "$doc" | tr '\n' ';')"
fi

# 5. A takes B's forecast in, restarts and builds form Ф1 over its own receiver.
if [ -f "$sent" ]; then
    run "$A" forecast-receive "tfctprognozdata tfctimportstatus tclsreceivermap" <<EOF
title
command 32796
file $sent
idle
quit
EOF
    check_titles "$title_A"
    [ "$(stored_figures "$A" 34)" = "$(echo "$expected" | norm)" ] \
        || fail "$tag: A stored other figures for Управление А: $(stored_figures "$A" 34 | tr '\n' ';')"
fi

# 5a. The same sender's forecast again, now of paper alone: "Нет" keeps what A holds; "Да" leaves A
# with exactly the rows of the new document for that sender.
if [ -f "$sent" ]; then
    again=$out/again/$forecast_file
    mkdir -p "$out/again"
    python3 - "$sent" "$again" <<'PY'
import sys
import xml.etree.ElementTree as ET
tree = ET.parse(sys.argv[1])
root = tree.getroot()
for row in list(root):
    if row.tag == "prognozdata" and row.findtext("product") not in ("111", "110", "100"):
        root.remove(row)
tree.write(sys.argv[2], encoding="UTF-8", xml_declaration=True)
PY
    xmllint --nonet --noout --schema "$bin/forecast.xsd" "$again" 2>/dev/null || fail "the shortened forecast is not valid"
    rows_of_b() { q "$A" "select product from tfctprognozdata where prognoz = $forecast and receiver = 34 order by product" | tr '\n' ' '; }
    held=$(rows_of_b)
    answer=no run "$A" forecast-again-no "" <<EOF
command 32796
file $again
idle
quit
EOF
    said_in() { grep -q -- "$1" "$out/runs/$tag.err"; }
    said_in "уже находятся в базе данных и в ходе загрузки будут уничтожены." || fail "$tag: no warning of the stored rows"
    [ "$(rows_of_b)" = "$held" ] || fail "$tag: \"Нет\" changed A's rows of Управление А: $(rows_of_b)"
    # The rows that "Да" replaces are meant to go.
    sed -i "\\#^$forecast/34/#d" "$out/state/$(basename "$A").data"
    run "$A" forecast-again-yes "tfctprognozdata tfctimportstatus tclsreceivermap tfctopjournal" <<EOF
command 32796
file $again
idle
quit
EOF
    [ "$(rows_of_b)" = "100 110 111 " ] || fail "$tag: A holds other rows of Управление А than the document: $(rows_of_b)"
    # Form Ф1 below shows the first document's figures: it comes back.
    run "$A" forecast-receive-again "tfctprognozdata tfctimportstatus tclsreceivermap tfctopjournal" <<EOF
command 32796
file $sent
idle
quit
EOF
    [ "$(stored_figures "$A" 34)" = "$(echo "$expected" | norm)" ] \
        || fail "$tag: A stored other figures for Управление А: $(stored_figures "$A" 34 | tr '\n' ';')"
fi

run "$A" restart "" <<EOF
title
quit
EOF
check_titles "$title_A"

form1 "$A"

# ---- a plain user of B's server database

# B's expert has subordinate receivers: a group with two sites and a store. A user (role bit 4) with a
# right on the first site sees only it and the groups above it, enters its figures, and the group's
# rows take the other site's figures too; on the server it can change nothing else.
if [ "$dialect" = postgresql ]; then
    psql -X -q -v ON_ERROR_STOP=1 -d lir <<EOF >/dev/null || fail "the user's receivers could not be made"
insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) values
    (901, $own, 'Отдел снабжения', 1, 0, 1, 1), (902, 901, 'Участок 1', 1, 0, 1, 0),
    (903, 901, 'Участок 2', 2, 0, 1, 0), (904, $own, 'Склад', 2, 0, 1, 0);
insert into tclsreceivermap (prognoz, receiver) select $forecast, id from tclsreceiver where id between 901 and 904;
insert into tfctprognozdata (prognoz, product, receiver, valueLast, sumLast) values ($forecast, 111, 903, 5, 500);
EOF
    PGPASSWORD=tarno psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -U lir_admin -d lir \
        -c "select lir_user_save('road_user', 'user-pass', 4)" \
        -c "insert into v_UserRights (UID, ForecastID, ReceiverID) values ('road_user', $forecast, 902)" >/dev/null \
        || fail "the administrator could not make the user"
    own_figures=$(stored_figures "$B" "$own")
    cp "$B.config/LIR/Forecast.ini" "$out/state/expert.ini"
    sed -i 's/^DataBase\\UserName=.*/DataBase\\UserName=road_user/; s/^DataBase\\Password=.*/DataBase\\Password=user-pass/' \
        "$B.config/LIR/Forecast.ini"
    run "$B" user-entry "tfctprognozdata tclsimporteventtype" <<EOF
title
tab Справочники
items CDirectoryTreeView
items CReportView
tab Прогноз
text id1104
click id1103
items CTreeCtrlX
receiver Участок 1
tree Продукция | [01]Канцелярские товары
list 0
card 2 | 2 | 7
card 3 | 2 | 700
quit
EOF
    cp "$out/state/expert.ini" "$B.config/LIR/Forecast.ini"
    items=$(sed -n 's/^ITEM //p' "$out/runs/$tag.log" | tr '\n' ';')
    [ "$items" = "CDirectoryTreeView 0 Управление А;CDirectoryTreeView 1 Отдел снабжения;CReportView 0 Отдел снабжения;CTreeCtrlX 0 Управление А;CTreeCtrlX 1 Отдел снабжения;CTreeCtrlX 2 Участок 1;" ] \
        || fail "$tag: the user's receiver lists hold more than its site and the groups above it: $items"
    grep -q '^TEXT id1104 Участок 1$' "$out/runs/$tag.log" \
        || fail "$tag: the editor does not open on the user's site: $(grep '^TEXT' "$out/runs/$tag.log")"
    figures() { q "$B" "select receiver || ' ' || $(m "$B" valueLast) || ' ' || $(m "$B" sumLast) from tfctprognozdata
                         where prognoz = $forecast and receiver in (901, 902) and product = $1 order by receiver" | norm | tr '\n' ';'; }
    [ "$(figures 111)" = "$(printf '901 12 1200\n902 7 700\n' | norm | tr '\n' ';')" ] \
        || fail "$tag: the site's figures and the group's sums of both sites: $(figures 111)"
    group=$(q "$B" "select parent from tclsproduct where prognoz = $forecast and id = 111")
    [ "$(figures "$group")" = "$(printf '901 0 700\n902 0 700\n' | norm | tr '\n' ';')" ] \
        || fail "$tag: the product group's rows of the site and of its group: $(figures "$group")"
    [ "$(stored_figures "$B" "$own")" = "$own_figures" ] || fail "$tag: the user changed the own receiver's figures"
    # What the program does not offer the user, the server refuses it as well.
    while IFS='|' read -r want sql; do
        got=$(PGPASSWORD=user-pass psql -X -A -t -q -h 127.0.0.1 -U road_user -d lir -c "$sql" 2>&1)
        case $want in
        denied) grep -q 'permission denied' <<<"$got" || fail "$tag: the user may: $sql ($got)" ;;
        *) [ "$got" = "$want" ] || fail "$tag: the user: $sql gives '$got', not '$want'" ;;
        esac
    done <<EOF
0|with w as (update tfctprognozdata set sumLast = 1 where receiver = 903 returning 1) select count(*) from w
denied|delete from tfctprognozdata where receiver = 902
denied|update tfctprognoz set status = 2
denied|update tsysdbversion set n = 35
denied|delete from tfctopjournal
denied|update tclsreceiver set email = 'x@y' where id = 903
EOF
fi

# ---- two copies of the program at once on B's server database

if [ "$dialect" = postgresql ]; then
    # A session that keeps what it took until told to commit: its statements come through a pipe.
    hold() { # the client's command line
        rm -f "$out/state/hold"
        mkfifo "$out/state/hold"
        "$@" <"$out/state/hold" >"$out/state/hold.out" 2>&1 &
        held=$!
        exec 7>"$out/state/hold"
    }
    # Once `count` sessions of the database wait for a lock, the held session commits and ends.
    release() { # count
        local n=0
        for _ in $(seq 300); do
            n=$(q "$B" "select count(*) from pg_stat_activity where datname = 'lir' and wait_event_type = 'Lock'")
            [ "$n" -ge "$1" ] && break
            sleep 0.1
        done
        [ "$n" -ge "$1" ] || fail "$tag: $n sessions waited for the held rows, not $1"
        { echo "commit;" >&7; } 2>/dev/null
        exec 7>&-
        wait "$held" || fail "$tag: the held session failed: $(cat "$out/state/hold.out")"
    }
    # run's hooks: the release beside the program, and a second copy of the program with the same script.
    release_beside() { release "$waiting"; }
    second_copy() {
        local log2=${script%.script}.second.log err2=${script%.script}.second.err status
        LIR_HOME=$B/ XDG_CONFIG_HOME=$B.config XDG_RUNTIME_DIR=$(runtime_of "$B") LIR_MSGBOX=yes \
            QT_QPA_PLATFORM=offscreen ROAD_SCRIPT=$script ROAD_LOG=$log2 ROAD_SYNC=$sync \
            timeout -k 5 90 env "${preload[@]}" "$bin/forecast" 2>"$err2" &
        local second=$!
        release "$waiting"
        wait "$second"
        status=$?
        if [ "$status" -ne 0 ] || ! grep -q '^QUIT' "$log2" 2>/dev/null; then
            fail "$tag: the second copy did not end as the script says (exit $status; $log2, $err2)"
        fi
    }
    # The consolidated rows that differ from the sums of the data rows of the receivers that count.
    wrong_totals() {
        local c sums="" differs="false"
        for c in sumLast sumCurr sumNext valueLast valueCurr valueNext valueNorm valueIndex valuePlan valueFormula \
            valueOther sumNorm sumIndex sumPlan sumFormula sumOther; do
            sums="$sums, coalesce(sum(d.$c), 0) as $c"
            differs="$differs or coalesce(t.$c, 0) <> coalesce(s.$c, 0)"
        done
        q "$B" "select coalesce(t.product, s.product) from (select d.product $sums from tfctprognozdata d
                join tclsreceiver r on r.id = d.receiver join tclsreceivermap m on m.prognoz = d.prognoz
                and m.receiver = d.receiver where d.prognoz = $forecast and (r.isgroup = 0 or r.category = 0)
                group by d.product) s full join (select * from tfcttotalprognoz where prognoz = $forecast) t
                on t.product = s.product where t.id is null or $differs order by 1" | tr '\n' ' '
    }

    # Two experts consolidate the forecast at the same moment: every consolidated row is summed once. A
    # session holds the consolidated rows until both copies are under way, so that they meet.
    hold psql -X -q -v ON_ERROR_STOP=1 -d lir
    echo "begin; select id from tfcttotalprognoz where prognoz = $forecast for update;" >&7
    hook=second_copy waiting=2
    run "$B" two-consolidations "tfcttotalprognoz" <<EOF
title
tab Прогноз
command 32811
log-window
quit
EOF
    hook=
    [ -z "$(wrong_totals)" ] || fail "$tag: consolidated rows that are not the sums of the data: $(wrong_totals)"

    # A user types into its site while another user's session has entered a figure of the other site and
    # summed the group above, not yet committed: the group's rows hold both sites once both are stored.
    PGPASSWORD=tarno psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -U lir_admin -d lir \
        -c "select lir_user_save('road_user2', 'user2-pass', 4)" \
        -c "insert into v_UserRights (UID, ForecastID, ReceiverID) values ('road_user2', $forecast, 903)" >/dev/null \
        || fail "the administrator could not make the second user"
    above=$(q "$B" "with recursive up (id) as (select parent from tclsproduct where prognoz = $forecast and id = 111
                    union select p.parent from tclsproduct p join up on p.id = up.id where p.prognoz = $forecast)
                    select string_agg(id::text, ',') from up where id > 0")
    hold env PGPASSWORD=user2-pass psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -U road_user2 -d lir
    echo "begin; update tfctprognozdata set valueLast = 9, sumLast = 900 where prognoz = $forecast and receiver = 903
          and product = 111; select count(*) from lir_recalc_receiver_groups($forecast, 903, array[111, $above]);" >&7
    cp "$B.config/LIR/Forecast.ini" "$out/state/expert.ini"
    sed -i 's/^DataBase\\UserName=.*/DataBase\\UserName=road_user/; s/^DataBase\\Password=.*/DataBase\\Password=user-pass/' \
        "$B.config/LIR/Forecast.ini"
    hook=release_beside waiting=1
    run "$B" sibling-entry "tfctprognozdata tclsimporteventtype" <<EOF
title
tab Прогноз
tree Продукция | [01]Канцелярские товары
list 0
card 3 | 2 | 800
quit
EOF
    hook=
    cp "$out/state/expert.ini" "$B.config/LIR/Forecast.ini"
    wrong=$(q "$B" "select d.product from tfctprognozdata d where d.prognoz = $forecast and d.receiver = 901 and
                    (coalesce(d.sumLast, 0), coalesce(d.valueLast, 0)) <> (select coalesce(sum(m.sumLast), 0),
                    coalesce(sum(m.valueLast), 0) from tfctprognozdata m join tclsreceiver r on r.id = m.receiver
                    where r.category = 901 and m.prognoz = d.prognoz and m.product = d.product)" | tr '\n' ' ')
    [ -z "$wrong" ] || fail "$tag: the group's rows that are not the sums of its sites: $wrong"
    [ "$(figures 111)" = "$(printf '901 16 1700\n902 7 800\n' | norm | tr '\n' ';')" ] \
        || fail "$tag: the sites' figures and the group's sums of both: $(figures 111)"
fi

# ---- the file dialogs against B's file database

# SQLite's locks of the process on LIR.db and LIR.db-shm, by the files' inodes.
locks() { # pid
    awk -v pid="$1" -v db="$ino_db" -v shm="$ino_shm" '
        { for (i = 1; i < NF; ++i) if ($i == pid) { n = split($(i + 1), d, ":"); if (d[n] == db || d[n] == shm) c++; break } }
        END { print c + 0 }' /proc/locks
}

# Waits for the driver's hand-over; false when the program has gone.
handed() { # bgpid name
    for _ in $(seq 300); do
        [ -f "$sync/$2" ] && return 0
        kill -0 "$1" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
go() { touch "$sync/$1.go"; }

dialog_hook() {
    local bg=$1 pid base n v
    handed "$bg" ready || { fail "$tag: the program did not come up"; return; }
    pid=$(cat "$sync/ready")
    ino_db=$(stat -c %i "$dir/LIR.db")
    ino_shm=$(stat -c %i "$dir/LIR.db-shm" 2>/dev/null)
    base=$(locks "$pid")
    [ "$base" -gt 0 ] && [ -e "$dir/LIR.db-wal" ] || fail "$tag: before the dialog: $base locks, LIR.db-wal $([ -e "$dir/LIR.db-wal" ] || echo missing)"
    echo "    $kind: $base locks on LIR.db and LIR.db-shm before the dialog"
    go ready
    for phase in shown cancelled; do
        handed "$bg" "$kind-$phase" || { fail "$tag: no hand-over $kind-$phase"; return; }
        n=$(locks "$pid")
        [ "$n" -ge "$base" ] || fail "$tag: $n locks on LIR.db and LIR.db-shm while the $kind dialog is $phase, $base before:
$(grep " $pid " /proc/locks | sed 's/^/      /')"
        go "$kind-$phase"
    done
    handed "$bg" outside || { fail "$tag: no hand-over outside"; return; }
    # A query that reads the file: "select 1" alone would never open it.
    sqlite3 "$dir/LIR.db" 'select 1 from sqlite_master limit 1' >/dev/null
    [ -e "$dir/LIR.db-wal" ] || fail "$tag: an outside select after the $kind dialog removed LIR.db-wal of the running program"
    go outside
    handed "$bg" edited || { fail "$tag: no hand-over edited"; return; }
    v=$(q "$dir" "select $(m "$dir" valueCurr) from tfctprognozdata where receiver = $own and product = 111" | norm)
    [ "$v" = "$(echo "$value" | norm)" ] || fail "$tag: sqlite3 reads $v for the figure typed after the $kind dialog, not $value"
    v=$(sqlite3 "$dir/LIR.db" 'pragma integrity_check' 2>&1)
    [ "$v" = ok ] || fail "$tag: integrity_check while B runs: $v"
    go edited
}

if [ "$dialect" = sqlite ]; then
    hook=dialog_hook
    value=0
    while read -r kind opener; do
        value=$((value + 7))
        dir=$out/dialogs/$kind
        mkdir -p "$out/dialogs"
        cp -a "$B" "$dir"
        cp -a "$B.config" "$dir.config"
        mkdir -m 700 "$(runtime_of "$dir")"
        sed -i "s#$B/#$dir/#g; s#$B\$#$dir#g" "$dir.config/LIR/Forecast.ini"
        run "$dir" "$kind" - <<EOF
sync ready
$(echo "$opener" | tr ';' '\n')
file-hold $dir | $kind
$([ "$kind" = save ] || [ "$kind" = folder ] && echo 'click id2')
idle
sync outside
tab Прогноз
tree Продукция | [01]Канцелярские товары
list 0
card 2 | 3 | $value
sync edited
quit
EOF
        v=$(q "$dir" "select $(m "$dir" valueCurr) from tfctprognozdata where receiver = $own and product = 111" | norm)
        [ "$v" = "$(echo "$value" | norm)" ] || fail "$tag: after the end sqlite3 reads $v for the figure typed, not $value"
        v=$(sqlite3 "$dir/LIR.db" 'pragma integrity_check' 2>&1)
        [ "$v" = ok ] || fail "$tag: integrity_check after the end: $v"
    done <<'EOF'
open command 32808
several command 32796
save command 32890;click id1037
folder command 32868;click id1021
EOF
    hook=
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures checks failed; the program folders are in $out"
    exit 1
fi
echo "the road holds; the program folders are in $out"
