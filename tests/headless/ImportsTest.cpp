// The reference-data and comment imports as a program without a window runs them: a document the
// writers make, read back through the exchange reader and stored, on both dialects; direct SQL and
// the files in the program folder judge what arrives.
#include "CommentsFile.h"
#include "DbTest.h"
#include "ExchangeDocuments.h"
#include "ExchangeTestSupport.h"
#include "ForecastFile.h"
#include "NsiFile.h"

#include "db/BulkStatement.h"
#include "tables/ForecastData.h"
#include "tables/ImportEventTypes.h"
#include "tables/Prices.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <latch>
#include <thread>
#include <tuple>
#include <utility>

#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>

namespace {

constexpr int kForecast = 5;
constexpr int kSender = 3;    // the sender's own id, as "from" names it
constexpr int kRecipient = 4; // this organisation, as "to" names it

struct Check {
    const char* sql;
    qlonglong expected;
};

struct Case {
    const char* what;
    std::function<void()> arrange;
    bool stored;
    std::vector<Check> checks;
};

class HeadlessImportTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (!IsSkipped()) {
            CopySchemas(home());
            SeedImportEventTypes();
        }
    }

    // A trigger that refuses every insert into the table with the text, and the statement that drops it.
    QString Refuse(const QString& table, const QString& text)
    {
        if (!isPg()) {
            Exec(QStringLiteral("create trigger refuse before insert on %1 begin select raise(abort, '%2'); end")
                     .arg(table, text));
            return QStringLiteral("drop trigger refuse");
        }
        ExecAsAdmin(QStringLiteral("create function refuse() returns trigger language plpgsql as $$ begin "
                                   "raise exception '%1'; end $$")
                        .arg(text));
        ExecAsAdmin(QStringLiteral("create trigger refuse before insert on %1 for each row execute function refuse()")
                        .arg(table));
        return QStringLiteral("drop trigger refuse on %1").arg(table);
    }

    // The connection's waiting tables whose names start so.
    int StageTables(const char* start)
    {
        return Scalar(isPg() ? QStringLiteral("select count(*) from pg_class where relpersistence = 't' and relkind = "
                                              "'r' and relname like ?")
                             : QStringLiteral("select count(*) from sqlite_temp_master where type = 'table' and name "
                                              "like ?"),
                      {QLatin1String(start) + QStringLiteral("%")})
            .toInt();
    }
    void Drop(const QString& statement)
    {
        if (isPg())
            ExecAsAdmin(statement);
        else
            Exec(statement);
    }

    // Forecast 3 with products 40 and 41, the sender 7 ("Управление А") and this organisation 5.
    void ForecastOfTwoOrganisations()
    {
        Exec(QStringLiteral("insert into tfctprognoz (id, name, year, status) values (3, 'Прогноз', 2026, 1)"));
        for (int product : {40, 41})
            Exec(QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, code, isgroup, type, position) "
                                "values (3, ?, 0, 'Товар', '', 0, 1, 0)"),
                 {product});
        Exec(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                            "values (7, 0, 'Управление А', 0, 7, 1, 0), (5, 0, 'Министерство', 1, 5, 1, 0)"));
        Exec(QStringLiteral("insert into tclsreceivermap (prognoz, receiver) values (3, 7), (3, 5)"));
    }

    QString Save(const XmlDocPtr& doc)
    {
        const QString path = home() + QStringLiteral("received.xml");
        EXPECT_TRUE(doc && SaveExchangeDocument(doc.get(), path));
        return path;
    }
    CCommentsFile ReadComments(const XmlDocPtr& doc)
    {
        return ReadCommentsFile(Save(doc), home() + QLatin1String(ExchangeSchemas::kComment));
    }

    void RunCases(const std::vector<Case>& cases, const std::function<bool()>& import)
    {
        for (const Case& c : cases) {
            messages.clear();
            if (c.arrange)
                c.arrange();
            EXPECT_EQ(import(), c.stored) << c.what;
            EXPECT_EQ(messages.empty(), c.stored) << c.what;
            for (const Check& check : c.checks)
                EXPECT_EQ(Scalar(QString::fromUtf8(check.sql)).toLongLong(), check.expected)
                    << c.what << ": " << check.sql;
        }
    }
};

