#pragma once

#include "qev/base/color.h"

#include <QWidget>

class QMimeData;

// One entry of the custom palette in the window: a square of its colour, outlined
// three times when selected. Releasing the mouse on it selects the entry; dragging
// it onto another button swaps the two entries. The drag carries the button's
// index as one byte under the MIME type "QEVuiColorButton". With the focus, Space
// or Return selects the entry and the arrow keys move to the neighbouring ones.
class ColorButton : public QWidget
{
    Q_OBJECT
public:
    Color m_oColor;   // the fourth byte is not drawn
    bool m_bSelected; // false at construction
    int m_iIndex;     // the palette entry 0..15, given by the window

    explicit ColorButton(QWidget* poParent = nullptr);

    // The drag data of the button with this index: one byte, the index.
    static QMimeData* poCreateMimeData(int iIndex);
    // The index a drop carries: the first byte of the data, read as a signed
    // byte; -1 when the data lacks the format or is empty.
    static int iDroppedIndex(const QMimeData* poData);

signals:
    // (this button's index, the dragged button's index)
    void vDragAndDropped(int iTarget, int iSource);
    void vClicked(int iIndex);

protected:
    void paintEvent(QPaintEvent* poEvent) override;
    void mousePressEvent(QMouseEvent* poEvent) override;
    void mouseMoveEvent(QMouseEvent* poEvent) override;
    void mouseReleaseEvent(QMouseEvent* poEvent) override;
    void dragEnterEvent(QDragEnterEvent* poEvent) override;
    void dropEvent(QDropEvent* poEvent) override;
    void keyPressEvent(QKeyEvent* poEvent) override;
};

// The MIME type of a dragged palette entry.
extern const char g_szColorButtonMimeType[];
