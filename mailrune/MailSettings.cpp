#include "MailSettings.h"

#include "Cipher.h"
#include "MailQtText.h"
#include "ProfileSettings.h"

#include <limits>

namespace {

QString Key(const char* name)
{
    return QString::fromLatin1(name);
}

void ReadText(const QSettings& s, const char* name, QString& field)
{
    const QVariant v = s.value(Key(name));
    if (v.isValid())
        field = v.toString();
}

void ReadNumber(const QSettings& s, const char* name, int& field)
{
    const QVariant v = s.value(Key(name));
    if (!v.isValid())
        return;
    // A number beyond int keeps the field's default rather than becoming some other number.
    const long long n = DecimalValue(v.toString());
    if (n >= std::numeric_limits<int>::min() && n <= std::numeric_limits<int>::max())
        field = int(n);
}

void ReadPassword(const QSettings& s, const char* name, QString& field)
{
    const QVariant v = s.value(Key(name));
    if (v.isValid())
        field = DecipherPassword(v.toByteArray());
}

QString Flag(int value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

void CMailSettings::Load()
{
    CProfileSettings s;
    s.beginGroup(Key(MailKeys::Group));
    ReadPassword(s, MailKeys::SMTPPassword, smtpPassword);
    ReadPassword(s, MailKeys::POP3Password, pop3Password);
    ReadText(s, MailKeys::SMTPLogin, smtpLogin);
    ReadText(s, MailKeys::SMTPServer, smtpServer);
    ReadText(s, MailKeys::SMTPPort, smtpPort);
    ReadNumber(s, MailKeys::SMTPCheckLogin, smtpCheckLogin);
    ReadNumber(s, MailKeys::SMTPKeepPassword, smtpKeepPassword);
    ReadText(s, MailKeys::POP3Login, pop3Login);
    ReadText(s, MailKeys::POP3Server, pop3Server);
    ReadText(s, MailKeys::ReceiveTime, receiveTime);
    ReadNumber(s, MailKeys::EnableReceive, enableReceive);
}

void CMailSettings::Save() const
{
    CProfileSettings s;
    s.beginGroup(Key(MailKeys::Group));
    s.setValue(Key(MailKeys::SMTPPassword), EncipherPassword(smtpPassword));
    s.setValue(Key(MailKeys::SMTPLogin), smtpLogin);
    s.setValue(Key(MailKeys::SMTPServer), smtpServer);
    s.setValue(Key(MailKeys::SMTPPort), QString::number(DefaultSmtpPort));
    s.setValue(Key(MailKeys::SMTPCheckLogin), Flag(smtpCheckLogin));
    s.setValue(Key(MailKeys::SMTPKeepPassword), Flag(smtpKeepPassword));
    s.setValue(Key(MailKeys::POP3Password), EncipherPassword(pop3Password));
    s.setValue(Key(MailKeys::EnableReceive), Flag(enableReceive));
    s.setValue(Key(MailKeys::POP3Login), pop3Login);
    s.setValue(Key(MailKeys::POP3Server), pop3Server);
    s.setValue(Key(MailKeys::ReceiveTime), receiveTime);
}

int CMailSettings::SmtpPortNumber() const
{
    const long long port = DecimalValue(smtpPort);
    return port >= 0 && port <= 65535 ? int(port) : DefaultSmtpPort;
}

long long DecimalValue(const QString& text)
{
    // Far beyond int, so that a saturated value never passes for one.
    constexpr long long limit = 1'000'000'000'000LL;
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = qMin(limit + 1, value * 10 + (text[i].unicode() - u'0'));
    return negative ? -value : value;
}

bool MailSettingsExist()
{
    CProfileSettings s;
    s.beginGroup(Key(MailKeys::Group));
    return !s.childKeys().isEmpty();
}

int ReadReceiveEnabled()
{
    CProfileSettings s;
    s.beginGroup(Key(MailKeys::Group));
    const QVariant v = s.value(Key(MailKeys::EnableReceive));
    if (v.typeId() != QMetaType::QString)
        return 0;
    const QString text = v.toString();
    // The value was read into a 3-byte buffer: longer data did not fit and read as nothing.
    const std::string bytes = ToCp1251(text);
    return !bytes.empty() && bytes.size() <= 3 && bytes[0] == '1' ? 1 : 0;
}