TEST_P(HeadlessImportTest, ReferenceDataGoInWholeOrNotAtAll)
{
    // The document as the organisation above writes it: its own receiver first, prices of a product
    // it does not send and a second price of one product among them.
    const CReceiverList receivers{{kSender, 0, QStringLiteral("Управление А"), QStringLiteral("a@example.org"), 0, 77},
                                  {kRecipient, kSender, QStringLiteral("Отдел Б"), QString(), 0, kRecipient}};
    const CForecastList forecasts{{kForecast, QStringLiteral("Прогноз-2013"), 2013, -20, QStringLiteral("Минфин"), 1}};
    const CMeasurementList units{{1, "шт", "796", "шт", 1}, {2, "руб", "383", "р", 2}};
    const CMConvertList converts{{1, 2, 1, 1000.0}};
    CProductList products;
    CPriceList prices;
    for (int id : {1, 2, 3}) {
        CProductRecord& p = products.emplace_back();
        std::tie(p.id, p.prognoz, p.parent, p.isgroup) = std::tuple(id, kForecast, id == 1 ? 0 : 1, int(id == 1));
        std::tie(p.measurementNatural, p.measurementPrice, p.name) =
            std::tuple(1, 2, QStringLiteral("Товар %1").arg(id));
        prices.push_back({id, kForecast, id, Money::fromInt(1), Money::fromInt(2), Money::fromInt(3)});
    }
    prices.push_back({4, kForecast, 2, Money::fromInt(1), Money::fromInt(2), Money::fromInt(0)});
    prices.push_back({5, kForecast, 9, Money::fromInt(1), Money::fromInt(2), Money::fromInt(3)});
    const CDocumentationList documents{{1, kForecast, QStringLiteral("Методика"), 0, QStringLiteral("method.txt"), {}}};
    // Bytes of every value, in many of the parser's pieces: the stored file holds them exactly.
    QByteArray content("Методика расчёта\n");
    for (int i = 0; i < 200000; ++i)
        content += char(i * 31 % 251);
    const QString docFile = MakeDocFileName(documents[0]);
    QDir().mkpath(GetDocsFolder());
    WriteFile(docFile, content); // the writer takes the content from the sender's file
    CNsiDocument nsi{kForecast,  kSender, kRecipient, QString(), &receivers, &products,
                     &forecasts, nullptr, &documents, &units,    &converts,  &prices};
    const QString doc = Save(BuildNsiDocument(nsi));
    const QString schema = FindSchemaFile(QString::fromLatin1(ExchangeSchemas::kNsi), {});
    QFile::remove(docFile);

    const CNsiFile read = ReadNsiFile(doc, schema);
    ASSERT_TRUE(read.ok()) << read.message.toStdString();
    EXPECT_EQ(read.ReceivedName(read.from), QStringLiteral("Управление А"));
    EXPECT_EQ(read.ReceivedName(read.to), QStringLiteral("Отдел Б"));
    EXPECT_EQ(read.ReceivedName(99), NsiTexts::kNobody);

    std::vector<Check> loaded{
        {"select count(*) from tfctprognoz where id = 5 and name = 'Прогноз-2013' and year = 2013", 1},
        {"select count(*) from tclsproduct where prognoz = 5 and id in (1, 2, 3)", 3},
        {"select count(*) from tclsmeasurement", 2},
        // The first price of each product that came with a row.
        {"select count(*) from tfctprice where prognoz = 5", 3},
        {"select count(*) from tfctprice where product = 2 and priceNext > priceCur", 1},
        {"select count(*) from tclsreceiver where importedId = 3 and category = -1 and name = 'Управление А'", 1},
        {"select count(*) from tclsreceiver where importedId = 4 and category = 0", 1},
        {"select count(*) from tclsreceivermap m join tclsreceiver r on r.id = m.receiver where m.prognoz = 5", 2},
        {"select count(*) from tfctdocumentation where prognoz = 5 and filename = 'method.txt'", 1},
        {"select count(*) from tfctprognozdata", 0},
        {"select count(*) from tfcttotalprognoz", 0},
    };
    auto journal = [](qlonglong rows) {
        return Check{"select count(*) from tfctimportstatus i join tclsreceiver r on r.id = i.receiver "
                     "where r.importedId = 3 and i.event = 1 and i.comment = 'НСИ' and i.send is null "
                     "and i.received is not null",
                     rows};
    };
    // A repeated load replaces the conversion of its pair, whatever id the database gave it.
    loaded.push_back({"select count(*) from tclsmconvert where base = 2 and produce = 1", 1});
    std::vector<Check> first = loaded, again = loaded;
    first.push_back(journal(1));
    again.push_back(journal(2));
    again.push_back({"select count(*) from tclsreceiver", 2});
    QString drop;
    QString refusal;
    const std::vector<Case> cases{
        {"a refused price",
         [&] {
             refusal = QStringLiteral("no prices");
             drop = Refuse(QStringLiteral("tfctprice"), refusal);
         },
         false,
         {{"select (select count(*) from tclsproduct) + (select count(*) from tclsreceiver) + "
           "(select count(*) from tfctprognoz) + (select count(*) from tfctimportstatus) + "
           "(select count(*) from tclsmeasurement) + (select count(*) from tfctdocumentation)",
           0}}},
        {"the first load", [&] { Drop(drop); }, true, first},
        // The forecast's figures go with a repeated load; the parties stay where they are.
        {"a repeated load",
         [&] {
             Exec(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver) values (5, 2, ?)"),
                  {Scalar(QStringLiteral("select id from tclsreceiver where importedId = 4"))});
             Exec(QStringLiteral("insert into tfcttotalprognoz (prognoz, product) values (5, 2)"));
         },
         true, again},
        // Rights name a receiver below this organisation that the load would delete, and one that
        // another forecast keeps: the load names the first and changes nothing.
        {"a repeated load while rights name a receiver it deletes",
         [&] {
             const QVariant recipient = Scalar(QStringLiteral("select id from tclsreceiver where importedId = 4"));
             Exec(QStringLiteral("insert into tfctprognoz (id, name, year, status) values (6, 'Другой', 2013, 0)"));
             Exec(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                                 "values (90, ?, 'Подведомственный', 0, 0, 1, 0), (91, ?, 'Общий', 0, 0, 1, 0)"),
                  {recipient, recipient});
             Exec(QStringLiteral("insert into tclsreceivermap (prognoz, receiver) values (5, 90), (5, 91), (6, 91)"));
             Exec(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver) values (5, 2, 90)"));
             Exec(QStringLiteral("insert into tfcttotalprognoz (prognoz, product) values (5, 2)"));
             for (int receiver : {90, 91})
                 Exec(QStringLiteral("insert into tfctuserrights (UserSID, ForecastID, ReceiverID) values (?, 5, ?)"),
                      {QByteArray("vera"), receiver});
             refusal = NsiTexts::kHeldByRights.arg(QStringLiteral("\"Подведомственный\" (id 90)"));
         },
         false,
         {{"select count(*) from tclsreceivermap where prognoz = 5 and receiver in (90, 91)", 2},
          {"select count(*) from tfctprognozdata where prognoz = 5", 1},
          {"select count(*) from tfcttotalprognoz where prognoz = 5", 1},
          {"select count(*) from tclsproduct where prognoz = 5", 3},
          journal(2)}},
    };
    std::vector<bool> earlier;
    RunCases(cases, [&] {
        earlier.push_back(HasEarlierReceipts(kForecast));
        const bool fileBefore = QFile::exists(docFile);
        CNsiFile file = ReadNsiFile(doc, schema);
        const auto placed = StoreNsiFile(file);
        if (placed) {
            EXPECT_EQ(placed->recipient, Scalar(QStringLiteral("select id from tclsreceiver where importedId = 4")));
            EXPECT_EQ(ReadFile(docFile), content) << "the document's file once the load has committed";
        } else {
            EXPECT_EQ(QFile::exists(docFile), fileBefore);
            EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const RecordedMessage& m) {
                return m.text.contains(refusal);
            })) << (messages.empty() ? std::string() : messages.front().text.toStdString());
        }
        return placed.has_value();
    });
    EXPECT_EQ(earlier, (std::vector<bool>{false, false, true, true}));
}

