// One outgoing mail. Its bytes are built here (cp1251 text, one encoded word per header text,
// base64 attachments) and handed to libcurl's SMTP client; curl's MIME API writes boundaries
// unquoted, which the receiving side cannot read. No Qt: texts cross this interface as UTF-8.
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <vector>

// A failed transfer: curl's code, curl's text for it and the error buffer, with what tells the
// user why: the socket's errno, the server's last reply and the command it answered.
struct CCurlError {
    unsigned code = 0;
    std::string message;
    std::string description;
    int osError = 0;     // ETIMEDOUT too when the time ran out before the connection stood
    std::string command; // the verb of the last command sent ("MAIL", "RCPT", ...), never its arguments
    std::string reply;   // the server's last reply on one printable line
};

// What differs between two mails built from the same fields.
struct CMailStamp {
    std::string date;          // RFC 5322, local time
    std::string messageId;     // with its angle brackets
    std::string mixedBoundary; // must not begin with the alternative one, nor it with this
    std::string alternativeBoundary;
};

// Random boundaries and id, the current local time; the id's domain is the sender's.
CMailStamp NewMailStamp(const std::string& fromAddress);
std::string MailDate(std::time_t when);

// curl_global_init, once per process; call it before a second thread may use curl.
void MailCurlGlobalInit();

class CCdoMailSender {
public:
    void SetServer(const std::string& server) { m_server = server; }
    // 0 means the SMTP default, 25.
    void SetPort(long port) { m_port = port; }
    void SetLogin(const std::string& login) { m_login = login; }
    void SetPassword(const std::string& password) { m_password = password; }
    // With it set, the login and password go to a server that offers AUTH.
    void SetUseLogin(bool use) { m_useLogin = use; }
    // How long the server may take to connect and greet, and to answer later on.
    void SetTimeout(long seconds) { m_timeout = seconds; }

    // From and To hold one entry each: a second call replaces the first. Only the addresses reach
    // the mail; the To address text may list several addresses separated by "," or ";".
    void AddFrom(const std::string& address, const std::string& name);
    void AddTo(const std::string& address, const std::string& name);
    // The mail carries the file under its own name; a path given twice keeps the later name.
    void AddAttachment(const std::string& path, const std::string& name);
    void SetSubject(const std::string& subject) { m_subject = subject; }
    void SetBody(const std::string& body) { m_body = body; }

    // The mail's bytes: CRLF line ends, no line over 998 octets. Throws CCurlError when an
    // attachment cannot be read.
    std::string Compose(const CMailStamp& stamp) const;
    // Composes and sends the mail; throws CCurlError when that fails. Returns 0.
    int Send() const;

    // The addresses of a To text, split at "," and ";", trimmed, control characters removed.
    static std::vector<std::string> SplitAddresses(const std::string& text);

private:
    std::string FromAddress() const;
    std::string ToText() const;

    std::map<std::string, std::string> m_from;
    std::map<std::string, std::string> m_to;
    std::map<std::string, std::string> m_attachments;
    std::string m_subject;
    std::string m_body;
    long m_port = 0;
    long m_timeout = 30;
    bool m_useLogin = false;
    std::string m_server;
    std::string m_login;
    std::string m_password;
};
