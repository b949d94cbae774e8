#include "ReportDefinition.h"

#include "ReportText.h"
#include "xml/XmlRecord.h"

#include <QFileInfo>

#include <libxml/tree.h>

#include <cstring>
#include <iterator>

const ReportParameter* ReportDefinition::Parameter(const QString& name) const
{
    for (const ReportParameter& p : parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

int ReportDefinition::RowCondition(const QString& name) const
{
    for (size_t i = 0; i < rowConditions.size(); ++i)
        if (rowConditions[i].name == name)
            return int(i);
    return -1;
}

QStringList ReportDefinition::Fields() const
{
    QStringList fields;
    const auto add = [&fields](const QString& f) {
        if (!f.isEmpty() && !fields.contains(f))
            fields << f;
    };
    for (const ReportColumn& c : columns) {
        add(c.field);
        if (c.quotient) {
            add(c.quotient->field);
            add(c.quotient->divisorField);
        }
    }
    for (const ReportRowCondition& c : rowConditions)
        add(c.test.subject);
    for (const ReportRowStyle& s : rowStyles)
        add(s.span);
    if (groupCaption)
        add(groupCaption->field);
    return fields;
}

namespace {

bool Named(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::optional<QString> Attribute(const xmlNode* node, const char* name)
{
    xmlChar* value = xmlGetProp(node, BAD_CAST name);
    if (!value)
        return std::nullopt;
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return text;
}

QString AttributeOr(const xmlNode* node, const char* name, const QString& otherwise = QString())
{
    return Attribute(node, name).value_or(otherwise);
}

std::vector<const xmlNode*> Children(const xmlNode* node)
{
    std::vector<const xmlNode*> out;
    for (const xmlNode* c = node->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            out.push_back(c);
    return out;
}

ReportAlign AlignOf(const QString& text)
{
    return text == u"right" ? ReportAlign::Right : text == u"center" ? ReportAlign::Center : ReportAlign::Left;
}

bool IsTrue(const QString& text)
{
    return text == u"true" || text == u"1";
}

// Reads the definition after its form was checked; what is left to check is whether the names it
// uses are declared. The first problem ends the reading.
class CDefinitionReader {
public:
    std::optional<ReportDefinition> Read(const xmlNode* root)
    {
        d.landscape = AttributeOr(root, "orientation") == u"landscape";
        d.fontSize = AttributeOr(root, "fontSize", QStringLiteral("8")).toDouble();
        for (const xmlNode* section : Children(root)) {
            if (Named(section, "parameters"))
                ReadParameters(section);
            else if (Named(section, "heading"))
                for (const xmlNode* line : Children(section))
                    ReadLine(line);
            else if (Named(section, "pages"))
                for (const xmlNode* line : Children(section))
                    (Named(line, "header") ? d.pageHeader : d.pageFooter).push_back(ReadPageLine(line));
            else if (Named(section, "table"))
                ReadTable(section);
        }
        if (!ok)
            return std::nullopt;
        return std::move(d);
    }

private:
    void Check(bool condition)
    {
        if (!condition)
            ok = false;
    }

    void ReadParameters(const xmlNode* node)
    {
        for (const xmlNode* p : Children(node)) {
            ReportParameter param;
            param.name = AttributeOr(p, "name");
            const QString type = AttributeOr(p, "type", QStringLiteral("text"));
            param.type = type == u"integer" ? ReportParameterType::Integer
                : type == u"year"           ? ReportParameterType::Year
                : type == u"money"          ? ReportParameterType::Money
                                            : ReportParameterType::Text;
            param.list = IsTrue(AttributeOr(p, "list"));
            param.bracketedTail = AttributeOr(p, "tail") == u"bracketed";
            Check(!param.bracketedTail || param.list);
            Check(!param.list || param.type == ReportParameterType::Text);
            d.parameters.push_back(param);
        }
    }

    // A text's placeholders name the title, the forecast (on page lines also the page numbers) or
    // declared parameters; offsets only numbers.
    void CheckText(const QString& text, bool pageLine = false)
    {
        Check(CheckReportText(text, [this, pageLine](const QString& name, bool offset) {
            const ReportParameter* p = d.Parameter(name);
            if (!p && (IsReportPlaceholder(name) || (pageLine && IsReportPagePlaceholder(name))))
                return !offset;
            return p && (!offset || p->type == ReportParameterType::Integer || p->type == ReportParameterType::Year);
        }));
    }

    ReportTest ParameterTest(const xmlNode* node)
    {
        ReportTest test = TestOf(node, "if");
        if (test.used)
            Check(d.Parameter(test.subject) != nullptr);
        return test;
    }

    // One of is, isNot (and on rows startsWith, notStartsWith) with the subject, none without.
    ReportTest TestOf(const xmlNode* node, const char* subjectAttribute)
    {
        ReportTest test;
        const auto subject = Attribute(node, subjectAttribute);
        const std::optional<QString> tests[] = {Attribute(node, "is"), Attribute(node, "isNot"),
                                                Attribute(node, "startsWith"), Attribute(node, "notStartsWith")};
        int given = 0;
        for (size_t i = 0; i < std::size(tests); ++i) {
            if (!tests[i])
                continue;
            ++given;
            test.value = *tests[i];
            test.negate = i % 2 == 1;
            test.prefix = i >= 2;
        }
        if (!subject) {
            Check(given == 0);
            return test;
        }
        Check(given == 1);
        test.used = true;
        test.subject = *subject;
        return test;
    }

    void ReadLine(const xmlNode* node)
    {
        ReportLine line;
        line.text = XmlContent(node);
        line.align = AlignOf(AttributeOr(node, "align"));
        line.bold = IsTrue(AttributeOr(node, "bold"));
        line.size = AttributeOr(node, "size", QStringLiteral("0")).toDouble();
        line.shownIf = ParameterTest(node);
        CheckText(line.text);
        d.heading.push_back(line);
    }

    ReportPageLine ReadPageLine(const xmlNode* node)
    {
        ReportPageLine line;
        line.left = AttributeOr(node, "left");
        line.center = AttributeOr(node, "center");
        line.right = AttributeOr(node, "right");
        line.shownIf = ParameterTest(node);
        for (const QString* text : {&line.left, &line.center, &line.right})
            CheckText(*text, true);
        return line;
    }

    ReportHeaderNode ReadColumn(const xmlNode* node)
    {
        ReportColumn c;
        c.caption = AttributeOr(node, "caption");
        c.field = AttributeOr(node, "field");
        const QString kind = AttributeOr(node, "kind", QStringLiteral("text"));
        c.kind = kind == u"money" ? ReportCellKind::Money
            : kind == u"quantity" ? ReportCellKind::Quantity
            : kind == u"price"    ? ReportCellKind::Price
            : kind == u"percent"  ? ReportCellKind::Percent
            : kind == u"integer"  ? ReportCellKind::Integer
            : kind == u"empty"    ? ReportCellKind::Empty
                                  : ReportCellKind::Text;
        c.width = AttributeOr(node, "width", QStringLiteral("10")).toDouble();
        if (const auto align = Attribute(node, "align"))
            c.align = AlignOf(*align);
        c.decimals = AttributeOr(node, "decimals", QStringLiteral("2")).toInt();
        c.decimalsParameter = AttributeOr(node, "decimalsParameter");
        if (!c.decimalsParameter.isEmpty())
            Check(d.Parameter(c.decimalsParameter)
                  && d.Parameter(c.decimalsParameter)->type == ReportParameterType::Integer);
        c.blankWhen = AttributeOr(node, "blankWhen");
        if (!c.blankWhen.isEmpty())
            Check(d.RowCondition(c.blankWhen) >= 0);
        c.wrap = AttributeOr(node, "wrap") == u"never" ? ReportWrap::Never : ReportWrap::Words;
        c.shownIf = ParameterTest(node);
        for (const xmlNode* q : Children(node)) {
            ReportQuotient quotient;
            quotient.field = AttributeOr(q, "field");
            quotient.divisorField = AttributeOr(q, "divisorField");
            quotient.divisorParameter = AttributeOr(q, "divisorParameter");
            quotient.offset = AttributeOr(q, "offset", QStringLiteral("0")).toDouble();
            // One divisor: a field or a money or number parameter.
            Check(quotient.divisorField.isEmpty() != quotient.divisorParameter.isEmpty());
            if (!quotient.divisorParameter.isEmpty()) {
                const ReportParameter* p = d.Parameter(quotient.divisorParameter);
                Check(p && p->type != ReportParameterType::Text);
            }
            c.quotient = quotient;
        }
        // A cell shows a field or a quotient, unless it is left empty on purpose.
        Check(c.kind == ReportCellKind::Empty || c.field.isEmpty() == c.quotient.has_value());
        // A quotient is a number.
        Check(!c.quotient || (c.kind != ReportCellKind::Text && c.kind != ReportCellKind::Integer));
        CheckText(c.caption);

        ReportHeaderNode header;
        header.caption = c.caption;
        header.shownIf = c.shownIf;
        header.column = int(d.columns.size());
        d.columns.push_back(std::move(c));
        return header;
    }

    std::vector<ReportHeaderNode> ReadColumns(const xmlNode* parent)
    {
        std::vector<ReportHeaderNode> nodes;
        for (const xmlNode* node : Children(parent)) {
            if (Named(node, "column")) {
                nodes.push_back(ReadColumn(node));
            } else if (Named(node, "group")) {
                ReportHeaderNode group;
                group.caption = AttributeOr(node, "caption");
                group.shownIf = ParameterTest(node);
                CheckText(group.caption);
                group.children = ReadColumns(node);
                nodes.push_back(std::move(group));
            }
        }
        return nodes;
    }

    void ReadTable(const xmlNode* node)
    {
        d.table = AttributeOr(node, "name");
        d.key = AttributeOr(node, "key");
        d.keyParameter = AttributeOr(node, "parameter");
        d.order = AttributeOr(node, "order", QStringLiteral("rowid"));
        // The run's id is a number.
        const ReportParameter* key = d.Parameter(d.keyParameter);
        Check(key && key->type == ReportParameterType::Integer);
        for (const xmlNode* c : Children(node)) {
            if (Named(c, "rowCondition")) {
                ReportRowCondition condition;
                condition.name = AttributeOr(c, "name");
                condition.test = TestOf(c, "field");
                d.rowConditions.push_back(condition);
            } else if (Named(c, "rowStyle")) {
                ReportRowStyle style;
                style.when = AttributeOr(c, "when");
                style.bold = IsTrue(AttributeOr(c, "bold"));
                style.span = AttributeOr(c, "span");
                Check(d.RowCondition(style.when) >= 0);
                d.rowStyles.push_back(style);
            } else if (Named(c, "groupCaption")) {
                ReportGroupCaption caption;
                caption.when = AttributeOr(c, "when");
                caption.field = AttributeOr(c, "field");
                caption.suffix = AttributeOr(c, "suffix");
                Check(d.RowCondition(caption.when) >= 0);
                d.groupCaption = caption;
            }
        }
        d.header = ReadColumns(node);
    }

    ReportDefinition d;
    bool ok = true;
};

} // namespace

std::optional<ReportDefinition> LoadReportDefinition(const QString& path, const QString& schemaPath, ReportError* error)
{
    const auto fail = [&](int code, const QString& reason = QString()) {
        if (error)
            *error = ReportError{code, reason.isEmpty() ? path : path + QStringLiteral(" — ") + reason};
        return std::nullopt;
    };
    if (!QFileInfo(path).isFile())
        return fail(REPORT_ERROR_UNREADABLE);
    // A definition nested deeper than a document may be (groups of columns without end) is refused
    // with the reason before its tree is built.
    QString reason;
    XmlDocPtr doc = XmlParseFile(path, &reason);
    if (!doc)
        return fail(REPORT_ERROR_UNREADABLE, reason);
    if (!ValidateAgainstSchema(doc.get(), schemaPath))
        return fail(REPORT_ERROR_INVALID);
    auto definition = CDefinitionReader().Read(xmlDocGetRootElement(doc.get()));
    if (!definition)
        return fail(REPORT_ERROR_INVALID);
    return definition;
}
