// "Выбор получателя": the receivers of a forecast as a tree, chosen one at a time or with check
// boxes; and the same dialog over the product classifier of a forecast for the reports ("Включить в
// отчет"), whose tree is collected on a worker thread while the user waits.
#pragma once

#include "ModalHook.h"
#include "ResizableDlg.h"

#include <unordered_map>
#include <vector>

class CTreeCtrlX;
class QPushButton;
class QTreeWidgetItem;

// Resizable; the size the user leaves comes back (dialog 110). Until then it opens as wide as its
// longest item needs, within the screen.
class ReceiverSelectDlg : public CResizableDlg {
    Q_OBJECT
public:
    enum { IDD = 110 };
    // checkMode: 0 one choice; 1 check boxes, a click passes an item's state on to its subtree and
    // ancestors (on the first top item a double click does); 2 check boxes, only a double click does.
    // The categories of a report pass a click on in either mode.
    ReceiverSelectDlg(int forecastId, bool groupsSelectable, bool elementsSelectable, int checkMode,
                      QWidget* parent = nullptr);
    ~ReceiverSelectDlg() override;

    void SetCheckBoxes(int mode);
    // Builds the tree and runs the dialog through the modal hook.
    int DoModal();
    void OnInitDialog();

    int forecastId;
    bool groupsSelectable;
    bool elementsSelectable; // in single choice: whether an item with (without) children may be chosen
    int checkMode;
    int rootReceiverId = 0;          // the tree starts at its level; 0 or -1: the forecast's top receiver
    bool rootGroupSelectable = true; // a group without a parent item may be chosen anyway
    bool rootSelectable = false;     // rootReceiverId itself may be chosen
    int selectedId = 0;              // the single choice, 0 none
    std::vector<int> resultIds;      // before: shown checked; after OK: the chosen ids in tree order

    CTreeCtrlX* tree() const { return m_tree; }
    QPushButton* okButton() const { return m_ok; }
    QTreeWidgetItem* itemOf(int id) const;

    void accept() override;

protected:
    QSize FirstSize(const QSize& creation) const override;
    virtual void FillTree();
    // The single choice that the item gives, 0 none.
    virtual int ChoiceOf(const QTreeWidgetItem* item) const;
    virtual bool ConfirmsOnDoubleClick() const { return true; }
    // Whether a click on the item's check box passes its state on to its subtree and ancestors.
    virtual bool ClickPassesOn(const QTreeWidgetItem* item) const;
    // Whether the item of the id gets a check box in the check-box modes.
    bool Checkable(int id) const;
    QTreeWidgetItem* AddItem(QTreeWidgetItem* parent, const QString& text, int id, bool bold);

    std::unordered_map<int, QTreeWidgetItem*> m_items;

private:
    void OnSelectionChange();
    void OnItemChanged(QTreeWidgetItem* item);
    void OnDoubleClick(QTreeWidgetItem* item);
    void PassCheckState(int id, bool subtree);
    void UpdateOk();

    CTreeCtrlX* m_tree = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_quiet = false; // the dialog itself changes items
};

// The navigation panel's choice of its organisation: groups and elements, no double-click OK.
class ReceiverSelectDlgEx : public ReceiverSelectDlg {
    Q_OBJECT
public:
    ReceiverSelectDlgEx(int forecastId, QWidget* parent = nullptr);

protected:
    int ChoiceOf(const QTreeWidgetItem* item) const override;
    bool ConfirmsOnDoubleClick() const override { return false; }
};

class ReportReceiverSelectDlg : public ReceiverSelectDlg {
    Q_OBJECT
public:
    ReportReceiverSelectDlg(int forecastId, QWidget* parent = nullptr, int checkMode = 0);

protected:
    void FillTree() override;
    bool ClickPassesOn(const QTreeWidgetItem* item) const override;
};

// The receiver choice that the application installs (SetReceiverChooser): the tree from the own
// receiver's level, groups and elements, the own receiver included unless the choice excludes it.
std::optional<std::vector<int>> RunReceiverSelection(QWidget* parent, const CReceiverChoice& choice);

namespace ReceiverSelectTexts {
inline const QString kCaption = QStringLiteral("Выбор получателя");
inline const QString kCategoryCaption = QStringLiteral("Выбор категории");
inline const QString kReportCaption = QStringLiteral("Включить в отчет");
} // namespace ReceiverSelectTexts
