#include "ExchangeOpen.h"

#include "AppMessage.h"
#include "ModalHook.h"

#include <QWidget>

QString AskSchemaFile()
{
    return ModalHook().getOpenFileName(nullptr, ExchangeTexts::kSchemaCaption, QString(), ExchangeTexts::kSchemaFilter);
}

ImportOutcome DeclinedOrUndecided(int answer)
{
    // A program that ends closes its boxes, and a closed question may read as "Нет": then nobody
    // declined.
    return answer == IDNO && !XmlAbortRequested() ? ImportOutcome::Declined : ImportOutcome::Undecided;
}

ImportOutcome ShowRefusal(const QString& message, unsigned icon, QWidget* frame)
{
    if (XmlAbortRequested())
        return ImportOutcome::Undecided;
    AppMessageBox(message, MB_OK | icon, frame);
    return ImportOutcome::Taken;
}
bool ShowMissingParties(const CImportParties& parties, QWidget* frame)
{
    for (const QString& message : parties.missing)
        AppMessageBox(message, MB_OK | MB_ICONSTOP, frame);
    return parties.found();
}
