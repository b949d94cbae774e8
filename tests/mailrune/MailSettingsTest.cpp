#include "MailSettings.h"
#include "Cipher.h"
#include "MailTransport.h"
#include "TestSupport.h"

#include <QFile>
#include <QSettings>

namespace {

QByteArray Hex(const QByteArray& bytes)
{
    return bytes.toHex(' ');
}

} // namespace

TEST(MailCipher, KnownPasswordsGiveTheStoredBytesAndReadBack)
{
    const struct {
        const char16_t* password;
        const char* hex;
    } cases[] = {
        {u"password", "e9 47 98 c1 1a f1 07 a7"},
        {u"secret", "ea 43 88 c0 08 ea"},
        {u"", ""},
    };
    for (const auto& c : cases) {
        const QString password = QString::fromUtf16(c.password);
        const QByteArray stored = EncipherPassword(password);
        EXPECT_EQ(Hex(stored), QByteArray(c.hex)) << password.toStdString();
        EXPECT_EQ(DecipherPassword(stored), password);
        // Every value starts from the beginning of the key stream.
        EXPECT_EQ(EncipherPassword(password), stored);
    }
}

TEST(MailCipher, PasswordsAreCp1251BytesOfAnyLength)
{
    const QString cyrillic = QStringLiteral("пароль");
    const QByteArray stored = EncipherPassword(cyrillic);
    EXPECT_EQ(stored.size(), 6); // one byte a letter, not UTF-8
    EXPECT_EQ(QByteArray::fromStdString(RuneCipher(stored.toStdString())), QByteArray("\xEF\xE0\xF0\xEE\xEB\xFC"));
    EXPECT_EQ(DecipherPassword(stored), cyrillic);

    // Longer than any buffer the old readers had.
    const QString longPassword = QString(3000, u'x') + QStringLiteral("ё");
    const QByteArray longStored = EncipherPassword(longPassword);
    EXPECT_EQ(longStored.size(), 3001);
    EXPECT_EQ(DecipherPassword(longStored), longPassword);
}

TEST(MailSettingsNumbers, DecimalValueTakesTheLeadingNumber)
{
    EXPECT_EQ(DecimalValue("30"), 30);
    EXPECT_EQ(DecimalValue("12abc"), 12);
    EXPECT_EQ(DecimalValue(" 7"), 7);
    EXPECT_EQ(DecimalValue("-5"), -5);
    EXPECT_EQ(DecimalValue("abc"), 0);
    EXPECT_EQ(DecimalValue(""), 0);
    // Very long digit strings stay large instead of wrapping into the valid range.
    EXPECT_GT(DecimalValue("99999999999999999999999999"), 86400);
    EXPECT_GT(DecimalValue("4294967297"), 86400);
}

class MailSettingsTest : public TempHomeTest {
protected:
    void Put(const char* key, const QVariant& value)
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Transport/MAILRUNE/") + key, value);
    }
};

TEST_F(MailSettingsTest, ReceiveIsEnabledOnlyForShortStringsStartingWithOne)
{
    CMailTransport transport;
    EXPECT_EQ(transport.IsReceiveEnabled(), 0); // no profile at all

    const struct {
        QVariant value;
        int expected;
    } cases[] = {
        {QStringLiteral("1"), 1}, {QStringLiteral("1ab"), 1}, {QStringLiteral("1abc"), 0}, {QStringLiteral("0"), 0},
        {QStringLiteral(""), 0},  {QStringLiteral("1яя"), 1}, // three bytes as the value was stored
        {QByteArray("1"), 0},                                 // binary, not a string
    };
    for (const auto& c : cases) {
        Put(MailKeys::EnableReceive, c.value);
        EXPECT_EQ(transport.IsReceiveEnabled(), c.expected) << c.value.toString().toStdString();
    }

    Put(MailKeys::SMTPServer, QStringLiteral("smtp"));
    {
        QSettings ini(profilePath(), QSettings::IniFormat);
        ini.remove(QStringLiteral("Transport/MAILRUNE/EnableReceive"));
    }
    EXPECT_EQ(transport.IsReceiveEnabled(), 0); // missing value in an existing group
}

