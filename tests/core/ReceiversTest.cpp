#include "tables/Receivers.h"
#include "DbTest.h"
#include "Settings.h"
#include "tables/ReceiverMap.h"
#include "xml/XmlRecord.h"

#include <QProcess>

#include <algorithm>

class ReceiversTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped())
            return;
        Exec("insert into tFctPrognoz (id, name, year, status) values (1, 'a', 2026, 0), (2, 'b', 2026, 0)");
    }

    // A stored and mapped receiver, written directly.
    void Add(int id, int category, const QString& name, int isgroup = 0, int position = 0, int forecast = 1,
             int subCount = 0, int importedId = 0)
    {
        Exec("insert into tClsReceiver (id, category, name, email, position, importedId, type, isgroup) "
             "values (?, ?, ?, 'm@x', ?, ?, 2, ?)",
             {id, category, name, position, importedId, isgroup});
        Map(id, forecast, subCount);
    }
    void Map(int id, int forecast, int subCount = 0)
    {
        Exec("insert into tClsReceiverMap (prognoz, receiver, subReceiverCount) values (?, ?, ?)",
             {forecast, id, subCount});
    }
    static QList<int> Ids(const std::optional<CReceiverList>& list)
    {
        QList<int> ids;
        if (list)
            for (const auto& r : *list)
                ids << r.id;
        return ids;
    }
};
LIR_INSTANTIATE_DB_TEST(ReceiversTest);

