// The send operation: reads a send description, zips its data file, mails it and leaves a result
// file that the host reads when the call fails.
#include "MailTransport.h"

#include "Cipher.h"
#include "Codepage.h"
#include "MailFiles.h"
#include "MailSender.h"
#include "MailSettings.h"
#include "MailTexts.h"
#include "ProfileSettings.h"
#include "XmlRead.h"

#include <curl/curl.h>
#include <libxml/tree.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using namespace MailSendTexts;

struct Envelope {
    std::string toName, toEmail, fromName, fromEmail, nameFile, typeData, message, subject;
};

// The root's child elements by name, without regard to case; a later element wins. False when
// the file is not well-formed XML, is no regular file or has a document type declaration.
bool ReadEnvelope(const std::string& path, Envelope& envelope)
{
    CXmlReadResult result;
    xmlDocPtr doc = XmlReadFileTree(path.c_str(), result);
    if (!doc)
        return false;
    static const struct {
        const char* name;
        std::string Envelope::*field;
    } fields[] = {
        {"toName", &Envelope::toName},       {"toEmail", &Envelope::toEmail},   {"fromName", &Envelope::fromName},
        {"fromEmail", &Envelope::fromEmail}, {"nameFile", &Envelope::nameFile}, {"typeData", &Envelope::typeData},
        {"message", &Envelope::message},     {"subject", &Envelope::subject},
    };
    try {
        const xmlNode* root = xmlDocGetRootElement(doc);
        for (xmlNodePtr node = root ? root->children : nullptr; node; node = node->next) {
            if (node->type != XML_ELEMENT_NODE)
                continue;
            for (const auto& f : fields) {
                if (xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(f.name)) != 0)
                    continue;
                xmlChar* text = xmlNodeGetContent(node);
                envelope.*f.field = text ? reinterpret_cast<const char*>(text) : "";
                xmlFree(text);
            }
        }
    } catch (...) {
        // What was read so far stays; the checks name what is missing.
    }
    xmlFreeDoc(doc);
    return true;
}

std::string CheckEnvelope(const Envelope& e)
{
    const std::pair<const std::string*, const char*> checks[] = {
        {&e.toEmail, NoToEmail},   {&e.fromEmail, NoFromEmail}, {&e.toName, NoToName},
        {&e.fromName, NoFromName}, {&e.typeData, NoTypeData},
    };
    std::string error;
    for (const auto& [field, text] : checks)
        if (field->empty())
            error = text; // the last failing check names the problem
    return error;
}

std::string MailBody(const Envelope& e)
{
    if (e.typeData == InfoType && !e.subject.empty())
        return MailFormat(InfoBody, e.fromName.c_str(), e.fromEmail.c_str(), e.toName.c_str(), e.toEmail.c_str(),
                          e.typeData.c_str(), e.subject.c_str(), e.message.c_str());
    return MailFormat(DataBody, e.fromName.c_str(), e.fromEmail.c_str(), e.toName.c_str(), e.toEmail.c_str(),
                      e.typeData.c_str(), e.message.c_str());
}

// The first row that matches the code and the socket's errno (0 matches any) gives the cause.
const char* CurlCause(unsigned code, int osError)
{
    using namespace MailReceiveTexts;
    static constexpr struct {
        CURLcode code;
        int osError;
        const char* cause;
    } causes[] = {
        {CURLE_COULDNT_RESOLVE_HOST, 0, FaultBadHost},
        {CURLE_COULDNT_CONNECT, ECONNREFUSED, FaultRefused},
        {CURLE_COULDNT_CONNECT, ETIMEDOUT, FaultConnectTimedOut},
        {CURLE_COULDNT_CONNECT, ENETUNREACH, FaultUnreachable},
        {CURLE_COULDNT_CONNECT, EHOSTUNREACH, FaultUnreachable},
        {CURLE_COULDNT_CONNECT, 0, FaultNoConnection},
        {CURLE_OPERATION_TIMEDOUT, ETIMEDOUT, FaultConnectTimedOut},
        {CURLE_OPERATION_TIMEDOUT, 0, FaultTimedOut},
        {CURLE_SEND_ERROR, 0, FaultReset},
        {CURLE_RECV_ERROR, 0, FaultReset},
        {CURLE_GOT_NOTHING, 0, FaultClosed},
        {CURLE_WEIRD_SERVER_REPLY, 0, FaultNotSmtp},
        {CURLE_URL_MALFORMAT, 0, FaultBadAddress},
        {CURLE_LOGIN_DENIED, 0, RefusedLogin},
        {CURLE_READ_ERROR, 0, FaultAttachment},
        {CURLE_OUT_OF_MEMORY, 0, FaultMemory},
    };
    for (const auto& row : causes)
        if (unsigned(row.code) == code && (row.osError == 0 || row.osError == osError))
            return row.cause;
    return nullptr;
}

