// The consolidated forecast on both dialects, with sqlite3 and psql summing the rows on their own.
#include "CheckTestSupport.h"

#include "CheckDialogs.h"
#include "tables/ForecastRow.h"

#include <QPointer>

namespace {

const QString kBuilding = QStringLiteral("Формирование сводного прогноза...");
const QString kBuilt = QStringLiteral("Сводный прогноз успешно сформирован.");
const QString kNoData = QStringLiteral("\tНет данных для формирования сводного прогноза!");

QStringList FigureColumns()
{
    return ForecastFigureColumns().split(QStringLiteral(", "));
}

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
            Product(forecast, {2, 0, "02", "Мясо", 1, 2, 1, 64});
            Product(forecast, {3, 2, "02.1", "Говядина"});
            Product(forecast, {4, 2, "02.2", "Свинина"});
        }
        // The top group and the leaves count; the nested group and an unmapped receiver do not.
        Receiver(1, 10, 0, QStringLiteral("Организация"), 1);
        Receiver(1, 11, 10, QStringLiteral("Группа"), 1);
        Receiver(1, 12, 11, QStringLiteral("Лист 1"));
        Receiver(1, 13, 10, QStringLiteral("Лист 2"));
        Receiver(0, 14, 10, QStringLiteral("Чужой"));
        for (int forecast : {2, 3})
            Exec("insert into tclsreceivermap (prognoz, receiver) select ?, id from tclsreceiver", {forecast});
        Exec("insert into tclsreceivermap (prognoz, receiver) values (5, 13)");
        for (int receiver = 10; receiver <= 14; ++receiver)
            for (int product = 2; product <= 4; ++product)
                for (int forecast : {1, 4, 5})
                    FullRow(forecast, receiver, product);
    }

    // All sixteen figures, each its own.
    void FullRow(int forecast, int receiver, int product)
    {
        QVariantList args{forecast, receiver, product};
        for (int c = 0; c < 16; ++c)
            args << M(receiver * 1000 + product * 20 + c + 0.0001 * (receiver + c));
        Exec(QStringLiteral("insert into tfctprognozdata (prognoz, receiver, product, %1) values "
                            "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                 .arg(ForecastFigureColumns()),
             args);
    }

    std::pair<bool, QStringList> Build(int forecast)
    {
        QPointer<CCalculateForecastDlg> dlg = new CCalculateForecastDlg;
        dlg->show();
        const bool result = dlg->Run(forecast);
        const QStringList lines = dlg->LogLines();
        delete dlg;
        return {result, lines};
    }

    // The consolidated rows (product, sixteen figures, comment) as the database's client reads them.
    QString Totals(int forecast)
    {
        QStringList raw;
        for (const QString& c : FigureColumns())
            raw << Raw(c);
        return QStringLiteral("select product, %1, comment from tfcttotalprognoz where prognoz = %2 order by product")
            .arg(raw.join(QStringLiteral(", ")))
            .arg(forecast);
    }
    // The sums over the counted receivers, computed by the client; all receivers without a map.
    QString Expected(int forecast, bool mapped, const QString& comments = {})
    {
        QStringList sums;
        for (const QString& c : FigureColumns())
            sums << Raw(QStringLiteral("sum(d.%1)").arg(c));
        const QString join = mapped ? QStringLiteral("join tclsreceiver r on r.id = d.receiver join tclsreceivermap m "
                                                     "on m.receiver = r.id and m.prognoz = d.prognoz ")
                                    : QString();
        const QString counted = mapped ? QStringLiteral(" and (r.isgroup = 0 or r.category = 0)") : QString();
        return QStringLiteral("select d.product, %1, %2 from tfctprognozdata d %3where d.prognoz = %4%5 "
                              "group by d.product order by d.product")
            .arg(sums.join(QStringLiteral(", ")), comments.isEmpty() ? QStringLiteral("''") : comments, join)
            .arg(forecast)
            .arg(counted);
    }

    void InstallFailingTrigger()
    {
        if (isPg()) {
            ExecText("create function fail_total() returns trigger language plpgsql as $$ begin "
                     "if new.product = 4 then raise exception 'запись запрещена'; end if; return new; end $$");
            ExecText("create trigger fail_total before insert or update on tfcttotalprognoz for each row "
                     "execute function fail_total()");
        } else {
            for (const char* event : {"insert", "update"})
                ExecText(QStringLiteral("create trigger fail_total_%1 before %1 on tfcttotalprognoz "
                                        "when new.product = 4 begin select raise(abort, 'запись запрещена'); end")
                             .arg(QLatin1String(event)));
        }
    }
    void DropFailingTrigger()
    {
        if (isPg()) {
            ExecText("drop trigger fail_total on tfcttotalprognoz");
        } else {
            ExecText("drop trigger fail_total_insert");
            ExecText("drop trigger fail_total_update");
        }
    }
};
LIR_INSTANTIATE_DB_TEST(ConsolidationTest);

