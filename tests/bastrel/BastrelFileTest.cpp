// The SQLite kind, run as a user runs the program: creation, unit symbols, upgrades of older files
// with their data migrated, and bad input that must leave every file as it was.
#include "BastrelTestSupport.h"

#include "CommandLine.h"
#include "db/DbConnection.h"
#include "db/SqlScript.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUuid>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The classifier's order of the codes: international units, national units, two more.
const char* const kClassifierOrder[] = {
    "003", "004", "005", "006", "008", "009", "039", "041", "043", "047", "050", "051", "053", "055", "058", "059",
    "061", "071", "073", "075", "109", "110", "111", "112", "113", "118", "122", "126", "131", "132", "133", "159",
    "160", "161", "162", "163", "166", "168", "170", "173", "181", "185", "206", "212", "214", "215", "222", "223",
    "227", "228", "230", "243", "245", "246", "247", "260", "263", "264", "270", "271", "273", "274", "280", "281",
    "282", "283", "284", "288", "289", "290", "291", "292", "294", "296", "297", "298", "300", "301", "302", "304",
    "305", "306", "308", "309", "310", "312", "314", "316", "323", "324", "327", "328", "330", "331", "333", "335",
    "349", "354", "355", "356", "359", "360", "361", "362", "364", "365", "366", "368", "499", "533", "596", "598",
    "599", "616", "625", "626", "630", "641", "657", "683", "704", "715", "730", "732", "733", "734", "735", "736",
    "737", "740", "745", "778", "780", "781", "796", "797", "798", "799", "800", "801", "802", "820", "821", "831",
    "833", "841", "845", "847", "852", "859", "861", "863", "865", "867", "018", "019", "020", "048", "049", "054",
    "056", "057", "060", "062", "063", "064", "081", "082", "083", "084", "085", "086", "087", "088", "089", "114",
    "115", "116", "119", "120", "121", "123", "124", "125", "127", "128", "129", "130", "165", "167", "169", "171",
    "172", "175", "176", "177", "178", "179", "226", "231", "232", "233", "234", "235", "236", "237", "238", "239",
    "241", "242", "248", "249", "250", "251", "252", "253", "254", "255", "256", "257", "258", "287", "313", "337",
    "338", "339", "352", "353", "383", "384", "385", "386", "387", "388", "414", "421", "423", "424", "427", "449",
    "450", "451", "510", "511", "512", "521", "522", "534", "535", "536", "537", "538", "539", "540", "541", "542",
    "543", "544", "545", "546", "547", "548", "550", "552", "553", "554", "555", "556", "557", "558", "559", "560",
    "561", "600", "640", "642", "643", "644", "698", "699", "744", "746", "751", "779", "792", "793", "794", "812",
    "836", "837", "838", "839", "840", "868", "869", "870", "871", "872", "873", "874", "875", "876", "877", "878",
    "879", "880", "881", "882", "883", "884", "885", "886", "887", "888", "889", "890", "891", "892", "893", "894",
    "895", "896", "897", "898", "899", "900", "901", "902", "903", "904", "905", "906", "907", "908", "909", "910",
    "911", "912", "913", "914", "915", "916", "917", "918", "920", "921", "922", "923", "924", "925", "950", "951",
    "952", "953", "954", "955", "956", "957", "958", "959", "960", "961", "962", "963", "964", "965", "966", "967",
    "968", "969", "970", "971", "972", "017", "045",
};

class BastrelFileTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        SetEnv("LIR_MSGBOX", "auto");
    }

    QString Folder(const QString& name)
    {
        QDir().mkpath(home() + name);
        return home() + name;
    }

    // A database file from a fixture's SQL, made by SQLite itself.
    void MakeFile(const QString& path, const QString& fixture, const QString& extra = QString())
    {
        MakeFileFromSql(path, QString::fromUtf8(ReadFile(FixturePath(fixture))) + QStringLiteral("\n") + extra);
    }
    void MakeFileFromSql(const QString& path, const QString& sql)
    {
        const QString name = QStringLiteral("fx_") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            ASSERT_TRUE(db.open());
            const auto failure = RunSqlScript(db, SqlDialect::SQLite, sql);
            ASSERT_FALSE(failure) << failure->error.text().toStdString();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    // The rows of a query, columns joined by "|".
    QStringList Rows(const QString& path, const QString& sql)
    {
        QStringList rows;
        const QString name = QStringLiteral("rd_") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            EXPECT_TRUE(db.open());
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
            while (q.next()) {
                QStringList columns;
                for (int i = 0; i < q.record().count(); ++i)
                    columns << q.value(i).toString();
                rows << columns.join(u'|');
            }
            q.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return rows;
    }

    static QStringList Entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    static bool HasErrorBox(const PeerRun& run) { return run.output.contains(QStringLiteral("MSGBOX 16 ")); }
};

