#include "ImportParties.h"

CImportParties FindImportParties(int from, int to, int forecast, PartyKey key, const QString& senderMissing,
                                 const QString& recipientMissing)
{
    const auto find = key == PartyKey::Id ? &GetForecastReceiver : &GetForecastReceiverByImportedId;
    CImportParties parties;
    // A read that failed was shown: the party is not said to be missing (a lost connection is not an
    // unknown sender).
    bool failed = false;
    parties.sender = WatchedRead(failed, [&] { return find(from, forecast); });
    if (!parties.sender && !failed)
        parties.missing << senderMissing;
    parties.recipient = WatchedRead(failed, [&] { return find(to, forecast); });
    if (!parties.recipient && !failed)
        parties.missing << recipientMissing;
    return parties;
}
