#include "SplashDlg.h"

#include "AppMessage.h"
#include "Bitmaps.h"
#include "ProgressBar.h"
#include "TextUtils.h"

#include <QPainter>

CSplashDlg::CSplashDlg(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_bitmap(LoadBitmapRes(IDB_SPLASH))
    , m_version(QStringLiteral("Версия %1").arg(GetFileVersionString()))
{
    setObjectName(QStringLiteral("id168"));
    // What a task bar names it: the program, as its messages do.
    setWindowTitle(LoadStringRes(57344));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(m_bitmap.size());
    move(0, 0);
    // Start-up's waits for the database are shown here: the main window is not there yet. The user
    // who ends one leaves the start.
    SetLockWaitWindow(this, true);
}

CSplashDlg::~CSplashDlg()
{
    SetLockWaitWindow(nullptr);
}

QRect CSplashDlg::versionRect() const
{
    return QRect(QPoint(4, m_bitmap.height() - 14), QPoint(100, m_bitmap.height()));
}

void CSplashDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_bitmap);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(versionRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_version);
}
