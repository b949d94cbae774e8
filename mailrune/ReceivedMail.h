// One received message as the POP3 server sent it, and what the receive loop asks of it: header
// values, the text of an information message, the attachment of a data message. The parsing is
// line-based and narrow: it reads the mails the send operation writes (a multipart/mixed message
// whose attachment carries a quoted file name, base64 bodies, header texts in one windows-1251
// encoded word). No Qt, no scratch file: the mail's bytes stay in memory and texts leave as UTF-8.
#pragma once

#include <transport/ITransport.h>

#include <optional>
#include <string>

class CReceivedMail {
public:
    // The message after the status line: headers, an empty line, the body; CRLF line ends, the
    // last line without one.
    void SetRawText(std::string text) { m_rawText = std::move(text); }
    void Clear() { m_rawText.reset(); }
    bool HasText() const { return m_rawText.has_value(); }
    const std::string& RawText() const;

    // The text up to the first empty line; all of it when there is none.
    std::string GetHeaderBlock() const;
    // Just after the first empty line; null when there is no text or no empty line.
    const char* GetBody() const;

    // A header's value (index 0 = first occurrence): unfolded, trimmed, an encoded word decoded,
    // as UTF-8 (the bytes are read as windows-1251). Empty when the header is absent. The name
    // matches without regard to ASCII case, at the start of a line, with the colon right after it.
    std::string GetHeaderValue(const std::string& name, int index = 0) const;
    std::string GetSubject() const { return GetHeaderValue("Subject"); }
    std::string GetFrom() const { return GetHeaderValue("From"); }
    // The first non-empty of Reply-To, From, Sender and Return-Path.
    std::string GetReplyAddress() const;
    // The Content-Type value up to its first ";".
    std::string GetContentType() const;
    // What stands between the first two double quotes of the Content-Type value.
    std::string GetBoundary() const;

    // The first part's text with LF line ends, as UTF-8; "Error" for a multipart/mixed message.
    std::string GetInfoText() const;

    // Why SaveAttachment wrote nothing.
    enum class SaveFault { None, NoFolder, NoAttachment, BadName, WriteFailed };
    // A clear Russian text of the fault, for the log.
    static const char* Describe(SaveFault fault);

    // Writes the first attachment with a usable name into `folder`, whole or not at all, and
    // sets `path` to the file (UTF-8, "/" separators). Only the name's last component counts, so
    // nothing is written outside the folder; a name already taken there gets a number
    // ("name(1).zip"), so no file is replaced. A message that is not multipart/mixed has no
    // attachment to look for: S_OK, nothing written, `path` is the folder with a "/" at its end.
    // E_FAIL when nothing was written otherwise, `fault` (when given) telling why: no folder, no
    // attachment, a name of "", "." or ".." or with control characters, or a file that cannot be
    // written.
    HRESULT SaveAttachment(const std::string& folder, std::string& path, SaveFault* fault = nullptr) const;

    // Decodes a text that begins with "=?windows-1251?B?" up to the closing "?=" into its
    // windows-1251 bytes; what follows the closing mark is kept. Other texts stay as they are.
    static bool DecodeEncodedWord(std::string& text);

private:
    std::string HeaderBytes(const std::string& name, int index) const;
    std::string BoundaryBytes() const;
    std::string ContentTypeBytes() const;

    std::optional<std::string> m_rawText;
};
