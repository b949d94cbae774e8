// Forecasts made row by row for the tests of the checks and the consolidation, on both dialects, and
// the window the operations run on.
#pragma once

#include "CalcTestSupport.h"
#include "Money.h"

#include <QCoreApplication>
#include <QMetaType>
#include <QPointer>

#include <array>

// The lines of a log written as one text.
inline QStringList Lines(const char* text)
{
    return QString::fromUtf8(text).split(u'\n');
}

// Runs the operation on a shown window, closes it and answers the result and the log's lines.
template <class Dlg, class Op>
std::pair<bool, QStringList> OnShownWindow(Op op)
{
    QPointer<Dlg> dlg = new Dlg;
    dlg->show();
    const bool result = op(*dlg);
    const QStringList lines = dlg->LogLines();
    EXPECT_TRUE(dlg->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(dlg) << "deleted when closed";
    return {result, lines};
}

// Every test has the units 1 "шт" (natural) and 2 "руб." (price).
class CheckDbTest : public CalcDbTest {
protected:
    void SetUp() override
    {
        CalcDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Unit(1, QStringLiteral("шт"), 1);
        Unit(2, QStringLiteral("руб."));
    }

    static QVariant M(double value) { return QVariant::fromValue(*Money::fromDouble(value)); }

    void Forecast(int id, int status = 1)
    {
        Exec("insert into tfctprognoz (id, name, year, status) values (?, 'Прогноз', 2026, ?)", {id, status});
    }
    void Unit(int id, const QString& name, int type = 2)
    {
        Exec("insert into tclsmeasurement (id, name, type) values (?, ?, ?)", {id, name, type});
    }
    // A receiver mapped to the forecast (forecast 0: to none).
    void Receiver(int forecast, int id, int category, const QString& name, int isgroup = 0)
    {
        Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
             "values (?, ?, ?, ?, 0, 1, ?)",
             {id, category, name, id, isgroup});
        if (forecast > 0)
            Exec("insert into tclsreceivermap (prognoz, receiver) values (?, ?)", {forecast, id});
    }
    struct ProductSpec {
        int id;
        int parent;
        const char* code;
        const char* name;
        int natural = 1;   // 0: none
        int priceUnit = 2; // 0: none
        int kind = 1;      // a group kind makes a group
        double offsetMin = 0.9;
        double offsetMax = 1.1;
        double price = 90; // of the three years
    };
    void Product(int forecast, const ProductSpec& p)
    {
        const QVariant none(QMetaType(QMetaType::Int));
        Exec(
            "insert into tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, name, code, position, "
            "type, isgroup, offsetMin, offsetMax, avRep, avCur, avProg, priceIdx) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0)",
            {forecast, p.id, p.parent, p.natural ? QVariant(p.natural) : none,
             p.priceUnit ? QVariant(p.priceUnit) : none, QString::fromUtf8(p.name), QString::fromUtf8(p.code), p.id,
             p.kind, p.kind > 1 ? 1 : 0, p.offsetMin, p.offsetMax});
        Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, ?, ?, ?)",
             {forecast, p.id, M(p.price), M(p.price), M(p.price)});
    }
    // The sums and the quantities of the three years.
    void Row(int forecast, int receiver, int product, std::array<double, 3> sums, std::array<double, 3> values)
    {
        Exec("insert into tfctprognozdata (prognoz, receiver, product, sumLast, sumCurr, sumNext, valueLast, "
             "valueCurr, valueNext) values (?, ?, ?, ?, ?, ?, ?, ?, ?)",
             {forecast, receiver, product, M(sums[0]), M(sums[1]), M(sums[2]), M(values[0]), M(values[1]),
              M(values[2])});
    }
};
