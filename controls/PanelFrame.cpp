#include "PanelFrame.h"

CPanelFrame::CPanelFrame(QWidget* parent)
    : QWidget(parent)
{
}

CPanelFrame::~CPanelFrame() = default;

void CPanelFrame::OnForecastChanged(int)
{
}

void CPanelFrame::AddFilterField(const QString& caption, const QString& column, int kind, bool visible, int width,
                                 const QString& lookupTable, const QString& lookupField)
{
    CFilterField field;
    field.caption = caption;
    field.column = column;
    field.kind = kind;
    field.visible = visible;
    field.width = width;
    field.lookupTable = lookupTable;
    field.lookupField = lookupField;
    m_filterFields.push_back(std::move(field));
}

void CPanelFrame::InitListColumns()
{
}

void CForecastFrameBase::SetReceiver(int receiverId)
{
    m_receiverId = receiverId;
}

void CForecastFrameBase::Refresh(bool, bool)
{
}

CPanelFrameFactories& PanelFrameFactories()
{
    static CPanelFrameFactories factories;
    return factories;
}
