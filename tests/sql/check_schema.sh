#!/usr/bin/env bash
# Loads both schema scripts batch by batch, cut at GO lines as the program
# cuts them, and checks keys, cascades, id rules, limits and, on PostgreSQL,
# the role functions and views.
# Exit: 0 all passed, 1 a check failed, 77 nothing failed but a part was
# skipped for a missing peer.
# The cluster: the one named by LIR_PG_ENV (an env file written by
# scripts/pg-test-cluster.sh), else the one already in the environment when
# it came from such a file, else a throw-away cluster started for this run.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
sqlite_schema=$root/core/sql/sqlite/schema.sql
pg_schema=$root/core/sql/postgresql/schema.sql
cluster=$root/scripts/pg-test-cluster.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/lir-schema.XXXXXX")
chmod 0755 "$work"
passed=0 failed=0 skipped=0
own_cluster=
pg_db=
pg_roles=()

cleanup() {
    if [ -n "$pg_db" ]; then
        psql -X -q -d postgres -c "DROP DATABASE IF EXISTS $pg_db" >/dev/null 2>&1
        psql -X -q -d postgres -c "DROP DATABASE IF EXISTS ${pg_db}_2" >/dev/null 2>&1
        for r in "${pg_roles[@]}"; do
            psql -X -q -d postgres -c "DROP ROLE IF EXISTS \"$r\"" >/dev/null 2>&1
        done
    fi
    [ -z "$own_cluster" ] || "$cluster" stop "$own_cluster" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
skip() { skipped=$((skipped + 1)); echo "SKIP: $*"; }

# expect NAME EXPECTED ACTUAL
expect() {
    if [ "$2" == "$3" ]; then pass; else
        fail "$1"; echo "  expected: $(printf '%q' "$2")"; echo "  actual:   $(printf '%q' "$3")"
    fi
}

# Cuts a script into DIR/0001.sql ... at lines holding only GO. Refuses text
# after the last GO, batches without a statement and batches that end in a
# comment (the SQLite driver refuses anything after the one statement).
split_batches() {
    mkdir -p "$2"
    awk -v out="$2" '
        function flush() {
            if (buf ~ /[^ \t\r\n]/) {
                if (!stmt) { print "batch without a statement before line " NR > "/dev/stderr"; bad = 1 }
                if (last ~ /^[ \t]*--/) { print "batch ends in a comment before line " NR > "/dev/stderr"; bad = 1 }
                n++; f = sprintf("%s/%04d.sql", out, n); printf "%s", buf > f; close(f)
            }
            buf = ""; stmt = 0
        }
        /^[ \t]*[Gg][Oo][ \t]*\r?$/ { flush(); next }
        {
            buf = buf $0 "\n"
            if ($0 ~ /[^ \t\r]/) { last = $0; if ($0 !~ /^[ \t]*--/) stmt = 1 }
        }
        END {
            if (buf ~ /[^ \t\r\n]/) { print "text after the last GO line" > "/dev/stderr"; bad = 1 }
            exit bad
        }' "$1"
}

# Shared fixture; @SID@ is the dialect's literal for the bytes "alice".
fixture_sql() {
    sed "s/@SID@/$1/g" <<'EOF'
INSERT INTO tFctPrognoz (id, name, year, status) VALUES (1, 'F1', 2024, 0);
INSERT INTO tFctPrognoz (id, name, year, status) VALUES (2, 'F2', 2024, 0);
INSERT INTO tClsMeasurement (id, name, code) VALUES (1, 'kg', '166');
INSERT INTO tClsMeasurement (id, name, code) VALUES (2, 't', '168');
INSERT INTO tClsMeasurement (id, name, code) VALUES (3, 'pc', '796');
INSERT INTO tClsMeasurement (id, name, code) VALUES (4, 'unused', '999');
INSERT INTO tClsMConvert (base, produce, koef) VALUES (1, 2, 0.001);
INSERT INTO tClsReceiver (id, category, name, importedId, isgroup) VALUES (1, 0, 'Root', 0, 1);
INSERT INTO tClsReceiver (id, category, name, importedId, isgroup) VALUES (2, 1, 'R2', 0, 0);
INSERT INTO tClsReceiver (id, category, name, importedId, isgroup) VALUES (3, 1, 'R3', 0, 0);
INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (1, 1);
INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (1, 2);
INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (1, 3);
INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (2, 1);
INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (2, 3);
INSERT INTO tClsProduct (prognoz, id, name, isgroup, measurementNatural) VALUES (1, 1, 'P1', 0, 1);
INSERT INTO tClsProduct (prognoz, id, name, isgroup, measurementNatural2) VALUES (1, 2, 'P2', 0, 3);
INSERT INTO tClsProduct (prognoz, id, name, isgroup) VALUES (2, 1, 'P1 of F2', 0);
INSERT INTO tFctPrice (prognoz, product, priceCur) VALUES (1, 1, 100);
INSERT INTO tFctPrice (prognoz, product, priceCur) VALUES (1, 2, 200);
INSERT INTO tFctPrice (prognoz, product, priceCur) VALUES (2, 1, 300);
INSERT INTO tFctPrognozData (prognoz, product, receiver, valueCurr) VALUES (1, 1, 2, 10);
INSERT INTO tFctPrognozData (prognoz, product, receiver, valueCurr) VALUES (1, 2, 3, 20);
INSERT INTO tFctPrognozData (prognoz, product, receiver, valueCurr) VALUES (2, 1, 3, 30);
INSERT INTO tFctDocumentation (id, prognoz, name) VALUES (1, 1, 'D1');
INSERT INTO tFctDocumentation (id, prognoz, name) VALUES (2, 2, 'D2');
INSERT INTO tClsImportEventType (id, name) VALUES (1, 'sent');
INSERT INTO tFctImportStatus (prognoz, receiver, event, send) VALUES (1, 2, 1, '2024-01-02 10:00:00');
INSERT INTO tFctImportStatus (prognoz, receiver, event) VALUES (1, 3, 1);
INSERT INTO tFctImportStatus (prognoz, receiver, event) VALUES (2, 3, 1);
INSERT INTO tFctTotalPrognoz (prognoz, product, valueCurr) VALUES (1, 1, 10);
INSERT INTO tFctUserRights (UserSID, ForecastID, ReceiverID) VALUES (@SID@, 1, 2);
INSERT INTO tFctMailing (id, prognoz, Subject, MailingDate) VALUES (1, 1, 'S', '2024-01-02 10:00:00');
INSERT INTO tFctMailingReceivers (MailingID, ReceiverID) VALUES (1, 2);
EOF
}

# Every table and view with its columns in order, lower-cased (PostgreSQL
# folds them); the server has two more views.
expected_columns() {
    cat <<'EOF'
tfctprognoz: name year status owner ownername id
tclsproduct: prognoz parent measurementnatural measurementprice name position comment offsetmin offsetmax type isgroup balancetitle code measurementnatural2 measurementprice2 avrep avcur avprog priceidx id
tclsreceiver: id category name email position importedid type isgroup
tclsreceivermap: prognoz receiver subreceivercount
tfctprognozdata: id prognoz product receiver sumlast sumcurr sumnext valuelast valuecurr valuenext comment base basemethod valuenorm valueindex valueplan valueformula valueother sumnorm sumindex sumplan sumformula sumother
tfcttotalprognoz: id prognoz product sumlast sumcurr sumnext valuelast valuecurr valuenext lastupdate comment base basemethod valuenorm valueindex valueplan valueformula valueother sumnorm sumindex sumplan sumformula sumother
tfctprice: id prognoz product priceprev pricecur pricenext
tclsmeasurement: name type code oboznachenie id
tclsmconvert: id base produce koef
tclsimporteventtype: id name
tfctimportstatus: id prognoz receiver send received comment envelope event
tfctdocumentation: prognoz name position filename id
tfctmailing: id prognoz subject text mailingdate
tfctmailingreceivers: id mailingid receiverid
tfctopjournal: id userid date text type
tfctuserrights: id usersid forecastid receiverid
tfctoldimportmap: entity oldid newid
tsysdbversion: n created
tsvcidentifiers: id
tfctfaq: id askperson askdate question answerdate answer private
tfctnews: id created title text published
v_systemuser: id userid userroles userpassword sid
v_userrights: id usersid forecastid receiverid userid uid
EOF
    [ "$1" = sqlite ] || cat <<'EOF'
v_prognozdata: id prognoz product receiver sumlast sumcurr sumnext valuelast valuecurr valuenext comment base basemethod valuenorm valueindex valueplan valueformula valueother sumnorm sumindex sumplan sumformula sumother
v_receiver: id category name email position importedid type isgroup prognoz
EOF
}

# Foreign keys: child table, columns, parent table, delete action, name.
expected_fks() {
    cat <<'EOF'
tclsmconvert base tclsmeasurement NO_ACTION fk_tclsmconvert_tclsmeasurement
tclsmconvert produce tclsmeasurement NO_ACTION fk_tclsmconvert_tclsmeasurement1
tclsproduct measurementnatural tclsmeasurement NO_ACTION fk_tclsproduct_tclsmeasurement
tclsproduct measurementnatural2 tclsmeasurement NO_ACTION fk_tclsproduct_tclsmeasurement2
tclsproduct measurementprice tclsmeasurement NO_ACTION fk_tclsproduct_tclsmeasurement1
tclsproduct measurementprice2 tclsmeasurement NO_ACTION fk_tclsproduct_tclsmeasurement3
tclsproduct prognoz tfctprognoz CASCADE fk_tclsproduct_tfctprognoz
tclsreceivermap prognoz tfctprognoz CASCADE fk_tclsreceivermap_tfctprognoz
tclsreceivermap receiver tclsreceiver CASCADE fk_tclsreceivermap_tclsreceiver
tfctdocumentation prognoz tfctprognoz CASCADE fk_tfctdocumentation_tfctprognoz
tfctimportstatus event tclsimporteventtype NO_ACTION fk_tfctimportstatus_tclsimporteventtype
tfctimportstatus prognoz tfctprognoz CASCADE fk_tfctimportstatus_tfctprognoz
tfctimportstatus receiver tclsreceiver CASCADE fk_tfctimportstatus_tclsreceiver
tfctmailingreceivers mailingid tfctmailing CASCADE fk_tfctmailingreceivers_tfctmailing
tfctprice prognoz tfctprognoz CASCADE fk_tfctprice_tfctprognoz
tfctprice prognoz,product tclsproduct NO_ACTION fk_tfctprice_tclsproduct
tfctprognozdata prognoz tfctprognoz CASCADE fk_tfctprognozdata_tfctprognoz
tfctprognozdata prognoz,product tclsproduct NO_ACTION fk_tfctprognozdata_tclsproduct
tfctprognozdata receiver tclsreceiver CASCADE fk_tfctprognozdata_tclsreceiver
tfcttotalprognoz prognoz tfctprognoz NO_ACTION fk_tfcttotalprognoz_tfctprognoz
tfcttotalprognoz prognoz,product tclsproduct NO_ACTION fk_tfcttotalprognoz_tclsproduct
tfctuserrights forecastid tfctprognoz NO_ACTION fk_tfctuserrights_tfctprognoz
tfctuserrights receiverid tclsreceiver NO_ACTION fk_tfctuserrights_tclsreceiver
EOF
}

# The delete rules, run through a dialect's query function Q (prints rows)
# and its statement runner R (status only). Same data and same answers on
# both dialects.
check_deletes() {
    local d=$1 Q=$2 R=$3 out

    out=$($R "DELETE FROM tFctPrognoz WHERE id = 1" 2>&1)
    [ $? -ne 0 ] && grep -qi 'foreign key' <<<"$out" && pass || fail "$d: forecast delete not refused while consolidated rows refer to it: $out"
    expect "$d: refused forecast delete keeps its products" 2 "$($Q "SELECT count(*) FROM tClsProduct WHERE prognoz = 1")"

    $R "DELETE FROM tFctTotalPrognoz WHERE prognoz = 1" || fail "$d: consolidated delete"
    out=$($R "DELETE FROM tFctPrognoz WHERE id = 1" 2>&1)
    [ $? -ne 0 ] && grep -qi 'foreign key' <<<"$out" && pass || fail "$d: forecast delete not refused while user rights refer to it: $out"

    out=$($R "DELETE FROM tClsProduct WHERE prognoz = 1 AND id = 1" 2>&1)
    [ $? -ne 0 ] && pass || fail "$d: product delete not refused while prices refer to it"

    out=$($R "DELETE FROM tClsReceiver WHERE id = 2" 2>&1)
    [ $? -ne 0 ] && grep -qi 'foreign key' <<<"$out" && pass || fail "$d: receiver delete not refused while user rights refer to it: $out"

    out=$($R "DELETE FROM tClsImportEventType WHERE id = 1" 2>&1)
    [ $? -ne 0 ] && pass || fail "$d: event type delete not refused while the journal uses it"

    # Units: used by a product (first and fourth key) or a conversion.
    local u
    for u in 1 2 3; do
        out=$($R "DELETE FROM tClsMeasurement WHERE id = $u" 2>&1)
        [ $? -ne 0 ] && grep -qi 'foreign key' <<<"$out" && pass || fail "$d: delete of used unit $u not refused: $out"
    done
    $R "DELETE FROM tClsMeasurement WHERE id = 4" && pass || fail "$d: delete of an unused unit"

    $R "DELETE FROM tFctUserRights" || fail "$d: rights delete"
    $R "DELETE FROM tFctPrognoz WHERE id = 1" && pass || fail "$d: forecast delete without consolidated rows or rights"
    expect "$d: forecast delete cascades" "0|0|0|0|0|0|0" \
        "$($Q "SELECT (SELECT count(*) FROM tClsProduct WHERE prognoz = 1) || '|' ||
                      (SELECT count(*) FROM tClsReceiverMap WHERE prognoz = 1) || '|' ||
                      (SELECT count(*) FROM tFctPrognozData WHERE prognoz = 1) || '|' ||
                      (SELECT count(*) FROM tFctPrice WHERE prognoz = 1) || '|' ||
                      (SELECT count(*) FROM tFctDocumentation WHERE prognoz = 1) || '|' ||
                      (SELECT count(*) FROM tFctImportStatus WHERE prognoz = 1) || '|' ||
                      (SELECT count(*) FROM tFctPrognoz WHERE id = 1)")"
    expect "$d: the other forecast keeps its rows" "1|2|1|1|1|1" \
        "$($Q "SELECT (SELECT count(*) FROM tClsProduct WHERE prognoz = 2) || '|' ||
                      (SELECT count(*) FROM tClsReceiverMap WHERE prognoz = 2) || '|' ||
                      (SELECT count(*) FROM tFctPrognozData WHERE prognoz = 2) || '|' ||
                      (SELECT count(*) FROM tFctPrice WHERE prognoz = 2) || '|' ||
                      (SELECT count(*) FROM tFctDocumentation WHERE prognoz = 2) || '|' ||
                      (SELECT count(*) FROM tFctImportStatus WHERE prognoz = 2)")"
    expect "$d: mailing of the deleted forecast stays" 1 "$($Q "SELECT count(*) FROM tFctMailing")"

    $R "DELETE FROM tClsReceiver WHERE id = 3" && pass || fail "$d: receiver delete without rights"
    expect "$d: receiver delete cascades to map, data and journal" "0|0|0|2" \
        "$($Q "SELECT (SELECT count(*) FROM tClsReceiverMap WHERE receiver = 3) || '|' ||
                      (SELECT count(*) FROM tFctPrognozData WHERE receiver = 3) || '|' ||
                      (SELECT count(*) FROM tFctImportStatus WHERE receiver = 3) || '|' ||
                      (SELECT count(*) FROM tClsReceiver)")"

    $R "DELETE FROM tFctMailing WHERE id = 1" || fail "$d: mailing delete"
    expect "$d: mailing delete cascades to its receivers" 0 "$($Q "SELECT count(*) FROM tFctMailingReceivers")"
}

# Ids of the four max + 1 tables, run on emptied tables.
check_ids() {
    local d=$1 Q=$2 R=$3
    $R "DELETE FROM tFctPrice; DELETE FROM tFctPrognozData; DELETE FROM tClsProduct;
        DELETE FROM tFctDocumentation; DELETE FROM tClsMConvert; DELETE FROM tClsMeasurement;
        DELETE FROM tFctPrognoz" || fail "$d: emptying tables"

    $R "INSERT INTO tFctPrognoz (name) VALUES ('a')" || fail "$d: forecast insert without id"
    $R "INSERT INTO tClsMeasurement (name) VALUES ('a')" || fail "$d: unit insert without id"
    $R "INSERT INTO tFctDocumentation (name) VALUES ('a')" || fail "$d: document insert without id"
    expect "$d: first ids are 1" "1|1|1" \
        "$($Q "SELECT (SELECT max(id) FROM tFctPrognoz) || '|' || (SELECT max(id) FROM tClsMeasurement) || '|' ||
                      (SELECT max(id) FROM tFctDocumentation)")"
    $R "INSERT INTO tFctPrognoz (id, name) VALUES (41, 'b');
        INSERT INTO tClsMeasurement (id, name) VALUES (41, 'b');
        INSERT INTO tFctDocumentation (id, name) VALUES (41, 'b')" || fail "$d: inserts with ids"
    $R "INSERT INTO tFctPrognoz (name) VALUES ('c');
        INSERT INTO tClsMeasurement (name) VALUES ('c');
        INSERT INTO tFctDocumentation (name) VALUES ('c')" || fail "$d: inserts without ids"
    expect "$d: later ids are max + 1" "42|42|42" \
        "$($Q "SELECT (SELECT id FROM tFctPrognoz WHERE name = 'c') || '|' ||
                      (SELECT id FROM tClsMeasurement WHERE name = 'c') || '|' ||
                      (SELECT id FROM tFctDocumentation WHERE name = 'c')")"

    # Products are numbered over the whole table, whatever the forecast.
    $R "INSERT INTO tClsProduct (prognoz, name, isgroup) VALUES (1, 'p1', 0)" || fail "$d: product insert without id"
    $R "INSERT INTO tClsProduct (prognoz, id, name, isgroup) VALUES (41, 7, 'p7', 0)" || fail "$d: product insert with id"
    $R "INSERT INTO tClsProduct (prognoz, name, isgroup) VALUES (42, 'p8', 0)" || fail "$d: product insert in another forecast"
    $R "INSERT INTO tClsProduct (prognoz, name, isgroup)
        SELECT 1, name || 'x', 0 FROM tClsMeasurement" || fail "$d: multi-row product insert"
    expect "$d: product ids over all forecasts" "1:1 41:7 42:8 1:9 1:10 1:11" \
        "$($Q "SELECT prognoz || ':' || id FROM tClsProduct ORDER BY id" | tr '\n' ' ' | sed 's/ $//')"
    $R "INSERT INTO tClsProduct (prognoz, id, name, isgroup) VALUES (42, 7, 'same id, other forecast', 0)" \
        && pass || fail "$d: the same product id in another forecast"
    $R "INSERT INTO tClsProduct (prognoz, id, name, isgroup) VALUES (41, 7, 'dup', 0)" 2>/dev/null \
        && fail "$d: duplicate product key accepted" || pass
    $R "UPDATE tClsProduct SET id = NULL WHERE id = 1" 2>/dev/null \
        && fail "$d: product id set to NULL" || pass
}

# Limits and defaults shared by both dialects.
check_limits() {
    local d=$1 Q=$2 R=$3
    local n255 n256
    n255=$(printf 'я%.0s' $(seq 255)); n256="${n255}я"
    $R "INSERT INTO tFctPrognoz (id, name) VALUES (100, '$n255')" && pass || fail "$d: 255-character name refused"
    $R "INSERT INTO tFctPrognoz (id, name) VALUES (101, '$n256')" 2>/dev/null \
        && fail "$d: 256-character forecast name accepted" || pass
    $R "INSERT INTO tClsReceiver (name, importedId, isgroup) VALUES ('$n256', 0, 0)" 2>/dev/null \
        && fail "$d: 256-character receiver name accepted" || pass
    $R "INSERT INTO tClsImportEventType (id, name) VALUES (9, '$(printf 'x%.0s' $(seq 51))')" 2>/dev/null \
        && fail "$d: 51-character event name accepted" || pass
    $R "INSERT INTO tFctPrognoz (id, name, status) VALUES (102, 's', 3)" 2>/dev/null \
        && fail "$d: status 3 accepted" || pass
    $R "INSERT INTO tFctPrognoz (id, name, status) VALUES (103, 's', 2)" && pass || fail "$d: status 2 refused"
    expect "$d: status defaults to 0" 0 "$($Q "SELECT status FROM tFctPrognoz WHERE id = 100")"
    $R "INSERT INTO tClsImportEventType (name) VALUES ('no id')" 2>/dev/null \
        && fail "$d: event type without id accepted" || pass
    $R "INSERT INTO tFctTotalPrognoz (prognoz, product, valueCurr) VALUES (NULL, NULL, 1)" || fail "$d: total insert"
    expect "$d: consolidated money columns default to 0" "0|0" \
        "$($Q "SELECT valueNorm || '|' || sumOther FROM tFctTotalPrognoz WHERE valueCurr = 1" | sed 's/\.0*//g')"
    $R "INSERT INTO tClsProduct (prognoz, id, name, isgroup) VALUES (100, 1, 'p', 0)" || fail "$d: product insert"
    expect "$d: product averages default to 0" "0|0|0|0" \
        "$($Q "SELECT avRep || '|' || avCur || '|' || avProg || '|' || priceIdx FROM tClsProduct WHERE prognoz = 100" | sed 's/\.0*//g')"
    expect "$d: receiver map count defaults to 0" 0 \
        "$($R "INSERT INTO tClsReceiver (id, name, importedId, isgroup) VALUES (50, 'r', 0, 0);
               INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (100, 50)" >/dev/null &&
           $Q "SELECT subReceiverCount FROM tClsReceiverMap WHERE receiver = 50")"
}

