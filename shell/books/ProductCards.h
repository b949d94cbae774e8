// The cards of the products book: "Продукт" for an element and "Группа продуктов" for a group. Each
// is built from its record (and the element's price row) with a view-only flag; after OK the caller
// takes the values back (TakeValues) and saves the record, and the element's price row, itself.
#pragma once

#include "BookDialogs.h"
#include "CheckTexts.h"
#include "tables/Prices.h"
#include "tables/Products.h"

class QCheckBox;
class QRadioButton;

// The checks of prices and deviations that the reference-data check shares are in CheckTexts.
namespace ProductCardTexts {
inline const QString kTooLong = QStringLiteral("Количество символов не должно превышать 14.");
inline const QString kAverageTooLong = QStringLiteral("Количество символов не должно превышать 14");
inline const QString kCodeEmpty = QStringLiteral("Не задан код продукта");
inline const QString kNoCostUnit = QStringLiteral("Не выбраны стоимостные единицы измерения!");
inline const QString kPartialPriceUnit =
    QStringLiteral("Ценовая единица измерения должна быть не задана или задана полностью!");
inline const QString kNoOffsets = QStringLiteral("Не заданы допустимые отклонения цены");
inline const QString kNoPrices = QStringLiteral("Не заданы цены");
inline const QString kRecalcNeedsUnit = QStringLiteral("Необходимо задать стоимостную единицу измерения");
inline const QString kZeroReportPrice =
    QStringLiteral("Цена отчетного года равна нулю. Допустимые отклонения не пересчитаны.");
inline const QString kNoGroupUnit = QStringLiteral("Не выбраны ценовые единицы!");
inline const QString kNoBalanceTitle = QStringLiteral("Не заполнено название балансировочной строки!");
} // namespace ProductCardTexts

// "Продукт".
class CProductDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    CProductDlg(const CProductRecord& rec, const CPriceRecord& priceRecord, bool viewOnly, QWidget* parent = nullptr);

    // The values after OK; the optional unit ids are 0 for none.
    QString name;
    QString code;
    QString comment;
    int measurementNatural;
    int measurementPrice;
    int measurementNatural2;
    int measurementPrice2;
    int type;
    double offsetMin;
    double offsetMax;
    double avRep;
    double avCur;
    double avProg;
    double priceIdx;
    CPriceRecord price;
    const bool categoryMode; // a top-level product: no natural unit, deviations or prices

    // Writes the values into the record (an element: isgroup 0).
    void TakeValues(CProductRecord& rec) const;
    // "Пересчитать цены".
    void OnRecalcPrices();

    // The number fields: the three prices, minimum and maximum rows, the averages (per year), the
    // deviations and the index.
    enum Field {
        PricePrev,
        PriceCur,
        PriceNext,
        MinPrev,
        MinCur,
        MinNext,
        MaxPrev,
        MaxCur,
        MaxNext,
        AvRep,
        AvCur,
        AvProg,
        OffsetMin,
        OffsetMax,
        PriceIdx,
        FieldCount
    };
    QLineEdit* field(Field f) const { return m_fields[f]; }
    QComboBox* naturalBox() const { return m_natural; }
    QComboBox* costBox() const { return m_cost; }
    QComboBox* priceUnitBox() const { return m_priceUnit; }
    QComboBox* perUnitBox() const { return m_perUnit; }
    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* codeEdit() const { return m_code; }
    QPushButton* recalcButton() const { return m_recalc; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    void FillDependentUnits(QComboBox* box, int unit, int selected);
    void OnNaturalChanged();
    void OnCostChanged();
    void UpdateBounds();
    void UpdateForecastAverage();
    void ShowNumbers();

    QLineEdit* m_name;
    QLineEdit* m_code;
    QPlainTextEdit* m_comment;
    QComboBox* m_natural;
    QComboBox* m_cost;
    QComboBox* m_priceUnit;
    QComboBox* m_perUnit;
    QLineEdit* m_fields[FieldCount];
    QPushButton* m_recalc;
    bool m_filling = false;
};

// "Группа продуктов".
class CProductGroupDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    CProductGroupDlg(const CProductRecord& rec, bool viewOnly, QWidget* parent = nullptr);

    QString name;
    QString code;
    QString comment;
    int measurementPrice;
    int kind; // 64, 96 or 112 (0 when neither box is checked)
    QString balanceTitle;
    double priceIdx;

    // Writes the values into the record (a group: isgroup 1).
    void TakeValues(CProductRecord& rec) const;
    // The kind the controls choose.
    int KindFromControls() const;

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* titleEdit() const { return m_title; }
    QComboBox* costBox() const { return m_cost; }
    QRadioButton* sumButton() const { return m_sum; }
    QRadioButton* balanceButton() const { return m_balance; }
    QCheckBox* autoTotalBox() const { return m_autoTotal; }
    QCheckBox* autoBalanceBox() const { return m_autoBalance; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    void UpdateKindControls();

    int m_parent;
    QLineEdit* m_name;
    QLineEdit* m_code;
    QPlainTextEdit* m_comment;
    QComboBox* m_cost;
    QLineEdit* m_index;
    QRadioButton* m_sum;
    QRadioButton* m_balance;
    QLabel* m_titleLabel;
    QLineEdit* m_title;
    QCheckBox* m_autoTotal;
    QCheckBox* m_autoBalance;
};
