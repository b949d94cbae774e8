// What the parameter dialogs of forms 1 to 6 share: controls named after their ids, the modal run of a
// form's dialog, and the choice whose data a report shows: the chosen receivers (edit 1059, the
// chooser button) or the consolidated forecast (radio buttons 1113 and 1112).
#pragma once

#include "Session.h"
#include "tables/Forecasts.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QDialog;
class QGridLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

inline const QString kSummaryChoiceText = QStringLiteral("Сводный прогноз");

// A control of a report dialog, named "id<n>" after its control id.
template <class W>
W* IdControl(QWidget* parent, int id, const QString& text = QString())
{
    W* w = new W(parent);
    w->setObjectName(QStringLiteral("id%1").arg(id));
    if constexpr (requires { w->setText(text); })
        if (!text.isEmpty())
            w->setText(text);
    return w;
}

// The row of "Показать" (id1, the default, answered) and "Закрыть" (id2, closing the dialog) at the
// grid's row; the "Показать" button.
QPushButton* AddShowAndClose(QDialog* dialog, QGridLayout* grid, int row);

// The names of the forecast's receivers among ids, joined by "; "; ids it no longer holds are left
// out (and, when kept is given, out of *kept too).
QString JoinReceiverNames(int forecastId, const std::vector<int>& ids, std::vector<int>* kept = nullptr);

class CReceiverChoiceControls : public QObject {
    Q_OBJECT
public:
    struct Texts {
        QString label;         // before the edit
        QString receiversMode; // radio 1113
        int chooseId;          // the chooser button
        QString choose;
    };
    // Lays the controls into rows `row` and `row` + 1 of the grid. changed: the dialog's update after
    // the choice changed.
    CReceiverChoiceControls(QWidget* dialog, QGridLayout* grid, int row, const Texts& texts, int forecastId,
                            std::function<void()> changed);

    // The installation's own receiver of the forecast, when it has one; else the consolidated forecast
    // when summaryWithoutOwn, or an empty choice of receivers.
    void StartWithOwnReceiver(bool summaryWithoutOwn);
    // The radio buttons, the chooser and the edit brought in line with the choice.
    void Update();
    void OnReceiversMode(); // the forecast's top receiver alone
    void OnSummaryMode();
    void OnChoose(); // the receiver selection with check boxes, the chosen ones pre-checked

    int summary = 0;
    std::vector<int> ids;
    QString names;

    QLineEdit* edit = nullptr;
    QPushButton* chooser = nullptr;

private:
    int m_forecastId;
    std::function<void()> m_changed;
    QRadioButton* m_receiversRadio = nullptr;
    QRadioButton* m_summaryRadio = nullptr;
};
