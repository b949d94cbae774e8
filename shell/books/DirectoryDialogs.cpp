#include "DirectoryDialogs.h"

#include "BookDialogs.h"
#include "BookFrames.h"
#include "CommandIds.h"
#include "ModalHook.h"
#include "ReportView.h"
#include "TreeCtrlX.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace DirectoryDialogTexts;

CDirectoryGroupDlg::CDirectoryGroupDlg(bool readOnly, QWidget* parent)
    : QDialog(parent)
    , m_readOnly(readOnly)
{
    setObjectName(QStringLiteral("id136"));
    setWindowTitle(kGroupCaption);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("id1004"));
    QDialogButtonBox* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_name);
    layout->addWidget(buttons);
}

int CDirectoryGroupDlg::DoModal()
{
    m_name->setText(name);
    m_name->setEnabled(!m_readOnly);
    return ExecModal(*this);
}

void CDirectoryGroupDlg::accept()
{
    name = m_name->text();
    QDialog::accept();
}

// ---------------------------------------------------------------------------------------------

namespace {

constexpr int kFrameId = 1036;
constexpr int kFilterId = 1037;

} // namespace

CReceiverDirectoryDlg::CReceiverDirectoryDlg(CSessionState& session, QWidget* parent)
    : CResizableDlg(145, parent)
{
    setWindowTitle(kReceiverDirectoryCaption);
    resize(450, 240);
    m_frame = new CReceiverFrame(session, this);
    m_frame->setObjectName(QStringLiteral("id%1").arg(kFrameId));
    m_frame->setGeometry(8, 8, 434, 190);
    auto* filter = new QPushButton(QStringLiteral("Фильтр"), this);
    filter->setObjectName(QStringLiteral("id%1").arg(kFilterId));
    filter->setGeometry(8, 206, 80, 25);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setDefault(true);
    ok->setGeometry(276, 206, 80, 25);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    cancel->setObjectName(QStringLiteral("id2"));
    cancel->setGeometry(362, 206, 80, 25);
    AddAnchor(kFrameId, StretchRight | StretchDown);
    AddAnchor(kFilterId, MoveDown);
    AddAnchor(1, MoveRight | MoveDown);
    AddAnchor(2, MoveRight | MoveDown);
    connect(filter, &QPushButton::clicked, this,
            [this] { m_frame->OnCmdMsg(ID_BOOK_FILTER, CmdMsg::Execute, nullptr); });
    connect(ok, &QPushButton::clicked, this, &CReceiverDirectoryDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CReceiverDirectoryDlg::reject);
}

int CReceiverDirectoryDlg::DoModal()
{
    m_frame->AddFilterField(QStringLiteral("Наименование"), QStringLiteral("name"), FF_TEXT, true, 200);
    m_frame->AddFilterField(QStringLiteral("Email"), QStringLiteral("email"), FF_TEXT, true, 70);
    m_frame->InitListColumns();
    m_frame->list()->SetSingleSelection(singleSelect);
    m_frame->SetReadOnly(true);
    return ExecModal(*this);
}

void CReceiverDirectoryDlg::accept()
{
    result.clear();
    if (chooseGroup) {
        if (QTreeWidgetItem* item = m_frame->tree()->currentItem())
            result.push_back(CTreeCtrlX::ItemData(item));
    } else {
        CReportView* list = m_frame->list();
        for (const QModelIndex& index : list->selectionModel()->selectedRows())
            result.push_back(std::abs(list->GetItemData(index.row())));
    }
    CResizableDlg::accept();
}