TEST_F(BastrelFileTest, CommandLineDecidesWhatIsPrepared)
{
    const QString a = Folder(QStringLiteral("a/"));
    const QString c = Folder(QStringLiteral("c"));
    const QString b = home() + QStringLiteral("b/");
    ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), a + QStringLiteral("LIR.db.tmpl")));
    struct Case {
        QString line;
        int exitCode;
        QString made; // the file that must exist afterwards, empty: none
    };
    const Case cases[] = {
        {QStringLiteral("DBPATH=%1&BASETYPE=access").arg(a), 0, a + QStringLiteral("LIR.db")},
        {QStringLiteral("BASETYPE=ACCESS&DBPATH=%1").arg(c), 0, c + QStringLiteral("/LIR.db")},
        {QStringLiteral("dbpath=%1&BASETYPE=ACCESS").arg(b), 2, QString()},
        {QStringLiteral("DBPATH=&BASETYPE=ACCESS"), 2, QString()},
        {QStringLiteral("DBPATH = %1 & BASETYPE = ACCESS").arg(b), 2, QString()},
        {QStringLiteral("DBPATH=%1&BASETYPE=").arg(b), 2, QString()},
        {QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(b), 1, QString()},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.line.toStdString());
        const PeerRun run = RunBastrel(t.line.split(u' '));
        EXPECT_EQ(run.exitCode, t.exitCode) << run.output.toStdString();
        if (t.exitCode == 0) {
            EXPECT_TRUE(run.output.isEmpty()) << run.output.toStdString();
            EXPECT_EQ(Rows(t.made, QStringLiteral("select n from tSysDbVersion")), QStringList{QStringLiteral("36")});
        }
        if (t.exitCode == 1) {
            EXPECT_TRUE(HasErrorBox(run)) << run.output.toStdString();
        }
    }
    EXPECT_FALSE(QFileInfo::exists(home() + QStringLiteral("cLIR.db")));
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_EQ(Entries(c), QStringList{QStringLiteral("LIR.db")});
}

TEST_F(BastrelFileTest, CommandLineValuesAreTakenAsGiven)
{
    struct Case {
        const char* line;
        const char* dbPath;
        const char* baseType;
    };
    const Case cases[] = {
        {"DBPATH=/d/&BASETYPE=ACCESS", "/d/", "ACCESS"},
        {"BASETYPE=x&DBPATH= srv &BASETYPE=y", "srv", "y"},
        {"DBPATH=&BASETYPE=ACCESS", "", "ACCESS"},
        {"OTHER=1&DBPATH=h", "h", ""},
    };
    for (const Case& t : cases) {
        QString dbPath, baseType;
        ParseCommandLine(QString::fromUtf8(t.line), dbPath, baseType);
        EXPECT_EQ(dbPath, QString::fromUtf8(t.dbPath)) << t.line;
        EXPECT_EQ(baseType, QString::fromUtf8(t.baseType)) << t.line;
    }
    EXPECT_TRUE(IsFileKind(QStringLiteral("Access")));
    EXPECT_FALSE(IsFileKind(QStringLiteral("MSSQL")));
    EXPECT_EQ(FileFolder(QStringLiteral("/d")), QStringLiteral("/d/"));
}

TEST_F(BastrelFileTest, RerunWritesUnitSymbolsWithoutBackup)
{
    const QString d = Folder(QStringLiteral("u/"));
    const QString line = QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d);
    ASSERT_EQ(RunBastrel({line}).exitCode, 0);
    const QString file = d + QStringLiteral("LIR.db");
    {
        const QString name = QStringLiteral("units");
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("insert into tClsMeasurement (id, name, code, oboznachenie) values "
                                          "(1, 'a', '796', NULL), (2, 'b', '055', 'm2'), (3, 'c', '359', NULL), "
                                          "(4, 'd', '281', NULL), (5, 'e', '999', 'x'), (6, 'f', NULL, 'y')")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("units"));
    const PeerRun run = RunBastrel({line});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(Rows(file, QStringLiteral("select oboznachenie from tClsMeasurement order by id")),
              (QStringList{"шт", "кв.м", "сут; дн", "0F", "x", "y"}));
    EXPECT_EQ(Entries(d), QStringList{QStringLiteral("LIR.db")});
}

