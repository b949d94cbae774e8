// Forms 8 and 9 in the report benchmark: form 8 over every receiver of the generated forecast, and
// form 9 comparing its data with a second forecast's, every receiver on both sides, with the PDF.
#pragma once

#include "BenchSummary.h"
#include "ForecastGenerator.h"

#include <QString>

#include <vector>

// Makes the second forecast: a copy of the first whose every seventh product's forecast-year sums
// are half as large again. receivers: every receiver of the first forecast; products: its priced
// products in tree order; home: the program folder with the report database and definitions.
void PrepareControlForms(const CGeneratedForecast& data, const std::vector<int>& receivers,
                         const std::vector<int>& products, const QString& home);
void PrintControlFormFigures(const CSummaryReporter& reporter);
