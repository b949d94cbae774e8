#include "DragSupport.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>

namespace {
constexpr int kScrollZone = 10; // pixels inside the top and bottom edges
}

QLabel* MakeDragImage(const QWidget* source, QWidget* layer, const QString& text, const QPoint& layerPos)
{
    auto* image = new QLabel(text, layer);
    image->setFont(source->font());
    QPalette palette = image->palette();
    palette.setColor(QPalette::WindowText, source->palette().color(QPalette::Disabled, QPalette::Text));
    image->setPalette(palette);
    image->setAttribute(Qt::WA_TransparentForMouseEvents);
    image->adjustSize();
    image->move(layerPos - kDragHotSpot);
    image->raise();
    image->show();
    return image;
}

int DragEdgeDistance(int y, int height)
{
    if (y < kScrollZone)
        return -(kScrollZone - y);
    if (y >= height - kScrollZone)
        return y - (height - kScrollZone) + 1;
    return 0;
}

bool DragScroll(QAbstractScrollArea* area, int distance, int ticks)
{
    if (distance == 0 || ticks % std::max(1, 6 - std::abs(distance) / 5) != 0)
        return false;
    area->verticalScrollBar()->triggerAction(distance < 0 ? QAbstractSlider::SliderSingleStepSub
                                                          : QAbstractSlider::SliderSingleStepAdd);
    return true;
}
