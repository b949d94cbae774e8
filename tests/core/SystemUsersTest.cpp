#include "tables/SystemUsers.h"
#include "DbTest.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <unistd.h>

// On PostgreSQL the code under test runs as an administrator that is no superuser: a login of
// lir_admins without any attribute, over TCP with its password.
class SystemUsersTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        static int counter = 0;
        m_tag = QStringLiteral("t%1n%2").arg(getpid()).arg(++counter);
        m_admin = params();
        m_admin.host = qEnvironmentVariable("PGTEST_TCPHOST", QStringLiteral("127.0.0.1"));
        m_admin.user = Login("adm");
        m_admin.password = QStringLiteral("adm-secret");
        Super(QStringLiteral("create role %1 login password 'adm-secret' in role lir_admins").arg(m_admin.user));
        Super(QStringLiteral("grant connect on database %1 to %2").arg(m_admin.dbName, m_admin.user));
        GetDBConnection().Close();
        ASSERT_TRUE(GetDBConnection().ConnectWith(m_admin));
        ASSERT_FALSE(Scalar("select rolsuper from pg_roles where rolname = current_user").toBool());
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'f', 2026, 0)");
        Exec("insert into tClsReceiver (id, name, importedId, isgroup, category) values (1, 'r', 0, 0, 0), (2, 's', 0, "
             "0, 0)");
    }

    void TearDown() override
    {
        DbTest::TearDown();
        // Every login of this test carries its tag.
        if (!m_tag.isEmpty())
            for (QString role : Super("select string_agg(rolname, '|') from pg_roles where strpos(rolname, ?) > 0",
                                      {m_tag}, QStringLiteral("postgres"))
                                    .toString()
                                    .split(u'|', Qt::SkipEmptyParts))
                Super(QStringLiteral("drop role \"%1\"").arg(role.replace(u'"', QStringLiteral("\"\""))), {},
                      QStringLiteral("postgres"));
    }

    QString Login(const QString& base) const { return base + QLatin1Char('_') + m_tag; }

    // One statement as the cluster's superuser, in the test's database unless told otherwise.
    QVariant Super(const QString& sql, const QVariantList& args = {}, const QString& database = QString())
    {
        DbConnectParams p = *PgAdminParams();
        p.dbName = database.isEmpty() ? m_admin.dbName : database;
        return Run(p, sql, args);
    }

    // Connects with its own connection and runs one statement: its first value, or an invalid
    // value when the connection or the statement fails.
    static QVariant Run(const DbConnectParams& p, const QString& sql, const QVariantList& args = {},
                        bool expectOk = true)
    {
        const QString name = QStringLiteral("probe_") + QUuid::createUuid().toString(QUuid::Id128);
        QVariant out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(p.host);
            db.setPort(p.port);
            db.setDatabaseName(p.dbName);
            db.setUserName(p.user);
            db.setPassword(p.password);
            if (db.open()) {
                QSqlQuery q(db);
                bool ok = args.isEmpty() ? q.exec(sql) : q.prepare(sql);
                for (const QVariant& a : args)
                    q.addBindValue(a);
                if (ok && !args.isEmpty())
                    ok = q.exec();
                if (ok)
                    out = q.next() ? q.value(0) : QVariant(true);
                EXPECT_TRUE(ok || !expectOk) << sql.toStdString() << ": " << q.lastError().text().toStdString();
            } else {
                EXPECT_FALSE(expectOk) << db.lastError().text().toStdString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return out;
    }

    bool Connects(const QString& login, const QString& password, const QString& sql = QStringLiteral("select 1"))
    {
        DbConnectParams p = m_admin;
        p.user = login;
        p.password = password;
        return Run(p, sql, {}, false).isValid();
    }

    QString Groups(const QString& login)
    {
        return Super("select coalesce(string_agg(g.rolname, ',' order by g.rolname), '') from pg_auth_members m join "
                     "pg_roles g "
                     "on g.oid = m.roleid join pg_roles u on u.oid = m.member where u.rolname = ?",
                     {login})
            .toString();
    }

    bool RoleExists(const QString& login)
    {
        return Super("select count(*) from pg_roles where rolname = ?", {login}).toInt() == 1;
    }

    static CSystemUserRecord User(const QString& login, int roles, CUserRightList rights = {})
    {
        return {0, login, roles, std::move(rights)};
    }

    QString m_tag;
    DbConnectParams m_admin;
};
INSTANTIATE_TEST_SUITE_P(Server, SystemUsersTest, ::testing::Values(SqlDialect::PostgreSQL), DialectName);