TEST_P(ReceiversTest, SaveNumbersAndJournals)
{
    Add(41, 0, QStringLiteral("Минфин"), 1);
    SetJournal(true);
    CReceiverRecord rec;
    rec.category = 41;
    rec.name = QStringLiteral("Школа №1");
    rec.email = QStringLiteral("s@x");
    ASSERT_TRUE(SaveReceiver(rec));
    EXPECT_EQ(rec.id, 42);
    rec.position = 5;
    ASSERT_TRUE(SaveReceiver(rec));
    CReceiverRecord seven;
    seven.id = 7;
    seven.name = QStringLiteral("Семь");
    ASSERT_TRUE(SaveReceiver(seven)); // not placed: stored with category -1
    EXPECT_EQ(JournalTexts(),
              (QStringList{QStringLiteral("Insert Receiver; id=42; Name=Школа №1; EMail=s@x"),
                           QStringLiteral("Update Receiver; Name=Школа №1; EMail=s@x"),
                           QStringLiteral("Insert Receiver; id=7; Name=Семь; EMail=")}));
    EXPECT_EQ(Scalar("select category from tClsReceiver where id = 7").toInt(), -1);
    Map(7, 1);
    Map(42, 1);
    const auto back = GetForecastReceiver(7, 1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->category, -1);
    EXPECT_EQ(back->type, 1);
    EXPECT_TRUE(IsTopLevelReceiver(7, 1));
    EXPECT_EQ(GetForecastReceiver(42, 1)->position, 5);
    QList<int> tree = Ids(LoadForecastTreeReceivers(1));
    std::sort(tree.begin(), tree.end());
    EXPECT_EQ(tree, (QList<int>{41, 42})) << "the unplaced receiver is not in the tree";

    CReceiverRecord tooLong;
    tooLong.name = QString(256, u'я');
    EXPECT_FALSE(SaveReceiver(tooLong));
    EXPECT_EQ(tooLong.id, -1);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(ReceiversTest, ForecastReads)
{
    Add(1, 0, QStringLiteral("Минфин"), 1);
    Add(2, 1, QStringLiteral("Б"), 0, 6);
    Add(3, 1, QStringLiteral("А"), 1, 2, 1, 0, 77);
    Add(4, 3, QStringLiteral("О'Нил"), 0, 0);
    Add(5, 0, QStringLiteral("Другой"), 1, 0, 2);
    Exec("insert into tClsReceiver (id, category, name, importedId, isgroup) values (6, 1, null, 0, 0)");
    Map(6, 1);

    EXPECT_EQ(GetForecastRootReceiver(1)->id, 1);
    EXPECT_EQ(GetForecastRootReceiver(2)->id, 5);
    EXPECT_FALSE(GetForecastReceiver(5, 1));
    EXPECT_EQ(GetForecastReceiverByImportedId(77, 1)->id, 3);
    EXPECT_FALSE(GetForecastReceiverByImportedId(77, 2));
    EXPECT_EQ(GetReceiverByImportedId(77)->id, 3);
    EXPECT_EQ(FindChildReceiverId(1, 3), 4);
    EXPECT_EQ(FindChildReceiverId(1, 4), -1);
    EXPECT_TRUE(IsTopLevelReceiver(1, 1));
    EXPECT_FALSE(IsTopLevelReceiver(2, 1));
    EXPECT_FALSE(IsTopLevelReceiver(5, 1));

    // Position order without a filter; the nameless row cannot be read.
    EXPECT_EQ(Ids(LoadReceiverChildren(1, 1)), (QList<int>{3, 2}));
    EXPECT_EQ(Ids(LoadReceiverChildren(1, 1, SqlFilter(QStringLiteral("r1.isgroup = ? or 1 = 1"), {0}))).size(), 2)
        << "a caller's 'or' stays inside the parent and forecast";
    EXPECT_EQ(
        Ids(LoadForecastReceivers(1, SqlFilter(QStringLiteral("tclsreceiver.name = ?"), {QStringLiteral("О'Нил")}))),
        QList<int>{4});
    EXPECT_EQ(Ids(LoadForecastReceivers(1, SqlFilter({}, {}, QStringLiteral("tclsreceiver.id desc")))),
              (QList<int>{4, 3, 2, 1}));
    EXPECT_EQ(Ids(LoadReceiverAncestors(1, 4)), (QList<int>{4, 3, 1}));
    EXPECT_EQ(Ids(LoadReceiverAncestors(1, 1)), QList<int>{1});
    EXPECT_TRUE(messages.empty());

    EXPECT_FALSE(LoadForecastReceivers(1, SqlFilter(QStringLiteral("nosuchcolumn = 1"))));
    EXPECT_EQ(messages.size(), 1u);
}

TEST_P(ReceiversTest, DeleteOnlyWhatTheCurrentForecastHolds)
{
    Add(1, 0, QStringLiteral("Минфин"), 1);
    Add(2, 1, QStringLiteral("Школа"));
    Add(3, 0, QStringLiteral("Чужой"), 1, 0, 2);
    SetJournal(true);
    EXPECT_FALSE(DeleteReceiver(3, 1)) << "not in the current forecast";
    EXPECT_FALSE(DeleteReceiver(1, 1)) << "a top group stays";
    CReceiverRecord rec = *GetForecastReceiver(2, 1);
    EXPECT_TRUE(DeleteReceiver(rec, 1));
    EXPECT_EQ(rec.id, -1);
    EXPECT_EQ(Count("tClsReceiver"), 2);
    EXPECT_EQ(JournalTexts(), QStringList{QStringLiteral("Delete Receiver; id=2; Name=Школа; EMail=m@x")});
    EXPECT_TRUE(messages.empty());
}

TEST_P(ReceiversTest, MapAndCounts)
{
    Add(1, 0, QStringLiteral("T"), 1);
    Add(2, 1, QStringLiteral("A"), 0, 1, 1, 0);
    Add(3, 1, QStringLiteral("B"), 0, 2, 1, 2);
    Add(4, 1, QStringLiteral("G"), 1, 3, 1, 9);
    Add(5, 4, QStringLiteral("C"), 0, 1, 1, 0);
    Add(6, 4, QStringLiteral("H"), 1, 2, 1, 0);
    Add(7, 6, QStringLiteral("D"), 0, 1, 1, 5);
    EXPECT_EQ(GetSubReceiverCount(1, 1), 5);
    EXPECT_EQ(GetSubReceiverCount(1, 4), 1 + 6);
    EXPECT_EQ(GetSubReceiverCount(1, 3), 3);
    EXPECT_EQ(GetSubReceiverCount(2, 3), 0);
    EXPECT_EQ(GetLeafReceiverCount(1), 4 + 2 + 5);
    Exec("insert into tClsReceiver (id, category, name, importedId, isgroup) values (8, 0, 'g', 0, 1)");
    Map(8, 2, 4);
    EXPECT_EQ(GetLeafReceiverCount(2), 0);
    EXPECT_EQ(IsForecastReceiverGroup(4, 1), 1);
    EXPECT_EQ(IsForecastReceiverGroup(4, 2), 0);

    ASSERT_TRUE(MapReceiverToForecast(5, 2, -1));
    EXPECT_EQ(Scalar("select subReceiverCount from tClsReceiverMap where prognoz = 2 and receiver = 5").toInt(), 0);
    ASSERT_TRUE(MapReceiverToForecast(5, 2, 12));
    ASSERT_TRUE(MapReceiverToForecast(5, 2, -1));
    EXPECT_EQ(Scalar("select subReceiverCount from tClsReceiverMap where prognoz = 2 and receiver = 5").toInt(), 12);
    EXPECT_EQ(GetReceiverMapCount(5), 2);
    EXPECT_TRUE(messages.empty());
}

TEST_P(ReceiversTest, RemovingFromAForecast)
{
    Add(1, 0, QStringLiteral("T"), 1);
    Add(2, 1, QStringLiteral("Shared"));
    Map(2, 2);
    Add(3, 1, QStringLiteral("Own"));
    SetJournal(true);
    EXPECT_TRUE(UnmapReceiverFromForecast(1, 1));
    EXPECT_EQ(Count("tClsReceiverMap", "receiver = 1"), 1) << "the top group stays";
    EXPECT_TRUE(RemoveReceiverFromForecast(2, 1));
    EXPECT_EQ(Count("tClsReceiver", "id = 2"), 1);
    EXPECT_EQ(GetReceiverMapCount(2), 1);
    CReceiverRecord own = *GetForecastReceiver(3, 1);
    EXPECT_TRUE(RemoveReceiverFromForecast(own, 1));
    EXPECT_EQ(own.id, -1);
    EXPECT_EQ(Count("tClsReceiver", "id = 3"), 0);
    EXPECT_EQ(JournalTexts(), QStringList{QStringLiteral("Delete Receiver; id=3; Name=Own; EMail=m@x")});
}

TEST_P(ReceiversTest, OwnReceiverIsTheDeepestImported)
{
    Add(1, 0, QStringLiteral("T"), 1);
    EXPECT_EQ(GetOwnReceiverId(1), -1);
    // The organisation above, stored first by a reference-data import, is never our own.
    Add(5, -1, QStringLiteral("Above"), 1, 0, 1, 0, 50);
    EXPECT_EQ(GetOwnReceiverId(1), -1);
    Add(10, 1, QStringLiteral("X"), 1, 0, 1, 0, 100);
    Add(11, 10, QStringLiteral("Y"), 1, 0, 1, 0, 101);
    Add(12, 11, QStringLiteral("Z"), 0, 0, 1, 0, 102);
    Add(13, 12, QStringLiteral("local"), 0, 0, 1, 0, 0);
    EXPECT_EQ(GetOwnReceiverId(1), 12);
    EXPECT_EQ(LoadImportedLeafReceivers(1), 12);
}

TEST(ReceiversXml, WritesValidXmlAndReadsItBack)
{
    CReceiverList list(2);
    list[0].id = 5;
    list[0].category = 3;
    list[0].name = QStringLiteral("ООО \"Рога & Копыта\"");
    list[0].email = QStringLiteral("<a@b>");
    list[0].importedId = 17;
    list[0].isgroup = 1;
    list[1].name = QStringLiteral("Второй");
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "data");
    xmlDocSetRootElement(doc.get(), root);
    WriteXml(root, list);
    const QByteArray bytes = XmlToBytes(doc.get());

    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/receivers.xml");
    WriteFile(path, bytes);
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), path});
    ASSERT_TRUE(lint.waitForFinished(30000)) << "xmllint is needed";
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();

    auto parsed = XmlParseMemory(bytes);
    ASSERT_TRUE(parsed);
    const auto back = ReadXmlList<CReceiverRecord>(xmlFirstElementChild(xmlDocGetRootElement(parsed.get())));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2u);
    const CReceiverRecord& r = back->front();
    EXPECT_EQ(r.name, list[0].name);
    EXPECT_EQ(r.email, list[0].email);
    EXPECT_EQ(r.importedId, 17);
    EXPECT_EQ(r.isgroup, 1);
    // What the element does not carry keeps the defaults.
    EXPECT_EQ(r.id, -1);
    EXPECT_EQ(r.category, -1);
    EXPECT_EQ(r.type, 1);

    auto upper = XmlParseMemory("<RECEIVER><NAME>x</NAME><isGroup>1</isGroup></RECEIVER>");
    const auto one = ReadXml<CReceiverRecord>(xmlDocGetRootElement(upper.get()));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->name, QStringLiteral("x"));
    EXPECT_EQ(one->isgroup, 1);
    EXPECT_FALSE(ReadXml<CReceiverRecord>(xmlDocGetRootElement(upper.get())->children->children)) << "a text node";
}
