// Kinds of exchange events (tClsImportEventType). The program chooses the ids.
#pragma once

#include "tables/TableCommon.h"

#include <optional>
#include <vector>

enum ImportEventKind {
    IEK_RECEIVED = 1,            // "Получено"
    IEK_SENT = 2,                // "Отправлено"
    IEK_SENT_FOR_CORRECTION = 3, // "Отправлено на корректировку"
    IEK_DATA_CORRECT = 4,        // "Данные корректны"
    IEK_SEND_FAILED = 5,         // "Ошибка отправки"
};

struct CImportEventType {
    int id = -1;
    QString name;
};

using CImportEventTypeList = std::vector<CImportEventType>;

// The reads show no message: a database error gives none (or 0).
std::optional<CImportEventType> ReadImportEventTypeRow(const CSqlQuery& q); // none when id or name is NULL: left out
std::optional<CImportEventType> LoadImportEventType(int id);
std::optional<CImportEventTypeList> LoadImportEventTypes(const SqlFilter& filter = {});
// Kinds whose name equals the record's, without regard to letter case.
int CountImportEventTypesByName(const CImportEventType& rec);
// A new record (id 0 or less, or an id without a row) is inserted; an id of 0 or less becomes max + 1.
[[nodiscard]] bool SaveImportEventType(CImportEventType& rec, bool writeJournal);
[[nodiscard]] bool DeleteImportEventType(CImportEventType& rec);
void WriteImportEventTypeJournal(const CImportEventType& rec, int operation);
// The five fixed kinds with their ids and names.
CImportEventTypeList FixedImportEventKinds();
// Writes the five fixed kinds under their ids and names, without journal lines.
void SeedImportEventTypes();
