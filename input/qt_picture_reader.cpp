#include "input/qt_picture_reader.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstdlib>
#include <cstring>

static bool bFail(tdQtPicture* po, const QString& sWhy)
{
    snprintf(po->acError, sizeof(po->acError), "%s", sWhy.toUtf8().constData());
    return false;
}

bool bReadPictureWithQt(const unsigned char* puc, size_t uiSize, const char* pszFormat, long long lMaxBytes,
                        tdQtPicture* po)
{
    *po = tdQtPicture{0, 0, 0, 1.0, nullptr, {}};
    if (uiSize > static_cast<size_t>(INT32_MAX)) return bFail(po, QStringLiteral("file too large"));
    // Qt refuses to allocate more megabytes than this for one picture.
    QImageReader::setAllocationLimit(static_cast<int>(lMaxBytes >> 20));
    const QByteArray aucFile =
        QByteArray::fromRawData(reinterpret_cast<const char*>(puc), static_cast<int>(uiSize));
    QBuffer oBuffer;
    oBuffer.setData(aucFile);
    oBuffer.open(QIODevice::ReadOnly);
    QImageReader oReader(&oBuffer, QByteArray(pszFormat));
    // Only the reader of the named format: never another plugin chosen by content.
    oReader.setAutoDetectImageFormat(false);
    oReader.setDecideFormatFromContent(false);
    oReader.setAutoTransform(true);
    if (!oReader.canRead()) return bFail(po, oReader.errorString());
    QImage oImage = oReader.read();
    if (oImage.isNull()) return bFail(po, oReader.errorString());
    if (oImage.width() > 16384 || oImage.height() > 16384)
        return bFail(po, QStringLiteral("picture size beyond 16384 x 16384"));

    const QColorSpace oSpace = oImage.colorSpace();
    if (oSpace.isValid() && oSpace != QColorSpace(QColorSpace::SRgb))
        oImage.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    const bool bAlpha = oImage.hasAlphaChannel();
    oImage = oImage.convertToFormat(bAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (oImage.isNull()) return bFail(po, QStringLiteral("out of memory"));

    const int iTexel = bAlpha ? 4 : 3;
    const size_t uiRow = static_cast<size_t>(oImage.width()) * iTexel;
    po->pucTexels = static_cast<unsigned char*>(malloc(uiRow * oImage.height()));
    if (!po->pucTexels) return bFail(po, QStringLiteral("out of memory"));
    // Pixel width / height from the resolution fields, when both are given.
    if (oImage.dotsPerMeterX() > 0 && oImage.dotsPerMeterY() > 0)
        po->fAspectRatio = static_cast<double>(oImage.dotsPerMeterY()) / oImage.dotsPerMeterX();
    po->iWidth = oImage.width();
    po->iHeight = oImage.height();
    po->iTexelSize = iTexel;
    // Rows bottom first.
    for (int y = 0; y < oImage.height(); y++)
        memcpy(po->pucTexels + static_cast<size_t>(oImage.height() - 1 - y) * uiRow, oImage.constScanLine(y),
               uiRow);
    return true;
}
