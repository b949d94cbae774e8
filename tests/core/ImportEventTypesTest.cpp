#include "tables/ImportEventTypes.h"
#include "DbTest.h"

#include <QSqlQuery>

#include <optional>
#include <thread>

class ImportEventTypesTest : public DbTest {
protected:
    QStringList Names()
    {
        QStringList out;
        CSqlQuery q("select id, name from tClsImportEventType order by id");
        if (q.exec())
            while (q.next())
                out << QString::number(q.intValue("id")) + u' ' + q.text("name");
        return out;
    }
};
LIR_INSTANTIATE_DB_TEST(ImportEventTypesTest);

TEST_P(ImportEventTypesTest, SeedingWritesTheFixedKindsWithoutJournal)
{
    SetJournal(true);
    const QStringList fixed = {QStringLiteral("1 Получено"), QStringLiteral("2 Отправлено"),
                               QStringLiteral("3 Отправлено на корректировку"), QStringLiteral("4 Данные корректны"),
                               QStringLiteral("5 Ошибка отправки")};
    SeedImportEventTypes();
    EXPECT_EQ(Names(), fixed);
    // Every start seeds: kinds that are right are not written, so another program's write lock does
    // not hold the start up (here the wait is cut short: a write would fail).
    {
        std::optional<CPgAdminSession> server;
        QSqlDatabase file;
        if (isPg()) {
            server.emplace(params().dbName);
            ASSERT_EQ(server->exec("begin"), "");
            ASSERT_EQ(server->exec("lock table tClsImportEventType in exclusive mode"), "");
        } else {
            file = QSqlDatabase::addDatabase("QSQLITE", "seed_holder");
            file.setDatabaseName(params().file);
            ASSERT_TRUE(file.open() && QSqlQuery(file).exec("begin immediate"));
        }
        std::thread([&] {
            CSqlQuery shorter(isPg() ? QStringLiteral("select set_config('lock_timeout', '200', false)")
                                     : QStringLiteral("pragma busy_timeout = 200"));
            ASSERT_TRUE(shorter.exec());
            SeedImportEventTypes();
        }).join();
        EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
        if (server)
            EXPECT_EQ(server->exec("rollback"), "");
        else
            file.close();
    }
    QSqlDatabase::removeDatabase("seed_holder");
    Exec("update tClsImportEventType set name = 'Иначе' where id = 3");
    Exec("insert into tClsImportEventType (id, name) values (6, 'Возврат')");
    SeedImportEventTypes();
    EXPECT_EQ(Names(), fixed + QStringList{QStringLiteral("6 Возврат")});
    EXPECT_TRUE(JournalTexts().isEmpty());
    EXPECT_TRUE(messages.empty());
}

TEST_P(ImportEventTypesTest, SaveAndDeleteWithJournal)
{
    SeedImportEventTypes();
    SetJournal(true);
    CImportEventType rec;
    rec.name = QStringLiteral("Возврат");
    ASSERT_TRUE(SaveImportEventType(rec, true));
    EXPECT_EQ(rec.id, 6);
    rec.name = QStringLiteral("Возврат данных");
    ASSERT_TRUE(SaveImportEventType(rec, true));
    CImportEventType nine;
    nine.id = 9;
    nine.name = QStringLiteral("Девятый");
    ASSERT_TRUE(SaveImportEventType(nine, true));
    EXPECT_EQ(nine.id, 9);
    ASSERT_TRUE(DeleteImportEventType(rec));
    EXPECT_EQ(rec.id, -1);
    CImportEventType missing;
    missing.id = 40;
    EXPECT_TRUE(DeleteImportEventType(missing));

    EXPECT_EQ(JournalTexts(),
              (QStringList{QStringLiteral("Insert importeventtype; id=6; Name=Возврат"),
                           QStringLiteral("Update importeventtype; Name=Возврат данных"),
                           QStringLiteral("Insert importeventtype; id=9; Name=Девятый"),
                           QStringLiteral("Delete importeventtype; id=6; Name=Возврат данных")}));
    EXPECT_EQ(LoadImportEventType(9)->name, QStringLiteral("Девятый"));
    EXPECT_FALSE(LoadImportEventType(6));
    EXPECT_TRUE(messages.empty());
}

TEST_P(ImportEventTypesTest, NameCountIgnoresCaseAndTakesApostrophes)
{
    SeedImportEventTypes();
    CImportEventType rec;
    rec.name = QStringLiteral("Д'Артаньян");
    EXPECT_EQ(CountImportEventTypesByName(rec), 0);
    ASSERT_TRUE(SaveImportEventType(rec, false));
    EXPECT_EQ(CountImportEventTypesByName(rec), 1);
    rec.name = QStringLiteral("ДАННЫЕ КОРРЕКТНЫ");
    EXPECT_EQ(CountImportEventTypesByName(rec), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ImportEventTypesTest, OverlongNameFails)
{
    CImportEventType rec;
    rec.name = QString(51, u'щ');
    EXPECT_FALSE(SaveImportEventType(rec, false));
    EXPECT_EQ(rec.id, -1);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Count("tClsImportEventType"), 0);
    rec.name.chop(1);
    EXPECT_TRUE(SaveImportEventType(rec, false));
}

TEST_P(ImportEventTypesTest, ListsSkipRowsWithoutName)
{
    SeedImportEventTypes();
    Exec("insert into tClsImportEventType (id, name) values (7, null)");
    auto all = LoadImportEventTypes();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->size(), 5u);
    auto some = LoadImportEventTypes(SqlFilter(QStringLiteral("id > ?"), {3}, QStringLiteral("id desc")));
    ASSERT_TRUE(some);
    ASSERT_EQ(some->size(), 2u);
    EXPECT_EQ(some->front().id, 5);
    EXPECT_FALSE(LoadImportEventType(7));
    // A broken condition gives none without a message.
    EXPECT_FALSE(LoadImportEventTypes(SqlFilter(QStringLiteral("nosuchcolumn = 1"))));
    EXPECT_TRUE(messages.empty());
}
