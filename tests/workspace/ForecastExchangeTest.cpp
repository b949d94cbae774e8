// The forecast's way from a lower organisation (B) to the upper one (A): B's export on a shown window
// with scripted answers, A's import of the file, judged by xmllint, sqlite3 and the databases' own
// counts; the importing side on both dialects.
#include "DbTest.h"
#include "ExchangeGenerator.h"
#include "ExchangeTestSupport.h"

#include "AppMessage.h"
#include "CheckDialogs.h"
#include "ExchangeDocuments.h"
#include "ExchangeFiles.h"
#include "ExchangeReader.h"
#include "ForecastExport.h"
#include "ForecastFile.h"
#include "ForecastImport.h"
#include "LogEdit.h"
#include "MailSettings.h"
#include "ModalHook.h"
#include "SendDataDlg.h"
#include "Settings.h"
#include "TextUtils.h"
#include "tables/ImportEventTypes.h"
#include "tables/TotalForecasts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTcpServer>
#include <QTimer>

using namespace ExchangeIds;

namespace {

constexpr int kForecast = 7;

// Closes the send dialog once it is done; answers the save and open dialogs as scripted.
class ScriptedHook : public CModalHook {
public:
    int execDialog(QDialog& dialog) override
    {
        auto* send = qobject_cast<CSendDataDlg*>(&dialog);
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &dialog, [&] {
            if (send && send->isDone()) {
                // What the first tab shows, and how far it reaches beyond the edit.
                const auto* edit = dialog.findChild<QPlainTextEdit*>(QStringLiteral("id1058"));
                firstTab = edit->toPlainText();
                overflow = edit->horizontalScrollBar()->maximum();
                dialog.findChild<QPushButton*>(QStringLiteral("id1"))->click();
            }
        });
        timer.start(5);
        return dialog.exec();
    }
    QString getSaveFileName(QWidget*, const QString&, const QString& dir, const QString& filter,
                            const QString& suffix) override
    {
        asked << dir + u'|' + filter + u'|' + suffix;
        return savePath;
    }
    QStringList getOpenFileNames(QWidget*, const QString&, const QString& dir, const QString& filter) override
    {
        asked << dir + u'|' + filter;
        return openPaths;
    }
    QString savePath;
    QStringList openPaths;
    QStringList asked;
    QString firstTab;
    int overflow = -1;
};

QByteArray Sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

class ForecastExchangeTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        CopySchemas(home());
        QDir().mkpath(home() + QStringLiteral("tmp"));
        SetEnv("TMPDIR", (home() + QStringLiteral("tmp")).toUtf8());
        SetModalHook(&hook);
    }
    void TearDown() override
    {
        SetModalHook(nullptr);
        DbTest::TearDown();
    }

    // This test's database as the organisation; its export folder is `exportDir`.
    void UseOwnDatabase(const QString& exportDir)
    {
        ASSERT_TRUE(GetDBConnection().ConnectWith(params()));
        SeedImportEventTypes(); // as the program does at its start
        Settings().ExportDir = exportDir;
        QDir().mkpath(exportDir);
    }
    // A's SQLite database in `folder` (made anew), connected as the main database.
    void UseUpperDatabase(const QString& folder, bool fresh, const CExchangeShape& shape)
    {
        DbConnectParams a;
        a.file = folder + QStringLiteral("LIR.db");
        if (fresh) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder + QStringLiteral("Import"));
            ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_BIN_DIR "/LIR.db.tmpl"), a.file));
            QFile::setPermissions(a.file, QFile::ReadOwner | QFile::WriteOwner);
        }
        ASSERT_TRUE(GetDBConnection().ConnectWith(a));
        SeedImportEventTypes();
        QString error;
        if (fresh) {
            ASSERT_TRUE(GenerateUpperOrganisation(shape, &error)) << error.toStdString();
        }
    }

    // Runs the export on a shown window; the log's lines and the result.
    std::pair<bool, QStringList> Export()
    {
        QPointer<CExportDataDlg> dlg = new CExportDataDlg;
        dlg->show();
        const bool sent = dlg->SendForecast(kForecast, kLowerInB, registry.transports());
        const QStringList lines = dlg->LogLines();
        dlg->close();
        return {sent, lines};
    }
    // The exchange journal: event of each row, oldest first.
    QList<int> Events()
    {
        QList<int> events;
        CSqlQuery q(QStringLiteral("select event from tfctimportstatus order by id"));
        if (q.exec()) {
            while (q.next())
                events << q.value(0).toInt();
        }
        return events;
    }
    QStringList MessageTexts() const
    {
        QStringList texts;
        for (const RecordedMessage& m : messages)
            texts << m.text;
        return texts;
    }
    // A's rows of B as count and the sums sqlite3 or the database reads.
    // Money sums in ten-thousandths on both dialects.
    QString Sums(const QString& table, const QString& where)
    {
        const bool pg = GetDBConnection().dialect() == SqlDialect::PostgreSQL;
        const QString sum = pg ? QStringLiteral("(sum(%1)*10000)::bigint") : QStringLiteral("sum(%1)");
        return Scalar(QStringLiteral("select count(*) || '|' || ") + sum.arg(QStringLiteral("sumNext"))
                      + QStringLiteral(" || '|' || ") + sum.arg(QStringLiteral("valueNorm")) + QStringLiteral(" from ")
                      + table + QStringLiteral(" where ") + where)
            .toString();
    }

    ScriptedHook hook;
    CTransportRegistry registry;
};

} // namespace

