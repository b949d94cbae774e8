// The frames of the reference books that the navigation panel shows: how each fills its tree and
// list and what its operations do to its table. Only the receivers book is edited here; the other
// books come from the reference-data import and are viewed, filtered, searched and (documents) saved.
#pragma once

#include "DirectoryFrame.h"
#include "tables/Mailings.h"

// The flags of each book, in the order of CDirectoryFlags.
namespace BookFlags {
inline constexpr CDirectoryFlags kUnits{false, false, false, true, true, false, true, 10};
inline constexpr CDirectoryFlags kReceivers{true, true, true, false, true, false, true, 11};
inline constexpr CDirectoryFlags kProducts{true, true, true, true, true, false, true, 12};
inline constexpr CDirectoryFlags kConversions{false, false, false, true, true, false, true, 13};
inline constexpr CDirectoryFlags kDocuments{false, false, true, true, false, true, true, 14};
inline constexpr CDirectoryFlags kMailings{false, false, true, true, false, false, false, 15};
inline constexpr CDirectoryFlags kEventTypes{false, false, false, true, false, false, true, 16};
inline constexpr CDirectoryFlags kEventJournal{false, false, true, true, true, false, true, 17};
} // namespace BookFlags

// The two kinds of unit, the tree of the units and conversions books.
void FillUnitKinds(CDirectoryTreeView* tree);

class CReceiverFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CReceiverFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView* tree) override;
    void FillChildren(CDirectoryTreeView* tree, QTreeWidgetItem* item, int groupId) override;
    void FillList(CReportView* list, int groupId, const SqlFilter& filter) override;
    void ViewItem(int id, int groupId, bool isGroup, QString* name) override;
    void EditItem(int id, int groupId, bool isGroup, QString* name, int* newId) override;
    void DeleteItem(int id) override;
    bool DeleteGroup(int groupId) override;
    bool MoveToGroup(int id, int groupId) override;
    bool CanEditTreeItem(QTreeWidgetItem* item) override;
    int EditRoles() const override;
    bool IsEditableWhenClosed() override;
    QTreeWidgetItem* FindInTree(const QString& text, const std::vector<int>& excluded, int* foundId) override;
};

class CProductFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CProductFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView* tree) override;
    void FillChildren(CDirectoryTreeView* tree, QTreeWidgetItem* item, int groupId) override;
    void FillList(CReportView* list, int groupId, const SqlFilter& filter) override;
    void ViewItem(int id, int groupId, bool isGroup, QString* name) override;
    void DeleteItem(int) override { }
    QTreeWidgetItem* FindInTree(const QString& text, const std::vector<int>& excluded, int* foundId) override;
};

class CMeasurementFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CMeasurementFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView* tree) override { FillUnitKinds(tree); }
    void FillList(CReportView* list, int kind, const SqlFilter& filter) override;
    void ViewItem(int id, int kind, bool isGroup, QString* name) override;
    void DeleteItem(int) override { }
};

class CConvertFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CConvertFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView* tree) override { FillUnitKinds(tree); }
    void FillList(CReportView* list, int kind, const SqlFilter& filter) override;
    void ViewItem(int id, int kind, bool isGroup, QString* name) override;
    void DeleteItem(int) override { }
};

class CDocumentationFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CDocumentationFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView*) override { }
    void FillList(CReportView* list, int groupId, const SqlFilter& filter) override;
    void ViewItem(int id, int groupId, bool isGroup, QString* name) override;
    void DeleteItem(int) override { }
    // "Сохранить документ...": the stored file of the selected row, copied where the user says.
    void SaveDocument();
};

class CMailingFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CMailingFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView*) override { }
    void FillList(CReportView* list, int groupId, const SqlFilter& filter) override;
    void ViewItem(int id, int groupId, bool isGroup, QString* name) override;
    // A new mailing (id below 0) is written, sent and journalled for each of its receivers.
    void EditItem(int id, int groupId, bool isGroup, QString* name, int* newId) override;
    void DeleteItem(int) override { }
    // Writes the mailing's information description and hands it to the send dialog; true when it
    // went through.
    bool Resend(const CMailingRecord& mailing);
};

class CEventTypeFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CEventTypeFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView*) override { }
    void FillList(CReportView* list, int groupId, const SqlFilter& filter) override;
    void ViewItem(int id, int groupId, bool isGroup, QString* name) override;
    void DeleteItem(int) override { }
};

// The event journal: the exchange journal (node 2) and the two operation journals (1 system, 0 trace).
class CEventJrnFrame : public CDirectoryFrame {
    Q_OBJECT
public:
    explicit CEventJrnFrame(CSessionState& session, QWidget* parent = nullptr);

    void FillTree(CDirectoryTreeView* tree) override;
    void FillList(CReportView* list, int node, const SqlFilter& filter) override;
    void ViewItem(int id, int node, bool isGroup, QString* name) override;
    void DeleteItem(int) override { }
    int EditRoles() const override { return 0; }
};

// Fills the navigation panel's book slots and the event journal's slot.
void RegisterBookFrames();

namespace BookTexts {
inline const QString kOneRoot = QStringLiteral("Справочник не может содержать более 1 корневого элемента!");
inline const QString kNoEditRights = QStringLiteral("У вас нет прав редактировать данный элемент");
inline const QString kNoDeleteRights = QStringLiteral("У вас нет прав удалить данный элемент");
inline const QString kElementInUse = QStringLiteral("Данный элемент используется. Удалить нельзя!");
inline const QString kGroupInUse = QStringLiteral("Данная группа используется. Удалить нельзя!");
inline const QString kNatural = QStringLiteral("Натуральные");
inline const QString kPrice = QStringLiteral("Ценовые");
inline const QString kAppJournal = QStringLiteral("Журнал событий приложения");
inline const QString kSystemJournal = QStringLiteral("Журнал системных событий");
inline const QString kTraceJournal = QStringLiteral("Журнал трассировки");
inline const QString kUnknownOrganisation = QStringLiteral("[Не известна]");
inline const QString kDateColumn = QStringLiteral("Дата");
inline const QString kMessageColumn = QStringLiteral("Сообщение");
inline const QString kXmlCreateFailed = QStringLiteral("Ошибка создания XML документа!");
inline const QString kFileSaveFailed = QStringLiteral("Ошибка сохранения файла!");
inline const QString kMailingName = QStringLiteral("Рассылка");
} // namespace BookTexts
