// The forecast data check on a shown window and the reference-data check on a plain log, on both
// dialects; the saved log judged by iconv.
#include "CheckTestSupport.h"

#include "CheckDialogs.h"
#include "DataChecks.h"
#include "ModalHook.h"
#include "TextUtils.h"
#include "tables/Documentation.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>

namespace {

// Answers the save-file dialog with a path and remembers what it was asked.
class SaveHook : public CModalHook {
public:
    QString getSaveFileName(QWidget*, const QString&, const QString&, const QString& filter,
                            const QString& defaultSuffix) override
    {
        asked << filter + u'|' + defaultSuffix;
        return answer;
    }
    QString answer;
    QStringList asked;
};

const QStringList kHeader = {QStringLiteral("Проверка прогнозых данных..."), QString(),
                             QStringLiteral("Операция может занять несколько минут. Пожалуйста подождите..."),
                             QString()};

} // namespace

class DataChecksTest : public CheckDbTest {
protected:
    void SetUp() override
    {
        CheckDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Unit(3, QStringLiteral("тыс. руб."));
    }

    // Receiver "А" without rows and "Б" with a kind-64 group stating less than its members, a member
    // without its current-year quantity and a member priced outside its range.
    void ArrangeTwoReceivers()
    {
        Forecast(1);
        Receiver(1, 11, 0, QStringLiteral("А"));
        Receiver(1, 12, 0, QStringLiteral("Б"));
        Product(1, {2, 0, "02", "Мясо", 1, 2, 1, 64});
        Product(1, {3, 2, "02.1", "Говядина"});
        Product(1, {4, 2, "02.2", "Свинина"});
        Row(1, 12, 2, {1000, 1000, 100}, {1, 1, 1});
        Row(1, 12, 3, {10, 0, 50}, {1, 0, 1});
        Row(1, 12, 4, {100, 100, 100}, {1, 1, 1});
    }

    // Runs the check on a shown window and answers the result and the log's lines.
    std::pair<bool, QStringList> CheckOnWindow(int forecast)
    {
        QPointer<CCheckForecastDlg> dlg = new CCheckForecastDlg;
        dlg->show();
        const bool result = dlg->CheckForecast(forecast);
        const QStringList lines = dlg->LogLines();
        delete dlg;
        return {result, lines};
    }
};
LIR_INSTANTIATE_DB_TEST(DataChecksTest);

TEST_P(DataChecksTest, ForecastCheckLogsEachReceiversFindings)
{
    ArrangeTwoReceivers();
    const auto [result, lines] = CheckOnWindow(1);
    EXPECT_FALSE(result);
    EXPECT_EQ(lines,
              (kHeader
               + QStringList{"А", "\tОтсутствуют прогнозные данные!", "", "Б",
                             "\tСумма по продуктам за следующий год больше указанной.", "", "[02] Мясо",
                             "[02.1] Говядина", "\tНе указано количество за текущий год!", "[02.2] Свинина",
                             "\tЦена не входит в допустимый диапазон!", "", "Закончено."}));

    // A receiver without rows fails nothing.
    Exec("delete from tclsreceivermap where receiver = 12");
    const auto [alone, aloneLines] = CheckOnWindow(1);
    EXPECT_TRUE(alone);
    EXPECT_EQ(aloneLines, (kHeader + QStringList{"А", "\tОтсутствуют прогнозные данные!", "", "Закончено."}));
    EXPECT_TRUE(messages.empty());
}

