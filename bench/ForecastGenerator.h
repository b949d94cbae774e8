// Forecasts of a chosen shape for the benchmarks and for tests that need a realistic one: a receiver
// tree, a product classifier whose groups cycle through the three group kinds, prices in a group unit
// and two second units (one converted by a stored pair, one only by the reverse pair), and a data row
// for every receiver and product. The values are pseudo-random but the same for the same seed.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <vector>

struct CForecastShape {
    int forecast = 1;
    int firstReceiverId = 1;   // the root; the others follow
    int receiverGroups = 20;   // below the root
    int receiverSubgroups = 0; // below each of those: a fourth level
    int leafReceivers = 979;   // spread over the lowest groups
    int directLeafEvery = 0;   // with subgroups: every n-th leaf hangs directly below a group
    int productGroups = 9;     // below the top group
    int productSubgroups = 10; // below each of those
    int deepLevels = 2;        // further group levels below the first subgroup
    int leafProducts = 898;    // spread over the lowest groups
    int secondUnitEvery = 10;  // every n-th leaf in a second unit (0: none)
    int unpricedEvery = 0;     // every n-th leaf without a price row (0: none)
    int missingRowEvery = 0;   // about every n-th row left out (0: none)
    bool dataRows = true;      // false: the classifier and the receivers only
    std::uint64_t seed = 1;

    // 1,000 receivers (root, 20 groups, 979 leaves) by 1,000 priced products (top group, 9 groups,
    // 90 groups, a branch two levels deeper, 898 leaves): 1,000,000 rows.
    static CForecastShape Benchmark() { return {}; }
};

struct CGeneratedForecast {
    int forecast = 0;
    int root = 0;
    std::vector<int> receiverGroups; // the groups below the root, then their subgroups
    std::vector<int> leafReceivers;
    int topProduct = 0;
    std::vector<int> productGroups; // the top group first
    std::vector<int> leafProducts;
    int deepGroup = 0; // the deepest group of the branch
    int deepLeaf = 0;  // a leaf in it
    int groupUnit = 0;
    int directUnit = 0;  // converted into the group unit by a stored pair
    int reverseUnit = 0; // only the pair from the group unit is stored
    long long rows = 0;

    // Product and receiver ids of a forecast.
    static int ProductId(int forecast, int index) { return forecast * 100000 + index + 1; }
};

// Writes the forecast (and the units and pairs, once per database) in one transaction through plain
// prepared inserts on the main connection; none with the failure's text.
std::optional<CGeneratedForecast> GenerateForecast(const CForecastShape& shape, QString* error = nullptr);

// A temporary program folder (LIR_HOME) with a fresh SQLite database made from the template beside
// the built programs, connected as the main database. Journal off.
class CScratchDatabase {
public:
    // False with the reason.
    bool Open(const QString& templateFile, QString* error);
    QString file() const { return m_file; }

private:
    QTemporaryDir m_home;
    QString m_file;
};

// Opens the database from the template and generates the benchmark's forecast
// (CForecastShape::Benchmark) in it, saying so on standard output; none with the failure's text.
std::optional<CGeneratedForecast> GenerateBenchmarkForecast(CScratchDatabase& db, const QString& templateFile,
                                                            QString* error);
