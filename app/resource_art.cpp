#include "resource_art.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>

#include <cmath>

namespace
{

// The MSX1 colours 1 to 15 (colour 0 is transparent), used as a decorative strip.
// clang-format off
const QRgb g_auiStripColors[15] = {
    0x000000, 0x3EB849, 0x74D07D, 0x5955E0, 0x8076F1, 0xB95E51, 0x65DBEF, 0xDB6559,
    0xFF897D, 0xCCC35E, 0xDED087, 0x3AA241, 0xB766B5, 0xCCCCCC, 0xFFFFFF,
};
// clang-format on

QFont oFont(const QString& sFamily, int iPixelSize, int iWeight)
{
    QFont oResult(sFamily);
    oResult.setPixelSize(iPixelSize);
    oResult.setWeight(static_cast<QFont::Weight>(iWeight));
    oResult.setStyleStrategy(QFont::PreferAntialias);
    return oResult;
}

void vDrawCentredText(QPainter* poPainter, const QRectF& oRect, const QFont& oFontUsed, const QColor& oColor,
                      const QString& sText)
{
    poPainter->setFont(oFontUsed);
    poPainter->setPen(oColor);
    poPainter->drawText(oRect, Qt::AlignCenter | Qt::TextWordWrap, sText);
}

// A downward arrow into an open tray, the usual sign for "drop here".
void vDrawDropSign(QPainter* poPainter, QPointF oCentre, double fSize)
{
    QPen oPen(QColor(255, 255, 255, 230), fSize * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    poPainter->setPen(oPen);
    poPainter->setBrush(Qt::NoBrush);
    const double fHalf = fSize / 2.0;
    poPainter->drawLine(QPointF(oCentre.x(), oCentre.y() - fHalf),
                        QPointF(oCentre.x(), oCentre.y() + fHalf * 0.3));
    QPainterPath oHead;
    oHead.moveTo(oCentre.x() - fHalf * 0.45, oCentre.y() - fHalf * 0.15);
    oHead.lineTo(oCentre.x(), oCentre.y() + fHalf * 0.3);
    oHead.lineTo(oCentre.x() + fHalf * 0.45, oCentre.y() - fHalf * 0.15);
    poPainter->drawPath(oHead);
    QPainterPath oTray;
    oTray.moveTo(oCentre.x() - fHalf, oCentre.y() + fHalf * 0.35);
    oTray.lineTo(oCentre.x() - fHalf, oCentre.y() + fHalf);
    oTray.lineTo(oCentre.x() + fHalf, oCentre.y() + fHalf);
    oTray.lineTo(oCentre.x() + fHalf, oCentre.y() + fHalf * 0.35);
    poPainter->drawPath(oTray);
}

} // namespace

QImage oDrawDefaultImage(const QString& sFontFamily, const QString& sTitle)
{
    QImage oImage(1024, 768, QImage::Format_RGBA8888);
    oImage.fill(Qt::transparent);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    oPainter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient oBackground(0, 0, 0, 768);
    oBackground.setColorAt(0.0, QColor(0x1D, 0x2B, 0x53));
    oBackground.setColorAt(1.0, QColor(0x3A, 0x1F, 0x4D));
    oPainter.fillRect(QRect(0, 0, 1024, 768), oBackground);

    vDrawCentredText(&oPainter, QRectF(0, 22, 1024, 80), oFont(sFontFamily, 64, 700), Qt::white, sTitle);
    vDrawCentredText(&oPainter, QRectF(0, 100, 1024, 36), oFont(sFontFamily, 24, 400),
                     QColor(0xC8, 0xD0, 0xF0),
                     QStringLiteral("Pictures for MSX2 and MSX2+ screens, previewed live"));

    // The drop zone.
    const QRectF oZone(112, 160, 800, 310);
    oPainter.setBrush(QColor(255, 255, 255, 26));
    QPen oDashes(QColor(255, 255, 255, 210), 4, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin);
    oDashes.setDashPattern({4.0, 3.0});
    oPainter.setPen(oDashes);
    oPainter.drawRoundedRect(oZone, 28, 28);
    vDrawDropSign(&oPainter, QPointF(512, 225), 70);
    vDrawCentredText(&oPainter, QRectF(112, 270, 800, 56), oFont(sFontFamily, 36, 700), Qt::white,
                     QStringLiteral("Drag and drop pictures here, or press Ctrl+O"));
    vDrawCentredText(&oPainter, QRectF(132, 326, 760, 32), oFont(sFontFamily, 20, 400),
                     QColor(0xE0, 0xE4, 0xF4),
                     QStringLiteral("PNG, JPEG, MSX screen files and many retro-computer formats"));
    vDrawCentredText(&oPainter, QRectF(132, 364, 760, 92), oFont(sFontFamily, 19, 400),
                     QColor(0xFF, 0xD8, 0x8A),
                     QStringLiteral("Screen formats made of several files need their companion files beside "
                                    "them: an .SR5 its .PL5 palette, an .SI5 its .SJ5 page and .PI5 palette, "
                                    "an .SK5 its .SL5 page."));

    // The palette help.
    const QRectF oHelp(112, 496, 800, 168);
    oPainter.setPen(QPen(QColor(255, 255, 255, 90), 2));
    oPainter.setBrush(QColor(0, 0, 0, 60));
    oPainter.drawRoundedRect(oHelp, 20, 20);
    vDrawCentredText(&oPainter, QRectF(112, 506, 800, 34), oFont(sFontFamily, 26, 700), Qt::white,
                     QStringLiteral("Custom palette"));
    vDrawCentredText(
        &oPainter, QRectF(132, 544, 760, 112), oFont(sFontFamily, 19, 400), QColor(0xE0, 0xE4, 0xF4),
        QStringLiteral("Click in the converted picture to select the palette entry nearest to "
                       "that colour; right-click to give the selected entry the colour under the "
                       "mouse.\nDrag a palette entry onto another one to swap the two."));

    vDrawCentredText(&oPainter, QRectF(0, 676, 1024, 30), oFont(sFontFamily, 20, 400),
                     QColor(0xC8, 0xD0, 0xF0),
                     QStringLiteral("Ctrl+O opens a picture, Ctrl+V pastes one, Ctrl+S saves. Hover over a "
                                    "control: its tooltip explains what it does."));

    // A strip of the MSX1 colours along the bottom edge.
    oPainter.setPen(Qt::NoPen);
    const int iCell = 1024 / 15;
    for (int i = 0; i < 15; i++)
    {
        const int iLeft = i * iCell;
        const int iWidth = (i == 14) ? 1024 - iLeft : iCell;
        oPainter.fillRect(QRect(iLeft, 740, iWidth, 28), QColor::fromRgb(g_auiStripColors[i]));
    }
    oPainter.end();
    return oImage;
}

QImage oDrawHourGlassImage()
{
    QImage oImage(310, 232, QImage::Format_RGBA8888);
    oImage.fill(Qt::transparent);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);

