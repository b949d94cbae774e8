// Helpers of the shell tests: a modal hook that answers dialogs without running them, forecasts and
// receivers written straight into the test database.
#pragma once

#include "DbTest.h"
#include "ModalHook.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <deque>
#include <functional>

class ScriptedModalHook : public CModalHook {
public:
    ScriptedModalHook() { m_previous = SetModalHook(this); }
    ~ScriptedModalHook() override { SetModalHook(m_previous); }

    // Called with each dialog before it "closes"; its answer is the dialog's result.
    std::function<int(QDialog&)> onDialog = [](QDialog&) { return int(QDialog::Accepted); };
    std::deque<QString> openFileNames;
    QStringList dialogs; // object names of the dialogs run, in order

    int execDialog(QDialog& dialog) override
    {
        dialogs << dialog.objectName();
        const int result = onDialog(dialog);
        dialog.setResult(result);
        return result;
    }
    QString getOpenFileName(QWidget*, const QString&, const QString& dir, const QString& filter) override
    {
        lastDir = dir;
        lastFilter = filter;
        if (openFileNames.empty())
            return QString();
        QString name = openFileNames.front();
        openFileNames.pop_front();
        return name;
    }
    QString lastDir;
    QString lastFilter;

private:
    CModalHook* m_previous = nullptr;
};

// Points $XDG_RUNTIME_DIR (where the running copies keep their sockets) at a private folder.
class ScopedRuntimeDir {
public:
    explicit ScopedRuntimeDir(const QString& path)
        : m_had(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        , m_saved(qgetenv("XDG_RUNTIME_DIR"))
    {
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", path.toUtf8());
    }
    ~ScopedRuntimeDir()
    {
        if (m_had)
            qputenv("XDG_RUNTIME_DIR", m_saved);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }

private:
    bool m_had;
    QByteArray m_saved;
};

class ShellDbTest : public DbTest {
protected:
    void Forecast(int id, const QString& name, int year, int status = 0, int owner = -20,
                  const QString& ownerName = QStringLiteral(""))
    {
        Exec("insert into tfctprognoz (id, name, year, status, owner, ownername) values (?, ?, ?, ?, ?, ?)",
             {id, name, year, status, owner, ownerName});
    }
    // A receiver mapped into the forecast.
    void Receiver(int id, int category, const QString& name, int importedId, int isgroup, int forecast)
    {
        Exec("insert into tclsreceiver (id, category, name, position, importedId, type, isgroup) "
             "values (?, ?, ?, 0, ?, 0, ?)",
             {id, category, name, importedId, isgroup});
        Exec("insert into tclsreceivermap (prognoz, receiver, subReceiverCount) values (?, ?, 0)", {forecast, id});
    }
};
