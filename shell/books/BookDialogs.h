// The small dialogs in which the reference books edit and show one record: a receiver or receiver
// group, a unit of measure, a conversion coefficient, a document, an exchange event type and a
// mailing. Each takes its record and a view-only flag; view-only disables every input and OK then
// closes without checks. A failed check shows one message and keeps the dialog open; after OK the
// frame reads the values back and saves them.
#pragma once

#include "tables/Documentation.h"
#include "tables/MConverts.h"
#include "tables/Mailings.h"
#include "tables/Measurements.h"
#include "tables/Receivers.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
struct CSessionState;

// Whether the e-mail address passes the receivers' rule: letters A-Z and a-z, digits, "-", "_",
// "." and one "@" at index 2 or later, at least 7 characters, a "." in the domain not right after
// the "@", not doubled there, and not last. (Some valid addresses fail it; stored data relies on it.)
bool IsValidEmail(const QString& address);

// OK (id1, accepts) and "Отмена" (id2, rejects) in a button box of the dialog; the OK button goes to
// `ok` when asked for.
class QDialogButtonBox;
QDialogButtonBox* OkCancelButtons(QDialog* dialog, QPushButton** ok = nullptr);

// What the dialogs share: the view-only flag, DoModal and the checks at OK.
class CBookEntityDlg : public QDialog {
    Q_OBJECT
public:
    CBookEntityDlg(int dialogId, const QString& caption, bool viewOnly, QWidget* parent);

    int DoModal();
    bool viewOnly() const { return m_viewOnly; }
    QPushButton* okButton() const { return m_ok; }
    void accept() override;

protected:
    // Fills the controls and applies view-only.
    virtual void OnInitDialog() = 0;
    // Checks and takes the values; false (after its message) keeps the dialog open.
    virtual bool Validate() = 0;
    // The message with the exclamation icon.
    void Refuse(const QString& text, QWidget* field);
    // The buttons go below the given layout.
    void FinishLayout(class QLayout* fields);

    bool m_viewOnly;
    QPushButton* m_ok = nullptr;
};

// "Получатель бюджета" (103), for a group "Группа получателей бюджета".
class CReceiverDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    CReceiverDlg(const CReceiverRecord& rec, bool viewOnly, QWidget* parent = nullptr);

    bool showAsReceiver = false; // a group shown with the receiver's layout
    QString name;
    QString email;
    int type;
    int isgroup;

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* emailEdit() const { return m_email; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    QLineEdit* m_name;
    QLineEdit* m_email;
    QLabel* m_emailLabel;
};

// "Единица измерения" (133).
class CMeasurementDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    CMeasurementDlg(const CMeasurementRecord& rec, bool viewOnly, QWidget* parent = nullptr);

    int id;
    QString name;
    QString code;
    QString designation;

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* codeEdit() const { return m_code; }
    QLineEdit* designationEdit() const { return m_designation; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    QLineEdit* m_name;
    QLineEdit* m_code;
    QLineEdit* m_designation;
};

// "Коэффициенты" (105): a pair of units of one kind and the coefficient from the first to the second.
class MConvertDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    MConvertDlg(const CMConvertRecord& rec, bool viewOnly, QWidget* parent = nullptr);

    int unitType = 1; // the kind of unit listed; set before DoModal
    int baseUnit;
    int resultUnit;
    double koef;

    QComboBox* baseBox() const { return m_base; }
    QComboBox* resultBox() const { return m_result; }
    QLineEdit* koefEdit() const { return m_koef; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    CMConvertRecord m_rec;
    bool m_pairExisted = false;
    QComboBox* m_base;
    QComboBox* m_result;
    QLineEdit* m_koef;
};

// "Документ НСИ" (141): the document's name and the file it holds.
class CDocumentationDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    CDocumentationDlg(const CDocumentationRecord& rec, bool viewOnly, QWidget* parent = nullptr);

    QString name;
    QString path; // the file chosen; shown read-only

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* pathEdit() const { return m_path; }
    QPushButton* browseButton() const { return m_browse; }
    QPushButton* saveButton() const { return m_save; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    void OnBrowse();
    void OnSave();

    CDocumentationRecord m_rec;
    QLineEdit* m_name;
    QLineEdit* m_path;
    QPushButton* m_browse;
    QPushButton* m_save;
};

// "Событие" (162): the name of an exchange event type; the frame checks for duplicates.
class CEventPropDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    explicit CEventPropDlg(bool viewOnly, QWidget* parent = nullptr);

    QString name; // set before DoModal

    QLineEdit* nameEdit() const { return m_name; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    QLineEdit* m_name;
};

// "Рассылка" (178): subject, receivers and text of a mailing; a stored mailing is only shown.
class CMailingDlg : public CBookEntityDlg {
    Q_OBJECT
public:
    CMailingDlg(const CMailingRecord& rec, bool viewOnly, const CSessionState& session, QWidget* parent = nullptr);

    // Subject, text and receivers as the dialog left them.
    const CMailingRecord& record() const { return m_rec; }

    QLineEdit* subjectEdit() const { return m_subject; }
    QLineEdit* receiversEdit() const { return m_receivers; }
    QPlainTextEdit* textEdit() const { return m_text; }
    QPushButton* chooseButton() const { return m_choose; }

protected:
    void OnInitDialog() override;
    bool Validate() override;

private:
    void OnChooseReceivers();

    CMailingRecord m_rec;
    int m_forecastId;
    int m_ownReceiverId;
    QLineEdit* m_subject;
    QLineEdit* m_receivers;
    QPlainTextEdit* m_text;
    QPushButton* m_choose;
};

namespace BookDialogTexts {
inline const QString kReceiverCaption = QStringLiteral("Получатель бюджета");
inline const QString kReceiverGroupCaption = QStringLiteral("Группа получателей бюджета");
inline const QString kGroupNameEmpty = QStringLiteral("Наименование категории получателей не может быть пустым");
inline const QString kReceiverNameEmpty =
    QStringLiteral("Наименование субъекта бюджетного планирования не может быть пустым");
inline const QString kBadEmail = QStringLiteral("Введён неправильный \u0435mail."); // a Cyrillic "е"
inline const QString kNameEmpty = QStringLiteral("Наименование не может быть пустым!");
inline const QString kNameTooLong = QStringLiteral("Имя не может превышать %1 символов.");
inline const QString kCodeTooLong = QStringLiteral("Код не может превышать %1 символов.");
inline const QString kDesignationTooLong = QStringLiteral("Обозначение не может превышать %1 символов.");
inline const QString kUnitExists = QStringLiteral("Единица измерения уже существует!");
inline const QString kIncomplete = QStringLiteral("Введены не все данные!");
inline const QString kKoefNotPositive = QStringLiteral("Коэффициент должен быть больше нуля!");
inline const QString kSameUnits = QStringLiteral("Единицы должны быть разными!");
inline const QString kConvertExists = QStringLiteral("Такой коэффициент пересчета уже есть!");
inline const QString kDocumentNameEmpty = QStringLiteral("Наименование документа не может быть пустым");
inline const QString kFileNotFound = QStringLiteral("Не удается найти файл %1");
} // namespace BookDialogTexts
