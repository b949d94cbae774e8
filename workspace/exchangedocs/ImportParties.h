// The sender and the recipient that a received document names, as this database knows them in the
// document's forecast, and the messages for those it does not know.
#pragma once

#include "tables/Receivers.h"

#include <QStringList>

#include <optional>

struct CImportParties {
    std::optional<CReceiverRecord> sender;
    std::optional<CReceiverRecord> recipient;
    QStringList missing; // the message of each one not found, the sender's first

    bool found() const { return sender && recipient; }
};

// How a document names the parties: by the ids of this database or by those they were imported under.
enum class PartyKey { Id, ImportedId };

// Both are looked up, so that both messages can be shown; one whose read failed (the failure is
// shown) has no message.
CImportParties FindImportParties(int from, int to, int forecast, PartyKey key, const QString& senderMissing,
                                 const QString& recipientMissing);
