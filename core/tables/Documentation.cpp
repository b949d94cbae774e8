#include "Documentation.h"

#include "AppMessage.h" // the flags of the notices
#include "TextUtils.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <array>
#include <utility>

namespace {

const std::array<XmlField<CDocumentationRecord>, 5> kXmlFields = {{{"id", &CDocumentationRecord::id},
                                                                   {"prognoz", &CDocumentationRecord::prognoz},
                                                                   {"name", &CDocumentationRecord::name},
                                                                   {"position", &CDocumentationRecord::position},
                                                                   {"filename", &CDocumentationRecord::filename}}};

constexpr char kContent[] = "content";

const QString kSelect = QStringLiteral("select id, prognoz, name, position, filename from tfctdocumentation");

constexpr CRowReader<CDocumentationRecord> kRows{&ReadDocumentationRow, UnreadableRow::Skip};

bool EnsureDocsFolder()
{
    return QDir().mkpath(GetDocsFolder());
}

// Files are replaced whole or not at all.
bool WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool CopyFileWhole(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    constexpr qint64 kChunk = 1 << 20;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError) {
            out.cancelWriting();
            return false;
        }
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            return false;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

constexpr int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    if (c == '.')
        return 0;
    return -1;
}

// The values by byte: a document's content may be a hundred megabytes of them.
constexpr std::array<signed char, 256> kBase64Values = [] {
    std::array<signed char, 256> values{};
    for (int c = 0; c < 256; ++c)
        values[std::size_t(c)] = static_cast<signed char>(Base64Value(char(c)));
    return values;
}();

} // namespace

std::optional<CDocumentationRecord> ReadDocumentationRow(const CSqlQuery& q)
{
    if (AnyNull(q, {"id", "prognoz", "name", "position", "filename"}))
        return std::nullopt;
    return CDocumentationRecord{q.intValue("id"),       q.intValue("prognoz"), q.text("name"),
                                q.intValue("position"), q.text("filename"),    std::nullopt};
}

std::optional<CDocumentationRecord> GetDocumentation(int id, int prognoz)
{
    return kRows.FirstOf(OnDbError::Report, kSelect + QStringLiteral(" where id = ? and prognoz = ?"), id, prognoz);
}

std::optional<CDocumentationList> LoadDocumentation(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Report, filter.apply(kSelect, QStringLiteral("id")), filter.args);
}

bool SaveDocumentation(CDocumentationRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    bool isNew = rec.id == -1;
    if (!isNew) {
        const auto stored = RowExists(QStringLiteral("select 1 from tfctdocumentation where id = ? and prognoz = ?"),
                                      rec.id, rec.prognoz);
        if (!stored)
            return false;
        isNew = !*stored;
    }
    int id = rec.id;
    if (id == -1) {
        const auto next = NextTableId(QStringLiteral("tfctdocumentation"));
        if (!next)
            return false;
        id = *next;
    }
    if (isNew) {
        CSqlQuery q(QStringLiteral(
            "insert into tfctdocumentation (id, prognoz, name, position, filename) values (?, ?, ?, ?, ?)"));
        q.bind(id).bind(rec.prognoz).bind(rec.name).bind(rec.position).bind(rec.filename);
        if (!q.execOrReport())
            return false;
    } else {
        CSqlQuery q(QStringLiteral(
            "update tfctdocumentation set name = ?, position = ?, filename = ? where id = ? and prognoz = ?"));
        q.bind(rec.name).bind(rec.position).bind(rec.filename).bind(id).bind(rec.prognoz);
        if (!q.execOrReport())
            return false;
    }
    const int previousId = rec.id;
    rec.id = id;
    WriteDocumentationJournal(rec, isNew ? JOURNAL_INSERT : JOURNAL_UPDATE);
    // Received content goes to the file of the document as stored, once the outermost transaction
    // (an import's, say) has committed: a rolled-back import leaves the files as they were. A file
    // that cannot be written is missing later, which the reference-data check reports.
    if (rec.receivedContent) {
        const QString path = MakeDocFileName(rec);
        const QByteArray content = *rec.receivedContent;
        GetDBConnection().AfterCommit([path, content] {
            if (EnsureDocsFolder())
                WriteWholeFile(path, content);
        });
    }
    if (!tx.commit()) {
        rec.id = previousId;
        return false;
    }
    return true;
}