TEST_P(DataChecksTest, GroupRowsOfReceiverGroupsMissingUnitsAndFailedSums)
{
    Forecast(2);
    Receiver(2, 19, 0, QStringLiteral("Организация"), 1);
    Receiver(2, 20, 19, QStringLiteral("Группа"), 1);
    Receiver(2, 21, 20, QStringLiteral("Лист 1"));
    Receiver(2, 22, 20, QStringLiteral("Лист 2"));
    Product(2, {2, 0, "02", "Мясо", 1, 2, 1, 64, 0, 0});
    Product(2, {3, 2, "02.1", "Говядина"});
    Product(2, {8, 2, "02.3", "Фарш", 1, 2, 1, 64, 0, 0});
    Product(2, {5, 0, "05", "Рыба", 1, 2, 1, 64, 0, 0});
    Product(2, {6, 5, "05.1", "Треска", 1, 3});
    Product(2, {7, 0, "07", "Без цены", 1, 0});
    Row(2, 21, 2, {30, 0, 0}, {1, 1, 1});
    Row(2, 22, 2, {40, 0, 0}, {1, 1, 1});
    Row(2, 20, 2, {50, 0, 0}, {1, 1, 1});
    Row(2, 21, 5, {0, 0, 0}, {1, 1, 1});
    Row(2, 21, 7, {0, 0, 0}, {1, 1, 1});
    Row(2, 22, 8, {0, 0, 0}, {1, 0, 1});

    struct Case {
        int receiver;
        bool result;
        QStringList lines;
    };
    const Case cases[] = {
        // The receiver group's rows are its members' sums: 30 + 40 above the stated 50.
        {20, false, {"\tСумма по продуктам за прошлый год больше указанной.", "", "[02] Мясо"}},
        // Treska's unit has no coefficient into the group's; a product without a price unit.
        {21,
         false,
         {"\tНе удалось подсчитать сумму по продуктам.", "", "[05] Рыба", "[07] Без цены",
          "\tНе указана единица измерения цен!"}},
        // A nested group's quantities are not tested.
        {22, true, {}},
        // Not mapped to the forecast: its rows are none.
        {99, true, {"\tОтсутствуют прогнозные данные!"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.receiver);
        CLinesLog log;
        EXPECT_EQ(CheckForecastData(log, 2, c.receiver), c.result);
        EXPECT_EQ(log.lines(), c.lines);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(DataChecksTest, ReferenceDataCheckOfTheGivenForecast)
{
    Forecast(1);
    Forecast(2);
    Forecast(3);
    Unit(4, QStringLiteral("тыс. шт"));
    Unit(5, QStringLiteral("шт"));
    Unit(6, QStringLiteral("сотни"));
    Pair(6, 4, 0.1);
    Product(2, {1, 0, "01", "Все", 1, 4, 1, 64, 0, 0});
    Product(2, {2, 1, "01.1", "Отклонения", 1, 4, 0, 1, 2, 1, 0});
    Product(2, {3, 1, "01.2", "Штуки", 1, 5});
    Product(2, {4, 1, "01.3", "Подгруппа", 1, 4, 1, 64, 0, 0});
    Product(2, {9, 4, "01.3.1", "Сотни", 1, 6});
    Product(2, {10, 4, "01.3.2", "Ещё сотни", 1, 6});
    Product(3, {1, 0, "", "Корень", 1, 0, 1, 64, 0, 0});
    // The document of the current forecast is none of the check's business; a stored file is found.
    Exec("insert into tfctdocumentation (id, prognoz, name, position, filename) values "
         "(1, 1, 'Чужой документ', 1, 'a.doc'), (2, 2, 'Пояснительная записка', 1, 'b.doc'), "
         "(3, 2, 'Смета', 2, 'c.doc')");
    CDocumentationRecord stored;
    stored.id = 3;
    stored.prognoz = 2;
    QDir().mkpath(GetDocsFolder());
    WriteFile(MakeDocFileName(stored), "смета");

    CLinesLog log;
    EXPECT_FALSE(CheckNSI(log, 2));
    EXPECT_EQ(log.lines(),
              (QStringList{"Проверка отраслей...", "[01.1] Отклонения",
                           "Минимальное разрешенное отклонение не может быть больше максимального!",
                           "Цены должны быть больше нуля!", "Закончено.", "Проверка документов...",
                           "Пояснительная записка", "Не найден документ!", "Закончено.", "Проверка единиц измерения...",
                           "Не найдена ценовая единица пересчета из шт в тыс. шт!", "Закончено."}));

    CLinesLog rootless;
    EXPECT_FALSE(CheckMeasurements(rootless, 3));
    EXPECT_EQ(
        rootless.lines(),
        (QStringList{"Проверка единиц измерения...",
                     "Не задана ценовая единица измерения для \"Корень\". Проверка приостановлена!", "Закончено."}));

    CLinesLog empty;
    EXPECT_FALSE(CheckMeasurements(empty, 1));
    EXPECT_EQ(empty.lines(),
              (QStringList{"Проверка единиц измерения...", "Не найден корневой продукт!", "Закончено."}));
    EXPECT_TRUE(messages.empty());
}

TEST_P(DataChecksTest, SavedLogIsTheLogInCp1251WithCrLf)
{
    ArrangeTwoReceivers();
    SaveHook hook;
    CModalHook* previous = SetModalHook(&hook);
    QPointer<CCheckForecastDlg> dlg = new CCheckForecastDlg;
    dlg->show();
    dlg->CheckForecast(1);
    const QStringList lines = dlg->LogLines();
    const QString path = home() + QStringLiteral("log.txt");
    const QString other = home() + QStringLiteral("other.txt");
    for (const QString& answer : {path, home() + QStringLiteral("missing/log.txt"), QString()}) {
        hook.answer = answer;
        dlg->saveButton()->click();
    }
    // A character cp1251 lacks becomes "?".
    dlg->AppendLine(QStringLiteral("€ ≠"));
    hook.answer = other;
    dlg->saveButton()->click();
    delete dlg;
    SetModalHook(previous);

    EXPECT_EQ(hook.asked, QStringList(4, QStringLiteral("Текстовые файлы (*.txt)|txt")));
    EXPECT_FALSE(QDir(home() + QStringLiteral("missing")).exists());
    EXPECT_TRUE(messages.empty());
    const QByteArray bytes = ReadFile(path);
    EXPECT_TRUE(bytes.endsWith(UnicodeToAnsi(QStringLiteral("Закончено.\r\n"))));
    EXPECT_EQ(bytes.count("\r\n"), lines.size());
    EXPECT_EQ(bytes.count('\n'), lines.size());
    EXPECT_TRUE(ReadFile(other).endsWith("\x88 ?\r\n"));

    if (!HaveProgram(QStringLiteral("iconv")))
        GTEST_SKIP() << "iconv is not installed";
    const PeerRun iconv = RunPeer(QStringLiteral("iconv"), {"-f", "CP1251", "-t", "UTF-8", path});
    ASSERT_EQ(iconv.exitCode, 0) << iconv.output.toStdString();
    EXPECT_EQ(iconv.output, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}
