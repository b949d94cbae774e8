#include "Bitmaps.h"

#include "CommandIds.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

const QColor kInk(40, 40, 40);
const QColor kPaper(255, 255, 250);
const QColor kBlue(40, 90, 170);
const QColor kGreen(40, 140, 60);
const QColor kRed(190, 40, 40);
const QColor kYellow(230, 180, 30);

QPixmap Canvas(int w, int h)
{
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    return pm;
}

void Sheet(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(r);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2)
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

void Plus(QPainter& p, const QPointF& c, const QColor& color)
{
    p.setPen(QPen(color, 2));
    p.drawLine(c + QPointF(-3, 0), c + QPointF(3, 0));
    p.drawLine(c + QPointF(0, -3), c + QPointF(0, 3));
}

void Folder(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kYellow);
    QPainterPath path;
    path.moveTo(1.5, 4.5);
    path.lineTo(6.5, 4.5);
    path.lineTo(7.5, 6.5);
    path.lineTo(13.5, 6.5);
    path.lineTo(13.5, 14.5);
    path.lineTo(1.5, 14.5);
    path.closeSubpath();
    p.drawPath(path);
}

void Arrow(QPainter& p, bool up)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    QPolygonF shape;
    if (up)
        shape << QPointF(8, 1.5) << QPointF(14.5, 8.5) << QPointF(10.5, 8.5) << QPointF(10.5, 14.5)
              << QPointF(5.5, 14.5) << QPointF(5.5, 8.5) << QPointF(1.5, 8.5);
    else
        shape << QPointF(8, 14.5) << QPointF(14.5, 7.5) << QPointF(10.5, 7.5) << QPointF(10.5, 1.5) << QPointF(5.5, 1.5)
              << QPointF(5.5, 7.5) << QPointF(1.5, 7.5);
    p.drawPolygon(shape);
}

void Lock(QPainter& p, const QColor& body)
{
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4.5, 1.5, 7, 8), 0, 180 * 16);
    p.drawLine(QPointF(4.5, 5.5), QPointF(4.5, 7.5));
    p.drawLine(QPointF(11.5, 5.5), QPointF(11.5, 7.5));
    p.setPen(QPen(kInk, 1));
    p.setBrush(body);
    p.drawRect(QRectF(2.5, 7.5, 11, 7));
}

QPixmap DrawCommand(int id)
{
    QPixmap pm = Canvas(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
    case ID_EDIT_CUT:
        p.setPen(QPen(kInk, 1.5));
        p.drawLine(QPointF(4, 1), QPointF(10, 10));
        p.drawLine(QPointF(12, 1), QPointF(6, 10));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kRed, 1.5));
        p.drawEllipse(QRectF(2, 10, 4, 4));
        p.drawEllipse(QRectF(10, 10, 4, 4));
        break;
    case ID_EDIT_COPY:
        Sheet(p, QRectF(1.5, 1.5, 8, 10));
        Sheet(p, QRectF(6.5, 4.5, 8, 10));
        break;
    case ID_EDIT_PASTE:
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(160, 110, 60));
        p.drawRect(QRectF(1.5, 2.5, 10, 12));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(4.5, 1.5, 4, 3));
        Sheet(p, QRectF(7.5, 6.5, 7, 8));
        break;
    case ID_BOOK_ADD_ELEMENT:
        Sheet(p, QRectF(2.5, 1.5, 9, 12));
        Plus(p, QPointF(12, 12), kGreen);
        break;
    case ID_BOOK_ADD_GROUP:
        Folder(p);
        Plus(p, QPointF(11, 11), kGreen);
        break;
    case ID_BOOK_EDIT:
        Sheet(p, QRectF(1.5, 1.5, 9, 12));
        p.setPen(QPen(kBlue, 2.5));
        p.drawLine(QPointF(14, 4), QPointF(7, 12));
        p.setPen(QPen(kInk, 1));
        p.drawLine(QPointF(7, 12), QPointF(6, 14));
        break;
    case ID_BOOK_VIEW:
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(1.5, 4.5, 13, 7));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(5.5, 5.5, 5, 5));
        break;
    case ID_BOOK_DELETE:
        p.setPen(QPen(kRed, 2.5));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
        p.drawLine(QPointF(13, 3), QPointF(3, 13));
        break;
    case ID_BOOK_MOVE_UP:
        Arrow(p, true);
        break;
    case ID_BOOK_MOVE_DOWN:
        Arrow(p, false);
        break;
    case ID_BOOK_FILTER: {
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        QPolygonF funnel;
        funnel << QPointF(1.5, 2.5) << QPointF(14.5, 2.5) << QPointF(9.5, 8.5) << QPointF(9.5, 14.5)
               << QPointF(6.5, 12.5) << QPointF(6.5, 8.5);
        p.drawPolygon(funnel);
        break;
    }
    case ID_GROUP_TOTALS:
        p.setPen(QPen(kInk, 2));
        p.drawLine(QPointF(12, 2), QPointF(3, 2));
        p.drawLine(QPointF(3, 2), QPointF(9, 8));
        p.drawLine(QPointF(9, 8), QPointF(3, 14));
        p.drawLine(QPointF(3, 14), QPointF(12, 14));
        break;
    case ID_FORECAST_CHECK:
        p.setPen(QPen(kGreen, 2.5));
        p.drawLine(QPointF(2, 8), QPointF(6, 13));
        p.drawLine(QPointF(6, 13), QPointF(14, 2));
        break;
    case ID_APP_ABOUT:
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(QPen(Qt::white, 2));
        p.drawPoint(QPointF(8, 4.5));
        p.drawLine(QPointF(8, 7), QPointF(8, 12));
        break;
    default:
        return QPixmap();
    }
    return pm;
}