TEST_P(HeadlessImportTest, CommentsGoOnTheConsolidatedRowsWholeOrNotAtAll)
{
    Exec(QStringLiteral("insert into tfctprognoz (id, name, year, owner, ownerName, status) "
                        "values (5, 'Прогноз-2013', 2013, -20, 'Минфин', 1)"));
    for (int product : {2, 3})
        Exec(QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, code, isgroup, type, position) "
                            "values (5, ?, 0, 'Товар', '', 0, 1, 0)"),
             {product});
    Exec(QStringLiteral("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
                        "values (77, 0, 'Управление А', 0, 3, 1, 0)"));
    Exec(QStringLiteral("insert into tfcttotalprognoz (prognoz, product, comment) values (5, 2, 'старый')"));
    CForecastDataList rows(2);
    for (int i = 0; i < 2; ++i) {
        rows[i].id = i + 1;
        rows[i].product = i + 2;
        rows[i].comment = QStringLiteral("Уточнить %1").arg(i + 2);
    }
    const CCommentsFile empty = ReadComments(BuildCommentDocument({kSender, kForecast, kRecipient, QString()}, {}));
    EXPECT_EQ(empty.status, CCommentsFile::NoData);
    EXPECT_EQ(empty.message, CommentTexts::kNoData);
    const CCommentsFile file = ReadComments(BuildCommentDocument({kSender, kForecast, kRecipient, QString()}, rows));
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(std::make_tuple(file.from, file.forecast, file.to), std::make_tuple(kSender, kForecast, kRecipient));

    QString drop;
    const std::vector<Case> cases{
        {"a refused journal row",
         [&] { drop = Refuse(QStringLiteral("tfctimportstatus"), QStringLiteral("no journal")); },
         false,
         {{"select count(*) from tfcttotalprognoz", 1},
          {"select count(*) from tfcttotalprognoz where product = 2 and comment = 'старый'", 1},
          {"select count(*) from tfctimportstatus", 0}}},
        {"the comments",
         [&] { Drop(drop); },
         true,
         {{"select count(*) from tfcttotalprognoz", 2},
          {"select count(*) from tfcttotalprognoz where product = 2 and comment = 'Уточнить 2'", 1},
          {"select count(*) from tfcttotalprognoz where product = 3 and comment = 'Уточнить 3'", 1},
          // A row a comment makes holds zeros, and no time: no consolidation filled it.
          {"select count(*) from tfcttotalprognoz where product = 3 and sumLast = 0 and sumCurr = 0 and sumNext = 0 "
           "and valueLast = 0 and valueCurr = 0 and valueNext = 0 and lastUpdate is null",
           1},
          {"select count(*) from tfctimportstatus where receiver = 77 and event = 1 and prognoz = 5 "
           "and comment = 'Комментарии к прогнозу' and received is not null",
           1}}},
    };
    RunCases(cases, [&] { return StoreCommentsFile(file, 77); });
}

// Another copy of the program stores the sender's rows while the user answers the question that said
// there were none: the write waits for it, finds the rows, writes nothing and has the user asked again.
TEST_P(HeadlessImportTest, RowsStoredSinceTheQuestionHaveTheUserAskedAgain)
{
    ForecastOfTwoOrganisations();
    const QString path = Save(BuildForecastDocument({5, 7, QString(), 0}, SampleTotals()));
    CForecastFile file = ReadForecastFile(path, home() + QStringLiteral("forecast.xsd"));
    ASSERT_TRUE(file.ok()) << file.message.toStdString();
    const auto noRows = [] { return !HasForecastDataForReceiver(7, 3, OnDbError::Report); };
    ASSERT_TRUE(noRows());

    // The other copy's import, open on a connection of its own thread (on a server under the lock the
    // program's import takes), committed a moment after this one has begun to write.
    std::latch open(1);
    std::thread other([&, params = params()] {
        const QString insert =
            QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver) values (3, 40, 7)");
        if (params.dialect == SqlDialect::PostgreSQL) {
            CPgAdminSession server(params.dbName);
            EXPECT_EQ(server.exec("begin"), "");
            EXPECT_EQ(server.exec("select lir_lock_derived_rows(1, 3, 7)"), "");
            EXPECT_EQ(server.exec(insert), "");
            open.count_down();
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            EXPECT_EQ(server.exec("commit"), "");
            return;
        }
        {
            EXPECT_FALSE(OpenDatabase(params, QStringLiteral("other")));
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("other"), false);
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(QStringLiteral("begin immediate")));
            EXPECT_TRUE(q.exec(insert));
            open.count_down();
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            EXPECT_TRUE(q.exec(QStringLiteral("commit")));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    });
    open.wait();
    bool askAgain = false;
    EXPECT_FALSE(StoreForecastFile(file, {noRows, &askAgain}));
    other.join();
    EXPECT_TRUE(askAgain);
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 1);
    EXPECT_EQ(Count("tfctimportstatus"), 0);

    // Asked again, with the warning this time, the user lets it replace them.
    askAgain = false;
    EXPECT_TRUE(StoreForecastFile(file, {[] { return true; }, &askAgain}));
    EXPECT_FALSE(askAgain);
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 2);
}

