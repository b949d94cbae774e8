// The send dialog: hands prepared send descriptions to the chosen transport one by one, once it
// is on screen, deletes each after its attempt, shows the result of each and the transport's
// error texts, and tells the caller whether everything went through.
#pragma once

#include "ExchangeFiles.h"
#include "TransportRegistry.h"
#include "TransportSend.h"

#include <QDialog>

#include <memory>

class CLogEdit;
class QListWidget;
class QPushButton;
class QTabBar;

namespace SendTexts {
inline const QString kCaption = QStringLiteral("Отправка данных");
inline const QString kSucceeded = QStringLiteral(": успешно завершено.");
inline const QString kFailed = QStringLiteral(": ошибка отправки данных.");
inline const QString kFileError = QStringLiteral("Файловая ошибка.");
inline const QString kNoFiles = QStringLiteral("Не указаны файлы для отправки.");
inline const QString kFileTransportDone = QStringLiteral("Отправка успешно завершена.\r\n Имена файлов:\r\n");
// %1 the transport code of the settings.
inline const QString kNotLoaded = QStringLiteral("Модуль транспорта \"%1\" не загружен.");
} // namespace SendTexts

// The lines that tell of a file that did not go: its name with the failure, then the first line of
// the transport's error text and, when it has more, its last one, where a mail's cause stands.
QStringList SendFailureLines(const QString& name, const QString& error);

class CSendDataDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 169 };

    // The transport is the entry of `transports` whose code is the Transport setting. The data
    // documents in `dataFolder` (when given) are removed when the dialog ends, whatever the outcome.
    CSendDataDlg(const CStringPairList& files, const CTransportList& transports, QWidget* parent = nullptr,
                 std::unique_ptr<CSendFolder> dataFolder = nullptr);
    ~CSendDataDlg() override;

    // 1 when every file went through, 0 after any failure or when nothing could be sent.
    int successFlag() const { return m_success; }
    const QString& resultText() const { return m_resultText; }
    const QString& descriptionText() const { return m_descriptionText; }
    // Sending is over and the dialog may be closed.
    bool isDone() const { return m_done; }
    // The SendFailureLines of every file that did not go, for the caller's log.
    const QStringList& failureLines() const { return m_failureLines; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnInitDialog();
    void OnSend();
    void SendThroughTransport(ITransport* transport);
    void ShowTabText();
    // Grows the dialog, up to the screen's width, until the edit holds its longest line whole.
    void FitWidthToText();
    void Finish();

    QListWidget* m_list = nullptr;
    CLogEdit* m_log = nullptr;
    QTabBar* m_tabs = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_close = nullptr;
    int m_success = 1;
    CStringPairList m_files;
    QString m_resultText;
    QString m_descriptionText;
    QStringList m_failureLines;
    CTransportList m_transports;
    QString m_transportCode;
    std::unique_ptr<CSendFolder> m_dataFolder;
    bool m_started = false;
    bool m_done = false;
};
