// The product and product group cards on the offscreen platform: their checks, the dependent unit
// lists (against sqlite3) and "Пересчитать цены" on both dialects.
#include "ProductCards.h"
#include "AppMessage.h"
#include "CheckTestSupport.h"
#include "ForecastDialogs.h"
#include "ShellTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using namespace ProductCardTexts;
using F = CProductDlg::Field;

class ProductCardTest : public CheckDbTest {
protected:
    // A product below a group, in the units 1 (natural) and 2 (price).
    static CProductRecord Element(int parent = 10)
    {
        CProductRecord rec;
        rec.id = 11;
        rec.prognoz = 1;
        rec.parent = parent;
        rec.name = QStringLiteral("Бумага");
        rec.code = QStringLiteral("01'1");
        rec.measurementNatural = 1;
        rec.measurementPrice = 2;
        return rec;
    }
    // Opens the card through the modal hook, lets `work` act on it and answers its result.
    template <class Dlg>
    int Run(Dlg& dlg, std::function<void(Dlg&)> work)
    {
        hook.onDialog = [&](QDialog& d) {
            if (auto* select = qobject_cast<CSelectMultiForecast*>(&d))
                return onSelect(*select);
            work(dlg);
            return d.result();
        };
        return dlg.DoModal();
    }
    QStringList Texts()
    {
        QStringList texts;
        for (const RecordedMessage& m : messages) {
            EXPECT_EQ(m.flags, unsigned(MB_ICONEXCLAMATION)) << m.text.toStdString();
            texts << m.text;
        }
        return texts;
    }

    ScriptedModalHook hook;
    std::function<int(CSelectMultiForecast&)> onSelect = [](CSelectMultiForecast&) { return int(QDialog::Rejected); };
};
LIR_INSTANTIATE_DB_TEST(ProductCardTest);

// What the cards do with their controls: they read nothing but the units.
class ProductCardControlsTest : public ProductCardTest { };
INSTANTIATE_TEST_SUITE_P(SQLite, ProductCardControlsTest, ::testing::Values(SqlDialect::SQLite), DialectName);