// Products and prices wait in the database while the user is asked, seen by no other connection and
// locking nothing; once stored they are what lists held in memory store, also when the connection was
// opened again meanwhile and the file is read a second time. A declined or refused document leaves
// neither rows nor waiting tables behind.
TEST_P(HeadlessImportTest, RowsWaitingForTheAnswerAreStoredAsHeldOnesAndLockNothing)
{
    // Another forecast's priced product, which the load leaves as it is.
    Exec(QStringLiteral("insert into tfctprognoz (id, name, year, status) values (6, 'Другой', 2013, 0)"));
    Exec(QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, isgroup, type, position) "
                        "values (6, 1, 0, 'Чужой', 0, 1, 0)"));
    Exec(QStringLiteral(
        "insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (6, 1, 0, 0, 0)"));
    const CReceiverList receivers{{kSender, 0, QStringLiteral("Управление А"), QString(), 0, kSender},
                                  {kRecipient, kSender, QStringLiteral("Отдел Б"), QString(), 0, kRecipient}};
    const CForecastList forecasts{{kForecast, QStringLiteral("Прогноз-2013"), 2013, -20, QStringLiteral("Минфин"), 1}};
    const CMeasurementList units{{1, "шт", "796", "шт", 1}, {2, "руб", "383", "р", 2}};
    const QString odd = QStringLiteral("Группа \"А\"\t\\ {x,y}\nконец");
    CProductList products(3);
    for (int i = 0; i < 3; ++i)
        std::tie(products[i].id, products[i].prognoz, products[i].parent, products[i].type, products[i].position) =
            std::tuple(i + 1, kForecast, i == 0 ? 0 : 1, i == 0 ? kGroupSumOfMembers : 1, 3 - i);
    std::tie(products[0].name, products[0].isgroup, products[0].offsetMin, products[0].priceIdx) =
        std::tuple(odd, 1, 0.1234564, 1.07);
    std::tie(products[1].name, products[1].measurementNatural, products[1].measurementPrice, products[1].code) =
        std::tuple(QStringLiteral("Товар"), 1, 2, QStringLiteral("<01>"));
    std::tie(products[2].name, products[2].balanceTitle, products[2].offsetMax) =
        std::tuple(QStringLiteral("Топливо"), QStringLiteral("Топливо"), -2.5);
    const auto price = [](int forecast, int product, int cur) {
        return CPriceRecord{-1, forecast, product, Money::fromInt(1), Money::fromInt(cur), Money::fromXmlText(u"0.5")};
    };
    // A second price of product 2, one of a product not sent and one of the other forecast's product.
    const CPriceList prices{price(5, 3, 30), price(5, 1, 10), price(5, 2, 20),
                            price(5, 2, 21), price(5, 9, 90), price(6, 1, 60)};
    const CNsiDocument nsi{kForecast,  kSender, kRecipient, QString(), &receivers, &products,
                           &forecasts, nullptr, nullptr,    &units,    nullptr,    &prices};
    const QString doc = Save(BuildNsiDocument(nsi));
    const QString schema = home() + QLatin1String(ExchangeSchemas::kNsi);
    SetJournal(true);

    const auto rows = [](const QString& sql) {
        QSqlQuery q(GetDBConnection().GetConnection());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        QStringList out;
        while (q.next()) {
            QStringList row;
            for (int c = 0; c < q.record().count(); ++c)
                row << q.value(c).toString();
            out << row.join(u'|');
        }
        return out;
    };
    // Prices in the order they were stored.
    const auto stored = [&] {
        return rows(QStringLiteral(
                   "select prognoz, id, parent, measurementNatural, measurementPrice, measurementNatural2, "
                   "measurementPrice2, name, code, position, comment, offsetMin, offsetMax, type, isgroup, "
                   "balanceTitle, avRep, avCur, avProg, priceIdx from tclsproduct order by prognoz, id"))
            + rows(QStringLiteral(
                "select prognoz, product, pricePrev, priceCur, priceNext from tfctprice order by id"));
    };
    const auto reconnect = [&] {
        GetDBConnection().Close();
        ASSERT_TRUE(GetDBConnection().ConnectWith(params()));
    };
    struct Road {
        const char* what;
        bool closedWhileRead;
        bool reopenedBeforeStore;
    };
    // Each road loads the forecast again, as the first load left it.
    {
        CNsiFile file = ReadNsiFile(doc, schema);
        ASSERT_TRUE(StoreNsiFile(file));
    }
    std::optional<QStringList> first, firstJournal;
    for (const Road& road : {Road{"rows staged while read", false, false},
                             Road{"rows held in lists, read without a connection", true, false},
                             Road{"staged rows gone with the connection, read again", false, true}}) {
        messages.clear();
        // A stored product that comes changed, and one that does not come again.
        Exec(QStringLiteral("update tclsproduct set name = 'Старое', measurementNatural = null, offsetMin = 7 "
                            "where prognoz = 5 and id = 2"));
        Exec(QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, isgroup, type, position) "
                            "values (5, 4, 1, 'Снятый', 0, 1, 0)"));
        if (road.closedWhileRead)
            GetDBConnection().Close();
        CNsiFile file = ReadNsiFile(doc, schema);
        ASSERT_TRUE(file.ok()) << road.what << ": " << file.message.toStdString();
        EXPECT_EQ(bool(file.productStage), !road.closedWhileRead) << road.what;
        EXPECT_EQ(file.products.size(), road.closedWhileRead ? 3u : 0u) << road.what;
        if (road.closedWhileRead || road.reopenedBeforeStore)
            reconnect();
        const int journalBefore = int(JournalTexts().size());
        ASSERT_TRUE(StoreNsiFile(file)) << road.what;
        EXPECT_TRUE(messages.empty()) << road.what << ": " << messages.front().text.toStdString();
        // The journal row's line names its new id.
        const QStringList journal =
            JournalTexts().mid(journalBefore).filter(QRegularExpression(QStringLiteral("^(?!Insert importstatus)")));
        const QStringList now = stored();
        if (!first) {
            first = now;
            firstJournal = journal;
        }
        EXPECT_EQ(now, *first) << road.what;
        EXPECT_EQ(journal, *firstJournal) << road.what;
    }
    EXPECT_TRUE(firstJournal->contains(QStringLiteral("Delete Product;  all records for prognoz")));
    EXPECT_EQ(Count("tclsproduct", "prognoz = 5"), 3);
    EXPECT_EQ(Count("tclsproduct",
                    "prognoz = 5 and id = 1 and name = ? and measurementNatural is null "
                    "and balanceTitle = ''",
                    {odd}),
              1);
    EXPECT_EQ(Count("tclsproduct",
                    "prognoz = 5 and id = 2 and balanceTitle = ? and code = '<01>' "
                    "and measurementPrice = 2",
                    {kDefaultBalanceTitle}),
              1);
    EXPECT_EQ(Count("tclsproduct", "prognoz = 6"), 1);
    for (const auto& [forecast, product, cur] :
         {std::tuple(5, 1, 10), std::tuple(5, 2, 20), std::tuple(5, 3, 30), std::tuple(6, 1, 0)}) {
        const auto p = GetPrice(product, forecast);
        ASSERT_TRUE(p) << forecast << "/" << product;
        EXPECT_EQ(p->priceCur, Money::fromInt(cur)) << forecast << "/" << product;
    }
    EXPECT_EQ(Count("tfctprice"), 4);
    EXPECT_EQ(StageTables("tmp_stage"), 0);

    // A product that comes twice refuses the document on every road, as its second row always has.
    CProductList twice = products;
    twice.push_back(products[1]);
    const CNsiDocument repeated{kForecast,  kSender, kRecipient, QString(), &receivers, &twice,
                                &forecasts, nullptr, nullptr,    &units,    nullptr,    &prices};
    const QString repeatedDoc = home() + QStringLiteral("twice.xml");
    ASSERT_TRUE(SaveExchangeDocument(BuildNsiDocument(repeated).get(), repeatedDoc));
    for (bool staged : {true, false}) {
        messages.clear();
        if (!staged)
            GetDBConnection().Close();
        CNsiFile file = ReadNsiFile(repeatedDoc, schema);
        if (!staged)
            reconnect();
        ASSERT_TRUE(file.ok());
        EXPECT_FALSE(StoreNsiFile(file)) << staged;
        EXPECT_EQ(messages.size(), 1u) << staged;
        EXPECT_EQ(stored(), *first) << staged;
    }

    // Read and not yet answered: another connection takes the tables' write lock, and sees no rows.
    {
        CNsiFile pending = ReadNsiFile(doc, schema);
        ASSERT_TRUE(pending.ok() && pending.productStage && pending.priceStage);
        EXPECT_EQ(StageTables("tmp_stage"), 2);
        if (isPg()) {
            CPgAdminSession other(params().dbName);
            EXPECT_EQ(other.exec("begin"), "");
            EXPECT_EQ(other.exec("lock table tclsproduct, tfctprice in access exclusive mode nowait"), "");
            EXPECT_EQ(other.exec("select 1 from pg_class where relpersistence = 't' and relname like 'tmp_stage%' "
                                 "and pg_table_is_visible(oid) having count(*) > 0"),
                      "");
            EXPECT_EQ(other.exec("rollback"), "");
        } else {
            {
                EXPECT_FALSE(OpenDatabase(params(), QStringLiteral("other")));
                QSqlDatabase db = QSqlDatabase::database(QStringLiteral("other"), false);
                QSqlQuery q(db);
                EXPECT_TRUE(q.exec(QStringLiteral("begin immediate"))) << q.lastError().text().toStdString();
                EXPECT_TRUE(q.exec(QStringLiteral("select count(*) from sqlite_temp_master")) && q.next()
                            && q.value(0).toInt() == 0);
                EXPECT_TRUE(q.exec(QStringLiteral("rollback")));
                q.finish();
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("other"));
        }
    }
    EXPECT_EQ(stored(), *first) << "declined";
    EXPECT_EQ(StageTables("tmp_stage"), 0) << "declined";

    // Refused by the schema once its products and some prices were read.
    QString text = QString::fromUtf8(ReadFile(doc));
    ASSERT_TRUE(text.contains(QStringLiteral("</pricies>")));
    text.replace(QStringLiteral("</pricies>"), QStringLiteral("<bogus/></pricies>"));
    const QString bad = home() + QStringLiteral("bad.xml");
    WriteFile(bad, text.toUtf8());
    EXPECT_FALSE(ReadNsiFile(bad, schema).ok());
    EXPECT_EQ(stored(), *first) << "refused";
    EXPECT_EQ(StageTables("tmp_stage"), 0) << "refused";
}

