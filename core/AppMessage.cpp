#include "AppMessage.h"

#include "UiThread.h"
#include "db/DbConnection.h"

#include <QCoreApplication>
#include <QHash>
#include <QThread>

#include <cstdio>
#include <utility>

namespace {

MessageBoxHandler& Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

bool g_handlerAnyThread = false;
// Set on the thread that runs the handler, while it runs.
thread_local QString g_caption;

int CallHandler(const MessageBoxHandler& handler, const QString& text, const QString& caption, unsigned flags,
                QObject* parent)
{
    const QString outer = std::exchange(g_caption, caption);
    const int answer = handler(text, flags, parent);
    g_caption = outer;
    return answer;
}

int ScriptedAnswer(const QString& mode, const MessageBoxLayout& layout)
{
    auto has = [&](int id) {
        for (const auto& b : layout.buttons)
            if (b.id == id)
                return true;
        return false;
    };
    if (mode == u"yes" && has(IDYES))
        return IDYES;
    if (mode == u"no" && has(IDNO))
        return IDNO;
    if (mode == u"cancel" && layout.cancelId >= 0)
        return layout.cancelId;
    if (mode == u"no" && layout.cancelId >= 0)
        return layout.cancelId;
    return layout.defaultId;
}

} // namespace

MessageBoxLayout MessageBoxButtonsFor(unsigned flags)
{
    MessageBoxLayout l;
    switch (flags & MB_TYPEMASK) {
    case MB_OK:
        l.buttons = {{IDOK, 10}};
        l.defaultId = IDOK;
        break;
    case MB_OKCANCEL:
        l.buttons = {{IDOK, 10}, {IDCANCEL, 11}};
        l.defaultId = IDOK;
        l.cancelId = IDCANCEL;
        break;
    case MB_ABORTRETRYIGNORE:
        l.buttons = {{IDABORT, 13}, {IDRETRY, 12}, {IDIGNORE, 14}};
        l.defaultId = IDABORT;
        l.cancelId = IDIGNORE;
        break;
    case MB_YESNOCANCEL:
        l.buttons = {{IDYES, 8}, {IDNO, 9}, {IDCANCEL, 11}};
        l.defaultId = IDYES;
        l.cancelId = IDCANCEL;
        break;
    case MB_YESNO:
        l.buttons = {{IDYES, 8}, {IDNO, 9}};
        l.defaultId = IDYES;
        l.cancelId = IDNO;
        break;
    case MB_RETRYCANCEL:
        l.buttons = {{IDRETRY, 12}, {IDCANCEL, 11}};
        l.defaultId = IDRETRY;
        l.cancelId = IDCANCEL;
        break;
    default:
        break;
    }
    return l;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler, bool anyThread)
{
    MessageBoxHandler old = std::move(Handler());
    Handler() = std::move(handler);
    g_handlerAnyThread = anyThread;
    return old;
}

int AppMessageBox(const QString& text, unsigned flags, QObject* parent)
{
    return AppMessageBoxCaption(text, QString(), flags, parent);
}

QString MessageBoxCaption()
{
    return g_caption;
}

int AppMessageBoxCaption(const QString& text, const QString& caption, unsigned flags, QObject* parent)
{
    const QString mode = qEnvironmentVariable("LIR_MSGBOX").trimmed().toLower();
    if (!mode.isEmpty() || !Handler()) {
        std::fprintf(stderr, "MSGBOX %u %s\n", flags, text.toUtf8().constData());
        std::fflush(stderr);
        return ScriptedAnswer(mode, MessageBoxButtonsFor(flags));
    }
    if (g_handlerAnyThread)
        return CallHandler(Handler(), text, caption, flags, parent);
    // Windows belong to the user-interface thread: a message from another thread is shown there,
    // and the caller waits for the answer (or takes the cancel answer when it is asked to stop).
    const MessageBoxLayout layout = MessageBoxButtonsFor(flags);
    int answer = layout.cancelId >= 0 ? layout.cancelId : layout.defaultId;
    const MessageBoxHandler handler = Handler();
    const QCoreApplication* app = QCoreApplication::instance();
    const bool onUiThread = !app || QThread::currentThread() == app->thread();
    RunOnUiThread([&] { answer = CallHandler(handler, text, caption, flags, onUiThread ? parent : nullptr); });
    return answer;
}

int AppMessageBoxId(unsigned stringId, unsigned flags, QObject* parent)
{
    // The string-table buffer holds at most 258 characters.
    return AppMessageBox(LoadStringRes(stringId).left(258), flags, parent);
}

QString LoadStringRes(unsigned id)
{
    static const QHash<unsigned, QString> table = {
        {8, QStringLiteral("Да")},
        {9, QStringLiteral("Нет")},
        {10, QStringLiteral("ОК")},
        {11, QStringLiteral("Отмена")},
        {12, QStringLiteral("Повторить")},
        {13, QStringLiteral("Прекратить")},
        {14, QStringLiteral("Игнорировать")},
        {18, QStringLiteral("Пожалуйста, введите цену.")},
        {19, QStringLiteral("Пожалуйста, введите число.")},
        {57344, QStringLiteral("Прогноз")},
        {57345, QStringLiteral("Готов к работе")},
    };
    return table.value(id);
}

bool MessageBoxScripted()
{
    return !qEnvironmentVariable("LIR_MSGBOX").trimmed().isEmpty();
}

void ShowComError(const DbError& error)
{
    // A message that waits for the user must not hold this thread's transaction open, and its locks
    // with it (the server ends a session idle in a transaction): it comes once the transaction has
    // ended, over a database as it was.
    CDBConnection& db = GetDBConnection();
    if (IsUiThread() && db.isConnected() && db.transactionLevel() > 0) {
        db.AfterTransaction([error] { AppMessageBox(error.text(), MB_ICONHAND); });
        return;
    }
    AppMessageBox(error.text(), MB_ICONHAND);
}
