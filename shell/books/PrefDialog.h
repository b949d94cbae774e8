// "Настройки" (115): the number format of the report forms, recalculation and journaling on the
// page "Общие", the exchange folders and the transport on the page "Транспорт". The values go into
// the settings on "Применить" and OK; they are written to the profile at exit.
#pragma once

#include "TransportRegistry.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

class CGeneralPrefFrame : public QWidget {
    Q_OBJECT
public:
    explicit CGeneralPrefFrame(QWidget* parent = nullptr);

    QComboBox* format;
    QCheckBox* autoRecalc;
    QCheckBox* opJournal;
};

class CTransPrefFrame : public QWidget {
    Q_OBJECT
public:
    CTransPrefFrame(const CTransportList& transports, QWidget* parent = nullptr);

    QLineEdit* exportDir;
    QLineEdit* importDir;
    QListWidget* transportList;
    QPushButton* properties;
    // The transport of the selected entry; none without a selection.
    const CTransportEntry* SelectedTransport() const;

private:
    void Browse(QLineEdit* edit);
    void OnSelChange();
    void OnProperties();

    CTransportList m_transports;
};

class CPrefDialog : public QDialog {
    Q_OBJECT
public:
    // The transports listed are the application's when none are given.
    explicit CPrefDialog(QWidget* parent = nullptr, const CTransportList* transports = nullptr);

    // Takes the values into the settings; false (after its message) when a folder is empty.
    bool Apply();
    void accept() override;

    CGeneralPrefFrame* generalPage() const { return m_general; }
    CTransPrefFrame* transportPage() const { return m_transport; }

private:
    QTabWidget* m_tabs;
    CGeneralPrefFrame* m_general;
    CTransPrefFrame* m_transport;
};

namespace PrefTexts {
inline const QString kCaption = QStringLiteral("Настройки");
inline const QString kEmptyFolders = QStringLiteral("Названия директорий не могут быть пустыми!");
inline const QString kSelectDirectory = QStringLiteral("Select Directory");
} // namespace PrefTexts