// The writer that streams the document gives the bytes of the tree it replaces, escaping included.
TEST(ForecastDocumentStream, WritesTheBytesOfTheTree)
{
    QTemporaryDir dir;
    const QString streamed = dir.filePath(QStringLiteral("stream.xml"));
    const QString tree = dir.filePath(QStringLiteral("tree.xml"));
    for (const QString& base : {QString(), QStringLiteral("a \"b\" & <c> 'd'\r\nконец\x01"), QStringLiteral("  ")}) {
        const CForecastHeader header{12, 34, QStringLiteral("\"почта\" <a&b>@x.ru"), 5};
        ASSERT_TRUE(WriteForecastDocument(header, SampleTotals(base), streamed));
        ASSERT_TRUE(SaveExchangeDocument(BuildForecastDocument(header, SampleTotals(base)).get(), tree));
        EXPECT_EQ(ReadFile(streamed), ReadFile(tree)) << base.toStdString();
    }
    EXPECT_FALSE(WriteForecastDocument({}, SampleTotals(), dir.filePath(QStringLiteral("none/x.xml"))));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("none"))));
}

// B exports with the file transport, A imports it, a second import is declined. B's database is
// this test's (SQLite or PostgreSQL), A's a SQLite file; both are left in test-out.
TEST_P(ForecastExchangeTest, RoundTripFromLowerToUpperOrganisation)
{
    REQUIRE_XMLLINT();
    const CExchangeShape shape{kForecast, 400, 1};
    const QString out =
        TestOutFolder(isPg() ? QStringLiteral("forecast_roundtrip/pg") : QStringLiteral("forecast_roundtrip"));
    const QString bFolder = out + QStringLiteral("B/"), aFolder = out + QStringLiteral("A/");
    QDir(bFolder).removeRecursively();
    UseOwnDatabase(bFolder + QStringLiteral("Export"));
    QString error;
    ASSERT_TRUE(GenerateLowerOrganisation(shape, &error)) << error.toStdString();
    const QString bSums = Sums(QStringLiteral("tfcttotalprognoz"), QStringLiteral("prognoz = 7"));

    // The check finds nothing to ask about; the consolidated forecast is sent as stored.
    answers = {IDNO};
    auto [sent, log] = Export();
    ASSERT_TRUE(sent) << log.join(u'\n').toStdString();
    const QString file = bFolder + QStringLiteral("Export/")
        + ForecastFileName(ExchangeFileBase(QStringLiteral("Управление образования_Прогноз 7")));
    EXPECT_EQ(log.mid(log.size() - 2),
              QStringList({ForecastExportTexts::kSaved.arg(file), ForecastExportTexts::kDone}));
    EXPECT_EQ(Events(), QList<int>{IEK_SENT});
    EXPECT_EQ(Xmllint(home() + QStringLiteral("forecast.xsd"), file).exitCode, 0);
    const QByteArray fileHash = Sha256(ReadFile(file));
    if (!isPg()) {
        GetDBConnection().Close();
        const PeerRun count = RunPeer(QStringLiteral("sqlite3"),
                                      {home() + QStringLiteral("LIR.db"),
                                       QStringLiteral("select count(*) from tfcttotalprognoz where prognoz=7")});
        EXPECT_EQ(count.output.trimmed(), QString::number(shape.products));
        ASSERT_TRUE(QFile::copy(home() + QStringLiteral("LIR.db"), bFolder + QStringLiteral("LIR.db")));
    }

    UseUpperDatabase(aFolder, true, shape);
    const QString received = aFolder + QStringLiteral("Import/") + QFileInfo(file).fileName();
    ASSERT_TRUE(QFile::copy(file, received));
    messages.clear();
    answers = {IDYES};
    hook.openPaths = {received};
    CSessionState session;
    OnReceiveForecast(session, nullptr);
    ASSERT_EQ(MessageTexts(),
              QStringList({ForecastImportTexts::kQuestion.arg(QStringLiteral("Управление образования"),
                                                              QStringLiteral("Министерство финансов")),
                           ForecastImportTexts::kLoaded.arg(received)}));
    EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(Sums(QStringLiteral("tfctprognozdata"), QStringLiteral("prognoz = 7 and receiver = 5")), bSums);
    EXPECT_EQ(Scalar(QStringLiteral("select sumNext from tfctprognozdata where prognoz = 7 and receiver = 5 "
                                    "order by product limit 1"))
                  .toLongLong(),
              12345678);
    EXPECT_EQ(Scalar(QStringLiteral("select subReceiverCount from tclsreceivermap where prognoz = 7 and receiver = 5")),
              QVariant(kSubReceivers + 1));
    EXPECT_EQ(Events(), QList<int>{IEK_RECEIVED});

    // Again, answered No: the question warns, and neither the database nor the file changes.
    GetDBConnection().Close();
    const PeerRun before =
        RunPeer(QStringLiteral("sqlite3"), {aFolder + QStringLiteral("LIR.db"), QStringLiteral(".dump")});
    UseUpperDatabase(aFolder, false, shape);
    messages.clear();
    answers = {IDNO};
    ImportForecastFile(session, nullptr, received);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(
        messages[0].text.endsWith(ForecastImportTexts::kReplaceWarning.arg(QStringLiteral("Управление образования"))));
    EXPECT_EQ(messages[0].flags, unsigned(MB_YESNO | MB_ICONEXCLAMATION));
    GetDBConnection().Close();
    EXPECT_EQ(RunPeer(QStringLiteral("sqlite3"), {aFolder + QStringLiteral("LIR.db"), QStringLiteral(".dump")}).output,
              before.output);
    EXPECT_EQ(Sha256(ReadFile(received)), fileHash);
}

