#include "DbTest.h"
#include "tables/MConverts.h"
#include "tables/Measurements.h"
#include "xml/XmlRecord.h"

namespace {

class UnitsTest : public DbTest {
protected:
    static CMeasurementRecord Unit(const QString& name, int type = 1)
    {
        CMeasurementRecord r;
        r.name = name;
        r.code = "c";
        r.oboznachenie = "o";
        r.type = type;
        return r;
    }
    static CMConvertRecord Convert(int base, int produce, double koef)
    {
        CMConvertRecord r;
        r.base = base;
        r.produce = produce;
        r.koef = koef;
        return r;
    }
};
LIR_INSTANTIATE_DB_TEST(UnitsTest);

} // namespace

TEST_P(UnitsTest, UnitIdsAndJournal)
{
    SetJournal(true);
    CMeasurementRecord a = Unit("шт");
    ASSERT_TRUE(SaveMeasurement(a));
    EXPECT_EQ(a.id, 1);
    CMeasurementRecord b = Unit("кг");
    ASSERT_TRUE(SaveMeasurement(b));
    EXPECT_EQ(b.id, 2);
    ASSERT_TRUE(DeleteMeasurement(b));
    EXPECT_EQ(b.id, -1);
    CMeasurementRecord given = Unit("т");
    given.id = 40;
    ASSERT_TRUE(SaveMeasurement(given));
    EXPECT_EQ(given.id, 40);
    CMeasurementRecord c = Unit("л");
    ASSERT_TRUE(SaveMeasurement(c));
    EXPECT_EQ(c.id, 41);
    c.code = "C2";
    ASSERT_TRUE(SaveMeasurement(c));
    EXPECT_EQ(Count("tClsMeasurement"), 3);

    CMeasurementRecord stale = Unit("x");
    stale.id = 2; // already deleted
    ASSERT_TRUE(DeleteMeasurement(stale));
    EXPECT_EQ(stale.id, -1);
    EXPECT_EQ(JournalTexts(),
              (QStringList{"Insert Measurement; id=1; Name=шт Code=c oboznachenie=o",
                           "Insert Measurement; id=2; Name=кг Code=c oboznachenie=o",
                           "Delete Measurement; id=2; Name=кг Code=c oboznachenie=o",
                           "Insert Measurement; id=40; Name=т Code=c oboznachenie=o",
                           "Insert Measurement; id=41; Name=л Code=c oboznachenie=o",
                           "Update Measurement; Name=л Code=C2 oboznachenie=o"}));
    EXPECT_TRUE(messages.empty());
}

TEST_P(UnitsTest, UnitReadsSkipRowsWithoutNameAndMatchNamesWithoutCase)
{
    Exec("insert into tClsMeasurement (id, name, type) values (1, 'Килограмм', 1), (2, 'д''Арт', 2), (3, null, 1)");
    const auto byName = FindMeasurementByName("КИЛОГРАММ");
    ASSERT_TRUE(byName);
    EXPECT_EQ(byName->id, 1);
    EXPECT_EQ(byName->code, "");
    EXPECT_EQ(byName->oboznachenie, "");
    EXPECT_EQ(FindMeasurementByName("Д'арт")->id, 2);
    EXPECT_FALSE(FindMeasurementByName("нет"));
    EXPECT_FALSE(GetMeasurement(3));
    EXPECT_EQ(LoadMeasurements()->size(), 2u);
    EXPECT_EQ(LoadMeasurementsByType(1)->size(), 1u);
    const auto filtered = LoadMeasurements(SqlFilter("m.type = ?", {2}));
    ASSERT_TRUE(filtered && filtered->size() == 1);
    EXPECT_EQ((*filtered)[0].name, "д'Арт");
    EXPECT_TRUE(messages.empty());
}

TEST_P(UnitsTest, AUnitInUseIsNotDeleted)
{
    Exec("insert into tClsMeasurement (id, name, type) values (1, 'a', 1), (2, 'b', 1), (3, 'c', 1)");
    CMConvertRecord pair = Convert(1, 2, 1000);
    ASSERT_TRUE(SaveMConvert(pair, false));
    EXPECT_TRUE(IsMeasurementInConverts(2));
    EXPECT_FALSE(IsMeasurementInConverts(3));
    CMeasurementRecord used = *GetMeasurement(2);
    EXPECT_FALSE(DeleteMeasurement(used));
    EXPECT_EQ(used.id, 2);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(Count("tClsMeasurement"), 3);
}

