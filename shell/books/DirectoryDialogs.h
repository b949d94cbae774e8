// The name of a tree group, and a complete receivers book in a dialog for choosing receivers or a
// receiver group.
#pragma once

#include "ResizableDlg.h"

#include <QDialog>

#include <vector>

class CReceiverFrame;
class QLineEdit;
struct CSessionState;

// "Группа" (136): the name of a group of a book whose groups are not records of their own.
class CDirectoryGroupDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDirectoryGroupDlg(bool readOnly, QWidget* parent = nullptr);

    QString name;

    int DoModal();
    void accept() override;
    QLineEdit* nameEdit() const { return m_name; }

private:
    bool m_readOnly;
    QLineEdit* m_name;
};

// "Справочник: Категории и получатели" (145): the receivers book, read-only, to choose from.
class CReceiverDirectoryDlg : public CResizableDlg {
    Q_OBJECT
public:
    CReceiverDirectoryDlg(CSessionState& session, QWidget* parent = nullptr);

    bool singleSelect = false;
    bool chooseGroup = false; // the selected tree group instead of the list's rows
    // After OK: the chosen receivers (a group row gives its group's id), in selection order.
    std::vector<int> result;

    int DoModal();
    void accept() override;
    CReceiverFrame* frame() const { return m_frame; }

private:
    CReceiverFrame* m_frame;
};

namespace DirectoryDialogTexts {
inline const QString kGroupCaption = QStringLiteral("Группа");
inline const QString kReceiverDirectoryCaption = QStringLiteral("Справочник: Категории и получатели");
} // namespace DirectoryDialogTexts