class SystemUsersFileTest : public DbTest { };
INSTANTIATE_TEST_SUITE_P(File, SystemUsersFileTest, ::testing::Values(SqlDialect::SQLite), DialectName);

TEST_P(SystemUsersFileTest, FileDatabaseHasNoUsers)
{
    ASSERT_TRUE(LoadSystemUsers());
    EXPECT_TRUE(LoadSystemUsers()->empty());
    EXPECT_TRUE(LoadUserRights()->empty());
    EXPECT_TRUE(messages.empty());
    CSystemUserRecord user{0, "ivanov", ROLE_EXPERT, {}};
    EXPECT_FALSE(Shown(SaveSystemUser(user, "secret")));
    EXPECT_FALSE(Shown(DeleteSystemUser(user)));
    CUserRightRecord right{-1, 1, 1, 1};
    EXPECT_FALSE(Shown(SaveUserRight(right, true)));
    ASSERT_EQ(messages.size(), 3u);
    for (const RecordedMessage& m : messages)
        EXPECT_EQ(m.text, kUsersNeedServerText);
}

TEST_P(SystemUsersTest, LoginPasswordRolesAndRevocation)
{
    SetJournal(true);
    const QString login = Login("ivanov");
    CSystemUserRecord user = User(login, ROLE_EXPERT);
    ASSERT_TRUE(Shown(SaveSystemUser(user, "first-pw")));
    EXPECT_GT(user.id, 0);
    EXPECT_TRUE(Connects(login, "first-pw"));
    EXPECT_EQ(Groups(login), "lir_experts");
    EXPECT_EQ(GetSystemUser(user.id)->userRoles, ROLE_EXPERT);
    EXPECT_EQ(JournalTexts().last(), QStringLiteral("Insert SystemUser; id=%1; userID=%2").arg(user.id).arg(login));
    // Only administrators manage logins.
    EXPECT_FALSE(Connects(login, "first-pw", "select lir_user_save(current_user, 'x', 1)"));
    EXPECT_FALSE(Connects(login, "first-pw", "select lir_user_revoke(current_user)"));

    // A new password of an existing login is put in force; an empty one keeps it.
    ASSERT_TRUE(Shown(SaveSystemUser(user, "second-pw")));
    EXPECT_TRUE(Connects(login, "second-pw"));
    EXPECT_FALSE(Connects(login, "first-pw"));
    ASSERT_TRUE(Shown(SaveSystemUser(user, QString())));
    EXPECT_TRUE(Connects(login, "second-pw"));
    EXPECT_EQ(JournalTexts().last(), JournalTexts().first()) << "every save journals as an insert";

    // The login is found without regard to case: the same user, no second login.
    CSystemUserRecord upper = User(login.toUpper(), ROLE_ADMIN | ROLE_USER);
    ASSERT_TRUE(Shown(SaveSystemUser(upper, QString())));
    EXPECT_EQ(upper.id, user.id);
    EXPECT_FALSE(RoleExists(login.toUpper()));
    EXPECT_EQ(Groups(login), "lir_admins,lir_users");
    EXPECT_FALSE(Super("select rolcreaterole from pg_roles where rolname = ?", {login}).toBool());

    // Cyrillic capitals too, in the program's reads and in the schema's functions.
    CSystemUserRecord cyrillic = User(Login("Иван"), ROLE_EXPERT);
    ASSERT_TRUE(Shown(SaveSystemUser(cyrillic, "pw")));
    CSystemUserRecord cyrillicUpper = User(cyrillic.userID.toUpper(), ROLE_EXPERT | ROLE_USER);
    ASSERT_TRUE(Shown(SaveSystemUser(cyrillicUpper, QString())));
    EXPECT_EQ(cyrillicUpper.id, cyrillic.id);
    EXPECT_FALSE(RoleExists(cyrillicUpper.userID));
    EXPECT_EQ(Scalar("select IsExpert(?) + IsUser(?)", {cyrillicUpper.userID, cyrillic.userID.toLower()}).toInt(), 2);

    // Without a role bit it is no user any more.
    user.userRoles = 0;
    ASSERT_TRUE(Shown(SaveSystemUser(user, QString())));
    EXPECT_FALSE(GetSystemUser(user.id));

    // Deleting takes the access; the login stays and a later save brings the access back.
    user.userRoles = ROLE_USER;
    ASSERT_TRUE(Shown(SaveSystemUser(user, QString())));
    const int id = user.id;
    ASSERT_TRUE(Shown(DeleteSystemUser(user)));
    EXPECT_EQ(user.id, 0);
    EXPECT_FALSE(Connects(login, "second-pw"));
    EXPECT_TRUE(RoleExists(login));
    EXPECT_EQ(JournalTexts().last(), QStringLiteral("Delete SystemUser; id=%1; userID=%2").arg(id).arg(login));
    ASSERT_TRUE(Shown(SaveSystemUser(user, QString())));
    EXPECT_EQ(user.id, id);
    EXPECT_TRUE(Connects(login, "second-pw"));
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
}

