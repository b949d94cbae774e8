#include "ForecastFilter.h"

#include "EditorTexts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace EditorTexts;

CForecastFilter::CForecastFilter(const CForecastFilterValues& values, QWidget* parent)
    : QDialog(parent)
    , m_values(values)
{
    setObjectName(QStringLiteral("id175"));
    setWindowTitle(kFilterTitle);
    auto named = [](auto* widget, int id) {
        widget->setObjectName(QStringLiteral("id%1").arg(id));
        return widget;
    };
    m_wrong = named(new QCheckBox(kOnlyWrong, this), 1100);
    m_commented = named(new QCheckBox(kOnlyCommented, this), 1101);
    m_filled = named(new QCheckBox(kOnlyFilled, this), 1134);
    m_code = named(new QLineEdit(this), 1086);
    m_name = named(new QLineEdit(this), 1046);
    m_code->setMaxLength(255);
    m_name->setMaxLength(255);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = named(buttons->addButton(QStringLiteral("ОК"), QDialogButtonBox::AcceptRole), 1);
    named(buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole), 2);
    QPushButton* clear = named(buttons->addButton(kClear, QDialogButtonBox::ResetRole), 1136);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(clear, &QPushButton::clicked, this, [this] { OnClear(); });

    auto* form = new QFormLayout;
    form->addRow(kCodeLabel, m_code);
    form->addRow(kNameLabel, m_name);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_wrong);
    layout->addWidget(m_commented);
    layout->addWidget(m_filled);
    layout->addLayout(form);
    layout->addWidget(buttons);
    Load(m_values);
}

void CForecastFilter::Load(const CForecastFilterValues& values)
{
    m_wrong->setChecked(values.onlyWrong);
    m_commented->setChecked(values.onlyCommented);
    m_filled->setChecked(values.onlyFilled);
    m_code->setText(values.code);
    m_name->setText(values.name);
}

void CForecastFilter::OnClear()
{
    Load(CForecastFilterValues{});
}

void CForecastFilter::accept()
{
    m_values.onlyWrong = m_wrong->isChecked();
    m_values.onlyCommented = m_commented->isChecked();
    m_values.onlyFilled = m_filled->isChecked();
    m_values.code = m_code->text();
    m_values.name = m_name->text();
    QDialog::accept();
}
