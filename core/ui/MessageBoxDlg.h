// The program's own message box: Russian captions, an icon from the flags, the text shown whole.
#pragma once

#include "AppMessage.h"

#include <QDialog>
#include <QIcon>

#include <vector>

class QLabel;
class QPushButton;

class CMessageBoxDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMessageBoxDlg(QWidget* parent = nullptr);
    ~CMessageBoxDlg() override;

    void SetText(const QString& text);
    // Formats a string-table entry printf-style; false (text unchanged) when the entry is missing.
    template <typename... Args>
    bool FormatText(unsigned stringId, Args... args)
    {
        const QString format = LoadStringRes(stringId);
        if (format.isEmpty())
            return false;
        SetText(QString::asprintf(format.toUtf8().constData(), args...));
        return true;
    }
    // flags & 0xF0 as in the message-box flags: 0x10 stop, 0x20 question, 0x40 information, else exclamation.
    void SetStandardIcon(unsigned iconFlags);
    void SetIcon(const QIcon& icon);
    // captionId -1: the string numbered like the button id.
    void AddButton(int id, bool isDefault, bool isCancel, int captionId = -1);
    int DoModal();

    // What the dialog shows, for tests and callers that inspect it.
    QString text() const { return m_text; }
    unsigned iconFlags() const { return m_iconFlags; }
    int defaultButtonId() const { return m_defaultId; }
    int cancelButtonId() const { return m_cancelId; }
    std::vector<int> buttonIds() const;
    QPushButton* button(int id) const;
    QLabel* textLabel() const { return m_textLabel; }
    // Builds the controls and the layout; DoModal and the first show call it.
    void CreateControls();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    struct Button {
        int id;
        QString caption;
        QPushButton* widget = nullptr;
    };

    int TextWidth() const;

    QString m_text;
    QIcon m_icon;
    unsigned m_iconFlags = 0x30;
    bool m_hasIcon = false;
    int m_defaultId = -1;
    int m_cancelId = -1;
    std::vector<Button> m_buttons;
    QLabel* m_iconLabel = nullptr;
    QLabel* m_textLabel = nullptr;
    bool m_created = false;
};

// Makes AppMessageBox show CMessageBoxDlg through the modal hook.
void InstallAppMessageBoxUi();
