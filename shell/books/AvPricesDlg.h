// "Средние цены" (196): the lowest, highest and average prices of products over chosen forecasts,
// for the report, estimate and forecast years; and the command that collects them for the current
// forecast and, on OK, takes them into its products.
#pragma once

#include "Session.h"

#include <QDialog>

#include <array>
#include <optional>
#include <vector>

class QTreeWidget;

struct CAvPriceRow {
    int productId = 0;
    QString code;
    QString name;
    // Report minimum, maximum, average; estimate likewise; forecast likewise.
    std::array<double, 9> values{};
};
using CAvPriceList = std::vector<CAvPriceRow>;

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

// The rows of every priced product of the forecast over the source forecasts, in the forecast's
// price unit of each product; none after a database error.
std::optional<CAvPriceList> CollectAveragePrices(int forecast, const std::vector<int>& sources);
// Each product of the rows takes the averages; its bounds become the report year's lowest and
// highest prices divided by its report price (kept when that price is 0). All or nothing.
[[nodiscard]] bool ApplyAveragePrices(int forecast, const CAvPriceList& rows);

// The command: the forecasts to take prices from, the dialog, and on OK the products updated.
void ImportAveragePrices(QWidget* parent, const CSessionState& session);

namespace AvPriceTexts {
inline const QString kCaption = QStringLiteral("Средние цены");
inline const QString kChooseForecasts = QStringLiteral("Выберите прогнозы");
} // namespace AvPriceTexts
