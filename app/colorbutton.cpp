#include "colorbutton.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

const char g_szColorButtonMimeType[] = "QEVuiColorButton";

namespace
{

// Where the last left-button press on any colour button happened; a drag starts
// once the mouse has moved far enough from it.
QPoint g_oDragStartPosition;

} // namespace

ColorButton::ColorButton(QWidget* poParent)
    : QWidget(poParent), m_oColor{0, 0, 0, 0}, m_bSelected(false), m_iIndex(0)
{
    setAcceptDrops(true);
    // Tab reaches the entries; arrows move among them, Space selects.
    setFocusPolicy(Qt::StrongFocus);
}

QMimeData* ColorButton::poCreateMimeData(int iIndex)
{
    QMimeData* poData = new QMimeData;
    QByteArray oBytes;
    oBytes.append(static_cast<char>(iIndex));
    poData->setData(QLatin1String(g_szColorButtonMimeType), oBytes);
    return poData;
}

int ColorButton::iDroppedIndex(const QMimeData* poData)
{
    if (!poData || !poData->hasFormat(QLatin1String(g_szColorButtonMimeType))) return -1;
    const QByteArray oBytes = poData->data(QLatin1String(g_szColorButtonMimeType));
    if (oBytes.isEmpty()) return -1;
    return static_cast<signed char>(oBytes.at(0));
}

void ColorButton::paintEvent(QPaintEvent*)
{
    QPainter oPainter(this);
    const QColor oColor(m_oColor.r, m_oColor.g, m_oColor.b);
    // The outline covers the rectangle's right and bottom edges too, so the drawn
    // square spans (0, 0) to (width - 2, height - 2) inclusive.
    oPainter.setPen(Qt::gray);
    oPainter.setBrush(oColor);
    oPainter.drawRect(0, 0, width() - 2, height() - 2);
    if (m_bSelected)
    {
        oPainter.setBrush(Qt::NoBrush);
        oPainter.setPen(Qt::black);
        oPainter.drawRect(0, 0, width() - 2, height() - 2);
        oPainter.setPen(Qt::white);
        oPainter.drawRect(1, 1, width() - 4, height() - 4);
        oPainter.setPen(Qt::black);
        oPainter.drawRect(2, 2, width() - 6, height() - 6);
    }
    if (hasFocus())
    {
        oPainter.setBrush(Qt::NoBrush);
        oPainter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        oPainter.drawRect(3, 3, width() - 8, height() - 8);
    }
}

void ColorButton::keyPressEvent(QKeyEvent* poEvent)
{
    // The entries stand in two rows of eight.
    int iStep = 0;
    switch (poEvent->key())
    {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit vClicked(m_iIndex);
        return;
    case Qt::Key_Left:
        iStep = -1;
        break;
    case Qt::Key_Right:
        iStep = 1;
        break;
    case Qt::Key_Up:
        iStep = -8;
        break;
    case Qt::Key_Down:
        iStep = 8;
        break;
    default:
        QWidget::keyPressEvent(poEvent);
        return;
    }
    const int iTarget = m_iIndex + iStep;
    if (!parentWidget()) return;
    for (ColorButton* poButton :
         parentWidget()->findChildren<ColorButton*>(QString(), Qt::FindDirectChildrenOnly))
        if (poButton->m_iIndex == iTarget) poButton->setFocus(Qt::TabFocusReason);
}

void ColorButton::mousePressEvent(QMouseEvent* poEvent)
{
    if (poEvent->button() == Qt::LeftButton) g_oDragStartPosition = poEvent->position().toPoint();
}

void ColorButton::mouseMoveEvent(QMouseEvent* poEvent)
{
    if (!(poEvent->buttons() & Qt::LeftButton)) return;
    if ((poEvent->position().toPoint() - g_oDragStartPosition).manhattanLength() <
        QApplication::startDragDistance())
        return;
    QDrag* poDrag = new QDrag(this);
    poDrag->setMimeData(poCreateMimeData(m_iIndex));
    QPixmap oPixmap(size());
    oPixmap.fill(QColor(m_oColor.r, m_oColor.g, m_oColor.b));
    poDrag->setPixmap(oPixmap);
    poDrag->exec(Qt::MoveAction);
}

void ColorButton::mouseReleaseEvent(QMouseEvent*)
{
    emit vClicked(m_iIndex);
    update();
}

void ColorButton::dragEnterEvent(QDragEnterEvent* poEvent)
{
    if (poEvent->mimeData()->hasFormat(QLatin1String(g_szColorButtonMimeType)))
        poEvent->acceptProposedAction();
}

void ColorButton::dropEvent(QDropEvent* poEvent)
{
    const int iSource = iDroppedIndex(poEvent->mimeData());
    if (iSource < 0) return;
    poEvent->acceptProposedAction();
    emit vDragAndDropped(m_iIndex, iSource);
}
