// The receive loop behind CMailTransport::ReceiveLoop: it polls the POP3 mailbox at once and then
// every period, hands each of the system's own mails to the host and deletes it from the server
// once the host has answered that it took it (or that the user declined it). A poll ends at its
// deadline; the log of a poll holds a few short lines a mail, whatever the mails carry.
#pragma once

#include "MailTransport.h"

#include <QString>

// What the plug-in fixes and tests choose.
struct CReceiveOptions {
    int port = 110;
    int periodSeconds = 0; // 0: the stored "ReceiveTime"
    unsigned replyTimeoutMs = 2000;
    int stopEvent = -1; // an event that ends the loop as a failed wait does
    // The pace a reply must keep (CPop3Session::SetReplyPace), and the time one poll may spend with
    // its server, the host's answers not counted.
    unsigned replyBaseMs = 15000;
    unsigned slowestBytesPerSecond = 32 * 1024;
    unsigned pollDeadlineMs = 30 * 60 * 1000;
    // How long a mail cut for time stays set aside before it is tried again, after the mails behind it.
    unsigned setAsideSeconds = 24 * 60 * 60;
};

// The polling period that a stored "ReceiveTime" gives: 1 to 86400 seconds, else 30.
int ReceivePeriodSeconds(const QString& stored);

HRESULT RunReceiveLoop(CMailTransport& transport, CTransportChannel* channel, const CReceiveOptions& options);
