#include "ImportParties.h"

CImportParties FindImportParties(int from, int to, int forecast, PartyKey key, const QString& senderMissing,
                                 const QString& recipientMissing)
{
    const auto find = key == PartyKey::Id ? &GetForecastReceiver : &GetForecastReceiverByImportedId;
    CImportParties parties;
    parties.sender = find(from, forecast);
    if (!parties.sender)
        parties.missing << senderMissing;
    parties.recipient = find(to, forecast);
    if (!parties.recipient)
        parties.missing << recipientMissing;
    return parties;
}
