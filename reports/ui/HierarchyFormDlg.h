// Parameter dialogs of forms 2 (average purchase prices) and 4 (share of product volumes): the
// receivers (or the consolidated forecast), one product or product group, and a caption.
#pragma once

#include "HierarchyForms.h"
#include "ReceiverChoiceControls.h"
#include "ReportDialog.h"
#include "Session.h"
#include "tables/Forecasts.h"

#include <optional>
#include <vector>

class QComboBox;
class QLineEdit;

namespace HierarchyFormTexts {
inline const QString kNoReceivers = QStringLiteral("Невозможно сгенерировать отчет. Не заданы получатели.");
inline const QString kNoProduct = QStringLiteral("Невозможно сгенерировать отчет. Не задан Продукт/Отрасль.");
inline const QString kForecastUnreadable =
    QStringLiteral("Невозможно сгенерировать отчет. Невозможно загрузить прогноз.");
inline const QString kProductUnreadable =
    QStringLiteral("Невозможно сгенерировать отчет. Невозможно загрузить продукт.");
inline const QString kStateCustomers = QStringLiteral("государственные заказчики");
inline const QString kMunicipalCustomers = QStringLiteral("муниципальные заказчики");
} // namespace HierarchyFormTexts

class CHierarchyFormDlg : public CReportDialog {
    Q_OBJECT
public:
    enum Form { FORM_2, FORM_4 };

    CHierarchyFormDlg(Form form, const CSessionState& session, QWidget* parent = nullptr);

    void OnOK();
    void OnChooseProduct();

    CReceiverChoiceControls* receivers = nullptr; // whose data; summary: the consolidated forecast
    int productId = -1;
    int lastReportId = 0;
    HierarchyFigures totals; // form 4: the sums of the last run's total row

private:
    void ShowProduct(int id);

    Form m_form;
    int m_forecastId;
    QLineEdit* m_productEdit = nullptr;
    QComboBox* m_formCombo = nullptr;
};

class CForm2a1Dlg : public CHierarchyFormDlg {
    Q_OBJECT
public:
    CForm2a1Dlg(const CSessionState& session, const std::optional<CForecastRecord>&, QWidget* parent = nullptr)
        : CHierarchyFormDlg(FORM_2, session, parent)
    {
    }
};

class CForm4Dlg : public CHierarchyFormDlg {
    Q_OBJECT
public:
    CForm4Dlg(const CSessionState& session, const std::optional<CForecastRecord>&, QWidget* parent = nullptr)
        : CHierarchyFormDlg(FORM_4, session, parent)
    {
    }
};
