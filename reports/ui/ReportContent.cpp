#include "ReportContent.h"

#include "Money.h"
#include "NumberFormat.h"
#include "ReportText.h"

#include <QFile>
#include <QHash>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <thread>

namespace {

struct BoundValue {
    QString text;
    qlonglong number = 0; // integer and year parameters
    Money money;          // money parameters; numbers as whole units
};

using BoundValues = QHash<QString, BoundValue>;

bool Bind(const ReportDefinition& definition, const QStringList& values, BoundValues* bound)
{
    if (values.size() < qsizetype(definition.parameters.size()))
        return false;
    for (size_t i = 0; i < definition.parameters.size(); ++i) {
        const ReportParameter& p = definition.parameters[i];
        BoundValue v;
        v.text = values[qsizetype(i)];
        bool ok = true;
        switch (p.type) {
        case ReportParameterType::Text:
            break;
        case ReportParameterType::Integer:
        case ReportParameterType::Year:
            v.number = v.text.trimmed().toLongLong(&ok);
            ok = ok && std::llabs(v.number) < 1000000000000LL;
            v.money = Money::fromInt(v.number);
            break;
        case ReportParameterType::Money:
            if (const auto m = Money::parseInput(v.text))
                v.money = *m;
            else
                ok = false;
            break;
        }
        if (!ok)
            return false;
        bound->insert(p.name, v);
    }
    return true;
}

// The current row of a statement, read in place: texts stay the engine's until the next step.
class CRow {
public:
    explicit CRow(sqlite3_stmt* statement)
        : m_statement(statement)
    {
    }
    bool Null(int field) const { return field < 0 || sqlite3_column_type(m_statement, field) == SQLITE_NULL; }
    // The field as the engine keeps it, UTF-8.
    QByteArrayView Utf8(int field) const
    {
        if (field < 0)
            return QByteArrayView();
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, field));
        return text ? QByteArrayView(text, sqlite3_column_bytes(m_statement, field)) : QByteArrayView();
    }
    qlonglong Number(int field) const { return field < 0 ? 0 : sqlite3_column_int64(m_statement, field); }

    // Whether the field's text passes the test, without making a text of a whole number.
    bool Holds(int field, const ReportTest& test, const QByteArray& value) const
    {
        bool match = false;
        if (!test.prefix && !Null(field) && sqlite3_column_type(m_statement, field) == SQLITE_INTEGER) {
            bool ok = false;
            const qlonglong number = value.toLongLong(&ok);
            match = ok && QByteArray::number(number) == value && number == Number(field);
        } else {
            const QByteArrayView text = Utf8(field);
            match = test.prefix ? text.startsWith(value) : text == value;
        }
        return match != test.negate;
    }

private:
    sqlite3_stmt* m_statement;
};

class CContentBuilder {
public:
    CContentBuilder(const ReportDefinition& definition, const BoundValues& values, const QString& title,
                    const QString& forecast, int format)
        : d(definition)
        , values(values)
        , title(title)
        , forecast(forecast)
        , format(format)
    {
    }

    // The page numbers stay placeholders, filled in page by page. A text that `repeats` on every page
    // shows lists short.
    QString Expand(const QString& text, bool repeats) const
    {
        return ExpandReportText(text, [this, repeats](const QString& name, int offset) {
            const auto it = values.constFind(name);
            if (it == values.constEnd()) {
                if (name == kReportTitlePlaceholder)
                    return title;
                if (name == kReportForecastPlaceholder)
                    return forecast;
                return IsReportPagePlaceholder(name) ? QLatin1Char('{') + name + QLatin1Char('}') : QString();
            }
            const ReportParameter* p = d.Parameter(name);
            if (p->type == ReportParameterType::Year && it->number < 0)
                return QString();
            if (offset != 0 || p->type != ReportParameterType::Text)
                return p->type == ReportParameterType::Money ? it->text : QString::number(it->number + offset);
            return repeats && p->list ? ShortReportList(it->text, p->bracketedTail) : it->text;
        });
    }

    bool Shown(const ReportTest& test) const { return !test.used || test.Holds(values.value(test.subject).text); }

