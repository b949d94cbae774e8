// Drives the real forecast program from inside its own process. Loaded with LD_PRELOAD, it starts
// with the application object and works through the script named by ROAD_SCRIPT, one step a line,
// as a user would: menu commands, clicks and keys. It writes what it sees to ROAD_LOG. Only the
// public Qt API is used: the program's own libraries are linked into the executable, and a second
// copy of them here would have globals of its own.
//
// A step is a verb and arguments separated by "|":
//   title                        the main window's title (TITLE line)
//   command <id>                 the main window's action id<id>, as its menu would run it
//   file <path>                  types the path into the open file dialog and accepts it
//   file-hold <folder> | <name>  shows the folder in the open file dialog, hands over to the
//                                script (sync <name>-shown), cancels, hands over again
//                                (sync <name>-cancelled)
//   receiver <name>              ticks (or selects) just this receiver in the receiver selection, OK
//   log-window                   waits for the exchange or check window to finish, logs its lines
//                                (LOG lines), closes it with OK
//   tab <text>                   the navigation panel's tab
//   choose <text>                picks the entry of the main window's combo box that holds it
//   text <objectName>            the text of a label or line edit (TEXT line)
//   tip <id>                     the status-bar text of the main window's action id<id>, its menu
//                                brought up to date (TIP line)
//   tree <item> | <item> ...     clicks the editor's groups down the path, expanding on the way
//   list <n>                     the quantity row of the n-th product of the editor's list
//   card <row> | <col> | <text>  types the text into the card's cell and ends it with Return
//   click <objectName>           clicks a button of the active dialog (or of any window)
//   action <window> | <action>   triggers an action of a window
//   items <class>                the rows of the shown list or tree of that class, in the open dialog
//                                first (ITEM lines: class, depth, text)
//   idle                         waits until no dialog is open and no operation runs
//   sync <name>                  writes ROAD_SYNC/<name> and waits for ROAD_SYNC/<name>.go
//   quit                         the command "Выход"
// A step that cannot be done in ROAD_STEP_TIMEOUT seconds (20) ends the program with status 3 and
// a FAIL line.
//
// Whenever the program shows that it waits for a database lock (the button "lockWaitStop" comes up,
// in the main window or at start-up in the splash window) or for pages it prints or saves (the
// button "outputStop" in the report preview), the driver writes a WAIT line (the process id,
// "status", "splash" or the window's name, the text shown) and does what ROAD_ON_WAIT says: "escape"
// presses Escape, "close" asks the window to close, "hold" holds the window (it does not repaint)
// from ROAD_SYNC/wait until ROAD_SYNC/wait.go, anything else leaves it to the script (which may send
// a signal). Timers do not run during the wait: this is done as the window repaints.
// The first time the main window shows, the driver writes a SHOWN line with its title.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <deque>
#include <functional>
#include <unistd.h>