// Refusals before the question, and a failure in the middle of the rows: nothing of the file stays.
TEST_P(ForecastExchangeTest, ImportWritesAllOrNothing)
{
    const CExchangeShape shape{kForecast, 3200, 2};
    UseOwnDatabase(home() + QStringLiteral("Export"));
    QString error;
    const auto a = GenerateUpperOrganisation(shape, &error);
    ASSERT_TRUE(a) << error.toStdString();
    const CTotalForecastList rows = ExchangeTotals(shape, *a);
    const CForecastHeader good{kUpperInA, kLowerInA, QString(), 3};
    const QString path = home() + QStringLiteral("Import/Прогноз.xml");
    QDir().mkpath(home() + QStringLiteral("Import"));
    const auto write = [&](const QByteArray& bytes) { WriteFile(path, bytes); };
    const auto document = [&](const CForecastHeader& header, const CTotalForecastList& list) {
        EXPECT_TRUE(WriteForecastDocument(header, list, path));
        return ReadFile(path);
    };
    const QByteArray valid = document(good, rows);
    CTotalForecastList mixed(rows.begin(), rows.begin() + 3);
    mixed[2].prognoz = kForecast + 1;
    CNsiDocument nsi;
    nsi.forecastId = kForecast;

    const QString v = GetFileVersionString();
    const auto withFirstSum = [&](const QByteArray& sum) {
        QByteArray bytes = valid;
        const qsizetype from = bytes.indexOf("<sumlast>") + 9;
        return bytes.replace(from, bytes.indexOf("</sumlast>", from) - from, sum);
    };
    const QString readFailed = ExchangeTexts::kReadFailed.arg(path, QStringLiteral("(the parser's words)"));
    struct Case {
        const char* what;
        QByteArray bytes;
        QStringList expected;
    } cases[] = {
        {"older version", QByteArray(valid).replace(v.toUtf8(), "2.0.1.39"), {ExchangeTexts::kVersionMismatch}},
        {"truncated", valid.left(valid.size() / 2), {readFailed}},
        {"cut inside a row's name", valid.left(valid.indexOf("<prognozdata", valid.size() / 2) + 8), {readFailed}},
        {"cut inside a field's name", valid.left(valid.indexOf("<sumnext", valid.size() / 2) + 5), {readFailed}},
        {"cut inside an end tag's name",
         valid.left(valid.indexOf("</prognozdata", valid.size() / 2) + 6),
         {readFailed}},
        {"a sum beyond the money range",
         withFirstSum("1000000000000000000"),
         {ExchangeTexts::kReadFailed.arg(path, XmlMoneyOverflowMessage("sumlast", "1000000000000000000"))}},
        {"document type",
         QByteArray(valid).insert(valid.indexOf("<forecast"), "<!DOCTYPE forecast [<!ENTITY e \"x\">]>\n"),
         {readFailed}},
        {"reference data", XmlToBytes(BuildNsiDocument(nsi).get()), {ExchangeTexts::kValidationFailed}},
        {"no rows", document(good, {}), {ForecastImportTexts::kNoData}},
        {"rows of two forecasts", document(good, mixed), {ExchangeTexts::kValidationFailed}},
        {"unknown parties",
         document({77, 78, {}, 0}, rows),
         {ForecastImportTexts::kSenderMissing, ForecastImportTexts::kRecipientMissing}},
    };
    CSessionState session;
    for (const Case& c : cases) {
        write(c.bytes);
        messages.clear();
        ImportForecastFile(session, nullptr, path);
        QStringList texts = MessageTexts();
        // The parser's own words follow the path.
        const QString withoutWords = ExchangeTexts::kReadFailed.arg(path, QString());
        if (!texts.isEmpty() && texts[0].startsWith(withoutWords) && texts[0].size() > withoutWords.size()
            && texts != c.expected)
            texts[0] = readFailed;
        EXPECT_EQ(texts, c.expected) << c.what;
        EXPECT_EQ(Count(QStringLiteral("tfctprognozdata")), 0) << c.what;
    }

    // The 3,000th row fails: the database's message is shown, and rows, map and journal stay.
    write(valid);
    if (isPg()) {
        ExecAsAdmin(QStringLiteral("create function third_thousand() returns trigger language plpgsql as $$ begin "
                                   "if (select count(*) from tfctprognozdata) >= 2999 then "
                                   "raise exception 'третья тысяча'; end if; return new; end $$"));
        ExecAsAdmin(QStringLiteral("create trigger third_thousand before insert on tfctprognozdata "
                                   "for each row execute function third_thousand()"));
    } else {
        Exec(QStringLiteral("create trigger third_thousand before insert on tfctprognozdata "
                            "when (select count(*) from tfctprognozdata) >= 2999 "
                            "begin select raise(abort, 'третья тысяча'); end"));
    }
    Exec(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, comment) values (7, ?, 5, 'A')"),
         {rows[0].product});
    const QVariant map = Scalar(QStringLiteral("select subReceiverCount from tclsreceivermap where receiver = 5"));
    messages.clear();
    answers = {IDYES};
    ImportForecastFile(session, nullptr, path);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.contains(QStringLiteral("третья тысяча"))) << messages[1].text.toStdString();
    EXPECT_EQ(Count(QStringLiteral("tfctprognozdata")), 1);
    EXPECT_EQ(Scalar(QStringLiteral("select comment from tfctprognozdata")).toString(), "A");
    EXPECT_EQ(Scalar(QStringLiteral("select subReceiverCount from tclsreceivermap where receiver = 5")), map);
    EXPECT_EQ(Count(QStringLiteral("tfctimportstatus")), 0);
    EXPECT_EQ(ReadFile(path), valid);

    // Without the trigger the same file goes in whole; a received comment follows the stored one, and
    // of two rows of one product the later one is stored. Joined past the column's 255 characters, it
    // is refused before the question, and nothing changes.
    if (isPg())
        ExecAsAdmin(QStringLiteral("drop trigger third_thousand on tfctprognozdata"));
    else
        Exec(QStringLiteral("drop trigger third_thousand"));
    CTotalForecastList repeated = rows;
    repeated.push_back(rows[0]);
    repeated.back().sumNext = Money::fromRaw(-12345678);
    const QString received = QStringLiteral("B\t\\x\ny");
    write(document(good, repeated).replace("<comment></comment>", "<comment>" + received.toUtf8() + "</comment>"));
    const QString productName =
        Scalar(QStringLiteral("select name from tclsproduct where id = ?"), {rows[0].product}).toString();
    const QString tooLong(255 - received.size() + 1, u'я');
    Exec(QStringLiteral("update tfctprognozdata set comment = ?"), {tooLong});
    messages.clear();
    answers = {IDYES};
    ImportForecastFile(session, nullptr, path);
    EXPECT_EQ(MessageTexts(), QStringList{ForecastImportTexts::kJoinedCommentTooLong.arg(productName).arg(255)});
    EXPECT_EQ(Count(QStringLiteral("tfctprognozdata")), 1);
    EXPECT_EQ(Scalar(QStringLiteral("select comment from tfctprognozdata")).toString(), tooLong);
    const QString stored = tooLong.left(tooLong.size() - 1);
    Exec(QStringLiteral("update tfctprognozdata set comment = ?"), {stored});
    messages.clear();
    answers = {IDYES};
    ImportForecastFile(session, nullptr, path);
    EXPECT_EQ(MessageTexts().value(1), ForecastImportTexts::kLoaded.arg(path));
    EXPECT_EQ(Count(QStringLiteral("tfctprognozdata")), qlonglong(rows.size()));
    EXPECT_EQ(
        Scalar(QStringLiteral("select comment from tfctprognozdata where product = ?"), {rows[0].product}).toString(),
        stored + received);
    EXPECT_EQ(Sums(QStringLiteral("tfctprognozdata"), QStringLiteral("product = %1").arg(rows[0].product)),
              QStringLiteral("1|-12345678|%1").arg(rows[0].valueNorm.raw()));
    EXPECT_EQ(Scalar(QStringLiteral("select subReceiverCount from tclsreceivermap where receiver = 5")), QVariant(3));
    EXPECT_EQ(Count(QStringLiteral("tfctimportstatus"), QStringLiteral("event = 1 and send is null")), 1);
}

