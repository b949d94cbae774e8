// The forecast editor: the tree of the product groups of the current forecast on the left, the list
// of the selected group's products above and the card of one product below, for one receiver's
// forecast or for the consolidated forecast. Figures are entered in the card; each accepted entry is
// saved at once, with the group rows that follow from it when EnableAutoRecalc is on: both or neither.
#pragma once

#include "ForecastFilter.h"
#include "ForecastGridView.h"
#include "GroupListData.h"
#include "PanelFrame.h"
#include "tables/MConverts.h"

#include <QColor>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class CDirectoryTreeView;
struct CColumnFit;
class CSplitterWndEx;
class QComboBox;
class QTreeWidgetItem;
struct CSessionState;

// One product row of the list and what the search looks for in it: code and name in upper case.
struct CRowListEntry {
    int productId;
    QString text;
};

// Makes the navigation panel's forecast tab show the editor.
void RegisterForecastEditor();

class CForecastFrame : public CForecastFrameBase, public IGridListener, public IForecastGridOwner {
    Q_OBJECT
public:
    // Which rows of the list the card shows.
    enum class CardSubject {
        None,
        Member,      // a product that is no group: its quantity and sum rows
        GroupMember, // a subgroup's single row: read only
        Total,       // the group's "Всего" row
        Balance,     // the group's balancing row
    };

    explicit CForecastFrame(CSessionState& session, QWidget* parent = nullptr);
    ~CForecastFrame() override;

    // --- what the navigation panel calls
    void OnForecastChanged(int wParam) override;
    void SetReceiver(int receiverId) override;
    // A hidden frame only remembers to refresh when it is shown.
    void Refresh(bool restoreSelection, bool force) override;
    // The grid with the keyboard focus (else the one that had it last) comes first.
    bool OnCmdMsg(int id, CmdMsg msg, CCmdUI* ui) override;

    // --- the tree
    // Replaces a group's placeholder child by its subgroups; nothing once that was done.
    void ExpandGroupItem(QTreeWidgetItem* item);
    void FillGroupItems(QTreeWidgetItem* parent, int groupId);
    // The selected group; 0 when none.
    int GetSelectedGroupId() const;
    // Expands the branches down to the group and selects it (which reloads the list); false when
    // the group is not in the tree.
    bool SelectGroup(int groupId);

    // --- the list
    // The receiver's rows (receiver above 0), the consolidated rows (0), or an empty list (below 0).
    void ReloadList();
    void LoadReceiverList();
    void LoadTotalList();
    void AddProductRows(const CGroupListData& data);
    void BuildListHeader(const CProductRecord& group, const CForecastRowFields* groupRow);
    void MarkTotalRows(const CProductRecord& group);
    void ShowTotalRowValues(const CForecastRowFields* row);
    // The group's rows read again (after a failed recalculation).
    void RefreshTotalRows();
    void OnListSelChanged(int row, int column);

    // --- the card
    void BuildCardGrid();
    void ShowProductCard(int productId, const CPriceRecord* price = nullptr);
    void ShowGroupCard(int productId, const CPriceRecord* price = nullptr);
    void ShowCardPrices(const CProductRecord& product, const CForecastRowFields* row);
    // Marks one year of the card and of the product's list rows by the price check of its figures.
    void CheckCardPrice(int row, int column, int flag, const QColor& base, const CProductRecord& product);
    void ApplyCardEditRules(bool allReadOnly, const CProductRecord* product);
    void ClearCardValues();
    // No product in the card: its name, units and values go.
    void ClearCard();
    void UpdateReadOnly();
    int OnCardBeginEdit(int row, int column);
    int OnCardEndEdit(int row, int column);

    // --- recalculation
    // Shows the group's row as the edit's recalculation left it.
    void AutoRecalc(int groupId, const CForecastRowFields& row);
    void OnRecalcNode();
    void OnRecalcForecast();
    void OnRecalcGroups();
    void OnUpdateRecalcGroups(CCmdUI& ui) const;

    // --- filter and search
    const CForecastFilterValues& filter() const { return m_filter; }
    // New conditions, and the list reloaded.
    void SetFilter(const CForecastFilterValues& values);
    void OnFilter();
    void OnSearch();
    void OnSearchFocus();
    void OnFindNext();

    // --- notifications of the grids
    qintptr OnGridNotify(const GridNotify& notify) override;
    void OnGridCommand(CGridView* grid, int id) override;
    bool IsFilterOn(int command) const override;

