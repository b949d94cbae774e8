-- Brings an existing database of any earlier schema, down to the first generation whose tables bore
-- no tCls, tFct or tSys prefix, to the schema of core/sql/postgresql/schema.sql with its data kept.
-- Bastrel runs it in one transaction, once it holds every table of the program (so that nothing
-- has changed when another session keeps one) and made the schema's tables in the schema lir_ref for
-- comparison: every step looks there and in the catalog and does only what is still to do, so the
-- script may run again. Before the keys are made ("создание констрейнтов") Bastrel asks
-- lir_ref.broken_references() for the rows that would break them and names those rows instead. After
-- it Bastrel drops lir_ref and runs the schema's programmable objects and rights, the administrator,
-- the unit symbols and the version stamp. Any failure rolls it all
-- back. What the steps change in the rows or the rights is written to the operation journal.
-- Batches are separated by lines holding only GO.

-- переименование существующих таблиц; what was renamed is kept for the run, so that messages name
-- the tables as the database named them before.
DO $$
DECLARE
    r record;
BEGIN
    CREATE TEMP TABLE IF NOT EXISTS lir_renamed (old name, new name) ON COMMIT DROP;
    FOR r IN
        SELECT v.old, v.new FROM (VALUES
            (1, 'importeventtype', 'tclsimporteventtype'), (2, 'dbversion', 'tsysdbversion'),
            (3, 'totalprognoz', 'tfcttotalprognoz'), (4, 'prognozdata', 'tfctprognozdata'),
            (5, 'prognoz', 'tfctprognoz'), (6, 'price', 'tfctprice'), (7, 'oldimportmap', 'tfctoldimportmap'),
            (8, 'news', 'tfctnews'), (9, 'importstatus', 'tfctimportstatus'), (10, 'faq', 'tfctfaq'),
            (11, 'documentation', 'tfctdocumentation'), (12, 'receivermap', 'tclsreceivermap'),
            (13, 'receiver', 'tclsreceiver'), (14, 'product', 'tclsproduct'), (15, 'measurement', 'tclsmeasurement'),
            (16, 'mconvert', 'tclsmconvert')) v (n, old, new)
        ORDER BY v.n
    LOOP
        IF NOT EXISTS (SELECT 1 FROM pg_tables WHERE schemaname = 'public' AND tablename = r.new)
           AND EXISTS (SELECT 1 FROM pg_tables WHERE schemaname = 'public' AND tablename = r.old) THEN
            EXECUTE format('ALTER TABLE public.%I RENAME TO %I', r.old, r.new);
            INSERT INTO lir_renamed (old, new) VALUES (r.old, r.new);
        END IF;
    END LOOP;
END
$$
GO

-- создание новых таблиц: every table of the schema that is still missing, with its columns, their
-- defaults and checks; keys and indexes follow below.
DO $$
DECLARE
    t name;
BEGIN
    FOR t IN
        SELECT r.tablename FROM pg_tables r
         WHERE r.schemaname = 'lir_ref'
           AND NOT EXISTS (SELECT 1 FROM pg_tables p WHERE p.schemaname = 'public' AND p.tablename = r.tablename)
         ORDER BY r.tablename
    LOOP
        EXECUTE format('CREATE TABLE public.%I (LIKE lir_ref.%I INCLUDING DEFAULTS INCLUDING IDENTITY '
                       'INCLUDING CONSTRAINTS)', t, t);
    END LOOP;
END
$$
GO

-- изменение формата существующих таблиц: missing columns with the schema's type and default, then
-- each column's type, default and nullability as the schema has them. A NOT NULL the data may not
-- yet meet is set after the data fixes.
DO $$
DECLARE
    c record;
    v_stmt text;
