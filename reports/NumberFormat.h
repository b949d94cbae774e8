// The number formats of the report forms, the setting "Формат данных в отчетных формах:": the
// entry's index says how money, quantity and price cells are rounded. Decimal comma, no grouping,
// half away from zero.
#pragma once

#include "Money.h"

#include <QString>

enum ReportNumberFormat : int {
    REPORT_FORMAT_EXACT = 0,      // "Без округления": up to four decimals, no trailing zeros
    REPORT_FORMAT_2_DECIMALS = 1, // "nnnnnnn,nn"
    REPORT_FORMAT_1_DECIMAL = 2,  // "nnnnnnn,n"
    REPORT_FORMAT_WHOLE = 3,      // "nnnnnnn"
    REPORT_FORMAT_TENS = 4,       // "nnnnnn0" ... up to
    REPORT_FORMAT_MILLIONS = 9,   // "n000000"
};

// The longest text a number gets.
inline constexpr int kReportNumberLength = 32;

// A format outside 0 to 9 (-1 when none was chosen) counts as 0.
QString FormatReportNumber(Money value, int format);
// Exactly that many decimals (0 to 4), as percentages are shown.
QString FormatFixedDecimals(Money value, int decimals);
// The same texts written into `out` (kReportNumberLength characters), for a report of many cells;
// they answer the length.
int WriteReportNumber(Money value, int format, char16_t* out);
int WriteFixedDecimals(Money value, int decimals, char16_t* out);