namespace {

constexpr int kTickMs = 40;
constexpr int kQuitMs = 15000; // from "quit" to the end of the process

struct Step {
    int line = 0;
    QString verb;
    QStringList args;
    QString text;
};

class Driver : public QObject {
public:
    Driver()
    {
        m_log.setFileName(qEnvironmentVariable("ROAD_LOG"));
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            m_log.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
        m_sync = qEnvironmentVariable("ROAD_SYNC");
        m_timeoutMs = qEnvironmentVariableIntValue("ROAD_STEP_TIMEOUT") * 1000;
        if (m_timeoutMs <= 0)
            m_timeoutMs = 20000;
        m_onWait = qEnvironmentVariable("ROAD_ON_WAIT");
        qApp->installEventFilter(this);
        if (!Load(qEnvironmentVariable("ROAD_SCRIPT")))
            return;
        // The timer keeps firing inside the nested loops of modal dialogs.
        connect(&m_timer, &QTimer::timeout, this, &Driver::Tick);
        m_timer.start(kTickMs);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType())
            NoteWait();
        if (event->type() == QEvent::Show && !m_mainShown && watched->objectName() == QLatin1String("CMainFrame")
            && watched == MainWindow()) {
            m_mainShown = true;
            Write(QStringLiteral("SHOWN %1").arg(MainWindow()->windowTitle()));
        }
        return false;
    }

private:
    void NoteWait()
    {
        QAbstractButton* button = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            for (const char* name : {"lockWaitStop", "outputStop"})
                if (auto* b = top->isVisible() ? top->findChild<QAbstractButton*>(QLatin1String(name)) : nullptr;
                    b && b->isVisible())
                    button = b;
        if (!button || button == m_waitButton)
            return;
        m_waitButton = button;
        QWidget* window = button->window();
        auto* frame = qobject_cast<QMainWindow*>(window);
        const QString where = window == MainWindow() ? QStringLiteral("status")
            : frame                                  ? window->objectName()
                                                     : QStringLiteral("splash");
        QString text;
        if (frame)
            text = frame->statusBar()->currentMessage();
        else if (const auto* label = window->findChild<QLabel*>(QStringLiteral("lockWaitText")))
            text = label->text();
        Write(QStringLiteral("WAIT %1 %2 %3").arg(QCoreApplication::applicationPid()).arg(where, text));
        if (m_onWait == QLatin1String("escape"))
            QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        else if (m_onWait == QLatin1String("close"))
            QCoreApplication::postEvent(window, new QCloseEvent);
        else if (m_onWait == QLatin1String("hold"))
            Hold(QStringLiteral("wait"));
    }

    // Holds the user-interface thread between the script's marks, as a window busy painting would.
    void Hold(const QString& name)
    {
        const QString marker = m_sync + u'/' + name;
        if (QFile f(marker); m_sync.isEmpty() || !f.open(QIODevice::WriteOnly))
            Fail(QStringLiteral("cannot write %1").arg(marker));
        QElapsedTimer held;
        held.start();
        while (!QFile::exists(marker + QStringLiteral(".go"))) {
            if (held.elapsed() > m_timeoutMs)
                Fail(QStringLiteral("held %1 s without %2.go").arg(m_timeoutMs / 1000).arg(name));
            ::usleep(20000);
        }
    }

