// "Условия фильтра" (dialog 132): edits a copy of a list's filter fields, one field at a time. The
// condition of a field is stored when another field is chosen and at OK, which then checks every
// visible field that has a value.
#pragma once

#include "FilterField.h"

#include <QDialog>

class QComboBox;
class QDateEdit;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class CDirectoryFilterDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 132 };

    explicit CDirectoryFilterDlg(const CFilterFieldList& fields, QWidget* parent = nullptr);
    ~CDirectoryFilterDlg() override;

    int DoModal();
    // The edited copy; the caller takes it after OK.
    const CFilterFieldList& fields() const { return m_fields; }

    // The first visible field that has a value the checks refuse, with the message; -1 when all pass.
    static int FirstInvalidField(const CFilterFieldList& fields, QString* message);

    QListWidget* fieldList() const { return m_list; }
    QLineEdit* valueEdit() const { return m_value; }
    QComboBox* operatorBox() const { return m_operator; }
    QDateEdit* datePicker() const { return m_date; }
    // The field shown, -1 none.
    int currentField() const { return m_current; }

    void accept() override;

private:
    void OnFieldChanged(int entry);
    void StoreCondition();
    void ShowField(int field);
    void FillOperators(const CFilterField& field);
    void OnOperatorChosen();
    void OnClear();

    CFilterFieldList m_fields;
    int m_current = -1;
    QListWidget* m_list = nullptr;
    QLineEdit* m_value = nullptr;
    QComboBox* m_operator = nullptr;
    QDateEdit* m_date = nullptr;
    QGridLayout* m_conditionLayout = nullptr;
    bool m_showing = false;
};

namespace FilterTexts {
inline const QString kCaption = QStringLiteral("Условия фильтра");
inline const QString kNotNumber = QStringLiteral("Неверный ввод. Необходимо ввести число.");
inline const QString kNotDate = QStringLiteral("Неверный ввод. Необходимо ввести дату.");
inline const QString kTextTooLong = QStringLiteral("Строка не может превышать %1 символов.");
inline const QString kDateTooLong = QStringLiteral("Дата не может превышать %1 символов.");
inline const QString kValueTooLong = QStringLiteral("Значение не может превышать %1 символов.");
} // namespace FilterTexts