TEST_P(ProductCardControlsTest, ChecksAtOk)
{
    Unit(3, QStringLiteral("тыс. руб."));
    Exec("insert into tclsmconvert (base, produce, koef) values (2, 3, 0.001)");
    struct Case {
        const char* prices[3];
        const char* low;
        const char* high;
        int priceUnit; // the price unit chosen without the natural unit of the price
        QString message;
    };
    const Case cases[] = {
        {{"0", "0", "0"}, "0", "0", 0, {}},
        {{"100", "0", "0"}, "0", "0", 0, kNoOffsets},
        {{"100", "110", "0"}, "0", "1.2", 0, {}},
        {{"100", "-1", "0"}, "0.9", "1.1", 0, CheckTexts::kPricesNotPositive},
        {{"100", "0", "0"}, "-0.9", "1.1", 0, CheckTexts::kOffsetsNotPositive},
        {{"100", "0", "0"}, "2", "1", 0, CheckTexts::kOffsetsReversed},
        {{"0", "0", "0"}, "0.9", "1.1", 0, kNoPrices},
        {{"0", "0", "0"}, "0", "0", 3, kPartialPriceUnit},
        {{"1x", "0", "0"}, "0", "0", 0, QStringLiteral("Пожалуйста, введите цену.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        messages.clear();
        CProductDlg dlg(Element(), CPriceRecord(), false);
        const int result = Run<CProductDlg>(dlg, [&](CProductDlg& d) {
            for (int y = 0; y < 3; ++y)
                d.field(F(F::PricePrev + y))->setText(QString::fromUtf8(c.prices[y]));
            d.field(F::OffsetMin)->setText(QString::fromUtf8(c.low));
            d.field(F::OffsetMax)->setText(QString::fromUtf8(c.high));
            if (c.priceUnit)
                d.priceUnitBox()->setCurrentIndex(d.priceUnitBox()->findData(c.priceUnit));
            d.accept();
        });
        EXPECT_EQ(result == QDialog::Accepted, c.message.isEmpty());
        if (c.message.startsWith(QStringLiteral("Пожалуйста")))
            EXPECT_EQ(messages.size(), 1u);
        else
            EXPECT_EQ(Texts(), c.message.isEmpty() ? QStringList() : QStringList{c.message});
        if (result == QDialog::Accepted) {
            CProductRecord rec;
            dlg.TakeValues(rec);
            EXPECT_EQ(rec.isgroup, 0);
            EXPECT_DOUBLE_EQ(rec.offsetMax, QString::fromUtf8(c.high).toDouble());
            EXPECT_EQ(dlg.price.priceCur.toXmlText(), QString::fromUtf8(c.prices[1]));
        }
    }
}

TEST_P(ProductCardControlsTest, FieldsFollowTheUnitsTheDeviationsAndTheMode)
{
    for (const auto& [id, name] : {std::pair{3, "кг"}, {4, "т"}, {5, "л"}, {6, "м"}})
        Unit(id, QString::fromUtf8(name), 1);
    Exec("insert into tclsmconvert (base, produce, koef) values (3, 4, 0.001), (5, 3, 1), (1, 6, 1)");

    CProductDlg dlg(Element(), CPriceRecord(), false);
    Run<CProductDlg>(dlg, [&](CProductDlg& d) {
        // Bounds follow the price and the deviation; a row whose text would be too long keeps its text.
        d.field(F::PricePrev)->setText(QStringLiteral("100000000"));
        d.field(F::OffsetMin)->setText(QStringLiteral("1.5"));
        EXPECT_EQ(d.field(F::MinPrev)->text(), QStringLiteral("150000000"));
        EXPECT_TRUE(messages.empty());
        d.field(F::OffsetMin)->setText(QStringLiteral("1000000"));
        EXPECT_EQ(Texts(), QStringList{kTooLong});
        EXPECT_EQ(d.field(F::MinPrev)->text(), QStringLiteral("150000000"));

        // A new natural unit refills "за:" with what the conversions of that unit reach.
        d.naturalBox()->setCurrentIndex(d.naturalBox()->findData(3));
        QStringList listed;
        for (int i = 0; i < d.perUnitBox()->count(); ++i)
            listed << d.perUnitBox()->itemData(i).toString();
        const auto peer = Peer("select m.id from tclsmeasurement m where m.id = 3 or m.id in "
                               "(select produce from tclsmconvert where base = 3 union select base from tclsmconvert "
                               "where produce = 3) order by m.id");
        if (!peer)
            GTEST_SKIP() << peerMissing.toStdString();
        ASSERT_FALSE(listed.isEmpty());
        EXPECT_EQ(listed.takeFirst(), QStringLiteral("0"));
        listed.sort();
        EXPECT_EQ(listed, *peer);
        d.naturalBox()->setCurrentIndex(0);
        EXPECT_EQ(d.perUnitBox()->count(), 1);
        EXPECT_EQ(d.priceUnitBox()->currentIndex(), 0);
    });

    // A top-level product has no prices or deviations of its own; view-only disables every input.
    CProductDlg top(Element(0), CPriceRecord(), false);
    Run<CProductDlg>(top, [](CProductDlg& d) {
        for (F f : {F::PricePrev, F::PriceCur, F::PriceNext, F::OffsetMin, F::OffsetMax})
            EXPECT_FALSE(d.field(f)->isEnabled());
        EXPECT_FALSE(d.naturalBox()->isEnabled());
        EXPECT_TRUE(d.costBox()->isEnabled());
    });
    CProductDlg view(Element(), CPriceRecord(), true);
    EXPECT_EQ(Run<CProductDlg>(view,
                               [](CProductDlg& d) {
                                   for (QWidget* w : d.findChildren<QWidget*>()) {
                                       if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)) {
                                           EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
                                       }
                                   }
                                   EXPECT_FALSE(d.recalcButton()->isEnabled());
                                   d.nameEdit()->clear();
                                   d.accept();
                               }),
              int(QDialog::Accepted));
}

