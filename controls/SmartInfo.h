// An information box that the user can switch off for good (profile value Smart/<key>).
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

class CSmartInfoDialog : public QDialog {
    Q_OBJECT
public:
    CSmartInfoDialog(const QString& text, const QString& key, QWidget* parent = nullptr);

    QCheckBox* dontShowAgain() const { return m_check; }
    QLabel* messageLabel() const { return m_message; }
    QString key() const { return m_key; }

private:
    QString m_key;
    QCheckBox* m_check = nullptr;
    QLabel* m_message = nullptr;
};

// Shows the box unless it was switched off; OK with the check box ticked switches it off.
void ShowSmartInfo(QWidget* parent, const QString& text, const QString& key);
// True when the box of that key was switched off.
bool IsSmartInfoSuppressed(const QString& key);
