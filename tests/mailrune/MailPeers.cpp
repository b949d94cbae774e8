#include "MailPeers.h"

#include <QJsonDocument>

namespace {

// Another python3 on PATH may not see Debian's packages.
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kPop3Script = QStringLiteral(LIR_SCRIPTS_DIR "/pop3-server.sh");

PeerRun Pop3Script(const QStringList& arguments)
{
    return RunPeer(QStringLiteral("bash"), QStringList{kPop3Script} + arguments);
}

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

std::optional<Pop3Server> Pop3Server::FromEnvironment()
{
    Pop3Server server;
    server.port = qEnvironmentVariableIntValue("POP3TEST_PORT");
    server.folder = qEnvironmentVariable("POP3TEST_DIR");
    if (server.port <= 0 || server.folder.isEmpty())
        return std::nullopt;
    return server;
}

std::optional<Pop3Server> Pop3Server::StartOwn(const QString& folder, QString* why)
{
    const PeerRun run = Pop3Script({QStringLiteral("start"), folder});
    if (run.exitCode != 0) {
        if (why)
            *why = run.output;
        return std::nullopt;
    }
    Pop3Server server;
    server.folder = folder;
    server.port = ReadFile(folder + QStringLiteral("/port")).trimmed().toInt();
    return server;
}

bool Pop3Server::Stop() const
{
    return Pop3Script({QStringLiteral("stop"), folder}).exitCode == 0;
}

bool Pop3Server::Restart() const
{
    return Pop3Script({QStringLiteral("start"), folder}).exitCode == 0;
}

QString Pop3Server::AddUser(const QString& user, const QString& password) const
{
    const PeerRun run = Pop3Script({QStringLiteral("user"), folder, user, password});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    return run.output.trimmed();
}

QString Pop3Server::Log() const
{
    return QString::fromUtf8(ReadFile(folder + QStringLiteral("/dovecot.log")));
}

void DeliverToMaildir(const QString& maildir, const QByteArray& message)
{
    ASSERT_TRUE(DeliverToMaildir(maildir.toStdString(), message.toStdString())) << maildir.toStdString();
}

int MaildirCount(const QString& maildir)
{
    return MaildirCount(maildir.toStdString());
}

FakePop3::FakePop3(const char* scenario)
{
    m_process.start(kPython, {QStringLiteral(LIR_TEST_SOURCE_DIR "/pop3_fake.py"), QString::fromLatin1(scenario)});
    if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000))
        port = m_process.readLine().trimmed().toInt();
}

FakePop3::~FakePop3()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}
