#include "Forecasts.h"

#include "Session.h"
#include "db/DbStatistics.h"
#include "tables/Documentation.h"

#include <QFile>

const char* const kPerForecastTables[7] = {"tfctdocumentation", "tfctprice",   "tclsreceiverMap", "tfcttotalprognoz",
                                           "tfctprognozdata",   "tclsproduct", "tfctimportstatus"};

namespace {

const std::array<XmlField<CForecastRecord>, 6> kXmlFields = {{{"id", &CForecastRecord::id},
                                                              {"name", &CForecastRecord::name},
                                                              {"year", &CForecastRecord::year},
                                                              {"owner", &CForecastRecord::owner},
                                                              {"ownerName", &CForecastRecord::ownerName},
                                                              {"status", &CForecastRecord::status}}};

const QString kSelect = QStringLiteral("select id, name, year, owner, ownerName, status from tfctprognoz");

constexpr CRowReader<CForecastRecord> kRows{&ReadForecastRow, UnreadableRow::Skip};

} // namespace

template <>
const CXmlFormat<CForecastRecord>& XmlFormatOf<CForecastRecord>()
{
    static const CXmlFormat<CForecastRecord> format{XmlNames::kForecast, XmlNames::kForecasts, kXmlFields,
                                                    "tfctprognoz"};
    return format;
}

QString GetForecastStatusName(int status)
{
    return TextOf(status, {{0, u"Проект"}, {1, u"Ввод НСИ закрыт"}, {2, u"Прогноз закрыт"}});
}

std::optional<CForecastRecord> ReadForecastRow(const CSqlQuery& q)
{
    if (AnyNull(q, {"id", "name", "year", "status"}))
        return std::nullopt;
    return CForecastRecord{q.intValue("id"),        q.text("name"),      q.intValue("year", 0),
                           q.intValue("owner", -1), q.text("ownerName"), q.intValue("status", 0)};
}

std::optional<CForecastRecord> GetForecast(int id)
{
    return kRows.FirstOf(OnDbError::Report, kSelect + QStringLiteral(" where id = ?"), id);
}

bool IsCurrentForecastEditable(const CSessionState& session)
{
    const auto forecast = GetForecast(session.currentForecastId);
    return forecast && forecast->status == 0;
}

int GetNewestForecast()
{
    CSqlQuery q(QStringLiteral("select max(id) from tfctprognoz"));
    if (!q.exec() || !q.next() || q.value(0).isNull())
        return 0;
    return q.value(0).toInt();
}

int GetForecastCount()
{
    CSqlQuery q(QStringLiteral("select count(id) from tfctprognoz"));
    if (!q.execOrReport() || !q.next())
        return 0;
    return q.value(0).toInt();
}

std::optional<CForecastList> LoadForecasts(const SqlFilter& filter)
{
    return kRows.ListOf(OnDbError::Report, filter.apply(kSelect), filter.args);
}

namespace {

bool InsertForecastRow(const CForecastRecord& rec)
{
    CSqlQuery q(
        QStringLiteral("insert into tfctprognoz (id, name, year, owner, ownerName, status) values (?, ?, ?, ?, ?, ?)"));
    q.bind(rec.id).bind(rec.name).bind(rec.year).bind(rec.owner).bind(rec.ownerName).bind(rec.status);
    return q.execOrReport();
}

} // namespace

bool SaveForecast(CForecastRecord& rec)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    // A failed insert must not leave the record with an id that no row has: saving it again would
    // then overwrite whatever forecast gets that id meanwhile.
    const int originalId = rec.id;
    auto fail = [&] {
        rec.id = originalId;
        return false;
    };
    bool isNew = rec.id == -1;
    int previousStatus = 0;
    if (!isNew) {
        CSqlQuery q(QStringLiteral("select status from tfctprognoz where id = ?"));
        q.bind(rec.id);
        if (!q.execOrReport())
            return fail();
        if (q.next())
            previousStatus = q.intValue("status", 0);
        else
            isNew = true;
    }
    const bool statusChanged = previousStatus != rec.status;
    if (rec.id == -1) {
        auto id = NextTableId(QStringLiteral("tfctprognoz"));
        if (!id)
            return fail();
        rec.id = *id;
    }
    if (isNew) {
        if (!InsertForecastRow(rec))
            return fail();
    } else {
        CSqlQuery q(QStringLiteral(
            "update tfctprognoz set name = ?, year = ?, owner = ?, ownerName = ?, status = ? where id = ?"));
        q.bind(rec.name).bind(rec.year).bind(rec.owner).bind(rec.ownerName).bind(rec.status).bind(rec.id);
        if (!q.execOrReport())
            return fail();
    }
    WriteForecastJournal(rec, statusChanged ? JOURNAL_CHANGE_STATUS : (isNew ? JOURNAL_INSERT : JOURNAL_UPDATE));
    if (!tx.commit())
        return fail();
    return true;
}