check_common() {
    local d=$1 Q=$2 R=$3 sid=$4
    expect "$d: schema version" "36" "$($Q "SELECT n FROM tSysDbVersion")"
    expect "$d: version stamp has a creation time" "1" "$($Q "SELECT count(*) FROM tSysDbVersion WHERE created IS NOT NULL")"

    expect "$d: tables, views and their columns" "$(expected_columns "$d" | LC_ALL=C sort)" "$(all_columns "$d")"

    if $R "$(fixture_sql "$sid")"; then pass; else fail "$d: fixture"; return; fi
    check_deletes "$d" "$Q" "$R"
    check_ids "$d" "$Q" "$R"
    check_limits "$d" "$Q" "$R"
    expect "$d: RETURNING gives the new forecast id" 104 \
        "$($Q "INSERT INTO tFctPrognoz (name) VALUES ('r') RETURNING id")"
}

# "table: col col ..." per table and view, names lower-cased, sorted.
all_columns() {
    if [ "$1" = sqlite ]; then
        sq "SELECT lower(m.name) || ': ' || (SELECT group_concat(lower(c.name), ' ') FROM
                (SELECT name FROM pragma_table_info(m.name) ORDER BY cid) c)
              FROM sqlite_master m WHERE m.type IN ('table', 'view') ORDER BY 1"
    else
        pq "SELECT table_name || ': ' || string_agg(column_name, ' ' ORDER BY ordinal_position)
              FROM information_schema.columns WHERE table_schema = 'public'
             GROUP BY table_name ORDER BY 1"
    fi | LC_ALL=C sort
}

