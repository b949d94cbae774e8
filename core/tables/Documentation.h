// Supporting documents of a forecast (tfctdocumentation) and their repository: one stored file per
// document in "docs/" beside the program, named after the document's forecast and id.
#pragma once

#include "tables/TableCommon.h"
#include "tables/TableResult.h"
#include "xml/XmlRecord.h"

#include <QByteArray>

#include <optional>
#include <vector>

struct CDocumentationRecord {
    int id = -1;
    int prognoz = 0;
    QString name;
    int position = 0; // order of display within the forecast
    QString filename; // the name the user chose, without folder
    // The bytes of a received document: written to its stored file when the document is saved.
    std::optional<QByteArray> receivedContent;
};

using CDocumentationList = std::vector<CDocumentationRecord>;

// None when a column is NULL: the row is left out.
std::optional<CDocumentationRecord> ReadDocumentationRow(const CSqlQuery& q);
std::optional<CDocumentationRecord> GetDocumentation(int id, int prognoz);
// Rows that cannot be read are left out; none on a database error.
std::optional<CDocumentationList> LoadDocumentation(const SqlFilter& filter = {});
// A record with id -1 gets the highest id + 1; an id without a row in its forecast is inserted under
// that id. Received content is then written to the stored file.
[[nodiscard]] bool SaveDocumentation(CDocumentationRecord& rec);
// The stored file stays in the repository.
[[nodiscard]] bool DeleteDocumentation(CDocumentationRecord& rec);
// Renumbers the forecast's documents so that this one moves one place up or down.
void MoveDocumentation(int id, int prognoz, bool up);
// Copies the documents of one forecast, with their stored files, to another.
[[nodiscard]] bool CopyDocumentation(int sourceForecast, int targetForecast);

QString GetDocsFolder();
QString MakeDocFileName(const CDocumentationRecord& rec);
// Copies a file the user chose into the stored file of a saved document, replacing it.
[[nodiscard]] bool StoreDocumentFile(const CDocumentationRecord& rec, const QString& chosenPath);
// Copies the stored file to the path the user chose (the caller asks for it, proposing the record's
// filename); the answer's notice tells the result. An empty path means the user cancelled (done,
// nothing to tell).
CTableResult SaveDocumentAs(const CDocumentationRecord& rec, const QString& targetPath);

// "document" elements in "documents", with the stored file as base64 "content": a missing or
// unreadable stored file leaves "content" out, so the receiver stores no empty file. Reading decodes
// "content" into receivedContent; no file is written then.
template <>
const CXmlFormat<CDocumentationRecord>& XmlFormatOf<CDocumentationRecord>();

// Tolerant base64 decoding: characters outside the alphabet are skipped, "." counts as 0, "=" ends
// the text and an incomplete last group is dropped. On return *textLength holds the characters used
// up to the last complete group and *bufferSize the bytes written. Results: 0 ended by "=", 1 ended
// without it, 2 the buffer is full, -1 an argument is missing.
int DecodeBase64(const char* text, qsizetype* textLength, char* buffer, qsizetype* bufferSize);

// The content of received documents as a streamed read hands it over: its base64 text is decoded as
// it comes, as DecodeBase64 decodes it whole, and is never held.
class CReceivedContent {
public:
    // Whether `name` is the element of the content; a new content starts then.
    bool Starts(const char* name);
    void Feed(const char* text, qsizetype length);
    // The record read from the element, whose content came without its text, takes the bytes.
    void MoveInto(CDocumentationRecord& rec);

private:
    std::optional<QByteArray> m_bytes;
    int m_group[4] = {0, 0, 0, 0};
    int m_count = 0;
    bool m_ended = false;
};

void WriteDocumentationJournal(const CDocumentationRecord& rec, int operation);

inline const QString kDocumentSavedText = QStringLiteral("Файл успешно сохранен.");
inline const QString kDocumentSaveFailedText = QStringLiteral("Ошибка сохранения файла!");