TEST_P(ConsolidationTest, TotalsAreTheSumsOfTheCountedReceivers)
{
    // A commented row keeps its comment through the rebuild.
    Exec("insert into tfcttotalprognoz (prognoz, product, sumNext, comment) values (1, 3, ?, 'проверено')", {M(7)});
    const auto [result, lines] = Build(1);
    EXPECT_TRUE(result);
    EXPECT_EQ(lines, (QStringList{kBuilding, kBuilt}));
    PEER_ROWS(expected, Expected(1, true, QStringLiteral("case when d.product = 3 then 'проверено' else '' end")));
    EXPECT_EQ(*Peer(Totals(1)), *expected);
    EXPECT_EQ(expected->size(), 3);

    // Without receivers in the forecast every row counts; with one only its rows.
    EXPECT_TRUE(Build(4).first);
    EXPECT_EQ(*Peer(Totals(4)), *Peer(Expected(4, false)));
    EXPECT_TRUE(Build(5).first);
    EXPECT_EQ(*Peer(Totals(5)), *Peer(Expected(5, true)));

    // Many products are summed a range at a time.
    Forecast(6);
    Exec("insert into tclsreceivermap (prognoz, receiver) select 6, id from tclsreceiver where id <> 14");
    for (int product = 1; product <= 120; ++product) {
        Product(6, {product, 0, "", "Продукт"});
        for (int receiver : {11, 12, 14})
            Row(6, receiver, product, {receiver + 0.5, product * 1.0, 1}, {receiver * 1.0, 2, product + 0.25});
    }
    EXPECT_TRUE(Build(6).first);
    EXPECT_EQ(*Peer(Totals(6)), *Peer(Expected(6, true)));
    EXPECT_EQ(Count("tfcttotalprognoz", "prognoz = 6"), 120);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ConsolidationTest, NoDataKeepsCommentedTotalsZeroedAndDeletesTheOthers)
{
    for (int forecast : {2, 3})
        Exec("insert into tfcttotalprognoz (prognoz, product, sumLast, valueNorm, comment) values (?, 2, ?, ?, ?), "
             "(?, 3, ?, ?, '')",
             {forecast, M(5), M(6), forecast == 2 ? QStringLiteral("проверено") : QString(), forecast, M(5), M(6)});
    for (int forecast : {2, 3}) {
        SCOPED_TRACE(forecast);
        const auto [result, lines] = Build(forecast);
        EXPECT_FALSE(result);
        EXPECT_EQ(lines, (QStringList{kBuilding, kNoData}));
    }
    const QString zeros = QStringLiteral("0|").repeated(16);
    PEER_ROWS(kept, Totals(2));
    EXPECT_EQ(*kept, (QStringList{"2|" + zeros + "проверено", "3|" + zeros}));
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
    InstallFailingTrigger();
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        const auto [result, lines] = Build(1);
        EXPECT_FALSE(result);
        EXPECT_EQ(lines, QStringList{kBuilding});
        EXPECT_EQ(*Peer(snapshot), *before);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].flags, 16u);
        EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Произошла исключительная ситуация.\nКод: ")));
        EXPECT_TRUE(messages[0].text.contains(QStringLiteral("запись запрещена"))) << messages[0].text.toStdString();
        messages.clear();
    }
    DropFailingTrigger();
    EXPECT_EQ(Build(1).second, (QStringList{kBuilding, kBuilt}));
    EXPECT_EQ(*Peer(Totals(1)),
              *Peer(Expected(1, true, QStringLiteral("case when d.product = 2 then 'проверено' else '' end"))));
    EXPECT_TRUE(messages.empty());
}
