#include "ExchangeOpen.h"

#include "AppMessage.h"
#include "ModalHook.h"

#include <QWidget>

QString AskSchemaFile()
{
    return ModalHook().getOpenFileName(nullptr, ExchangeTexts::kSchemaCaption, QString(), ExchangeTexts::kSchemaFilter);
}

std::optional<CExchangeDocument> OpenExchangeDocument(const QString& path, const QString& schemaName)
{
    CExchangeRead read = ReadExchangeDocument(path, schemaName, &AskSchemaFile);
    if (read.status == CExchangeRead::Refused)
        AppMessageBox(read.message, MB_OK | MB_ICONSTOP);
    if (!read.ok())
        return std::nullopt;
    return std::move(read.document);
}

bool ShowMissingParties(const CImportParties& parties, QWidget* frame)
{
    for (const QString& message : parties.missing)
        AppMessageBox(message, MB_OK | MB_ICONSTOP, frame);
    return parties.found();
}
