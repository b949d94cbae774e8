// The peers of the mail tests: the SMTP sinks that the test script starts, Python's email
// package (mail_check.py) and the programs that check archives and XML.
#pragma once

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
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
