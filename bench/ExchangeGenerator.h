// The two organisations of a forecast exchange, for the exchange's tests and benchmark: the lower one
// (B) holds the forecast with its products, its own receiver and the upper organisation, and the
// consolidated rows it sends; the upper one (A) holds the same forecast and products with B as a
// receiver below its own.
#pragma once

#include "ForecastGenerator.h"
#include "tables/TotalForecasts.h"

namespace ExchangeIds {
inline constexpr int kUpperInA = 1;     // A's own receiver, the top of A's forecast
inline constexpr int kLowerInA = 5;     // B as A's receiver
inline constexpr int kLowerInB = 10;    // B's own receiver (importedId kLowerInA)
inline constexpr int kUpperInB = 90000; // A in B's database, category -1 (importedId kUpperInA)
inline constexpr int kSubReceivers = 3; // B's own receivers below it
} // namespace ExchangeIds

struct CExchangeShape {
    int forecast = 7;
    int products = 5000; // groups included; at least 110
    std::uint64_t seed = 1;
};

// The consolidated rows of B: one per product of the generated forecast, the first with 1234.5678 in
// sumNext.
CTotalForecastList ExchangeTotals(const CExchangeShape& shape, const CGeneratedForecast& forecast);

// Each writes one organisation's database (B with its consolidated rows) on the main connection in one transaction;
// none with the failure's text.
std::optional<CGeneratedForecast> GenerateLowerOrganisation(const CExchangeShape& shape, QString* error = nullptr);
std::optional<CGeneratedForecast> GenerateUpperOrganisation(const CExchangeShape& shape, QString* error = nullptr);

// A plain prepared insert of the rows into tfcttotalprognoz, or as B's rows into tfctprognozdata
// (receiver given): the floor the exchange's own writes are measured against. False on an error.
bool InsertTotalRows(const CTotalForecastList& rows);
bool InsertDataRows(const CTotalForecastList& rows, int receiver);