TEST_P(ProductCardControlsTest, GroupCardKinds)
{
    struct Case {
        int kind;
        const char* title;
        bool balanceChecked;
        int result; // 0: refused
    };
    const Case cases[] = {{112, "Прочее", true, 112}, {96, " ", false, 0}, {64, "", false, 64}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        messages.clear();
        CProductRecord rec = Element();
        rec.isgroup = 1;
        rec.type = c.kind;
        rec.balanceTitle = QString::fromUtf8(c.title);
        CProductGroupDlg dlg(rec, false);
        const int result = Run<CProductGroupDlg>(dlg, [&](CProductGroupDlg& d) {
            EXPECT_EQ(d.autoBalanceBox()->isChecked(), c.balanceChecked);
            EXPECT_EQ(d.titleEdit()->isEnabled(), c.kind != 64);
            d.accept();
        });
        if (c.result) {
            EXPECT_EQ(result, int(QDialog::Accepted));
            CProductRecord back;
            dlg.TakeValues(back);
            EXPECT_EQ(back.type, c.result);
            EXPECT_EQ(back.isgroup, 1);
        } else {
            EXPECT_EQ(Texts(), QStringList{kNoBalanceTitle});
        }
    }
}

// The cards show the units stored with the product, also one that is not of their list; a box is
// empty only when nothing is stored.
TEST_P(ProductCardControlsTest, CardsShowTheStoredUnits)
{
    Unit(15, QStringLiteral("Тысяча рублей"), 1);
    const struct {
        int costUnit;
        bool group;
        const char* shown;
    } cases[] = {
        {15, false, "Тысяча рублей"}, {2, false, "руб."}, {0, false, ""}, {15, true, "Тысяча рублей"}, {0, true, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.costUnit);
        CProductRecord rec = Element();
        rec.measurementPrice = c.costUnit;
        rec.isgroup = c.group ? 1 : 0;
        QString shown;
        if (c.group) {
            CProductGroupDlg dlg(rec, true);
            Run<CProductGroupDlg>(dlg, [&](CProductGroupDlg& d) { shown = d.costBox()->currentText(); });
        } else {
            CProductDlg dlg(rec, CPriceRecord(), true);
            Run<CProductDlg>(dlg, [&](CProductDlg& d) { shown = d.costBox()->currentText(); });
        }
        EXPECT_EQ(shown, QString::fromUtf8(c.shown));
    }
}

TEST_P(ProductCardTest, RecalculatedDeviationsFromOtherForecasts)
{
    Forecast(1);
    Forecast(2);
    Product(1, {11, 10, "01'1", "Бумага", 1, 2, 1, 0.9, 1.1, 100});
    Product(2, {11, 10, "01'1", "Бумага", 1, 2, 1, 0.8, 1.2, 200});
    Product(2, {12, 10, "01'2", "Картон", 1, 2, 1, 0.1, 9.0, 900});
    onSelect = [](CSelectMultiForecast& s) {
        for (int i = 0; i < s.list()->topLevelItemCount(); ++i)
            s.list()->topLevelItem(i)->setSelected(true);
        s.accept();
        return s.result();
    };
    CProductRecord rec = Element();
    rec.offsetMin = 0.5;
    rec.offsetMax = 1.5;
    struct Case {
        const char* reportPrice;
        const char* low;
        const char* high;
        QStringList messages;
    };
    const Case cases[] = {{"150", "0.8333", "1.1667", {}}, {"0", "0.5", "1.5", {kZeroReportPrice}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reportPrice);
        messages.clear();
        CProductDlg dlg(rec, CPriceRecord(), false);
        Run<CProductDlg>(dlg, [&](CProductDlg& d) {
            d.field(F::PricePrev)->setText(QString::fromUtf8(c.reportPrice));
            d.recalcButton()->click();
            EXPECT_EQ(d.field(F::OffsetMin)->text(), QString::fromUtf8(c.low));
            EXPECT_EQ(d.field(F::OffsetMax)->text(), QString::fromUtf8(c.high));
            EXPECT_EQ(d.field(F::MaxPrev)->text(), QStringLiteral("175")) << "(110 + 240) / 2";
        });
        EXPECT_EQ(Texts(), c.messages);
        EXPECT_DOUBLE_EQ(dlg.offsetMin, QString::fromUtf8(c.low).toDouble());
    }
}
