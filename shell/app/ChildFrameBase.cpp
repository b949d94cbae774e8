#include "ChildFrameBase.h"

CChildFrameBase::CChildFrameBase(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("id10000"));
}

CChildFrameBase::~CChildFrameBase() = default;

void CChildFrameBase::OnUpdateChildren(int)
{
}

void CChildFrameBase::NotifyForecastFrame(int)
{
}

void CChildFrameBase::NotifyEventJournal(int)
{
}

void CChildFrameBase::FillSections()
{
}

void CChildFrameBase::ResetConsolidatedSelection()
{
}

void CChildFrameBase::ReloadForecastReceiver()
{
}

void CChildFrameBase::SetFirstStepNote(const QString&)
{
}
