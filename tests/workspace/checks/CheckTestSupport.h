// Forecasts made row by row for the tests of the checks and the consolidation, on both dialects.
#pragma once

#include "CalcTestSupport.h"
#include "Money.h"

#include <QMetaType>

#include <array>

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

    static QVariant Null() { return QVariant(QMetaType(QMetaType::Int)); }
    static QVariant M(double value) { return QVariant::fromValue(*Money::fromDouble(value)); }

    void Forecast(int id, int status = 1)
    {
        Exec("insert into tfctprognoz (id, name, year, status) values (?, 'Прогноз', 2026, ?)", {id, status});
    }
    void Unit(int id, const QString& name, int type = 2)
    {
        Exec("insert into tclsmeasurement (id, name, type) values (?, ?, ?)", {id, name, type});
    }
    void Pair(int base, int produce, double koef)
    {
        Exec("insert into tclsmconvert (base, produce, koef) values (?, ?, ?)", {base, produce, koef});
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
        int isgroup = 0;
        int kind = 1;
        double offsetMin = 0.9;
        double offsetMax = 1.1;
        double price = 90; // of the three years; below 0: no price row
    };
    void Product(int forecast, const ProductSpec& p)
    {
        Exec(
            "insert into tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, name, code, position, "
            "type, isgroup, offsetMin, offsetMax, avRep, avCur, avProg, priceIdx) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0)",
            {forecast, p.id, p.parent, p.natural ? QVariant(p.natural) : Null(),
             p.priceUnit ? QVariant(p.priceUnit) : Null(), QString::fromUtf8(p.name), QString::fromUtf8(p.code), p.id,
             p.kind, p.isgroup, p.offsetMin, p.offsetMax});
        if (p.price >= 0)
            Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, ?, ?, ?)",
                 {forecast, p.id, M(p.price), M(p.price), M(p.price)});
    }
    // sums and values of the three years.
    void Row(int forecast, int receiver, int product, std::array<double, 3> sums, std::array<double, 3> values)
    {
        Exec("insert into tfctprognozdata (prognoz, receiver, product, sumLast, sumCurr, sumNext, valueLast, "
             "valueCurr, valueNext) values (?, ?, ?, ?, ?, ?, ?, ?, ?)",
             {forecast, receiver, product, M(sums[0]), M(sums[1]), M(sums[2]), M(values[0]), M(values[1]),
              M(values[2])});
    }
};