TEST_P(SystemUsersTest, NamesAreValuesAndLimitsAreKept)
{
    const QString sentinel = Login("sentinel");
    Super(QStringLiteral("create role %1 login").arg(sentinel));
    const QString hostile = QStringLiteral("x\"; drop role %1; --'%2").arg(sentinel, m_tag);
    CSystemUserRecord user = User(hostile, ROLE_USER);
    ASSERT_TRUE(Shown(SaveSystemUser(user, "it's; secret")));
    EXPECT_EQ(Groups(hostile), "lir_users");
    EXPECT_TRUE(Connects(hostile, "it's; secret"));
    ASSERT_TRUE(Shown(DeleteSystemUser(user)));
    EXPECT_TRUE(RoleExists(sentinel));
    EXPECT_EQ(Groups(sentinel), "");

    // Nothing makes a login without a password, and role bits are three: each refused with its
    // message, nothing made.
    const struct {
        const char* what;
        QString login;
        int roles;
        QString password;
        QString message;
    } refused[] = {
        {"a name with a backslash", QStringLiteral("DOMAIN\\") + Login("petrov"), ROLE_EXPERT, QStringLiteral("pw"),
         QStringLiteral("имя с обратной косой чертой сервер не принимает")},
        {"no password", Login("empty"), ROLE_USER, QString(), QStringLiteral("Необходимо указать пароль пользователя")},
        {"every role at once", Login("all"), -1, QStringLiteral("pw"),
         QStringLiteral("Недопустимый набор ролей пользователя: -1.")},
        {"a bit beyond the three", Login("eight"), 8, QStringLiteral("pw"),
         QStringLiteral("Недопустимый набор ролей пользователя: 8.")},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        messages.clear();
        CSystemUserRecord user = User(r.login, r.roles);
        EXPECT_FALSE(Shown(SaveSystemUser(user, r.password)));
        EXPECT_FALSE(RoleExists(r.login));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains(r.message)) << messages[0].text.toStdString();
    }
    messages.clear();

    // Too long is refused, not cut: 60 + tag characters, 64 bytes of Cyrillic, a 101-character password.
    CSystemUserRecord longLogin = User(Login(QString(60, u'a')), ROLE_USER);
    CSystemUserRecord cyrillic = User(Login(QString(32, u'я')), ROLE_USER);
    CSystemUserRecord plain = User(Login("sidorov"), ROLE_USER);
    EXPECT_FALSE(Shown(SaveSystemUser(longLogin, "pw")));
    EXPECT_FALSE(Shown(SaveSystemUser(cyrillic, "pw")));
    EXPECT_FALSE(Shown(SaveSystemUser(plain, QString(101, u'p'))));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, kLoginTooLongText);
    EXPECT_EQ(messages[1].text, kLoginTooLongText);
    EXPECT_EQ(messages[2].text, kPasswordTooLongText);
    EXPECT_EQ(Super("select count(*) from pg_roles where strpos(rolname, ?) > 0", {m_tag}).toInt(), 3)
        << "only the administrator, the sentinel and the saved login";

    // Groups and the superuser are no user logins.
    messages.clear();
    for (const char* name : {"LIR_ADMINS", "postgres"}) {
        CSystemUserRecord group = User(name, ROLE_ADMIN);
        EXPECT_FALSE(Shown(SaveSystemUser(group, "pw"))) << name;
    }
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_FALSE(Super("select rolcanlogin from pg_roles where rolname = 'lir_admins'").toBool());
}