    // --- what the product card and the forecast dialogs read
    CDirectoryTreeView* tree() const { return m_tree; }
    CForecastGridView* listGrid() const { return m_list; }
    CForecastGridView* cardGrid() const { return m_card; }
    // The product whose card is shown (0: the selected group's rows), -1 none.
    int cardProductId() const { return m_cardProduct; }
    CardSubject cardSubject() const { return m_cardView.subject; }
    // The product of the list's focus row: 0 on the "Всего" row, -1 without a focus row.
    int FocusProductId() const;
    // The selected group, its members with a price row, their rows and prices as last loaded; none
    // when the list is empty.
    const CGroupListData* groupData() const { return m_data.get(); }
    const std::vector<CRowListEntry>& rowList() const { return m_rowList; }
    bool isReadOnly() const { return m_readOnly; }
    int totalRow() const { return m_totalRow; }
    int balanceRow() const { return m_balanceRow; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the card shows and where its product's rows are in the list.
    struct CardView {
        CardSubject subject = CardSubject::None;
        int product = -1; // the member, or the group for the special rows
        int group = 0;    // the tree's group when the card was filled
        int quantityRow = -1;
        int sumRow = -1;
    };

    // The end of a card edit: the cell back to its text before the edit (with the message when the
    // input is refused), or the saved edit shown in the card and the list.
    void RestoreCardCell(int row, int column);
    void RefuseCardEdit(int row, int column);
    void ShowCardEdit(CardView view, int row, int column, const QString& cellText, const CForecastRowFields& rec,
                      const CForecastRowFields* groupRow);

    void RegisterCommands();
    void ApplyFirstLayout();
    // Every column the user has not sized holds its texts: the list's frozen columns leave room for
    // two years and its other columns scroll; the card has all of its columns in view and wraps a
    // long product name over its two header rows, which grow to hold it.
    void FitListColumns();
    void FitCardColumns();
    // After figures of these list rows changed: the columns are fitted again when one of them no
    // longer fits (a long list is not measured again for every edit).
    void RefitListForRows(std::initializer_list<int> rows);
    // The widths the user gave, from the profile (-1: the column is fitted); a width that equals the
    // usual one was written by an earlier run without the user.
    static std::vector<int> UserWidths(const QString& path, const int* usual, int count);
    void NoteUserWidth(CGridView* grid, int column);
    // Columns first to last of the grid: those the user sized keep their widths, the others are
    // fitted into what those leave of the room. Answers the room left over.
    static int FitGridColumns(CGridView& grid, const std::vector<int>& userWidths, int first, int last, int room,
                              const std::function<CColumnFit(int column)>& fit);
    // The height of the whole card: its rows, its frame and scroll bar and the pane's margin.
    int CardHeight() const;
    void LoadList();
    void ClearList();
    void ToggleFilter(bool CForecastFilterValues::*condition, bool CForecastFilterValues::*exclusive);
    QComboBox* SearchBox() const;
    // Scans the list from a row for the search text; true at a hit.
    bool SearchList(int startRow, const QString& text);
    // The product (no group) next found in the whole classifier, not found before; 0 when none.
    int SearchClassifier(const QString& text);
    // The product's record: from the loaded group when it is there, else read.
    std::optional<CProductRecord> ProductRecord(int productId) const;
    const CPriceRecord* CachedPrice(int productId) const;
    // The list rows of the card's product, found again after the list changed.
    bool LocateMemberRows(CardView& view) const;
    // Unmarked colour of a card cell: the base colour, or the fixed-cell background where the cell is read only.
    QColor CardBase(int row, int column, const QColor& base) const;
    QColor FixedBk() const;

    CSessionState& m_session;
    CSplitterWndEx* m_splitter = nullptr;
    CSplitterWndEx* m_nested = nullptr;
    CDirectoryTreeView* m_tree = nullptr;
    CForecastGridView* m_list = nullptr;
    CForecastGridView* m_card = nullptr;
    CForecastGridView* m_activeGrid = nullptr;

    int m_cardProduct = -1;
    CardView m_cardView;
    CardView m_editView; // taken when an edit of a card cell starts
    bool m_layoutPending = true;
    bool m_cardPending = false; // the first layout had no room for the whole card
    bool m_stale = false;       // a refresh waits for the frame to be shown
    bool m_fillingTree = false;
    bool m_cardBuilt = false;
    // The widths the user gave the columns of the list and of the card; -1 where the column is fitted.
    std::vector<int> m_listWidths;
    std::vector<int> m_cardWidths;
    int m_cardHeaderHeight = 0; // the card's second header row without a long product name
    std::vector<CRowListEntry> m_rowList;
    std::vector<int> m_found;
    QString m_lastSearch;
    int m_totalRow = 2;
    int m_balanceRow = 2;
    QString m_textBeforeEdit;
    bool m_readOnly = false;
    CForecastFilterValues m_filter;

    std::unique_ptr<CGroupListData> m_data;
    CUnitPairCache m_units;
};