// A received forecast's rows, every figure given, with the comments of the document.
struct ReceivedRow {
    int product;
    const char* comment;
};

QString ForecastWithComments(const QString& path, const std::vector<ReceivedRow>& rows)
{
    CTotalForecastList totals;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        CTotalForecastRecord rec;
        rec.id = 100 + int(i);
        rec.prognoz = 3;
        rec.product = rows[i].product;
        int n = 0;
        for (const auto& m : kForecastMoneyColumns)
            rec.*m.field = Money::fromRaw(qint64(i) * 1000 + ++n);
        rec.base = QStringLiteral("основа %1").arg(i);
        rec.baseMethod = int(i);
        totals.push_back(rec);
    }
    XmlDocPtr doc = BuildForecastDocument({5, 7, QString(), 2}, totals);
    std::size_t i = 0;
    for (xmlNodePtr row = xmlDocGetRootElement(doc.get())->children; row; row = row->next)
        if (row->type == XML_ELEMENT_NODE) {
            for (xmlNodePtr field = row->children; field; field = field->next)
                if (field->type == XML_ELEMENT_NODE && xmlStrcmp(field->name, BAD_CAST "comment") == 0)
                    xmlNodeSetContent(field, BAD_CAST rows[i].comment);
            ++i;
        }
    EXPECT_TRUE(SaveExchangeDocument(doc.get(), path));
    return path;
}

// Whether the stage's table answers on a connection: it exists only in the one that read the rows.
bool StageAnswers(QSqlDatabase db, const QString& table, qlonglong* rows = nullptr)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("select count(*) from ") + table) || !q.next())
        return false;
    if (rows)
        *rows = q.value(0).toLongLong();
    return true;
}

// The rows of the received forecast wait in the connection until the user answers: what is stored
// then is what saving the rows one after another stores (the received comment after the stored one,
// of a repeated product the last row, an update line for a stored or repeated product), journal lines
// included; the old-style saves judge.
TEST_P(HeadlessImportTest, StagedForecastRowsStoreWhatSavesOneAfterAnotherStore)
{
    ForecastOfTwoOrganisations();
    SetJournal(true);
    const struct {
        const char* what;
        std::vector<std::pair<int, const char*>> stored; // product, comment (null: NULL)
        std::vector<ReceivedRow> received;
        const char* comment40; // the stored comment of product 40 afterwards
    } cases[] = {
        {"an empty receiver", {}, {{40, "Б"}, {41, ""}}, "Б"},
        {"stored rows: the comments appended", {{40, "А"}, {41, nullptr}}, {{40, "Б"}, {41, "В"}}, "АБ"},
        {"a repeated product over a stored row: the last wins", {{40, "А"}}, {{40, "х"}, {41, "у"}, {40, "я"}}, "Ая"},
        {"a product repeated into an empty receiver", {}, {{41, "п"}, {41, "р"}, {40, ""}}, ""},
    };
    const QString path = home() + QStringLiteral("received.xml");
    const auto arrange = [&](const auto& c) {
        Exec(QStringLiteral("delete from tfctprognozdata"));
        Exec(QStringLiteral("delete from tfctimportstatus"));
        for (const auto& [product, comment] : c.stored)
            Exec(
                QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, comment) values (3, ?, 7, ?)"),
                {product, comment ? QVariant(QString::fromUtf8(comment)) : QVariant(QMetaType(QMetaType::QString))});
        return JournalTexts().size();
    };
    const auto stored = [&](qsizetype journalFrom) {
        QStringList out;
        QSqlQuery q(GetDBConnection().GetConnection());
        EXPECT_TRUE(q.exec(QStringLiteral("select product, comment, base, baseMethod, ") + ForecastFigureColumns()
                           + QStringLiteral(" from tfctprognozdata where receiver = 7 order by id")));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i).toString();
            out << row.join(u'|');
        }
        for (const QString& line : JournalTexts().mid(journalFrom))
            if (line.contains(QStringLiteral("PrognozData")))
                out << line;
        return out;
    };
    for (const auto& c : cases) {
        ForecastWithComments(path, c.received);
        // The saves one after another of the rows as the document gives them, each comment after the one
        // stored before the import.
        qsizetype from = arrange(c);
        {
            QHash<int, QString> comments;
            for (const ReceivedRow& row : c.received)
                if (const auto rec = GetForecastData({3, 7, row.product}))
                    comments.insert(row.product, rec->comment);
            CTransaction tx;
            for (int i = 0; i < int(c.received.size()); ++i) {
                CForecastDataRecord rec;
                rec.id = 100 + i;
                rec.prognoz = 3;
                rec.receiver = 7;
                rec.product = c.received[std::size_t(i)].product;
                int n = 0;
                for (const auto& m : kForecastMoneyColumns)
                    rec.*m.field = Money::fromRaw(qint64(i) * 1000 + ++n);
                rec.base = QStringLiteral("основа %1").arg(i);
                rec.baseMethod = i;
                rec.comment = comments.value(rec.product) + QString::fromUtf8(c.received[std::size_t(i)].comment);
                ASSERT_TRUE(SaveForecastData(rec, false)) << c.what;
            }
            ASSERT_TRUE(tx.commit());
        }
        const QStringList expected = stored(from);

        from = arrange(c);
        CForecastFile file = ReadForecastFile(path, home() + QStringLiteral("forecast.xsd"));
        ASSERT_TRUE(file.ok()) << c.what << ": " << file.message.toStdString();
        EXPECT_EQ(file.rowCount, int(c.received.size())) << c.what;
        EXPECT_TRUE(StoreForecastFile(file)) << c.what;
        EXPECT_TRUE(messages.empty()) << c.what;
        EXPECT_EQ(stored(from), expected) << c.what;
        EXPECT_EQ(Scalar(QStringLiteral("select comment from tfctprognozdata where receiver = 7 and product = 40"))
                      .toString(),
                  QString::fromUtf8(c.comment40))
            << c.what;
        EXPECT_EQ(Count("tfctimportstatus", "receiver = 7 and event = 1"), 1) << c.what;
        EXPECT_EQ(Count("tclsreceivermap", "receiver = 7 and prognoz = 3 and subReceiverCount = 2"), 1) << c.what;
    }
}

