// What the parameter dialogs of forms 7 to 9 and the blank form share: the chosen receivers of a
// forecast with their names, and whole numbers typed by the user.
#pragma once

#include "ReceiverChoiceControls.h"

#include <QString>

#include <optional>
#include <vector>

class QDialog;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QWidget;

struct ChosenReceivers {
    std::vector<int> ids;
    QString text; // the names joined by "; "
};

// The receivers among the ids that the forecast maps, in the given order, with their names.
ChosenReceivers ReadChosenReceivers(int forecastId, const std::vector<int>& ids);
// The organisation's own receiver in the forecast as the only choice; empty when it has none there.
ChosenReceivers OwnReceiverChoice(int forecastId);
// The forecast's receiver tree with check boxes (checkMode 1 or 2), the current ids checked; the
// checked receivers after OK, none after Cancel.
std::optional<ChosenReceivers> ChooseForecastReceivers(QWidget* parent, int forecastId, const std::vector<int>& current,
                                                       int checkMode);

// The whole text as one whole number (blanks around it allowed) from `low` to `high`; none otherwise.
std::optional<int> ParseWholeNumber(const QString& text, int low, int high);
// The edit's number as above; otherwise the message (exclamation icon), and the input stays selected.
std::optional<int> ReadWholeNumber(QLineEdit* edit, int low, int high, const QString& message);
