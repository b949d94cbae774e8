// The server's procedures on the PostgreSQL test cluster, judged against the program's own code
// where it does the same work (new forecasts, recalculation) and against a plain SQL statement of
// the consolidation rule.
#include "BastrelTestSupport.h"

#include "DbTest.h"
#include "RecalcWalks.h"
#include "tables/Forecasts.h"

namespace {

class ServerProceduresTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        // Units, conversions (a thousand of unit 2 make one of unit 1), receivers: the root 1, the
        // subordinate group 2 with the leaves 3 and 4, the leaf 5 under the root.
        for (const char* sql :
             {"insert into tClsMeasurement (id, name, code) values (1, 'Рубль', '383'), (2, 'Копейка', NULL), "
              "(3, 'Штука', '796')",
              "insert into tClsMConvert (base, produce, koef) values (1, 2, 1000)",
              "insert into tClsReceiver (id, category, name, importedId, isgroup, position) values "
              "(1, 0, 'Корень', 0, 1, 1), (2, 1, 'Группа', 0, 1, 2), (3, 2, 'Лист 1', 0, 0, 3), "
              "(4, 2, 'Лист 2', 0, 0, 4), (5, 1, 'Лист 3', 0, 0, 5)",
              "insert into tFctPrognoz (id, name, year, status) values (1, 'Источник', 2024, 0)",
              "insert into tClsReceiverMap (prognoz, receiver, subReceiverCount) values (1, 1, 2), (1, 2, 2), "
              "(1, 3, 0), (1, 4, 0), (1, 5, 0)",
              // Products: the root 10 (sum of members), the balancing group 11 with members 12 (rubles)
              // and 13 (kopecks), the leaf 14.
              "insert into tClsProduct (prognoz, id, parent, measurementNatural, measurementPrice, name, "
              "position, offsetMin, offsetMax, type, isgroup, code) values "
              "(1, 10, 0, NULL, 1, 'Продукция', 1, 0, 0, 64, 1, NULL), "
              "(1, 11, 10, NULL, 1, 'Топливо', 1, 0, 0, 112, 1, '01'), "
              "(1, 12, 11, 3, 1, 'Уголь', 1, 0.9, 1.1, 0, 0, '011'), "
              "(1, 13, 11, 3, 2, 'Дрова', 2, 0, 0, 0, 0, '012'), "
              "(1, 14, 10, 3, 1, 'Бумага', 2, 0, 0, 0, 0, '02')",
              "insert into tFctPrice (prognoz, product, pricePrev, priceCur, priceNext) values "
              "(1, 10, 0, 0, 0), (1, 11, 0, 0, 0), (1, 12, 100, 100, 100), (1, 13, 1, 1, 1), (1, 14, 5, 5, 5)",
              "insert into tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext, valueLast, "
              "valueCurr, valueNext, valueNorm, sumOther) values "
              "(1, 12, 3, 1000, 1100, 1200, 10, 11, 12, 1, 2), (1, 13, 3, 12345, 0, 50000, 1, 1, 1, 0, 0), "
              "(1, 11, 3, 5000, 5000, 5000, 0, 0, 0, 0, 0), (1, 14, 3, 50, 55, 60, 10, 11, 12, 0, 0), "
              "(1, 12, 4, 2000, 2000, 2000, 20, 20, 20, 3, 4), (1, 14, 5, 7, 8, 9, 1, 1, 1, 0, 0), "
              "(1, 12, 2, 999, 999, 999, 9, 9, 9, 9, 9), (1, 12, 1, 1, 1, 1, 1, 1, 1, 1, 1)"})
            Exec(QString::fromUtf8(sql));
    }

    int Call(const QString& sql, const QVariantList& args = {}) { return Scalar(sql, args).toInt(); }

    // What a forecast holds, without its own id and the ids the database gives: map, products, prices, data.
    QStringList Snapshot(int forecast)
    {
        QStringList out;
        const QString queries[] = {
            QStringLiteral("select f.name || '|' || f.year || '|' || f.status || '|' || coalesce(f.owner, -9) || '|' "
                           "|| coalesce(f.ownername, '') from tFctPrognoz f where f.id = ?"),
            QStringLiteral("select receiver || '|' || subReceiverCount from tClsReceiverMap where prognoz = ? "
                           "order by receiver"),
            QStringLiteral("select concat_ws('|', case when p.name = 'Продукция' and p.parent = 0 then 'root' "
                           "else p.id::text end, p.parent, p.name, p.type, p.isgroup, p.position, p.code, "
                           "p.offsetMin, p.measurementPrice, pr.pricePrev, pr.priceCur, pr.priceNext) "
                           "from tClsProduct p left join tFctPrice pr on pr.prognoz = p.prognoz and pr.product = p.id "
                           "where p.prognoz = ? order by p.parent, p.name"),
            QStringLiteral("select concat_ws('|', product, receiver, sumLast, sumCurr, sumNext, valueLast, valueNorm, "
                           "sumOther, comment) from tFctPrognozData where prognoz = ? order by product, receiver"),
        };
        for (const QString& sql : queries) {
            CSqlQuery q(sql);
            q.bind(forecast);
            EXPECT_TRUE(q.exec());
            while (q.next())
                out << q.value(0).toString();
            out << QStringLiteral("--");
        }
        return out;
    }

    // The six year figures of every data row (or consolidated row) of a forecast, missing as zero.
    QStringList YearFigures(int forecast, bool consolidated)
    {
        const QString sql = consolidated
            ? QStringLiteral("select concat_ws('|', product, coalesce(sumLast, 0), coalesce(sumCurr, 0), "
                             "coalesce(sumNext, 0), coalesce(valueLast, 0), coalesce(valueCurr, 0), "
                             "coalesce(valueNext, 0)) from tFctTotalPrognoz where prognoz = ? order by product")
            : QStringLiteral("select concat_ws('|', product, receiver, coalesce(sumLast, 0), coalesce(sumCurr, 0), "
                             "coalesce(sumNext, 0), coalesce(valueLast, 0), coalesce(valueCurr, 0), "
                             "coalesce(valueNext, 0)) from tFctPrognozData where prognoz = ? "
                             "and (sumLast <> 0 or sumCurr <> 0 or sumNext <> 0 or valueLast <> 0 or valueCurr <> 0 "
                             "or valueNext <> 0) order by product, receiver");
        QStringList out;
        CSqlQuery q(sql);
        q.bind(forecast);
        EXPECT_TRUE(q.exec());
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
};

