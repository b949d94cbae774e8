// The rules every table module shares, over the modules on both dialects: a read of an id that is
// not stored answers none without a message; a row the reader refuses follows the table's rule; the
// journal line is written only once the outermost transaction commits, and a rollback leaves none.
#include "DbTest.h"
#include "db/TextLimits.h"
#include "tables/Documentation.h"
#include "tables/Forecasts.h"
#include "tables/ImportStatus.h"
#include "tables/MConverts.h"
#include "tables/Mailings.h"
#include "tables/Measurements.h"
#include "tables/Prices.h"
#include "tables/Products.h"
#include "tables/Receivers.h"
#include "tables/TotalForecasts.h"

#include <QRegularExpression>
#include <QSqlQuery>

#include <functional>
#include <set>
#include <string>

namespace {

struct ModuleCase {
    const char* name;
    const char* table;
    std::function<bool()> saveNew;
    int journalLines; // of one save of a new record
    std::function<bool()> unknownIsNone;
    const char* unreadableRow; // an insert of a row the module's reader refuses
    std::function<std::optional<size_t>()> load;
    bool unreadableFailsRead;
};

template <class R>
std::optional<size_t> SizeOf(const std::optional<std::vector<R>>& list)
{
    return list ? std::optional<size_t>(list->size()) : std::nullopt;
}

const std::vector<ModuleCase>& Cases()
{
    static const std::vector<ModuleCase> cases = {
        {"units", "tclsmeasurement",
         [] {
             CMeasurementRecord r{-1, "кг", "166", "кг", 1};
             return SaveMeasurement(r);
         },
         1, [] { return !GetMeasurement(99); }, "insert into tclsmeasurement (id, name, type) values (50, null, 1)",
         [] { return SizeOf(LoadMeasurements()); }, false},
        {"conversions", "tclsmconvert",
         [] {
             CMConvertRecord r{-1, 1, 2, 0.5};
             return SaveMConvert(r, true);
         },
         1, [] { return !GetMConvert(99); },
         "insert into tclsmconvert (id, base, produce, koef) values (50, 1, 2, null)",
         [] { return SizeOf(LoadMConverts()); }, false},
        {"forecasts", "tfctprognoz",
         [] {
             CForecastRecord r;
             r.name = "новый";
             r.year = 2027;
             return SaveForecast(r);
         },
         1, [] { return !GetForecast(99); },
         "insert into tfctprognoz (id, name, year, status) values (50, null, 2026, 0)",
         [] { return SizeOf(LoadForecasts()); }, false},
        {"receivers", "tclsreceiver",
         [] {
             CReceiverRecord r;
             r.name = "новый";
             return SaveReceiver(r);
         },
         1, [] { return !GetForecastReceiver(99, 1); },
         "insert into tclsreceiver (id, name, category, importedId, isgroup) values (50, null, 1, 0, 0); "
         "insert into tclsreceivermap (prognoz, receiver) values (1, 50)",
         [] { return SizeOf(LoadForecastReceivers(1)); }, false},
        {"documents", "tfctdocumentation",
         [] {
             CDocumentationRecord r{-1, 1, "справка", 1, "a.doc", std::nullopt};
             return SaveDocumentation(r);
         },
         1, [] { return !GetDocumentation(99, 1); },
         "insert into tfctdocumentation (id, prognoz, name, position, filename) values (50, 1, null, 1, 'x')",
         [] { return SizeOf(LoadDocumentation()); }, false},
        {"mailings", "tfctmailing",
         [] {
             CMailingRecord r;
             r.prognoz = 1;
             r.subject = "тема";
             return SaveMailing(r);
         },
         1, [] { return !GetMailing(99); },
         "insert into tfctmailing (id, prognoz, Subject, Text, MailingDate) values (50, 1, null, 't', '2026-01-01 "
         "00:00:00')",
         [] { return SizeOf(LoadMailings()); }, false},
        {"exchange journal", "tfctimportstatus",
         [] {
             CImportStatusRecord r;
             r.prognoz = 1;
             r.receiver = 1;
             r.event = 3;
             return SaveImportStatus(r);
         },
         1, [] { return !GetImportStatus(99, 1); },
         "insert into tfctimportstatus (id, prognoz, receiver, comment, envelope, event) values (50, 1, 1, null, '', "
         "3)",
         [] { return SizeOf(LoadImportStatus()); }, false},
        {"consolidated rows", "tfcttotalprognoz",
         [] {
             CTotalForecastRecord r;
             r.prognoz = 1;
             r.product = 1;
             return SaveTotalForecast(r);
         },
         1, [] { return !GetTotalForecastById(99); },
         "insert into tfcttotalprognoz (id, prognoz, product) values (50, 1, null)",
         [] { return SizeOf(LoadTotalForecasts()); }, false},
        // Prices and products journal no save; a price row without a product, a product without a
        // name fail the whole read.
        {"prices", "tfctprice",
         [] {
             CPriceRecord r{-1, 1, 1, Money::fromInt(5), Money::fromInt(6), Money::fromInt(7)};
             return SavePrice(r, true);
         },
         0, [] { return !GetPriceById(99, 1); }, "insert into tfctprice (id, prognoz, product) values (50, 1, null)",
         [] { return SizeOf(LoadPrices()); }, true},
        {"products", "tclsproduct",
         [] {
             CProductRecord r;
             r.prognoz = 1;
             r.parent = 0;
             r.name = "изделие";
             return SaveProduct(r);
         },
         0, [] { return !GetProduct(99, 1); },
         "insert into tclsproduct (prognoz, id, parent, name, position, type, isgroup, offsetMin, offsetMax, avRep, "
         "avCur, "
         "avProg, priceIdx) values (1, 50, 0, null, 1, 1, 0, 0, 0, 0, 0, 0, 0)",
         [] { return SizeOf(LoadProducts(1)); }, true},
    };
    return cases;
}

class TableModulesTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Exec("insert into tfctprognoz (id, name, year, status) values (1, 'f', 2026, 0)");
        Exec("insert into tclsmeasurement (id, name, type) values (1, 'шт', 1), (2, 'тыс.шт', 1)");
        Exec("insert into tclsreceiver (id, name, importedId, isgroup, category) values (1, 'r', 0, 1, 0)");
        Exec("insert into tclsreceivermap (prognoz, receiver) values (1, 1)");
        Exec("insert into tclsimporteventtype (id, name) values (3, 'e')");
        Exec(
            "insert into tclsproduct (prognoz, id, parent, name, position, type, isgroup, offsetMin, offsetMax, avRep, "
            "avCur, avProg, priceIdx) values (1, 1, 0, 'p', 1, 1, 0, 0, 0, 0, 0, 0, 0)");
    }
};

} // namespace

