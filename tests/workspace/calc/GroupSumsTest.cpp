#include "GroupSums.h"
#include "CalcTestSupport.h"
#include "Conversion.h"
#include "RecalcCommands.h"

#include <cstdint>
#include <limits>
#include <variant>

namespace {

constexpr int kReceiver = 7;

Money M(const char* text)
{
    return Money::fromXmlText(QString::fromLatin1(text));
}

struct Member {
    int unit; // 0: the piece unit, 1: the thousand unit, -1: none
    const char* sumNext;
    bool priced = true;
    bool stored = true;
};

struct Pair {
    int base;
    int produce;
    double koef;
};

struct Case {
    const char* name;
    int kind;
    std::vector<Member> members;
    std::vector<Pair> pairs;
    const char* groupSum;   // stored sumNext of the group's row
    const char* groupValue; // stored valueNext
    const char* sum;        // expected sumNext, or the error message
    const char* value;      // expected valueNext; nullptr: an error is expected
};

// Group in the thousand unit unless all members are in pieces; the first pair unit is "шт".
const Case kCases[] = {
    {"direct pair", 64, {{0, "100"}, {0, "200"}}, {{0, 1, 0.001}}, "9", "5", "0.3", "5"},
    {"reverse pair only", 64, {{0, "100"}, {0, "200"}}, {{1, 0, 1000}}, "9", "5", "0.3", "5"},
    {"reverse pair of 0 counts as missing",
     64,
     {{0, "100"}},
     {{1, 0, 0}},
     "9",
     "5",
     "Не задана единица пересчёта из 'шт' в 'тыс. шт'",
     nullptr},
    {"member without a price unit",
     64,
     {{-1, "100"}},
     {},
     "9",
     "5",
     "Не задана ценовая единица измерения для Член 0",
     nullptr},
    {"rounding half to even, down", 64, {{0, "0.2469"}}, {{0, 1, 0.5}}, "9", "5", "0.1234", "5"},
    {"rounding half to even, up", 64, {{0, "1.0003"}}, {{0, 1, 0.5}}, "9", "5", "0.5002", "5"},
    {"balancing row", 112, {{1, "100"}, {1, "50"}}, {}, "100", "3", "100", "-50"},
    {"kind 1 balances too", 1, {{1, "150"}}, {}, "100", "3", "100", "-50"},
    {"total row adds the balance", 96, {{1, "90"}}, {}, "7", "10", "100", "10"},
    {"sum of members keeps the values", 64, {{1, "90"}, {1, "1.5", true, false}}, {}, "7", "10", "90", "10"},
    {"another kind leaves the row", 2, {{1, "90"}}, {}, "7", "10", "7", "10"},
    {"a member without a price row is not summed", 64, {{1, "90"}, {1, "40", false}}, {}, "7", "10", "90", "10"},
};

} // namespace

class GroupSumsTest : public CalcDbTest {
protected:
    void SetUp() override
    {
        CalcDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
             "values (7, 0, 'Организация', 0, 0, 1, 1)");
    }

    // A forecast of its own for the case: group (product 1) with members 2, 3, ...; units and pairs
    // of the case numbered apart from the others.
    void Arrange(int forecast, const Case& c)
    {
        const int units[2] = {forecast * 10, forecast * 10 + 1};
        Exec("insert into tclsmeasurement (id, name, type) values (?, 'шт', 2)", {units[0]});
        Exec("insert into tclsmeasurement (id, name, type) values (?, 'тыс. шт', 2)", {units[1]});
        for (const Pair& p : c.pairs)
            Exec("insert into tclsmconvert (base, produce, koef) values (?, ?, ?)",
                 {units[p.base], units[p.produce], p.koef});
        Exec("insert into tfctprognoz (id, name, year, status) values (?, 'f', 2026, 0)", {forecast});
        Exec("insert into tclsreceivermap (prognoz, receiver) values (?, 7)", {forecast});
        auto product = [&](int id, int parent, int unit, int kind, int group, bool priced) {
            Exec("insert into tclsproduct (prognoz, id, parent, measurementPrice, name, position, type, isgroup, "
                 "offsetMin, offsetMax, avRep, avCur, avProg, priceIdx) values (?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0, "
                 "0, 0)",
                 {forecast, id, parent, unit > 0 ? QVariant(unit) : QVariant(QMetaType(QMetaType::Int)),
                  id == 1 ? QStringLiteral("Группа") : QStringLiteral("Член %1").arg(id - 2), id, kind, group});
            if (priced)
                Exec("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, 0, 0, 0)",
                     {forecast, id});
        };
        product(1, 0, units[1], c.kind, 1, true);
        CForecastDataRecord group;
        group.prognoz = forecast;
        group.receiver = kReceiver;
        group.product = 1;
        group.sumNext = M(c.groupSum);
        group.valueNext = M(c.groupValue);
        group.sumNorm = Money::fromInt(11);
        group.valuePlan = Money::fromInt(12);
        group.comment = QStringLiteral("комментарий");
        group.base = QStringLiteral("обоснование");
        group.baseMethod = 3;
        ASSERT_TRUE(SaveForecastData(group, false));
        int id = 2;
        for (const Member& m : c.members) {
            product(id, 1, m.unit < 0 ? 0 : units[m.unit], 1, 0, m.priced);
            if (m.stored) {
                CForecastDataRecord row;
                row.prognoz = forecast;
                row.receiver = kReceiver;
                row.product = id;
                row.sumNext = M(m.sumNext);
                ASSERT_TRUE(SaveForecastData(row, false));
            }
            ++id;
        }
    }

    static QString RawText(const char* money) { return QString::number(M(money).raw()); }
};
LIR_INSTANTIATE_DB_TEST(GroupSumsTest);

