// The frames that the navigation panel of the main window hosts: the seven reference books, the
// forecast editor and the event journal. The panel creates each once through its factory slot,
// shows the one of the chosen tab and book, offers it the commands while it is shown, and tells
// all of them when the current forecast changes.
#pragma once

#include "CmdTarget.h"
#include "FilterField.h"

#include <QWidget>

#include <array>
#include <functional>

struct CSessionState;

class CPanelFrame : public QWidget, public CCmdTarget {
    Q_OBJECT
public:
    explicit CPanelFrame(QWidget* parent = nullptr);
    ~CPanelFrame() override;

    // The current forecast was switched (0) or its data changed (1).
    virtual void OnForecastChanged(int wParam);

    // The list's fields: whoever shows the frame registers them once, while the list is empty,
    // then calls InitListColumns.
    bool HasFilterFields() const { return !m_filterFields.empty(); }
    void AddFilterField(const QString& caption, const QString& column, int kind, bool visible, int width,
                        const QString& lookupTable = QString(), const QString& lookupField = QString());
    // Builds the list's columns from the visible fields and reloads.
    virtual void InitListColumns();

    const CFilterFieldList& filterFields() const { return m_filterFields; }
    CFilterFieldList& filterFields() { return m_filterFields; }

private:
    CFilterFieldList m_filterFields;
};

// What the panel needs of the forecast editor.
class CForecastFrameBase : public CPanelFrame {
    Q_OBJECT
public:
    using CPanelFrame::CPanelFrame;

    // Shows the private forecast of a receiver, or with 0 the consolidated forecast; -1 nothing.
    virtual void SetReceiver(int receiverId);
    // Reloads tree and grids; a hidden frame only when forced.
    virtual void Refresh(bool restoreSelection, bool force);
    // The receiver shown: 0 the consolidated forecast, -1 none.
    int receiverId() const { return m_receiverId; }

protected:
    int m_receiverId = -1;
};

// The reference books in the order of the panel's book combo.
enum PanelBook : int {
    BOOK_RECEIVERS,
    BOOK_PRODUCTS,
    BOOK_MEASUREMENTS,
    BOOK_CONVERSIONS,
    BOOK_DOCUMENTATION,
    BOOK_MAILINGS,
    BOOK_EVENT_TYPES,
    BOOK_COUNT
};

// The nine factory slots, filled by the parts that build the frames before the main frame is
// created. An empty slot gives an empty placeholder frame; a factory that answers null leaves the
// frame out.
struct CPanelFrameFactories {
    using Factory = std::function<CPanelFrame*(QWidget* parent, CSessionState& session)>;
    using ForecastFactory = std::function<CForecastFrameBase*(QWidget* parent, CSessionState& session)>;

    std::array<Factory, BOOK_COUNT> books;
    ForecastFactory forecast;
    Factory journal;
};

CPanelFrameFactories& PanelFrameFactories();
