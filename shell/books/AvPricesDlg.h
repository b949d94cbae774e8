// "Средние цены" (196): the lowest, highest and average prices of products over chosen forecasts,
// for the report, estimate and forecast years; and the command that collects them for the current
// forecast and, on OK, takes them into its products.
#pragma once

#include "Session.h"
#include "tables/ProductAveragePrices.h"

#include <QDialog>

class QTreeWidget;

// A price as the dialog shows it: four decimals at most (half to even), no trailing zeros, '.'.
QString AvPriceText(double value);

class CAvPricesDlg : public QDialog {
    Q_OBJECT
public:
    CAvPricesDlg(const CAvPriceList& rows, QWidget* parent = nullptr);

    // Writes the row at the index, or appends it with -1.
    void AddRow(const CAvPriceRow& row, int index);
    QTreeWidget* list() const { return m_list; }

private:
    QTreeWidget* m_list;
};

// The command: the forecasts to take prices from, the dialog, and on OK the products updated.
void ImportAveragePrices(QWidget* parent, const CSessionState& session);

namespace AvPriceTexts {
inline const QString kCaption = QStringLiteral("Средние цены");
inline const QString kChooseForecasts = QStringLiteral("Выберите прогнозы");
} // namespace AvPriceTexts
