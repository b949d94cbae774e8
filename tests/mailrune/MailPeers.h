// The peers of the mail tests: the SMTP sinks and the dovecot POP3 server that the test script
// starts, Python's email package (mail_check.py) and the programs that check archives and XML.
#pragma once

#include "Maildir.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <optional>

// Debian's python3 3.11 or later, whose zipfile reads cp866 names.
bool HavePythonEmail();

// Python's reading of a mail file (see mail_check.py); attachments are written into `folder`.
QJsonObject CheckMail(const QString& mail, const QString& folder);
// Python's complaints, but for the two that an encoded word in a quoted file name draws: the
// receiving side reads the name only in that form.
QStringList UnexpectedDefects(const QJsonObject& mail);
QString PartText(const QJsonObject& mail, const QString& type);

// A sink started by the test script, named by environment variables with a prefix.
struct SmtpSink {
    int port = 0;
    QString folder; // mail/<n>.eml and log.jsonl
    QString user;   // of the sink that requires AUTH

    static std::optional<SmtpSink> FromEnvironment(const char* prefix);
    // The log entries of the messages sent to `recipient`.
    QList<QJsonObject> MessagesTo(const QString& recipient) const;
};

// A dovecot POP3 server of scripts/pop3-server.sh: the one the test script starts, or one of a
// test's own when the test stops and restarts it.
class Pop3Server {
public:
    // POP3TEST_DIR and POP3TEST_PORT.
    static std::optional<Pop3Server> FromEnvironment();
    // Starts a server in `folder`; empty when dovecot-pop3d cannot run here (the reason is in
    // `why`).
    static std::optional<Pop3Server> StartOwn(const QString& folder, QString* why = nullptr);

    bool Stop() const;
    bool Restart() const;
    // A mailbox of its own, emptied when it was there; the path of its Maildir.
    QString AddUser(const QString& user, const QString& password) const;
    // The server's log: its lines on logins and log-outs.
    QString Log() const;

    int port = 0;
    QString folder;
};

// Delivers into a Maildir (see Maildir.h); fails the test when that does not work.
void DeliverToMaildir(const QString& maildir, const QByteArray& message);
int MaildirCount(const QString& maildir);

// pop3_fake.py running one scenario; port 0 when it did not start.
class FakePop3 {
public:
    explicit FakePop3(const char* scenario);
    ~FakePop3();
    FakePop3(const FakePop3&) = delete;
    FakePop3& operator=(const FakePop3&) = delete;

    int port = 0;

private:
    QProcess m_process;
};