QPixmap DrawStatus(int id)
{
    QPixmap pm = Canvas(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
    case IDB_STATUS_PROJECT:
        Sheet(p, QRectF(1.5, 1.5, 9, 13));
        p.setPen(QPen(kGreen, 2.5));
        p.drawLine(QPointF(14, 3), QPointF(7, 12));
        break;
    case IDB_STATUS_NSI:
        Lock(p, kYellow);
        break;
    case IDB_STATUS_CLOSED:
        Lock(p, kRed);
        break;
    default:
        return QPixmap();
    }
    return pm;
}

QPixmap DrawForecastStatus(int status, bool own)
{
    static constexpr int kPictures[] = {IDB_STATUS_PROJECT, IDB_STATUS_NSI, IDB_STATUS_CLOSED};
    QPixmap pm = DrawStatus(kPictures[status]);
    if (own) {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(9.5, 9.5, 6, 6));
    }
    return pm;
}

// A folder for a group row, a sheet for an element row.
QPixmap DrawBookIcon(int id)
{
    QPixmap pm = Canvas(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    if (id == IDI_BOOK_GROUP)
        Folder(p);
    else
        Sheet(p, QRectF(3.5, 1.5, 9, 13));
    return pm;
}

QPixmap DrawSplash()
{
    const int w = 400, h = 240;
    QPixmap pm(w, h);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(30, 70, 140));
    sky.setColorAt(1, QColor(150, 190, 230));
    p.fillRect(pm.rect(), sky);
    // A rising bar chart: the forecast.
    const int base = h - 40;
    const int heights[] = {40, 62, 55, 84, 101, 128};
    for (int i = 0; i < 6; ++i) {
        const QRectF bar(230 + i * 25, base - heights[i], 18, heights[i]);
        p.setPen(QPen(QColor(20, 40, 80), 1));
        p.setBrush(i == 5 ? QColor(250, 200, 60) : QColor(235, 240, 250));
        p.drawRect(bar);
    }
    p.setPen(QPen(Qt::white, 1));
    p.drawLine(220, base, w - 10, base);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(34);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(20, 40, 220, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("АИС ЛИР"));
    QFont sub(QStringLiteral("Arial"));
    sub.setPixelSize(18);
    p.setFont(sub);
    p.drawText(QRect(20, 90, 220, 60), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Прогноз объемов\nзакупаемой продукции"));
    return pm;
}

QPixmap DrawAppIcon(int side)
{
    QPixmap pm = Canvas(side, side);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 32.0, side / 32.0);
    p.setPen(QPen(QColor(20, 40, 80), 1));
    p.setBrush(QColor(40, 90, 170));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
    const int heights[] = {8, 13, 11, 19};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i == 3 ? QColor(250, 200, 60) : Qt::white);
        p.drawRect(QRectF(5 + i * 6, 26 - heights[i], 4, heights[i]));
    }
    return pm;
}

} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (int side : {16, 32, 48})
        icon.addPixmap(DrawAppIcon(side));
    return icon;
}

QPixmap LoadBitmapRes(int id)
{
    switch (id) {
    case IDB_SPLASH:
        return DrawSplash();
    case IDB_STATUS_CLOSED:
    case IDB_STATUS_PROJECT:
    case IDB_STATUS_NSI:
        return DrawStatus(id);
    case IDR_MAINFRAME:
        return DrawAppIcon(32);
    case IDI_BOOK_GROUP:
    case IDI_BOOK_ELEMENT:
        return DrawBookIcon(id);
    default:
        return QPixmap();
    }
}

QIcon CommandIcon(int commandId)
{
    const QPixmap pm = DrawCommand(commandId);
    return pm.isNull() ? QIcon() : QIcon(pm);
}

QIcon ForecastStatusIcon(int status, bool own)
{
    if (status < 0 || status > 2)
        return QIcon();
    return QIcon(DrawForecastStatus(status, own));
}
