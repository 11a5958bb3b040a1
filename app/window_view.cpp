// The view: what the display shows (the converted picture fitted or zoomed and
// scrolled, or the source picture), the keys, the mouse and the wheel over it.

#include "window_internal.h"

#include "build_info.h"
#include "camera_permission.h"
#include "settings_store.h"

#include "input/picture_reader.h"
#include "qev/base/report.h"
#include "qev/base/run_context.h"
#include "qev/base/settings_string.h"
#include "qev/color/palette.h"
#include "qev/files/format_kru.h"
#include "qev/files/output_files.h"
#include "qev/files/palette_file.h"
#include "qev/files/png_io.h"
#include "qev/files/readerwriter.h"
#include "qev/msx/yjk.h"
#include "retro/retro_formats.h"

#include <QComboBox>
#include <QImageCapture>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <png.h>
#include <string>
#include <zlib.h>

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
            if (m_bCameraLive)
            {
                vDoUpdatePreviewImage();
            }
            else
            {
                m_poPreview->vSchedule();
                m_poRenderArea->update();
            }
        }
    }
    memcpy(&m_oLastSeenSettings, &m_oSettings, sizeof(tdSettings));

    QPainter oPainter(this);
    const QRect oArea = m_poRenderArea->geometry();
    const QImage* poShown = poShownImage();
    if (poShown)
    {
        oPainter.drawImage(oArea.topLeft(), *poShown);
    }
    else if (!m_poPreview->m_bPending)
    {
        // The start-up picture, centred, made smaller when the area is.
        QSize oSize = m_oDefaultImage.size();
        if (oSize.width() > oArea.width() || oSize.height() > oArea.height())
            oSize.scale(oArea.size(), Qt::KeepAspectRatio);
        const QRect oTarget(oArea.x() + (oArea.width() - oSize.width()) / 2,
                            oArea.y() + (oArea.height() - oSize.height()) / 2, oSize.width(), oSize.height());
        oPainter.setRenderHint(QPainter::SmoothPixmapTransform);
        oPainter.drawImage(oTarget, m_oDefaultImage);
    }
    // The hourglass covers the display while a conversion waits, and stands in for
    // a picture that produced nothing to show; never over the start-up picture.
    if (!m_bShowOriginal && !m_poPreview->m_poProgress->isVisible() &&
        (m_poPreview->m_bPending || (!m_poDisplayedImage && m_poSourceImage)))
        oPainter.drawImage(oArea.x() + (oArea.width() - m_oHourGlassImage.width()) / 2,
                           oArea.y() + (oArea.height() - m_oHourGlassImage.height()) / 2, m_oHourGlassImage);
    oPainter.end();

    if (m_bCameraLive && m_poImageCapture && !m_bCaptureRequested && m_poImageCapture->isReadyForCapture())
        m_bCaptureRequested = m_poImageCapture->capture() >= 0;
}

void Window::vUpdateDisplayedImage()
{
    delete m_poDisplayedImage;
    m_poDisplayedImage = nullptr;
    delete m_poOriginalImage;
    m_poOriginalImage = nullptr;
    const int iZoom = m_poZoom->currentIndex();
    if (iZoom == 0 || !m_poConvertedImage)
    {
        m_poHScroll->hide();
        m_poVScroll->hide();
    }
    if (!m_poConvertedImage) return;
    if (iZoom > 0)
    {
        // The converted pixels, each iZoom x iZoom, over the checkerboard: centred
        // along a side where they fit, else scrolled there by the scroll bar.
        const Image oBackground(m_poRenderArea->width(), m_poRenderArea->height(), 3, Background_Checkerboard,
                                1.0);
        QImage* poDisplayed = poQImageFromImage(&oBackground);
        const std::unique_ptr<QImage> poPixels(poQImageFromImage(m_poConvertedImage));
        if (!poDisplayed->isNull() && !poPixels->isNull())
        {
            const QSize oSize = poPixels->size() * iZoom;
            const QSize oArea = poDisplayed->size();
            QScrollBar* apoBars[2] = {m_poHScroll, m_poVScroll};
            const int aiExcess[2] = {oSize.width() - oArea.width(), oSize.height() - oArea.height()};
            int aiOrigin[2];
            for (int i = 0; i < 2; i++)
            {
                const QSignalBlocker oBlock(apoBars[i]);
                apoBars[i]->setRange(0, std::max(0, aiExcess[i]));
                apoBars[i]->setPageStep(i == 0 ? oArea.width() : oArea.height());
                apoBars[i]->setSingleStep(16);
                apoBars[i]->setVisible(aiExcess[i] > 0);
                aiOrigin[i] = aiExcess[i] > 0 ? -apoBars[i]->value() : -aiExcess[i] / 2;
            }
            m_oZoomOrigin = QPoint(aiOrigin[0], aiOrigin[1]);
            QPainter oPainter(poDisplayed);
            oPainter.drawImage(QRect(m_oZoomOrigin, oSize), *poPixels);
        }
        if (poDisplayed->isNull())
            delete poDisplayed;
        else
            m_poDisplayedImage = poDisplayed;
        return;
    }
    Image* poCopy = m_poConvertedImage->poCopy();
    poCopy->vFit(m_poRenderArea->width(), m_poRenderArea->height(), 1.0, FitMode_Fit,
                 m_oSettings.DisplayFilter, nullptr, Background_Checkerboard, 0);
    QImage* poDisplayed = poQImageFromImage(poCopy);
    delete poCopy;
    if (poDisplayed->isNull())
        delete poDisplayed;
    else
        m_poDisplayedImage = poDisplayed;
}

