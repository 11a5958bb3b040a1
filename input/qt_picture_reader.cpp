#include "input/qt_picture_reader.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstring>

Image* poReadImageWithQt(const char* pszName, const char* pszFormat, std::string* psError)
{
    auto vFail = [psError](const QString& sWhy) {
        if (psError) *psError = sWhy.toStdString();
        return nullptr;
    };
    // Qt refuses to allocate past this many megabytes; the limit below is the
    // program's own and comes first. 16384 x 16384 RGBA is 1 GiB.
    QImageReader::setAllocationLimit(1024);
    QImageReader oReader(QFile::decodeName(pszName), pszFormat ? QByteArray(pszFormat) : QByteArray());
    oReader.setAutoTransform(true);
    if (!oReader.canRead()) return vFail(oReader.errorString());
    const QSize oSize = oReader.size();
    // Formats that cannot tell their size before decoding give an invalid size:
    // the decoded picture is checked instead, under Qt's allocation limit.
    if (oSize.isValid() && !bImageSizeValid(oSize.width(), oSize.height(), 4))
        return vFail(QStringLiteral("picture size beyond 16384 x 16384"));
    QImage oImage = oReader.read();
    if (oImage.isNull()) return vFail(oReader.errorString());
    if (!bImageSizeValid(oImage.width(), oImage.height(), 4))
        return vFail(QStringLiteral("picture size beyond 16384 x 16384"));

    const QColorSpace oSpace = oImage.colorSpace();
    if (oSpace.isValid() && oSpace != QColorSpace(QColorSpace::SRgb))
        oImage.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    const bool bAlpha = oImage.hasAlphaChannel();
    oImage = oImage.convertToFormat(bAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (oImage.isNull()) return vFail(QStringLiteral("out of memory"));

    // Pixel width / height from the resolution fields, when both are given.
    double fRatio = 1.0;
    if (oImage.dotsPerMeterX() > 0 && oImage.dotsPerMeterY() > 0)
        fRatio = static_cast<double>(oImage.dotsPerMeterY()) / oImage.dotsPerMeterX();
    const int iTexel = bAlpha ? 4 : 3;
    Image* poImage = new Image(oImage.width(), oImage.height(), iTexel, Background_None, fRatio);
    if (!poImage->m_pucTexels)
    {
        delete poImage;
        return vFail(QStringLiteral("out of memory"));
    }
    // Pictures store their rows bottom first.
    const size_t uiRow = static_cast<size_t>(oImage.width()) * iTexel;
    for (int y = 0; y < oImage.height(); y++)
        memcpy(poImage->m_pucTexels + static_cast<size_t>(oImage.height() - 1 - y) * uiRow, oImage.constScanLine(y),
               uiRow);
    return poImage;
}