TEST_P(ServerProceduresTest, NewForecastAndCloneCopyAsTheProgram)
{
    struct Flags {
        int copy, receiversOnly, data;
    };
    for (const Flags f : {Flags{1, 0, 0}, Flags{1, 0, 1}, Flags{0, 1, 0}, Flags{1, 1, 1}, Flags{0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << f.copy << f.receiversOnly << f.data);
        CForecastRecord rec;
        rec.id = -1;
        rec.name = QStringLiteral("Новый");
        rec.year = 2025;
        rec.ownerName = QStringLiteral("Министерство");
        ASSERT_TRUE(CreateForecast(rec, 1, f.copy, f.receiversOnly, f.data));
        const int server =
            Call(QStringLiteral("select sForecastNew(?, ?, ?, ?, ?, ?, ?)"),
                 {QStringLiteral("Новый"), QStringLiteral("Министерство"), 2025, f.copy, f.receiversOnly, f.data, 1});
        ASSERT_GT(server, rec.id);
        EXPECT_EQ(Snapshot(server), Snapshot(rec.id));
    }
    // The clone into an empty forecast copies what the new forecast with the same flags got.
    const int withData = Call(QStringLiteral("select sForecastNew('Копия', 'М', 2025, 1, 0, 1, 1)"));
    Exec(QStringLiteral("insert into tFctPrognoz (id, name, year, status, owner, ownername) values "
                        "(50, 'Копия', 2025, 0, -1, 'М')"));
    EXPECT_EQ(Call(QStringLiteral("select sNSIClone(50, 1, 0, 1, NULL)")), 0);
    EXPECT_EQ(Snapshot(50), Snapshot(withData));
    // Targets that already hold what would be copied, and forecasts that do not exist.
    Exec(QStringLiteral("insert into tFctPrognoz (id, name, year, status) values (51, 'a', 1, 0), (52, 'b', 1, 0)"));
    Exec(QStringLiteral("insert into tClsProduct (prognoz, id, parent, name, isgroup) values (51, 12, 0, 'x', 0), "
                        "(52, 12, 0, 'x', 0)"));
    Exec(QStringLiteral("insert into tFctPrognozData (prognoz, product, receiver) values (52, 12, 3)"));
    const std::pair<const char*, int> codes[] = {
        {"select sNSIClone(50, 1, 0, 0, NULL)", -4},  {"select sNSIClone(51, 1, 0, 0, NULL)", -5},
        {"select sNSIClone(52, 1, 0, 1, NULL)", -6},  {"select sNSIClone(99, 1, 0, 0, NULL)", -1},
        {"select sNSIClone(51, 99, 0, 0, NULL)", -1}, {"select sForecastNew('x', 'y', 1, 1, 0, 0, 99)", -1}};
    for (const auto& [sql, code] : codes)
        EXPECT_EQ(Call(QString::fromLatin1(sql)), code) << sql;
}

TEST_P(ServerProceduresTest, DeleteOnlyInAnOpenStatus)
{
    Exec(QStringLiteral("insert into tFctTotalPrognoz (prognoz, product, sumLast) values (1, 12, 5)"));
    Exec(QStringLiteral("insert into tFctUserRights (UserSID, ForecastID, ReceiverID) values ('\\x61', 1, 3)"));
    Exec(QStringLiteral("update tFctPrognoz set status = 1 where id = 1"));
    const QString counts = QStringLiteral(
        "select (select count(*) from tClsProduct) || '/' || (select count(*) from tFctPrognozData) || '/' || "
        "(select count(*) from tFctTotalPrognoz) || '/' || (select count(*) from tFctPrognoz)");
    const QString before = Scalar(counts).toString();
    EXPECT_EQ(Call(QStringLiteral("select sForecastDelete(1)")), -2);
    EXPECT_EQ(Scalar(counts).toString(), before);
    EXPECT_EQ(Call(QStringLiteral("select sForecastDelete(77)")), -1);
    Exec(QStringLiteral("update tFctPrognoz set status = 2 where id = 1"));
    EXPECT_EQ(Call(QStringLiteral("select sForecastDelete(1)")), 0);
    EXPECT_EQ(Scalar(counts).toString(), QStringLiteral("0/0/0/0"));
}

TEST_P(ServerProceduresTest, TotalGenerateFollowsTheConsolidationRule)
{
    // The rule in one plain statement: the rows of mapped leaves and top-level receivers, summed.
    const QString expected = QStringLiteral(
        "select string_agg(concat_ws('|', product, s1, s2, s3, v1, vn, so), ',' order by product) from ("
        " select d.product, sum(d.sumLast) s1, sum(d.sumCurr) s2, sum(d.sumNext) s3, sum(d.valueLast) v1,"
        " sum(d.valueNorm) vn, sum(d.sumOther) so from tFctPrognozData d"
        " where d.prognoz = 1 and exists (select 1 from tClsReceiverMap m join tClsReceiver r on r.id = m.receiver"
        "  where m.prognoz = 1 and m.receiver = d.receiver and (r.isgroup = 0 or r.category = 0))"
        " group by d.product) x");
    const QString actual = QStringLiteral(
        "select string_agg(concat_ws('|', product, sumLast, sumCurr, sumNext, valueLast, valueNorm, sumOther), ',' "
        "order by product) from tFctTotalPrognoz where prognoz = 1 and (sumLast <> 0 or valueLast <> 0)");
    const QString want = Scalar(expected).toString();
    ASSERT_FALSE(want.isEmpty());
    // An old row without a comment goes; one with a comment keeps it, zeroed.
    Exec(QStringLiteral("insert into tFctTotalPrognoz (prognoz, product, sumLast) values (1, 11, 7)"));
    EXPECT_EQ(Call(QStringLiteral("select sForecastTotalGenerate(1)")), 0);
    EXPECT_EQ(Scalar(actual).toString(), want);
    EXPECT_EQ(Count(QStringLiteral("tFctTotalPrognoz"), QStringLiteral("prognoz = 1 and product = 11 and sumLast = 7")),
              0);
    Exec(QStringLiteral("update tFctTotalPrognoz set comment = 'оставить' where product = 12"));
    Exec(QStringLiteral("insert into tFctTotalPrognoz (prognoz, product, sumLast, comment) values (1, 10, 3, 'тоже')"));
    EXPECT_EQ(Call(QStringLiteral("select sForecastTotalGenerate(1)")), 0);
    EXPECT_EQ(Scalar(actual).toString(), want);
    EXPECT_EQ(Scalar(QStringLiteral("select concat_ws('|', sumLast, comment) from tFctTotalPrognoz where product = 10"))
                  .toString(),
              QStringLiteral("0.0000|тоже"));
    // Nothing to sum: the rows are emptied all the same.
    Exec(QStringLiteral("delete from tFctPrognozData"));
    EXPECT_EQ(Call(QStringLiteral("select sForecastTotalGenerate(1)")), -3);
    EXPECT_EQ(Count(QStringLiteral("tFctTotalPrognoz"), QStringLiteral("sumLast <> 0")), 0);
    EXPECT_EQ(Call(QStringLiteral("select sForecastTotalGenerate(99)")), -1);
}

TEST_P(ServerProceduresTest, RecalculateAsTheProgram)
{
    Exec(QStringLiteral("insert into tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast) values "
                        "(1, 12, 300, 400, 500, 1), (1, 13, 1234, 5678, 999, 1), (1, 11, 9000, 9000, 9000, 0), "
                        "(1, 14, 10, 20, 30, 1)"));
    // The same forecast twice: the program recalculates one, the server the other.
    const int twin = Call(QStringLiteral("select sForecastNew('Двойник', '', 2024, 1, 0, 1, 1)"));
    Exec(QStringLiteral(
             "insert into tFctTotalPrognoz (prognoz, product, sumLast, sumCurr, sumNext, valueLast) "
             "select ?, product, sumLast, sumCurr, sumNext, valueLast from tFctTotalPrognoz where prognoz = 1"),
         {twin});
    struct Case {
        int receiver; // 0: the consolidated forecast
        int product;
    };
    for (const Case c : {Case{3, 11}, Case{4, 11}, Case{0, 11}, Case{2, 10}}) {
        SCOPED_TRACE(testing::Message() << "receiver " << c.receiver << " product " << c.product);
        {
            CRecalcRun run(1);
            if (c.receiver == 0) {
                std::optional<CTotalForecastRecord> row;
                EXPECT_TRUE(RecalcAfterEdit(run, c.product, row));
                EXPECT_TRUE(row);
            } else {
                std::optional<CForecastDataRecord> row;
                EXPECT_TRUE(RecalcAfterEdit(run, c.product, c.receiver, row));
                EXPECT_TRUE(row);
            }
        }
        EXPECT_EQ(Call(QStringLiteral("select sForecastRecalculate(?, ?, ?)"), {twin, c.product, c.receiver}), 0);
        EXPECT_EQ(YearFigures(twin, false), YearFigures(1, false));
        EXPECT_EQ(YearFigures(twin, true), YearFigures(1, true));
    }
    EXPECT_EQ(Call(QStringLiteral("select sForecastRecalculate(1, 12, 3)")), -1);
    EXPECT_EQ(Call(QStringLiteral("select sForecastRecalculate(1, 99, 3)")), -1);
}

TEST_P(ServerProceduresTest, UpdatesAndCheckFindings)
{
    EXPECT_EQ(Call(QStringLiteral("select sForecastUpdate(1, 14, 4, 10, 20, 30, 1, 0, 3, 'новая')")), 0);
    EXPECT_EQ(Call(QStringLiteral("select sForecastUpdate(1, 14, 4, 10, 20, 30, 1, 2, 3, 'правка')")), 0);
    EXPECT_EQ(Scalar(QStringLiteral("select concat_ws('|', sumNext, valueCurr, comment) from tFctPrognozData "
                                    "where product = 14 and receiver = 4"))
                  .toString(),
              QStringLiteral("30.0000|2.0000|правка"));
    EXPECT_EQ(Call(QStringLiteral("select sForecastUpdate(1, 14, 99, 1, 1, 1, 1, 1, 1, NULL)")), -1);
    EXPECT_EQ(Call(QStringLiteral("select sForecastTotalUpdate(1, 14, 1, 2, 3, 4, 5, 6, 'итог')")), 0);
    EXPECT_EQ(Count(QStringLiteral("tFctTotalPrognoz"), QStringLiteral("product = 14 and lastUpdate is not null")), 1);
    EXPECT_EQ(Call(QStringLiteral("select sForecastTotalUpdate(1, 99, 1, 2, 3, 4, 5, 6, NULL)")), -1);

    // The check: a quantity missing, a unit price outside the deviation (Уголь at 1100/11 = 100 is
    // inside, at 2000/20 too; make the root's row read less than its members).
    Exec(QStringLiteral("update tFctPrognozData set valueCurr = 0 where product = 14 and receiver = 5"));
    Exec(QStringLiteral("update tFctPrognozData set sumNext = 5000 where product = 12 and receiver = 4"));
    Exec(QStringLiteral("insert into tFctPrognozData (prognoz, product, receiver, sumLast, sumCurr, sumNext) "
                        "values (1, 10, 5, 0, 100, 0)"));
    Exec(QStringLiteral("update tClsProduct set measurementPrice = NULL where id = 13"));
    QStringList findings;
    CSqlQuery q(QStringLiteral("select receiver || ' ' || product || ' ' || message from f_ForecastCheck(1)"));
    ASSERT_TRUE(q.exec());
    while (q.next())
        findings << q.value(0).toString();
    // The root's and the group's rows of Уголь: 1/1 and 999/9 lie outside 0.9 to 1.1 of the price 100.
    EXPECT_EQ(findings,
              (QStringList{
                  "1 12 Цена не входит в допустимый диапазон!",
                  "2 12 Цена не входит в допустимый диапазон!",
                  "3 13 Не указана единица измерения цен!",
                  "3 11 Не удалось подсчитать сумму по продуктам.",
                  "4 12 Цена не входит в допустимый диапазон!",
                  "5 14 Не указано количество за текущий год!",
                  "5 10 Сумма по продуктам за прошлый год больше указанной.",
                  "5 10 Сумма по продуктам за следующий год больше указанной.",
              }));
}

TEST_P(ServerProceduresTest, OnlyAdministratorsMayCallThem)
{
    const QString functions[] = {"sNSIClone(int, int, int, int, int)",
                                 "sForecastNew(varchar, varchar, int, int, int, int, int)",
                                 "sForecastDelete(int)",
                                 "sForecastRecalculate(int, int, int)",
                                 "sForecastTotalGenerate(int)",
                                 "f_ForecastCheck(int)",
                                 "sForecastUpdate(int, int, int, numeric, numeric, numeric, numeric, numeric, "
                                 "numeric, varchar)"};
    for (const QString& f : functions) {
        SCOPED_TRACE(f.toStdString());
        EXPECT_FALSE(Scalar(QStringLiteral("select prosecdef from pg_proc where oid = ?::regprocedure"), {f}).toBool());
        for (const char* group : {"lir_experts", "lir_users", "public"})
            EXPECT_FALSE(Scalar(QStringLiteral("select has_function_privilege(?, ?, 'EXECUTE')"),
                                {QString::fromLatin1(group), f})
                             .toBool())
                << group;
        EXPECT_TRUE(Scalar(QStringLiteral("select has_function_privilege('lir_admins', ?, 'EXECUTE')"), {f}).toBool());
    }
}

INSTANTIATE_TEST_SUITE_P(Server, ServerProceduresTest, ::testing::Values(SqlDialect::PostgreSQL), DialectName);

} // namespace