TEST_P(SystemUsersTest, RightsFollowTheLogin)
{
    SetJournal(true);
    CSystemUserRecord user = User(Login("kozlov"), ROLE_USER, {{-1, 0, 1, 1}, {-1, 0, 1, 2}});
    ASSERT_TRUE(Shown(SaveSystemUser(user, "pw")));
    EXPECT_EQ(user.rights[0].id, -1) << "the users' save takes no ids";
    const auto stored = GetSystemUser(user.id);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->rights.size(), 2u);
    EXPECT_EQ(stored->rights[1].userID, user.id);
    EXPECT_EQ(stored->rights[1].receiverID, 2);
    EXPECT_EQ(
        Scalar("select count(*) from tFctUserRights where UserSID = convert_to(?, 'UTF8')", {user.userID}).toInt(), 2);

    // Saving again rewrites the rights; the list of users carries them.
    user.rights = {{-1, 0, 1, 2}};
    ASSERT_TRUE(Shown(SaveSystemUser(user, QString())));
    const auto users = LoadSystemUsers(SqlFilter("(userRoles & ?) > 0", {int(ROLE_USER)}));
    ASSERT_TRUE(users);
    const auto it = std::find_if(users->begin(), users->end(), [&](const auto& u) { return u.id == user.id; });
    ASSERT_NE(it, users->end());
    ASSERT_EQ(it->rights.size(), 1u);
    CUserRightRecord right = it->rights[0];

    // A right of the view is updated in place and given to the right's user.
    CSystemUserRecord other = User(Login("orlov"), ROLE_USER);
    ASSERT_TRUE(Shown(SaveSystemUser(other, "pw")));
    right.userID = other.id;
    right.receiverID = 1;
    ASSERT_TRUE(Shown(SaveUserRight(right, true)));
    EXPECT_TRUE(LoadUserRightsOfUser(user.id)->empty());
    EXPECT_EQ((*LoadUserRightsOfUser(other.id))[0].id, right.id);
    CUserRightRecord added{0, other.id, 1, 2};
    ASSERT_TRUE(Shown(SaveUserRight(added, true)));
    EXPECT_GT(added.id, right.id);
    const int addedId = added.id;
    ASSERT_TRUE(Shown(DeleteUserRight(added)));
    EXPECT_EQ(added.id, 0);
    EXPECT_EQ(JournalTexts().mid(JournalTexts().size() - 3),
              QStringList({QStringLiteral("Update UserRights; userID=%1; receiverID=1; forecastID=1").arg(other.id),
                           QStringLiteral("Insert UserRights; id=%1; userID=%2; receiverID=2; forecastID=1")
                               .arg(addedId)
                               .arg(other.id),
                           QStringLiteral("Delete UserRights; id=%1; userID=%2; receiverID=2; forecastID=1")
                               .arg(addedId)
                               .arg(other.id)}));
    ASSERT_TRUE(Shown(DeleteUserRightsOfUser(other.id)));
    EXPECT_TRUE(LoadUserRightsOfUser(other.id)->empty());
    EXPECT_TRUE(messages.empty());

    // A user whose access cannot be taken keeps its rights.
    user.rights = {{-1, 0, 1, 1}};
    ASSERT_TRUE(Shown(SaveSystemUser(user, QString())));
    CSystemUserRecord wrong = *GetSystemUser(user.id);
    wrong.userID = QStringLiteral("lir_users");
    EXPECT_FALSE(Shown(DeleteSystemUser(wrong)));
    EXPECT_EQ(LoadUserRightsOfUser(user.id)->size(), 1u);

    // A new login without a role bit is no user: nothing is stored, not even the login.
    messages.clear();
    CSystemUserRecord none = User(Login("nobody"), 0, {{-1, 0, 1, 1}});
    EXPECT_FALSE(Shown(SaveSystemUser(none, "pw")));
    EXPECT_EQ(none.id, 0);
    EXPECT_FALSE(RoleExists(none.userID));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kSavedUserNotFoundText.arg(none.userID));
}

TEST_P(SystemUsersTest, AnAdministratorOfTwoDatabasesChangesItsOwnPassword)
{
    // The administrator serves the maintenance database too: no other login of it is this one's.
    Super(QStringLiteral("grant connect on database postgres to %1").arg(m_admin.user));
    CSystemUserRecord self = *GetSystemUserByLogin(m_admin.user);
    ASSERT_TRUE(Shown(SaveSystemUser(self, "new-secret")));
    EXPECT_TRUE(Connects(m_admin.user, "new-secret"));
    EXPECT_FALSE(Connects(m_admin.user, "adm-secret"));

    // Its roles are the other database's as well: those it does not change here.
    self.userRoles = ROLE_ADMIN | ROLE_USER;
    EXPECT_FALSE(Shown(SaveSystemUser(self, QString())));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("не принадлежит этой базе данных")));
    EXPECT_EQ(Groups(m_admin.user), "lir_admins");
    Super(QStringLiteral("revoke connect on database postgres from %1").arg(m_admin.user));
}
