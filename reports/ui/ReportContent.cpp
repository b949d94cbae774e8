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
    CContentBuilder(const ReportDefinition& definition, const BoundValues& values, const QString& title, int format)
        : d(definition)
        , values(values)
        , title(title)
        , format(format)
    {
    }

    QString Expand(const QString& text) const
    {
        return ExpandReportText(text, [this](const QString& name, int offset) {
            const auto it = values.constFind(name);
            if (it == values.constEnd())
                return name == kReportTitlePlaceholder ? title : QString();
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
    }

    void Fill(ReportContent& content, const std::vector<std::vector<QVariant>>& rows, const QStringList& fields)
    {
        QHash<QString, int> fieldIndex;
        for (int i = 0; i < fields.size(); ++i)
            fieldIndex.insert(fields[i], i);
        for (int c : visible) {
            const ReportColumn& column = d.columns[size_t(c)];
            ReportLayoutColumn layout;
            layout.width = column.width;
            const bool number = column.kind != ReportCellKind::Text && column.kind != ReportCellKind::Empty;
            layout.align = column.align.value_or(number ? ReportAlign::Right : ReportAlign::Left);
            content.columns.push_back(layout);
        }
        for (const auto& values : rows) {
            const auto field = [&](const QString& name) -> const QVariant& {
                static const QVariant none;
                const auto it = fieldIndex.constFind(name);
                return it == fieldIndex.constEnd() ? none : values[size_t(*it)];
            };
            std::vector<bool> holds;
            for (const ReportRowCondition& condition : d.rowConditions)
                holds.push_back(condition.test.Holds(field(condition.test.subject).toString()));

            ReportBodyRow row;
            for (const ReportRowStyle& style : d.rowStyles) {
                if (!holds[size_t(d.RowCondition(style.when))])
                    continue;
                row.bold = row.bold || style.bold;
                if (!row.spans && !style.span.isEmpty()) {
                    row.spans = true;
                    row.spanText = field(style.span).toString();
                }
            }
            for (int c : visible) {
                const ReportColumn& column = d.columns[size_t(c)];
                const bool blank = !column.blankWhen.isEmpty() && holds[size_t(d.RowCondition(column.blankWhen))];
                row.cells << (blank ? QString() : CellText(column, field));
            }
            content.rows.push_back(std::move(row));
        }
    }

private:
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

    template <class Field>
    QString CellText(const ReportColumn& column, const Field& field) const
    {
        if (column.kind == ReportCellKind::Empty)
            return QString();
        if (column.quotient) {
            const ReportQuotient& q = *column.quotient;
            const qlonglong numerator = field(q.field).toLongLong();
            const qlonglong divisor = q.divisorField.isEmpty() ? values.value(q.divisorParameter).money.raw()
                                                               : field(q.divisorField).toLongLong();
            Money result;
            if (divisor != 0) {
                const auto m = Money::fromDouble(double(numerator) / double(divisor) * 100.0 + q.offset);
                if (!m)
                    return QString();
                result = *m;
            }
            return Number(column, result);
        }
        const QVariant& value = field(column.field);
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
    int format;
    std::vector<int> visible;
};

QString Quoted(const QString& identifier)
{
    return QLatin1Char('"') + identifier + QLatin1Char('"');
}

// The run's rows, read-only through a connection of their own; false with the database's message.
bool ReadRows(const ReportDefinition& d, const QStringList& fields, const QString& path, qlonglong key,
              std::vector<std::vector<QVariant>>* rows, QString* message)
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
                while (q.next()) {
                    std::vector<QVariant> row;
                    row.reserve(size_t(fields.size()));
                    for (int i = 0; i < fields.size(); ++i)
                        row.push_back(q.value(i));
                    rows->push_back(std::move(row));
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
                                                const QString& title, const QString& databasePath, int numberFormat,
                                                ReportError* error)
{
    BoundValues bound;
    if (!Bind(definition, values, &bound)) {
        if (error)
            *error = ReportError{REPORT_ERROR_VALUES, QString()};
        return std::nullopt;
    }
    CContentBuilder builder(definition, bound, title, numberFormat);
    ReportContent content;
    content.title = title;
    content.landscape = definition.landscape;
    content.fontSize = definition.fontSize;
    for (const ReportLine& line : definition.heading) {
        if (!builder.Shown(line.shownIf))
            continue;
        content.heading.push_back(ReportHeadingLine{builder.Expand(line.text), line.align, line.bold,
                                                    line.size > 0 ? line.size : definition.fontSize});
    }
    builder.LayOutHeader(content);

    const QStringList fields = definition.Fields();
    std::vector<std::vector<QVariant>> rows;
    QString message;
    if (!ReadRows(definition, fields, databasePath, bound.value(definition.keyParameter).number, &rows, &message)) {
        if (error)
            *error = ReportError{REPORT_ERROR_DATA, message};
        return std::nullopt;
    }
    builder.Fill(content, rows, fields);
    return content;
}