// What the server refused, by the command its refusal answered.
const char* RefusedCommand(const std::string& command)
{
    static constexpr struct {
        const char* verb;
        const char* cause;
    } refusals[] = {
        {"AUTH", RefusedLogin},
        {"MAIL", RefusedSender},
        {"RCPT", RefusedRecipient},
        {"DATA", RefusedMail},
    };
    for (const auto& row : refusals)
        if (command == row.verb)
            return row.cause;
    return RefusedOther;
}

// Why the mail did not go, in the user's words: the server, the port and the cause.
std::string SendFaultText(const CCurlError& error, const std::string& server, long port)
{
    std::string cause;
    // A reply of 4xx or 5xx is the server's own refusal, whatever curl calls it.
    if (error.reply.size() >= 3 && (error.reply[0] == '4' || error.reply[0] == '5'))
        cause = MailFormat(Refused, RefusedCommand(error.command), error.reply.c_str());
    else if (const char* known = CurlCause(error.code, error.osError))
        cause = known;
    else
        cause = MailFormat(FaultOther, error.code);
    std::string name = server;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    std::string text = MailFormat(SendFault, name.c_str(), port ? port : 25, cause.c_str());
    if (!text.ends_with('.'))
        text += '.';
    return text;
}

// The SMTP server's time to answer in seconds: LIR_SMTP_TIMEOUT when it holds one, else 30.
long SmtpTimeout()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("LIR_SMTP_TIMEOUT", &ok);
    return ok && seconds > 0 ? seconds : 30;
}

// Composes and sends the mail; the step log tells how far it got. Empty when the mail went out.
std::string MailEnvelope(const QSettings& settings, const Envelope& e, const std::string& zipPath)
{
    std::string log;
    std::string server;
    long port = 0;
    try {
        log = Steps[0];
        auto read = [&settings](const char* name) { return CMailTransport::ReadRegString(settings, name); };
        const QByteArray password = settings.value(QString::fromLatin1(MailKeys::SMTPPassword)).toByteArray();
        CCdoMailSender sender;
        server = read(MailKeys::SMTPServer);
        port = long(DecimalValue(QString::fromStdString(read(MailKeys::SMTPPort))));
        sender.SetServer(server);
        sender.SetPort(port);
        sender.SetTimeout(SmtpTimeout());
        sender.SetPassword(DecipherPassword(password).toStdString());
        const std::string login = read(MailKeys::SMTPLogin);
        sender.SetLogin(login);
        // The dialog's "check the user" box decides whether the login is offered at all.
        sender.SetUseLogin(read(MailKeys::SMTPCheckLogin) == "1" && !login.empty());
        log += Steps[1];
        log += Steps[2];
        sender.AddFrom(e.fromEmail, e.fromName);
        log += Steps[3];
        log += Steps[4];
        sender.AddTo(e.toEmail, e.toName);
        log += Steps[5];
        const std::string subject =
            e.typeData == InfoType ? std::string(InfoSubject) : MailFormat("%s%s", DataSubject, e.typeData.c_str());
        const std::string body = MailBody(e);
        log += Steps[6];
        sender.SetSubject(subject);
        log += Steps[7];
        log += Steps[8];
        sender.SetBody(body);
        log += Steps[9];
        log += Steps[10];
        if (!zipPath.empty())
            sender.AddAttachment(zipPath, e.typeData + ".zip");
        log += Steps[11];
        log += Steps[12];
        sender.Send();
        log += Steps[13];
        return {};
    } catch (const CCurlError& error) {
        log += SendFaultText(error, server, port) + "\n";
    } catch (const std::exception& error) {
        log += std::string(error.what()).substr(0, 4096) + "\n";
    } catch (...) {
        log += UnknownFailure;
    }
    return MailFailed + log;
}

