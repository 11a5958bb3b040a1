// The window's own events: painting (which also notices changed settings) and
// the keys, the mouse and the wheel over the display, handed to the view.

#include "window.h"

#include "camera_input.h"
#include "palette_editor.h"
#include "preview.h"
#include "settings_panel.h"
#include "view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QWheelEvent>

#include <cstring>

void Window::paintEvent(QPaintEvent*)
{
    if (bControlFieldsDiffer(&m_oSettings, &m_oLastSeenSettings)) vUpdateUI();
    // Switching among the MSX conversion types previews the same KRU conversion;
    // only a switch to or from PNG changes the picture.
    if ((m_oSettings.ConversionType == ConversionType_PNG) ==
        (m_oLastSeenSettings.ConversionType == ConversionType_PNG))
        m_oLastSeenSettings.ConversionType = m_oSettings.ConversionType;
    if (!bSettingsUsePalette(&m_oSettings))
        memcpy(m_oLastSeenSettings.CustomPalette, m_oSettings.CustomPalette,
               sizeof(m_oSettings.CustomPalette));
    m_oLastSeenSettings.SelectedColor = m_oSettings.SelectedColor;
    if (memcmp(&m_oSettings, &m_oLastSeenSettings, sizeof(tdSettings)) != 0)
    {
        vUpdateCommandLine();
        if (m_poSourceImage)
        {
            if (m_poCameraInput->m_bLive)
            {
                vDoUpdatePreviewImage();
            }
            else
            {
                m_poPreview->vSchedule();
                m_poView->m_poRenderArea->update();
            }
        }
    }
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));

    QPainter oPainter(this);
    m_poView->vPaint(&oPainter, m_poPreview->m_bPending, m_poPreview->m_poProgress->isVisible());
    oPainter.end();

    m_poCameraInput->vRequestFrame();
}

void Window::keyPressEvent(QKeyEvent* poEvent)
{
    if (!m_poView->bKeyPress(poEvent)) QWidget::keyPressEvent(poEvent);
}

void Window::keyReleaseEvent(QKeyEvent* poEvent)
{
    if (!m_poView->bKeyRelease(poEvent)) QWidget::keyReleaseEvent(poEvent);
}

void Window::mouseMoveEvent(QMouseEvent* poEvent)
{
    m_poView->vMouseMove(poEvent);
}

void Window::mouseReleaseEvent(QMouseEvent* poEvent)
{
    m_poView->vMouseRelease(poEvent);
}

void Window::wheelEvent(QWheelEvent* poEvent)
{
    if (!m_poView->bWheel(poEvent)) poEvent->ignore();
}

void Window::mousePressEvent(QMouseEvent* poEvent)
{
    if (m_poView->bMousePress(poEvent)) return;
    // A click in the picture picks the colour shown there (and the source
    // picture's colour under it) for the palette editor.
    const QPoint oPosition = poEvent->position().toPoint();
    const QRect oArea = m_poView->m_poRenderArea->geometry();
    if (!oArea.contains(oPosition)) return;
    const QImage* poShown = m_poView->poShownImage();
    if (!poShown) return;
    const QPoint oInArea = oPosition - oArea.topLeft();
    if (!poShown->valid(oInArea)) return;
    const QRgb uiPixel = poShown->pixel(oInArea);
    const Color oPicked = {static_cast<unsigned char>(qRed(uiPixel)),
                           static_cast<unsigned char>(qGreen(uiPixel)),
                           static_cast<unsigned char>(qBlue(uiPixel)), 0};
    Color oSource;
    const bool bSource = m_poView->bSourceColorAt(oInArea, &oSource);
    m_poPaletteEditor->vPick(poEvent->button() == Qt::RightButton, oPicked, bSource ? &oSource : nullptr);
}
