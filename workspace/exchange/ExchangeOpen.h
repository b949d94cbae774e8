// Opening a received document on the user-interface thread: the schema is asked for through the
// modal hook while it is missing, and a refusal is shown with the stop icon; so are the parties of
// an import that the database does not know.
#pragma once

#include "ExchangeReader.h"
#include "ImportParties.h"

#include <optional>

class QWidget;

// The open-file dialog "Файл проверки XML" for *.xsd files; empty when cancelled.
QString AskSchemaFile();

// None when the user cancelled the schema choice (nothing shown) or the document was refused
// (its message shown).
std::optional<CExchangeDocument> OpenExchangeDocument(const QString& path, const QString& schemaName);

// Shows the message of each party not found with the stop icon; whether both were found.
bool ShowMissingParties(const CImportParties& parties, QWidget* frame);
