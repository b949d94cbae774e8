// Helpers of the reference-book tests: two book frames over the seeded tables (the exchange journal
// as a list, the receivers as groups and rows), a hook that also scripts the receiver choice, and
// the clicks a user makes on rows, items and check boxes.
#pragma once

#include "AppMessage.h"
#include "DirectoryFrame.h"
#include "ReportView.h"
#include "Session.h"
#include "ShellTestSupport.h"
#include "TreeCtrlX.h"
#include "tables/Receivers.h"

#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include <optional>
#include <vector>

class BookHook : public ScriptedModalHook {
public:
    std::function<std::optional<std::vector<int>>(const CReceiverChoice&)> onChooseReceivers;
    std::optional<std::vector<int>> chooseReceivers(QWidget* parent, const CReceiverChoice& choice) override
    {
        return onChooseReceivers ? onChooseReceivers(choice) : CModalHook::chooseReceivers(parent, choice);
    }
};

// A book frame whose operations write down what they were asked.
class TestBookFrame : public CDirectoryFrame {
public:
    using CDirectoryFrame::CDirectoryFrame;

    QStringList calls;
    bool editableWhenClosed = false;
    bool moveResult = true;

    void DeleteItem(int id) override { calls << QStringLiteral("delete %1").arg(id); }
    bool DeleteGroup(int id) override
    {
        calls << QStringLiteral("delete group %1").arg(id);
        return false;
    }
    bool MoveToGroup(int id, int group) override
    {
        calls << QStringLiteral("move %1 to %2").arg(id).arg(group);
        return moveResult;
    }
    void ViewItem(int id, int group, bool isGroup, QString*) override
    {
        calls << QStringLiteral("view %1 in %2%3").arg(id).arg(group).arg(isGroup ? " group" : "");
    }
    bool IsEditableWhenClosed() override { return editableWhenClosed; }
};

// The exchange journal of one forecast, the list alone.
class JournalFrame : public TestBookFrame {
public:
    JournalFrame(CSessionState& session, const CDirectoryFlags& flags)
        : TestBookFrame(session, flags)
    {
    }
    void FillTree(CDirectoryTreeView*) override { }
    void FillList(CReportView* list, int, const SqlFilter& filter) override
    {
        CSqlQuery q(
            filter.applyAnd(QStringLiteral("select i.id, r.name as rname, t.name as tname, i.send "
                                           "from tfctimportstatus i join tclsimporteventtype t on t.id = i.event "
                                           "left join tclsreceiver r on r.id = i.receiver where i.prognoz = ?"),
                            QStringLiteral("i.id")));
        q.bind(m_session.currentForecastId).bindAll(filter.args);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        while (q.next()) {
            const int row = list->InsertItem(list->GetItemCount(), q.text("rname"), 1);
            list->SetItemText(row, 1, q.text("tname"));
            list->SetItemText(row, 2, q.date("send").toString(QStringLiteral("dd.MM.yyyy H:mm:ss")));
            list->SetItemData(row, q.intValue("id"));
        }
    }
};

// The receivers of the current forecast: groups in the tree from the top receiver down (loaded when
// expanded), a group's child groups and elements in the list.
class ReceiverGroupsFrame : public TestBookFrame {
public:
    ReceiverGroupsFrame(CSessionState& session, const CDirectoryFlags& flags)
        : TestBookFrame(session, flags)
    {
    }
    void FillTree(CDirectoryTreeView* tree) override
    {
        const auto root = GetForecastRootReceiver(m_session.currentForecastId);
        if (!root)
            return;
        auto* top = new QTreeWidgetItem(tree, QStringList{root->name});
        CTreeCtrlX::SetItemData(top, root->id);
        FillChildren(tree, top, root->id);
        tree->setCurrentItem(top);
        top->setExpanded(true);
    }
    void FillChildren(CDirectoryTreeView*, QTreeWidgetItem* item, int groupId) override
    {
        for (const CReceiverRecord& r : Children(groupId)) {
            if (!r.isgroup)
                continue;
            auto* child = new QTreeWidgetItem(item, QStringList{r.name});
            CTreeCtrlX::SetItemData(child, r.id);
            if (HasGroups(r.id))
                CTreeCtrlX::SetItemData(new QTreeWidgetItem(child), -1);
        }
    }
    void FillList(CReportView* list, int groupId, const SqlFilter&) override
    {
        for (const CReceiverRecord& r : Children(groupId)) {
            const int row = list->InsertItem(list->GetItemCount(), r.name, r.isgroup ? 0 : 1);
            list->SetItemData(row, r.isgroup ? -r.id : r.id);
        }
    }

private:
    CReceiverList Children(int group)
    {
        return LoadReceiverChildren(group, m_session.currentForecastId).value_or(CReceiverList());
    }
    bool HasGroups(int group)
    {
        for (const CReceiverRecord& r : Children(group))
            if (r.isgroup)
                return true;
        return false;
    }
};

inline QPoint RowPoint(const CReportView* list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

inline QTreeWidgetItem* ItemNamed(const QTreeWidget* tree, const QString& text)
{
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
}

// Where a click toggles the item's check box, as the item delegate finds it.
inline QPoint CheckBoxPoint(QTreeWidget* tree, QTreeWidgetItem* item)
{
    QStyleOptionViewItem option;
    option.initFrom(tree->viewport());
    option.rect = tree->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item->text(0);
    return tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree).center();
}

inline void ClickCheckBox(QTreeWidget* tree, QTreeWidgetItem* item)
{
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, CheckBoxPoint(tree, item));
    QCoreApplication::processEvents(); // the queued passing on of the state
}

// Types the text key by key (QTest's own typing knows Latin letters only).
inline void TypeText(QWidget* widget, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}
