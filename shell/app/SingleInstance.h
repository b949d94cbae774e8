// One local socket per running copy of the program, so that a new copy finds a running one and can
// ask it to come to the front. The first copy listens under the base name, further copies under
// the base name followed by their process id; all in the user's runtime folder. In the shared
// temporary folder the base name carries the user id.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(QObject* parent = nullptr);
    ~CSingleInstance() override;

    // "Forecast" followed by the program's fixed GUID.
    static QString BaseName();
    // $XDG_RUNTIME_DIR when it exists, else the temporary folder.
    static QString SocketFolder();
    // The first copy's socket name in that folder: the base name, followed by "-<user id>" in the
    // temporary folder.
    static QString SocketName();

    // The socket of a running copy, or an empty text when none answers.
    static QString FindRunning();
    // Asks the copy behind the socket to come to the front; false when it did not take the request.
    static bool Activate(const QString& socketPath);

    // Starts listening; false when no socket could be made.
    bool Register();
    QString socketPath() const;

signals:
    void activationRequested();

private:
    void OnConnection();

    QLocalServer* m_server = nullptr;
};