# ---------------------------------------------------------------- SQLite
sqlite_db=$work/lir.db
sq() { sqlite3 -batch -bail "$sqlite_db" "PRAGMA foreign_keys = ON;" "$1"; }
sr() { sq "$1" >/dev/null; }

run_sqlite() {
    local b
    if ! split_batches "$sqlite_schema" "$work/sqlite"; then fail "sqlite: batch format"; return; fi
    for b in "$work"/sqlite/*.sql; do
        # The CLI needs the closing semicolon that the driver does without.
        if ! { cat "$b"; printf '\n;\n'; } | sqlite3 -batch -bail "$sqlite_db"; then
            fail "sqlite: batch $(basename "$b") does not run"; return
        fi
    done
    pass
    # One statement per batch, so that QSqlQuery (which runs only one) could
    # run it too; Python's module refuses more.
    if command -v python3 >/dev/null; then
        python3 - "$work"/sqlite/*.sql <<'EOF' && pass || fail "sqlite: a batch holds more than one statement"
import sqlite3, sys
con = sqlite3.connect(":memory:")
for f in sys.argv[1:]:
    try:
        con.execute(open(f, encoding="utf-8").read())
    except Exception as e:
        print(f, e); sys.exit(1)
EOF
    else
        skip "sqlite: one-statement check needs python3"
    fi

    expect "sqlite: foreign_key_check" "" "$(sq "PRAGMA foreign_key_check")"
    expect "sqlite: integrity_check" "ok" "$(sq "PRAGMA integrity_check")"

    local fks
    fks=$(sq "SELECT lower(m.name) || ' ' || lower(group_concat(f.\"from\", ',')) || ' ' || lower(f.\"table\") || ' ' ||
                     replace(f.on_delete, ' ', '_')
                FROM sqlite_master m, pragma_foreign_key_list(m.name) f
               WHERE m.type = 'table' GROUP BY m.name, f.id ORDER BY 1")
    expect "sqlite: foreign keys and their delete rules" "$(expected_fks | cut -d' ' -f1-4 | sort)" "$(sort <<<"$fks")"

    local schema
    schema=$(sqlite3 "$sqlite_db" ".schema tClsProduct")
    grep -q 'PRIMARY KEY (prognoz, id)' <<<"$schema" && pass || fail "sqlite: tClsProduct key (prognoz, id)"
    grep -q 'CREATE TRIGGER product_insert AFTER INSERT ON tClsProduct' <<<"$schema" && pass || fail "sqlite: tClsProduct id trigger"
    expect "sqlite: rowid-numbered ids" "tclsmconvert tclsmeasurement tclsreceiver tfctdocumentation tfctimportstatus tfctmailing tfctmailingreceivers tfctopjournal tfctprice tfctprognoz tfctprognozdata tfcttotalprognoz tfctuserrights" \
        "$(sq "SELECT lower(m.name) FROM sqlite_master m, pragma_table_info(m.name) c
                WHERE m.type = 'table' AND c.name = 'id' AND c.pk = 1 AND c.type = 'INTEGER' ORDER BY 1" | tr '\n' ' ' | sed 's/ $//')"

    check_common sqlite sq sr "X'616C696365'"

    # Journal defaults: empty login (the program binds it), local wall time.
    local before after
    before=$(date '+%Y-%m-%d %H:%M:%S')
    sr "INSERT INTO tFctOpJournal (Text) VALUES ('line')"
    after=$(date '+%Y-%m-%d %H:%M:%S')
    local row
    row=$(sq "SELECT UserID || '|' || Type || '|' || Date FROM tFctOpJournal")
    expect "sqlite: journal login and type defaults" "|0" "${row%|*}"
    [[ "${row##*|}" > "$before" || "${row##*|}" == "$before" ]] && [[ "${row##*|}" < "$after" || "${row##*|}" == "$after" ]] \
        && pass || fail "sqlite: journal date '${row##*|}' not local time between $before and $after"
    sr "INSERT INTO tFctOpJournal (Text) VALUES ('$(printf 'x%.0s' $(seq 7001))')" 2>/dev/null \
        && fail "sqlite: 7001-character journal text accepted" || pass

    # The user views answer no rows and a delete through the view is harmless.
    expect "sqlite: v_SystemUser is empty" "0" "$(sq "SELECT count(*) FROM v_SystemUser")"
    sr "INSERT INTO tFctUserRights (UserSID, ForecastID, ReceiverID) VALUES (X'01', 100, 50)"
    expect "sqlite: v_UserRights is empty" "0" "$(sq "SELECT count(*) FROM v_UserRights")"
    sr "DELETE FROM v_UserRights WHERE UserID = 1" && pass || fail "sqlite: delete through v_UserRights"
    expect "sqlite: view delete leaves the rights" "1" "$(sq "SELECT count(*) FROM tFctUserRights")"
}

# ---------------------------------------------------------------- PostgreSQL
pq() { psql -X -q -At -v ON_ERROR_STOP=1 -d "$pg_db" -c "$1"; }
pr() { pq "$1" >/dev/null; }

start_cluster() {
    # PGTEST_PASSWORD is set only by the test cluster's env file, so PGHOST
    # then names a throw-away cluster.
    if [ -z "${LIR_PG_ENV:-}" ] && [ -n "${PGHOST:-}" ] && [ -n "${PGTEST_PASSWORD:-}" ]; then
        return 0
    fi
    if [ -n "${LIR_PG_ENV:-}" ]; then
        [ -r "$LIR_PG_ENV" ] || { echo "cannot read $LIR_PG_ENV"; return 1; }
    else
        own_cluster=$work/pg
        "$cluster" start "$own_cluster" >/dev/null || return 1
        LIR_PG_ENV=$own_cluster/env
    fi
    set -a
    # shellcheck disable=SC1090
    . "$LIR_PG_ENV"
    set +a
}

# Loads a script the way the program does: one batch, one query string.
pg_load() {
    local b
    for b in "$work"/pg/*.sql; do
        if ! psql -X -q -v ON_ERROR_STOP=1 -d "$1" -c "$(cat "$b")" >/dev/null; then
            echo "batch $(basename "$b") does not run on $1"; return 1
        fi
    done
}

run_pg() {
    if [ ! -x /usr/lib/postgresql/15/bin/initdb ] && [ -z "${LIR_PG_ENV:-}${PGTEST_PASSWORD:-}" ]; then
        skip "postgresql: server binaries not installed"; return
    fi
    command -v psql >/dev/null || { skip "postgresql: psql not installed"; return; }
    start_cluster || { fail "postgresql: test cluster does not start"; return; }

    pg_db=lir_check_$$
    local p=chk$$
    pg_roles=("${p}_alice" "${p}_bob" "${p}_carol" "${p}_dave")
    # Under the "C" locale the database's own lower() folds Latin letters only.
    psql -X -q -v ON_ERROR_STOP=1 -d postgres -c "CREATE DATABASE $pg_db TEMPLATE template0 ENCODING 'UTF8' LOCALE 'C'" \
        || { fail "postgresql: create database"; pg_db=; return; }
    psql -X -q -v ON_ERROR_STOP=1 -d postgres -c "CREATE DATABASE ${pg_db}_2" || fail "postgresql: create second database"

    if ! split_batches "$pg_schema" "$work/pg"; then fail "postgresql: batch format"; return; fi
    pg_load "$pg_db" && pass || { fail "postgresql: schema does not load"; return; }
    # The group roles exist now; a second database must load all the same.
    local b
    for b in "$work"/pg/*.sql; do cat "$b"; printf '\n;\n'; done | psql -X -q -v ON_ERROR_STOP=1 -d "${pg_db}_2" -f - >/dev/null \
        && pass || fail "postgresql: schema does not load into a second database"

    local fks
    fks=$(pq "SELECT c.conrelid::regclass::text || ' ' ||
                     (SELECT string_agg(a.attname, ',' ORDER BY k.n) FROM unnest(c.conkey) WITH ORDINALITY k(attnum, n)
                        JOIN pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.attnum) || ' ' ||
                     c.confrelid::regclass::text || ' ' ||
                     CASE c.confdeltype WHEN 'a' THEN 'NO_ACTION' WHEN 'c' THEN 'CASCADE' ELSE c.confdeltype::text END
                     || ' ' || c.conname
                FROM pg_constraint c WHERE c.contype = 'f' ORDER BY 1")
    expect "postgresql: foreign keys, delete rules and names" "$(expected_fks | sort)" "$(sort <<<"$fks")"
    expect "postgresql: key, unique and check names" \
        "ck__tfctprogn__statu__07020f21 ix_prognozdata ix_totalprognoz pk_tclsimporteventtype pk_tclsmconvert pk_tclsmeasurement pk_tclsproduct pk_tclsreceiver pk_tclsreceivermap pk_tfctdocumentation pk_tfctimportstatus pk_tfctmailing pk_tfctmailingreceivers pk_tfctopjournal pk_tfctprice pk_tfctprognoz pk_tfctprognozdata pk_tfcttotalprognoz pk_tfctuserrights pk_tsvcidentifiers tfctuserrights_usersid_check" \
        "$(pq "SELECT conname FROM pg_constraint WHERE connamespace = 'public'::regnamespace AND contype IN ('p', 'u', 'c') ORDER BY 1" | tr '\n' ' ' | sed 's/ $//')"
    expect "postgresql: tClsProduct key" "PRIMARY KEY (prognoz, id)" \
        "$(pq "SELECT pg_get_constraintdef(oid) FROM pg_constraint WHERE conname = 'pk_tclsproduct'")"
    expect "postgresql: id triggers" "documentation_insert measurement_insert product_insert prognoz_insert t_v_userrights_delete t_v_userrights_insert t_v_userrights_update" \
        "$(pq "SELECT tgname FROM pg_trigger WHERE NOT tgisinternal ORDER BY 1" | tr '\n' ' ' | sed 's/ $//')"
    expect "postgresql: indexes" "ix_prognozdata ix_tclsproduct ix_tclsproduct_children ix_tclsproduct_prognoz ix_tclsreceiver ix_tclsreceivermap_receiver ix_tfctimportstatus ix_tfctimportstatus_comment ix_tfctimportstatus_received ix_tfctimportstatus_receiver ix_tfctimportstatus_send ix_tfctmailing_date ix_tfctmailing_subject ix_tfctmailingreceivers ix_tfctopjournal_date ix_tfctopjournal_type ix_tfctprice ix_tfctprognozdata_receiver ix_tfctuserrights ix_totalprognoz" \
        "$(pq "SELECT indexname FROM pg_indexes WHERE schemaname = 'public' AND indexname LIKE 'ix\_%' ORDER BY 1" | tr '\n' ' ' | sed 's/ $//')"
    expect "postgresql: role functions" "1|2|4" "$(pq "SELECT ROLE_ADMIN() || '|' || ROLE_EXPERT() || '|' || ROLE_USER()")"
    expect "postgresql: CONNECT revoked from PUBLIC and not given to the groups" "f|f" \
        "$(pq "SELECT has_database_privilege('public', current_database(), 'CONNECT') || '|' ||
                      has_database_privilege('lir_users', current_database(), 'CONNECT')" | tr -d ' ' | sed 's/false/f/g;s/true/t/g')"

    check_common postgresql pq pr "'\\\\x616c696365'::bytea"

    # Journal defaults: the login and the local time.
    pr "INSERT INTO tFctOpJournal (Text) VALUES ('line')"
    expect "postgresql: journal defaults" "$PGUSER|0|t" \
        "$(pq "SELECT UserID || '|' || Type || '|' || (abs(extract(epoch FROM Date - localtimestamp)) < 5) FROM tFctOpJournal" | sed 's/true$/t/')"
    expect "postgresql: journal login is the session's, not a role set later" "$PGUSER" \
        "$(pq "SET ROLE lir_users; INSERT INTO tFctOpJournal (Text) VALUES ('as role') RETURNING UserID")"

    run_pg_users "$p"
    run_pg_security "$p"
    run_pg_roles "$p"
    run_pg_reach "$p"
}

# LOGIN PASSWORD DATABASE SQL: one statement as that login, over TCP.
as_db() { PGPASSWORD=$2 psql -X -q -At -v ON_ERROR_STOP=1 -h "${PGTEST_TCPHOST:-127.0.0.1}" -U "$1" -d "$3" -c "$4"; }

# Logins, role bits, rights and what each login sees.
run_pg_users() {
    local p=$1 alice=${1}_alice bob=${1}_bob carol=${1}_carol dave=${1}_dave
    pr "SELECT lir_user_save('$alice', 'pw-a', 4), lir_user_save('$bob', 'pw-b', 2), lir_user_save('$carol', 'pw-c', 5);
        CREATE ROLE $dave LOGIN PASSWORD 'pw-d'" || { fail "postgresql: creating logins"; return; }

    expect "postgresql: v_SystemUser lists members only" "$alice|4|t|t $bob|2|t|t $carol|5|t|t" \
        "$(pq "SELECT userID || '|' || userRoles || '|' || (userPassword IS NULL) || '|' ||
                      (SID = convert_to(userID, 'UTF8') AND id = (SELECT oid FROM pg_roles WHERE rolname = userID))
                 FROM v_SystemUser WHERE userID LIKE '$p%' ORDER BY userID" | sed 's/true/t/g;s/false/f/g' | tr '\n' ' ' | sed 's/ $//')"
    expect "postgresql: owner and superusers are not listed" 0 \
        "$(pq "SELECT count(*) FROM v_SystemUser v JOIN pg_roles r ON r.rolname = v.userID WHERE r.rolsuper")"
    expect "postgresql: GetUserRoles, case-insensitive login" "4|1|0|1|0|1" \
        "$(pq "SELECT GetUserRoles(upper('$alice')) || '|' || GetUserRoles('$alice', 'Users') || '|' ||
                      GetUserRoles('$alice', 'lir_experts') || '|' || IsAdmin('$carol') || '|' ||
                      IsExpert('$carol') || '|' || IsUser('$carol')")"
    expect "postgresql: unknown login and the owner" "0|1" \
        "$(pq "SELECT GetUserRoles('nobody_$p') || '|' || IsAdmin(session_user)")"

    # Rights through the view: by name (any case) and by role oid.
    pq "INSERT INTO tClsReceiver (id, name, importedId, isgroup) VALUES (61, 'r61', 0, 0), (62, 'r62', 0, 0);
        INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (100, 61), (100, 62);
        INSERT INTO tFctPrognozData (prognoz, product, receiver, valueCurr) VALUES (100, 1, 61, 1), (100, 1, 62, 2)" \
        >/dev/null || fail "postgresql: rights fixture"
    local rid
    rid=$(pq "INSERT INTO v_UserRights (UID, ForecastID, ReceiverID) VALUES (upper('$alice'), 100, 61) RETURNING id")
    expect "postgresql: insert through v_UserRights by name" "$alice|100|61|t" \
        "$(pq "SELECT UID || '|' || ForecastID || '|' || ReceiverID || '|' ||
                      (UserSID = convert_to('$alice', 'UTF8') AND UserID = (SELECT oid FROM pg_roles WHERE rolname = '$alice'))
                 FROM v_UserRights WHERE id = ${rid:-0}" | sed 's/true$/t/')"
    pr "INSERT INTO v_UserRights (UserID, ForecastID, ReceiverID)
        SELECT oid, 100, 62 FROM pg_roles WHERE rolname = '$bob'" && pass || fail "postgresql: insert through v_UserRights by oid"
    pr "INSERT INTO v_UserRights (UID, ForecastID, ReceiverID) VALUES ('nobody_$p', 100, 61)" 2>/dev/null \
        && fail "postgresql: right for an unknown login accepted" || pass
    pr "UPDATE v_UserRights SET ReceiverID = 62 WHERE UID = '$bob'" || fail "postgresql: update through v_UserRights"
    pr "UPDATE v_UserRights SET UID = '$carol' WHERE UID = '$bob'" || fail "postgresql: login change through v_UserRights"
    expect "postgresql: updates through v_UserRights" "$alice:61 $carol:62" \
        "$(pq "SELECT UID || ':' || ReceiverID FROM v_UserRights ORDER BY UID" | tr '\n' ' ' | sed 's/ $//')"

    # What each login sees, connected over TCP with its password.
    as() { as_db "$1" "$2" "$pg_db" "$3"; }
    expect "postgresql: a user sees granted receivers only" "61|1|61|1|0" \
        "$(as "$alice" pw-a "SELECT (SELECT string_agg(id::text, ',') FROM V_Receiver) || '|' ||
                               (SELECT count(*) FROM v_PrognozData) || '|' ||
                               (SELECT string_agg(id::text, ',') FROM f_recieverSelect(100)) || '|' ||
                               UserHasRights(100, 61) || '|' || UserHasRights(100, 62)" 2>&1)"
    expect "postgresql: an expert sees every mapped receiver" "3|2|1" \
        "$(as "$bob" pw-b "SELECT (SELECT count(*) FROM f_recieverSelect(100)) || '|' ||
                             (SELECT count(*) FROM f_PrognozData(100, NULL, NULL)) || '|' ||
                             (SELECT count(*) FROM f_PrognozData(100, 1, 62))" 2>&1)"
    expect "postgresql: an administrator sees every mapped receiver" "3" \
        "$(as "$carol" pw-c "SELECT count(*) FROM V_Receiver WHERE prognoz = 100" 2>&1)"
    expect "postgresql: journal login of a user" "$alice" \
        "$(as "$alice" pw-a "INSERT INTO tFctOpJournal (Text) VALUES ('by alice') RETURNING UserID" 2>&1)"
    as "$dave" pw-d "SELECT 1" >/dev/null 2>&1 && fail "postgresql: a login without roles may connect" || pass
    as "$alice" wrong "SELECT 1" >/dev/null 2>&1 && fail "postgresql: wrong password accepted" || pass

    pr "DELETE FROM v_UserRights WHERE UserID = (SELECT oid FROM pg_roles WHERE rolname = '$alice')" \
        || fail "postgresql: delete through v_UserRights"
    expect "postgresql: view delete removes only that login's rights" "$carol" \
        "$(pq "SELECT string_agg(convert_from(UserSID, 'UTF8'), ',') FROM tFctUserRights")"
}

# The logins of one database against the server, the other database and each
# other: what they must not do, and what administrators still do.
run_pg_security() {
    local p=$1 db2=${pg_db}_2
    local admin=${p}_adm expert=${p}_exp user=${p}_usr owner=${p}_own repl=${p}_repl
    local vera=${p}_vera boris=${p}_boris ivan="Иван$p"
    pg_roles+=("$admin" "$expert" "$user" "$owner" "$repl" "$vera" "$boris" "$ivan")
    pr "SELECT lir_user_save('$admin', 'pw-adm', 1), lir_user_save('$expert', 'pw-exp', 2),
               lir_user_save('$user', 'pw-usr', 4), lir_user_save('$ivan', 'pw-iv', 2)" \
        || { fail "postgresql: logins of the first database"; return; }
    psql -X -q -v ON_ERROR_STOP=1 -d "$db2" -c "SELECT lir_user_save('$vera', 'pw-vera', 4), lir_user_save('$boris', 'pw-boris', 1)" \
        >/dev/null || { fail "postgresql: logins of the second database"; return; }
    # Privileged logins that may connect to the first database all the same.
    psql -X -q -v ON_ERROR_STOP=1 -d postgres \
        -c "CREATE ROLE $owner LOGIN PASSWORD 'pw-own'" -c "ALTER DATABASE $db2 OWNER TO $owner" \
        -c "CREATE ROLE $repl LOGIN REPLICATION PASSWORD 'pw-repl'" \
        -c "GRANT CONNECT ON DATABASE $pg_db TO $owner, $repl" >/dev/null || { fail "postgresql: privileged logins"; return; }

    # Attributes, password and memberships of these logins and the groups, and
    # who may do what in the two databases.
    local state="SELECT string_agg(r.rolname || ':' || r.rolsuper || r.rolcreaterole || r.rolcreatedb || r.rolreplication ||
                                   r.rolbypassrls || r.rolcanlogin || ':' || coalesce(r.rolpassword, '') || ':' ||
                                   coalesce((SELECT string_agg(g.rolname, ',' ORDER BY g.rolname) FROM pg_auth_members m
                                               JOIN pg_roles g ON g.oid = m.roleid WHERE m.member = r.oid), ''),
                                   ' ' ORDER BY r.rolname)
                     || (SELECT string_agg(datname || '=' || datacl::text, ' ' ORDER BY datname) FROM pg_database
                          WHERE datname IN ('$pg_db', '$db2'))
                   FROM pg_authid r WHERE r.rolname LIKE '$p%' OR r.rolname IN ('lir_admins', 'lir_experts', 'lir_users')"
    local before
    before=$(pq "$state")

    local who pw db sql out
    while IFS='|' read -r who pw db sql; do
        if out=$(as_db "$who" "$pw" "$db" "$sql" 2>&1); then
            fail "postgresql: $who in $db may: $sql"
        elif grep -qiE 'permission denied|не является|не принадлежит|недостаточно|must have admin' <<<"$out"; then
            pass
        else
            fail "postgresql: $who in $db: $sql: $out"
        fi
    done <<EOF
$admin|pw-adm|$pg_db|SELECT lir_user_save('$owner', 'x', 4)
$admin|pw-adm|$pg_db|SELECT lir_user_save('$repl', 'x', 4)
$admin|pw-adm|$pg_db|SELECT lir_user_save('lir_admins', 'x', 4)
$admin|pw-adm|$pg_db|SELECT lir_user_save('postgres', 'x', 4)
$admin|pw-adm|$pg_db|SELECT lir_user_revoke('$repl')
$admin|pw-adm|$pg_db|SELECT lir_user_save('$vera', 'x', 4)
$admin|pw-adm|$pg_db|SELECT lir_user_save(upper('$vera'), 'x', 4)
$admin|pw-adm|$pg_db|SELECT lir_user_revoke('$boris')
$boris|pw-boris|$db2|SELECT lir_user_save('$user', 'x', 4)
$owner|pw-own|$db2|SELECT lir_user_save('$admin', 'x', 1)
$admin|pw-adm|$pg_db|ALTER ROLE $user CREATEROLE
$admin|pw-adm|$pg_db|GRANT pg_execute_server_program TO $admin
$admin|pw-adm|$pg_db|CREATE ROLE ${p}_new LOGIN
$expert|pw-exp|$pg_db|SELECT lir_user_save('$expert', 'x', 1)
$user|pw-usr|$pg_db|CREATE FUNCTION pg_temp.f() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RETURN NEW; END'; CREATE TRIGGER t BEFORE INSERT ON tFctOpJournal FOR EACH ROW EXECUTE FUNCTION pg_temp.f()
$user|pw-usr|$pg_db|TRUNCATE tFctTotalPrognoz
$user|pw-usr|$pg_db|INSERT INTO tFctUserRights (UserSID, ForecastID, ReceiverID) VALUES (convert_to(current_user, 'UTF8'), 100, 62)
$user|pw-usr|$pg_db|INSERT INTO v_UserRights (UID, ForecastID, ReceiverID) VALUES (current_user, 100, 62)
$expert|pw-exp|$pg_db|DELETE FROM tFctUserRights
$expert|pw-exp|$pg_db|CREATE FUNCTION public.x() RETURNS int LANGUAGE sql AS 'SELECT 1'
$admin|pw-adm|$pg_db|CREATE TABLE public.t (x int)
$admin|pw-adm|$pg_db|CREATE SCHEMA s
$user|pw-usr|$db2|SELECT 1
$admin|pw-adm|$db2|SELECT 1
$vera|pw-vera|$pg_db|SELECT 1
EOF
    expect "postgresql: refused attempts change no login, membership or grant" "$before" "$(pq "$state")"
    local entry
    for entry in "$owner:pw-own:$pg_db" "$repl:pw-repl:$pg_db" "$vera:pw-vera:$db2" "$user:pw-usr:$pg_db"; do
        IFS=: read -r who pw db <<<"$entry"
        expect "postgresql: $who keeps its password" 1 "$(as_db "$who" "$pw" "$db" "SELECT 1" 2>&1)"
    done

    # What no group holds, over every relation of the schema.
    expect "postgresql: groups hold no TRIGGER, TRUNCATE, REFERENCES or CREATE" "" \
        "$(pq "SELECT g || ' ' || c.relname FROM pg_class c, unnest(ARRAY['lir_admins', 'lir_experts', 'lir_users']) g
                WHERE c.relnamespace = 'public'::regnamespace AND c.relkind IN ('r', 'v')
                  AND has_table_privilege(g, c.oid, 'TRIGGER, TRUNCATE, REFERENCES')
               UNION ALL
               SELECT g FROM unnest(ARRAY['lir_admins', 'lir_experts', 'lir_users']) g
                WHERE has_schema_privilege(g, 'public', 'CREATE') OR has_database_privilege(g, current_database(), 'CREATE')
                   OR NOT has_database_privilege(g, current_database(), 'TEMPORARY')")"
    expect "postgresql: rights rows are written by administrators only" "lir_admins:tfctuserrights lir_admins:v_userrights" \
        "$(pq "SELECT g || ':' || c.relname FROM pg_class c, unnest(ARRAY['lir_admins', 'lir_experts', 'lir_users']) g
                WHERE c.relname IN ('tfctuserrights', 'v_userrights') AND c.relnamespace = 'public'::regnamespace
                  AND has_table_privilege(g, c.oid, 'INSERT, UPDATE, DELETE') ORDER BY 1" | tr '\n' ' ' | sed 's/ $//')"
    expect "postgresql: owner-rights functions fix their search path and are not public" "f_newmaxid:t:f lir_advance_identity:t:f lir_lock_derived_rows:t:f lir_lock_new_id:t:f lir_recalc_receiver_groups:t:f lir_refresh_statistics:t:f lir_user_revoke:t:f lir_user_save:t:f" \
        "$(pq "SELECT p.proname || ':' || (array_to_string(p.proconfig, ',') ~ '^search_path=pg_catalog, [a-z_]+, pg_temp$') || ':' ||
                      has_function_privilege('public', p.oid, 'EXECUTE')
                 FROM pg_proc p WHERE p.prosecdef ORDER BY 1" | sed 's/true/t/g;s/false/f/g' | tr '\n' ' ' | sed 's/ $//')"

    # Administrators keep their work: a user removed and saved again keeps its
    # password; the other database's administrator cannot take it meanwhile.
    as_db "$admin" pw-adm "$pg_db" "SELECT lir_user_revoke('$expert')" >/dev/null && pass || fail "postgresql: administrator revokes a user"
    as_db "$expert" pw-exp "$pg_db" "SELECT 1" >/dev/null 2>&1 && fail "postgresql: a removed user still connects" || pass
    as_db "$boris" pw-boris "$db2" "SELECT lir_user_save('$expert', 'x', 4)" >/dev/null 2>&1 \
        && fail "postgresql: a user removed from one database taken by another" || pass
    as_db "$admin" pw-adm "$pg_db" "SELECT lir_user_save('$expert', '', 2)" >/dev/null && pass || fail "postgresql: a removed user saved again"
    expect "postgresql: the user saved again connects with its password" "$expert|2" \
        "$(as_db "$expert" pw-exp "$pg_db" "SELECT userID || '|' || userRoles FROM v_SystemUser WHERE userID = current_user" 2>&1)"
    expect "postgresql: users of another database are not listed" 0 \
        "$(pq "SELECT count(*) FROM v_SystemUser WHERE userID IN ('$vera', '$boris')")"

    # Cyrillic capitals are folded too.
    expect "postgresql: Cyrillic logins without regard to case" "1|1|t|$ivan" \
        "$(pq "SELECT IsExpert('$ivan') || '|' || IsExpert(upper('$ivan')) || '|' ||
                      (f_LoginOid(lower('$ivan')) = (SELECT oid FROM pg_roles WHERE rolname = '$ivan')) || '|' ||
                      (SELECT userID FROM v_SystemUser WHERE f_LoginLower(userID) = f_LoginLower(upper('$ivan')))" | sed 's/true/t/')"
}

# What each group may change, as its own logins over TCP: a user the forecast data of its granted
# receiver (and the group rows above it, summed by the server), nobody the version or the journal.
run_pg_roles() {
    local p=$1 u=${1}_u4 e=${1}_e2 a=${1}_a1 n=${1}_n0
    pg_roles+=("$u" "$e" "$a" "$n" "${p}_neg" "${p}_nopw")
    pr "SELECT lir_user_save('$u', 'pw-u', 4), lir_user_save('$e', 'pw-e', 2), lir_user_save('$a', 'pw-a', 1),
               lir_user_save('$n', 'pw-n', 0);
        INSERT INTO tFctPrognoz (id, name, year, status) VALUES (200, 'R', 2026, 1);
        INSERT INTO tClsReceiver (id, category, name, importedId, isgroup) VALUES
            (70, 0, 'root', 0, 1), (71, 70, 'group', 0, 1), (72, 71, 'granted', 0, 0), (73, 71, 'other', 0, 0),
            (74, 70, 'beside', 0, 0);
        INSERT INTO tClsReceiverMap (prognoz, receiver) SELECT 200, id FROM tClsReceiver WHERE id BETWEEN 70 AND 74;
        INSERT INTO tClsProduct (prognoz, id, name, isgroup) VALUES (200, 1, 'p1', 0), (200, 2, 'p2', 0), (200, 3, 'p3', 0);
        INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast) VALUES
            (200, 1, 72, 10), (200, 1, 73, 5), (200, 1, 74, 7), (200, 1, 71, 0);
        INSERT INTO tFctTotalPrognoz (prognoz, product, comment) VALUES (200, 1, '');
        INSERT INTO tFctUserRights (UserSID, ForecastID, ReceiverID) VALUES (convert_to('$u', 'UTF8'), 200, 72);
        -- The organisation above the tree, not placed in it.
        INSERT INTO tClsReceiver (id, category, name, importedId, isgroup) VALUES (75, -1, 'above', 0, 1);
        INSERT INTO tClsReceiverMap (prognoz, receiver) VALUES (200, 75);
        -- A forecast where the user has no right, with the same receivers.
        INSERT INTO tFctPrognoz (id, name, year, status) VALUES (201, 'S', 2026, 1);
        INSERT INTO tClsReceiverMap (prognoz, receiver) SELECT 201, id FROM tClsReceiver WHERE id BETWEEN 70 AND 74;
        INSERT INTO tClsProduct (prognoz, id, name, isgroup) VALUES (201, 1, 'p1', 0), (201, 2, 'p2', 0);
        INSERT INTO tFctTotalPrognoz (prognoz, product, comment) VALUES (201, 1, 'theirs');
        INSERT INTO tFctMailing (id, prognoz, MailingDate) VALUES (300, 200, localtimestamp), (301, 201, localtimestamp);
        INSERT INTO tClsImportEventType (id, name) VALUES (1, 'sent') ON CONFLICT DO NOTHING" \
        || { fail "postgresql: fixture of the roles"; return; }

    # who|password|expected output, or "denied"|statement; in this order, each seeing the ones before.
    local who pw want sql out status
    while IFS='|' read -r who pw want sql; do
        out=$(as_db "$who" "$pw" "$pg_db" "$sql" 2>&1)
        status=$?
        if [ "$want" = denied ]; then
            if [ $status -ne 0 ] && grep -qiE 'permission denied|row-level security|нет прав|не сдвигаются' <<<"$out"; then pass
            else fail "postgresql: $who may: $sql: $out"; fi
        else
            expect "postgresql: $who: $sql" "$want" "$out"
        fi
    done <<EOF
$u|pw-u|1|SELECT count(*) FROM tFctPrognozData WHERE prognoz = 200
$u|pw-u|0|WITH w AS (UPDATE tFctPrognozData SET sumLast = 99 WHERE receiver = 73 RETURNING 1) SELECT count(*) FROM w
$u|pw-u|denied|DELETE FROM tFctPrognozData WHERE receiver = 72
$u|pw-u|denied|INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast) VALUES (200, 2, 74, 1)
$u|pw-u|denied|UPDATE tFctPrognozData SET receiver = 73 WHERE receiver = 72
$u|pw-u|1|WITH w AS (UPDATE tFctPrognozData SET sumLast = 11 WHERE receiver = 72 AND product = 1 RETURNING 1) SELECT count(*) FROM w
$u|pw-u|3.0000|INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast) VALUES (200, 2, 72, 3) ON CONFLICT (prognoz, product, receiver) DO UPDATE SET sumLast = EXCLUDED.sumLast RETURNING sumLast
$u|pw-u|4.0000|INSERT INTO tFctPrognozData (prognoz, product, receiver, sumLast) VALUES (200, 2, 72, 4) ON CONFLICT (prognoz, product, receiver) DO UPDATE SET sumLast = EXCLUDED.sumLast RETURNING sumLast
$u|pw-u|71:1:false 71:2:true|SELECT string_agg(dataReceiver || ':' || dataProduct || ':' || isNew, ' ' ORDER BY dataProduct) FROM lir_recalc_receiver_groups(200, 72, ARRAY[1, 2])
$u|pw-u|denied|SELECT * FROM lir_recalc_receiver_groups(200, 73, ARRAY[1])
$u|pw-u|denied|UPDATE tFctPrognoz SET status = 2 WHERE id = 200
$u|pw-u|denied|DELETE FROM tFctPrognoz WHERE id = 200
$u|pw-u|denied|UPDATE tSysDbVersion SET n = 35
$u|pw-u|denied|DELETE FROM tFctOpJournal
$u|pw-u|denied|UPDATE tFctOpJournal SET Text = 'forged'
$u|pw-u|denied|INSERT INTO tFctOpJournal (Text, UserID) VALUES ('forged', 'postgres')
$u|pw-u|$u|INSERT INTO tFctOpJournal (Text) VALUES ('own') RETURNING UserID
$u|pw-u|denied|UPDATE tClsReceiver SET email = 'x@y' WHERE id = 73
$u|pw-u|denied|UPDATE tFctPrice SET priceCur = 1
$u|pw-u|denied|UPDATE tFctTotalPrognoz SET sumLast = 1 WHERE prognoz = 200
$u|pw-u|1|WITH w AS (UPDATE tFctTotalPrognoz SET comment = 'seen' WHERE prognoz = 200 RETURNING 1) SELECT count(*) FROM w
$u|pw-u|new|INSERT INTO tFctTotalPrognoz (prognoz, product, comment) VALUES (200, 2, 'new') ON CONFLICT DO NOTHING RETURNING comment
$u|pw-u|denied|INSERT INTO tFctTotalPrognoz (prognoz, product, sumLast) VALUES (200, 2, 1)
$u|pw-u|denied|DELETE FROM tFctMailing
$u|pw-u|denied|INSERT INTO tFctUserRights (UserSID, ForecastID, ReceiverID) VALUES (convert_to(current_user, 'UTF8'), 200, 73)
$u|pw-u|seen 2|insert into tfcttotalprognoz (prognoz, product, comment) values (200, 1, 'seen 2') on conflict (prognoz, product) do update set comment = excluded.comment returning comment
$u|pw-u|denied|insert into tfcttotalprognoz (prognoz, product, comment) values (201, 1, 'forged') on conflict (prognoz, product) do update set comment = excluded.comment
$u|pw-u|denied|insert into tfcttotalprognoz (prognoz, product, comment) values (201, 2, 'forged') on conflict (prognoz, product) do update set comment = excluded.comment
$u|pw-u|0|WITH w AS (UPDATE tFctTotalPrognoz SET comment = 'forged' WHERE prognoz = 201 RETURNING 1) SELECT count(*) FROM w
$u|pw-u|72|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (200, 72, localtimestamp, null, 'own', '', 1) returning receiver
$u|pw-u|71|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (200, 71, localtimestamp, null, 'group above', '', 1) returning receiver
$u|pw-u|70|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (200, 70, localtimestamp, null, 'root', '', 1) returning receiver
$u|pw-u|75|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (200, 75, null, localtimestamp, 'comments from above', '', 1) returning receiver
$u|pw-u|denied|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (200, 73, localtimestamp, null, 'sibling', '', 1)
$u|pw-u|denied|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (200, 74, localtimestamp, null, 'beside', '', 1)
$u|pw-u|denied|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (201, 70, localtimestamp, null, 'other forecast', '', 1)
$u|pw-u|denied|insert into tfctimportstatus (prognoz, receiver, send, received, comment, envelope, event) values (200, null, localtimestamp, null, 'nobody', '', 1)
$u|pw-u|denied|insert into tfctimportstatus (id, prognoz, receiver, event) values (2147483647, 200, 72, 1)
$u|pw-u|200|insert into tFctMailing (Subject, Text, prognoz, MailingDate) values ('s', 't', 200, localtimestamp) returning prognoz
$u|pw-u|denied|insert into tFctMailing (Subject, Text, prognoz, MailingDate) values ('s', 't', 201, localtimestamp)
$u|pw-u|denied|insert into tFctMailing (id, Subject, Text, prognoz, MailingDate) values (2147483647, 's', 't', 200, localtimestamp)
$u|pw-u|72|insert into tFctMailingReceivers (MailingID, ReceiverID) values (300, 72) returning ReceiverID
$u|pw-u|70|insert into tFctMailingReceivers (MailingID, ReceiverID) values (300, 70) returning ReceiverID
$u|pw-u|denied|insert into tFctMailingReceivers (MailingID, ReceiverID) values (300, 73)
$u|pw-u|denied|insert into tFctMailingReceivers (MailingID, ReceiverID) values (301, 70)
$u|pw-u|denied|INSERT INTO tFctOpJournal (Text, Type, Date) VALUES ('forged', 0, '2001-01-01 00:00:00')
$u|pw-u|t|insert into tFctOpJournal (Text, Type) values ('own', 1) returning Date = date_trunc('second', localtimestamp)
$u|pw-u|0|WITH w AS (update tclsimporteventtype set name = 'Получено' where id = 1 RETURNING 1) SELECT count(*) FROM w
$u|pw-u|0|SELECT count(*) FROM (SELECT 1 FROM tclsimporteventtype FOR UPDATE) l
$u|pw-u|2|SELECT count(*) FROM (SELECT 1 FROM tfcttotalprognoz FOR UPDATE) l
$u|pw-u|0.0000|insert into tfcttotalprognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, comment) values (200, 3, 0, 0, 0, 0, 0, 0, 'z') on conflict (prognoz, product) do update set comment = excluded.comment returning sumLast
$u|pw-u|denied|insert into tfcttotalprognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, comment) values (200, 2, 5, 0, 0, 0, 0, 0, 'z') on conflict (prognoz, product) do nothing
$u|pw-u|denied|SELECT 1 FROM tFctImportStatus FOR KEY SHARE
$e|pw-e|1|WITH w AS (update tclsimporteventtype set name = 'Получено' where id = 1 RETURNING 1) SELECT count(*) FROM w
$u|pw-u|6|insert into tclsimporteventtype (name, id) values ('Шестое', 6) returning id
$u|pw-u|5.0000|create temporary table if not exists tmp_received_forecast (ord int, product int, sumLast numeric); insert into tmp_received_forecast values (1, 2, 5); insert into tfctprognozdata (prognoz, product, receiver, sumLast) select 200, s.product, 72, s.sumLast from tmp_received_forecast s order by s.ord on conflict (prognoz, product, receiver) do update set sumLast = excluded.sumLast returning sumLast
$u|pw-u|denied|SELECT lir_advance_identity('tfctimportstatus')
$u|pw-u|denied|SELECT lo_from_bytea(0, 'x')
$u|pw-u|denied|SELECT lo_creat(-1)
$e|pw-e|denied|SELECT lo_from_bytea(0, 'x')
$a|pw-a|denied|SELECT lo_from_bytea(0, 'x')
$n|pw-n|denied|SELECT lo_from_bytea(0, 'x')
$n|pw-n|denied|CREATE TEMP TABLE t (x int)
$n|pw-n|1min 2min 10min|SELECT current_setting('idle_in_transaction_session_timeout') || ' ' || current_setting('lock_timeout') || ' ' || current_setting('statement_timeout')
$e|pw-e|denied|UPDATE tSysDbVersion SET n = 35
$e|pw-e|denied|DELETE FROM tFctOpJournal
$e|pw-e|denied|UPDATE tFctOpJournal SET Type = 1
$e|pw-e|denied|DELETE FROM tClsMeasurement WHERE id = 4
$e|pw-e|denied|UPDATE tFctMailing SET Subject = 'x'
$e|pw-e|6|SELECT count(*) FROM tFctPrognozData WHERE prognoz = 200
$e|pw-e|1|WITH w AS (UPDATE tFctPrognozData SET sumLast = 6 WHERE receiver = 73 RETURNING 1) SELECT count(*) FROM w
$a|pw-a|denied|UPDATE tSysDbVersion SET n = 35
$a|pw-a|denied|DELETE FROM tFctOpJournal
$a|pw-a|1|WITH w AS (UPDATE tFctPrognoz SET status = 1 WHERE id = 200 RETURNING 1) SELECT count(*) FROM w
EOF
    # The group row above the granted receiver holds the sums of both its members, the one the user
    # may not read included; the other receiver's row is as the expert left it.
    expect "postgresql: the group rows above a user's receiver sum every member" "71:1:16.0000 71:2:4.0000 73:1:6.0000" \
        "$(pq "SELECT receiver || ':' || product || ':' || sumLast FROM tFctPrognozData
                WHERE prognoz = 200 AND receiver IN (71, 73) ORDER BY receiver, product" | tr '\n' ' ' | sed 's/ $//')"
    expect "postgresql: the version untouched by the logins" "36" "$(pq "SELECT n FROM tSysDbVersion")"
    # The owner's sums go only into the owner's own tables: one that another login took over stops them.
    local keeper
    keeper=$(pq "SELECT tableowner FROM pg_tables WHERE schemaname = 'public' AND tablename = 'tclsreceivermap'")
    pr "ALTER TABLE tClsReceiverMap OWNER TO $e"
    out=$(as_db "$u" pw-u "$pg_db" "SELECT * FROM lir_recalc_receiver_groups(200, 72, ARRAY[1])" 2>&1)
    grep -qF 'Таблицы базы данных не принадлежат ее владельцу.' <<<"$out" && pass \
        || fail "postgresql: the sums above a receiver refuse a table of another owner: $out"
    pr "ALTER TABLE tClsReceiverMap OWNER TO \"$keeper\""

    # Saves that would make a login without a password or with every role, each with its reason.
    local save
    while IFS='|' read -r save want; do
        out=$(as_db "$a" pw-a "$pg_db" "SELECT lir_user_save($save)" 2>&1)
        [ $? -ne 0 ] && grep -qF "$want" <<<"$out" && pass || fail "postgresql: lir_user_save($save): $out"
    done <<EOF
'${p}_neg', 'pw', -1|Недопустимый набор ролей пользователя: -1.
'${p}_neg', 'pw', 8|Недопустимый набор ролей пользователя: 8.
'${p}_nopw', '', 4|Необходимо указать пароль пользователя
'DOM\\${p}', 'pw', 4|имя с обратной косой чертой сервер не принимает
EOF
    expect "postgresql: refused saves make no login" 0 \
        "$(pq "SELECT count(*) FROM pg_roles WHERE rolname IN ('${p}_neg', '${p}_nopw', 'DOM\\${p}')")"
}

# What no login of a group reaches beyond its tables, over every object of a kind: each attempt of
# the block runs under its own savepoint, a refusal is passed over, and the block ends by naming what
# it tried and what was let through; its end undoes the rest.
# attempts LOGIN PASSWORD "FOR x IN <select> LOOP" "<statement with %s for x>"
attempts() {
    as_db "$1" "$2" "$pg_db" "DO \$\$
        DECLARE x text; tried int := 0; allowed text := '';
        BEGIN
            $3
                tried := tried + 1;
                BEGIN
                    EXECUTE format('$4', x);
                    allowed := allowed || ' ' || x;
                EXCEPTION WHEN insufficient_privilege THEN NULL;
                END;
            END LOOP;
            RAISE EXCEPTION 'tried % let through %:%', tried, cardinality(string_to_array(btrim(allowed), ' ')), allowed;
        END \$\$" 2>&1 | head -n 1
}

# Sequences, locks, the identities' function and the database's limits, as real logins.
run_pg_reach() {
    local p=$1 u=${1}_u4 e=${1}_e2 a=${1}_a1 entry who pw
    local sequences relations
    sequences=$(pq "SELECT count(*) FROM pg_class WHERE relkind = 'S'")
    relations=$(pq "SELECT count(*) FROM pg_class WHERE relnamespace = 'public'::regnamespace AND relkind IN ('r', 'v')")
    [ "$sequences" -ge 10 ] && pass || fail "postgresql: the identities' sequences: $sequences"
    for entry in "$u:pw-u" "$e:pw-e" "$a:pw-a"; do
        IFS=: read -r who pw <<<"$entry"
        expect "postgresql: $who calls nextval on no sequence" "ERROR:  tried $sequences let through 0:" \
            "$(attempts "$who" "$pw" "FOR x IN SELECT oid::regclass::text FROM pg_class WHERE relkind = 'S' LOOP" \
                        "SELECT nextval(%L)")"
        expect "postgresql: $who calls setval on no sequence" "ERROR:  tried $sequences let through 0:" \
            "$(attempts "$who" "$pw" "FOR x IN SELECT oid::regclass::text FROM pg_class WHERE relkind = 'S' LOOP" \
                        "SELECT setval(%L, 2147483647)")"
    done
    for entry in "$u:pw-u" "$e:pw-e" "$a:pw-a"; do
        IFS=: read -r who pw <<<"$entry"
        expect "postgresql: $who takes no advisory lock of its own" "ERROR:  tried 4 let through 0:" \
            "$(attempts "$who" "$pw" "FOR x IN SELECT unnest(ARRAY['pg_advisory_lock(4999506, 1)', 'pg_advisory_xact_lock(1)',
                                     'pg_try_advisory_lock(1)', 'pg_advisory_lock_shared(4999507, 200)']) LOOP" "SELECT %s")"
    done
    # The program's own locks: each login only over what it may write.
    local call want got
    while IFS='|' read -r who pw call want; do
        got=$(as_db "$who" "$pw" "$pg_db" "SELECT 'taken' FROM $call" 2>&1 | head -n 1)
        case $want in
        taken) expect "postgresql: $who takes $call" taken "$got" ;;
        *) grep -qF "$want" <<<"$got" && pass || fail "postgresql: $who takes $call: $got" ;;
        esac
    done <<EOF
$u|pw-u|lir_lock_derived_rows(1, 200, 72)|taken
$u|pw-u|lir_lock_derived_rows(1, 200, 73)|Нет прав на данные прогноза 200.
$u|pw-u|lir_lock_derived_rows(2, 200, NULL)|Нет прав на данные прогноза 200.
$u|pw-u|lir_lock_derived_rows(3, 200, NULL)|taken
$u|pw-u|lir_lock_derived_rows(3, 201, NULL)|Нет прав на данные прогноза 201.
$e|pw-e|lir_lock_derived_rows(2, 200, NULL)|taken
$u|pw-u|lir_lock_new_id('tclsimporteventtype')|taken
$u|pw-u|lir_lock_new_id('tclsproduct')|Нет прав на добавление строк в таблицу tclsproduct.
$e|pw-e|lir_lock_new_id('tclsproduct')|taken
EOF

    # LOCK TABLE asks for rights on the table itself, which a user holds on no table.
    local mode
    for mode in 'ROW SHARE' 'ROW EXCLUSIVE' 'SHARE UPDATE EXCLUSIVE' 'SHARE' 'SHARE ROW EXCLUSIVE' 'EXCLUSIVE' 'ACCESS EXCLUSIVE'; do
        expect "postgresql: a user locks no table in $mode mode" "ERROR:  tried $relations let through 0:" \
            "$(attempts "$u" pw-u "FOR x IN SELECT oid::regclass::text FROM pg_class
                                     WHERE relnamespace = 'public'::regnamespace AND relkind IN ('r', 'v') LOOP" \
                        "LOCK TABLE %s IN $mode MODE NOWAIT")"
    done
    local shared
    shared=$(attempts "$u" pw-u "FOR x IN SELECT oid::regclass::text FROM pg_class
                                   WHERE relnamespace = 'public'::regnamespace AND relkind IN ('r', 'v') LOOP" \
                      "LOCK TABLE %s IN ACCESS SHARE MODE NOWAIT")
    expect "postgresql: a user still reads under ACCESS SHARE" "ERROR:  tried $relations let through $relations" \
        "$(sed 's/\(let through [0-9]*\):.*/\1/' <<<"$shared")"

    # An expert's rows under ids of their own move the identity up to the table's largest id, never
    # back and never to a number the caller names.
    local last="SELECT pg_sequence_last_value(pg_get_serial_sequence('tfctmailing', 'id')) || '|' ||
                       pg_sequence_last_value(pg_get_serial_sequence('tfctimportstatus', 'id'))"
    as_db "$e" pw-e "$pg_db" "INSERT INTO tFctMailing (id, prognoz, MailingDate) VALUES (9000, 200, localtimestamp);
                              SELECT lir_advance_identity('tfctmailing');
                              INSERT INTO tFctImportStatus (id, prognoz, receiver, event) VALUES (9001, 200, 72, 1);
                              SELECT lir_advance_identity('tFctImportStatus')" >/dev/null && pass \
        || fail "postgresql: an expert writes rows under ids of its own"
    expect "postgresql: the identities moved past the given ids" "9000|9001" "$(pq "$last")"
    pr "DELETE FROM tFctMailing WHERE id = 9000; DELETE FROM tFctImportStatus WHERE id = 9001"
    as_db "$e" pw-e "$pg_db" "SELECT lir_advance_identity('tfctmailing'), lir_advance_identity('tfctimportstatus')" \
        >/dev/null || fail "postgresql: the identities advanced again"
    expect "postgresql: the identities never move back" "9000|9001" "$(pq "$last")"
    expect "postgresql: a new row after them" "9001" \
        "$(as_db "$u" pw-u "$pg_db" "INSERT INTO tFctMailing (prognoz, MailingDate) VALUES (200, localtimestamp) RETURNING id" 2>&1)"
    local out
    out=$(as_db "$a" pw-a "$pg_db" "SELECT lir_advance_identity('tclsreceiver')" 2>&1)
    grep -qF 'Идентификаторы таблицы tclsreceiver не сдвигаются.' <<<"$out" && pass \
        || fail "postgresql: the identity of a table written under new ids only: $out"

    expect "postgresql: the database's limits on stalled sessions" \
        "idle_in_transaction_session_timeout=60s lock_timeout=120s statement_timeout=10min" \
        "$(pq "SELECT string_agg(c, ' ' ORDER BY c) FROM pg_db_role_setting s
                 JOIN pg_database d ON d.oid = s.setdatabase, unnest(s.setconfig) c
                WHERE d.datname = current_database() AND s.setrole = 0")"
    expect "postgresql: only the groups make temporary tables" "lir_admins:t lir_experts:t lir_users:t public:f" \
        "$(pq "SELECT string_agg(g || ':' || has_database_privilege(g, current_database(), 'TEMPORARY'), ' ' ORDER BY g)
                 FROM unnest(ARRAY['public', 'lir_admins', 'lir_experts', 'lir_users']) g" | sed 's/true/t/g;s/false/f/g')"
}

run_sqlite
run_pg

echo "schema: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] || exit 1
[ "$skipped" -eq 0 ] || exit 77
exit 0
