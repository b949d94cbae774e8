// Opening a received document on the user-interface thread: the schema is asked for through the
// modal hook while it is missing, and a refusal is shown with the stop icon; so are the parties of
// an import that the database does not know.
#pragma once

#include "ExchangeReader.h"
#include "ImportParties.h"

class QWidget;

// The open-file dialog "Файл проверки XML" for *.xsd files; empty when cancelled.
QString AskSchemaFile();

// What became of a received file, for the transport host: whether the mail that brought it may go.
enum class ImportOutcome {
    Taken,     // stored, or refused with its message shown: the program is done with it
    Declined,  // the user answered "Нет"
    Undecided, // the question went unanswered (the program is ending), no schema was chosen, or the store failed
};

// What an answer other than "Да" to an import's question makes of the file (nothing decided while the
// program ends: its boxes are closed for it).
ImportOutcome DeclinedOrUndecided(int answer);
// Shows a refusal of the file; nothing while the program is ending (the read was cut short for it).
ImportOutcome ShowRefusal(const QString& message, unsigned icon, QWidget* frame);

// Shows the message of each party not found with the stop icon; whether both were found.
bool ShowMissingParties(const CImportParties& parties, QWidget* frame);