// A file of this version made before an index of the schema came gets it at the next run, and one
// held in another form is made again; nothing else changes.
TEST_F(BastrelFileTest, RerunGivesTheFileTheSchemasIndexes)
{
    const QString d = Folder(QStringLiteral("ix/"));
    const QString line = QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d);
    ASSERT_EQ(RunBastrel({line}).exitCode, 0);
    const QString file = d + QStringLiteral("LIR.db");
    const QString indexes =
        QStringLiteral("select name || ': ' || rtrim(sql, char(10)) from sqlite_master where type = 'index' and "
                       "sql is not null order by name");
    const QStringList fresh = Rows(file, indexes);
    ASSERT_TRUE(fresh.contains(QStringLiteral(
        "IX_tFctImportStatus_Send: CREATE INDEX IX_tFctImportStatus_Send ON tFctImportStatus (send, id)")));
    MakeFileFromSql(file,
                    QStringLiteral("DROP INDEX IX_tFctImportStatus_Send\nGO\nDROP INDEX IX_tFctOpJournal_Date\n"
                                   "GO\nDROP INDEX IX_tFctMailing_Date\nGO\nCREATE INDEX IX_tFctMailing_Date ON "
                                   "tFctMailing (Subject)\nGO\nINSERT INTO tFctOpJournal (Text) VALUES ('x')\n"));
    ASSERT_NE(Rows(file, indexes), fresh);
    const PeerRun run = RunBastrel({line});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(Rows(file, indexes), fresh);
    EXPECT_EQ(Rows(file, QStringLiteral("select Text from tFctOpJournal")), QStringList{QStringLiteral("x")});
    EXPECT_EQ(Entries(d), QStringList{QStringLiteral("LIR.db")});
}

TEST_F(BastrelFileTest, UnitsScriptFollowsTheClassifier)
{
    const QString script = QString::fromUtf8(ReadFile(SourcePath(QStringLiteral("bastrel/sql/units.sql"))));
    static const QRegularExpression piece(
        QStringLiteral("^UPDATE tClsMeasurement\\nSET oboznachenie = '((?:[^']|'')*)'\\nWHERE code = '(\\d{3})'\\nGO$"),
        QRegularExpression::MultilineOption);
    QStringList codes;
    QHash<QString, QString> symbols;
    for (auto it = piece.globalMatch(script); it.hasNext();) {
        const auto m = it.next();
        codes << m.captured(2);
        symbols.insert(m.captured(2), m.captured(1));
    }
    QStringList expected;
    for (const char* c : kClassifierOrder)
        expected << QString::fromLatin1(c);
    EXPECT_EQ(expected.size(), 375);
    EXPECT_EQ(codes, expected);
    EXPECT_EQ(SplitSqlBatches(script).size(), 375);
    const std::pair<const char*, const char*> shown[] = {
        {"006", "м"},         {"055", "кв.м"},    {"058", "тыс кв.м"}, {"112", "л"},        {"113", "куб.м"},
        {"159", "млн куб.м"}, {"166", "кг"},      {"168", "т"},        {"316", "кг/куб.м"}, {"359", "сут; дн"},
        {"366", "г; лет"},    {"383", "руб"},     {"744", "%"},        {"796", "шт"},       {"798", "тыс.шт"},
        {"799", "млн шт"},    {"800", "10^9 шт"}, {"801", "10^12 шт"}, {"802", "10^18 шт"}, {"017", "hm"},
        {"045", "mile"},      {"271", "ДЖ"},      {"280", "град.С"},   {"281", "0F"}};
    for (const auto& [code, symbol] : shown)
        EXPECT_EQ(symbols.value(QString::fromLatin1(code)), QString::fromUtf8(symbol)) << code;
}

