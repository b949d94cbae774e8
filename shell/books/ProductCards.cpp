#include "ProductCards.h"

#include "AppMessage.h"
#include "ForecastDialogs.h"
#include "NumericInput.h"
#include "tables/Measurements.h"
#include "tables/ProductAveragePrices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace BookDialogTexts;
using namespace ProductCardTexts;

namespace {

constexpr int kTextLimit = 255;
constexpr int kNumberLimit = 14;
constexpr QChar kPoint = u'.';
constexpr int kNaturalUnits = 1;
constexpr int kCostUnits = 2;

QLineEdit* Edit(QWidget* parent, const QString& name, int limit)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(limit);
    return edit;
}

QPlainTextEdit* CommentEdit(QWidget* parent, const QString& text)
{
    auto* edit = new QPlainTextEdit(text, parent);
    edit->setObjectName(QStringLiteral("comment"));
    edit->setMaximumHeight(60);
    return edit;
}

QComboBox* UnitBox(QWidget* parent, const char* name)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

enum class StoredUnit { Keep, Drop };

// The units of one kind, with an empty entry (id 0) first when asked. The selected unit is shown
// even when it is not of the list (the record's own unit: the card shows what is stored); without
// one the box shows the empty entry, or nothing.
void FillUnits(QComboBox* box, const std::optional<CMeasurementList>& units, bool withEmpty, int selected,
               StoredUnit stored = StoredUnit::Keep)
{
    box->clear();
    if (withEmpty)
        box->addItem(QString(), 0);
    if (units)
        for (const CMeasurementRecord& m : *units)
            box->addItem(m.name, m.id);
    int index = box->findData(selected);
    if (index < 0 && selected > 0 && stored == StoredUnit::Keep) {
        if (const auto unit = GetMeasurement(selected)) {
            box->addItem(unit->name, unit->id);
            index = box->count() - 1;
        }
    }
    box->setCurrentIndex(index >= 0 ? index : (withEmpty ? 0 : -1));
}

int ChosenUnit(const QComboBox* box)
{
    return box->currentIndex() >= 0 ? box->currentData().toInt() : 0;
}

