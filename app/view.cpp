#include "view.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cstring>
#include <memory>

QImage* poQImageFromImage(const Image* poImage)
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

Image* poImageFromQImage(const QImage* poImage)
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

View::View(QWidget* poWindow, const tdSettings* poSettings)
    : QObject(poWindow), m_poSettings(poSettings), m_poSource(nullptr), m_poConvertedImage(nullptr),
      m_poDisplayedImage(nullptr), m_poOriginalImage(nullptr), m_bShowOriginal(false), m_bDragging(false),
      m_bSpaceHeld(false)
{
    // The display area takes what the settings leave.
    m_poRenderArea = new QWidget(poWindow);
    m_poRenderArea->setObjectName(QStringLiteral("renderArea"));
    m_poRenderArea->setMinimumSize(g_iMinimumWidth, g_iMinimumHeight);
    m_poRenderArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // A zoomed picture larger than the display scrolls: scroll bars along the
    // display's edges, the middle button dragging, the arrow keys and the wheel.
    m_poHScroll = new QScrollBar(Qt::Horizontal, m_poRenderArea);
    m_poHScroll->setObjectName(QStringLiteral("HorizontalPan"));
    m_poVScroll = new QScrollBar(Qt::Vertical, m_poRenderArea);
    m_poVScroll->setObjectName(QStringLiteral("VerticalPan"));
    for (QScrollBar* poBar : {m_poHScroll, m_poVScroll})
    {
        poBar->hide();
        connect(poBar, &QScrollBar::valueChanged, this,
                [this]()
                {
                    vUpdateDisplayedImage();
                    emit vChanged();
                });
    }

    m_oDefaultImage.load(QStringLiteral(":/DefaultImage.png"));
    m_oHourGlassImage.load(QStringLiteral(":/HourGlass.png"));
}

void View::vBuildControls(QWidget* poPanel)
{
    // The view's controls on the settings panel: fitted or zoomed, and the source
    // picture to compare.
    QLabel* poLabel = new QLabel(QStringLiteral("View"), poPanel);
    poLabel->setObjectName(QStringLiteral("ZoomLabel"));
    poLabel->setGeometry(1030, 428, 94, 20);
    poLabel->setAlignment(Qt::AlignCenter);
    m_poZoom = new QComboBox(poPanel);
    m_poZoom->setObjectName(QStringLiteral("Zoom"));
    m_poZoom->setGeometry(1030, 450, 94, 26);
    m_poZoom->addItems(
        {QStringLiteral("Fitted"), QStringLiteral("1:1"), QStringLiteral("2:1"), QStringLiteral("3:1")});
    m_poZoom->setToolTip(QStringLiteral(
        "Fit the converted picture to the display, or show its pixels 1, 2 or 3 times enlarged."));
    m_poShowOriginal = new QPushButton(QStringLiteral("Original"), poPanel);
    m_poShowOriginal->setObjectName(QStringLiteral("ShowOriginal"));
    m_poShowOriginal->setGeometry(1030, 484, 94, 30);
    m_poShowOriginal->setCheckable(true);
    m_poShowOriginal->setToolTip(
        QStringLiteral("Show the source picture, fitted the same way (or hold Space)."));
    connect(m_poZoom, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this]()
            {
                vUpdateDisplayedImage();
                emit vChanged();
            });
    connect(m_poShowOriginal, &QPushButton::toggled, this, &View::vSetShowOriginal);
}

View::~View()
{
    delete m_poDisplayedImage;
    delete m_poOriginalImage;
    delete m_poConvertedImage;
}

void View::vSetSource(const Image* poSource)
{
    m_poSource = poSource;
    delete m_poOriginalImage;
    m_poOriginalImage = nullptr;
}

void View::vSetOriginal(const QImage& oFitted)
{
    if (oFitted.isNull() || oFitted.size() != m_poRenderArea->size()) return;
    delete m_poOriginalImage;
    m_poOriginalImage = new QImage(oFitted);
}

void View::vSetConverted(Image* poConverted)
{
    delete m_poConvertedImage;
    m_poConvertedImage = poConverted;
    vUpdateDisplayedImage();
    emit vChanged();
}

void View::vUpdateDisplayedImage()
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
                 m_poSettings->DisplayFilter, nullptr, Background_Checkerboard, 0);
    QImage* poDisplayed = poQImageFromImage(poCopy);
    delete poCopy;
    if (poDisplayed->isNull())
        delete poDisplayed;
    else
        m_poDisplayedImage = poDisplayed;
}