TEST_F(BastrelFileTest, FirstGenerationIsMigratedAndBackedUp)
{
    const QString d = Folder(QStringLiteral("old/"));
    const QString file = d + QStringLiteral("LIR.db");
    MakeFile(file, QStringLiteral("sqlite-first-generation.sql"));
    const QStringList oldDump = Rows(file, QStringLiteral("select sql from sqlite_master order by name"));
    const QByteArray oldBytes = ReadFile(file);
    const QString line = QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d);
    PeerRun run = RunBastrel({line});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(Rows(file, QStringLiteral("select n from tSysDbVersion")), QStringList{"36"});
    EXPECT_EQ(Rows(file, QStringLiteral("select code, name from tClsProduct order by id")),
              (QStringList{"|Продукция", "001|Уголь"}));
    EXPECT_EQ(Rows(file, QStringLiteral("select name, code, oboznachenie from tClsMeasurement order by id")),
              (QStringList{"Штука|796|шт", "Тонна|168|т", "Рубль||"}));
    EXPECT_EQ(Rows(file, QStringLiteral("select id, event, comment from tFctImportStatus order by id")),
              (QStringList{"1|1|Отправлено", "2|2|Получено"}));
    EXPECT_EQ(Rows(file, QStringLiteral("select askPerson from tFctFaq")), QStringList{"Иванов"});
    EXPECT_EQ(Rows(file, QStringLiteral("pragma foreign_key_check")), QStringList{});
    // The backup holds the old file as it was.
    const QString bak = d + QStringLiteral("LIR.Bak.db");
    EXPECT_EQ(Rows(bak, QStringLiteral("select sql from sqlite_master order by name")), oldDump);
    if (HaveProgram(QStringLiteral("sqlite3"))) {
        const QString original = d + QStringLiteral("original.db");
        WriteFile(original, oldBytes);
        EXPECT_EQ(RunPeer(QStringLiteral("sqlite3"), {bak, QStringLiteral(".dump")}).output,
                  RunPeer(QStringLiteral("sqlite3"), {original, QStringLiteral(".dump")}).output);
        QFile::remove(original);
    }

    // Upgraded again: the first backup stays, a dated one joins it.
    const QByteArray firstBackup = ReadFile(bak);
    {
        const QString name = QStringLiteral("v35");
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(QStringLiteral("update tSysDbVersion set n = 35"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("v35"));
    run = RunBastrel({line});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(ReadFile(bak), firstBackup);
    const QStringList entries = Entries(d);
    ASSERT_EQ(entries.size(), 3) << entries.join(u' ').toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^LIR\\.Bak\\.\\d{14}\\.db$")).match(entries[0]).hasMatch());
    EXPECT_EQ(Rows(file, QStringLiteral("select code, name from tClsProduct order by id")),
              (QStringList{"|Продукция", "001|Уголь"}));
}

TEST_F(BastrelFileTest, VersionUnreadSplitsNoNameAndTablesThatDoNotFitAreNamed)
{
    const QString d = Folder(QStringLiteral("v35/"));
    const QString file = d + QStringLiteral("LIR.db");
    // The mailings carry a column the schema lacks, and their receivers refer to them.
    MakeFile(file, QStringLiteral("sqlite-35.sql"),
             QStringLiteral("DELETE FROM tSysDbVersion;"
                            "CREATE TABLE tFctMailing (id INTEGER PRIMARY KEY, prognoz INTEGER NOT NULL, Subject TEXT, "
                            "Text TEXT, MailingDate TEXT NOT NULL, Urgent INTEGER);"
                            "CREATE TABLE tFctMailingReceivers (id INTEGER PRIMARY KEY, MailingID INTEGER NOT NULL, "
                            "ReceiverID INTEGER NOT NULL);"
                            "INSERT INTO tFctMailing VALUES (5, 1, 'Тема', 'Текст', '2010-03-01 10:00:00', 1);"
                            "INSERT INTO tFctMailingReceivers VALUES (1, 5, 1);"));
    const PeerRun run = RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(Rows(file, QStringLiteral("select code, name from tClsProduct order by id")),
              (QStringList{"|Продукция", "|010 Станки токарные"}));
    EXPECT_EQ(Rows(file, QStringLiteral("select Text from tFctOpJournal")), QStringList{"Вход в программу"});
    // The rights and the mailings carry a column the schema lacks: the template's (empty) tables stay,
    // with the mailings' receivers, which are no orphans; the note says so.
    EXPECT_EQ(Rows(file,
                   QStringLiteral("select (select count(*) from tFctUserRights) + (select count(*) from tFctMailing) "
                                  "+ (select count(*) from tFctMailingReceivers)")),
              QStringList{"0"});
    EXPECT_FALSE(HasErrorBox(run)) << run.output.toStdString();
    EXPECT_TRUE(
        run.output.contains(QStringLiteral("MSGBOX 64 "))
        && run.output.contains(QStringLiteral("не перенесены: tFctMailing, tFctMailingReceivers, tFctUserRights.")))
        << run.output.toStdString();
}

// Many products with data: about 1.5 MB, and nearly twice as much with the new columns and indexes.
const char* const kManyDataRows =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
    "INSERT INTO Product (prognoz, id, parent, measurementNatural, measurementPrice, name, isgroup) "
    "SELECT 1, i + 10, 1, 1, 3, 'Продукт ' || i, 0 FROM n;"
    "INSERT INTO PrognozData (id, prognoz, product, receiver, sumLast) "
    "SELECT id + 100, 1, id, 2, id FROM Product WHERE id > 10;";

TEST_F(BastrelFileTest, BadInputLosesNothing)
{
    struct Case {
        const char* name;
        const char* fixture; // none: garbage bytes, or the bytes of `extra` alone; "schema": version 36
        const char* extra;
        const char* message; // a part of the error box
        int mode = 0;        // set after the file is made
        int fileLimitKb = 0; // the largest file Bastrel may write, as on a full disk
        bool withTemplate = false;
    };
    const Case cases[] = {
        {"garbage", nullptr, nullptr, "file is not a database"},
        {"empty", nullptr, "", "пуст (0 байт): это не база данных"},
        {"unknown column", "sqlite-first-generation.sql", "ALTER TABLE Receiver ADD COLUMN used INTEGER;",
         "Поле used таблицы Receiver"},
        // Orphans are named by the old file's own keys and the row they miss.
        {"orphan receiver map", "sqlite-first-generation.sql",
         "INSERT INTO ReceiverMap (prognoz, receiver) VALUES (1, 77);",
         "база данных не обновлена:\n"
         "таблица ReceiverMap, строка с prognoz = 1, receiver = 77: receiver = 77 — нет записи в таблице Receiver с "
         "id = 77\nИсправьте или удалите эти строки в файле "},
        {"orphan product", "sqlite-first-generation.sql",
         "INSERT INTO Product (prognoz, id, parent, measurementNatural, measurementPrice, name, isgroup) "
         "VALUES (1, 3, 1, 9, 3, 'Бумага', 0);",
         "таблица Product, строка с prognoz = 1, id = 3: measurementNatural = 9 — нет записи в таблице Measurement "
         "с id = 9\n"},
        {"broken keys", "sqlite-first-generation.sql",
         "INSERT INTO PrognozData (id, prognoz, product, receiver) VALUES (9, 1, 77, 2);"
         "INSERT INTO PrognozData (id, prognoz, product, receiver) VALUES (10, 1, 1, 77);",
         "таблица PrognozData, строка с id = 10: receiver = 77 — нет записи в таблице Receiver с id = 77\n"
         "таблица PrognozData, строка с id = 9: prognoz = 1, product = 77 — нет записи в таблице Product с "
         "prognoz = 1, id = 77\n"},
        {"many orphans", "sqlite-first-generation.sql",
         "WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 111) "
         "INSERT INTO ImportStatus (id, prognoz, receiver, event) SELECT i, 1, 99, 1 FROM n;",
         "таблица ImportStatus, строка с id = 109: receiver = 99 — нет записи в таблице Receiver с id = 99\n"
         "таблица ImportStatus: ещё строк без записи в таблице Receiver: 2\n"},
        // The kinds do not fit, and the journal needs one that only they hold: the kinds are the cause.
        {"kinds with an unknown column", "sqlite-first-generation.sql",
         "ALTER TABLE ImportEventType ADD COLUMN color TEXT;"
         "INSERT INTO ImportEventType (id, name) VALUES (9, 'Своё');"
         "INSERT INTO ImportStatus (id, prognoz, receiver, event) VALUES (3, 1, 2, 9);",
         "Строки таблицы ImportStatus ссылаются на записи таблицы ImportEventType, которые не переносятся в новую "
         "версию базы данных:\nПоле color таблицы ImportEventType отсутствует в новой версии базы данных"},
        {"read-only", "sqlite-35.sql", "", "доступен только для чтения", 0444},
        // No room for the backup, for the template's copy, for the migrated data, for the journal of
        // a file of the current version.
        {"disk full at the backup", "sqlite-first-generation.sql", kManyDataRows, "Не хватает места на диске в папке",
         0, 1000},
        {"disk full at the template", "sqlite-35.sql", "", "Не хватает места на диске в папке", 0, 120, true},
        {"disk full in the migration", "sqlite-first-generation.sql", kManyDataRows,
         "Не хватает места на диске в папке", 0, 2200},
        {"disk full at version 36", "schema",
         "INSERT INTO tClsMeasurement (id, name, code) VALUES (1, 'Штука', '796');",
         "Не хватает места на диске в папке", 0, 4},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        const QString d = Folder(QString::fromLatin1(t.name).replace(u' ', u'_') + u'/');
        const QString file = d + QStringLiteral("LIR.db");
        if (t.fixture && qstrcmp(t.fixture, "schema") == 0) {
            MakeFileFromSql(file,
                            SchemaScript(SqlDialect::SQLite) + QStringLiteral("\nGO\n") + QString::fromUtf8(t.extra));
        } else if (t.fixture) {
            MakeFile(file, QString::fromLatin1(t.fixture), QString::fromUtf8(t.extra));
        } else if (t.extra) {
            WriteFile(file, t.extra);
        } else {
            QByteArray garbage(8192, '\0');
            for (int i = 0; i < garbage.size(); ++i)
                garbage[i] = char((i * 7919) % 251);
            WriteFile(file, garbage);
        }
        if (t.mode) {
            ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        }
        if (t.withTemplate) {
            ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), d + QStringLiteral("LIR.db.tmpl")));
        }
        // An earlier backup is there too and must stay as it is.
        WriteFile(d + QStringLiteral("LIR.Bak.db"), "earlier backup");
        const QByteArray before = ReadFile(file);
        const QStringList entries = Entries(d);
        const QString line = QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d);
        const PeerRun run = t.fileLimitKb
            ? RunPeer(QStringLiteral("bash"),
                      {QStringLiteral("-c"),
                       QStringLiteral("ulimit -f %1 && trap '' XFSZ && exec \"$0\" \"$@\"").arg(t.fileLimitKb),
                       QStringLiteral(LIR_BASTREL_EXE), line})
            : RunBastrel({line});
        EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
        EXPECT_TRUE(HasErrorBox(run)) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(QString::fromUtf8(t.message))) << run.output.toStdString();
        // Russian words only: no SQL, no driver's English.
        EXPECT_FALSE(run.output.contains(
            QRegularExpression(QStringLiteral("tSysDbVersion|INSERT|disk I/O|disk is|database is"))))
            << run.output.toStdString();
        EXPECT_EQ(ReadFile(file), before);
        EXPECT_EQ(ReadFile(d + QStringLiteral("LIR.Bak.db")), QByteArray("earlier backup"));
        EXPECT_EQ(Entries(d), entries);
    }
}