// The export's outcomes and the exchange journal: each case changes B's database or settings a little.
TEST_P(ForecastExchangeTest, ExportOutcomes)
{
    QDir().mkpath(home() + QStringLiteral("transport"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_TEST_PLUGIN_DIR "/FakeTransport.so"),
                            home() + QStringLiteral("transport/FakeTransport.so")));
    const QString outbox = home() + QStringLiteral("outbox/");
    SetEnv("LIR_FAKE_SCRIPT", (home() + QStringLiteral("script.txt")).toUtf8());
    SetEnv("LIR_FAKE_OUTBOX", outbox.toUtf8());
    registry.Load();
    UseOwnDatabase(home() + QStringLiteral("Export"));
    QString error;
    ASSERT_TRUE(GenerateLowerOrganisation({kForecast, 200, 3}, &error)) << error.toStdString();
    const QString base = ExchangeFileBase(QStringLiteral("Управление образования_Прогноз 7"));
    const QString target = home() + QStringLiteral("Export/") + ForecastFileName(base);

    using namespace ForecastExportTexts;
    struct Case {
        const char* what;
        QString transport;
        std::function<void()> arrange;
        QString before; // the line before the last
        QString lastLine;
        QList<int> events; // the journal afterwards
    } cases[] = {
        {"fake plug-in, sent",
         QStringLiteral("FAKE"),
         [&] { WriteFile(home() + QStringLiteral("script.txt"), "ok\n"); },
         kSaving,
         kDone,
         {IEK_SENT}},
        {"fake plug-in, refused",
         QStringLiteral("FAKE"),
         [&] { WriteFile(home() + QStringLiteral("script.txt"), "fail нет связи\n"); },
         QStringLiteral("\tнет связи"),
         kSendFailed,
         {IEK_SENT, IEK_SEND_FAILED}},
        {"file exists, dialog cancelled",
         kFileTransport,
         [&] { WriteFile(target, "old"); },
         kNoFileChosen,
         kFailed,
         {IEK_SENT, IEK_SEND_FAILED, IEK_SEND_FAILED}},
        {"mail without an address",
         kMailTransport,
         [&] { Exec(QStringLiteral("update tclsreceiver set email = null where id = ?"), {kUpperInB}); },
         kNoEmail.arg(QStringLiteral("Министерство финансов")),
         kFailed,
         {IEK_SENT, IEK_SEND_FAILED, IEK_SEND_FAILED, IEK_SEND_FAILED}},
        {"a row a received comment made, not consolidated since",
         kFileTransport,
         [&] {
             const int product = Scalar(QStringLiteral("select min(product) from tfcttotalprognoz")).toInt();
             Exec(QStringLiteral("delete from tfcttotalprognoz where product = ?"), {product});
             CTotalForecastRecord commented;
             commented.prognoz = kForecast;
             commented.product = product;
             commented.comment = QStringLiteral("Уточнить");
             ASSERT_TRUE(SaveTotalForecastComment(commented));
         },
         kSaving,
         kNotGenerated,
         {IEK_SENT, IEK_SEND_FAILED, IEK_SEND_FAILED, IEK_SEND_FAILED}},
        {"empty consolidated forecast",
         kFileTransport,
         [&] { Exec(QStringLiteral("delete from tfcttotalprognoz")); },
         kSaving,
         kEmpty,
         {IEK_SENT, IEK_SEND_FAILED, IEK_SEND_FAILED, IEK_SEND_FAILED}},
        {"own forecast",
         kFileTransport,
         [&] { Exec(QStringLiteral("update tclsreceiver set importedId = 0")); },
         kOwner,
         kFailed,
         {IEK_SENT, IEK_SEND_FAILED, IEK_SEND_FAILED, IEK_SEND_FAILED, IEK_SEND_FAILED}},
    };
    for (const Case& c : cases) {
        Settings().Transport = c.transport;
        c.arrange();
        answers = {IDNO};
        const auto [sent, log] = Export();
        ASSERT_GE(log.size(), 2) << c.what;
        EXPECT_EQ(log.mid(log.size() - 2), QStringList({c.before, c.lastLine})) << c.what;
        EXPECT_EQ(sent, c.lastLine == kDone) << c.what;
        EXPECT_EQ(Events(), c.events) << c.what;
    }
    EXPECT_EQ(hook.asked, QStringList({target + QStringLiteral("|Файлы XML (*.xml)|xml")}));

    // The plug-in got the send description of the forecast document, which names the document.
    const QString sentFolder = outbox + QDir(outbox).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name).value(0);
    const QString envelope = sentFolder + u'/' + SendEnvelopeFileName(base);
    ASSERT_TRUE(QFileInfo::exists(envelope)) << envelope.toStdString();
    const QJsonObject tree = PythonTree(envelope);
    EXPECT_EQ(ChildText(tree, QStringLiteral("typeData")), ExchangeDataType::kForecast);
    EXPECT_EQ(QFileInfo(ChildText(tree, QStringLiteral("nameFile"))).fileName(), ForecastFileName(base));
}