TEST_P(UnitsTest, CoefficientLookupsAndSaves)
{
    SetJournal(true);
    Exec("insert into tClsMeasurement (id, name, type) values (3, 'a', 1), (5, 'b', 1), (7, 'c', 2)");
    EXPECT_EQ(GetMConvertKoef(5, 5), 1.0);
    EXPECT_EQ(GetMConvertKoef(3, 7), 1.0);
    EXPECT_FALSE(MConvertExists(3, 7));

    CMConvertRecord r = Convert(3, 7, 1.0 / 3.0);
    ASSERT_TRUE(SaveMConvert(r, false));
    EXPECT_EQ(r.id, -1);
    CMConvertRecord fetched = Convert(7, 3, 3.0);
    ASSERT_TRUE(SaveMConvert(fetched, true));
    EXPECT_GT(fetched.id, 0);
    fetched.koef = 0.001;
    ASSERT_TRUE(SaveMConvert(fetched, true));
    EXPECT_EQ(Count("tClsMConvert"), 2);

    EXPECT_EQ(GetMConvertKoef(3, 7), 1.0 / 3.0) << "stored without rounding";
    EXPECT_EQ(GetMConvertKoef(7, 3), 0.001);
    EXPECT_TRUE(MConvertExists(3, 7));
    EXPECT_FALSE(MConvertExists(3, 5));
    EXPECT_EQ(LoadMConvertsByType(2)->size(), 1u);
    EXPECT_EQ(LoadMConvertsByType(1, SqlFilter("mc.produce = ?", {7}))->size(), 1u);
    EXPECT_EQ(LoadMConverts(SqlFilter("base = ?", {5}))->size(), 0u);

    const QString id = QString::number(fetched.id);
    CMConvertRecord stored = *GetMConvert(fetched.id);
    ASSERT_TRUE(DeleteMConvert(stored));
    ASSERT_TRUE(DeleteMConvert(fetched)); // gone already
    EXPECT_EQ(fetched.id, -1);
    EXPECT_EQ(
        JournalTexts(),
        (QStringList{"Insert mconvert; id=-1; Base=3; Produce=7", "Insert mconvert; id=" + id + "; Base=7; Produce=3",
                     "Update mconvert; Base=7; Produce=3", "Delete mconvert; id=" + id + "; Base=7; Produce=3"}));
    EXPECT_TRUE(messages.empty());
}

TEST_P(UnitsTest, UnitPairCacheCarriesTheConversionRules)
{
    Exec("insert into tClsMeasurement (id, name, type) values (1, 'шт', 2), (2, 'тыс. шт', 2), (3, 'кг', 1), "
         "(4, 'т', 1), (5, 'г', 1), (6, '', 1)");
    // By id: a pair's first readable row counts.
    Exec("insert into tClsMConvert (base, produce, koef) values (1, 2, 0.001), (1, 2, 0.5), (4, 3, 1000), "
         "(3, 5, 0), (2, 4, null), (2, 4, 7)");
    const struct {
        int from;
        int to;
        std::optional<double> factor; // the conversion
        double koef;                  // the stored pair, else 1
    } cases[] = {
        {2, 2, 1.0, 1.0},           // equal units
        {1, 2, 0.001, 0.001},       // the first row of two
        {2, 1, 1000.0, 1.0},        // the reverse pair's reciprocal
        {3, 4, 0.001, 1.0},         // likewise
        {2, 4, 7.0, 7.0},           // a row without a coefficient is passed over
        {3, 5, 0.0, 0.0},           // a stored 0 as it is
        {5, 3, std::nullopt, 1.0},  // whose reverse cannot be inverted
        {1, 3, std::nullopt, 1.0},  // no row either way
        {99, 1, std::nullopt, 1.0}, // no such unit
    };
    CUnitPairCache units;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        EXPECT_EQ(units.Factor(c.from, c.to), c.factor);
        EXPECT_EQ(units.Koef(c.from, c.to), c.koef);
        EXPECT_EQ(units.Koef(c.from, c.to), GetMConvertKoef(c.from, c.to));
    }
    EXPECT_TRUE(units.Readable());
    EXPECT_EQ(units.Name(2), QStringLiteral("тыс. шт"));
    EXPECT_EQ(units.Name(6), QString());
    EXPECT_EQ(units.Name(99), std::nullopt);

    // Read once until reset.
    Exec("delete from tClsMConvert");
    Exec("update tClsMeasurement set name = 'штука' where id = 1");
    EXPECT_EQ(units.Factor(2, 1), 1000.0);
    EXPECT_EQ(units.Name(1), QStringLiteral("шт"));
    units.Reset();
    EXPECT_EQ(units.Factor(2, 1), std::nullopt);
    EXPECT_EQ(units.Name(1), QStringLiteral("штука"));
    EXPECT_TRUE(messages.empty());
}