    oPainter.setPen(QPen(QColor(0x30, 0x30, 0x30, 220), 3));
    oPainter.setBrush(QColor(0x80, 0x80, 0x80, 215));
    oPainter.drawRoundedRect(QRectF(1.5, 1.5, 307, 229), 28, 28);

    const double fCentreX = 155.0;
    const double fTop = 30.0;
    const double fBottom = 202.0;
    const double fMiddle = (fTop + fBottom) / 2.0;
    const double fHalfWidth = 52.0;
    const double fNeck = 7.0;

    // The glass: two bulbs meeting at a narrow neck.
    QPainterPath oGlass;
    oGlass.moveTo(fCentreX - fHalfWidth, fTop + 8);
    oGlass.cubicTo(fCentreX - fHalfWidth, fMiddle - 30, fCentreX - fNeck, fMiddle - 12, fCentreX - fNeck,
                   fMiddle);
    oGlass.cubicTo(fCentreX - fNeck, fMiddle + 12, fCentreX - fHalfWidth, fMiddle + 30, fCentreX - fHalfWidth,
                   fBottom - 8);
    oGlass.lineTo(fCentreX + fHalfWidth, fBottom - 8);
    oGlass.cubicTo(fCentreX + fHalfWidth, fMiddle + 30, fCentreX + fNeck, fMiddle + 12, fCentreX + fNeck,
                   fMiddle);
    oGlass.cubicTo(fCentreX + fNeck, fMiddle - 12, fCentreX + fHalfWidth, fMiddle - 30, fCentreX + fHalfWidth,
                   fTop + 8);
    oGlass.closeSubpath();
    oPainter.setPen(QPen(QColor(0xF0, 0xF4, 0xFF), 4));
    oPainter.setBrush(QColor(0xDC, 0xEC, 0xFF, 90));
    oPainter.drawPath(oGlass);