// A mail that cannot go says why, in Russian, on the send dialog's first tab and in the export's log.
TEST_P(ForecastExchangeTest, MailFailuresTellTheirCause)
{
    QDir().mkpath(home() + QStringLiteral("transport"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(MAILRUNE_MODULE_PATH), home() + QStringLiteral("transport/mailrune.so")));
    registry.Load();
    UseOwnDatabase(home() + QStringLiteral("Export"));
    QString error;
    ASSERT_TRUE(GenerateLowerOrganisation({kForecast, 50, 2}, &error)) << error.toStdString();
    Settings().Transport = ForecastExportTexts::kMailTransport;
    const QString name = SendEnvelopeFileName(ExchangeFileBase(QStringLiteral("Управление образования_Прогноз 7")));

    // A port that refuses (its server closed again), and one that listens and never says a word.
    QTcpServer closed, silent;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost) && silent.listen(QHostAddress::LocalHost));
    const int refusing = closed.serverPort(), quiet = silent.serverPort();
    closed.close();
    // The test script's sink that requires AUTH as user/pass.
    const int sink = qEnvironmentVariableIntValue("SMTPTEST_AUTH_PORT");
    const QString local = QStringLiteral("127.0.0.1");
    const struct {
        QString server;
        int port;
        const char* password; // with the login "user"; null: no login
        QString cause;
    } cases[] = {
        {local, refusing, nullptr, QStringLiteral("сервер отказал в соединении.")},
        {QStringLiteral("nonexistent.invalid"), 25, nullptr, QStringLiteral("сервер с таким именем не найден.")},
        {local, quiet, nullptr, QStringLiteral("сервер не ответил вовремя.")},
        {local, sink, "wrong",
         QStringLiteral("сервер не принял имя пользователя или пароль, ответ сервера: 535 5.7.8 Authentication "
                        "credentials invalid.")},
        {local, sink, nullptr,
         QStringLiteral("сервер не принял адрес отправителя, ответ сервера: 530 5.7.0 Authentication required.")},
    };
    for (const auto& c : cases) {
        if (c.port == 0)
            continue;
        SCOPED_TRACE(c.cause.toStdString());
        CMailSettings mail;
        mail.smtpServer = c.server;
        mail.smtpCheckLogin = c.password ? 1 : 0;
        mail.smtpLogin = c.password ? QStringLiteral("user") : QString();
        mail.smtpPassword = QString::fromLatin1(c.password);
        mail.Save();
        QSettings(profilePath(), QSettings::IniFormat).setValue(QStringLiteral("Transport/MAILRUNE/SMTPPort"), c.port);
        SetEnv("LIR_SMTP_TIMEOUT", c.port == quiet ? "1" : "20");
        answers = {IDNO};
        const auto [sent, log] = Export();
        EXPECT_FALSE(sent);

        const QString cause =
            QStringLiteral("\tПисьмо не отправлено через сервер SMTP \"%1\", порт %2: ").arg(c.server).arg(c.port)
            + c.cause;
        const QStringList lines = {name + QStringLiteral(": ошибка отправки данных."),
                                   QStringLiteral("\tОшибка: Ошибка при попытке отправки почты."), cause};
        EXPECT_EQ(hook.firstTab, lines.join(u'\n') + u'\n');
        EXPECT_EQ(hook.overflow, 0) << "the cause is cut off";
        ASSERT_GE(log.size(), 4);
        EXPECT_EQ(log.mid(log.size() - 4), lines + QStringList{ForecastExportTexts::kSendFailed});
    }
    if (!sink)
        GTEST_SKIP() << "no SMTP sink requiring AUTH: SMTPTEST_AUTH_PORT is not set (scripts/test.sh starts one)";
}

