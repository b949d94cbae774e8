// A received message: every header the receiver reads, its text and its attachment.
#include "FuzzSupport.h"

#include "ReceivedMail.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CReceivedMail mail;
    mail.SetRawText(std::string(reinterpret_cast<const char*>(data), size));
    static_cast<void>(mail.GetSubject());
    static_cast<void>(mail.GetReplyAddress());
    static_cast<void>(mail.GetContentType());
    static_cast<void>(mail.GetBoundary());
    static_cast<void>(mail.GetInfoText());
    std::string subject = mail.GetHeaderValue("Subject", 1);
    CReceivedMail::DecodeEncodedWord(subject);
    std::string path;
    CReceivedMail::SaveFault fault = CReceivedMail::SaveFault::None;
    static_cast<void>(mail.SaveAttachment(QFile::encodeName(EmptyFolder()).toStdString(), path, &fault));
    return 0;
}