const QImage* View::poShownImage()
{
    // The source picture, fitted, also stands in for a conversion not painted yet.
    if (!(m_bShowOriginal || !m_poDisplayedImage) || !m_poSource) return m_poDisplayedImage;
    if (!m_poOriginalImage)
    {
        const std::unique_ptr<Image> poCopy(m_poSource->poCopy());
        poCopy->vFit(m_poRenderArea->width(), m_poRenderArea->height(), 1.0, FitMode_Fit,
                     m_poSettings->DisplayFilter, nullptr, Background_Checkerboard, 0);
        m_poOriginalImage = poQImageFromImage(poCopy.get());
    }
    return m_poOriginalImage->isNull() ? nullptr : m_poOriginalImage;
}

void View::vSetShowOriginal(bool bShow)
{
    m_bShowOriginal = bShow;
    if (m_poShowOriginal->isChecked() != bShow) m_poShowOriginal->setChecked(bShow);
    emit vChanged();
}

void View::vPaint(QPainter* poPainter, bool bPending, bool bProgressShown)
{
    const QRect oArea = m_poRenderArea->geometry();
    const QImage* poShown = poShownImage();
    if (poShown)
    {
        poPainter->drawImage(oArea.topLeft(), *poShown);
    }
    else if (!bPending)
    {
        // The start-up picture, centred, made smaller when the area is.
        QSize oSize = m_oDefaultImage.size();
        if (oSize.width() > oArea.width() || oSize.height() > oArea.height())
            oSize.scale(oArea.size(), Qt::KeepAspectRatio);
        const QRect oTarget(oArea.x() + (oArea.width() - oSize.width()) / 2,
                            oArea.y() + (oArea.height() - oSize.height()) / 2, oSize.width(), oSize.height());
        poPainter->setRenderHint(QPainter::SmoothPixmapTransform);
        poPainter->drawImage(oTarget, m_oDefaultImage);
    }
    // The hourglass covers the display while a conversion waits, and stands in for
    // a picture that produced nothing to show; never over the start-up picture.
    if (!m_bShowOriginal && !bProgressShown && (bPending || (!m_poDisplayedImage && m_poSource)))
        poPainter->drawImage(oArea.x() + (oArea.width() - m_oHourGlassImage.width()) / 2,
                             oArea.y() + (oArea.height() - m_oHourGlassImage.height()) / 2,
                             m_oHourGlassImage);
}

void View::vPlace(int iBottom)
{
    const int iBar = m_poRenderArea->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    m_poHScroll->setGeometry(0, iBottom - iBar, m_poRenderArea->width() - iBar, iBar);
    m_poVScroll->setGeometry(m_poRenderArea->width() - iBar, 0, iBar, iBottom - iBar);
    vUpdateDisplayedImage();
    emit vChanged();
}

bool View::bSourceColorAt(const QPoint& oInArea, Color* poColor) const
{
    const Image* poSource = m_poSource;
    if (!poSource || poSource->m_iWidth <= 0 || poSource->m_iHeight <= 0) return false;
    const QSize oArea = m_poRenderArea->size();
    // A point (x, y) of a canvas in which a picture covers oRect is the picture's
    // pixel ((x - left) w / width, (y - top) h / height).
    auto bInside =
        [](double fX, double fY, const tdRectangle& oRect, int iWidth, int iHeight, double* pfX, double* pfY)
    {
        if (oRect.iWidth <= 0 || oRect.iHeight <= 0) return false;
        *pfX = (fX - oRect.iX) * iWidth / oRect.iWidth;
        *pfY = (fY - oRect.iY) * iHeight / oRect.iHeight;
        return *pfX >= 0.0 && *pfY >= 0.0 && *pfX < iWidth && *pfY < iHeight;
    };
    double fX = oInArea.x() + 0.5, fY = oInArea.y() + 0.5;
    if (m_bShowOriginal || !m_poDisplayedImage || !m_poConvertedImage)
    {
        // The source fitted to the display.
        const tdRectangle oRect =
            oGetFitRectangle(poSource->m_iWidth, poSource->m_iHeight, poSource->m_fAspectRatio, oArea.width(),
                             oArea.height(), 1.0, FitMode_Fit);
        if (!bInside(fX, fY, oRect, poSource->m_iWidth, poSource->m_iHeight, &fX, &fY)) return false;
    }
    else
    {
        // The display point in the converted picture: zoomed, or fitted to the display.
        const Image* poConverted = m_poConvertedImage;
        const int iZoom = m_poZoom->currentIndex();
        if (iZoom > 0)
        {
            fX = (fX - m_oZoomOrigin.x()) / iZoom;
            fY = (fY - m_oZoomOrigin.y()) / iZoom;
            if (fX < 0.0 || fY < 0.0 || fX >= poConverted->m_iWidth || fY >= poConverted->m_iHeight)
                return false;
        }
        else
        {
            const tdRectangle oRect =
                oGetFitRectangle(poConverted->m_iWidth, poConverted->m_iHeight, poConverted->m_fAspectRatio,
                                 oArea.width(), oArea.height(), 1.0, FitMode_Fit);
            if (!bInside(fX, fY, oRect, poConverted->m_iWidth, poConverted->m_iHeight, &fX, &fY))
                return false;
        }
        // Then in the source, through the fit of the conversion: the converted
        // picture is the canvas the source was fitted to by the fit mode (and, on
        // the MSX screens, moved by the horizontal shift).
        tdRectangle oRect = oGetFitRectangle(
            poSource->m_iWidth, poSource->m_iHeight, poSource->m_fAspectRatio, poConverted->m_iWidth,
            poConverted->m_iHeight, poConverted->m_fAspectRatio, m_poSettings->FitMode);
        if (m_poSettings->ConversionType != ConversionType_PNG) oRect.iX += m_poSettings->HShift;
        if (!bInside(fX, fY, oRect, poSource->m_iWidth, poSource->m_iHeight, &fX, &fY)) return false;
    }
    *poColor = poSource->oGetPixel(static_cast<int>(fX), static_cast<int>(fY));
    poColor->a = 0;
    return true;
}

