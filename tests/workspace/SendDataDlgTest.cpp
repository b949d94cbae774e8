// The send dialog on the offscreen platform with the scripted transport plug-in loaded from the
// program folder, and the opening of received documents through the modal hook.
#include "ExchangeTestSupport.h"

#include "AppMessage.h"
#include "ExchangeDocuments.h"
#include "ExchangeOpen.h"
#include "ForecastImport.h"
#include "ModalHook.h"
#include "SendDataDlg.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

namespace {

// Runs a dialog and presses "Закрыть" once sending is over; records the file dialogs asked for.
class ScriptedHook : public CModalHook {
public:
    int execDialog(QDialog& dialog) override
    {
        auto* send = qobject_cast<CSendDataDlg*>(&dialog);
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, &dialog, [&] {
            if (send && send->isDone())
                dialog.findChild<QPushButton*>(QStringLiteral("id1"))->click();
        });
        timer.start(5);
        return dialog.exec();
    }
    QString getOpenFileName(QWidget*, const QString& caption, const QString&, const QString& filter) override
    {
        asked << caption + u'|' + filter;
        return QString();
    }
    QStringList asked;
};

class SendDialogTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        CopySchemas(home());
        QDir().mkpath(home() + QStringLiteral("transport"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_TEST_PLUGIN_DIR "/FakeTransport.so"),
                                home() + QStringLiteral("transport/FakeTransport.so")));
        exportDir = home() + QStringLiteral("Export/");
        outbox = home() + QStringLiteral("outbox/");
        QDir().mkpath(exportDir);
        QDir().mkpath(home() + QStringLiteral("tmp"));
        SetEnv("TMPDIR", (home() + QStringLiteral("tmp")).toUtf8());
        SetEnv("LIR_FAKE_SCRIPT", (home() + QStringLiteral("script.txt")).toUtf8());
        SetEnv("LIR_FAKE_OUTBOX", outbox.toUtf8());
        savedTransport = Settings().Transport;
        registry.Load();
        ASSERT_EQ(registry.transports().size(), 2u) << "the built-in file transport and the fake";
        SetModalHook(&hook);
    }
    void TearDown() override
    {
        SetModalHook(nullptr);
        Settings().Transport = savedTransport;
        TempHomeTest::TearDown();
    }

    // Forecast documents in `folder` with their send descriptions in `envelopes`.
    CStringPairList Prepare(int count, const QString& folder, const QString& envelopes)
    {
        CStringPairList files;
        for (int i = 1; i <= count; ++i) {
            const QString base = ExchangeFileBase(QStringLiteral("Получатель %1_Прогноз").arg(i));
            const QString data = folder + ForecastFileName(base);
            EXPECT_TRUE(SaveExchangeDocument(BuildForecastDocument({i, 1, {}, 0}, SampleTotals()).get(), data));
            const QString envelope = envelopes + SendEnvelopeFileName(base);
            const QString name = QStringLiteral("Получатель %1").arg(i);
            const CSendEnvelope e{name, name + QStringLiteral("@x.ru"), {}, {}, data, ExchangeDataType::kForecast};
            EXPECT_TRUE(SaveExchangeDocument(BuildSendEnvelope(e).get(), envelope));
            files.push_back({name, envelope});
        }
        return files;
    }

    void Script(const QByteArray& lines) { WriteFile(home() + QStringLiteral("script.txt"), lines); }
    QStringList Outbox() const { return QDir(outbox).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name); }

    ScriptedHook hook;
    CTransportRegistry registry;
    QString exportDir;
    QString outbox;
    QString savedTransport;
};

} // namespace

