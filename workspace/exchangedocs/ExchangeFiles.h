// Names and folders of the exchange files: the data documents, their send descriptions, and the
// private folder where the documents of a non-file transport wait until they are sent.
#pragma once

#include <QString>

// Longest file name the file systems take, in bytes of UTF-8.
constexpr int kMaxFileNameBytes = 255;

// The base of a document's and its send description's names: the text made a valid file name,
// cut at a character boundary so that the longest name made from it stays within
// kMaxFileNameBytes (two bytes a Cyrillic letter).
QString ExchangeFileBase(const QString& text);

QString ForecastFileName(const QString& base);     // "Прогноз_<base>.xml"
QString NsiFileName(const QString& base);          // "НСИ_<base>.xml"
QString CommentFileName(const QString& base);      // "Комментарий_<base>.xml"
QString SendEnvelopeFileName(const QString& base); // "НСИ_<base>_envelope.xml", for every kind of data
QString InfoEnvelopeFileName(int mailingId);       // "ИНФ_<id>_envelope.xml"

// `name` in `folder`, with exactly one '/' between them.
QString PathIn(const QString& folder, const QString& name);

// A folder of the user's own (mode 0700) below the system's temporary folder, removed with all it
// holds when the object goes. Nobody else can read the documents in it or plant a link at their
// names, and forecast data does not pile up in the temporary folder.
class CSendFolder {
public:
    CSendFolder();
    ~CSendFolder();
    CSendFolder(const CSendFolder&) = delete;
    CSendFolder& operator=(const CSendFolder&) = delete;

    // False when the folder could not be made.
    bool isValid() const { return !m_path.isEmpty(); }
    // With a trailing '/'.
    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const { return m_path + name; }

private:
    QString m_path;
};
