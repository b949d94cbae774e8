// What a running report build tells the user, and its stop: the builder names each step as it begins
// it, the window that waits for the build shows the step, and a stop asked for meanwhile ends the build
// at its next step or row (a statement that runs then ends at once).
#pragma once

#include "db/StatementStop.h"

#include <QString>

#include <mutex>
#include <utility>

namespace ReportStepTexts {
inline const QString kBuilding = QStringLiteral("построение отчета");
inline const QString kProductTree = QStringLiteral("чтение классификатора продукции");
inline const QString kReceiverTree = QStringLiteral("чтение дерева получателей");
inline const QString kProductSums = QStringLiteral("подсчет сумм по продуктам");
inline const QString kReceiverSums = QStringLiteral("подсчет сумм получателя %1 из %2");
inline const QString kRows = QStringLiteral("запись строк отчета");
inline const QString kStopped = QStringLiteral("Построение отчета остановлено.");
} // namespace ReportStepTexts

class CReportProgress {
public:
    QString step() const;
    void SetStep(const QString& step);
    CStopRequest& stop() { return m_stop; }
    bool stopped() const { return m_stop.stopped(); }

private:
    mutable std::mutex m_mutex;
    QString m_step = ReportStepTexts::kBuilding;
    CStopRequest m_stop;
};

// The calling thread's build reports to the progress while the scope lives, and its statements on the
// main connection end when the stop comes.
class CReportProgressScope {
public:
    explicit CReportProgressScope(CReportProgress& progress);
    ~CReportProgressScope();
    CReportProgressScope(const CReportProgressScope&) = delete;
    CReportProgressScope& operator=(const CReportProgressScope&) = delete;

private:
    CReportProgress* m_outer;
    CStatementStopScope m_statements;
};

// Names the step the calling thread's build begins; throws the stop (a failure the user has seen)
// once a stop was asked for. Without a progress scope nothing happens.
void ReportStep(const QString& step);
// Throws the stop once a stop was asked for: between rows.
void CheckReportStop();
// Whether the calling thread's build was asked to stop.
bool ReportStopAsked();