    // The visible columns (indexes into the definition) and the header cells over them.
    void LayOutHeader(ReportContent& content)
    {
        int depth = 0;
        Measure(d.header, 1, &depth);
        content.headerRows = depth;
        Place(d.header, 0, content);
        for (int c : visible) {
            const ReportColumn& column = d.columns[size_t(c)];
            ReportLayoutColumn layout;
            layout.width = column.width;
            const bool number = column.kind != ReportCellKind::Text && column.kind != ReportCellKind::Empty;
            layout.align = column.align.value_or(number ? ReportAlign::Right : ReportAlign::Left);
            layout.wraps = !number && column.wrap == ReportWrap::Words;
            content.columns.push_back(layout);
        }
        content.rows.SetColumnCount(int(visible.size()));
    }

    // Where each field stands in a row that `fields` reads.
    void Bind(const QStringList& fields)
    {
        const auto index = [&](const QString& name) { return name.isEmpty() ? -1 : int(fields.indexOf(name)); };
        for (const ReportRowCondition& condition : d.rowConditions) {
            conditionField.push_back(index(condition.test.subject));
            conditionValue.push_back(condition.test.value.toUtf8());
        }
        for (const ReportRowStyle& style : d.rowStyles)
            styleSpan.push_back(index(style.span));
        for (int c : visible) {
            const ReportColumn& column = d.columns[size_t(c)];
            CellFields f;
            f.field = index(column.field);
            if (column.quotient) {
                f.field = index(column.quotient->field);
                f.divisor = index(column.quotient->divisorField);
            }
            f.blankWhen = column.blankWhen.isEmpty() ? -1 : d.RowCondition(column.blankWhen);
            cellFields.push_back(f);
        }
        if (d.groupCaption) {
            groupWhen = d.RowCondition(d.groupCaption->when);
            groupField = index(d.groupCaption->field);
        }
    }

    // Adds the row the statement stands on.
    void Add(const CRow& row, ReportRows& rows)
    {
        holds.clear();
        for (size_t i = 0; i < d.rowConditions.size(); ++i)
            holds.push_back(row.Holds(conditionField[i], d.rowConditions[i].test, conditionValue[i]));

        bool bold = false;
        bool spans = false;
        for (size_t i = 0; i < d.rowStyles.size(); ++i) {
            const ReportRowStyle& style = d.rowStyles[i];
            if (!holds[size_t(d.RowCondition(style.when))])
                continue;
            bold = bold || style.bold;
            if (!spans && styleSpan[i] >= 0) {
                spans = true;
                rows.AddUtf8Cell(row.Utf8(styleSpan[i]));
            }
        }
        if (!spans) {
            for (size_t c = 0; c < visible.size(); ++c) {
                const CellFields& f = cellFields[c];
                if (f.blankWhen >= 0 && holds[size_t(f.blankWhen)])
                    rows.AddCell(QStringView());
                else
                    AddCell(d.columns[size_t(visible[c])], f, row, rows);
            }
        }
        const bool group = groupWhen >= 0 && holds[size_t(groupWhen)];
        rows.EndRow(bold, spans, group);
        if (group)
            rows.SetGroupCaption(row.Utf8(groupField));
    }

private:
    // The fields a cell reads (-1: none) and its blanking condition.
    struct CellFields {
        int field = -1;
        int divisor = -1;
        int blankWhen = -1;
    };

    void Measure(const std::vector<ReportHeaderNode>& nodes, int level, int* depth) const
    {
        for (const ReportHeaderNode& node : nodes) {
            if (!Shown(node.shownIf))
                continue;
            if (node.column >= 0)
                *depth = std::max(*depth, level);
            else
                Measure(node.children, level + 1, depth);
        }
    }

    // Answers how many columns the nodes cover.
    int Place(const std::vector<ReportHeaderNode>& nodes, int level, ReportContent& content)
    {
        int covered = 0;
        for (const ReportHeaderNode& node : nodes) {
            if (!Shown(node.shownIf))
                continue;
            ReportHeaderCell cell;
            cell.row = level;
            cell.column = int(visible.size());
            cell.text = Expand(node.caption, true);
            if (node.column >= 0) {
                visible.push_back(node.column);
                cell.rowSpan = content.headerRows - level;
            } else {
                cell.columnSpan = Place(node.children, level + 1, content);
                if (cell.columnSpan == 0)
                    continue; // a group none of whose columns is shown
            }
            covered += cell.columnSpan;
            content.header.push_back(cell);
        }
        return covered;
    }

