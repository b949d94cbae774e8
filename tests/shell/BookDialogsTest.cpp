#include "BookDialogs.h"
#include "BookTestSupport.h"
#include "MessageBoxDlg.h"
#include "ReceiverSelectDlg.h"
#include "Session.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace BookDialogTexts;

namespace {

class BookDialogsTest : public ShellDbTest {
protected:
    // Types the values into the dialog's fields (a null text leaves a field as it is), presses OK and
    // answers whether the dialog closed; the message shown, if any, goes to *shown.
    bool Submit(CBookEntityDlg& dlg, std::initializer_list<std::pair<QLineEdit*, const char*>> fields, QString* shown)
    {
        messages.clear();
        dlg.setResult(0);
        dlg.show();
        for (const auto& [edit, text] : fields) {
            if (!text)
                continue;
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            TypeText(edit, QString::fromUtf8(text));
        }
        QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
        *shown = messages.empty() ? QString() : messages.front().text;
        if (!messages.empty()) {
            EXPECT_EQ(messages.front().flags, unsigned(MB_ICONEXCLAMATION));
        }
        return dlg.result() == QDialog::Accepted;
    }

    BookHook hook;
};

} // namespace

TEST(BookEmailTest, TheReceiversRuleAcceptsAndRefusesAsStoredDataExpects)
{
    const struct {
        const char* address;
        bool valid;
    } cases[] = {{"ab@c.de", true},   {"ab@cd.e", true},   {"  ab@c.de ", true}, {"a@bc.de", false},
                 {"ab@.cde", false},  {"ab@cde.", false},  {"a@b.cd", false},    {"a b@cd.ef", false},
                 {"аб@вг.де", false}, {"ab@c..de", false}, {"ab@cd@e.f", false}, {"abcdefg", false},
                 {"ab.c@d.ef", true}, {"a-b_c@d.e", true}, {"ab@c.d", false},    {"abc@d.e", true}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidEmail(QString::fromUtf8(c.address)), c.valid) << c.address;
}

TEST_P(BookDialogsTest, ReceiverAndUnitChecksKeepTheDialogOpen)
{
    CReceiverRecord receiver;
    receiver.name = "Минфин";
    CReceiverDlg rd(receiver, false);
    rd.DoModal();
    QString shown;
    const struct {
        const char* name;
        const char* email;
        bool closes;
        QString message;
    } receiverCases[] = {
        {"", "", false, kReceiverNameEmpty},
        {"Минфин", "a@bc.de", false, kBadEmail},
        {"Минфин", "аб@вг.де", false, QString::fromUtf16(u"Введён неправильный \u0435mail.")},
        {"Минфин", "", true, {}},
        {"Минфин", "ab@c.de", true, {}},
    };
    for (const auto& c : receiverCases) {
        EXPECT_EQ(Submit(rd, {{rd.nameEdit(), c.name}, {rd.emailEdit(), c.email}}, &shown), c.closes) << c.email;
        EXPECT_EQ(shown, c.message) << c.email;
    }
    EXPECT_EQ(rd.email, "ab@c.de");

    receiver.isgroup = 1;
    CReceiverDlg group(receiver, true);
    group.DoModal();
    EXPECT_EQ(group.windowTitle(), "Группа получателей бюджета");
    EXPECT_TRUE(group.emailEdit()->isHidden());
    EXPECT_FALSE(group.nameEdit()->isEnabled());

    Exec("insert into tclsmeasurement (id, name, type) values (1, 'шт', 1), (2, 'кг', 1)");
    CMeasurementDlg unit(*GetMeasurement(1), false);
    unit.DoModal();
    const struct {
        const char* name;
        bool closes;
        QString message;
    } unitCases[] = {{"", false, kNameEmpty}, {"кг", false, "Единица измерения уже существует!"}, {"шт", true, {}}};
    for (const auto& c : unitCases) {
        EXPECT_EQ(Submit(unit, {{unit.nameEdit(), c.name}}, &shown), c.closes) << c.name;
        EXPECT_EQ(shown, c.message) << c.name;
    }
}

