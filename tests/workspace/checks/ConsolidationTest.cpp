// The consolidated forecast on both dialects, with sqlite3 and psql summing the rows on their own.
#include "CheckTestSupport.h"

#include "CheckDialogs.h"
#include "tables/ForecastRow.h"

namespace {

const QStringList kBuilt = {"Формирование сводного прогноза...", "Сводный прогноз успешно сформирован."};

} // namespace

class ConsolidationTest : public CheckDbTest {
protected:
    void SetUp() override
    {
        CheckDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        for (int forecast : {1, 2, 3, 4, 5}) {
            Forecast(forecast);
            for (int product : {2, 3, 4})
                Product(forecast, {product, product == 2 ? 0 : 2, "02", "Мясо", 1, 2, product == 2 ? 64 : 1});
        }
        // The top group and the leaves count; the nested group and an unmapped receiver do not.
        Receiver(1, 10, 0, QStringLiteral("Организация"), 1);
        Receiver(1, 11, 10, QStringLiteral("Группа"), 1);
        Receiver(1, 12, 11, QStringLiteral("Лист 1"));
        Receiver(1, 13, 10, QStringLiteral("Лист 2"));
        Receiver(0, 14, 10, QStringLiteral("Чужой"));
        Exec("insert into tclsreceivermap (prognoz, receiver) select f.id, r.id from tfctprognoz f, tclsreceiver r "
             "where f.id in (2, 3) or (f.id = 5 and r.id = 13)");
        // Forecasts 1, 4 (no receivers) and 5 (one) have every figure of every row, each its own.
        const QString insert = QStringLiteral("insert into tfctprognozdata (prognoz, receiver, product, %1) values "
                                              "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                                   .arg(ForecastFigureColumns());
        for (int forecast : {1, 4, 5})
            for (int receiver = 10; receiver <= 14; ++receiver)
                for (int product : {2, 3, 4}) {
                    QVariantList args{forecast, receiver, product};
                    for (int c = 0; c < 16; ++c)
                        args << M(receiver * 1000 + product * 20 + c + 0.0001 * (receiver + c));
                    Exec(insert, args);
                }
    }

    static std::pair<bool, QStringList> Build(int forecast)
    {
        return OnShownWindow<CCalculateForecastDlg>([&](CCalculateForecastDlg& dlg) { return dlg.Run(forecast); });
    }
    // The consolidated rows (product, sixteen figures, comment) and, from the data rows, what they
    // should hold (the mapped receivers that count, or all); the comments of the latter come from
    // `comments`, an expression on d.product.
    QString Figures(const QString& column = QStringLiteral("%1"))
    {
        QStringList raw;
        for (const QString& c : ForecastFigureColumns().split(QStringLiteral(", ")))
            raw << Raw(column.arg(c));
        return raw.join(QStringLiteral(", "));
    }
    QStringList Stored(int forecast)
    {
        return *Peer(QStringLiteral("select product, %1, comment from tfcttotalprognoz where prognoz = %2 "
                                    "order by product")
                         .arg(Figures())
                         .arg(forecast));
    }
    std::optional<QStringList> Expected(int forecast, bool mapped, const char* comments = "''")
    {
        return Peer(QStringLiteral("select d.product, %1, %2 from tfctprognozdata d %3 where d.prognoz = %4 %5 "
                                   "group by d.product order by d.product")
                        .arg(Figures(QStringLiteral("sum(d.%1)")), QString::fromUtf8(comments),
                             mapped ? QStringLiteral("join tclsreceiver r on r.id = d.receiver join tclsreceivermap m "
                                                     "on m.receiver = r.id and m.prognoz = d.prognoz")
                                    : QString())
                        .arg(forecast)
                        .arg(mapped ? QStringLiteral("and (r.isgroup = 0 or r.category = 0)") : QString()));
    }
};
LIR_INSTANTIATE_DB_TEST(ConsolidationTest);

TEST_P(ConsolidationTest, TotalsAreTheSumsOfTheCountedReceivers)
{
    // A commented row keeps its comment through the rebuild.
    Exec("insert into tfcttotalprognoz (prognoz, product, sumNext, comment) values (1, 3, ?, 'проверено')", {M(7)});
    EXPECT_EQ(Build(1), std::pair(true, kBuilt));
    const auto expected = Expected(1, true, "case when d.product = 3 then 'проверено' else '' end");
    if (!expected)
        GTEST_SKIP() << peerMissing.toStdString();
    EXPECT_EQ(Stored(1), *expected);
    EXPECT_EQ(expected->size(), 3);

    // Without receivers in the forecast every row counts; with one only its rows.
    EXPECT_TRUE(Build(4).first);
    EXPECT_EQ(Stored(4), *Expected(4, false));
    EXPECT_TRUE(Build(5).first);
    EXPECT_EQ(Stored(5), *Expected(5, true));

    // Many products are summed a range at a time.
    Forecast(6);
    Exec("insert into tclsreceivermap (prognoz, receiver) select 6, id from tclsreceiver where id <> 14");
    for (int product = 1; product <= 120; ++product) {
        Product(6, {product, 0, "", "Продукт"});
        for (int receiver : {11, 12, 14})
            Row(6, receiver, product, {receiver + 0.5, product * 1.0, 1}, {receiver * 1.0, 2, product + 0.25});
    }
    EXPECT_TRUE(Build(6).first);
    EXPECT_EQ(Stored(6), *Expected(6, true));
    EXPECT_EQ(Count("tfcttotalprognoz", "prognoz = 6"), 120);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ConsolidationTest, NoDataKeepsCommentedTotalsZeroedAndDeletesTheOthers)
{
    for (int forecast : {2, 3}) {
        Exec("insert into tfcttotalprognoz (prognoz, product, sumLast, valueNorm, comment) values (?, 2, 5, 6, ?), "
             "(?, 3, 5, 6, '')",
             {forecast, forecast == 2 ? QStringLiteral("проверено") : QString(), forecast});
        EXPECT_EQ(Build(forecast),
                  std::pair(false,
                            QStringList{kBuilt[0],
                                        "\tНет данных для формирования сводного "
                                        "прогноза!"}));
    }
    const QString zeros = QStringLiteral("0|").repeated(16);
    EXPECT_EQ(Stored(2), (QStringList{"2|" + zeros + "проверено", "3|" + zeros}));
    EXPECT_EQ(Count("tfcttotalprognoz", "prognoz = 3"), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ConsolidationTest, FailedWriteRollsEverythingBackAndIsShownOnce)
{
    ASSERT_TRUE(Build(1).first);
    Exec("update tfcttotalprognoz set comment = 'проверено' where product = 2");
    const QString snapshot =
        QStringLiteral("select id, product, lastUpdate, comment, sumNext from tfcttotalprognoz order by id");
    PEER_ROWS(before, snapshot);
    // The write of one product's row fails.
    if (isPg()) {
        ExecText("create function fail_total() returns trigger language plpgsql as $$ begin "
                 "if new.product = 4 then raise exception 'запись запрещена'; end if; return new; end $$");
        ExecText("create trigger fail_total before insert or update on tfcttotalprognoz for each row "
                 "execute function fail_total()");
    } else {
        for (const char* event : {"insert", "update"})
            ExecText(QStringLiteral("create trigger fail_%1 before %1 on tfcttotalprognoz when new.product = 4 "
                                    "begin select raise(abort, 'запись запрещена'); end")
                         .arg(QLatin1String(event)));
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(Build(1), std::pair(false, QStringList{kBuilt[0]}));
        EXPECT_EQ(*Peer(snapshot), *before);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].flags, 16u);
        EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.\nКод: ")));
        EXPECT_TRUE(messages[0].text.contains(QStringLiteral("запись запрещена"))) << messages[0].text.toStdString();
        messages.clear();
    }
    ExecText(isPg() ? "drop trigger fail_total on tfcttotalprognoz" : "drop trigger fail_insert");
    if (!isPg())
        ExecText("drop trigger fail_update");
    EXPECT_EQ(Build(1), std::pair(true, kBuilt));
    EXPECT_EQ(Stored(1), *Expected(1, true, "case when d.product = 2 then 'проверено' else '' end"));
}