    int Decimals(const ReportColumn& column) const
    {
        if (column.decimalsParameter.isEmpty())
            return column.decimals;
        return int(std::clamp<qlonglong>(values.value(column.decimalsParameter).number, 0, 4));
    }

    void AddNumber(const ReportColumn& column, Money value, ReportRows& rows) const
    {
        char16_t text[kReportNumberLength];
        const int length = column.kind == ReportCellKind::Percent ? WriteFixedDecimals(value, Decimals(column), text)
                                                                  : WriteReportNumber(value, format, text);
        rows.AddCell(QStringView(text, length));
    }

    void AddCell(const ReportColumn& column, const CellFields& f, const CRow& row, ReportRows& rows) const
    {
        if (column.kind == ReportCellKind::Empty) {
            rows.AddCell(QStringView());
            return;
        }
        if (column.quotient) {
            const ReportQuotient& quotient = *column.quotient;
            const qlonglong numerator = row.Number(f.field);
            const qlonglong divisor =
                f.divisor < 0 ? values.value(quotient.divisorParameter).money.raw() : row.Number(f.divisor);
            Money result;
            if (divisor != 0) {
                const auto m = Money::fromDouble(double(numerator) / double(divisor) * 100.0 + quotient.offset);
                if (!m) {
                    rows.AddCell(QStringView());
                    return;
                }
                result = *m;
            }
            AddNumber(column, result, rows);
            return;
        }
        if (row.Null(f.field)) {
            rows.AddCell(QStringView());
            return;
        }
        switch (column.kind) {
        case ReportCellKind::Text:
            rows.AddUtf8Cell(row.Utf8(f.field));
            return;
        case ReportCellKind::Integer: {
            char text[24];
            const auto end = std::to_chars(text, text + sizeof text, row.Number(f.field)).ptr;
            rows.AddCell(QString::fromLatin1(text, end - text));
            return;
        }
        default:
            AddNumber(column, Money::fromRaw(row.Number(f.field)), rows);
        }
    }

    const ReportDefinition& d;
    const BoundValues& values;
    QString title;
    QString forecast;
    int format;
    std::vector<int> visible;
    std::vector<int> conditionField;
    std::vector<QByteArray> conditionValue;
    std::vector<int> styleSpan;
    std::vector<CellFields> cellFields;
    int groupWhen = -1;
    int groupField = -1;
    std::vector<bool> holds;
};

QString Quoted(const QString& identifier)
{
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// A read-only connection of its own to the report database.
class CReader {
public:
    explicit CReader(const QString& path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
            sqlite3_busy_timeout(m_db, 10000);
        else
            Fail();
    }
    ~CReader()
    {
        sqlite3_finalize(m_statement);
        sqlite3_close(m_db);
    }
    CReader(const CReader&) = delete;
    CReader& operator=(const CReader&) = delete;

    bool ok() const { return m_message.isEmpty(); }
    const QString& message() const { return m_message; }

    // Prepares the statement and binds the numbers in order; false after a failure.
    bool Prepare(const QString& sql, std::initializer_list<qlonglong> values)
    {
        if (!ok())
            return false;
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_statement, nullptr) != SQLITE_OK)
            return Fail();
        int index = 0;
        for (qlonglong value : values)
            if (sqlite3_bind_int64(m_statement, ++index, value) != SQLITE_OK)
                return Fail();
        return true;
    }
    // Steps through the rows, each handed to `row`; false after a failure.
    template <class Row>
    bool Each(Row&& row)
    {
        const CRow current(m_statement);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(m_statement)) == SQLITE_ROW)
            row(current);
        return rc == SQLITE_DONE || Fail();
    }

private:
    bool Fail()
    {
        m_message = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        if (m_message.isEmpty())
            m_message = QStringLiteral("SQLite");
        return false;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
    QString m_message;
};

// Runs of this many rows or more are read in parts side by side.
constexpr qlonglong kRowsPerPart = 100000;
constexpr int kMostParts = 4;