TEST_P(BookDialogsTest, ConversionNeedsTwoUnitsAndAPositiveCoefficient)
{
    Exec("insert into tclsmeasurement (id, name, type) values (1, 'шт', 1), (2, 'кг', 1), (3, 'руб', 2)");
    Exec("insert into tclsmconvert (id, base, produce, koef) values (7, 2, 1, 1000)");
    MConvertDlg dlg(CMConvertRecord{}, false);
    dlg.unitType = 1;
    dlg.DoModal();
    EXPECT_EQ(dlg.baseBox()->itemText(0), "кг") << "the units come in the reverse order of loading";
    EXPECT_EQ(dlg.baseBox()->count(), 2);
    const struct {
        int base, result;
        const char* koef;
        bool closes;
        QString message;
    } cases[] = {
        {-1, 1, "2", false, "Введены не все данные!"},
        {1, 1, "2", false, "Единицы должны быть разными!"},
        {1, 2, "0", false, "Коэффициент должен быть больше нуля!"},
        {2, 1, "5", false, "Такой коэффициент пересчета уже есть!"},
        {1, 2, "0,001", true, {}},
    };
    QString shown;
    for (const auto& c : cases) {
        dlg.baseBox()->setCurrentIndex(dlg.baseBox()->findData(c.base));
        dlg.resultBox()->setCurrentIndex(dlg.resultBox()->findData(c.result));
        EXPECT_EQ(Submit(dlg, {{dlg.koefEdit(), c.koef}}, &shown), c.closes) << c.koef;
        EXPECT_EQ(shown, c.message) << c.base << c.result << c.koef;
    }
    EXPECT_EQ(dlg.baseUnit, 1);
    EXPECT_EQ(dlg.resultUnit, 2);
    EXPECT_DOUBLE_EQ(dlg.koef, 0.001);
}

TEST_P(BookDialogsTest, DocumentFileMustExistAndStoredMailingsAreOnlyShown)
{
    // The document: "..." takes the file, a missing one is named in a stop box with one button.
    CDocumentationRecord doc;
    doc.name = "Приказ";
    CDocumentationDlg dd(doc, false);
    QStringList boxes;
    hook.openFileNames = {"/no/such"};
    hook.onDialog = [&](QDialog& d) {
        if (auto* box = dynamic_cast<CMessageBoxDlg*>(&d)) {
            boxes << box->text() << QString::number(box->iconFlags());
            for (int id : box->buttonIds())
                boxes << box->button(id)->text();
            return int(IDOK);
        }
        d.show();
        EXPECT_FALSE(dd.saveButton()->isEnabled()) << "nothing stored to save yet";
        QTest::mouseClick(dd.browseButton(), Qt::LeftButton);
        QTest::mouseClick(dd.okButton(), Qt::LeftButton);
        return d.result();
    };
    EXPECT_NE(dd.DoModal(), QDialog::Accepted);
    EXPECT_EQ(dd.pathEdit()->text(), "/no/such");
    EXPECT_EQ(boxes, QStringList({"Не удается найти файл /no/such", QString::number(MB_ICONSTOP), LoadStringRes(10)}));

    // A stored mailing opens read-only; a new one takes its receivers through the receiver choice.
    Forecast(1, "Прогноз", 2012);
    Receiver(1, 0, "Министерство", 0, 1, 1);
    Receiver(2, 1, "Управление А", 0, 0, 1);
    Receiver(3, 1, "Управление Б", 0, 0, 1);
    CSessionState session;
    session.currentForecastId = 1;
    session.ownReceiverId = 1;
    hook.onDialog = [](QDialog&) { return 0; };
    CMailingRecord stored;
    stored.id = 5;
    CMailingDlg shownOnly(stored, false, session);
    shownOnly.DoModal();
    EXPECT_TRUE(shownOnly.viewOnly());
    EXPECT_FALSE(shownOnly.subjectEdit()->isEnabled());
    EXPECT_FALSE(shownOnly.chooseButton()->isEnabled());

    SetReceiverChooser(&RunReceiverSelection);
    CMailingDlg fresh(CMailingRecord{}, false, session);
    fresh.DoModal();
    fresh.show();
    hook.onDialog = [](QDialog& d) {
        auto& select = dynamic_cast<ReceiverSelectDlg&>(d);
        EXPECT_EQ(select.checkMode, 1);
        select.show();
        select.tree()->expandAll();
        ClickCheckBox(select.tree(), ItemNamed(select.tree(), "Управление Б"));
        QTest::mouseClick(select.okButton(), Qt::LeftButton);
        return select.result();
    };
    QTest::mouseClick(fresh.chooseButton(), Qt::LeftButton);
    EXPECT_EQ(fresh.receiversEdit()->text(), "Управление Б");
    // The exchange and the reports script the same choice through the hook.
    hook.onChooseReceivers = [](const CReceiverChoice& choice) {
        EXPECT_EQ(choice.preset, std::vector<int>({3}));
        return std::optional<std::vector<int>>({2, 3});
    };
    QTest::mouseClick(fresh.chooseButton(), Qt::LeftButton);
    EXPECT_EQ(fresh.receiversEdit()->text(), "Управление А; Управление Б");
    ASSERT_EQ(fresh.record().receivers.size(), 2u);
    EXPECT_EQ(fresh.record().receivers[1].receiverID, 3);
    SetReceiverChooser(nullptr);
}

LIR_INSTANTIATE_DB_TEST(BookDialogsTest);
