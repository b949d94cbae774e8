// A dialog that can be resized with a size grip, moves or stretches the controls anchored to its
// right and bottom edges, never gets smaller than it was created and remembers its size in the
// profile (section: the dialog id in lower-case hexadecimal, values CX and CY).
#pragma once

#include <QDialog>
#include <QSize>

#include <cstdint>
#include <vector>

class CResizableDlg : public QDialog {
    Q_OBJECT
public:
    enum AnchorFlags : int {
        MoveRight = 1,
        MoveDown = 2,
        StretchRight = 4,
        StretchDown = 8,
    };

    explicit CResizableDlg(int dialogId, QWidget* parent = nullptr);
    ~CResizableDlg() override;

    // The control is found by its object name "id<controlId>"; no flags: not registered.
    void AddAnchor(int controlId, int flags);

    int dialogId() const { return m_dialogId; }
    void setSaveSize(bool on) { m_saveSize = on; }
    bool wasResized() const { return m_resized; }
    QSize creationSize() const { return m_creationSize; }
    // The profile section of the stored size.
    virtual QString ProfileSection() const;
    // The size the dialog first shows with when none is stored; the creation size by default.
    virtual QSize FirstSize(const QSize& creation) const;

    void setVisible(bool visible) override;
    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void StoreSize();

    bool m_saveSize = true;
    bool m_sizeGrip = true;
    QSize m_creationSize;
    QSize m_lastSize;
    bool m_resized = false;
    bool m_initialised = false;
    std::vector<std::uint32_t> m_anchors; // control id in the low 16 bits, flags in the high 16 bits
    int m_dialogId;
};
