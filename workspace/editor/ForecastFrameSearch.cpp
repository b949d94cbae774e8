// The filter conditions of the list and the search for a product by a piece of its code or name:
// first in the rows shown, then in the whole classifier of the forecast.
#include "ForecastFrame.h"

#include "AppMessage.h"
#include "CommandIds.h"
#include "DirectoryTreeView.h"
#include "EditorTexts.h"
#include "ModalHook.h"
#include "Session.h"
#include "WaitCursor.h"

#include <QComboBox>
#include <QLabel>

using namespace EditorTexts;

namespace {

constexpr int kFoundColumn = 3;

} // namespace

bool CForecastFrame::IsFilterOn(int command) const
{
    switch (command) {
    case ID_FILTER_WRONG:
        return m_filter.onlyWrong;
    case ID_FILTER_COMMENTED:
        return m_filter.onlyCommented;
    case ID_FILTER_FILLED:
        return m_filter.onlyFilled;
    case ID_BOOK_FILTER:
        return m_filter.AnyOn();
    default:
        return false;
    }
}

void CForecastFrame::SetFilter(const CForecastFilterValues& values)
{
    m_filter = values;
    ReloadList();
}

void CForecastFrame::ToggleFilter(bool CForecastFilterValues::*condition, bool CForecastFilterValues::*exclusive)
{
    CForecastFilterValues values = m_filter;
    values.*condition = !(values.*condition);
    // Wrong data and comments exclude each other.
    if (values.*condition && exclusive)
        values.*exclusive = false;
    SetFilter(values);
}

void CForecastFrame::OnFilter()
{
    CForecastFilter dlg(m_filter, this);
    if (ExecModal(dlg) == QDialog::Accepted)
        SetFilter(dlg.values());
}

QComboBox* CForecastFrame::SearchBox() const
{
    return window()->findChild<QComboBox*>(QStringLiteral("id%1").arg(ID_SEARCH_TEXT));
}

void CForecastFrame::OnSearchFocus()
{
    if (QComboBox* box = SearchBox())
        box->setFocus(Qt::ShortcutFocusReason);
}

void CForecastFrame::OnFindNext()
{
    OnSearch();
    m_list->setFocus(Qt::OtherFocusReason);
}

bool CForecastFrame::SearchList(int startRow, const QString& text)
{
    const QString wanted = text.toUpper();
    for (int row = std::max(startRow, 0); row < m_list->GetRowCount(); ++row) {
        const int product = int(m_list->GetItemData(row, 0));
        if (product <= 0)
            continue;
        bool hit = false;
        for (const CRowListEntry& entry : m_rowList)
            if (entry.productId == product && entry.text.contains(wanted)) {
                hit = true;
                break;
            }
        if (!hit)
            continue;
        // The focus cell goes along, so that the card and an edit in it belong to this row.
        m_list->SetFocusCell(row, kFoundColumn);
        m_list->SetSelectedRange(row, kFoundColumn, row, kFoundColumn);
        ShowProductCard(product);
        m_list->setFocus(Qt::OtherFocusReason);
        m_list->ScrollToCell(row, kFoundColumn);
        m_list->viewport()->update();
        m_found.push_back(product);
        return true;
    }
    return false;
}

int CForecastFrame::SearchClassifier(const QString& text)
{
    const CSqlDialect& dialect = Dialect();
    QString where;
    QVariantList args;
    if (!m_found.empty()) {
        where = QStringLiteral("not (") + dialect.IdSetCondition(QStringLiteral("id")) + QStringLiteral(") and ");
        args << IdSetArgument(m_found);
    }
    where += QStringLiteral("(") + dialect.CaseInsensitiveLike(QStringLiteral("code")) + QStringLiteral(" or ")
        + dialect.CaseInsensitiveLike(QStringLiteral("name"))
        + QStringLiteral(") and isgroup = 0 and exists (select 1 from tfctprice pr where pr.prognoz = "
                         "tclsproduct.prognoz and pr.product = tclsproduct.id)");
    const QString pattern = LikeArgument(text, LikeMatch::Contains);
    args << pattern << pattern;
    const auto products = LoadProducts(m_session.currentForecastId, SqlFilter(where, args, QStringLiteral("id")));
    if (!products || products->empty())
        return 0;
    const CProductRecord& found = products->front();
    // It counts as found at once: a product the list then does not show is not sought again.
    m_found.push_back(found.id);
    return SelectGroup(found.parent) ? found.id : -1;
}

void CForecastFrame::OnSearch()
{
    QComboBox* box = SearchBox();
    const QString text = box ? box->currentText() : QString();
    if (text.isEmpty())
        return;
    if (text != m_lastSearch) {
        m_found.clear();
        m_lastSearch = text;
    }
    if (box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        box->addItem(text);
        box->setEditText(text);
    }
    const CCellRange selection = m_list->GetSelectionBounds();
    int start = m_list->IsValidCell(selection.minRow, 0) ? selection.minRow : -1;
    bool wrap = start > 0;
    CWaitCursor wait;
    for (;;) {
        if (SearchList(start + 1, text))
            return;
        // Each pass adds a product to the found ones, so the passes end.
        if (const int product = SearchClassifier(text); product != 0) {
            start = -1;
            wrap = false;
            m_list->setFocus(Qt::OtherFocusReason);
            continue;
        }
        if (!wrap)
            return;
        if (AppMessageBoxCaption(kSearchWrap, kSearchCaption, MB_YESNO | MB_ICONQUESTION, this) != IDYES)
            return;
        m_found.clear();
        wrap = false;
        start = -1;
    }
}