// The program holds the file open, as it does while it runs: neither an upgrade nor the unit symbols
// of a current file are written.
TEST_F(BastrelFileTest, FileInUseIsNotPrepared)
{
    struct Case {
        const char* name;
        const char* version;
    };
    for (const Case& t : {Case{"old", "35"}, Case{"current", "36"}}) {
        SCOPED_TRACE(t.name);
        const QString d = Folder(QString::fromLatin1(t.name) + u'/');
        const QString file = d + QStringLiteral("LIR.db");
        if (qstrcmp(t.version, "35") == 0)
            MakeFile(file, QStringLiteral("sqlite-35.sql"));
        else
            MakeFileFromSql(file,
                            SchemaScript(SqlDialect::SQLite)
                                + QStringLiteral("\nGO\nINSERT INTO tClsMeasurement (id, name, "
                                                 "code) VALUES (1, 'Штука', '796')\nGO\n"));
        const QString stamp = QStringLiteral("select rowid, n from tSysDbVersion");
        const QStringList before = Rows(file, stamp);
        DbConnectParams params;
        params.file = file;
        const auto error = OpenDatabase(params, QStringLiteral("holder"));
        ASSERT_FALSE(error) << error->text().toStdString();
        {
            QSqlQuery q(QSqlDatabase::database(QStringLiteral("holder"), false));
            ASSERT_TRUE(q.exec(QStringLiteral("select count(*) from tFctPrognoz")));
        }
        const PeerRun run = RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)});
        QSqlDatabase::database(QStringLiteral("holder"), false).close();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.output.contains(QStringLiteral("используется другой программой"))) << run.output.toStdString();
        EXPECT_EQ(Rows(file, stamp), before);
        if (qstrcmp(t.version, "36") == 0) {
            EXPECT_EQ(Rows(file, QStringLiteral("select count(*) from tClsMeasurement where oboznachenie is not null")),
                      QStringList{"0"});
        }
        // No backup and no temporary file; the log files are the holder's.
        EXPECT_EQ(Entries(d).filter(QRegularExpression(QStringLiteral("Bak|tmp"))), QStringList{});
    }
}