bool DeleteDocumentation(CDocumentationRecord& rec)
{
    return DeleteRow(rec, -1, kRows, &WriteDocumentationJournal, OnDbError::Report,
                     QStringLiteral("delete from tfctdocumentation where id = ? and prognoz = ? "
                                    "returning id, prognoz, name, position, filename"),
                     rec.id, rec.prognoz);
}

void MoveDocumentation(int id, int prognoz, bool up)
{
    auto list =
        LoadDocumentation(SqlFilter(QStringLiteral("prognoz = ?"), {prognoz}, QStringLiteral("position asc, id")));
    if (list)
        static_cast<void>(MoveOnePlace(*list, id, up, &SaveDocumentation));
}

bool CopyDocumentation(int sourceForecast, int targetForecast)
{
    std::vector<std::pair<QString, QString>> files;
    bool ok = true;
    {
        CTransaction tx;
        if (!tx.isActive())
            return false;
        auto list = LoadDocumentation(SqlFilter(QStringLiteral("prognoz = ?"), {sourceForecast}));
        if (!list)
            return false;
        for (CDocumentationRecord& rec : *list) {
            const QString from = MakeDocFileName(rec);
            rec.id = -1;
            rec.prognoz = targetForecast;
            if (!SaveDocumentation(rec)) {
                ok = false;
                continue;
            }
            files.emplace_back(from, MakeDocFileName(rec));
        }
        if (!tx.commit())
            return false;
    }
    // Files only for rows that are stored; a copy that fails leaves that file missing.
    if (!files.empty() && EnsureDocsFolder())
        for (const auto& [from, to] : files)
            CopyFileWhole(from, to);
    return ok;
}

QString GetDocsFolder()
{
    return GetProgramFolder() + QStringLiteral("docs/");
}

QString MakeDocFileName(const CDocumentationRecord& rec)
{
    return GetDocsFolder() + QStringLiteral("doc_%1_%2").arg(rec.prognoz).arg(rec.id);
}

bool StoreDocumentFile(const CDocumentationRecord& rec, const QString& chosenPath)
{
    return EnsureDocsFolder() && CopyFileWhole(chosenPath, MakeDocFileName(rec));
}

CTableResult SaveDocumentAs(const CDocumentationRecord& rec, const QString& targetPath)
{
    if (targetPath.isEmpty())
        return true;
    if (CopyFileWhole(MakeDocFileName(rec), targetPath))
        return {true, {kDocumentSavedText, MB_OK | MB_ICONINFORMATION}};
    return {false, {kDocumentSaveFailedText, MB_OK | MB_ICONERROR}};
}

namespace {

void WriteContent(xmlNodePtr node, const CDocumentationRecord& rec)
{
    QFile stored(MakeDocFileName(rec));
    if (stored.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = stored.readAll();
        if (stored.error() == QFileDevice::NoError)
            XmlAddText(node, kContent, QString::fromLatin1(bytes.toBase64()));
    }
}

void ReadContent(const xmlNode* node, CDocumentationRecord& rec)
{
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE || !XmlNameIs(child, kContent))
            continue;
        // Base64 is ASCII: decoded from the node's own bytes, which may be many, without a copy.
        const xmlNode* only = child->children;
        const bool single = only && !only->next && only->content
            && (only->type == XML_TEXT_NODE || only->type == XML_CDATA_SECTION_NODE);
        xmlChar* joined = single ? nullptr : xmlNodeGetContent(child);
        const char* text = reinterpret_cast<const char*>(single ? only->content : joined);
        qsizetype textLength = text ? qsizetype(qstrlen(text)) : 0;
        QByteArray bytes(textLength / 4 * 3 + 4, '\0');
        qsizetype written = bytes.size();
        // Whatever the decoder's result, the bytes it produced are the content.
        DecodeBase64(text ? text : "", &textLength, bytes.data(), &written);
        xmlFree(joined);
        bytes.truncate(written);
        rec.receivedContent = bytes;
    }
}

} // namespace