const QImage* Window::poShownImage()
{
    // The source picture, fitted, also stands in for a conversion not painted yet.
    if (!(m_bShowOriginal || !m_poDisplayedImage) || !m_poSourceImage) return m_poDisplayedImage;
    if (!m_poOriginalImage)
    {
        const std::unique_ptr<Image> poCopy(m_poSourceImage->poCopy());
        poCopy->vFit(m_poRenderArea->width(), m_poRenderArea->height(), 1.0, FitMode_Fit,
                     m_oSettings.DisplayFilter, nullptr, Background_Checkerboard, 0);
        m_poOriginalImage = poQImageFromImage(poCopy.get());
    }
    return m_poOriginalImage->isNull() ? nullptr : m_poOriginalImage;
}

void Window::vSetShowOriginal(bool bShow)
{
    m_bShowOriginal = bShow;
    if (m_poShowOriginal->isChecked() != bShow) m_poShowOriginal->setChecked(bShow);
    update();
}

void Window::keyPressEvent(QKeyEvent* poEvent)
{
    const int iKey = poEvent->key();
    if (iKey == Qt::Key_Space && !poEvent->isAutoRepeat())
    {
        m_bSpaceHeld = true;
        vSetShowOriginal(true);
        return;
    }
    // The arrows scroll a zoomed picture.
    QScrollBar* poBar = iKey == Qt::Key_Left || iKey == Qt::Key_Right ? m_poHScroll
                        : iKey == Qt::Key_Up || iKey == Qt::Key_Down  ? m_poVScroll
                                                                      : nullptr;
    if (poBar && poBar->isVisible())
    {
        const int iStep =
            iKey == Qt::Key_Left || iKey == Qt::Key_Up ? -poBar->singleStep() : poBar->singleStep();
        poBar->setValue(poBar->value() + iStep);
        return;
    }
    QWidget::keyPressEvent(poEvent);
}

void Window::keyReleaseEvent(QKeyEvent* poEvent)
{
    if (poEvent->key() == Qt::Key_Space && !poEvent->isAutoRepeat())
    {
        m_bSpaceHeld = false;
        vSetShowOriginal(false);
    }
    else
        QWidget::keyReleaseEvent(poEvent);
}

void Window::mouseMoveEvent(QMouseEvent* poEvent)
{
    if (!m_bDragging) return;
    const QPoint oMoved = poEvent->position().toPoint() - m_oDragStart;
    m_poHScroll->setValue(m_oDragValues.x() - oMoved.x());
    m_poVScroll->setValue(m_oDragValues.y() - oMoved.y());
}

void Window::mouseReleaseEvent(QMouseEvent* poEvent)
{
    if (poEvent->button() == Qt::MiddleButton || poEvent->button() == Qt::LeftButton) m_bDragging = false;
}

void Window::wheelEvent(QWheelEvent* poEvent)
{
    // Over a zoomed picture the wheel scrolls it (Shift: sideways).
    const bool bSideways = (poEvent->modifiers() & Qt::ShiftModifier) || poEvent->angleDelta().y() == 0;
    QScrollBar* poBar = bSideways ? m_poHScroll : m_poVScroll;
    const int iDelta =
        bSideways && poEvent->angleDelta().x() != 0 ? poEvent->angleDelta().x() : poEvent->angleDelta().y();
    if (!poBar->isVisible() || iDelta == 0)
    {
        poEvent->ignore();
        return;
    }
    poBar->setValue(poBar->value() - iDelta * poBar->singleStep() * 3 / 120);
}

QImage* Window::poQImageFromImage(const Image* poImage)
{
    if (!poImage->m_pucTexels || poImage->m_iWidth <= 0 || poImage->m_iHeight <= 0) return new QImage();
    const int iWidth = poImage->m_iWidth;
    const int iHeight = poImage->m_iHeight;
    const int iTexel = poImage->m_iTexelSize;
    QImage* poResult = new QImage(iWidth, iHeight, QImage::Format_RGB888);
    for (int iY = 0; iY < iHeight; iY++)
    {
        const unsigned char* pucSource = poImage->m_pucTexels + static_cast<size_t>(iHeight - 1 - iY) *
                                                                    static_cast<size_t>(iWidth) * iTexel;
        unsigned char* pucLine = poResult->scanLine(iY);
        if (iTexel == 3)
        {
            memcpy(pucLine, pucSource, static_cast<size_t>(iWidth) * 3);
            continue;
        }
        for (int iX = 0; iX < iWidth; iX++)
        {
            const unsigned char* puc = pucSource + iX * iTexel;
            // Grey (1) and grey + alpha (2) spread the grey; RGBA (4) drops alpha.
            pucLine[iX * 3 + 0] = puc[0];
            pucLine[iX * 3 + 1] = iTexel >= 3 ? puc[1] : puc[0];
            pucLine[iX * 3 + 2] = iTexel >= 3 ? puc[2] : puc[0];
        }
    }
    return poResult;
}

Image* Window::poImageFromQImage(const QImage* poImage)
{
    if (poImage->isNull() || !bImageSizeValid(poImage->width(), poImage->height(), 3)) return nullptr;
    const QImage oRGB = poImage->convertToFormat(QImage::Format_RGB888);
    const int iWidth = oRGB.width();
    const int iHeight = oRGB.height();
    Image* poResult = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    if (!poResult->m_pucTexels)
    {
        delete poResult;
        return nullptr;
    }
    for (int iY = 0; iY < iHeight; iY++)
        memcpy(poResult->m_pucTexels +
                   static_cast<size_t>(iHeight - 1 - iY) * static_cast<size_t>(iWidth) * 3,
               oRGB.constScanLine(iY), static_cast<size_t>(iWidth) * 3);
    return poResult;
}