    // Sand: what is left in the upper bulb, the falling stream and the heap below.
    oPainter.setClipPath(oGlass);
    oPainter.setPen(Qt::NoPen);
    const QColor oSand(0xF2, 0xC1, 0x4E);
    oPainter.setBrush(oSand);
    oPainter.drawRect(QRectF(fCentreX - fHalfWidth, fMiddle - 30, 2 * fHalfWidth, 30));
    oPainter.drawRect(QRectF(fCentreX - 2.5, fMiddle, 5, fBottom - fMiddle));
    QPainterPath oHeap;
    oHeap.moveTo(fCentreX - fHalfWidth, fBottom - 8);
    oHeap.quadTo(fCentreX, fBottom - 70, fCentreX + fHalfWidth, fBottom - 8);
    oHeap.closeSubpath();
    oPainter.drawPath(oHeap);
    oPainter.setClipping(false);

    // The wooden caps.
    const QColor oWood(0x8B, 0x5A, 0x2B);
    oPainter.setPen(QPen(QColor(0x4A, 0x2E, 0x12), 2));
    oPainter.setBrush(oWood);
    oPainter.drawRoundedRect(QRectF(fCentreX - 72, fTop - 12, 144, 20), 6, 6);
    oPainter.drawRoundedRect(QRectF(fCentreX - 72, fBottom - 8, 144, 20), 6, 6);
    oPainter.end();
    return oImage;
}

QImage oDrawApplicationIcon(int iSize)
{
    QImage oImage(iSize, iSize, QImage::Format_RGBA8888);
    oImage.fill(Qt::transparent);
    QPainter oPainter(&oImage);
    oPainter.setRenderHint(QPainter::Antialiasing);
    const double fSize = iSize;
    const double fRadius = fSize * 0.18;

    QPainterPath oTile;
    oTile.addRoundedRect(QRectF(fSize * 0.04, fSize * 0.04, fSize * 0.92, fSize * 0.92), fRadius, fRadius);
    oPainter.setClipPath(oTile);

    // A sunset in 12 x 12 big pixels: sky bands, the sun half under the horizon and
    // its reflection on the sea, each pixel one flat colour as an MSX screen would
    // show it. No antialiasing inside, so the pixels meet without seams.
    oPainter.setRenderHint(QPainter::Antialiasing, false);
    const int iCells = 12;
    for (int iY = 0; iY < iCells; iY++)
    {
        for (int iX = 0; iX < iCells; iX++)
        {
            const double fX = (iX + 0.5) / iCells;
            const double fY = (iY + 0.5) / iCells;
            const double fSun = std::hypot(fX - 0.5, fY - 0.62);
            QColor oColor;
            if (fY > 0.62)
            {
                const bool bGlitter = std::fabs(fX - 0.5) < 0.3 - (fY - 0.62) * 0.6 && (iX + iY) % 2 == 0;
                oColor = bGlitter
                             ? QColor(0xFF, 0x89, 0x7D)
                             : (((iX + iY) % 3 == 0) ? QColor(0x5A, 0x55, 0xE0) : QColor(0x24, 0x24, 0x92));
            }
            else if (fSun < 0.3)
                oColor = (fSun < 0.18) ? QColor(0xFF, 0xDB, 0x49) : QColor(0xFF, 0xA0, 0x4A);
            else if (fY < 0.2)
                oColor = QColor(0x3A, 0x1F, 0x6D);
            else if (fY < 0.38)
                oColor = QColor(0xB7, 0x66, 0xB5);
            else
                oColor = QColor(0xDB, 0x65, 0x59);
            const int iLeft = iX * iSize / iCells;
            const int iTop = iY * iSize / iCells;
            oPainter.fillRect(
                QRect(iLeft, iTop, (iX + 1) * iSize / iCells - iLeft, (iY + 1) * iSize / iCells - iTop),
                oColor);
        }
    }
    oPainter.setRenderHint(QPainter::Antialiasing);
    oPainter.setClipping(false);
    oPainter.setBrush(Qt::NoBrush);
    oPainter.setPen(QPen(QColor(0xF0, 0xF0, 0xF0), fSize * 0.035));
    oPainter.drawPath(oTile);
    oPainter.end();
    return oImage;
}
