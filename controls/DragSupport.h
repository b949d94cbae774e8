// What the in-view drags of the group tree and the row list share: the text image that the cursor
// holds, and the scrolling near a view's top and bottom edges while a drag lasts.
#pragma once

#include <QPoint>

class QAbstractScrollArea;
class QLabel;
class QString;
class QWidget;

constexpr int kDragTimerPeriod = 75;      // ms between the drag timer's ticks
constexpr QPoint kDragHotSpot = {15, 15}; // where the cursor holds the image

// The text in grey on `layer`, placed so that the hot spot is at layerPos; the source gives the font
// and the colours.
QLabel* MakeDragImage(const QWidget* source, QWidget* layer, const QString& text, const QPoint& layerPos);
// How far y lies inside the scroll zone at the top (negative) or bottom (positive) edge of a viewport
// of this height; 0 outside both.
int DragEdgeDistance(int y, int height);
// Scrolls one line towards the edge on every (6 - |distance| / 5)th tick, faster nearer and beyond
// the edge; true when it scrolled.
bool DragScroll(QAbstractScrollArea* area, int distance, int ticks);