// Two preparations of one folder at a time: the second says so and touches nothing; the first,
// held up meanwhile, then upgrades the file.
TEST_F(BastrelFileTest, ASecondPreparationWaitsForNone)
{
    const QString d = Folder(QStringLiteral("twice/"));
    const QString file = d + QStringLiteral("LIR.db");
    MakeFile(file, QStringLiteral("sqlite-35.sql"));
    const QString line = QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d);
    // A reader keeps the first one waiting for the file...
    const QString reader = QStringLiteral("reader");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), reader);
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN")) && q.exec(QStringLiteral("select count(*) from tFctPrognoz")));
    }
    QProcess first;
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(QStringLiteral(LIR_BASTREL_EXE), {line});
    ASSERT_TRUE(first.waitForStarted());
    // ... and, once it holds the folder, is stopped there until the second has run.
    const int folder = ::open(QFile::encodeName(d).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    bool held = false;
    for (int i = 0; i < 500 && !held; ++i) {
        held = ::flock(folder, LOCK_SH | LOCK_NB) != 0;
        if (!held) {
            ::flock(folder, LOCK_UN);
            QThread::msleep(10);
        }
    }
    ::close(folder);
    ASSERT_TRUE(held);
    ASSERT_EQ(::kill(pid_t(first.processId()), SIGSTOP), 0);
    const QStringList entries = Entries(d);
    const PeerRun second = RunBastrel({line});
    QSqlDatabase::database(reader, false).close();
    QSqlDatabase::removeDatabase(reader);
    ::kill(pid_t(first.processId()), SIGCONT);
    ASSERT_TRUE(first.waitForFinished(60000));
    EXPECT_EQ(second.exitCode, 1) << second.output.toStdString();
    EXPECT_TRUE(second.output.contains(QStringLiteral("MSGBOX 16 Файл базы данных %1 занят: его уже подготавливает "
                                                      "другая программа Bastrel.")
                                           .arg(file)))
        << second.output.toStdString();
    EXPECT_EQ(first.exitCode(), 0) << first.readAll().toStdString();
    EXPECT_EQ(Rows(file, QStringLiteral("select n from tSysDbVersion")), QStringList{"36"});
    EXPECT_EQ(Entries(d), (QStringList{"LIR.Bak.db", "LIR.db"})) << entries.join(u' ').toStdString();
}

