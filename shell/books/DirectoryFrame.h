// The common window of every reference book: a tree of groups beside a list of rows (or the list
// alone), the commands of the "Справочник" menu and of the context menu with the rights and
// forecast-status rules that enable them, the filter and refresh cycle, rows and groups dragged
// between groups, and the reaction to a change of the current forecast. Everything that touches a
// table is left to the virtual operations that each book's frame implements.
//
// Conventions the operations keep: a tree item's data is the id of the group it stands for; an item
// whose children are not loaded yet has one child with data -1; a list row's data is an element's
// id (0 or more) or minus the id of a group shown among the rows (a group row, image 0).
#pragma once

#include "PanelFrame.h"
#include "db/SqlQuery.h"

#include "DirectoryTreeView.h"

#include <QPointer>

#include <optional>
#include <vector>

class CReportView;
class QMenu;
class QSplitter;
struct CSessionState;

// Set by each book's frame when it is created.
struct CDirectoryFlags {
    bool groupsEditable = true;    // tree groups may be added, edited and deleted
    bool groupsAreRecords = false; // a group is a row of the book's table, edited with the element dialog
    bool forecastBound = true;     // the rows depend on the current forecast
    bool readOnly = true;          // no add, edit, delete or move
    bool hasTree = true;           // the tree beside the list; else the list alone
    bool hasDocument = false;      // "Сохранить документ..." applies
    bool editable = true;          // the context menu offers "&Редактировать..."
    int number = 0;                // names the profile values of the splitter and the list's columns
};

struct CIdName {
    int id;
    QString text;
};
using CIdNameList = std::vector<CIdName>;

class CDirectoryFrame : public CPanelFrame, public CTreeViewOwner {
    Q_OBJECT
public:
    enum Pane { PaneNone, PaneTree, PaneList };

    CDirectoryFrame(CSessionState& session, const CDirectoryFlags& flags, QWidget* parent = nullptr);
    ~CDirectoryFrame() override;

    // ---- the operations of a book (base: nothing, no, or the rule named)
    // Inserts the top items into the empty tree and selects one.
    virtual void FillTree(CDirectoryTreeView* tree) = 0;
    // Inserts the child groups of the item, each with a -1 child when it has child groups itself.
    virtual void FillChildren(CDirectoryTreeView* tree, QTreeWidgetItem* item, int groupId);
    // Fills the rows of the group under the filter (condition, values and order) and the search index.
    virtual void FillList(CReportView* list, int groupId, const SqlFilter& filter);
    // The editing dialog for id (-1: a new one) in the group; on OK saves, refreshes and gives the
    // name and id back.
    virtual void EditItem(int id, int groupId, bool isGroup, QString* name, int* newId);
    // The same dialog, view-only.
    virtual void ViewItem(int id, int groupId, bool isGroup, QString* name);
    virtual void MoveItem(int id, int groupId, bool up);
    // Deletes the element unless something refers to it (then says why), and refreshes.
    virtual void DeleteItem(int id) = 0;
    virtual bool CanEditTreeItem(QTreeWidgetItem* item);
    // The roles of which the login needs one to change the book (base: 2 or 4); 0: any login.
    virtual int EditRoles() const;
    // Base: loads the children of an item whose only child is the -1 placeholder.
    virtual void ExpandItem(QTreeWidgetItem* item);
    // Gives the record the group as parent and saves.
    virtual bool MoveToGroup(int id, int groupId);
    // Base: groups editable, not read-only, a current forecast, HasEditRights and the forecast in
    // status 0 (or IsEditableWhenClosed).
    virtual bool CanModify();
    // The tree item of the group that holds the first element matching the upper-cased text, not
    // one of the excluded ids; its groups are loaded on the way. The element's id goes to foundId.
    virtual QTreeWidgetItem* FindInTree(const QString& text, const std::vector<int>& excluded, int* foundId);
    // Group records of a book whose groups are not records; -1 / false when not done.
    virtual int AddGroup(const QString& name, int parentId);
    virtual bool RenameGroup(int groupId, const QString& name);
    // Deletes the group with everything under it.
    virtual bool DeleteGroup(int groupId);
    // The book may be changed although the current forecast is not in status 0.
    virtual bool IsEditableWhenClosed();