TEST_F(MailSettingsTest, SaveWritesElevenTypedValuesThatLoadReadsBack)
{
    CMailSettings s;
    s.smtpServer = QStringLiteral("smtp.example.org");
    s.smtpPort = QStringLiteral("2525"); // nothing edits the port: always written as 25
    s.smtpLogin = QStringLiteral("отдел");
    s.smtpPassword = QStringLiteral("password");
    s.smtpCheckLogin = 1;
    s.smtpKeepPassword = 0;
    s.pop3Password = QStringLiteral("secret");
    s.enableReceive = 1;
    s.pop3Login = QStringLiteral("in, box"); // a comma must not turn the value into a list
    s.pop3Server = QStringLiteral("pop.example.org");
    s.receiveTime = QStringLiteral("120");
    s.Save();

    EXPECT_EQ(QFile::permissions(profilePath()) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);

    QSettings ini(profilePath(), QSettings::IniFormat);
    ini.beginGroup(MailKeys::Group);
    EXPECT_EQ(ini.childKeys().size(), 11);
    EXPECT_EQ(ini.value(MailKeys::SMTPPassword).typeId(), QMetaType::QByteArray);
    EXPECT_EQ(Hex(ini.value(MailKeys::SMTPPassword).toByteArray()), "e9 47 98 c1 1a f1 07 a7");
    EXPECT_EQ(Hex(ini.value(MailKeys::POP3Password).toByteArray()), "ea 43 88 c0 08 ea");
    for (const char* key : {MailKeys::SMTPServer, MailKeys::SMTPPort, MailKeys::SMTPLogin, MailKeys::SMTPCheckLogin,
                            MailKeys::SMTPKeepPassword, MailKeys::EnableReceive, MailKeys::POP3Login,
                            MailKeys::POP3Server, MailKeys::ReceiveTime})
        EXPECT_EQ(ini.value(key).typeId(), QMetaType::QString) << key;
    EXPECT_EQ(ini.value(MailKeys::SMTPPort).toString(), "25");
    EXPECT_EQ(ini.value(MailKeys::SMTPCheckLogin).toString(), "1");
    EXPECT_EQ(ini.value(MailKeys::SMTPKeepPassword).toString(), "0");
    EXPECT_EQ(ini.value(MailKeys::POP3Login).toString(), "in, box");

    CMailSettings t;
    t.Load();
    EXPECT_EQ(t.smtpLogin, s.smtpLogin);
    EXPECT_EQ(t.smtpPassword, "password");
    EXPECT_EQ(t.smtpCheckLogin, 1);
    EXPECT_EQ(t.pop3Password, "secret");
    EXPECT_EQ(t.pop3Login, "in, box");
    EXPECT_EQ(t.receiveTime, "120");
}

TEST_F(MailSettingsTest, LoadKeepsFieldsOfMissingValues)
{
    Put(MailKeys::POP3Server, QStringLiteral("pop"));
    Put(MailKeys::SMTPCheckLogin, QStringLiteral("7x"));
    Put(MailKeys::SMTPPassword, QByteArray());

    CMailSettings s;
    s.smtpServer = QStringLiteral("kept");
    s.smtpPassword = QStringLiteral("old");
    s.receiveTime = QStringLiteral("30");
    s.Load();
    EXPECT_EQ(s.smtpServer, "kept");
    EXPECT_EQ(s.receiveTime, "30");
    EXPECT_EQ(s.pop3Server, "pop");
    EXPECT_EQ(s.smtpCheckLogin, 7);
    EXPECT_EQ(s.smtpPassword, ""); // an empty stored password is a password, not a missing one
}

TEST_F(MailSettingsTest, NumbersBeyondTheirRangeFallBackToTheDefault)
{
    const struct {
        const char* text;
        int flag; // as SMTPCheckLogin, default 0
        int port; // as SMTPPort
    } cases[] = {
        {"-99999999999", 0, 25},
        {"99999999999", 0, 25},
        {"4294967297", 0, 25}, // 2^32 + 1 wraps to 1
        {"-2147483649", 0, 25},
        {"70000", 70000, 25},
        {"-1", -1, 25},
        {"2525", 2525, 2525},
        {"1", 1, 1},
        {"", 0, 0}, // no port at all
    };
    for (const auto& c : cases) {
        Put(MailKeys::SMTPCheckLogin, QString::fromLatin1(c.text));
        Put(MailKeys::SMTPPort, QString::fromLatin1(c.text));
        CMailSettings s;
        s.Load();
        EXPECT_EQ(s.smtpCheckLogin, c.flag) << c.text;
        EXPECT_EQ(s.SmtpPortNumber(), c.port) << c.text;
    }
}
