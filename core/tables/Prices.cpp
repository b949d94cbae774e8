#include "Prices.h"

#include "Journal.h"
#include "TableCommon.h"
#include "xml/XmlRecord.h"

#include <array>

namespace {

const std::array<XmlField<CPriceRecord>, 6> kXmlFields = {{
    XmlField<CPriceRecord>::integer("id", &CPriceRecord::id),
    XmlField<CPriceRecord>::integer("prognoz", &CPriceRecord::prognoz),
    XmlField<CPriceRecord>::integer("product", &CPriceRecord::product),
    XmlField<CPriceRecord>::money("priceprev", &CPriceRecord::pricePrev),
    XmlField<CPriceRecord>::money("pricecur", &CPriceRecord::priceCur),
    XmlField<CPriceRecord>::money("pricenext", &CPriceRecord::priceNext),
}};

const QString kSelect = QStringLiteral("select id, prognoz, product, pricePrev, priceCur, priceNext from tfctprice");
const QString kInsert =
    QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) values (?, ?, ?, ?, ?)");

std::optional<CPriceRecord> FirstRow(CSqlQuery& q)
{
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ReadPriceRow(q);
}

} // namespace

std::optional<CPriceRecord> ReadPriceRow(const CSqlQuery& q)
{
    if (q.isNull("id") || q.isNull("prognoz") || q.isNull("product"))
        return std::nullopt;
    CPriceRecord r;
    r.id = q.intValue("id");
    r.prognoz = q.intValue("prognoz");
    r.product = q.intValue("product");
    r.pricePrev = q.money("pricePrev");
    r.priceCur = q.money("priceCur");
    r.priceNext = q.money("priceNext");
    return r;
}

std::optional<CPriceRecord> GetPrice(int product, int prognoz)
{
    CSqlQuery q(kSelect + QStringLiteral(" where prognoz = ? and product = ? order by id"));
    q.bind(prognoz).bind(product);
    return FirstRow(q);
}

std::optional<CPriceRecord> GetPriceById(int id, int prognoz)
{
    CSqlQuery q(kSelect + QStringLiteral(" where prognoz = ? and id = ?"));
    q.bind(prognoz).bind(id);
    return FirstRow(q);
}

std::optional<CPriceList> LoadPrices(const SqlFilter& filter)
{
    CSqlQuery q(filter.apply(kSelect));
    q.bindAll(filter.args);
    if (!q.exec())
        return std::nullopt;
    CPriceList list;
    while (q.next()) {
        auto rec = ReadPriceRow(q);
        if (!rec)
            return std::nullopt;
        list.push_back(*rec);
    }
    return list;
}

bool SavePrice(CPriceRecord& rec, bool takeNewId)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    // The first row of the pair, as a lookup by product and forecast finds it.
    CSqlQuery update(QStringLiteral("update tfctprice set pricePrev = ?, priceCur = ?, priceNext = ? where id = "
                                    "(select min(id) from tfctprice where product = ? and prognoz = ?)"));
    update.bind(rec.pricePrev).bind(rec.priceCur).bind(rec.priceNext).bind(rec.product).bind(rec.prognoz);
    if (!update.execOrReport())
        return false;
    int id = rec.id;
    if (update.numRowsAffected() == 0) {
        CSqlQuery insert(kInsert + QStringLiteral(" returning id"));
        insert.bind(rec.prognoz).bind(rec.product).bind(rec.pricePrev).bind(rec.priceCur).bind(rec.priceNext);
        if (!insert.execOrReport() || !insert.next())
            return false;
        if (takeNewId)
            id = insert.intValue("id");
    }
    if (!tx.commit())
        return false;
    rec.id = id;
    return true;
}

bool AppendPrices(const CPriceList& list, const std::set<int>& skipProducts)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    CSqlQuery q(kInsert);
    for (const CPriceRecord& rec : list) {
        if (skipProducts.count(rec.product))
            continue;
        q.bind(rec.prognoz).bind(rec.product).bind(rec.pricePrev).bind(rec.priceCur).bind(rec.priceNext);
        if (!q.execOrReport())
            return false;
    }
    return tx.commit();
}

bool DeleteForecastPrices(int prognoz)
{
    if (!ExecSql(QStringLiteral("delete from tfctprice where prognoz = ?"), prognoz))
        return false;
    WriteOpJournal(FormatPriceJournal(nullptr));
    return true;
}

bool DeletePrice(CPriceRecord& rec, int prognoz)
{
    CSqlQuery q(QStringLiteral(
        "delete from tfctprice where id = ? and product = ? and prognoz = ? returning id, prognoz, product, pricePrev, "
        "priceCur, priceNext"));
    q.bind(rec.id).bind(rec.product).bind(prognoz);
    if (!q.execOrReport())
        return false;
    std::optional<CPriceRecord> stored;
    if (q.next())
        stored = ReadPriceRow(q);
    if (stored)
        WriteOpJournal(FormatPriceJournal(&*stored));
    rec.id = -1;
    return true;
}

QString FormatPriceJournal(const CPriceRecord* stored)
{
    QString text = JournalOperationWord(JOURNAL_DELETE) + QStringLiteral("Price; ");
    if (stored)
        text += QStringLiteral("prognoz=%1; product=%2").arg(stored->prognoz).arg(stored->product);
    else
        text += QStringLiteral(" all records for prognoz");
    return text;
}

xmlNodePtr PriceToXml(xmlNodePtr parent, const CPriceRecord& rec)
{
    return RecordToXml<CPriceRecord>(parent, XmlNames::kPrice, rec, kXmlFields);
}

xmlNodePtr PriceListToXml(xmlNodePtr parent, const CPriceList& list)
{
    return ListToXml<CPriceRecord>(parent, XmlNames::kPrices, XmlNames::kPrice, list, kXmlFields);
}

std::optional<CPriceRecord> ReadPriceXml(const xmlNode* node)
{
    return ReadRecordXml<CPriceRecord>(node, XmlNames::kPrice, kXmlFields);
}

std::optional<CPriceList> ImportPricesXml(const xmlNode* node)
{
    return ReadListXml<CPriceRecord>(node, XmlNames::kPrices, XmlNames::kPrice, kXmlFields);
}