namespace {

bool CopyFromSource(int target, int source, bool copyReferenceData, bool copyReceiversOnly, bool copyData)
{
    const bool copyReceivers = copyReferenceData || copyReceiversOnly;
    const bool copyClassifier = copyReferenceData && !copyReceiversOnly;
    if (copyReceivers
        && !ExecSql(QStringLiteral("insert into tclsreceivermap (prognoz, receiver, subReceiverCount) "
                                   "select ?, receiver, subReceiverCount from tclsreceivermap where prognoz = ?"),
                    target, source))
        return false;
    if (copyClassifier) {
        if (!ExecSql(
                QStringLiteral(
                    "insert into tclsproduct (prognoz, id, parent, measurementNatural, measurementPrice, name, "
                    "position, comment, offsetMin, offsetMax, type, isgroup, balanceTitle, code, "
                    "measurementNatural2, measurementPrice2, avRep, avCur, avProg, priceIdx) "
                    "select ?, id, parent, measurementNatural, measurementPrice, name, position, comment, offsetMin, "
                    "offsetMax, type, isgroup, balanceTitle, code, measurementNatural2, measurementPrice2, avRep, "
                    "avCur, avProg, priceIdx from tclsproduct where prognoz = ?"),
                target, source))
            return false;
        if (!ExecSql(
                QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) "
                               "select ?, product, pricePrev, priceCur, priceNext from tfctprice where prognoz = ? "
                               "order by id"),
                target, source))
            return false;
        if (copyData
            && !ExecSql(QStringLiteral(
                            "insert into tfctprognozdata (prognoz, product, receiver, sumLast, sumCurr, sumNext, "
                            "valueLast, valueCurr, valueNext, comment, base, baseMethod, valueNorm, valueIndex, "
                            "valuePlan, valueFormula, valueOther, sumNorm, sumIndex, sumPlan, sumFormula, sumOther) "
                            "select ?, product, receiver, sumLast, sumCurr, sumNext, valueLast, valueCurr, valueNext, "
                            "comment, base, baseMethod, valueNorm, valueIndex, valuePlan, valueFormula, valueOther, "
                            "sumNorm, sumIndex, sumPlan, sumFormula, sumOther from tfctprognozdata where prognoz = ? "
                            "order by id"),
                        target, source))
            return false;
    }
    return true;
}

bool CreateRootProduct(int forecast)
{
    auto id = NextTableId(QStringLiteral("tclsproduct"));
    if (!id)
        return false;
    // The product reads list only products that have a price row: the root gets one with zeros.
    // The top of the tree has parent 0, and the reads want the price bounds set.
    return ExecSql(QStringLiteral("insert into tclsproduct (prognoz, id, parent, name, position, offsetMin, offsetMax, "
                                  "type, isgroup, balanceTitle) values (?, ?, 0, ?, 1, 0, 0, ?, 1, '')"),
                   forecast, *id, kRootProductName, kRootProductType)
        && ExecSql(QStringLiteral("insert into tfctprice (prognoz, product, pricePrev, priceCur, priceNext) "
                                  "values (?, ?, ?, ?, ?)"),
                   forecast, *id, Money(), Money(), Money());
}

} // namespace

bool CreateForecast(CForecastRecord& rec, int sourceForecast, bool copyReferenceData, bool copyReceiversOnly,
                    bool copyData)
{
    if (rec.id != -1)
        return SaveForecast(rec);

    CTransaction tx;
    if (!tx.isActive())
        return false;
    auto id = NextTableId(QStringLiteral("tfctprognoz"));
    if (!id)
        return false;
    CForecastRecord created = rec;
    created.id = *id;
    created.status = 0;
    created.owner = -1;
    if (!InsertForecastRow(created))
        return false;
    if (!CopyFromSource(created.id, sourceForecast, copyReferenceData, copyReceiversOnly, copyData))
        return false;
    const bool hasClassifier = copyReferenceData && !copyReceiversOnly;
    if (!hasClassifier && !CreateRootProduct(created.id))
        return false;
    WriteForecastJournal(created, JOURNAL_INSERT);
    if (!tx.commit())
        return false;
    rec = created;
    return true;
}

bool DeleteForecast(CForecastRecord& rec)
{
    return DeleteRow(
        rec, -1, kRows, &WriteForecastJournal, OnDbError::Report,
        QStringLiteral("delete from tfctprognoz where id = ? returning id, name, year, owner, ownerName, status"),
        rec.id);
}

bool DeleteForecastWithData(int id)
{
    CTransaction tx;
    if (!tx.isActive())
        return false;
    const auto documents = LoadDocumentation(SqlFilter(QStringLiteral("prognoz = ?"), {id}));
    if (!documents)
        return false;
    for (const char* table : kPerForecastTables)
        if (!ExecSql(QStringLiteral("delete from %1 where prognoz = ?").arg(QLatin1String(table)), id))
            return false;
    // Rights on the forecast would block its row. Only administrators may write rights on a server, so
    // the delete is run only when there are any.
    const auto rights = RowExists(QStringLiteral("select 1 from tfctuserrights where ForecastID = ?"), id);
    if (!rights || (*rights && !ExecSql(QStringLiteral("delete from tfctuserrights where ForecastID = ?"), id)))
        return false;
    // Mailings have no key to the forecast, and one received again under the same id would show them.
    if (!ExecSql(QStringLiteral("delete from tfctmailing where prognoz = ?"), id))
        return false;
    CForecastRecord rec;
    rec.id = id;
    if (!DeleteForecast(rec))
        return false;
    QStringList files;
    for (const CDocumentationRecord& doc : *documents)
        files << MakeDocFileName(doc);
    GetDBConnection().AfterCommit([files] {
        for (const QString& file : files)
            QFile::remove(file);
    });
    RefreshStatistics(kPerForecastTables);
    return tx.commit();
}

void WriteForecastJournal(const CForecastRecord& rec, int operation)
{
    QueueJournal([&] { return JournalHead(operation, "Prognoz", rec.id) + QStringLiteral("Name=") + rec.name; });
}