// A link to the database is followed: the file it names is upgraded in its own folder, the link stays,
// the backup lies beside the link.
TEST_F(BastrelFileTest, ALinkedFileIsPreparedWhereItIs)
{
    for (const char* version : {"35", "36"}) {
        SCOPED_TRACE(version);
        const QString d = Folder(QStringLiteral("link%1/").arg(QString::fromLatin1(version)));
        const QString data = Folder(QStringLiteral("link%1/data/").arg(QString::fromLatin1(version)));
        const QString target = data + QStringLiteral("forecast.db");
        if (qstrcmp(version, "35") == 0)
            MakeFile(target, QStringLiteral("sqlite-35.sql"));
        else
            MakeFileFromSql(target, SchemaScript(SqlDialect::SQLite));
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
        const QString link = d + QStringLiteral("LIR.db");
        ASSERT_TRUE(QFile::link(QStringLiteral("data/forecast.db"), link));
        const PeerRun run = RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)});
        EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), target);
        EXPECT_EQ(Rows(link, QStringLiteral("select n from tSysDbVersion")), QStringList{"36"});
        EXPECT_EQ(Rows(target, QStringLiteral("select count(*) from tClsMeasurement where oboznachenie = 'шт'")),
                  QStringList{qstrcmp(version, "35") == 0 ? "1" : "0"});
        struct stat st = {};
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);
        EXPECT_EQ(Entries(data), QStringList{"forecast.db"});
        if (qstrcmp(version, "35") == 0) {
            EXPECT_EQ(Entries(d), (QStringList{"LIR.Bak.db", "LIR.db"}));
            EXPECT_EQ(Rows(d + QStringLiteral("LIR.Bak.db"), QStringLiteral("select n from tSysDbVersion")),
                      QStringList{"35"});
        } else {
            EXPECT_EQ(Entries(d), QStringList{"LIR.db"});
        }
    }
    // A link to nothing is named, and nothing is made.
    const QString d = Folder(QStringLiteral("nowhere/"));
    ASSERT_TRUE(QFile::link(QStringLiteral("missing.db"), d + QStringLiteral("LIR.db")));
    const PeerRun run = RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.output.contains(QStringLiteral("ссылка на отсутствующий файл"))) << run.output.toStdString();
    EXPECT_EQ(Entries(d), QStringList{});
}

// A file shared by a group keeps its owner, group and mode through an upgrade and a rerun; a new one
// gets what a file made in the folder gets.
TEST_F(BastrelFileTest, TheFileKeepsItsOwnerGroupAndMode)
{
    const bool root = geteuid() == 0;
    const gid_t group = root ? 65534 : getegid(); // nogroup
    const mode_t umask = ::umask(022);
    ::umask(umask);
    const QString fresh = Folder(QStringLiteral("new/"));
    ASSERT_EQ(RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(fresh)}).exitCode, 0);
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(fresh + QStringLiteral("LIR.db")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666 & ~umask);

    const QString d = Folder(QStringLiteral("shared/"));
    const QString file = d + QStringLiteral("LIR.db");
    MakeFile(file, QStringLiteral("sqlite-35.sql"));
    ASSERT_EQ(::chown(QFile::encodeName(file).constData(), uid_t(-1), group), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0664), 0);
    for (const char* run : {"upgrade", "rerun"}) {
        SCOPED_TRACE(run);
        ASSERT_EQ(RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)}).exitCode, 0);
        for (const QString& name : {QStringLiteral("LIR.db"), QStringLiteral("LIR.Bak.db")}) {
            ASSERT_EQ(::stat(QFile::encodeName(d + name).constData(), &st), 0) << name.toStdString();
            EXPECT_EQ(st.st_mode & 07777, 0664u) << name.toStdString();
            EXPECT_EQ(st.st_gid, group) << name.toStdString();
            EXPECT_EQ(st.st_uid, geteuid()) << name.toStdString();
        }
    }
}