// The question whether to go on after the check's findings is asked once the log shows them all.
TEST_P(ForecastExchangeTest, TheFindingsStandInTheLogBeforeTheQuestionAboutThem)
{
    UseOwnDatabase(home() + QStringLiteral("Export"));
    QString error;
    ASSERT_TRUE(GenerateLowerOrganisation({kForecast, 200, 3}, &error)) << error.toStdString();
    // A school's sum of the current year without its quantity.
    Exec(QStringLiteral("insert into tfctprognozdata (prognoz, product, receiver, sumCurr, valueCurr) select ?, "
                        "min(id), ?, ?, 0 from tclsproduct where prognoz = ? and isgroup = 0 and "
                        "measurementNatural is not null"),
         {kForecast, kLowerInB + 1, QVariant::fromValue(Money::fromInt(10)), kForecast});
    QString shown;
    const MessageBoxHandler previous = SetMessageBoxHandler([&](const QString& text, unsigned, QObject* parent) {
        if (text == ForecastExportTexts::kCheckQuestion)
            if (const auto* dlg = qobject_cast<const CExportDataDlg*>(parent))
                shown = dlg->logEdit()->toPlainText();
        return IDNO;
    });
    const auto [sent, log] = Export();
    SetMessageBoxHandler(previous);
    EXPECT_FALSE(sent);
    ASSERT_FALSE(shown.isEmpty()) << "the check asked nothing: " << log.join(u'\n').toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("\tНе указано количество за текущий год!"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("Закончено.\n"))) << shown.toStdString();
}

LIR_INSTANTIATE_DB_TEST(ForecastExchangeTest);