// Before the answer the rows are nobody else's business: another connection neither sees them nor
// waits for a lock while it writes; a declined question leaves nothing behind, and so does a refused
// document; a store the database refuses keeps the rows for the next try.
TEST_P(HeadlessImportTest, ForecastRowsBeforeTheAnswerAreSeenByNoneAndLockNothing)
{
    ForecastOfTwoOrganisations();
    const QString path = ForecastWithComments(home() + QStringLiteral("received.xml"), {{40, "а"}, {41, "б"}});
    const QString schema = home() + QStringLiteral("forecast.xsd");
    const QString insert = QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver) values (3, 40, 5)");
    QString table;
    const auto otherWrites = [&] {
        if (isPg()) {
            CPgAdminSession server(params().dbName);
            EXPECT_NE(server.exec(QStringLiteral("select count(*) from ") + table), "")
                << "another session sees the rows";
            EXPECT_EQ(server.exec("set lock_timeout = 2000"), "");
            EXPECT_EQ(server.exec(insert), "");
            return;
        }
        {
            EXPECT_FALSE(OpenDatabase(params(), QStringLiteral("other")));
            QSqlDatabase db = QSqlDatabase::database(QStringLiteral("other"), false);
            EXPECT_FALSE(StageAnswers(db, table)) << "another connection sees the rows";
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(QStringLiteral("pragma busy_timeout = 0")));
            EXPECT_TRUE(q.exec(QStringLiteral("begin immediate"))) << q.lastError().text().toStdString();
            EXPECT_TRUE(q.exec(insert));
            EXPECT_TRUE(q.exec(QStringLiteral("commit")));
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    };
    {
        CForecastFile file = ReadForecastFile(path, schema);
        ASSERT_TRUE(file.ok() && file.stage) << file.message.toStdString();
        table = file.stage->table();
        qlonglong staged = 0;
        EXPECT_TRUE(StageAnswers(GetDBConnection().GetConnection(), table, &staged));
        EXPECT_EQ(staged, 2);
        otherWrites(); // while the question waits
    }                  // declined
    EXPECT_EQ(StageTables("tmp_stage_forecast"), 0);
    EXPECT_EQ(Count("tfctprognozdata"), 1);
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 0);
    EXPECT_EQ(Count("tfctimportstatus"), 0);

    // A document refused while it is read: rows of two forecasts.
    {
        const QString mixed = home() + QStringLiteral("mixed.xml");
        QFile in(path), out(mixed);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        QByteArray text = in.readAll();
        const int last = text.lastIndexOf("<prognoz>3</prognoz>");
        ASSERT_GT(last, 0);
        out.write(text.replace(last, 20, "<prognoz>4</prognoz>"));
        out.close();
        const CForecastFile refused = ReadForecastFile(mixed, schema);
        EXPECT_EQ(refused.status, CForecastFile::Refused);
        EXPECT_EQ(StageTables("tmp_stage_forecast"), 0);
        EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 0);
    }

    // The database refuses the journal row: nothing is stored, and the same rows go in once it takes it.
    CForecastFile file = ReadForecastFile(path, schema);
    ASSERT_TRUE(file.ok());
    const QString drop = Refuse(QStringLiteral("tfctimportstatus"), QStringLiteral("no journal"));
    EXPECT_FALSE(StoreForecastFile(file));
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 0);
    EXPECT_EQ(Count("tclsreceivermap", "receiver = 7 and subReceiverCount = 2"), 0);
    Drop(drop);
    messages.clear();
    EXPECT_TRUE(StoreForecastFile(file));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 2);
    EXPECT_EQ(
        Scalar(QStringLiteral("select comment from tfctprognozdata where receiver = 7 and product = 41")).toString(),
        QStringLiteral("б"));

    // Another document read before the first one is stored has a table of its own: the first one's rows
    // stay staged.
    Exec(QStringLiteral("delete from tfctprognozdata where receiver = 7"));
    CForecastFile first = ReadForecastFile(path, schema);
    const QString other = ForecastWithComments(home() + QStringLiteral("other.xml"), {{41, "в"}});
    CForecastFile second = ReadForecastFile(other, schema);
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_TRUE(first.stage && first.stage->ready());
    EXPECT_TRUE(StoreForecastFile(first));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 2);
    EXPECT_EQ(
        Scalar(QStringLiteral("select comment from tfctprognozdata where receiver = 7 and product = 41")).toString(),
        QStringLiteral("б"));
}