TEST_F(SendDialogTest, ThreeFilesWithTheSecondRefusedAreAllSentAndDeleted)
{
    Settings().Transport = QStringLiteral("FAKE");
    Script("ok\nfail Ошибка: Не задан email получателя.\nok\n");
    auto folder = std::make_unique<CSendFolder>();
    const QString folderPath = folder->path();
    const CStringPairList files = Prepare(3, folderPath, exportDir);
    CSendDataDlg dlg(files, registry.transports(), nullptr, std::move(folder));
    ExecModal(dlg);

    EXPECT_EQ(dlg.successFlag(), 0);
    EXPECT_EQ(dlg.resultText(),
              "Получатель 1: успешно завершено.\r\nПолучатель 2: ошибка отправки данных.\r\n"
              "\tОшибка: Не задан email получателя.\r\nПолучатель 3: успешно завершено.\r\n");
    EXPECT_EQ(dlg.descriptionText(), "Получатель 2: Ошибка: Не задан email получателя.\r\n");
    auto* edit = dlg.findChild<QPlainTextEdit*>(QStringLiteral("id1058"));
    EXPECT_EQ(edit->toPlainText(), QString(dlg.resultText()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    dlg.findChild<QTabBar*>(QStringLiteral("id1039"))->setCurrentIndex(1);
    EXPECT_EQ(edit->toPlainText(), "Получатель 2: Ошибка: Не задан email получателя.\n");
    for (const CStringPair& f : files)
        EXPECT_FALSE(QFile::exists(f.path)) << "deleted after its attempt";
    EXPECT_FALSE(QFileInfo::exists(folderPath)) << "the waiting documents go with the dialog";

    // What the transport was handed: each description with the document it names, whole.
    ASSERT_EQ(Outbox(), QStringList({"1", "2", "3"}));
    REQUIRE_XMLLINT();
    for (const QString& n : Outbox()) {
        const QDir copy(outbox + n);
        const QStringList data = copy.entryList({QStringLiteral("Прогноз_*.xml")});
        const QStringList envelope = copy.entryList({QStringLiteral("НСИ_*_envelope.xml")});
        ASSERT_EQ(data.size(), 1);
        ASSERT_EQ(envelope.size(), 1);
        EXPECT_EQ(Xmllint(home() + QStringLiteral("forecast.xsd"), copy.filePath(data[0])).exitCode, 0);
        EXPECT_EQ(Xmllint(home() + QStringLiteral("forecastEnvelope.xsd"), copy.filePath(envelope[0])).exitCode, 0);
    }
}

TEST_F(SendDialogTest, OutcomesByTransportAndAnswer)
{
    const QString deep = home() + QString(6, QChar(u'/')).replace(u'/', QString(30, QChar(u'Ю')) + u'/');
    QDir().mkpath(deep);
    const struct {
        const char* transport;
        QByteArray script;
        int files;
        int flag;
        QString result; // %1 the first file's name, %2 its path
        QString description;
        bool deleted;
        int sent;
        bool deepPath = false;
    } cases[] = {
        {"FAKE", "fail-noresult", 1, 0,
         "%1: ошибка отправки данных.\r\n\tМодуль транспорта вернул код ошибки 0x80004005.\r\n",
         "Получатель 1: Модуль транспорта вернул код ошибки 0x80004005.\r\n", true, 1},
        {"FAKE", "fail-notxml", 1, 0,
         "%1: ошибка отправки данных.\r\n\tМодуль транспорта вернул код ошибки 0x80004005.\r\n",
         "Получатель 1: Модуль транспорта вернул код ошибки 0x80004005.\r\n", true, 1},
        {"FAKE", "fail Ответ & <сервера>", 1, 0, "%1: ошибка отправки данных.\r\n\tОтвет & <сервера>\r\n",
         "Получатель 1: Ответ & <сервера>\r\n", true, 1},
        // The first tab takes the first line of a longer answer and its last, where the cause stands.
        {"FAKE", "fail Ошибка: шаги.\\nШаг 1\\n\\nШаг 2\\n  Причина: сервер молчит.", 1, 0,
         "%1: ошибка отправки данных.\r\n\tОшибка: шаги.\r\n\tПричина: сервер молчит.\r\n",
         "Получатель 1: Ошибка: шаги.\nШаг 1\n\nШаг 2\n  Причина: сервер молчит.\r\n", true, 1},
        {"FAKE", "ok", 1, 1, "%1: успешно завершено.\r\n", "", true, 1, true},
        {"File", "", 1, 1, "Отправка успешно завершена.\r\n Имена файлов:\r\n%1: %2\r\n", "", false, 0},
        {"NONE", "", 1, 0, "Модуль транспорта \"NONE\" не загружен.\r\n", "", false, 0},
        {"FAKE", "", 0, 0, "Файловая ошибка.", "Не указаны файлы для отправки.", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.transport) + " " + c.script.toStdString());
        QDir(outbox).removeRecursively();
        Settings().Transport = QString::fromLatin1(c.transport);
        Script(c.script);
        const QString envelopes = c.deepPath ? deep : exportDir;
        const CStringPairList files = Prepare(c.files, exportDir, envelopes);
        CSendDataDlg dlg(files, registry.transports());
        ExecModal(dlg);
        EXPECT_EQ(dlg.successFlag(), c.flag);
        const QString result = files.empty() ? c.result : QString(c.result).arg(files[0].name, files[0].path);
        EXPECT_EQ(dlg.resultText(), result);
        EXPECT_EQ(dlg.descriptionText(), c.description);
        EXPECT_TRUE(dlg.findChild<QPushButton*>(QStringLiteral("id1"))->isEnabled());
        for (const CStringPair& f : files)
            EXPECT_EQ(QFile::exists(f.path), !c.deleted);
        EXPECT_EQ(Outbox().size(), c.sent) << "the full path crosses, however long";
    }
}

TEST_F(SendDialogTest, EscapeAndClosingWaitUntilSendingIsOver)
{
    Settings().Transport = QStringLiteral("FAKE");
    const CStringPairList files = Prepare(1, exportDir, exportDir);
    CSendDataDlg dlg(files, registry.transports());
    EXPECT_EQ(dlg.objectName(), "id169");
    EXPECT_EQ(dlg.windowTitle(), "Отправка данных");
    auto* list = dlg.findChild<QListWidget*>(QStringLiteral("id1090"));
    ASSERT_TRUE(list);
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(list->currentItem()->text(), "Сценарный транспорт");
    EXPECT_TRUE(dlg.findChild<QPushButton*>(QStringLiteral("id1037"))->isHidden());
    auto* close = dlg.findChild<QPushButton*>(QStringLiteral("id1"));
    EXPECT_TRUE(close->isDefault());

    dlg.show();
    // Sent, not posted: the queued start of the sending stays in the queue.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg, &escape);
    dlg.close();
    dlg.reject();
    EXPECT_TRUE(dlg.isVisible()) << "sending has not even started";
    EXPECT_FALSE(close->isEnabled());
    QTRY_VERIFY(dlg.isDone());
    EXPECT_TRUE(close->isEnabled());
    EXPECT_EQ(Outbox().size(), 1) << "one send per dialog";
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(SendDialogTest, ReceivedDocumentsAskForTheSchemaAndShowRefusals)
{
    const QString received = home() + QStringLiteral("old-version.xml");
    ASSERT_TRUE(QFile::copy(QStringLiteral(LIR_TEST_DATA_DIR "/exchange/old-version.xml"), received));
    CSessionState session;
    EXPECT_EQ(ImportForecastFile(session, nullptr, received), ImportOutcome::Taken);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Cхема данных не соответствует версии приложения");
    EXPECT_EQ(messages[0].flags, unsigned(MB_OK | MB_ICONSTOP));
    EXPECT_TRUE(hook.asked.isEmpty());

    QFile::remove(home() + QStringLiteral("forecast.xsd"));
    EXPECT_EQ(ImportForecastFile(session, nullptr, received), ImportOutcome::Undecided);
    EXPECT_EQ(hook.asked, QStringList({"Файл проверки XML|Файлы XSD (*.xsd)"}));
    EXPECT_EQ(messages.size(), 1u) << "a cancelled choice ends without a message";
}
