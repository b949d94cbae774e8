// What a recalculation reports while it runs, and where the report goes.
#pragma once

#include <QString>

#include <atomic>

struct CProductRecord;
struct CReceiverRecord;

// The six progress operations, in this order. The walks call them only while a sink is set.
class IRecalcProgress {
public:
    virtual void BeginOuter(int count) = 0;
    virtual void StepOuter(const CReceiverRecord* receiver) = 0;
    virtual void BeginInner(int count) = 0;
    virtual void StepInner(const CProductRecord* product) = 0;
    virtual void NoteChildCount(int count) = 0;
    virtual void ShowInner(const CProductRecord* product) = 0;

protected:
    ~IRecalcProgress() = default;
};

// The two labels of the status window that the worker bodies set besides the progress.
class IRecalcStatusText {
public:
    virtual void SetProductText(const QString& text) = 0;
    virtual void SetReceiverText(const QString& text) = 0;

protected:
    ~IRecalcStatusText() = default;
};

// The sink of the running recalculation, or none.
class RecalcProgressHolder {
public:
    IRecalcProgress* Get() const { return m_sink.load(); }
    void Set(IRecalcProgress* sink) { m_sink.store(sink); }

private:
    std::atomic<IRecalcProgress*> m_sink{nullptr};
};

// The process's holder, made on first use.
RecalcProgressHolder& GetRecalcProgressHolder();

// Puts a sink into a holder for the lifetime of the scope.
class CRecalcProgressScope {
public:
    CRecalcProgressScope(RecalcProgressHolder& holder, IRecalcProgress* sink)
        : m_holder(holder)
    {
        m_holder.Set(sink);
    }
    ~CRecalcProgressScope() { m_holder.Set(nullptr); }
    CRecalcProgressScope(const CRecalcProgressScope&) = delete;
    CRecalcProgressScope& operator=(const CRecalcProgressScope&) = delete;

private:
    RecalcProgressHolder& m_holder;
};

// What the status window shows, driven by the progress operations: one bar for the outer (receiver)
// and the inner (product) steps, and the two labels.
struct CRecalcProgressState {
    int outerCount = -1;
    int outerDone = 0;
    int innerCount = -1;
    int innerDone = 0;
    int bar = 0; // 0 .. 100
    QString receiverText;
    QString productText;

    void BeginOuter(int count);
    void StepOuter(const CReceiverRecord* receiver);
    void BeginInner(int count);
    void StepInner(const CProductRecord* product);
    void ShowInner(const CProductRecord* product);
};