BEGIN
    FOR c IN
        SELECT r.attrelid::regclass AS reftable, cl.relname AS tab, r.attname AS col,
               format_type(r.atttypid, r.atttypmod) AS type, pg_get_expr(rd.adbin, rd.adrelid) AS def,
               r.attnotnull AS notnull, r.attidentity <> '' AS identity,
               p.attname IS NOT NULL AS present, format_type(p.atttypid, p.atttypmod) AS ptype,
               pg_get_expr(pd.adbin, pd.adrelid) AS pdef, p.attnotnull AS pnotnull, p.attidentity <> '' AS pidentity
          FROM pg_attribute r
          JOIN pg_class cl ON cl.oid = r.attrelid AND cl.relkind = 'r'
          JOIN pg_namespace n ON n.oid = cl.relnamespace AND n.nspname = 'lir_ref'
          LEFT JOIN pg_attrdef rd ON rd.adrelid = r.attrelid AND rd.adnum = r.attnum
          JOIN pg_class pc ON pc.relname = cl.relname AND pc.relkind = 'r'
          JOIN pg_namespace pn ON pn.oid = pc.relnamespace AND pn.nspname = 'public'
          LEFT JOIN pg_attribute p ON p.attrelid = pc.oid AND p.attname = r.attname AND NOT p.attisdropped
          LEFT JOIN pg_attrdef pd ON pd.adrelid = p.attrelid AND pd.adnum = p.attnum
         WHERE r.attnum > 0 AND NOT r.attisdropped
         ORDER BY cl.relname, r.attnum
    LOOP
        v_stmt := NULL;
        IF NOT c.present THEN
            v_stmt := format('ALTER TABLE public.%I ADD COLUMN %I %s', c.tab, c.col, c.type)
                || CASE WHEN c.def IS NOT NULL THEN ' DEFAULT ' || c.def ELSE '' END
                || CASE WHEN c.notnull AND c.def IS NOT NULL THEN ' NOT NULL' ELSE '' END;
            EXECUTE v_stmt;
            CONTINUE;
        END IF;
        IF c.ptype <> c.type THEN
            EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I TYPE %s USING %I::%s',
                           c.tab, c.col, c.type, c.col, c.type);
        END IF;
        IF NOT c.pidentity AND NOT c.identity AND c.pdef IS DISTINCT FROM c.def THEN
            EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I %s', c.tab, c.col,
                           CASE WHEN c.def IS NULL THEN 'DROP DEFAULT' ELSE 'SET DEFAULT ' || c.def END);
        END IF;
        IF c.pnotnull AND NOT c.notnull THEN
            EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I DROP NOT NULL', c.tab, c.col);
        END IF;
    END LOOP;
END
$$
GO

-- Receivers no longer carry the column "used".
ALTER TABLE tClsReceiver DROP COLUMN IF EXISTS used
GO

-- Ids as the schema has them: the four tables whose ids the trigger numbers lose an identity,
-- the others get one past their largest id. A serial's sequence goes with its default.
DO $$
DECLARE
    c record;
    v_seq text;
BEGIN
    FOR c IN
        SELECT cl.relname AS tab, r.attname AS col, r.attidentity <> '' AS identity, p.attidentity <> '' AS pidentity,
               pg_get_expr(pd.adbin, pd.adrelid) AS pdef
          FROM pg_attribute r
          JOIN pg_class cl ON cl.oid = r.attrelid AND cl.relkind = 'r'
          JOIN pg_namespace n ON n.oid = cl.relnamespace AND n.nspname = 'lir_ref'
          JOIN pg_class pc ON pc.relname = cl.relname AND pc.relkind = 'r'
          JOIN pg_namespace pn ON pn.oid = pc.relnamespace AND pn.nspname = 'public'
          JOIN pg_attribute p ON p.attrelid = pc.oid AND p.attname = r.attname AND NOT p.attisdropped
          LEFT JOIN pg_attrdef pd ON pd.adrelid = p.attrelid AND pd.adnum = p.attnum
         WHERE r.attnum > 0 AND NOT r.attisdropped AND (r.attidentity <> '') <> (p.attidentity <> '')
         ORDER BY cl.relname
    LOOP
        IF c.pidentity THEN
            EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I DROP IDENTITY', c.tab, c.col);
        ELSE
            IF c.pdef LIKE 'nextval(%' THEN
                v_seq := pg_get_serial_sequence(format('public.%I', c.tab), c.col);
                EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I DROP DEFAULT', c.tab, c.col);
                IF v_seq IS NOT NULL THEN
                    EXECUTE format('DROP SEQUENCE %s', v_seq);
                END IF;
            ELSIF c.pdef IS NOT NULL THEN
                EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I DROP DEFAULT', c.tab, c.col);
            END IF;
            EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I SET NOT NULL', c.tab, c.col);
            EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I ADD GENERATED BY DEFAULT AS IDENTITY', c.tab, c.col);
            EXECUTE format('SELECT setval(pg_get_serial_sequence(%L, %L), coalesce(max(%I), 0) + 1, false) FROM public.%I',
                           format('public.%I', c.tab), c.col, c.col, c.tab);
        END IF;
    END LOOP;