// A received text as long as its column takes goes in whole; one character more refuses the document
// while it is read, before the question, naming the element, its line and the limit, and nothing is
// stored or left waiting. Characters count, not bytes: one outside the BMP counts once.
TEST_P(HeadlessImportTest, TextsLongerThanTheirColumnsAreRefusedWhileRead)
{
    ForecastOfTwoOrganisations();
    const CReceiverList receivers{{kSender, 0, "~rn~", QString(), 0, kSender},
                                  {kRecipient, kSender, QStringLiteral("Отдел Б"), QString(), 0, kRecipient}};
    CProductList products(1);
    std::tie(products[0].id, products[0].prognoz, products[0].name, products[0].comment) =
        std::tuple(1, kForecast, "~pn~", "~pk~");
    const CForecastList forecasts{{kForecast, QStringLiteral("Прогноз"), 2013, -20, "~fo~", 1}};
    const CMeasurementList units{{1, QStringLiteral("штука"), "796", "~uo~", 1}};
    const CDocumentationList documents{{1, kForecast, QStringLiteral("Методика"), 0, "~df~", {}}};
    const QString nsi = QString::fromUtf8(ReadFile(Save(BuildNsiDocument(
        {kForecast, kSender, kRecipient, {}, &receivers, &products, &forecasts, nullptr, &documents, &units}))));
    QString forecast = QString::fromUtf8(ReadFile(ForecastWithComments(home() + "f.xml", {{40, "~c~"}})));
    forecast.replace(QStringLiteral("основа 0"), QStringLiteral("~b~"));
    CForecastDataList rows(1);
    std::tie(rows[0].id, rows[0].product, rows[0].comment) = std::tuple(1, 41, "~k~");
    // Its comment beyond line 65535, which a node of libxml2 cannot hold itself.
    const QString comments = QString::fromUtf8(ReadFile(Save(BuildCommentDocument({7, 3, 5, {}}, rows))))
                                 .replace(QStringLiteral("<prognozdata>"), QString(70000, u'\n') + "<prognozdata>");

    // Each document, read from `path` and stored: the refusal, else empty.
    const struct {
        const QString* document;
        std::function<QString(const QString& path)> import;
    } kinds[] = {
        {&nsi,
         [&](const QString& path) {
             CNsiFile f = ReadNsiFile(path, home() + QLatin1String(ExchangeSchemas::kNsi));
             return f.ok() && !StoreNsiFile(f) ? QStringLiteral("not stored") : f.message;
         }},
        {&forecast,
         [&](const QString& path) {
             CForecastFile f = ReadForecastFile(path, home() + QLatin1String(ExchangeSchemas::kForecast));
             return f.ok() && !StoreForecastFile(f) ? QStringLiteral("not stored") : f.message;
         }},
        {&comments,
         [&](const QString& path) {
             const CCommentsFile f = ReadCommentsFile(path, home() + QLatin1String(ExchangeSchemas::kComment));
             return f.ok() && !StoreCommentsFile(f, 7) ? QStringLiteral("not stored") : f.message;
         }},
    };
    const struct {
        int kind;
        const char* mark;
        const char* element;
        const char* stored;
    } fields[] = {
        {0, "~pk~", "comment", "select comment from tclsproduct where prognoz = 5"},
        {0, "~pn~", "name", "select name from tclsproduct where prognoz = 5"},
        {0, "~rn~", "name", "select name from tclsreceiver where importedId = 3"},
        {0, "~fo~", "ownerName", "select ownerName from tfctprognoz where id = 5"},
        {0, "~uo~", "oboznachenie", "select oboznachenie from tclsmeasurement where id = 1"},
        {0, "~df~", "filename", "select filename from tfctdocumentation where prognoz = 5"},
        {1, "~c~", "comment", "select comment from tfctprognozdata where product = 40"},
        {1, "~b~", "base", "select base from tfctprognozdata where product = 40"},
        {2, "~k~", "comment", "select comment from tfcttotalprognoz where product = 41"},
    };
    const auto text = [](std::size_t field, int length) {
        return QChar(u'А' + int(field)) + QString(length - 2, u'я') + QStringLiteral("\U0001D11E");
    };
    // The document with every text of its marks at the limit, the one of field `longer` a character beyond.
    const QString path = home() + QStringLiteral("long.xml");
    const auto write = [&](const QString& document, std::size_t longer, int length = 256) {
        QString out = document;
        for (std::size_t i = 0; i < std::size(fields); ++i)
            out.replace(QLatin1String(fields[i].mark), text(i, i == longer ? length : 255));
        WriteFile(path, out.toUtf8());
    };
    const auto stored = [&] {
        QStringList out{Scalar("select (select count(*) from tfctimportstatus) + (select count(*) from tclsproduct) "
                               "+ (select count(*) from tclsreceiver)")
                            .toString()};
        for (const auto& f : fields)
            out << Scalar(QString::fromUtf8(f.stored)).toString();
        return out;
    };
    for (const auto& kind : kinds) {
        write(*kind.document, std::size(fields));
        EXPECT_EQ(kind.import(path), "");
    }
    for (std::size_t i = 0; i < std::size(fields); ++i)
        EXPECT_EQ(Scalar(QString::fromUtf8(fields[i].stored)).toString(), text(i, 255)) << fields[i].mark;
    EXPECT_TRUE(messages.empty());

    const QStringList before = stored();
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        const auto& f = fields[i];
        const QString& document = *kinds[f.kind].document;
        write(document, i);
        const auto line = document.left(document.indexOf(QLatin1String(f.mark))).count(u'\n') + 1;
        EXPECT_EQ(kinds[f.kind].import(path),
                  QStringLiteral("Ошибка при чтении файла %1\nЭлемент «%2» в строке %3 длиннее 255 знаков.")
                      .arg(path, QLatin1String(f.element))
                      .arg(line))
            << f.mark;
        EXPECT_EQ(stored(), before) << f.mark;
        EXPECT_EQ(StageTables("tmp_stage"), 0) << f.mark;
    }
    // A comment of megabytes is refused alike, after a read that never holds it.
    for (const std::size_t i : {0, 6, 8}) {
        constexpr int kLength = 4 << 20; // characters, twice as many bytes
        write(*kinds[fields[i].kind].document, i, kLength);
        ResetPeakMemory();
        const long resident = StatusKiB("VmRSS:");
        EXPECT_TRUE(kinds[fields[i].kind].import(path).endsWith(QStringLiteral("длиннее 255 знаков.")))
            << fields[i].mark;
        EXPECT_LT(StatusKiB("VmHWM:") - resident, kLength / 1024) << fields[i].mark << ": KiB";
        EXPECT_EQ(stored(), before) << fields[i].mark;
    }
    EXPECT_TRUE(messages.empty());
}

// However a row's texts are written (a figure led by a hundred thousand zeros, a text in pieces of
// character data, a comment and a reference), they are stored as the plain document's are, and
// nothing of the blanks between the fields gets into them.
TEST_P(HeadlessImportTest, ARowsTextsAreStoredAsTheyReadWhateverTheirPieces)
{
    ForecastOfTwoOrganisations();
    const QString schema = home() + QStringLiteral("forecast.xsd");
    const QString path = Save(BuildForecastDocument({5, 7, QString(), 0}, SampleTotals(QStringLiteral("основа"))));
    const auto stored = [&](const QByteArray& document) {
        WriteFile(path, document);
        CForecastFile file = ReadForecastFile(path, schema);
        EXPECT_TRUE(file.ok()) << file.message.toStdString();
        EXPECT_TRUE(StoreForecastFile(file));
        QStringList values;
        for (const char* column : {"sumlast", "sumnext", "valuenorm", "sumother", "basemethod", "base", "comment"})
            for (int product : {40, 41})
                values << Scalar(QStringLiteral("select %1 from tfctprognozdata where receiver = 7 and product = ?")
                                     .arg(QLatin1String(column)),
                                 {product})
                              .toString();
        return values;
    };
    const QByteArray plain = ReadFile(path);
    QStringList expected = stored(plain);
    ASSERT_EQ(expected.size(), 14);
    expected[10] += QStringLiteral(" и <&> Ж");
    QByteArray pieces = plain;
    pieces.replace("<sumlast>", "<sumlast>" + QByteArray(100000, '0'))
        .replace("<sumnext>", "<sumnext>\n  ")
        .replace("основа</base>", "осн<!-- о -->ова<![CDATA[ и <&> ]]>&#1046;</base>");
    ASSERT_NE(pieces, plain);
    EXPECT_EQ(stored(pieces), expected);
    EXPECT_TRUE(messages.empty());
}

