// Parameter dialogs of the per-product forms 1 (and 1-а), 3, 5 and 6: whose data (the chosen receivers
// or the consolidated forecast), which products, whether empty rows are shown, and the report-form
// caption; "Показать" builds the run and shows the form's definition.
#pragma once

#include "ReceiverChoiceControls.h"
#include "ReportDialog.h"
#include "Session.h"
#include "tables/Forecasts.h"
#include "tables/ProductTree.h"

#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;

namespace ProductFormTexts {
inline const QString kNoForecast = QStringLiteral("Невозможно сгенерировать отчет. Неверно задан Прогноз.");
inline const QString kNoReceiver = QStringLiteral("Невозможно сгенерировать отчет. Не задан Получатель.");
} // namespace ProductFormTexts

class CProductFormDlg : public CReportDialog {
    Q_OBJECT
public:
    enum Form { FORM_1, FORM_3, FORM_5, FORM_6 };

    CProductFormDlg(Form form, const CSessionState& session, const std::optional<CForecastRecord>& forecast,
                    QWidget* parent = nullptr);

    void OnOK();
    void OnChooseProducts();
    void UpdateControls();

    CReceiverChoiceControls* receivers = nullptr; // whose data; summary: the consolidated forecast
    int productsChosen = 0;
    int formVariant = 1; // form 1: 1 "Форма 1", 0 "Форма 1-а"
    std::vector<int> productIds;
    CProductDepthMap depthMap;
    int lastReportId = 0;

private:
    int Build();
    QStringList Parameters(int reportId) const;

    Form m_form;
    int m_forecastId;
    std::optional<CForecastRecord> m_forecast;
    bool m_includeEmptyRows = false;

    QComboBox* m_formCombo = nullptr;
    QRadioButton* m_form1Radio = nullptr;
    QRadioButton* m_form1aRadio = nullptr;
    QPushButton* m_chooseProducts = nullptr;
    QCheckBox* m_includeEmpty = nullptr;
};

class CReportForm1Dlg : public CProductFormDlg {
    Q_OBJECT
public:
    CReportForm1Dlg(const CSessionState& session, const std::optional<CForecastRecord>& forecast,
                    QWidget* parent = nullptr)
        : CProductFormDlg(FORM_1, session, forecast, parent)
    {
    }
};

class CReportForm3Dlg : public CProductFormDlg {
    Q_OBJECT
public:
    CReportForm3Dlg(const CSessionState& session, const std::optional<CForecastRecord>& forecast,
                    QWidget* parent = nullptr)
        : CProductFormDlg(FORM_3, session, forecast, parent)
    {
    }
};

class CReportForm5Dlg : public CProductFormDlg {
    Q_OBJECT
public:
    CReportForm5Dlg(const CSessionState& session, const std::optional<CForecastRecord>& forecast,
                    QWidget* parent = nullptr)
        : CProductFormDlg(FORM_5, session, forecast, parent)
    {
    }
};

class CReportForm6Dlg : public CProductFormDlg {
    Q_OBJECT
public:
    CReportForm6Dlg(const CSessionState& session, const std::optional<CForecastRecord>& forecast,
                    QWidget* parent = nullptr)
        : CProductFormDlg(FORM_6, session, forecast, parent)
    {
    }
};
