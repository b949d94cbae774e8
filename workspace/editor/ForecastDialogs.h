// The forecasts of the database: the list with its properties and status dialogs, and the two small
// selection dialogs of the main frame's and the product card's commands. Each runs through DoModal
// (the modal hook); the callers read the public results after OK.
#pragma once

#include "tables/Forecasts.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace ForecastDlgTexts {
inline const QString kColumns[4] = {QStringLiteral("Статус"), QStringLiteral("Наименование"), QStringLiteral("Год"),
                                    QStringLiteral("Владелец прогноза")};
inline const QString kCopyModes[3] = {QStringLiteral("Копировать только получателей"),
                                      QStringLiteral(" Копировать НСИ"), QStringLiteral("Копировать НСИ и данные")};
inline const QString kDeleteQuestion =
    QStringLiteral("При удалении прогноза будут удалены все его данные!\r\nПродолжить?");
inline const QString kDeleteFailed = QStringLiteral("Произошла ошибка при выполнении операции удаления!");
inline const QString kYearEmpty = QStringLiteral("Год прогноза не может быть пустым!");
inline const QString kNameEmpty = QStringLiteral("Имя прогноза не может быть пустым!");
inline const QString kOwnerEmpty = QStringLiteral("Наименование организации-владельца прогноза не может быть пустым!");
inline const QString kOnlyOwnToProject =
    QStringLiteral("Вернуться к редактированию НСИ возможно только для своего прогноза.");
inline const QString kToProject = QStringLiteral("Вы действительно хотите вернуться к редактированию НСИ?");
inline const QString kNsiDone = QStringLiteral("Вы действительно завершили ввод НСИ?");
inline const QString kBackToEditing = QStringLiteral("Вы действительно хотите вернуться к редактированию прогноза?");
inline const QString kCloseForecast = QStringLiteral("Вы действительно хотите закрыть прогноз?");
inline const QString kCheckFirst = QStringLiteral("Проверить НСИ перед изменением статуса прогноза?");
inline const QString kCheckTitle = QStringLiteral("Проверка НСИ");
inline const QString kCheckFound = QStringLiteral("Информационное сообщение: При проверке НСИ на полноту справочных "
                                                  "данных обнаружены неточности ввода. Продолжить?");
inline const QString kSelectOne = QStringLiteral("Необходимо выбрать хотя бы один прогноз");
} // namespace ForecastDlgTexts

// The owner value of the organisation's own forecasts.
constexpr int kOwnForecastOwner = -20;
// The list icon of a forecast: its status, plus 3 for an own forecast.
int ForecastImageIndex(const CForecastRecord& rec);
// "<name> (<year> год)".
QString ForecastChoiceText(const CForecastRecord& rec);

// "Свойства прогноза" (143); a record with id -1 is a new forecast.
class CForecastPropDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 143 };
    explicit CForecastPropDlg(const CForecastRecord& rec, QWidget* parent = nullptr);
    int DoModal();

    QString name;
    int year;
    QString ownerName;
    bool copy = false;
    int copyMode = 0;
    int sourceForecast = -1;

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* yearEdit() const { return m_year; }
    QSpinBox* yearSpin() const { return m_spin; }
    QCheckBox* copyBox() const { return m_copy; }
    QComboBox* modeBox() const { return m_mode; }
    QComboBox* sourceBox() const { return m_source; }
    QPushButton* okButton() const { return m_ok; }
    void accept() override;

private:
    void OnCopyClicked();

    QLineEdit* m_name;
    QLineEdit* m_year;
    QSpinBox* m_spin;
    QLineEdit* m_owner;
    QCheckBox* m_copy;
    QComboBox* m_mode;
    QComboBox* m_source;
    QPushButton* m_ok;
};

// "Статус прогноза" (179): the new status in code order.
class CForecastStatusDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 179 };
    explicit CForecastStatusDlg(const CForecastRecord& rec, QWidget* parent = nullptr);
    int DoModal();

    int status;
    QComboBox* statusBox() const { return m_status; }
    void accept() override;

private:
    QComboBox* m_status;
};

// "Копирование прогноза" (108): the forecast to copy into the current one. Only the receivers are
// copied, so the mode stays at its first item.
class CSelectForecastDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 108 };
    explicit CSelectForecastDlg(int currentForecast, QWidget* parent = nullptr);
    int DoModal();

    int sourceForecast = -1;
    int copyMode = 0;
    QComboBox* forecastBox() const { return m_forecasts; }
    QPushButton* okButton() const { return m_ok; }
    void accept() override;

private:
    QComboBox* m_forecasts;
    QPushButton* m_ok;
};

// "Выберите прогнозы" (195): one or more forecasts.
class CSelectMultiForecast : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 195 };
    explicit CSelectMultiForecast(QWidget* parent = nullptr);
    int DoModal();

    std::vector<int> selectedIds; // in list order
    QTreeWidget* list() const { return m_list; }
    void accept() override;

private:
    QTreeWidget* m_list;
};

// "Прогноз" (142): every forecast of the database.
class CForecastMngrDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 142 };
    // Without mayChange (a login whose role changes no forecast) the list is only shown.
    explicit CForecastMngrDlg(QWidget* parent = nullptr, bool mayChange = true);
    int DoModal();

    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnStatus();

    QTreeWidget* list() const { return m_list; }
    QPushButton* button(int id) const;

private:
    void OnSelectionChanged();
    bool EditProperties(CForecastRecord& rec);
    void WriteRow(QTreeWidgetItem* item, const CForecastRecord& rec);
    QTreeWidgetItem* Selected() const;
    // The selected row's forecast as stored now; none when no row is selected or it is gone.
    std::optional<CForecastRecord> SelectedForecast(QTreeWidgetItem*& item) const;

    QTreeWidget* m_list;
    bool m_mayChange;
};

// The row texts of a forecast list: status, name, year, owner name; the id as the row's data.
void FillForecastRow(QTreeWidgetItem* item, const CForecastRecord& rec);
