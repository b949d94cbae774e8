// The peers of the mail tests: the SMTP sinks that the test script starts, Python's email
// package and the archive checkers.
#pragma once

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

struct PeerRun {
    int exitCode = -1;
    QString output; // standard output and error
};
PeerRun RunPeer(const QString& program, const QStringList& arguments);
// Debian's interpreter: another python3 on PATH may not see Debian's packages.
inline const QString kPython = QStringLiteral("/usr/bin/python3");
bool HaveProgram(const QString& program);
// Python 3.11 or later, whose zipfile reads cp866 names.
bool HavePythonEmail();

// Python's reading of a stored mail (see mail_check.py); attachments are written into `folder`.
QJsonObject CheckMail(const QString& mail, const QString& folder);
// Python's complaints about a checked mail, but for the two that an encoded word in a quoted file
// name draws: the receiving side reads the name only in that form.
QStringList UnexpectedDefects(const QJsonObject& mail);
// The text of the part of that content type.
QString PartText(const QJsonObject& mail, const QString& type);

// A sink started by the test script: its port and its folder (mail/<n>.eml, log.jsonl).
struct SmtpSink {
    int port = 0;
    QString folder;
    QString user, password; // of the sink that requires AUTH

    // The sink named by the environment variables with this prefix, if it runs.
    static std::optional<SmtpSink> FromEnvironment(const char* prefix);
    // The log entries of the messages sent to `recipient`.
    QList<QJsonObject> MessagesTo(const QString& recipient) const;
};

#define REQUIRE_SINK(sink, prefix)                                                                           \
    const auto sink##Found = SmtpSink::FromEnvironment(prefix);                                              \
    if (!sink##Found)                                                                                        \
        GTEST_SKIP() << "no SMTP sink (" prefix "PORT is not set; scripts/test.sh starts one)";               \
    const SmtpSink& sink = *sink##Found

#define REQUIRE_PYTHON_EMAIL()                                                                               \
    do {                                                                                                     \
        if (!HavePythonEmail())                                                                              \
            GTEST_SKIP() << "/usr/bin/python3 3.11 or later (email, zipfile) is not installed";              \
    } while (0)
