// The forecast data check on a shown window and the reference-data check on a plain log, on both
// dialects; the saved log judged by iconv.
#include "CheckTestSupport.h"

#include "CheckDialogs.h"
#include "DataChecks.h"
#include "ModalHook.h"
#include "TextUtils.h"
#include "tables/Documentation.h"

#include <QDir>
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

bool Check(CCheckForecastDlg& dlg)
{
    return dlg.CheckForecast(1);
}

} // namespace

class DataChecksTest : public CheckDbTest {
protected:
    // Receiver "А" without rows and "Б" with a kind-64 group stating less than its members, a member
    // without its current-year quantity and a member priced outside its range.
    void ArrangeTwoReceivers()
    {
        Forecast(1);
        Receiver(1, 11, 0, QStringLiteral("А"));
        Receiver(1, 12, 0, QStringLiteral("Б"));
        Product(1, {2, 0, "02", "Мясо", 1, 2, 64});
        Product(1, {3, 2, "02.1", "Говядина"});
        Product(1, {4, 2, "02.2", "Свинина"});
        Row(1, 12, 2, {1000, 1000, 100}, {1, 1, 1});
        Row(1, 12, 3, {10, 0, 50}, {1, 0, 1});
        Row(1, 12, 4, {100, 100, 100}, {1, 1, 1});
    }
};
LIR_INSTANTIATE_DB_TEST(DataChecksTest);

TEST_P(DataChecksTest, ForecastCheckLogsEachReceiversFindings)
{
    ArrangeTwoReceivers();
    const char* header = "Проверка прогнозых данных...\n\n"
                         "Операция может занять несколько минут. Пожалуйста подождите...\n\n";
    EXPECT_EQ(OnShownWindow<CCheckForecastDlg>(Check),
              std::pair(false,
                        Lines((QByteArray(header)
                               + "А\n\tОтсутствуют прогнозные данные!\n\n"
                                 "Б\n\tСумма по продуктам за следующий год больше указанной.\n\n[02] Мясо\n"
                                 "[02.1] Говядина\n\tНе указано количество за текущий год!\n"
                                 "[02.2] Свинина\n\tЦена не входит в допустимый диапазон!\n\nЗакончено.")
                                  .constData())));
    // A receiver without rows fails nothing.
    Exec("delete from tclsreceivermap where receiver = 12");
    EXPECT_EQ(
        OnShownWindow<CCheckForecastDlg>(Check),
        std::pair(true, Lines((QByteArray(header) + "А\n\tОтсутствуют прогнозные данные!\n\nЗакончено.").constData())));
    EXPECT_TRUE(messages.empty());
}

