#include "TransportSend.h"

#include "ExchangeReader.h"

#include <transport/ITransport.h>

#include <cstdlib>

namespace {

QString StatusText(HRESULT status)
{
    return SendTexts::kFailedStatus.arg(QString::number(quint32(status), 16).toUpper().rightJustified(8, u'0'));
}

} // namespace

QString SendFileThroughTransport(ITransport* transport, const QString& descriptionPath)
{
    if (!transport)
        return StatusText(E_FAIL);
    // The full path as UTF-16, whatever its length.
    const std::u16string path = descriptionPath.toStdU16String();
    char16_t* returned = nullptr;
    const HRESULT status = transport->Send(path.c_str(), &returned);
    const QString resultPath = returned ? QString::fromUtf16(returned) : QString();
    std::free(returned);
    if (status == S_OK)
        return QString();
    // The result file stays where the transport left it.
    const QString response = resultPath.isEmpty() ? QString() : ReadRootChildText(resultPath, "response");
    return response.isEmpty() ? StatusText(status) : response;
}