// The first files may lack the event kinds: the journal's rows keep theirs, the fixed ones written.
TEST_F(BastrelFileTest, FirstGenerationWithoutEventKindsIsMigrated)
{
    const QString d = Folder(QStringLiteral("nokinds/"));
    const QString file = d + QStringLiteral("LIR.db");
    const QStringList sql = QString::fromUtf8(ReadFile(FixturePath(QStringLiteral("sqlite-first-generation.sql"))))
                                .split(u'\n')
                                .filter(QRegularExpression(QStringLiteral("^(?!.*ImportEventType)")));
    MakeFileFromSql(file, sql.join(u'\n'));
    const PeerRun run = RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)});
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(Rows(file, QStringLiteral("select id, name from tClsImportEventType order by id")),
              (QStringList{"1|Получено", "2|Отправлено", "3|Отправлено на корректировку", "4|Данные корректны",
                           "5|Ошибка отправки"}));
    EXPECT_EQ(Rows(file, QStringLiteral("select id, event, comment from tFctImportStatus order by id")),
              (QStringList{"1|1|Отправлено", "2|2|Получено"}));
}

// A run removes the temporary files that an interrupted run left, but none that a running one holds.
TEST_F(BastrelFileTest, LeftoversOfAnInterruptedRunGo)
{
    const QString d = Folder(QStringLiteral("left/"));
    ASSERT_EQ(RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)}).exitCode, 0);
    const QStringList left = {"LIR.Ab12Cd.tmp",         "LIR.Ab12Cd.tmp-journal", "LIR.Bak.Zz99Yy.tmp",
                              "LIR.Bak.Zz99Yy.tmp-wal", "LIR.Bak.Zz99Yy.tmp-shm", "LIR.Qq77Ww.tmp-journal"};
    for (const QString& name : left)
        WriteFile(d + name, "left over");
    WriteFile(d + QStringLiteral("LIR.Held00.tmp"), "held");
    WriteFile(d + QStringLiteral("LIR.Held00.tmp-journal"), "held");
    WriteFile(d + QStringLiteral("LIR.other.tmp"), "not ours");
    const int held = ::open(QFile::encodeName(d + QStringLiteral("LIR.Held00.tmp")).constData(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const PeerRun run = RunBastrel({QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)});
    ::close(held);
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    EXPECT_EQ(Entries(d), (QStringList{"LIR.Held00.tmp", "LIR.Held00.tmp-journal", "LIR.db", "LIR.other.tmp"}));
}

// A folder the user may not write into is named, whatever it holds, and nothing in it changes.
TEST_F(BastrelFileTest, AFolderThatCannotBeWrittenIsNamed)
{
    if (geteuid() != 0 || !HaveProgram(QStringLiteral("runuser")))
        GTEST_SKIP() << "needs root and runuser to run as a user who may not write into the folder";
    for (const QString& path : {home() + QStringLiteral(".."), home()})
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0755), 0);
    for (const char* holds : {"nothing", "35", "36"}) {
        SCOPED_TRACE(holds);
        const QString d = Folder(QStringLiteral("ro%1/").arg(QString::fromLatin1(holds)));
        const QString file = d + QStringLiteral("LIR.db");
        if (qstrcmp(holds, "35") == 0)
            MakeFile(file, QStringLiteral("sqlite-35.sql"));
        else if (qstrcmp(holds, "36") == 0)
            MakeFileFromSql(file, SchemaScript(SqlDialect::SQLite));
        const QStringList entries = Entries(d);
        const QByteArray before = QFileInfo::exists(file) ? ReadFile(file) : QByteArray();
        const PeerRun run =
            RunPeer(QStringLiteral("runuser"),
                    {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"), QStringLiteral("env"),
                     QStringLiteral("LIR_MSGBOX=auto"), QStringLiteral(LIR_BIN_DIR "/Bastrel"),
                     QStringLiteral("DBPATH=%1&BASETYPE=ACCESS").arg(d)});
        EXPECT_EQ(run.exitCode, 1) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(QStringLiteral("MSGBOX 16 Не удалось создать файл в папке %1: нет прав на "
                                                       "запись.\nРазрешите запись в эту папку")
                                            .arg(d)))
            << run.output.toStdString();
        EXPECT_EQ(Entries(d), entries);
        if (!before.isEmpty()) {
            EXPECT_EQ(ReadFile(file), before);
        }
    }
}

} // namespace