// A number as typed, with ',' or '.'; none for anything else (nothing is shown).
std::optional<double> ReadNumber(QString text)
{
    text = text.trimmed().replace(u',', u'.');
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Four decimals, rounded half to even, as text with '.'; none when the value is not finite or out
// of range.
std::optional<Money> FourDecimals(double value)
{
    return Money::fromDouble(value);
}

void Warn(QWidget* dlg, const QString& text)
{
    AppMessageBox(text, MB_ICONEXCLAMATION, dlg);
}

// Shows the text in the field when it fits; otherwise says so and leaves the field as it was.
bool ShowIfFits(QWidget* dlg, QLineEdit* edit, const QString& text, const QString& tooLong)
{
    if (text.size() > kNumberLimit) {
        Warn(dlg, tooLong);
        return false;
    }
    edit->setText(text);
    return true;
}

bool CheckNameAndCode(QLineEdit* name, QLineEdit* code, bool codeRequired,
                      const std::function<void(const QString&, QWidget*)>& refuse)
{
    if (name->text().isEmpty()) {
        refuse(kNameEmpty, name);
        return false;
    }
    if (codeRequired && code->text().isEmpty()) {
        refuse(kCodeEmpty, code);
        return false;
    }
    if (name->text().size() > kTextLimit) {
        refuse(kNameTooLong.arg(kTextLimit), name);
        return false;
    }
    if (code->text().size() > kTextLimit) {
        refuse(kCodeTooLong.arg(kTextLimit), code);
        return false;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------

CProductDlg::CProductDlg(const CProductRecord& rec, const CPriceRecord& priceRecord, bool viewOnly, QWidget* parent)
    : CBookEntityDlg(0, QStringLiteral("Продукт"), viewOnly, parent)
    , name(rec.name)
    , code(rec.code)
    , comment(rec.comment)
    , measurementNatural(rec.measurementNatural)
    , measurementPrice(rec.measurementPrice)
    , measurementNatural2(rec.measurementNatural2)
    , measurementPrice2(rec.measurementPrice2)
    , type(rec.type)
    , offsetMin(rec.offsetMin)
    , offsetMax(rec.offsetMax)
    , avRep(rec.avRep)
    , avCur(rec.avCur)
    , avProg(rec.avProg)
    , priceIdx(rec.priceIdx)
    , price(priceRecord)
    , categoryMode(rec.IsGroup() || rec.parent == 0)
{
    setObjectName(QStringLiteral("CProductDlg"));
    m_name = Edit(this, QStringLiteral("name"), kTextLimit);
    m_code = Edit(this, QStringLiteral("code"), kTextLimit);
    m_comment = CommentEdit(this, comment);
    m_cost = UnitBox(this, "costUnit");
    m_natural = UnitBox(this, "naturalUnit");
    m_priceUnit = UnitBox(this, "priceUnit");
    m_perUnit = UnitBox(this, "perUnit");
    static const char* const kNames[FieldCount] = {"pricePrev", "priceCur", "priceNext", "minPrev",   "minCur",
                                                   "minNext",   "maxPrev",  "maxCur",    "maxNext",   "avRep",
                                                   "avCur",     "avProg",   "offsetMin", "offsetMax", "priceIdx"};
    for (int f = 0; f < FieldCount; ++f)
        m_fields[f] = Edit(this, QLatin1String(kNames[f]), kNumberLimit);
    for (int f = MinPrev; f <= AvProg; ++f)
        m_fields[f]->setReadOnly(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Наименование:"), m_name);
    form->addRow(QStringLiteral("Код:"), m_code);
    form->addRow(QStringLiteral("Комментарий:"), m_comment);

    auto* units = new QGroupBox(QStringLiteral("Единицы измерения"), this);
    auto* unitForm = new QFormLayout(units);
    unitForm->addRow(QStringLiteral("Стоимостные:"), m_cost);
    unitForm->addRow(QStringLiteral("Натуральные:"), m_natural);
    unitForm->addRow(QStringLiteral("Ценовые:"), m_priceUnit);
    unitForm->addRow(QStringLiteral("за:"), m_perUnit);
    form->addRow(units);

    auto* prices = new QGroupBox(QStringLiteral("Цена"), this);
    auto* grid = new QGridLayout(prices);
    const QString columns[] = {QStringLiteral("Отчет"), QStringLiteral("Оценка"), QStringLiteral("Прогноз")};
    for (int y = 0; y < 3; ++y)
        grid->addWidget(new QLabel(columns[y], prices), 0, y + 1);
    const std::pair<const char16_t*, int> rows[] = {
        {u"", PricePrev}, {u"Минимальная:", MinPrev}, {u"Максимальная:", MaxPrev}, {u"Средняя:", AvRep}};
    for (int r = 0; r < 4; ++r) {
        grid->addWidget(new QLabel(QString::fromUtf16(rows[r].first), prices), r + 1, 0);
        for (int y = 0; y < 3; ++y)
            grid->addWidget(m_fields[rows[r].second + y], r + 1, y + 1);
    }
    form->addRow(prices);

    auto* offsets = new QGroupBox(QStringLiteral("Разрешенное отклонение от цены"), this);
    auto* offsetForm = new QFormLayout(offsets);
    offsetForm->addRow(QStringLiteral("Минимальное:"), m_fields[OffsetMin]);
    offsetForm->addRow(QStringLiteral("Максимальное:"), m_fields[OffsetMax]);
    offsetForm->addRow(QStringLiteral("Индекс дефлятор (%):"), m_fields[PriceIdx]);
    form->addRow(offsets);
    auto* category = new QCheckBox(QStringLiteral("Сохранить как категорию"), this);
    category->setVisible(false);
    form->addRow(category);
    m_recalc = new QPushButton(QStringLiteral("Пересчитать цены"), this);
    m_recalc->setObjectName(QStringLiteral("recalc"));
    m_recalc->setAutoDefault(false);
    form->addRow(m_recalc);
    FinishLayout(form);

    connect(m_natural, &QComboBox::currentIndexChanged, this, &CProductDlg::OnNaturalChanged);
    connect(m_cost, &QComboBox::currentIndexChanged, this, &CProductDlg::OnCostChanged);
    connect(m_recalc, &QPushButton::clicked, this, &CProductDlg::OnRecalcPrices);
    for (Field f : {PricePrev, PriceCur, PriceNext, OffsetMin, OffsetMax})
        connect(m_fields[f], &QLineEdit::textChanged, this, &CProductDlg::UpdateBounds);
    connect(m_fields[PriceIdx], &QLineEdit::textChanged, this, &CProductDlg::UpdateForecastAverage);
}

void CProductDlg::OnInitDialog()
{
    m_filling = true;
    m_name->setText(name);
    m_code->setText(code);
    m_comment->setPlainText(comment);
    FillUnits(m_natural, LoadMeasurementsByType(kNaturalUnits), true, measurementNatural);
    FillUnits(m_cost, LoadMeasurementsByType(kCostUnits), false, measurementPrice);
    FillDependentUnits(m_perUnit, ChosenUnit(m_natural), measurementNatural2);
    FillDependentUnits(m_priceUnit, ChosenUnit(m_cost), measurementPrice2);
    m_filling = false;
    ShowNumbers();

    if (categoryMode) {
        m_natural->setEnabled(false);
        for (Field f : {PricePrev, PriceCur, PriceNext, OffsetMin, OffsetMax})
            m_fields[f]->setEnabled(false);
    }
    if (m_viewOnly) {
        for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_code, m_comment, m_natural, m_cost, m_priceUnit,
                                                          m_perUnit, m_recalc})
            w->setEnabled(false);
        for (QLineEdit* e : m_fields)
            e->setEnabled(false);
    }
}

// The empty entry, the unit itself and every unit converted to or from it. While the card opens the
// stored unit is shown even when no conversion leads to it.
void CProductDlg::FillDependentUnits(QComboBox* box, int unit, int selected)
{
    const bool was = m_filling;
    m_filling = true;
    const StoredUnit stored = was ? StoredUnit::Keep : StoredUnit::Drop;
    if (unit == 0) {
        FillUnits(box, std::nullopt, true, selected, stored);
    } else {
        FillUnits(box,
                  LoadMeasurements(SqlFilter(
                      QStringLiteral("exists (select 1 from tclsmconvert c where (c.base = m.id and c.produce = ?) "
                                     "or (c.base = ? and c.produce = m.id)) or m.id = ?"),
                      {unit, unit, unit})),
                  true, selected, stored);
    }
    m_filling = was;
}

void CProductDlg::OnNaturalChanged()
{
    if (m_filling)
        return;
    const int unit = ChosenUnit(m_natural);
    FillDependentUnits(m_perUnit, unit, ChosenUnit(m_perUnit));
    if (unit == 0)
        m_priceUnit->setCurrentIndex(0);
}

void CProductDlg::OnCostChanged()
{
    if (!m_filling)
        FillDependentUnits(m_priceUnit, ChosenUnit(m_cost), ChosenUnit(m_priceUnit));
}

void CProductDlg::ShowNumbers()
{
    m_filling = true;
    Money* prices[] = {&price.pricePrev, &price.priceCur, &price.priceNext};
    for (int y = 0; y < 3; ++y)
        DDX_TextCurrency(false, m_fields[PricePrev + y], *prices[y], kPoint);
    const std::pair<Field, double*> decimals[] = {{AvRep, &avRep},         {AvCur, &avCur},
                                                  {AvProg, &avProg},       {OffsetMin, &offsetMin},
                                                  {OffsetMax, &offsetMax}, {PriceIdx, &priceIdx}};
    for (const auto& [f, value] : decimals)
        DDX_TextDecimalSep(false, m_fields[f], *value, kPoint);
    m_filling = false;
    UpdateBounds();
}

void CProductDlg::UpdateBounds()
{
    if (m_filling)
        return;
    const auto low = ReadNumber(m_fields[OffsetMin]->text());
    const auto high = ReadNumber(m_fields[OffsetMax]->text());
    for (int y = 0; y < 3; ++y) {
        const auto p = Money::parseInput(m_fields[PricePrev + y]->text().trimmed());
        if (!p)
            continue;
        const std::pair<std::optional<double>, int> bounds[] = {{low, MinPrev + y}, {high, MaxPrev + y}};
        for (const auto& [offset, f] : bounds) {
            if (!offset)
                continue;
            const auto product = MulMoneyDouble(*p, *offset);
            if (!product)
                Warn(this, kTooLong);
            else
                ShowIfFits(this, m_fields[f], product->toInputText(kPoint), kTooLong);
        }
    }
}

void CProductDlg::UpdateForecastAverage()
{
    if (m_filling)
        return;
    const auto current = ReadNumber(m_fields[AvCur]->text());
    const auto index = ReadNumber(m_fields[PriceIdx]->text());
    if (!current || !index)
        return;
    const double value = *current * *index / 100.0;
    if (!std::isfinite(value)) {
        Warn(this, kAverageTooLong);
        return;
    }
    ShowIfFits(this, m_fields[AvProg], QString::number(value, 'f', QLocale::FloatingPointShortest), kAverageTooLong);
}

bool CProductDlg::Validate()
{
    auto refuse = [this](const QString& text, QWidget* field) { Refuse(text, field); };
    Money prices[3];
    for (int y = 0; y < 3; ++y)
        if (!DDX_TextCurrency(true, m_fields[PricePrev + y], prices[y], kPoint))
            return false;
    double values[6];
    const Field decimals[] = {AvRep, AvCur, AvProg, OffsetMin, OffsetMax, PriceIdx};
    for (int i = 0; i < 6; ++i)
        if (!DDX_TextDecimalSep(true, m_fields[decimals[i]], values[i], kPoint))
            return false;
    const double low = values[3], high = values[4];

    if (!CheckNameAndCode(m_name, m_code, true, refuse))
        return false;
    const int cost = ChosenUnit(m_cost);
    if (cost == 0) {
        refuse(kNoCostUnit, m_cost);
        return false;
    }
    const int priceUnit = ChosenUnit(m_priceUnit), perUnit = ChosenUnit(m_perUnit);
    if ((priceUnit != 0) != (perUnit != 0)) {
        refuse(kPartialPriceUnit, priceUnit != 0 ? static_cast<QWidget*>(m_perUnit) : m_priceUnit);
        return false;
    }
    if (!categoryMode) {
        const bool anyPrice = !prices[0].isZero() || !prices[1].isZero() || !prices[2].isZero();
        QString failure;
        if (anyPrice) {
            if (low == 0 && high == 0)
                failure = kNoOffsets;
            else if (prices[0] < Money() || prices[1] < Money() || prices[2] < Money())
                failure = CheckTexts::kPricesNotPositive;
            else if (low < 0 || high < 0)
                failure = CheckTexts::kOffsetsNotPositive;
            else if (low > high)
                failure = CheckTexts::kOffsetsReversed;
        } else if (low != 0 || high != 0) {
            failure = kNoPrices;
        }
        if (!failure.isEmpty()) {
            refuse(failure, m_fields[failure == kNoOffsets || failure == kNoPrices ? OffsetMin : PricePrev]);
            return false;
        }
    }
    for (QLineEdit* e : m_fields)
        if (e->text().size() > kNumberLimit) {
            refuse(kTooLong, e);
            return false;
        }

    name = m_name->text();
    code = m_code->text();
    comment = m_comment->toPlainText();
    measurementNatural = ChosenUnit(m_natural);
    measurementPrice = cost;
    measurementNatural2 = perUnit;
    measurementPrice2 = priceUnit;
    price.pricePrev = prices[0];
    price.priceCur = prices[1];
    price.priceNext = prices[2];
    avRep = values[0];
    avCur = values[1];
    avProg = values[2];
    offsetMin = low;
    offsetMax = high;
    priceIdx = values[5];
    return true;
}

void CProductDlg::OnRecalcPrices()
{
    const int cost = ChosenUnit(m_cost);
    if (cost == 0) {
        Warn(this, kRecalcNeedsUnit);
        return;
    }
    CSelectMultiForecast select(this);
    if (select.DoModal() != QDialog::Accepted || select.selectedIds.empty())
        return;
    QStringList marks;
    QVariantList args;
    for (int id : select.selectedIds) {
        marks << QStringLiteral("?");
        args << id;
    }
    args << m_code->text();
    const SqlFilter filter(
        QStringLiteral("p.prognoz in (") + marks.join(QStringLiteral(", ")) + QStringLiteral(") and p.code = ?"), args);
    CAveragePriceRanges r;
    if (!ComputeAveragePriceRanges(filter, cost, r))
        return;

    // Everything is rounded first, so that a value that does not fit changes nothing.
    const auto reportPrice = Money::parseInput(m_fields[PricePrev]->text().trimmed());
    const bool divide = reportPrice && !reportPrice->isZero();
    std::optional<Money> newLow, newHigh;
    if (divide) {
        newLow = FourDecimals(r.minPrev / reportPrice->toDouble());
        newHigh = FourDecimals(r.maxPrev / reportPrice->toDouble());
    }
    const std::optional<Money> averages[] = {FourDecimals(r.avRep), FourDecimals(r.avCur), FourDecimals(r.avProg)};
    auto fits = [](const std::optional<Money>& m) { return m && m->toInputText(kPoint).size() <= kNumberLimit; };
    if ((divide && (!fits(newLow) || !fits(newHigh))) || !fits(averages[0]) || !fits(averages[1])
        || !fits(averages[2])) {
        Warn(this, kTooLong);
        return;
    }
    if (divide) {
        offsetMin = newLow->toDouble();
        offsetMax = newHigh->toDouble();
    } else {
        Warn(this, kZeroReportPrice);
    }
    avRep = averages[0]->toDouble();
    avCur = averages[1]->toDouble();
    avProg = averages[2]->toDouble();
    // The current prices stay as typed.
    Money* prices[] = {&price.pricePrev, &price.priceCur, &price.priceNext};
    for (int y = 0; y < 3; ++y)
        if (const auto p = Money::parseInput(m_fields[PricePrev + y]->text().trimmed()))
            *prices[y] = *p;
    ShowNumbers();

    const double bounds[] = {r.minPrev, r.minCur, r.minNext, r.maxPrev, r.maxCur, r.maxNext};
    for (int i = 0; i < 6; ++i)
        if (const auto m = FourDecimals(bounds[i]); fits(m))
            m_fields[MinPrev + i]->setText(m->toInputText(kPoint));
}

void CProductDlg::TakeValues(CProductRecord& rec) const
{
    rec.name = name;
    rec.code = code;
    rec.comment = comment;
    rec.measurementNatural = measurementNatural;
    rec.measurementPrice = measurementPrice;
    rec.measurementNatural2 = measurementNatural2;
    rec.measurementPrice2 = measurementPrice2;
    rec.type = type;
    rec.offsetMin = offsetMin;
    rec.offsetMax = offsetMax;
    rec.avRep = avRep;
    rec.avCur = avCur;
    rec.avProg = avProg;
    rec.priceIdx = priceIdx;
    rec.isgroup = 0;
}

// ---------------------------------------------------------------------------------------------

CProductGroupDlg::CProductGroupDlg(const CProductRecord& rec, bool viewOnly, QWidget* parent)
    : CBookEntityDlg(0, QStringLiteral("Группа продуктов"), viewOnly, parent)
    , name(rec.name)
    , code(rec.code)
    , comment(rec.comment)
    , measurementPrice(rec.measurementPrice)
    , kind(rec.type)
    , balanceTitle(rec.balanceTitle)
    , priceIdx(rec.priceIdx)
    , m_parent(rec.parent)
{
    setObjectName(QStringLiteral("CProductGroupDlg"));
    m_name = Edit(this, QStringLiteral("name"), kTextLimit);
    m_code = Edit(this, QStringLiteral("code"), kTextLimit);
    m_cost = UnitBox(this, "costUnit");
    m_index = Edit(this, QStringLiteral("priceIdx"), kNumberLimit);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Наименование:"), m_name);
    form->addRow(QStringLiteral("Код:"), m_code);
    auto* commentBox = new QGroupBox(QStringLiteral("Комментарий"), this);
    m_comment = CommentEdit(commentBox, comment);
    (new QVBoxLayout(commentBox))->addWidget(m_comment);
    form->addRow(commentBox);
    form->addRow(QStringLiteral("Стоимостные единицы измерения:"), m_cost);
    form->addRow(QStringLiteral("Индекс цены:"), m_index);

    auto* method = new QGroupBox(QStringLiteral("Способ расчета суммарной строки"), this);
    auto* methodLayout = new QVBoxLayout(method);
    m_sum = new QRadioButton(QStringLiteral("Сумма входящих элементов"), method);
    m_balance = new QRadioButton(QStringLiteral("С использованием балансировочной строки"), method);
    m_titleLabel = new QLabel(QStringLiteral("Наименование балансировочной строки"), method);
    m_title = Edit(method, QStringLiteral("balanceTitle"), kTextLimit);
    m_autoTotal = new QCheckBox(QStringLiteral("Автоматический расчет суммарной строки"), method);
    m_autoBalance = new QCheckBox(QStringLiteral("Автоматический расчет балансировочной строки"), method);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_sum, m_balance, m_titleLabel, m_title, m_autoTotal, m_autoBalance})
        methodLayout->addWidget(w);
    form->addRow(method);
    FinishLayout(form);
    connect(m_sum, &QRadioButton::toggled, this, &CProductGroupDlg::UpdateKindControls);
}

