// Shared test fixtures: a private program folder and profile per test, and recorded messages (the
// errors reported through the error sink among them).
#pragma once

#include "tables/TableResult.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include <QMetaObject>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

// Readable failure output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

struct RecordedMessage {
    QString text;
    unsigned flags;
};

class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The program folder of this test, with a trailing '/'.
    QString home() const { return m_home; }
    QString configHome() const { return m_config; }
    // The folder that stands in for the executable's, where the program finds the files it ships.
    QString shippedFolder() const;
    QString profilePath() const;
    // Sets (a null value unsets) an environment variable until the test ends.
    void SetEnv(const char* name, const QByteArray& value);

    // Messages shown through AppMessageBox; scripted answers are taken in order, else the default.
    std::vector<RecordedMessage> messages;
    std::deque<int> answers;
    // What the caller of a table operation does with its answer: the notice is shown (and so joins
    // the messages). Shown answers whether the operation was done, Passed whether a guard let it on.
    static bool Shown(const CTableResult& result);
    static bool Passed(const std::optional<CNotice>& refusal);

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::mutex m_messagesMutex;
    QString m_home;
    QString m_config;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> m_savedEnv;
};

// An outside program run to its end (at most a minute).
struct PeerRun {
    int exitCode = -1; // -1 when it did not start or end normally
    QString output;    // standard output and error
};
PeerRun RunPeer(const QString& program, const QStringList& arguments);
bool HaveProgram(const QString& program);

// The dynamic symbols a shared library defines, as `nm -D --defined-only` lists them;
// none when nm is not installed.
std::optional<QStringList> ExportedSymbols(const QString& library);

// A figure of /proc/self/status ("VmRSS:", "VmHWM:") in KiB; -1 when unknown.
long StatusKiB(const char* field);
// Starts the peak of the resident memory (VmHWM) afresh from what is resident now.
void ResetPeakMemory();
// Under the address checks a test's own memory and time are not judged: their shadow memory,
// quarantine and checks outweigh them. Such a test judges all else, then calls
// SkipWhereCostIsNotJudged last.
#if defined(LIR_SANITIZED) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kCostJudged = false;
#else
inline constexpr bool kCostJudged = true;
#endif
void SkipWhereCostIsNotJudged();

// Writes a file whole; fails the test when it cannot.
void WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);

// Offers `step` to the user-interface thread every 50 ms until it answers true. It runs only while
// that thread lets events through, which it does while it shows a wait.
class CWhileWaiting {
public:
    explicit CWhileWaiting(QObject* context, std::function<bool()> step)
        : m_thread([this, context, step = std::move(step)] {
            while (!m_done) {
                QMetaObject::invokeMethod(
                    context,
                    [this, step] {
                        if (!m_done && step())
                            m_done = true;
                    },
                    Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        })
    {
    }
    ~CWhileWaiting()
    {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};