END
$$
GO

-- What the rights of earlier versions let every login do, mended before anything writes a row: a
-- sequence set back below its table's ids or up to its end gives ids that fail; each starts again
-- just past its table's largest id. Large objects are no part of the program: those that no column
-- of its tables refers to go. Bastrel names what was repaired in its closing message.
DO $$
DECLARE
    c record;
    v_next numeric;
    v_restart bigint;
    v_refs text;
    v_removed bigint;
BEGIN
    CREATE TEMP TABLE IF NOT EXISTS lir_repaired (kind text, what text, was numeric, n bigint) ON COMMIT DROP;
    FOR c IN
        SELECT s.oid::regclass AS seq, t.oid::regclass AS tab, t.relname, a.attname AS col,
               a.attidentity <> '' AS identity, q.seqincrement, q.seqmin, q.seqmax
          FROM pg_depend d
          JOIN pg_class s ON s.oid = d.objid AND s.relkind = 'S'
          JOIN pg_sequence q ON q.seqrelid = s.oid
          JOIN pg_class t ON t.oid = d.refobjid AND t.relkind IN ('r', 'p')
          JOIN pg_namespace n ON n.oid = t.relnamespace AND n.nspname IN ('public', 'lir_private')
          JOIN pg_attribute a ON a.attrelid = t.oid AND a.attnum = d.refobjsubid
         WHERE d.classid = 'pg_class'::regclass AND d.refclassid = 'pg_class'::regclass
           AND d.deptype IN ('a', 'i') AND q.seqincrement > 0
         ORDER BY t.relname, a.attname
    LOOP
        EXECUTE format('SELECT greatest(coalesce(max(%I), 0) + 1, %s) FROM %s', c.col, c.seqmin, c.tab)
           INTO v_restart;
        -- A row that holds the sequence's last id leaves nothing to start from.
        CONTINUE WHEN v_restart > c.seqmax;
        EXECUTE format('SELECT CASE WHEN is_called THEN last_value::numeric + %s ELSE last_value END FROM %s',
                       c.seqincrement, c.seq)
           INTO v_next;
        CONTINUE WHEN v_next = v_restart;
        -- RESTART, unlike setval, goes back with a rollback.
        IF c.identity THEN
            EXECUTE format('ALTER TABLE %s ALTER COLUMN %I RESTART WITH %s', c.tab, c.col, v_restart);
        ELSE
            EXECUTE format('ALTER SEQUENCE %s RESTART WITH %s', c.seq, v_restart);
        END IF;
        INSERT INTO lir_repaired (kind, what, was, n) VALUES ('sequence', c.relname, v_next, v_restart);
    END LOOP;

    SELECT string_agg(format('SELECT %I FROM %s', a.attname, t.oid::regclass), ' UNION ALL ') INTO v_refs
      FROM pg_attribute a
      JOIN pg_type ty ON ty.oid = a.atttypid
      JOIN pg_class t ON t.oid = a.attrelid AND t.relkind IN ('r', 'p')
      JOIN pg_namespace n ON n.oid = t.relnamespace AND n.nspname IN ('public', 'lir_private')
     WHERE a.attnum > 0 AND NOT a.attisdropped AND 'oid'::regtype IN (ty.oid, ty.typbasetype);
    EXECUTE 'SELECT count(lo_unlink(m.oid)) FROM pg_largeobject_metadata m'
        || CASE WHEN v_refs IS NULL THEN ''
                ELSE ' WHERE m.oid NOT IN (SELECT r FROM (' || v_refs || ') x (r) WHERE r IS NOT NULL)' END
       INTO v_removed;
    IF v_removed > 0 THEN
        INSERT INTO lir_repaired (kind, n) VALUES ('large object', v_removed);
    END IF;
    -- The journal's own sequence is mended by now.
    INSERT INTO tFctOpJournal (Text)
    SELECT CASE r.kind
           WHEN 'sequence' THEN format('Подготовка БД: следующий номер записи таблицы %s — %s вместо %s.',
                                       r.what, r.n, r.was)
           ELSE format('Подготовка БД: удалены большие объекты, на которые не ссылается ни одна запись: %s.', r.n)
           END
      FROM lir_repaired r ORDER BY r.kind DESC, r.what;