TEST(UnitXml, CoefficientsAndUnitsRoundTrip)
{
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "root");
    xmlDocSetRootElement(doc.get(), root);
    CMConvertList converts{{1, 2, 3, 1.0 / 3.0}, {2, 3, 2, 0.001}, {3, 4, 5, 1000}};
    xmlNodePtr list = WriteXml(root, converts);
    CMeasurementRecord unit{4, "кг & т", "K", "кг", 1};
    WriteXml(root, CMeasurementList{unit});
    const QByteArray text = XmlToBytes(doc.get());
    EXPECT_TRUE(text.contains("<koef>0.333333</koef>")) << text.toStdString();
    EXPECT_TRUE(text.contains("<koef>1000.000000</koef>"));
    EXPECT_TRUE(text.contains("<measurement>\n      <id>4</id>\n      <name>кг &amp; т</name>"));

    const auto back = ReadXmlList<CMConvertRecord>(list);
    ASSERT_TRUE(back && back->size() == 3);
    EXPECT_DOUBLE_EQ((*back)[0].koef, 0.333333);
    EXPECT_DOUBLE_EQ((*back)[1].koef, 0.001);
    EXPECT_EQ((*back)[2].produce, 5);

    auto parsed = XmlParseMemory("<Measurements><MEASUREMENT><Name>м</Name><type>2x</type></MEASUREMENT>"
                                 "<convert/></Measurements>");
    const auto units = ReadXmlList<CMeasurementRecord>(xmlDocGetRootElement(parsed.get()));
    ASSERT_TRUE(units && units->size() == 1);
    EXPECT_EQ((*units)[0].id, -1);
    EXPECT_EQ((*units)[0].name, "м");
    EXPECT_EQ((*units)[0].type, 2);
    EXPECT_FALSE(ReadXmlList<CMConvertRecord>(xmlDocGetRootElement(parsed.get())));
}

TEST_P(UnitsTest, BookListRowsOfConversionsByTheBaseUnitsType)
{
    Exec("insert into tClsMeasurement (id, name, type) values (1, 'шт', 1), (2, 'руб', 2), (3, 'кг', 1), "
         "(4, 'тыс.руб', 2)");
    Exec("insert into tClsMConvert (base, produce, koef) values (3, 1, 0.5), (4, 2, 1000), (1, 3, 2)");
    const auto text = [](const std::optional<std::vector<CMConvertListRow>>& rows) {
        QStringList out;
        for (const CMConvertListRow& r : rows.value_or(std::vector<CMConvertListRow>()))
            out << r.baseName + u'>' + r.produceName + u' ' + QString::number(r.koef);
        return out;
    };
    const struct {
        int type;
        SqlFilter filter;
        QStringList rows;
    } cases[] = {
        {1, {}, {"кг>шт 0.5", "шт>кг 2"}},
        {2, {}, {"тыс.руб>руб 1000"}},
        {1, {"p.name = ? or mc.koef > ?", {"шт", 1}, "b.name desc"}, {"шт>кг 2", "кг>шт 0.5"}},
        {1, {"mc.koef > ?", {5}}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(LoadMConvertListRows(c.type, c.filter)), c.rows) << c.type << c.filter.where.toStdString();
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(LoadMConvertListRows(1, SqlFilter("nosuchcolumn = 1")));
    EXPECT_EQ(messages.size(), 1u);
}