TEST_P(DataChecksTest, GroupRowsOfReceiverGroupsMissingUnitsAndFailedSums)
{
    Forecast(2);
    Unit(3, QStringLiteral("тыс. руб."));
    Receiver(2, 19, 0, QStringLiteral("Организация"), 1);
    Receiver(2, 20, 19, QStringLiteral("Группа"), 1);
    Receiver(2, 21, 20, QStringLiteral("Лист 1"));
    Receiver(2, 22, 20, QStringLiteral("Лист 2"));
    Product(2, {2, 0, "02", "Мясо", 1, 2, 64, 0, 0});
    Product(2, {3, 2, "02.1", "Говядина"});
    Product(2, {8, 2, "02.3", "Фарш", 1, 2, 64, 0, 0});
    Product(2, {5, 0, "05", "Рыба", 1, 2, 64, 0, 0});
    Product(2, {6, 5, "05.1", "Треска", 1, 3});
    Product(2, {7, 0, "07", "Без цены", 1, 0});
    Row(2, 21, 2, {30, 0, 0}, {1, 1, 1});
    Row(2, 22, 2, {40, 0, 0}, {1, 1, 1});
    Row(2, 20, 2, {50, 0, 0}, {1, 1, 1});
    Row(2, 21, 5, {0, 0, 0}, {1, 1, 1});
    Row(2, 21, 7, {0, 0, 0}, {1, 1, 1});
    Row(2, 22, 8, {0, 0, 0}, {1, 0, 1});
    const std::tuple<int, bool, const char*> cases[] = {
        // The receiver group's rows are its members' sums: 30 + 40 above the stated 50.
        {20, false, "\tСумма по продуктам за прошлый год больше указанной.\n\n[02] Мясо"},
        // Treska's unit has no coefficient into the group's; a product without a price unit.
        {21, false,
         "\tНе удалось подсчитать сумму по продуктам.\n\n[05] Рыба\n[07] Без цены\n"
         "\tНе указана единица измерения цен!"},
        // A nested group's quantities are not tested; a receiver the forecast does not map has no rows.
        {22, true, nullptr},
        {99, true, "\tОтсутствуют прогнозные данные!"},
    };
    for (const auto& [receiver, result, lines] : cases) {
        SCOPED_TRACE(receiver);
        CLinesLog log;
        EXPECT_EQ(CheckForecastData(log, 2, receiver), result);
        EXPECT_EQ(log.lines(), lines ? Lines(lines) : QStringList());
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(DataChecksTest, ReferenceDataCheckOfTheGivenForecast)
{
    for (int forecast : {1, 2, 3})
        Forecast(forecast);
    Unit(4, QStringLiteral("тыс. шт"));
    Unit(5, QStringLiteral("шт"));
    Unit(6, QStringLiteral("сотни"));
    Exec("insert into tclsmconvert (base, produce, koef) values (6, 4, 0.1)");
    Product(2, {1, 0, "01", "Все", 1, 4, 64, 0, 0});
    Product(2, {2, 1, "01.1", "Отклонения", 1, 4, 1, 2, 1, 0});
    Product(2, {3, 1, "01.2", "Штуки", 1, 5});
    Product(2, {4, 1, "01.3", "Подгруппа", 1, 4, 64, 0, 0});
    Product(2, {9, 4, "01.3.1", "Сотни", 1, 6});
    Product(2, {10, 4, "01.3.2", "Ещё сотни", 1, 6});
    Product(3, {1, 0, "", "Корень", 1, 0, 64, 0, 0});
    // The document of the current forecast is none of the check's business; a stored file is found.
    Exec("insert into tfctdocumentation (id, prognoz, name, position, filename) values (1, 1, 'Чужой', 1, 'a'), "
         "(2, 2, 'Пояснительная записка', 1, 'b'), (3, 2, 'Смета', 2, 'c')");
    CDocumentationRecord stored;
    stored.id = 3;
    stored.prognoz = 2;
    QDir().mkpath(GetDocsFolder());
    WriteFile(MakeDocFileName(stored), "смета");

    const std::tuple<bool (*)(CCheckLog&, int), int, const char*> cases[] = {
        {&CheckNSI, 2,
         "Проверка отраслей...\n[01.1] Отклонения\n"
         "Минимальное разрешенное отклонение не может быть больше максимального!\nЦены должны быть больше нуля!\n"
         "Закончено.\nПроверка документов...\nПояснительная записка\nНе найден документ!\nЗакончено.\n"
         "Проверка единиц измерения...\nНе найдена ценовая единица пересчета из шт в тыс. шт!\nЗакончено."},
        {&CheckMeasurements, 3,
         "Проверка единиц измерения...\n"
         "Не задана ценовая единица измерения для \"Корень\". Проверка приостановлена!\nЗакончено."},
        {&CheckMeasurements, 1, "Проверка единиц измерения...\nНе найден корневой продукт!\nЗакончено."},
    };
    for (const auto& [check, forecast, lines] : cases) {
        SCOPED_TRACE(forecast);
        CLinesLog log;
        EXPECT_FALSE(check(log, forecast));
        EXPECT_EQ(log.lines(), Lines(lines));
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(DataChecksTest, SavedLogIsTheLogInCp1251WithCrLf)
{
    ArrangeTwoReceivers();
    SaveHook hook;
    CModalHook* previous = SetModalHook(&hook);
    const QString path = home() + QStringLiteral("log.txt");
    QStringList lines;
    OnShownWindow<CCheckForecastDlg>([&](CCheckForecastDlg& dlg) {
        dlg.CheckForecast(1);
        lines = dlg.LogLines();
        for (const QString& answer : {path, home() + QStringLiteral("missing/log.txt"), QString()}) {
            hook.answer = answer;
            dlg.saveButton()->click();
        }
        // A character cp1251 lacks becomes "?".
        dlg.AppendLine(QStringLiteral("€ ≠"));
        hook.answer = home() + QStringLiteral("other.txt");
        dlg.saveButton()->click();
        return true;
    });
    SetModalHook(previous);

    EXPECT_EQ(hook.asked, QStringList(4, QStringLiteral("Текстовые файлы (*.txt)|txt")));
    EXPECT_FALSE(QDir(home() + QStringLiteral("missing")).exists());
    EXPECT_TRUE(messages.empty());
    const QByteArray bytes = ReadFile(path);
    EXPECT_TRUE(bytes.endsWith(UnicodeToAnsi(QStringLiteral("Закончено.\r\n"))));
    EXPECT_EQ(bytes.count("\r\n"), lines.size());
    EXPECT_EQ(bytes.count('\n'), lines.size());
    EXPECT_TRUE(ReadFile(home() + QStringLiteral("other.txt")).endsWith("\x88 ?\r\n"));

    if (!HaveProgram(QStringLiteral("iconv")))
        GTEST_SKIP() << "iconv is not installed";
    const PeerRun iconv = RunPeer(QStringLiteral("iconv"), {"-f", "CP1251", "-t", "UTF-8", path});
    ASSERT_EQ(iconv.exitCode, 0) << iconv.output.toStdString();
    EXPECT_EQ(iconv.output, lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}