// Reads the run's rows into the content, read-only through connections of their own; false with the
// database's message. In the order they were written, the rows are read between the run's first and
// last row id without sorting them, a large run in parts on several threads.
bool ReadRows(const ReportDefinition& d, const QStringList& fields, const QString& path, qlonglong key,
              CContentBuilder& builder, ReportRows& rows, QString* message)
{
    QStringList columns;
    for (const QString& f : fields)
        columns << Quoted(f);
    if (columns.isEmpty())
        columns << QStringLiteral("1");
    const QString table = Quoted(d.table);
    const QString keyColumn = Quoted(d.key);
    const QString select = QStringLiteral("select %1 from %2 where ").arg(columns.join(QStringLiteral(", ")), table);
    builder.Bind(fields);
    CReader first(path);
    if (d.order.compare(QLatin1String("rowid"), Qt::CaseInsensitive) != 0) {
        const bool ok =
            first.Prepare(select + QStringLiteral("%1 = ?1 order by %2, rowid").arg(keyColumn, Quoted(d.order)), {key})
            && first.Each([&](const CRow& row) { builder.Add(row, rows); });
        *message = first.message();
        return ok;
    }
    qlonglong low = 0;
    qlonglong high = -1;
    if (!first.Prepare(QStringLiteral("select min(rowid), max(rowid) from %1 where %2 = ?1").arg(table, keyColumn),
                       {key})
        || !first.Each([&](const CRow& row) {
               if (!row.Null(0)) {
                   low = row.Number(0);
                   high = row.Number(1);
               }
           })) {
        *message = first.message();
        return false;
    }
    const QString range = select + QStringLiteral("rowid between ?2 and ?3 and +%1 = ?1 order by rowid").arg(keyColumn);
    const int parts = int(std::clamp<qlonglong>((high - low + 1) / kRowsPerPart, 1,
                                                std::min(kMostParts, std::max(1, QThread::idealThreadCount()))));
    struct Part {
        ReportRows rows;
        QString message;
    };
    std::vector<Part> done(static_cast<size_t>(parts));
    const auto read = [&](int part) {
        const qlonglong from = low + (high - low + 1) * part / parts;
        const qlonglong to = low + (high - low + 1) * (part + 1) / parts - 1;
        CContentBuilder own = builder;
        Part& out = done[size_t(part)];
        out.rows.SetColumnCount(rows.columnCount());
        CReader reader(path);
        if (!reader.Prepare(range, {key, from, to}) || !reader.Each([&](const CRow& row) { own.Add(row, out.rows); }))
            out.message = reader.message();
    };
    std::vector<std::thread> threads;
    for (int part = 1; part < parts; ++part)
        threads.emplace_back(read, part);
    read(0);
    for (std::thread& thread : threads)
        thread.join();
    for (Part& part : done) {
        if (!part.message.isEmpty()) {
            *message = part.message;
            return false;
        }
        rows.Append(std::move(part.rows));
    }
    return true;
}

} // namespace

std::optional<ReportContent> BuildReportContent(const ReportDefinition& definition, const QStringList& values,
                                                const QString& title, const QString& forecast,
                                                const QString& databasePath, int numberFormat, ReportError* error)
{
    BoundValues bound;
    if (!Bind(definition, values, &bound)) {
        if (error)
            *error = ReportError{REPORT_ERROR_VALUES, QString()};
        return std::nullopt;
    }
    CContentBuilder builder(definition, bound, title, forecast, numberFormat);
    ReportContent content;
    content.title = title;
    content.forecast = forecast;
    content.landscape = definition.landscape;
    content.fontSize = definition.fontSize;
    for (const ReportLine& line : definition.heading) {
        if (!builder.Shown(line.shownIf))
            continue;
        content.heading.push_back(ReportHeadingLine{builder.Expand(line.text, false), line.align, line.bold,
                                                    line.size > 0 ? line.size : definition.fontSize});
    }
    const auto pageLines = [&](const std::vector<ReportPageLine>& lines, std::vector<ReportPageText>& out) {
        for (const ReportPageLine& line : lines)
            if (builder.Shown(line.shownIf))
                out.push_back(ReportPageText{builder.Expand(line.left, true), builder.Expand(line.center, true),
                                             builder.Expand(line.right, true)});
    };
    pageLines(definition.pageHeader, content.pageHeader);
    pageLines(definition.pageFooter, content.pageFooter);
    if (definition.groupCaption)
        content.groupSuffix = definition.groupCaption->suffix;
    builder.LayOutHeader(content);

    QString message;
    if (!ReadRows(definition, definition.Fields(), databasePath, bound.value(definition.keyParameter).number, builder,
                  content.rows, &message)) {
        if (error)
            *error = ReportError{REPORT_ERROR_DATA, message};
        return std::nullopt;
    }
    return content;
}

