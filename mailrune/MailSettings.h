// The plug-in's settings: the group Transport/MAILRUNE of the user's profile. The settings dialog
// writes them; the sender, the receive loop and IsReceiveEnabled read them.
#pragma once

#include <QString>

namespace MailKeys {

inline constexpr char Group[] = "Transport/MAILRUNE";
inline constexpr char SMTPServer[] = "SMTPServer";
inline constexpr char SMTPPort[] = "SMTPPort";
inline constexpr char SMTPLogin[] = "SMTPLogin";
inline constexpr char SMTPPassword[] = "SMTPPassword";
inline constexpr char SMTPCheckLogin[] = "SMTPCheckLogin";
inline constexpr char SMTPKeepPassword[] = "SMTPKeepPassword";
inline constexpr char POP3Password[] = "POP3Password";
inline constexpr char EnableReceive[] = "EnableReceive";
inline constexpr char POP3Login[] = "POP3Login";
inline constexpr char POP3Server[] = "POP3Server";
inline constexpr char ReceiveTime[] = "ReceiveTime";

} // namespace MailKeys

// Text values are strings, the passwords enciphered byte arrays, the flags "1" or "0".
struct CMailSettings {
    QString smtpServer;
    QString smtpPort;
    QString smtpLogin;
    QString smtpPassword;
    int smtpCheckLogin = 0;
    int smtpKeepPassword = 0;
    QString pop3Password;
    int enableReceive = 0;
    QString pop3Login;
    QString pop3Server;
    QString receiveTime;

    static constexpr int DefaultSmtpPort = 25;

    // Reads the values that are present; a missing one, or a number beyond int, keeps what the
    // object holds.
    void Load();
    // The port as a number: 0 when missing, the default when the text is no port (out of range).
    int SmtpPortNumber() const;
    // Writes all eleven values in their fixed order. The port is always "25": nothing edits it.
    void Save() const;
};

// A leading decimal number, as the old readers took it: "12abc" is 12, text without one is 0.
// Saturates far outside the int range instead of overflowing.
long long DecimalValue(const QString& text);

// True when the settings group holds any value.
bool MailSettingsExist();

// 1 when receiving is switched on: a string value of at most 3 bytes whose first character is '1'.
int ReadReceiveEnabled();
