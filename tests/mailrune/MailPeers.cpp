#include "MailPeers.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

PeerRun RunPeer(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    PeerRun run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

bool HaveProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool HavePythonEmail()
{
    return RunPeer(kPython, {QStringLiteral("-c"),
                             QStringLiteral("import sys, email.policy, zipfile; sys.exit(sys.version_info < (3, 11))")})
               .exitCode
           == 0;
}

QJsonObject CheckMail(const QString& mail, const QString& folder)
{
    const PeerRun run = RunPeer(kPython, {QStringLiteral(LIR_TEST_SOURCE_DIR "/mail_check.py"), mail, folder});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return QJsonDocument::fromJson(run.output.toUtf8()).object();
}

QStringList UnexpectedDefects(const QJsonObject& mail)
{
    QStringList defects;
    for (const auto& d : mail[QStringLiteral("defects")].toArray())
        defects << d.toString();
    for (const auto& d : mail[QStringLiteral("header_defects")].toArray()) {
        const QString text = d.toString();
        if (!text.endsWith(QStringLiteral(": encoded word inside quoted string"))
            && !text.endsWith(QStringLiteral(": missing trailing whitespace after encoded-word")))
            defects << text;
    }
    return defects;
}

QString PartText(const QJsonObject& mail, const QString& type)
{
    for (const auto& part : mail[QStringLiteral("parts")].toArray())
        if (part[QStringLiteral("type")].toString() == type)
            return part[QStringLiteral("text")].toString();
    return {};
}

std::optional<SmtpSink> SmtpSink::FromEnvironment(const char* prefix)
{
    auto get = [prefix](const char* name) { return qEnvironmentVariable((QByteArray(prefix) + name).constData()); };
    SmtpSink sink{get("PORT").toInt(), get("DIR"), get("USER"), get("PASSWORD")};
    if (sink.port <= 0 || sink.folder.isEmpty())
        return std::nullopt;
    return sink;
}

QList<QJsonObject> SmtpSink::MessagesTo(const QString& recipient) const
{
    QList<QJsonObject> found;
    const QByteArray log = ReadFile(folder + QStringLiteral("/log.jsonl"));
    for (const QByteArray& line : log.split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry.value(QStringLiteral("rcpt_tos")).toArray().contains(recipient))
            found.append(entry);
    }
    return found;
}