namespace {

constexpr size_t kBlockChars = size_t(1) << 20;
constexpr size_t kLengthLimit = 0xFFFF;

} // namespace

void ReportRows::AddCell(QStringView text)
{
    if (m_cellsInRow < m_columns) {
        Store(text);
        ++m_cellsInRow;
    }
}

void ReportRows::AddUtf8Cell(QByteArrayView text)
{
    if (m_cellsInRow < m_columns) {
        StoreUtf8(text);
        ++m_cellsInRow;
    }
}

void ReportRows::EndRow(bool bold, bool spans, bool beginsGroup, QStringView groupCaption)
{
    for (; m_cellsInRow < m_columns; ++m_cellsInRow)
        Keep(0);
    Store(groupCaption);
    m_cellsInRow = 0;
    m_flags.push_back(std::uint8_t((bold ? kBold : 0) | (spans ? kSpans : 0) | (beginsGroup ? kGroup : 0)));
}

void ReportRows::SetGroupCaption(QByteArrayView text)
{
    m_start.pop_back();
    m_length.pop_back();
    StoreUtf8(text);
}

void ReportRows::Append(ReportRows&& other)
{
    const std::uint32_t base = std::uint32_t(m_blocks.size() * kBlockChars);
    for (size_t i = 0; i < other.m_start.size(); ++i) {
        m_start.push_back(other.m_length[i] == 0 ? 0 : other.m_start[i] + base);
        m_length.push_back(other.m_length[i]);
    }
    m_flags.insert(m_flags.end(), other.m_flags.begin(), other.m_flags.end());
    for (auto& block : other.m_blocks)
        m_blocks.push_back(std::move(block));
    if (!other.m_blocks.empty())
        m_blockUsed = other.m_blockUsed;
    other = ReportRows();
}

char16_t* ReportRows::Reserve(size_t length)
{
    if (m_blocks.empty() || m_blockUsed + length > kBlockChars) {
        m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(kBlockChars));
        m_blockUsed = 0;
    }
    return m_blocks.back().get() + m_blockUsed;
}

void ReportRows::Keep(size_t length)
{
    m_start.push_back(length == 0 ? 0 : std::uint32_t((m_blocks.size() - 1) * kBlockChars + m_blockUsed));
    m_length.push_back(std::uint16_t(length));
    m_blockUsed += length;
}

// UTF-8 as SQLite keeps it, decoded straight into the block; a malformed sequence gives U+FFFD.
void ReportRows::StoreUtf8(QByteArrayView text)
{
    const size_t bytes = std::min<size_t>(size_t(text.size()), kLengthLimit);
    if (bytes == 0) {
        Keep(0);
        return;
    }
    char16_t* out = Reserve(bytes);
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    size_t length = 0;
    for (size_t i = 0; i < bytes;) {
        const unsigned char c = in[i];
        if (c < 0x80) {
            out[length++] = c;
            ++i;
            continue;
        }
        const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        char32_t code = more == 3 ? c & 0x07 : more == 2 ? c & 0x0F : c & 0x1F;
        bool valid = more > 0;
        for (int k = 1; valid && k <= more; ++k) {
            if (i + size_t(k) >= bytes || (in[i + size_t(k)] & 0xC0) != 0x80)
                valid = false;
            else
                code = (code << 6) | (in[i + size_t(k)] & 0x3F);
        }
        if (!valid) {
            out[length++] = 0xFFFD;
            ++i;
            continue;
        }
        i += size_t(more) + 1;
        if (code >= 0x10000) {
            // A surrogate pair: two places for four bytes.
            code -= 0x10000;
            out[length++] = char16_t(0xD800 + (code >> 10));
            out[length++] = char16_t(0xDC00 + (code & 0x3FF));
        } else {
            out[length++] = char16_t(code);
        }
    }
    Keep(std::min(length, kLengthLimit));
}

void ReportRows::Store(QStringView text)
{
    const size_t length = std::min<size_t>(size_t(text.size()), kLengthLimit);
    if (length > 0)
        std::copy_n(text.utf16(), length, Reserve(length));
    Keep(length);
}

QStringView ReportRows::Slot(size_t slot) const
{
    const size_t length = m_length[slot];
    if (length == 0)
        return QStringView();
    const size_t start = m_start[slot];
    return QStringView(m_blocks[start / kBlockChars].get() + start % kBlockChars, qsizetype(length));
}
