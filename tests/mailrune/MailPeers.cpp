#include "MailPeers.h"

#include <QJsonDocument>

namespace {

// Another python3 on PATH may not see Debian's packages.
const QString kPython = QStringLiteral("/usr/bin/python3");

} // namespace

bool HavePythonEmail()
{
    const QString check = QStringLiteral("import sys, email.policy, zipfile; sys.exit(sys.version_info < (3, 11))");
    return RunPeer(kPython, {QStringLiteral("-c"), check}).exitCode == 0;
}

QJsonObject CheckMail(const QString& mail, const QString& folder)
{
    const PeerRun run = RunPeer(kPython, {QStringLiteral(LIR_TEST_SOURCE_DIR "/mail_check.py"), mail, folder});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return QJsonDocument::fromJson(run.output.toUtf8()).object();
}

QStringList UnexpectedDefects(const QJsonObject& mail)
{
    QStringList defects = mail["defects"].toVariant().toStringList();
    for (const QString& d : mail["header_defects"].toVariant().toStringList())
        if (!d.endsWith(QStringLiteral(": encoded word inside quoted string"))
            && !d.endsWith(QStringLiteral(": missing trailing whitespace after encoded-word")))
            defects << d;
    return defects;
}

QString PartText(const QJsonObject& mail, const QString& type)
{
    for (const auto& part : mail["parts"].toArray())
        if (part.toObject()["type"].toString() == type)
            return part.toObject()["text"].toString();
    return {};
}

std::optional<SmtpSink> SmtpSink::FromEnvironment(const char* prefix)
{
    auto get = [prefix](const char* name) { return qEnvironmentVariable((QByteArray(prefix) + name).constData()); };
    SmtpSink sink{get("PORT").toInt(), get("DIR"), get("USER")};
    if (sink.port <= 0 || sink.folder.isEmpty())
        return std::nullopt;
    return sink;
}

QList<QJsonObject> SmtpSink::MessagesTo(const QString& recipient) const
{
    QList<QJsonObject> found;
    for (const QByteArray& line : ReadFile(folder + QStringLiteral("/log.jsonl")).split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry["rcpt_tos"].toArray().contains(recipient))
            found.append(entry);
    }
    return found;
}