END
$$
GO

-- изменение данных
UPDATE tFctPrognoz SET status = 0 WHERE status IS NULL
GO

-- The owner of a forecast without one: the receiver of category 0 in its receiver map. A forecast
-- that maps several leaves every forecast without an owner, as the data cannot say which one.
DO $$
DECLARE
    v_forecast int;
BEGIN
    SELECT m.prognoz INTO v_forecast
      FROM tClsReceiverMap m JOIN tClsReceiver r ON r.id = m.receiver AND r.category = 0
      JOIN tFctPrognoz p ON p.id = m.prognoz AND p.owner IS NULL
     GROUP BY m.prognoz HAVING count(*) > 1
     ORDER BY m.prognoz LIMIT 1;
    IF FOUND THEN
        INSERT INTO tFctOpJournal (Text) VALUES (format(
            'Подготовка БД: владельцы прогнозов не назначены: прогнозу %s принадлежат несколько получателей '
            'верхнего уровня.', v_forecast));
        RETURN;
    END IF;
    UPDATE tFctPrognoz p
       SET owner = o.id, ownername = o.name
      FROM (SELECT p2.id AS prognoz, r.id, r.name
              FROM tFctPrognoz p2
              LEFT JOIN (tClsReceiverMap m JOIN tClsReceiver r ON r.id = m.receiver AND r.category = 0)
                     ON m.prognoz = p2.id) o
     WHERE o.prognoz = p.id AND p.owner IS NULL;
END
$$
GO

UPDATE tClsProduct SET avRep = 0 WHERE avRep IS NULL
GO

UPDATE tClsProduct SET avCur = 0 WHERE avCur IS NULL
GO

UPDATE tClsProduct SET avProg = 0 WHERE avProg IS NULL
GO

UPDATE tClsProduct SET priceIdx = 1 WHERE priceIdx IS NULL
GO

UPDATE tClsProduct SET measurementNatural = NULL WHERE measurementNatural = 0
GO

UPDATE tClsProduct SET measurementPrice = NULL WHERE measurementPrice = 0
GO

-- A product's code, when it has none, is its name up to the first blank.
UPDATE tClsProduct
   SET code = CASE WHEN strpos(name, ' ') > 0 THEN btrim(left(name, strpos(name, ' ') - 1), ' ') END
 WHERE code IS NULL
GO

-- Versions up to 22 kept the code at the head of the product's name. The version must be read from
-- the one row there is: with several the names stay as they are.
DO $$
DECLARE
    v_rows int := (SELECT count(*) FROM tSysDbVersion);
BEGIN
    IF v_rows > 1 THEN
        INSERT INTO tFctOpJournal (Text) VALUES (
            'Подготовка БД: наименования продуктов не разделены: в таблице версии несколько строк.');
    ELSIF v_rows = 1 AND (SELECT n FROM tSysDbVersion) < 23 THEN
        UPDATE tClsProduct SET name = btrim(substr(name, strpos(name, ' ') + 1), ' ') WHERE strpos(name, ' ') > 0;
    END IF;
END
$$
GO

-- A unit stored as "Штука [796]" becomes "Штука" with the code 796.
UPDATE tClsMeasurement
   SET code = substr(name, strpos(name, '[') + 1, 3),
       name = CASE WHEN strpos(name, '[') > 2 THEN left(name, strpos(name, '[') - 2) ELSE '' END
 WHERE strpos(name, '[') > 0
GO

-- A product has one price row in a forecast: of rows that two writers once added at the same time
-- the newest is kept.
DO $$
DECLARE
    r record;
BEGIN
    FOR r IN
        DELETE FROM tFctPrice p USING tFctPrice q
         WHERE q.prognoz = p.prognoz AND q.product = p.product AND q.id > p.id
        RETURNING p.id, p.prognoz, p.product
    LOOP
        INSERT INTO tFctOpJournal (Text) VALUES (format(
            'Подготовка БД: удалена повторная строка цены %s продукта %s прогноза %s.', r.id, r.product, r.prognoz));
    END LOOP;
END
$$
GO

