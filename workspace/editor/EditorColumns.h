// What the editor's two grids share: the order of the value columns and the colours of the marks.
#pragma once

#include "tables/ForecastRow.h"

#include <QColor>
#include <QString>

namespace EditorColumns {
// The quantities and sums in the column order of both grids: Y-2, Y-1, Y, then the parts of Y
// (norm, index, plan, formula, other). The list's column of one is the card's column + 1.
inline constexpr Money CForecastRowFields::*kValues[8] = {
    &CForecastRowFields::valueLast,    &CForecastRowFields::valueCurr,  &CForecastRowFields::valueNext,
    &CForecastRowFields::valueNorm,    &CForecastRowFields::valueIndex, &CForecastRowFields::valuePlan,
    &CForecastRowFields::valueFormula, &CForecastRowFields::valueOther};
inline constexpr Money CForecastRowFields::*kSums[8] = {&CForecastRowFields::sumLast,    &CForecastRowFields::sumCurr,
                                                        &CForecastRowFields::sumNext,    &CForecastRowFields::sumNorm,
                                                        &CForecastRowFields::sumIndex,   &CForecastRowFields::sumPlan,
                                                        &CForecastRowFields::sumFormula, &CForecastRowFields::sumOther};

inline constexpr int kListFirstValueColumn = 3;
inline constexpr int kCardFirstValueColumn = 2;

inline const QColor kMissing(120, 250, 250);   // a sum without quantity, or the reverse
inline const QColor kWrong(250, 120, 250);     // a price out of bounds, a negative balance
inline const QColor kUnmarked(240, 240, 240);  // the list's year cells without a mark
inline const QColor kCommented(160, 220, 190); // the card's year cells of a product with a comment

// The profile values, beside the nested splitter's sizes, that keep the column widths of the grids.
inline const QString kListColumnsValue = QStringLiteral("ListColumns");
inline const QString kCardColumnsValue = QStringLiteral("CardColumns");
} // namespace EditorColumns