// Only characters XML 1.0 can carry; invalid UTF-8 (a server's reply) becomes U+FFFD.
std::string XmlText(const std::string& utf8)
{
    std::u16string text = Utf8ToUtf16(utf8);
    std::erase_if(text, [](char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c >= 0xFFFE; });
    return Utf16ToUtf8(text);
}

bool WriteAll(const std::string& path, const char* bytes, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    while (ok && size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n > 0) {
            bytes += n;
            size -= std::size_t(n);
        } else if (n < 0 && errno != EINTR) {
            ok = false;
        }
    }
    return ::close(fd) == 0 && ok;
}

// The result file's path, empty when none could be written (nothing is left behind then).
std::string WriteResultFile(const std::string& error)
{
    const std::string response = XmlText(error.empty() ? std::string(Success) : ErrorPrefix + error);
    const std::string path = MakeUniqueFileName(GetTempFolder(), ResultPrefix, "xml");
    if (path.empty())
        return {};
    bool written = false;
    if (xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"))) {
        xmlNodePtr root = xmlNewNode(nullptr, reinterpret_cast<const xmlChar*>("mailrune_result"));
        if (root) {
            xmlDocSetRootElement(doc, root);
            // A text child is escaped: "&" in a path or a server's reply stays text.
            if (xmlNewTextChild(root, nullptr, reinterpret_cast<const xmlChar*>("response"),
                                reinterpret_cast<const xmlChar*>(response.c_str()))) {
                xmlChar* bytes = nullptr;
                int size = 0;
                xmlDocDumpFormatMemoryEnc(doc, &bytes, &size, "UTF-8", 1);
                written = bytes && size > 0 && WriteAll(path, reinterpret_cast<const char*>(bytes), std::size_t(size));
                xmlFree(bytes);
            }
        }
        xmlFreeDoc(doc);
    }
    if (!written) {
        ::unlink(path.c_str());
        return {};
    }
    return path;
}

HRESULT Fail(const std::string& error, char16_t** resultPath)
{
    CMailTransport::WriteResult(error, resultPath);
    return E_FAIL;
}

HRESULT SendDescription(const std::string& path, char16_t** resultPath)
{
    if (!FileExists(path))
        return Fail(NoDescription + path, resultPath);
    Envelope e;
    if (!ReadEnvelope(path, e))
        return Fail(BadDescription, resultPath);
    if (const std::string error = CheckEnvelope(e); !error.empty())
        return Fail(error, resultPath);
    if (!e.nameFile.empty() && !XmlIsWellFormedFile(e.nameFile.c_str()))
        return Fail(BadDataFile, resultPath);

    // The archive is made in a folder of its own, under the name the mail shows, and goes with it.
    std::optional<CPrivateFolder> zipFolder;
    std::string zipPath;
    if (!e.nameFile.empty()) {
        const std::string temp = GetTempFolder();
        zipFolder.emplace(FolderExists(temp) ? temp : GetHostFolder());
        if (zipFolder->path().empty())
            return Fail(ZipFailed, resultPath);
        zipPath = zipFolder->path() + ZipNameOf(e.nameFile);
        if (!ZipDataFile(e.nameFile, zipPath))
            return Fail(ZipFailed, resultPath);
    }

    if (!MailSettingsExist())
        return E_FAIL; // never configured: nothing to report to
    CProfileSettings settings;
    settings.beginGroup(QString::fromLatin1(MailKeys::Group));

    const std::string error = MailEnvelope(settings, e, zipPath);
    zipFolder.reset();
    if (!error.empty())
        return Fail(error, resultPath);
    CMailTransport::WriteResult({}, resultPath);
    return S_OK;
}

} // namespace

std::string CMailTransport::ReadRegString(const QSettings& key, const char* name)
{
    const QVariant value = key.value(QString::fromLatin1(name));
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        return CodepageToUtf8(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }
    return value.toString().toStdString();
}

void CMailTransport::WriteResult(const std::string& error, char16_t** resultPath)
{
    const std::string path = WriteResultFile(error);
    if (resultPath)
        *resultPath = path.empty() ? nullptr : DupHostString(Utf8ToUtf16(path).c_str());
}

HRESULT CMailTransport::Send(const char16_t* descriptionPath, char16_t** resultPath)
{
    try {
        return SendDescription(descriptionPath ? Utf16ToUtf8(descriptionPath) : std::string(), resultPath);
    } catch (...) {
        return E_FAIL; // nothing crosses the boundary
    }
}