DELETE FROM tSvcIdentifiers
GO

-- The NOT NULL of the schema, now that the data meet it.
DO $$
DECLARE
    c record;
BEGIN
    FOR c IN
        SELECT cl.relname AS tab, r.attname AS col
          FROM pg_attribute r
          JOIN pg_class cl ON cl.oid = r.attrelid AND cl.relkind = 'r'
          JOIN pg_namespace n ON n.oid = cl.relnamespace AND n.nspname = 'lir_ref'
          JOIN pg_class pc ON pc.relname = cl.relname AND pc.relkind = 'r'
          JOIN pg_namespace pn ON pn.oid = pc.relnamespace AND pn.nspname = 'public'
          JOIN pg_attribute p ON p.attrelid = pc.oid AND p.attname = r.attname AND NOT p.attisdropped
         WHERE r.attnum > 0 AND NOT r.attisdropped AND r.attnotnull AND NOT p.attnotnull
    LOOP
        EXECUTE format('ALTER TABLE public.%I ALTER COLUMN %I SET NOT NULL', c.tab, c.col);
    END LOOP;
END
$$
GO

-- The rows that the schema's foreign keys would refuse: for each key, the first ten rows of the
-- table that refers (by the columns of its primary key, else by those of the key), the values of
-- the key's columns and what they look for in the table they refer to, and how many rows there are. Tables as the database named
-- them before the upgrade. Bastrel asks before the keys are made and names the rows to mend.
CREATE FUNCTION lir_ref.broken_references()
RETURNS TABLE (tab text, key_names text[], key_values text[], from_names text[], parent text, ref_names text[],
               ref_values text[], total bigint)
LANGUAGE plpgsql AS $$
DECLARE
    k record;
BEGIN
    FOR k IN
        SELECT cl.relname AS tab, pc.relname AS parent,
               (SELECT array_agg(a.attname::text ORDER BY u.n)
                  FROM unnest(coalesce(pk.conkey, co.conkey)) WITH ORDINALITY u (attnum, n)
                  JOIN pg_attribute a ON a.attrelid = co.conrelid AND a.attnum = u.attnum) AS keys,
               (SELECT array_agg(a.attname::text ORDER BY u.n) FROM unnest(co.conkey) WITH ORDINALITY u (attnum, n)
                  JOIN pg_attribute a ON a.attrelid = co.conrelid AND a.attnum = u.attnum) AS cols,
               (SELECT array_agg(a.attname::text ORDER BY u.n) FROM unnest(co.confkey) WITH ORDINALITY u (attnum, n)
                  JOIN pg_attribute a ON a.attrelid = co.confrelid AND a.attnum = u.attnum) AS refs
          FROM pg_constraint co
          JOIN pg_class cl ON cl.oid = co.conrelid
          JOIN pg_namespace n ON n.oid = cl.relnamespace AND n.nspname = 'lir_ref'
          JOIN pg_class pc ON pc.oid = co.confrelid
          LEFT JOIN pg_constraint pk ON pk.conrelid = co.conrelid AND pk.contype = 'p'
         WHERE co.contype = 'f'
         ORDER BY cl.relname, co.conname
    LOOP
        RETURN QUERY EXECUTE format(
            'SELECT %L::text, %L::text[], ARRAY[%s]::text[], %L::text[], %L::text, %L::text[], ARRAY[%s]::text[], '
            'count(*) OVER () '
            'FROM public.%I c WHERE %s AND NOT EXISTS (SELECT 1 FROM public.%I p WHERE %s) ORDER BY %s LIMIT 10',
            coalesce((SELECT r.old FROM lir_renamed r WHERE r.new = k.tab), k.tab), k.keys,
            (SELECT string_agg(format('c.%I::text', x), ', ' ORDER BY i) FROM unnest(k.keys) WITH ORDINALITY t (x, i)),
            k.cols, coalesce((SELECT r.old FROM lir_renamed r WHERE r.new = k.parent), k.parent), k.refs,
            (SELECT string_agg(format('c.%I::text', x), ', ' ORDER BY i) FROM unnest(k.cols) WITH ORDINALITY t (x, i)),
            k.tab,
            (SELECT string_agg(format('c.%I IS NOT NULL', x), ' AND ') FROM unnest(k.cols) x),
            k.parent,
            (SELECT string_agg(format('p.%I = c.%I', k.refs[i], k.cols[i]), ' AND ')
               FROM generate_subscripts(k.cols, 1) i),
            (SELECT string_agg(format('c.%I', x), ', ' ORDER BY i) FROM unnest(k.keys) WITH ORDINALITY t (x, i)));
    END LOOP;
