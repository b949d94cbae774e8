// Forms 8 and 9 in the report benchmark: form 8 over every receiver of the generated forecast (the
// builder alone, then in a process of its own as the program shows it: builder, preview, first page,
// PDF from the preview, peak memory), and form 9 comparing its data with a second forecast's, every
// receiver on both sides, with the PDF.
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
// Form 8 over every receiver alone in this process, as the program shows it: prints one line of
// figures for MeasureForm8Preview. The process's program folder holds LIR.db, LIRR.db, Form8.rpt.
// With a report id above 0 the builder is left out and that run of LIRR.db is shown.
int RunForm8Preview(int forecast, int reportId = 0);
// Runs the program itself with the arguments that make it call RunForm8Preview, and keeps its figures
// (the benchmark BM_Form8Preview calls it).
void MeasureForm8Preview(const QString& program, int forecast);
void PrintControlFormFigures(const CSummaryReporter& reporter);
