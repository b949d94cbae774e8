// The files of the generated exchange (ExchangeGenerator.h) as the transport host hands them over: the
// upper organisation's reference data written from its database, the lower one's consolidated
// forecast exported with the file transport, and the hand-over into the connected database with
// every question answered yes.
#pragma once

#include "Session.h"

#include <QString>
#include <QStringList>

// A's reference data of the forecast, as A sends them to B, from the connected database into path.
// False when they cannot be read or written.
bool WriteUpperNsi(int forecast, const QString& path);
// B's consolidated forecast from the connected database, written by the file transport into the
// folder; its path, empty when the export failed.
QString ExportLowerForecast(int forecast, const QString& folder);
// A fresh copy of the template database as `folder`/LIR.db, connected, with the import event types
// seeded as every start of the program does, and the folder's "docs/" emptied. False when it cannot
// be copied or opened.
bool ConnectFreshDatabase(const QString& templatePath, const QString& folder);
// From here on every question is answered yes and every notice closed; the stop messages of a hand-over
// are kept as its refusals.
void AnswerEveryQuestionYes();
// The host's hand-over of a received reference-data (nsi) or forecast file on the user-interface
// thread: the refusals, none when the file was stored.
QStringList HandOver(CSessionState& session, bool nsi, const QString& path);
