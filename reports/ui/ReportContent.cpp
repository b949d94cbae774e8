#include "ReportContent.h"

#include "Money.h"
#include "NumberFormat.h"
#include "ReportText.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <algorithm>
#include <cstdlib>

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

    // The page numbers stay placeholders, filled in page by page.
    QString Expand(const QString& text) const
    {
        return ExpandReportText(text, [this](const QString& name, int offset) {
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
            return it->text;
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
        for (const ReportRowCondition& condition : d.rowConditions)
            conditionField.push_back(index(condition.test.subject));
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

    // Adds the row whose fields the query stands on.
    void Add(const QSqlQuery& q, ReportRows& rows)
    {
        const auto field = [&](int i) { return i < 0 ? QVariant() : q.value(i); };
        holds.clear();
        for (size_t i = 0; i < d.rowConditions.size(); ++i)
            holds.push_back(d.rowConditions[i].test.Holds(field(conditionField[i]).toString()));

        bool bold = false;
        bool spans = false;
        QString spanText;
        for (size_t i = 0; i < d.rowStyles.size(); ++i) {
            const ReportRowStyle& style = d.rowStyles[i];
            if (!holds[size_t(d.RowCondition(style.when))])
                continue;
            bold = bold || style.bold;
            if (!spans && styleSpan[i] >= 0) {
                spans = true;
                spanText = field(styleSpan[i]).toString();
            }
        }
        if (spans) {
            rows.AddCell(spanText);
        } else {
            for (size_t c = 0; c < visible.size(); ++c) {
                const CellFields& f = cellFields[c];
                const bool blank = f.blankWhen >= 0 && holds[size_t(f.blankWhen)];
                rows.AddCell(blank ? QString() : CellText(d.columns[size_t(visible[c])], f, q));
            }
        }
        const bool group = groupWhen >= 0 && holds[size_t(groupWhen)];
        rows.EndRow(bold, spans, group, group ? field(groupField).toString() : QString());
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
            cell.text = Expand(node.caption);
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

    QString Number(const ReportColumn& column, Money value) const
    {
        return column.kind == ReportCellKind::Percent ? FormatFixedDecimals(value, Decimals(column))
                                                      : FormatReportNumber(value, format);
    }

    QString CellText(const ReportColumn& column, const CellFields& f, const QSqlQuery& q) const
    {
        if (column.kind == ReportCellKind::Empty)
            return QString();
        if (column.quotient) {
            const ReportQuotient& q2 = *column.quotient;
            const qlonglong numerator = f.field < 0 ? 0 : q.value(f.field).toLongLong();
            const qlonglong divisor =
                f.divisor < 0 ? values.value(q2.divisorParameter).money.raw() : q.value(f.divisor).toLongLong();
            Money result;
            if (divisor != 0) {
                const auto m = Money::fromDouble(double(numerator) / double(divisor) * 100.0 + q2.offset);
                if (!m)
                    return QString();
                result = *m;
            }
            return Number(column, result);
        }
        if (f.field < 0)
            return QString();
        const QVariant value = q.value(f.field);
        if (value.isNull())
            return QString();
        switch (column.kind) {
        case ReportCellKind::Text:
            return value.toString();
        case ReportCellKind::Integer:
            return QString::number(value.toLongLong());
        default:
            return Number(column, Money::fromRaw(value.toLongLong()));
        }
    }

    const ReportDefinition& d;
    const BoundValues& values;
    QString title;
    QString forecast;
    int format;
    std::vector<int> visible;
    std::vector<int> conditionField;
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

// Reads the run's rows, read-only through a connection of its own, into the content; false with the
// database's message.
bool ReadRows(const ReportDefinition& d, const QStringList& fields, const QString& path, qlonglong key,
              CContentBuilder& builder, ReportRows& rows, QString* message)
{
    const QString name = QStringLiteral("report_") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=10000"));
        db.setDatabaseName(path);
        if (!db.open()) {
            *message = db.lastError().text();
        } else {
            QStringList columns;
            for (const QString& f : fields)
                columns << Quoted(f);
            if (columns.isEmpty())
                columns << QStringLiteral("1");
            QSqlQuery q(db);
            q.setForwardOnly(true);
            const QString sql =
                QStringLiteral("select %1 from %2 where %3 = ? order by %4, rowid")
                    .arg(columns.join(QStringLiteral(", ")), Quoted(d.table), Quoted(d.key), Quoted(d.order));
            if (q.prepare(sql)) {
                q.addBindValue(key);
                ok = q.exec();
            }
            if (ok) {
                builder.Bind(fields);
                while (q.next())
                    builder.Add(q, rows);
                if (q.lastError().isValid()) {
                    ok = false;
                    *message = q.lastError().text();
                }
            } else {
                *message = q.lastError().text();
            }
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
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
        content.heading.push_back(ReportHeadingLine{builder.Expand(line.text), line.align, line.bold,
                                                    line.size > 0 ? line.size : definition.fontSize});
    }
    const auto pageLines = [&](const std::vector<ReportPageLine>& lines, std::vector<ReportPageText>& out) {
        for (const ReportPageLine& line : lines)
            if (builder.Shown(line.shownIf))
                out.push_back(
                    ReportPageText{builder.Expand(line.left), builder.Expand(line.center), builder.Expand(line.right)});
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

void ReportRows::AddCell(QStringView text)
{
    if (m_cellsInRow < m_columns) {
        Store(text);
        ++m_cellsInRow;
    }
}

void ReportRows::EndRow(bool bold, bool spans, bool beginsGroup, QStringView groupCaption)
{
    for (; m_cellsInRow < m_columns; ++m_cellsInRow)
        Store(QStringView());
    Store(groupCaption);
    m_cellsInRow = 0;
    m_flags.push_back(std::uint8_t((bold ? kBold : 0) | (spans ? kSpans : 0) | (beginsGroup ? kGroup : 0)));
}

namespace {

constexpr size_t kBlockChars = size_t(1) << 20;
constexpr size_t kLengthLimit = 0xFFFF;

} // namespace

void ReportRows::Store(QStringView text)
{
    const size_t length = std::min<size_t>(size_t(text.size()), kLengthLimit);
    if (length == 0) {
        m_start.push_back(0);
        m_length.push_back(0);
        return;
    }
    if (m_blocks.empty() || m_blockUsed + length > kBlockChars) {
        m_blocks.push_back(std::make_unique<char16_t[]>(kBlockChars));
        m_blockUsed = 0;
    }
    std::copy_n(text.utf16(), length, m_blocks.back().get() + m_blockUsed);
    m_start.push_back(std::uint32_t((m_blocks.size() - 1) * kBlockChars + m_blockUsed));
    m_length.push_back(std::uint16_t(length));
    m_blockUsed += length;
}

QStringView ReportRows::Slot(size_t slot) const
{
    const size_t length = m_length[slot];
    if (length == 0)
        return QStringView();
    const size_t start = m_start[slot];
    return QStringView(m_blocks[start / kBlockChars].get() + start % kBlockChars, qsizetype(length));
}