END
$$
GO

-- создание констрейнтов: the schema's keys, checks and indexes by their names. One of the same kind
-- on the same columns under another name takes the schema's name; an index that differs from the
-- schema's is made again. The key from data rows to receivers comes without cascading deletes. A
-- failure names its statement.
DO $$
DECLARE
    c record;
    v_defs text[] := '{}';
    v_names text[] := '{}';
    v_tables text[] := '{}';
    v_other name;
    v_stmt text;
    v_path text := current_setting('search_path');
BEGIN
    -- The definitions are read with lir_ref on the path, so that keys name no schema (an index
    -- names its table's schema always).
    PERFORM set_config('search_path', 'lir_ref', true);
    FOR c IN
        SELECT cl.relname AS tab, co.conname, co.contype, pg_get_constraintdef(co.oid) AS def,
               co.conkey, co.confrelid
          FROM pg_constraint co
          JOIN pg_class cl ON cl.oid = co.conrelid
          JOIN pg_namespace n ON n.oid = cl.relnamespace AND n.nspname = 'lir_ref'
         WHERE co.contype IN ('p', 'u', 'c', 'f')
         ORDER BY CASE co.contype WHEN 'p' THEN 1 WHEN 'u' THEN 2 WHEN 'c' THEN 3 ELSE 4 END, cl.relname, co.conname
    LOOP
        CONTINUE WHEN EXISTS (SELECT 1 FROM pg_constraint p JOIN pg_class pc ON pc.oid = p.conrelid
                               JOIN pg_namespace pn ON pn.oid = pc.relnamespace AND pn.nspname = 'public'
                              WHERE pc.relname = c.tab AND p.conname = c.conname);
        v_tables := v_tables || c.tab::text;
        v_names := v_names || c.conname::text;
        v_defs := v_defs || CASE WHEN c.conname = 'fk_tfctprognozdata_tclsreceiver'
                                 THEN replace(c.def, ' ON DELETE CASCADE', '') ELSE c.def END;
    END LOOP;
    PERFORM set_config('search_path', v_path, true);
    FOR i IN 1 .. coalesce(array_length(v_defs, 1), 0) LOOP
        SELECT p.conname INTO v_other
          FROM pg_constraint p JOIN pg_class pc ON pc.oid = p.conrelid
          JOIN pg_namespace pn ON pn.oid = pc.relnamespace AND pn.nspname = 'public'
         WHERE pc.relname = v_tables[i] AND pg_get_constraintdef(p.oid) = v_defs[i]
         LIMIT 1;
        IF FOUND THEN
            v_stmt := format('ALTER TABLE public.%I RENAME CONSTRAINT %I TO %I', v_tables[i], v_other, v_names[i]);
        ELSE
            v_stmt := format('ALTER TABLE public.%I ADD CONSTRAINT %I %s', v_tables[i], v_names[i], v_defs[i]);
        END IF;
        BEGIN
            EXECUTE v_stmt;
        EXCEPTION WHEN OTHERS THEN
            RAISE EXCEPTION '%', SQLERRM USING DETAIL = v_stmt, ERRCODE = SQLSTATE;
        END;
    END LOOP;

    v_defs := '{}';
    v_names := '{}';
    PERFORM set_config('search_path', 'lir_ref', true);
    FOR c IN
        SELECT i.indexname, pg_get_indexdef(x.indexrelid) AS def
          FROM pg_indexes i
          JOIN pg_class ic ON ic.relname = i.indexname
          JOIN pg_namespace n ON n.oid = ic.relnamespace AND n.nspname = 'lir_ref'
          JOIN pg_index x ON x.indexrelid = ic.oid
         WHERE i.schemaname = 'lir_ref'
           AND NOT EXISTS (SELECT 1 FROM pg_constraint co WHERE co.conindid = ic.oid)
         ORDER BY i.indexname
    LOOP
        v_names := v_names || c.indexname::text;
        v_defs := v_defs || replace(c.def, ' ON lir_ref.', ' ON public.');
    END LOOP;
    PERFORM set_config('search_path', v_path, true);
    FOR i IN 1 .. coalesce(array_length(v_defs, 1), 0) LOOP
        SELECT pg_get_indexdef(ic.oid) INTO v_stmt
          FROM pg_class ic JOIN pg_namespace n ON n.oid = ic.relnamespace AND n.nspname = 'public'
         WHERE ic.relname = v_names[i] AND ic.relkind = 'i';
        CONTINUE WHEN FOUND AND v_stmt = v_defs[i];
        IF FOUND THEN
            EXECUTE format('DROP INDEX public.%I', v_names[i]);
        END IF;
        BEGIN
            EXECUTE v_defs[i];
        EXCEPTION WHEN OTHERS THEN
            RAISE EXCEPTION '%', SQLERRM USING DETAIL = v_defs[i], ERRCODE = SQLSTATE;
        END;
    END LOOP;
END
$$
GO

-- Rights of the model before logins connected one by one: while the groups may connect here, each
-- of their members gets CONNECT of its own, so that nobody is locked out when the groups lose it.
-- Administrators lose the right to create roles (the user functions do that work).
DO $$
DECLARE
    r record;
BEGIN
    IF EXISTS (SELECT 1 FROM pg_database d CROSS JOIN LATERAL aclexplode(d.datacl) a
                JOIN pg_roles g ON g.oid = a.grantee
               WHERE d.datname = current_database() AND a.privilege_type = 'CONNECT'
                 AND g.rolname IN ('lir_admins', 'lir_experts', 'lir_users')) THEN
        FOR r IN
            WITH RECURSIVE members (oid) AS (
                SELECT m.member FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid
                 WHERE g.rolname IN ('lir_admins', 'lir_experts', 'lir_users')
                UNION
                SELECT m.member FROM pg_auth_members m JOIN members s ON m.roleid = s.oid)
            SELECT u.rolname FROM members s JOIN pg_roles u ON u.oid = s.oid
             WHERE u.rolcanlogin
               AND NOT EXISTS (SELECT 1 FROM pg_database d CROSS JOIN LATERAL aclexplode(d.datacl) a
                                WHERE d.datname = current_database() AND a.grantee = u.oid
                                  AND a.privilege_type = 'CONNECT')
             ORDER BY u.rolname
        LOOP
            EXECUTE format('GRANT CONNECT ON DATABASE %I TO %I', current_database(), r.rolname);
            INSERT INTO tFctOpJournal (Text) VALUES (format(
                'Подготовка БД: учетной записи %s дано право подключения к базе данных.', r.rolname));
        END LOOP;
    END IF;
    FOR r IN
        SELECT u.rolname FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid
          JOIN pg_roles u ON u.oid = m.member
         WHERE g.rolname = 'lir_admins' AND u.rolcreaterole AND NOT u.rolsuper
         ORDER BY u.rolname
    LOOP
        EXECUTE format('ALTER ROLE %I NOCREATEROLE', r.rolname);
        INSERT INTO tFctOpJournal (Text) VALUES (format(
            'Подготовка БД: у администратора %s отнято право создавать роли.', r.rolname));
    END LOOP;
END
$$
GO

-- создание дополнительных процедур и функций: the functions and views go, with the triggers on
-- them; the schema makes them anew from its one definition. Functions of extensions stay.
DO $$
DECLARE
    r record;
BEGIN
    FOR r IN
        SELECT format('%I.%I', n.nspname, c.relname) AS name FROM pg_class c
          JOIN pg_namespace n ON n.oid = c.relnamespace AND n.nspname = 'public'
         WHERE c.relkind = 'v'
    LOOP
        EXECUTE format('DROP VIEW IF EXISTS %s CASCADE', r.name);
    END LOOP;
    FOR r IN
        SELECT p.oid::regprocedure AS name FROM pg_proc p
          JOIN pg_namespace n ON n.oid = p.pronamespace AND n.nspname IN ('public', 'lir_private')
         WHERE p.prokind = 'f'
           AND NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = 'pg_proc'::regclass AND d.objid = p.oid
                             AND d.deptype = 'e')
    LOOP
        EXECUTE format('DROP FUNCTION IF EXISTS %s CASCADE', r.name);
    END LOOP;
END
$$
GO
