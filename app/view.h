#pragma once

#include "qev/base/image.h"
#include "qev/base/settings.h"

#include <QImage>
#include <QObject>
#include <QPoint>

class QComboBox;
class QKeyEvent;
class QMouseEvent;
class QPainter;
class QPushButton;
class QScrollBar;
class QWheelEvent;
class QWidget;

// A new RGB888 QImage of a picture (1 to 4 bytes per texel), upright; a null
// QImage for an empty picture. The caller owns the result.
QImage* poQImageFromImage(const Image* poImage);
// A new 3-byte picture of a QImage, upright, square pixels; null for a null
// QImage or one beyond the picture size limit. The caller owns the result.
Image* poImageFromQImage(const QImage* poImage);

// The view: the display area and what it shows. The converted picture fitted to
// the area over a checkerboard, or its pixels enlarged 1, 2 or 3 times and
// scrolled (scroll bars, arrow keys, the wheel, a drag with the middle button or
// Space + left button); the source picture fitted the same way ("Original", or
// Space held), which also stands in until the first conversion of a picture is
// painted; the start-up picture while there is none; the hourglass while a
// conversion waits. It also maps a point of the display back to the source
// picture's pixel, through the fits of the display and of the conversion.
//
// The state is public, as in the core's records, so that the tests can look at
// it; only the view's own functions change it.
class View : public QObject
{
    Q_OBJECT
public:
    // The smallest display area.
    static constexpr int g_iMinimumWidth = 160;
    static constexpr int g_iMinimumHeight = 120;

    // The display area is a child of poWindow. poSettings is the window's
    // settings record: its display filter, fit mode, conversion type and
    // horizontal shift.
    View(QWidget* poWindow, const tdSettings* poSettings);
    // The View combo and the Original button, on the settings panel.
    void vBuildControls(QWidget* poPanel);
    ~View() override;

    QWidget* m_poRenderArea;       // the display area: the window paints into its rectangle
    QComboBox* m_poZoom;           // fitted, or the converted pixels 1:1, 2:1, 3:1
    QPushButton* m_poShowOriginal; // checkable; Space held does the same
    QScrollBar* m_poHScroll;       // a zoomed picture larger than the display scrolls
    QScrollBar* m_poVScroll;
    const tdSettings* m_poSettings;
    const Image* m_poSource;    // the window's source picture, null before one arrives
    Image* m_poConvertedImage;  // the last preview result, owned, null before
    QImage* m_poDisplayedImage; // the converted picture fitted (or zoomed) to the display area
    QImage* m_poOriginalImage;  // the source picture fitted to the display area, made when first shown
    bool m_bShowOriginal;       // the display shows the source picture
    QImage m_oDefaultImage;     // shown while there is no picture
    QImage m_oHourGlassImage;   // drawn over the display while a conversion is pending
    QPoint m_oZoomOrigin;       // where a zoomed picture's top left corner lies in the display
    bool m_bDragging;
    bool m_bSpaceHeld; // Space shows the source; Space + drag scrolls a zoomed picture
    QPoint m_oDragStart;
    QPoint m_oDragValues;

    // A new source picture (the window owns it); its fit to the display is made
    // when first shown.
    void vSetSource(const Image* poSource);
    // The source picture fitted to the display area, made elsewhere (ignored
    // unless it has the area's size).
    void vSetOriginal(const QImage& oFitted);
    // A new converted picture (owned from here on; null for none), shown at once.
    void vSetConverted(Image* poConverted);
    // Refits the converted picture to the display area over a checkerboard, or
    // enlarges its pixels by the zoom factor with nearest-neighbour pixels.
    void vUpdateDisplayedImage();
    // What the display shows: the source or the converted picture, null for the start-up picture.
    const QImage* poShownImage();
    void vSetShowOriginal(bool bShow);
    // Paints the display into the window: the shown picture, else (unless a
    // conversion is pending) the start-up picture; the hourglass while a
    // conversion is pending and no progress bar shows, or stands in for a
    // picture that produced nothing to show.
    void vPaint(QPainter* poPainter, bool bPending, bool bProgressShown);
    // Places the scroll bars above iBottom (the status line's top) and refits.
    void vPlace(int iBottom);
    // The source picture's colour under a point of the display area, through the
    // fit of the display and that of the conversion (false off the picture).
    bool bSourceColorAt(const QPoint& oInArea, Color* poColor) const;

    // The keys, the mouse and the wheel over the display (positions in the
    // window); each returns true when it took the event.
    bool bKeyPress(QKeyEvent* poEvent);
    bool bKeyRelease(QKeyEvent* poEvent);
    bool bMousePress(QMouseEvent* poEvent);
    void vMouseMove(QMouseEvent* poEvent);
    void vMouseRelease(QMouseEvent* poEvent);
    bool bWheel(QWheelEvent* poEvent);

signals:
    // What the display shows changed: the window repaints.
    void vChanged();
};