template <>
const CXmlFormat<CDocumentationRecord>& XmlFormatOf<CDocumentationRecord>()
{
    static const CXmlFormat<CDocumentationRecord> format{.element = XmlNames::kDocument,
                                                         .list = XmlNames::kDocuments,
                                                         .fields = kXmlFields,
                                                         .table = "tfctdocumentation",
                                                         .writeMore = &WriteContent,
                                                         .readMore = &ReadContent};
    return format;
}

namespace {

// DecodeBase64 going on from the group before `text`, with its results; *written and *consumed as
// its *bufferSize and *textLength. `ended` is set at the "=" that ends the text.
int DecodeRun(const char* text, qsizetype length, int (&group)[4], int& count, bool& ended, char* buffer,
              qsizetype capacity, qsizetype* written, qsizetype* consumed)
{
    qsizetype out = 0;
    *consumed = 0;
    int result = 1;
    for (qsizetype i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '=') {
            // Two values give one byte, three give two; "=" earlier in a group ends the text with
            // nothing from that group.
            ended = true;
            if (count >= 2) {
                if (out + 3 >= capacity) {
                    result = 2;
                    break;
                }
                buffer[out++] = char((group[0] << 2) | (group[1] >> 4));
                if (count == 3)
                    buffer[out++] = char(((group[1] & 0x0F) << 4) | (group[2] >> 2));
                *consumed = i + 1;
                result = 0;
            }
            break;
        }
        const int v = kBase64Values[static_cast<unsigned char>(c)];
        if (v < 0)
            continue;
        group[count++] = v;
        if (count < 4)
            continue;
        if (out + 3 >= capacity) {
            result = 2;
            break;
        }
        buffer[out++] = char((group[0] << 2) | (group[1] >> 4));
        buffer[out++] = char(((group[1] & 0x0F) << 4) | (group[2] >> 2));
        buffer[out++] = char(((group[2] & 0x03) << 6) | group[3]);
        count = 0;
        *consumed = i + 1;
    }
    *written = out;
    return result;
}

} // namespace

int DecodeBase64(const char* text, qsizetype* textLength, char* buffer, qsizetype* bufferSize)
{
    if (!text || !textLength || !buffer || !bufferSize)
        return -1;
    int group[4] = {0, 0, 0, 0};
    int count = 0;
    bool ended = false;
    return DecodeRun(text, *textLength, group, count, ended, buffer, *bufferSize, bufferSize, textLength);
}

bool CReceivedContent::Starts(const char* name)
{
    if (qstricmp(name, kContent) != 0)
        return false;
    m_bytes.emplace();
    m_count = 0;
    m_ended = false;
    return true;
}

void CReceivedContent::Feed(const char* text, qsizetype length)
{
    if (!m_bytes || m_ended || length <= 0)
        return;
    // Room for every group the piece completes, and the decoder's margin.
    const qsizetype at = m_bytes->size();
    const qsizetype room = (m_count + length) / 4 * 3 + 4;
    m_bytes->resize(at + room);
    qsizetype written = 0;
    qsizetype consumed = 0;
    DecodeRun(text, length, m_group, m_count, m_ended, m_bytes->data() + at, room, &written, &consumed);
    m_bytes->truncate(at + written);
}

void CReceivedContent::MoveInto(CDocumentationRecord& rec)
{
    if (!m_bytes)
        return;
    m_bytes->squeeze();
    rec.receivedContent = std::move(m_bytes);
    m_bytes.reset();
}

void WriteDocumentationJournal(const CDocumentationRecord& rec, int operation)
{
    QueueJournal([&] {
        return JournalHead(operation, "Documentation", rec.id) + QStringLiteral("Prognoz=%1; Name=").arg(rec.prognoz)
            + rec.name;
    });
}
