// The host's side of a plug-in's send operation.
#pragma once

#include <QString>

#include <vector>

class ITransport;

// One file of a send: the name shown for it and the full path of its send description.
struct CStringPair {
    QString name;
    QString path;
};
using CStringPairList = std::vector<CStringPair>;

namespace SendTexts {
// %1 the status in hexadecimal.
inline const QString kFailedStatus = QStringLiteral("Модуль транспорта вернул код ошибки 0x%1.");
} // namespace SendTexts

// Hands one send description to the transport. Answers the error text: empty when the transport
// reports success; otherwise the "response" of its result file, or a text naming the status when
// the file gives none.
QString SendFileThroughTransport(ITransport* transport, const QString& descriptionPath);