bool View::bKeyPress(QKeyEvent* poEvent)
{
    const int iKey = poEvent->key();
    if (iKey == Qt::Key_Space && !poEvent->isAutoRepeat())
    {
        m_bSpaceHeld = true;
        vSetShowOriginal(true);
        return true;
    }
    // The arrows scroll a zoomed picture.
    QScrollBar* poBar = iKey == Qt::Key_Left || iKey == Qt::Key_Right ? m_poHScroll
                        : iKey == Qt::Key_Up || iKey == Qt::Key_Down  ? m_poVScroll
                                                                      : nullptr;
    if (!poBar || !poBar->isVisible()) return false;
    const int iStep = iKey == Qt::Key_Left || iKey == Qt::Key_Up ? -poBar->singleStep() : poBar->singleStep();
    poBar->setValue(poBar->value() + iStep);
    return true;
}

bool View::bKeyRelease(QKeyEvent* poEvent)
{
    if (poEvent->key() != Qt::Key_Space || poEvent->isAutoRepeat()) return false;
    m_bSpaceHeld = false;
    vSetShowOriginal(false);
    return true;
}

bool View::bMousePress(QMouseEvent* poEvent)
{
    const QPoint oPosition = poEvent->position().toPoint();
    if (!m_poRenderArea->geometry().contains(oPosition)) return false;
    if (poEvent->button() != Qt::MiddleButton && !(poEvent->button() == Qt::LeftButton && m_bSpaceHeld &&
                                                   (m_poHScroll->isVisible() || m_poVScroll->isVisible())))
        return false;
    // Drags a zoomed picture (Space + drag shows the converted picture, not the
    // source that Space alone shows).
    vSetShowOriginal(false);
    m_oDragStart = oPosition;
    m_oDragValues = QPoint(m_poHScroll->value(), m_poVScroll->value());
    m_bDragging = true;
    return true;
}

void View::vMouseMove(QMouseEvent* poEvent)
{
    if (!m_bDragging) return;
    const QPoint oMoved = poEvent->position().toPoint() - m_oDragStart;
    m_poHScroll->setValue(m_oDragValues.x() - oMoved.x());
    m_poVScroll->setValue(m_oDragValues.y() - oMoved.y());
}

void View::vMouseRelease(QMouseEvent* poEvent)
{
    if (poEvent->button() == Qt::MiddleButton || poEvent->button() == Qt::LeftButton) m_bDragging = false;
}

bool View::bWheel(QWheelEvent* poEvent)
{
    // Over a zoomed picture the wheel scrolls it (Shift: sideways).
    const bool bSideways = (poEvent->modifiers() & Qt::ShiftModifier) || poEvent->angleDelta().y() == 0;
    QScrollBar* poBar = bSideways ? m_poHScroll : m_poVScroll;
    const int iDelta =
        bSideways && poEvent->angleDelta().x() != 0 ? poEvent->angleDelta().x() : poEvent->angleDelta().y();
    if (!poBar->isVisible() || iDelta == 0) return false;
    poBar->setValue(poBar->value() - iDelta * poBar->singleStep() * 3 / 120);
    return true;
}
