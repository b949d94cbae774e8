#include "ForecastGridView.h"

#include "CommandIds.h"
#include "EditorTexts.h"
#include "GridInPlaceEdit.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>

#include <memory>

namespace {

constexpr int kMaxTextLength = 255;

} // namespace

CForecastGridView::CForecastGridView(QWidget* parent)
    : CGridView(0, 0, 0, 0, parent)
{
}

void CForecastGridView::OnFixedColumnClick(CCellID cell)
{
    if (cell.row == 1 && cell.col >= 2 && cell.col <= 6) {
        BeginCellEdit(cell.row, cell.col, VK_LBUTTON);
        return;
    }
    CGridView::OnFixedColumnClick(cell);
}

QWidget* CForecastGridView::CreateCellEditor(const QRect& rect, Qt::Alignment style, int id, int row, int col,
                                             const QString& text, unsigned key)
{
    const bool number = row == 2 || row == 3;
    auto* edit = new GridInPlaceEdit(viewport(), rect, style, id, row, col, text, key, number);
    if (!number)
        edit->setMaxLength(kMaxTextLength);
    return edit;
}

QMenu* CForecastGridView::CreateContextMenu()
{
    QWidget* frame = window();
    auto action = [frame](int id) { return frame->findChild<QAction*>(QStringLiteral("id%1").arg(id)); };
    QAction* copy = action(ID_EDIT_COPY);
    QAction* cut = action(ID_EDIT_CUT);
    QAction* paste = action(ID_EDIT_PASTE);
    QAction* wrong = action(ID_FILTER_WRONG);
    QAction* commented = action(ID_FILTER_COMMENTED);
    if (!copy || !cut || !paste || !wrong || !commented)
        return nullptr;
    for (int id : {ID_FILTER_WRONG, ID_FILTER_COMMENTED, ID_FILTER_FILLED}) {
        if (QAction* filter = action(id); filter && m_menuOwner) {
            filter->setCheckable(true);
            filter->setChecked(m_menuOwner->IsFilterOn(id));
        }
    }
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("id155"));
    menu->addAction(copy);
    menu->addAction(cut);
    menu->addAction(paste);
    menu->addSeparator();
    QMenu* filters = menu->addMenu(EditorTexts::kFilterMenu);
    filters->addAction(wrong);
    filters->addAction(commented);
    return menu;
}

void CForecastGridView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        if (std::unique_ptr<QMenu> menu{CreateContextMenu()})
            menu->exec(viewport()->mapToGlobal(event->position().toPoint()));
    }
    CGridView::mouseReleaseEvent(event);
}
