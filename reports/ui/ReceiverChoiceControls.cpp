#include "ReceiverChoiceControls.h"

#include "ReceiverSelectDlg.h"
#include "tables/ReceiverMap.h"

#include <QButtonGroup>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

QString JoinReceiverNames(int forecastId, const std::vector<int>& ids, std::vector<int>* kept)
{
    QStringList names;
    std::vector<int> found;
    for (int id : ids) {
        if (const auto rec = GetForecastReceiver(id, forecastId)) {
            names << rec->name;
            found.push_back(id);
        }
    }
    if (kept)
        *kept = std::move(found);
    return names.join(QStringLiteral("; "));
}

QPushButton* AddShowAndClose(QDialog* dialog, QGridLayout* grid, int row)
{
    auto* buttons = new QHBoxLayout;
    auto* show = IdControl<QPushButton>(dialog, 1, QStringLiteral("Показать"));
    show->setDefault(true);
    auto* close = IdControl<QPushButton>(dialog, 2, QStringLiteral("Закрыть"));
    buttons->addStretch();
    buttons->addWidget(show);
    buttons->addWidget(close);
    grid->addLayout(buttons, row, 0, 1, 4);
    QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::reject);
    return show;
}

CReceiverChoiceControls::CReceiverChoiceControls(QWidget* dialog, QGridLayout* grid, int row, const Texts& texts,
                                                 int forecastId, std::function<void()> changed)
    : QObject(dialog)
    , m_forecastId(forecastId)
    , m_changed(std::move(changed))
{
    grid->addWidget(new QLabel(texts.label, dialog), row, 0);
    edit = IdControl<QLineEdit>(dialog, 1059);
    edit->setReadOnly(true);
    grid->addWidget(edit, row, 1, 1, 2);
    chooser = IdControl<QPushButton>(dialog, texts.chooseId, texts.choose);
    grid->addWidget(chooser, row, 3);
    auto* modes = new QButtonGroup(this);
    m_receiversRadio = IdControl<QRadioButton>(dialog, 1113, texts.receiversMode);
    m_summaryRadio = IdControl<QRadioButton>(dialog, 1112, kSummaryChoiceText);
    modes->addButton(m_receiversRadio);
    modes->addButton(m_summaryRadio);
    grid->addWidget(m_receiversRadio, row + 1, 1);
    grid->addWidget(m_summaryRadio, row + 1, 2);
    connect(m_receiversRadio, &QRadioButton::clicked, this, &CReceiverChoiceControls::OnReceiversMode);
    connect(m_summaryRadio, &QRadioButton::clicked, this, &CReceiverChoiceControls::OnSummaryMode);
    connect(chooser, &QPushButton::clicked, this, &CReceiverChoiceControls::OnChoose);
}

void CReceiverChoiceControls::StartWithOwnReceiver(bool summaryWithoutOwn)
{
    summary = 0;
    if (const auto own = GetForecastReceiver(LoadImportedLeafReceivers(m_forecastId), m_forecastId)) {
        ids = {own->id};
        names = own->name;
    } else if (summaryWithoutOwn) {
        summary = 1;
    }
}

void CReceiverChoiceControls::Update()
{
    m_receiversRadio->setChecked(summary == 0);
    m_summaryRadio->setChecked(summary == 1);
    chooser->setEnabled(summary == 0);
    edit->setText(summary == 1 ? kSummaryChoiceText : names);
}

void CReceiverChoiceControls::OnReceiversMode()
{
    ids.clear();
    names.clear();
    if (const auto root = GetForecastRootReceiver(m_forecastId)) {
        ids = {root->id};
        names = root->name;
    }
    summary = 0;
    m_changed();
}

void CReceiverChoiceControls::OnSummaryMode()
{
    ids.clear();
    names = kSummaryChoiceText;
    summary = 1;
    m_changed();
}

void CReceiverChoiceControls::OnChoose()
{
    ReceiverSelectDlg dlg(m_forecastId, true, true, 1, edit->window());
    dlg.resultIds = ids;
    if (dlg.DoModal() == QDialog::Accepted)
        names = JoinReceiverNames(m_forecastId, dlg.resultIds, &ids);
    m_changed();
}
