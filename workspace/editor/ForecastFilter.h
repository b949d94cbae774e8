// The conditions of the forecast editor's list (dialog 175 "Условия фильтра"): rows with wrong data,
// with comments, with data, and pieces of the code and of the name.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;

struct CForecastFilterValues {
    bool onlyWrong = false;
    bool onlyCommented = false;
    bool onlyFilled = false;
    QString code{};
    QString name{};

    // A bool is true or a text is not empty.
    bool AnyOn() const { return onlyWrong || onlyCommented || onlyFilled || !code.isEmpty() || !name.isEmpty(); }
    // A product without a data row is left out.
    bool NeedsRow() const { return onlyWrong || onlyCommented || onlyFilled; }
    friend bool operator==(const CForecastFilterValues&, const CForecastFilterValues&) = default;
};

class CForecastFilter : public QDialog {
    Q_OBJECT
public:
    CForecastFilter(const CForecastFilterValues& values, QWidget* parent = nullptr);

    // What the controls hold; the values given at construction until OK.
    const CForecastFilterValues& values() const { return m_values; }
    // "Очистить": the controls only.
    void OnClear();

    void accept() override;

private:
    void Load(const CForecastFilterValues& values);

    CForecastFilterValues m_values;
    QCheckBox* m_wrong = nullptr;
    QCheckBox* m_commented = nullptr;
    QCheckBox* m_filled = nullptr;
    QLineEdit* m_code = nullptr;
    QLineEdit* m_name = nullptr;
};