// What SQLite's temporary files of this process hold on disk now, deleted ones included (it names
// them so and unlinks them as it opens them).
qint64 TemporaryFileBytes()
{
    qint64 bytes = 0;
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System)) {
        struct stat info;
        if (fd.symLinkTarget().contains(QLatin1String("/etilqs_"))
            && stat(QFile::encodeName(fd.filePath()).constData(), &info) == 0)
            bytes += qint64(info.st_blocks) * 512;
    }
    return bytes;
}

// Rows of products 40 and 41 in turn with long comments: several megabytes, more than the temporary
// database keeps in its cache.
QString LargeForecast(const QString& path, int rows)
{
    static const QByteArray comment = QString(250, QChar(0x0416)).toUtf8();
    std::vector<ReceivedRow> received;
    for (int i = 0; i < rows; ++i)
        received.push_back({40 + i % 2, comment.constData()});
    return ForecastWithComments(path, received);
}

// However the import ends, its waiting rows go and their room in the temporary folder with them.
TEST_P(HeadlessImportTest, AnImportEndedAnyWayGivesItsTemporaryRoomBack)
{
    ForecastOfTwoOrganisations();
    const QString path = LargeForecast(home() + QStringLiteral("received.xml"), 4000);
    const QString schema = home() + QStringLiteral("forecast.xsd");
    const struct {
        const char* what;
        bool store;
        bool refused; // the database refuses the journal row
        qlonglong rows;
    } cases[] = {{"declined", false, false, 0}, {"failed", true, true, 0}, {"answered yes", true, false, 2}};
    for (const auto& c : cases) {
        messages.clear();
        const qint64 before = TemporaryFileBytes();
        const QString drop = c.refused ? Refuse(QStringLiteral("tfctimportstatus"), QStringLiteral("no")) : QString();
        {
            CForecastFile file = ReadForecastFile(path, schema);
            ASSERT_TRUE(file.ok() && file.stage) << c.what;
            if (!isPg()) {
                EXPECT_GT(TemporaryFileBytes(), before + 2'000'000) << c.what << ": the rows are in the folder";
            }
            if (c.store) {
                EXPECT_EQ(StoreForecastFile(file), !c.refused) << c.what;
            }
        }
        if (!drop.isEmpty())
            Drop(drop);
        EXPECT_EQ(StageTables("tmp_stage"), 0) << c.what;
        EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), c.rows) << c.what;
        EXPECT_EQ(messages.size(), c.refused ? 1u : 0u) << c.what;
        // The temporary database keeps its first page.
        if (!isPg()) {
            EXPECT_LE(TemporaryFileBytes(), std::max<qint64>(before, 8192)) << c.what;
        }
    }
}

// A temporary folder without room refuses the document while it is read, naming the folder and the
// cause rather than the document; nothing is stored or left waiting. The folder is a small file
// system of its own, mounted where that is allowed.
TEST_P(HeadlessImportTest, AFullTemporaryFolderIsNamedBeforeTheQuestion)
{
    if (isPg())
        GTEST_SKIP() << "the server's temporary tables fill the server's disk, not one the test can fill";
    ForecastOfTwoOrganisations();
    const QString path = LargeForecast(home() + QStringLiteral("received.xml"), 8000);
    const QString folder = home() + QStringLiteral("tmp");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray name = QFile::encodeName(folder);
    if (mount("lirtmp", name.constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "no small file system can be mounted here: " << std::strerror(errno);
    const auto unmount = qScopeGuard([&] {
        GetDBConnection().Close();
        sqlite3_free(std::exchange(sqlite3_temp_directory, nullptr));
        EXPECT_EQ(umount(name.constData()), 0) << std::strerror(errno);
    });
    // A new connection, whose temporary database is made in the folder.
    sqlite3_temp_directory = sqlite3_mprintf("%s", name.constData());
    ASSERT_TRUE(GetDBConnection().ConnectWith(params()));
    const CForecastFile file = ReadForecastFile(path, home() + QStringLiteral("forecast.xsd"));
    EXPECT_EQ(file.status, CForecastFile::Refused);
    EXPECT_EQ(file.message,
              QStringLiteral("Недостаточно места во временной папке %1: диск заполнен. Освободите место на диске и "
                             "повторите загрузку. Файл не загружен.")
                  .arg(folder));
    EXPECT_FALSE(file.stage);
    EXPECT_EQ(StageTables("tmp_stage"), 0);
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 0);
    EXPECT_TRUE(messages.empty());
}

LIR_INSTANTIATE_DB_TEST(HeadlessImportTest);

} // namespace

class HeadlessServerImportTest : public HeadlessImportTest { };
INSTANTIATE_TEST_SUITE_P(PostgreSQL, HeadlessServerImportTest, ::testing::Values(SqlDialect::PostgreSQL), DialectName);

// The server ends the program's session while a received forecast is stored and its rows wait for
// another session's row lock: the program says so in its own words (never the driver's English),
// nothing is stored, and the same file goes in afterwards on a new connection.
TEST_P(HeadlessServerImportTest, AForecastWhoseSessionTheServerEndsSaysSoAndGoesInLater)
{
    ForecastOfTwoOrganisations();
    Exec(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, comment) values (3, 41, 7, 'было')"));
    const QString path = Save(BuildForecastDocument({5, 7, QString(), 0}, SampleTotals()));
    const QString schema = home() + QStringLiteral("forecast.xsd");

    CPgAdminSession other(params().dbName);
    ASSERT_EQ(other.exec("begin"), "");
    ASSERT_EQ(other.exec("update tfctprognozdata set comment = 'занято' where receiver = 7 and product = 41"), "");
    {
        CForecastFile file = ReadForecastFile(path, schema);
        ASSERT_TRUE(file.ok()) << file.message.toStdString();
        QString failure;
        std::thread server(
            [&, pid = ServerSessionId()] { failure = TerminateOnceWaiting(params().dbName, pid, 10000); });
        EXPECT_FALSE(StoreForecastFile(file));
        server.join();
        EXPECT_EQ(failure, "");
    }
    EXPECT_EQ(other.exec("rollback"), "");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("Соединение с сервером базы данных потеряно.")))
        << messages[0].text.toStdString();
    EXPECT_EQ(Count("tfctprognozdata"), 1);
    EXPECT_EQ(Count("tfctimportstatus"), 0);

    messages.clear();
    CForecastFile again = ReadForecastFile(path, schema);
    ASSERT_TRUE(again.ok());
    EXPECT_TRUE(StoreForecastFile(again));
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_EQ(Count("tfctprognozdata", "receiver = 7"), 2);
    EXPECT_EQ(Count("tfctimportstatus", "receiver = 7 and event = 1"), 1);
}
