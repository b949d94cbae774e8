-- The default administrator: login lir_admin, member of lir_admins with CONNECT
-- on this database. A new login gets the password "tarno"; an existing one keeps
-- its own. The grants are made here directly rather than by lir_user_save, so that
-- one administrator may serve several databases of the cluster.
DO $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'lir_admin') THEN
        CREATE ROLE lir_admin LOGIN PASSWORD 'tarno';
    ELSIF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'lir_admin' AND rolcreaterole AND NOT rolsuper) THEN
        ALTER ROLE lir_admin NOCREATEROLE;
    END IF;
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO lir_admin', current_database());
    IF NOT EXISTS (SELECT 1 FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid
                                                 JOIN pg_roles u ON u.oid = m.member
                    WHERE g.rolname = 'lir_admins' AND u.rolname = 'lir_admin') THEN
        GRANT lir_admins TO lir_admin;
    END IF;
    DELETE FROM lir_private.tSysRemovedLogins x USING pg_roles r
     WHERE x.roleOid = r.oid AND r.rolname = 'lir_admin';
END
$$
GO