    // ---- what the panel and the commands do
    void OnForecastChanged(int wParam) override;
    void InitListColumns() override;
    void ReloadTree();
    void Refresh();
    void SetReadOnly(bool on) { m_flags.readOnly = on; }
    const CDirectoryFlags& flags() const { return m_flags; }
    // The condition of the last filter command, and the order that FillList receives.
    const SqlFilter& filter() const { return m_filter; }
    void SetOrder(const QString& order) { m_order = order; }
    // The search of the forecast bar's box ("Искать"), and the same with the focus into the list (F3).
    void OnSearch();
    void OnFindNext();

    CDirectoryTreeView* tree() const { return m_tree; }
    CReportView* list() const { return m_list; }
    QSplitter* splitter() const { return m_splitter; }
    Pane activePane() const { return m_active; }
    // The context menu with its entries enabled as the commands are; the caller owns it.
    QMenu* CreateContextMenu();

    // CTreeViewOwner
    bool CanStartDrag() override;
    int OnTreeDrop(int dragData, int targetData) override;
    void OnTreeContextMenu(const QPoint& globalPos) override;
    int OnRowDropOnRow(int dragRow, int dropRow) override;
    int OnRowDropOnTree(int dragRow, int treeData) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The group dialog of a book whose groups are not records: the name in and out; false on
    // Cancel.
    virtual bool RunGroupDialog(QString* name, bool viewOnly);
    // The book's one root item with its child groups, expanded, and selected when nothing is.
    void InsertRootItem(CDirectoryTreeView* tree, const QString& text, int id);
    // Whether the current forecast is in status 0 "Проект" (read each time; a missing one is not).
    bool IsCurrentForecastOpen() const;
    // No login, or one that holds one of EditRoles; a lacking role is noted in ui, so that the
    // command says why it is disabled.
    bool HasEditRights(CCmdUI* ui = nullptr);
    // Rows (or tree items) may be changed: rights and the forecast's status.
    bool MayChange(CCmdUI* ui = nullptr);
    // The list's columns of the visible filter fields, in their order.
    void InsertFieldColumns(CReportView* list) const;
    // The least width of a column that shows a date and time.
    static int DateColumnWidth(const CReportView* list);

    CSessionState& m_session;
    CIdNameList m_searchIndex;   // one entry per row, filled by FillList
    std::vector<int> m_foundIds; // found by the current search run
    QString m_searchText;        // upper-cased text of the previous search

private:
    void RegisterCommands();
    bool EditEnabled(CCmdUI* ui = nullptr);
    bool DeleteEnabled(CCmdUI* ui = nullptr);
    void LoadList(int groupId);
    int SelectedGroup() const;
    // The data word of the list's selected row; none without one.
    std::optional<int> SelectedRowData() const;
    void OnTreeSelChange();
    void OnAddGroup();
    void OnEditOrView(bool edit);
    void OnDelete();
    void OnOpenRow(bool selectFirstRow);
    void OnGroupUp();
    void OnFilter();
    void EditGroupItem(QTreeWidgetItem* item, bool edit);
    void RenameOrCreateGroup(QTreeWidgetItem* item, bool viewOnly);
    int AskMove();
    // The first row from `start` whose search text holds the text; selected and shown.
    bool SearchRows(int start, const QString& text);

    CDirectoryFlags m_flags;
    QSplitter* m_splitter = nullptr;
    CDirectoryTreeView* m_tree = nullptr;
    CReportView* m_list = nullptr;
    SqlFilter m_filter;
    QString m_order;
    Pane m_active = PaneNone;
    bool m_layoutPending = true; // the panes get their sizes when the frame is first shown
    int m_loadedForecast = -1;
    bool m_reloadingTree = false;
};

namespace DirectoryTexts {
inline const QString kDeleteElement = QStringLiteral("Удаление элемента справочника.\nПродолжить?");
inline const QString kDeleteGroup =
    QStringLiteral("Удаление группы из справочника.\nВсе вложенные группы и данные будут удалены!\nПродолжить?");
inline const QString kMoveQuestion = QStringLiteral("Переместить запись?");
} // namespace DirectoryTexts

namespace BookSearchTexts {
inline const QString kWrap = QStringLiteral("Достигнут конец списка. Начать поиск с начала списка?");
inline const QString kCaption = QStringLiteral("Поиск");
} // namespace BookSearchTexts