void CProductGroupDlg::OnInitDialog()
{
    m_name->setText(name);
    m_code->setText(code);
    m_comment->setPlainText(comment);
    FillUnits(m_cost, LoadMeasurementsByType(kCostUnits), false, measurementPrice);
    DDX_TextDecimalSep(false, m_index, priceIdx, kPoint);
    (kind == kGroupSumOfMembers ? m_sum : m_balance)->setChecked(true);
    const bool total = kind == kGroupSumOfMembers || kind == 96;
    m_autoTotal->setChecked(total);
    m_autoBalance->setChecked(!total);
    m_title->setText(balanceTitle);
    UpdateKindControls();
    m_code->setEnabled(!m_viewOnly && m_parent != 0);
    if (m_viewOnly)
        for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_comment, m_cost, m_index, m_sum, m_balance,
                                                          m_titleLabel, m_title, m_autoTotal, m_autoBalance})
            w->setEnabled(false);
}

void CProductGroupDlg::UpdateKindControls()
{
    const bool balancing = !m_sum->isChecked() && !m_viewOnly;
    for (QWidget* w : std::initializer_list<QWidget*>{m_titleLabel, m_title, m_autoTotal, m_autoBalance})
        w->setEnabled(balancing);
}

int CProductGroupDlg::KindFromControls() const
{
    if (m_sum->isChecked())
        return kGroupSumOfMembers;
    if (m_autoBalance->isChecked())
        return 112;
    if (m_autoTotal->isChecked())
        return 96;
    return 0;
}

bool CProductGroupDlg::Validate()
{
    auto refuse = [this](const QString& text, QWidget* field) { Refuse(text, field); };
    double index = 0;
    if (!DDX_TextDecimalSep(true, m_index, index, kPoint))
        return false;
    if (!CheckNameAndCode(m_name, m_code, false, refuse))
        return false;
    const int cost = ChosenUnit(m_cost);
    if (cost == 0) {
        refuse(kNoGroupUnit, m_cost);
        return false;
    }
    const int chosenKind = KindFromControls();
    if (chosenKind != kGroupSumOfMembers && m_title->text().trimmed().isEmpty()) {
        refuse(kNoBalanceTitle, m_title);
        return false;
    }
    name = m_name->text();
    code = m_code->text();
    comment = m_comment->toPlainText();
    measurementPrice = cost;
    kind = chosenKind;
    balanceTitle = m_title->text();
    priceIdx = index;
    return true;
}

void CProductGroupDlg::TakeValues(CProductRecord& rec) const
{
    rec.name = name;
    rec.code = code;
    rec.comment = comment;
    rec.measurementPrice = measurementPrice;
    rec.type = kind;
    rec.balanceTitle = balanceTitle;
    rec.priceIdx = priceIdx;
    rec.isgroup = 1;
}