TEST_P(GroupSumsTest, GroupRowFollowsItsMembersByKind)
{
    int forecast = 20;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Arrange(++forecast, c);
        CForecastRowFields shown;
        const RecalcOutcome outcome = RecalcEditedGroup(forecast, kReceiver, 1, &shown);
        if (!c.value) {
            EXPECT_EQ(outcome.errors, QStringList{QString::fromUtf8(c.sum)});
            EXPECT_EQ(outcome.result, RECALC_STOPPED);
        } else {
            EXPECT_TRUE(outcome.errors.isEmpty()) << outcome.errors.join(u'\n').toStdString();
            EXPECT_EQ(shown.sumNext, M(c.sum));
        }
        // The stored row, as the database's own client reads it: the error cases keep it as it was.
        PEER_ROWS(rows,
                  QStringLiteral("select %1, %2, %3, %4, comment, base, baseMethod from tfctprognozdata "
                                 "where prognoz = %5 and product = 1 and receiver = 7")
                      .arg(Raw("sumNext"), Raw("valueNext"), Raw("sumNorm"), Raw("valuePlan"))
                      .arg(forecast));
        const char* sum = c.value ? c.sum : c.groupSum;
        const char* value = c.value ? c.value : c.groupValue;
        EXPECT_EQ(
            *rows,
            QStringList{
                QStringLiteral("%1|%2|110000|120000|комментарий|обоснование|3").arg(RawText(sum), RawText(value))});
    }
}

TEST_P(GroupSumsTest, CoefficientOfAPairFromItsFirstRowOrTheReverse)
{
    Exec("insert into tclsmeasurement (id, name, type) values (1, 'шт', 2), (2, 'тыс. шт', 2), (3, 'кг', 2), "
         "(4, 'т', 2)");
    Exec("insert into tclsmconvert (base, produce, koef) values (1, 2, 0.001), (1, 2, 0.5), (4, 3, 1000), "
         "(3, 1, 0)");
    struct Lookup {
        int base;
        int produce;
        std::variant<double, QString, int> expected; // koef, conversion message, unknown unit
    };
    const Lookup lookups[] = {
        {1, 2, 0.001},                                                        // the first row of two
        {2, 1, 1000.0},                                                       // the reverse pair's reciprocal
        {3, 4, 0.001},                                                        // likewise
        {1, 3, QStringLiteral("Не задана единица пересчёта из 'шт' в 'кг'")}, // the reverse koef is 0
        {99, 1, 99},
        {1, 98, 98},
    };
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(testing::Message() << l.base << " -> " << l.produce);
        const CConversionKoef koef = GetConversionKoef(l.base, l.produce);
        if (koef) {
            ASSERT_TRUE(std::holds_alternative<double>(l.expected));
            EXPECT_DOUBLE_EQ(*koef, std::get<double>(l.expected));
        } else if (!koef.failure().unknownUnit) {
            ASSERT_TRUE(std::holds_alternative<QString>(l.expected));
            EXPECT_EQ(koef.failure().text(), std::get<QString>(l.expected));
        } else {
            ASSERT_TRUE(std::holds_alternative<int>(l.expected));
            EXPECT_EQ(*koef.failure().unknownUnit, std::get<int>(l.expected));
            EXPECT_EQ(koef.failure().text(), QStringLiteral("invalid measurent id "));
        }
    }
    // A run asks the database once per pair.
    CUnitPairCache cache;
    EXPECT_DOUBLE_EQ(*ConversionKoef(cache, 2, 1), 1000.0);
    Exec("delete from tclsmconvert");
    EXPECT_DOUBLE_EQ(*ConversionKoef(cache, 2, 1), 1000.0);
    EXPECT_DOUBLE_EQ(*ConversionKoef(cache, 3, 3), 1.0);
}

TEST_P(GroupSumsTest, ASummingFailureIsAnsweredAndLeavesTheRowAsItWas)
{
    Exec("insert into tclsmeasurement (id, name, type) values (1, 'шт', 2), (2, 'тыс. шт', 2)");
    CProductRecord group;
    group.id = 1;
    group.name = QStringLiteral("Группа");
    group.isgroup = 1;
    group.type = GROUP_SUM_OF_MEMBERS;
    group.measurementPrice = 2;
    struct Case {
        const char* what;
        int unit; // the member's price unit
        Money sum;
        const char* message;
    };
    const Money huge = Money::fromRaw(std::numeric_limits<std::int64_t>::max() / 2 + 1);
    const Case cases[] = {
        {"no coefficient for the pair", 1, M("100"), "Не задана единица пересчёта из 'шт' в 'тыс. шт'"},
        {"a unit that does not exist", 9, M("100"), "invalid measurent id "},
        {"no price unit", 0, M("100"), "Не задана ценовая единица измерения для Член"},
        {"a sum beyond the money range", 2, huge, "Сумма по группе не помещается в денежный формат: Группа"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CProductRecord member;
        member.id = 2;
        member.name = QStringLiteral("Член");
        member.measurementPrice = c.unit;
        CForecastRowFields row;
        row.sumNext = M("7");
        CUnitPairCache koef;
        const CMemberSums sums{c.sum, c.sum, c.sum};
        const CCalcStatus status = SumGroupRows(group, {{&member, sums}, {&member, sums}}, koef, row);
        ASSERT_FALSE(status);
        EXPECT_FALSE(status.dbFailure());
        EXPECT_EQ(status.message(), QString::fromUtf8(c.message));
        EXPECT_EQ(row.sumNext, M("7"));
    }
    EXPECT_TRUE(messages.empty()) << "the summing shows nothing itself";
}
