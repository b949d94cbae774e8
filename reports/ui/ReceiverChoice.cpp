#include "ReceiverChoice.h"

#include "AppMessage.h"
#include "ReceiverChoiceControls.h"
#include "ReceiverSelectDlg.h"
#include "tables/ReceiverMap.h"
#include "tables/Receivers.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <climits>

ChosenReceivers ReadChosenReceivers(int forecastId, const std::vector<int>& ids)
{
    ChosenReceivers chosen;
    chosen.text = JoinReceiverNames(forecastId, ids, &chosen.ids);
    return chosen;
}

ChosenReceivers OwnReceiverChoice(int forecastId)
{
    const int own = LoadImportedLeafReceivers(forecastId);
    return own > 0 ? ReadChosenReceivers(forecastId, {own}) : ChosenReceivers{};
}

std::optional<ChosenReceivers> ChooseForecastReceivers(QWidget* parent, int forecastId, const std::vector<int>& current,
                                                       int checkMode)
{
    ReceiverSelectDlg dlg(forecastId, true, true, checkMode, parent);
    dlg.resultIds = current;
    if (dlg.DoModal() != QDialog::Accepted)
        return std::nullopt;
    return ReadChosenReceivers(forecastId, dlg.resultIds);
}

std::optional<int> ParseWholeNumber(const QString& text, int low, int high)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return int(value);
}

std::optional<int> ReadWholeNumber(QLineEdit* edit, int low, int high, const QString& message)
{
    const auto value = ParseWholeNumber(edit->text(), low, high);
    if (!value) {
        AppMessageBox(message, MB_ICONEXCLAMATION, edit->window());
        edit->setFocus();
        edit->selectAll();
    }
    return value;
}
