// The child window of the main frame (window id 10000) that hosts the navigation panel and the
// frames. It is offered every command before the main frame and hears of forecast changes.
#pragma once

#include "CmdTarget.h"

#include <QWidget>

class CChildFrameBase : public QWidget, public CCmdTarget {
    Q_OBJECT
public:
    explicit CChildFrameBase(QWidget* parent = nullptr);
    ~CChildFrameBase() override;

    // The current forecast changed (0) or its data changed (1); passed on to every frame.
    virtual void OnUpdateChildren(int wParam);
    // The same news for the forecast editor frame only, and for the event-journal frame only.
    virtual void NotifyForecastFrame(int wParam);
    virtual void NotifyEventJournal(int wParam);
    // The navigation panel shows the section of its chosen tab.
    virtual void FillSections();
    // The editor forgets the organisation chosen for its private forecast and reloads.
    virtual void ResetConsolidatedSelection();
    // The forecast editor shows its receiver again from the database.
    virtual void ReloadForecastReceiver();
    // What stands between the login and the first step (the role it needs); empty when nothing does.
    virtual void SetFirstStepNote(const QString& note);
};
