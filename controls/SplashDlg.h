// The start-up window: the splash bitmap with the program version in its lower left corner.
#pragma once

#include <QPixmap>
#include <QWidget>

class CSplashDlg : public QWidget {
    Q_OBJECT
public:
    explicit CSplashDlg(QWidget* parent = nullptr);
    ~CSplashDlg() override;

    QString versionText() const { return m_version; }
    // The rectangle the version is written into.
    QRect versionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_bitmap;
    QString m_version;
};