TEST_P(TableModulesTest, SharedRulesOfEveryModule)
{
    SetJournal(true);
    for (const ModuleCase& m : Cases()) {
        SCOPED_TRACE(m.name);
        EXPECT_TRUE(m.unknownIsNone());
        const qlonglong rows = Count(m.table);
        const qsizetype lines = JournalTexts().size();
        {
            CTransaction outer;
            ASSERT_TRUE(outer.isActive());
            ASSERT_TRUE(m.saveNew());
            EXPECT_EQ(JournalTexts().size(), lines) << "no line before the outermost commit";
            ASSERT_TRUE(outer.commit());
        }
        EXPECT_EQ(JournalTexts().size(), lines + m.journalLines);
        EXPECT_EQ(Count(m.table), rows + 1);
        {
            CTransaction outer;
            ASSERT_TRUE(m.saveNew());
            outer.rollback();
        }
        EXPECT_EQ(JournalTexts().size(), lines + m.journalLines) << "a rollback leaves no line";
        EXPECT_EQ(Count(m.table), rows + 1);

        const auto before = m.load();
        ASSERT_TRUE(before);
        for (const QString& statement : QString::fromUtf8(m.unreadableRow).split(QStringLiteral("; ")))
            Exec(statement);
        const auto after = m.load();
        if (m.unreadableFailsRead)
            EXPECT_FALSE(after);
        else
            EXPECT_EQ(after, before) << "the unreadable row is left out";
    }
    // Only the products show their unreadable row, as a database error.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("tclsproduct.name")) << messages[0].text.toStdString();
}

// Received texts are held to the limits of one table: the database's own catalogue has each of them,
// and no other limit on the text columns of those tables.
TEST_P(TableModulesTest, TextLimitsAreTheSchemasOwn)
{
    std::set<std::string> tables;
    for (const CTextLimit& limit : kTextLimits)
        tables.insert(limit.table);
    for (const std::string& table : tables) {
        QStringList expected, found;
        for (const CTextLimit& limit : TextLimitsOf(table.c_str()))
            expected << QStringLiteral("%1 %2").arg(QLatin1String(limit.column)).arg(limit.length);
        if (isPg()) {
            QSqlQuery q(GetDBConnection().GetConnection());
            q.prepare("select column_name, character_maximum_length from information_schema.columns where "
                      "table_name = ? and character_maximum_length is not null");
            q.addBindValue(QString::fromStdString(table));
            ASSERT_TRUE(q.exec());
            while (q.next())
                found << q.value(0).toString() + u' ' + q.value(1).toString();
        } else {
            const QString sql = Scalar("select sql from sqlite_master where type = 'table' and lower(name) = ?",
                                       {QString::fromStdString(table)})
                                    .toString();
            static const QRegularExpression check(QStringLiteral("CHECK \\(length\\((\\w+)\\) <= (\\d+)\\)"));
            for (const auto& m : check.globalMatch(sql))
                found << m.captured(1).toLower() + u' ' + m.captured(2);
        }
        expected.sort();
        found.sort();
        EXPECT_EQ(found, expected) << table;
    }
}

LIR_INSTANTIATE_DB_TEST(TableModulesTest);