    bool Load(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            Fail(QStringLiteral("cannot read the script %1").arg(path));
            return false;
        }
        int line = 0;
        while (!file.atEnd()) {
            const QString text = QString::fromUtf8(file.readLine()).trimmed();
            ++line;
            if (text.isEmpty() || text.startsWith(u'#'))
                continue;
            Step s;
            s.line = line;
            s.text = text;
            s.verb = text.section(u' ', 0, 0);
            const QString rest = text.section(u' ', 1).trimmed();
            if (!rest.isEmpty())
                for (const QString& a : rest.split(u'|'))
                    s.args << a.trimmed();
            m_steps.push_back(s);
        }
        // Every script starts once the main window is up.
        m_steps.push_front(Step{0, QStringLiteral("main"), {}, QStringLiteral("main window")});
        return true;
    }

    void Write(const QString& line) { m_log.write((line + u'\n').toUtf8()); }

    [[noreturn]] void Fail(const QString& why)
    {
        Write(QStringLiteral("FAIL %1").arg(why));
        if (QWidget* modal = QApplication::activeModalWidget())
            Write(QStringLiteral("  modal: %1 '%2' %3 %4")
                      .arg(QString::fromLatin1(modal->metaObject()->className()), modal->objectName(),
                           modal->windowTitle(), modal->property("text").toString()));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                Write(QStringLiteral("  window: %1 '%2' %3")
                          .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), w->windowTitle()));
        m_log.flush();
        ::_exit(3);
    }

    // Runs the action from the event loop, never inside the timer's call: an action that opens a
    // modal dialog must not hold the driver.
    void Post(std::function<void()> action)
    {
        ++m_posted;
        QMetaObject::invokeMethod(
            this,
            [this, action = std::move(action)] {
                --m_posted;
                action();
            },
            Qt::QueuedConnection);
    }

    void Tick()
    {
        if (m_inTick || m_posted > 0)
            return;
        m_inTick = true;
        if (m_index >= m_steps.size()) {
            if (m_quit.isValid() && m_quit.elapsed() > kQuitMs)
                Fail(QStringLiteral("the program did not end after quit"));
            m_inTick = false;
            return;
        }
        const Step& s = m_steps[m_index];
        if (m_phase == 0 && !m_started) {
            m_started = true;
            m_stepClock.start();
            Write(QStringLiteral("STEP %1 %2").arg(s.line).arg(s.text));
        }
        if (m_stepClock.elapsed() > m_timeoutMs)
            Fail(QStringLiteral("line %1 '%2' timed out after %3 s").arg(s.line).arg(s.text).arg(m_timeoutMs / 1000));
        bool done = false;
        if (!m_queue.empty()) {
            Post(std::move(m_queue.front()));
            m_queue.pop_front();
        } else {
            done = Run(s);
        }
        if (done) {
            ++m_index;
            m_phase = 0;
            m_started = false;
            m_stable = 0;
            m_wait.invalidate();
        }
        m_inTick = false;
    }

    // ---- what the program shows

    QMainWindow* MainWindow() const
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* main = qobject_cast<QMainWindow*>(w); main && w->objectName() == QLatin1String("CMainFrame"))
                return main;
        return nullptr;
    }

    QWidget* TopLevel(const QString& name) const
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->objectName() == name)
                return w;
        return nullptr;
    }

    template <class T = QWidget>
    T* Find(const QString& name) const
    {
        if (QWidget* modal = QApplication::activeModalWidget())
            if (T* w = modal->findChild<T*>(name))
                return w;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible())
                if (T* w = top->findChild<T*>(name))
                    return w;
        return nullptr;
    }

    QWidget* Editor() const
    {
        QMainWindow* main = MainWindow();
        QWidget* frame = main ? main->findChild<QWidget*>(QStringLiteral("CForecastFrame")) : nullptr;
        return frame && frame->isVisible() ? frame : nullptr;
    }

    QAbstractScrollArea* Grid(const char* name) const
    {
        QWidget* frame = Editor();
        return frame ? frame->findChild<QAbstractScrollArea*>(QLatin1String(name)) : nullptr;
    }

    // No dialog, no operation with its wait cursor, for a few ticks in a row.
    bool Idle()
    {
        const bool quiet = !QApplication::activeModalWidget() && !QApplication::overrideCursor();
        m_stable = quiet ? m_stable + 1 : 0;
        return m_stable >= 5;
    }

    bool Waited(int ms)
    {
        if (!m_wait.isValid())
            m_wait.start();
        return m_wait.elapsed() >= ms;
    }

    // ---- input

    static void Type(QWidget* w, const QString& text)
    {
        for (const QChar c : text) {
            // Letters beyond ASCII travel as the text of a key event, as a keyboard layout sends them.
            if (c.unicode() < 128)
                QTest::keyClick(w, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    static void Click(QWidget* w, QPoint at = {})
    {
        QTest::mouseClick(w, Qt::LeftButton, {}, at.isNull() ? w->rect().center() : at);
    }

    // A click on the grid's top left header cell puts the focus cell on the first cell below and
    // right of the headers; the keys take it on from there.
    void QueueGridKeys(QAbstractScrollArea* grid, int down, int right)
    {
        QPointer<QAbstractScrollArea> g = grid;
        m_queue.push_back([g] {
            if (g)
                Click(g->viewport(), QPoint(5, 5));
        });
        for (int i = 0; i < down; ++i)
            m_queue.push_back([g] {
                if (g)
                    QTest::keyClick(g, Qt::Key_Down);
            });
        for (int i = 0; i < right; ++i)
            m_queue.push_back([g] {
                if (g)
                    QTest::keyClick(g, Qt::Key_Right);
            });
    }

    // ---- the steps; each returns true when it is done and is called again until then

    bool Run(const Step& s)
    {
        const QString& v = s.verb;
        const QString a0 = s.args.value(0);
        if (v == QLatin1String("main")) {
            QMainWindow* main = MainWindow();
            if (!main || !main->isVisible() || QApplication::activeModalWidget())
                return false;
            if (m_phase++ == 0)
                main->activateWindow();
            return Waited(200);
        }
        if (v == QLatin1String("title")) {
            Write(QStringLiteral("TITLE %1").arg(MainWindow()->windowTitle()));
            return true;
        }
        if (v == QLatin1String("command"))
            return Command(s);
        if (v == QLatin1String("file"))
            return FileDialog(a0);
        if (v == QLatin1String("file-hold"))
            return HoldFileDialog(a0, s.args.value(1));
        if (v == QLatin1String("receiver"))
            return ChooseReceiver(a0);
        if (v == QLatin1String("log-window"))
            return LogWindow();
        if (v == QLatin1String("tab"))
            return Tab(a0);
        if (v == QLatin1String("text")) {
            QWidget* w = Find(a0);
            if (!w)
                return false;
            const auto* label = qobject_cast<QLabel*>(w);
            const auto* edit = qobject_cast<QLineEdit*>(w);
            Write(QStringLiteral("TEXT %1 %2").arg(a0, label ? label->text() : edit ? edit->text() : QString()));
            return true;
        }
        if (v == QLatin1String("tip")) {
            QAction* action = MainWindow()->findChild<QAction*>(QStringLiteral("id") + a0);
            if (!action || !UpdateMenuOf(action))
                return false;
            Write(QStringLiteral("TIP %1 %2").arg(a0, action->statusTip()));
            return true;
        }
        if (v == QLatin1String("choose"))
            return Choose(a0);
        if (v == QLatin1String("tree"))
            return Tree(s.args);
        if (v == QLatin1String("list")) {
            QAbstractScrollArea* list = Grid("id59648");
            if (!list)
                return false;
            if (m_phase++ > 0)
                return true;
            // Each product has a quantity and a sum row below the group's row.
            QueueGridKeys(list, 1 + 2 * a0.toInt(), 0);
            return false;
        }
        if (v == QLatin1String("card"))
            return Card(s.args.value(0).toInt(), s.args.value(1).toInt(), s.args.value(2));
        if (v == QLatin1String("click")) {
            auto* button = Find<QAbstractButton>(a0);
            if (!button || !button->isEnabled())
                return false;
            // A button on a page of a tab widget is clicked with its page shown.
            for (QWidget* w = button; w; w = w->parentWidget())
                if (auto* tabs =
                        qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr))
                    if (tabs->indexOf(w) >= 0)
                        tabs->setCurrentWidget(w);
            QPointer<QAbstractButton> b = button;
            Post([b] {
                if (b)
                    Click(b);
            });
            return true;
        }
        if (v == QLatin1String("action")) {
            QWidget* window = TopLevel(a0);
            QAction* action = window ? window->findChild<QAction*>(s.args.value(1)) : nullptr;
            if (!action || !action->isEnabled())
                return false;
            QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
            return true;
        }
        if (v == QLatin1String("items"))
            return Items(a0);
        if (v == QLatin1String("idle"))
            return Idle();
        if (v == QLatin1String("sync"))
            return Sync(a0);
        if (v == QLatin1String("quit")) {
            QAction* exit = MainWindow()->findChild<QAction*>(QStringLiteral("id57665"));
            Write(QStringLiteral("QUIT"));
            m_quit.start();
            QMetaObject::invokeMethod(exit, &QAction::trigger, Qt::QueuedConnection);
            return true;
        }
        Fail(QStringLiteral("line %1: unknown step '%2'").arg(s.line).arg(s.text));
    }

    // Opening the menu brings its entries up to date, as before a user's choice; false the first time.
    bool UpdateMenuOf(QAction* action)
    {
        if (m_phase > 0)
            return true;
        ++m_phase;
        for (QMenu* menu : MainWindow()->menuBar()->findChildren<QMenu*>())
            if (menu->actions().contains(action))
                emit menu->aboutToShow();
        return false;
    }

    bool Command(const Step& s)
    {
        QMainWindow* main = MainWindow();
        QAction* action = main->findChild<QAction*>(QStringLiteral("id") + s.args.value(0));
        if (!action)
            Fail(QStringLiteral("line %1: the main window has no action id%2").arg(s.line).arg(s.args.value(0)));
        if (!UpdateMenuOf(action))
            return false;
        if (!action->isEnabled())
            Fail(QStringLiteral("line %1: command %2 '%3' is disabled")
                     .arg(s.line)
                     .arg(s.args.value(0), action->text()));
        Write(QStringLiteral("COMMAND %1 %2").arg(s.args.value(0), action->text()));
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
        return true;
    }

    bool FileDialog(const QString& path)
    {
        if (m_phase > 0)
            return !m_target || !m_target->isVisible();
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->isVisible())
            return false;
        m_target = dlg;
        QPointer<QFileDialog> d = dlg;
        Write(QStringLiteral("FILEDIALOG %1 in %2").arg(path, dlg->directory().absolutePath()));
        // The user goes to the folder and types the name: a whole path typed into the save dialog's
        // box near its own folder is not taken by Qt's dialog.
        Post([d, path] {
            if (!d)
                return;
            const QFileInfo file(path);
            d->setDirectory(file.absolutePath());
            if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                name->setFocus();
                QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
                Type(name, file.fileName());
            } else {
                d->selectFile(file.fileName());
            }
            QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
        });
        ++m_phase;
        return false;
    }

    bool HoldFileDialog(const QString& folder, const QString& name)
    {
        switch (m_phase) {
        case 0: {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dlg || !dlg->isVisible())
                return false;
            m_target = dlg;
            Write(QStringLiteral("FILEDIALOG %1 mode %2 in %3").arg(name).arg(int(dlg->fileMode())).arg(folder));
            dlg->setDirectory(folder);
            ++m_phase;
            return false;
        }
        case 1:
            // The dialog lists the folder on a thread of its own.
            if (!Waited(1500))
                return false;
            m_wait.invalidate();
            ++m_phase;
            return false;
        case 2:
            if (!Sync(name + QStringLiteral("-shown")))
                return false;
            if (m_target) {
                QPointer<QWidget> d = m_target;
                Post([d] {
                    if (auto* dlg = qobject_cast<QFileDialog*>(d.data()))
                        dlg->reject();
                });
            }
            ++m_phase;
            return false;
        case 3:
            if ((m_target && m_target->isVisible()) || !Waited(500))
                return false;
            ++m_phase;
            return false;
        default:
            return Sync(name + QStringLiteral("-cancelled"));
        }
    }

    bool ChooseReceiver(const QString& name)
    {
        QWidget* dlg = QApplication::activeModalWidget();
        if (!dlg || !dlg->inherits("ReceiverSelectDlg"))
            return false;
        auto* tree = dlg->findChild<QTreeWidget*>();
        auto* ok = dlg->findChild<QAbstractButton*>(QStringLiteral("id1"));
        if (!tree || !ok)
            return false;
        if (m_phase == 0) {
            // This receiver alone: what the dialog ticked beforehand is unticked.
            QTreeWidgetItem* found = nullptr;
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                if ((*it)->text(0) == name && !found)
                    found = *it;
                else if ((*it)->checkState(0) == Qt::Checked)
                    (*it)->setCheckState(0, Qt::Unchecked);
            }
            if (!found)
                Fail(QStringLiteral("no receiver '%1' to choose").arg(name));
            if (found->flags() & Qt::ItemIsUserCheckable) {
                found->setCheckState(0, Qt::Checked);
            } else {
                // Without boxes the dialog takes the receiver the user clicked.
                for (QTreeWidgetItem* p = found->parent(); p; p = p->parent())
                    p->setExpanded(true);
                tree->scrollToItem(found);
                QPointer<QTreeWidget> t = tree;
                const QPoint at = tree->visualItemRect(found).center();
                Post([t, at] {
                    if (t)
                        Click(t->viewport(), at);
                });
            }
            ++m_phase;
            return false;
        }
        if (!ok->isEnabled())
            return false;
        QPointer<QAbstractButton> b = ok;
        Post([b] {
            if (b)
                Click(b);
        });
        return true;
    }

    QDialog* OpenLogWindow() const
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->inherits("CExportNSIDlg"))
                return static_cast<QDialog*>(w);
        return nullptr;
    }

    bool LogWindow()
    {
        if (m_phase == 0) {
            QDialog* dlg = OpenLogWindow();
            auto* ok = dlg ? dlg->findChild<QAbstractButton*>(QStringLiteral("id1")) : nullptr;
            if (!ok || !ok->isEnabled() || !Idle())
                return false;
            m_target = dlg;
            if (auto* log = dlg->findChild<QPlainTextEdit*>(QStringLiteral("id1058")))
                for (const QString& line : log->toPlainText().split(u'\n'))
                    Write(QStringLiteral("LOG %1: %2").arg(dlg->windowTitle(), line));
            QPointer<QAbstractButton> b = ok;
            Post([b] {
                if (b)
                    Click(b);
            });
            ++m_phase;
            return false;
        }
        return !m_target || !m_target->isVisible();
    }

    // The entry of the main window's combo box that holds it, as a user picks it from the list.
    bool Choose(const QString& text)
    {
        for (QComboBox* box : MainWindow()->findChildren<QComboBox*>()) {
            const int index = box->findText(text);
            if (index < 0 || !box->isVisible())
                continue;
            QPointer<QComboBox> b = box;
            Post([b, index] {
                if (b) {
                    b->setCurrentIndex(index);
                    emit b->activated(index);
                }
            });
            return true;
        }
        return false;
    }

    bool Tab(const QString& text)
    {
        QMainWindow* main = MainWindow();
        auto* tabs = main->findChild<QTabBar*>(QStringLiteral("id1039"));
        if (!tabs)
            return false;
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabText(i) == text) {
                if (tabs->currentIndex() == i)
                    return Idle();
                QPointer<QTabBar> t = tabs;
                Post([t, i] {
                    if (t)
                        Click(t, t->tabRect(i).center());
                });
                return false;
            }
        Fail(QStringLiteral("no tab '%1'").arg(text));
    }

    bool Tree(const QStringList& path)
    {
        QWidget* frame = Editor();
        auto* tree = frame ? frame->findChild<QTreeWidget*>() : nullptr;
        if (!tree)
            return false;
        if (m_phase >= path.size())
            return Idle();
        // The item of this level, among the children of the one clicked before.
        QTreeWidgetItem* parent = m_phase == 0 ? nullptr : tree->currentItem();
        QTreeWidgetItem* item = nullptr;
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < count && !item; ++i) {
            QTreeWidgetItem* c = parent ? parent->child(i) : tree->topLevelItem(i);
            if (c->text(0) == path[m_phase])
                item = c;
        }
        if (!item)
            return false; // the branch fills when it opens
        const bool last = m_phase == path.size() - 1;
        QPointer<QTreeWidget> t = tree;
        tree->scrollToItem(item);
        const QPoint at = tree->visualItemRect(item).center();
        Post([t, at, last, item] {
            if (!t)
                return;
            Click(t->viewport(), at);
            if (!last && !item->isExpanded())
                QTest::keyClick(t, Qt::Key_Right);
        });
        ++m_phase;
        return false;
    }

    bool Card(int row, int col, const QString& text)
    {
        QAbstractScrollArea* card = Grid("id59664");
        if (!card)
            return false;
        switch (m_phase) {
        case 0:
            // Below the two header rows and right of the two header columns.
            QueueGridKeys(card, row - 2, col - 2);
            ++m_phase;
            return false;
        case 1: {
            // A typed character opens the cell's edit box with it.
            QPointer<QAbstractScrollArea> g = card;
            const QString first = text.left(1);
            Post([g, first] {
                if (g)
                    Type(g, first);
            });
            ++m_phase;
            return false;
        }
        case 2: {
            QLineEdit* editor = nullptr;
            for (QLineEdit* e : card->viewport()->findChildren<QLineEdit*>())
                if (e->isVisible())
                    editor = e;
            if (!editor)
                Fail(QStringLiteral("no edit box opened in the card at %1,%2").arg(row).arg(col));
            QPointer<QLineEdit> e = editor;
            const QString rest = text.mid(1);
            Post([e, rest] {
                if (!e)
                    return;
                Type(e, rest);
                QTest::keyClick(e, Qt::Key_Return);
            });
            ++m_phase;
            return false;
        }
        default:
            return Idle();
        }
    }

    bool Items(const QString& className)
    {
        const QByteArray name = className.toLatin1();
        auto shownIn = [&](QWidget* top) -> QAbstractItemView* {
            for (QAbstractItemView* view : top->findChildren<QAbstractItemView*>())
                if (view->isVisible() && view->inherits(name.constData()))
                    return view;
            return nullptr;
        };
        QAbstractItemView* view = nullptr;
        if (QWidget* modal = QApplication::activeModalWidget())
            view = shownIn(modal);
        for (QWidget* top : QApplication::topLevelWidgets())
            if (!view && top->isVisible())
                view = shownIn(top);
        // The view fills itself as it comes up.
        if (!view || !Waited(500))
            return false;
        QAbstractItemModel* model = view->model();
        std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int depth) {
            for (int row = 0; row < model->rowCount(parent); ++row) {
                const QModelIndex index = model->index(row, 0, parent);
                const QString text = index.data().toString();
                if (!text.isEmpty())
                    Write(QStringLiteral("ITEM %1 %2 %3").arg(className).arg(depth).arg(text));
                walk(index, depth + 1);
            }
        };
        walk(QModelIndex(), 0);
        return true;
    }

    bool Sync(const QString& name)
    {
        if (m_sync.isEmpty())
            Fail(QStringLiteral("sync '%1' without ROAD_SYNC").arg(name));
        const QString marker = m_sync + u'/' + name;
        if (!QFile::exists(marker)) {
            QFile f(marker);
            if (!f.open(QIODevice::WriteOnly))
                Fail(QStringLiteral("cannot write %1").arg(marker));
            f.write(QByteArray::number(QCoreApplication::applicationPid()));
            Write(QStringLiteral("SYNC %1").arg(name));
        }
        if (!QFile::exists(marker + QStringLiteral(".go")))
            return false;
        m_stepClock.start(); // the script's checks do not count against the step
        return true;
    }

    QFile m_log;
    QString m_onWait;
    QPointer<QAbstractButton> m_waitButton;
    bool m_mainShown = false;
    QString m_sync;
    int m_timeoutMs = 0;
    QList<Step> m_steps;
    qsizetype m_index = 0;
    int m_phase = 0;
    bool m_started = false;
    bool m_inTick = false;
    int m_posted = 0;
    int m_stable = 0;
    std::deque<std::function<void()>> m_queue;
    QPointer<QWidget> m_target;
    QTimer m_timer;
    QElapsedTimer m_quit;
    QElapsedTimer m_stepClock;
    QElapsedTimer m_wait;
};

void StartDriver()
{
    if (qEnvironmentVariableIsEmpty("ROAD_SCRIPT"))
        return;
    // The application object is still being built: the driver starts with its event loop.
    QMetaObject::invokeMethod(
        qApp, [] { new Driver; }, Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)
