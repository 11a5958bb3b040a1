// EXIF blocks through libexif; the turns on the picture's texels.

#include "qev/files/exif_orientation.h"

#include <cstring>
#include <libexif/exif-data.h>
#include <vector>

int iExifOrientation(const unsigned char* pucData, size_t uiSize)
{
    if (!pucData || uiSize < 8 || uiSize > 0xFFFFFF) return 1;
    // libexif wants the APP1 form; PNG's chunk holds the TIFF data alone.
    static const unsigned char aucHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<unsigned char> aucBlock;
    if (memcmp(pucData, aucHeader, sizeof(aucHeader)) != 0)
    {
        aucBlock.assign(aucHeader, aucHeader + sizeof(aucHeader));
        aucBlock.insert(aucBlock.end(), pucData, pucData + uiSize);
        pucData = aucBlock.data();
        uiSize = aucBlock.size();
    }
    ExifData* poData = exif_data_new_from_data(pucData, static_cast<unsigned int>(uiSize));
    if (!poData) return 1;
    int iOrientation = 1;
    ExifEntry* poEntry = exif_content_get_entry(poData->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (poEntry && poEntry->format == EXIF_FORMAT_SHORT && poEntry->components >= 1 && poEntry->data &&
        poEntry->size >= 2)
        iOrientation = exif_get_short(poEntry->data, exif_data_get_byte_order(poData));
    exif_data_unref(poData);
    return iOrientation >= 1 && iOrientation <= 8 ? iOrientation : 1;
}

Image* poOrientedCopy(const Image* poImage, int iOrientation)
{
    if (!poImage || !poImage->m_pucTexels || iOrientation < 2 || iOrientation > 8) return nullptr;
    const int iWidth = poImage->m_iWidth;
    const int iHeight = poImage->m_iHeight;
    const bool bQuarter = iOrientation >= 5;
    const int iOutWidth = bQuarter ? iHeight : iWidth;
    const int iOutHeight = bQuarter ? iWidth : iHeight;
    const double fRatio = bQuarter ? 1.0 / poImage->m_fAspectRatio : poImage->m_fAspectRatio;
    Image* poOut = new Image(iOutWidth, iOutHeight, poImage->m_iTexelSize, Background_None, fRatio);
    if (!poOut->m_pucTexels)
    {
        delete poOut;
        return nullptr;
    }
    const size_t uiTexel = static_cast<size_t>(poImage->m_iTexelSize);
    for (int y = 0; y < iOutHeight; y++)
        for (int x = 0; x < iOutWidth; x++)
        {
            // The stored pixel (u, v) that shows at (x, y), rows counted from the top.
            int u, v;
            switch (iOrientation)
            {
            case 2: u = iWidth - 1 - x, v = y; break;
            case 3: u = iWidth - 1 - x, v = iHeight - 1 - y; break;
            case 4: u = x, v = iHeight - 1 - y; break;
            case 5: u = y, v = x; break;
            case 6: u = y, v = iHeight - 1 - x; break;
            case 7: u = iWidth - 1 - y, v = iHeight - 1 - x; break;
            default: u = iWidth - 1 - y, v = x; break;
            }
            // Rows are stored bottom first.
            const unsigned char* pucFrom =
                poImage->m_pucTexels + (static_cast<size_t>(iHeight - 1 - v) * iWidth + u) * uiTexel;
            unsigned char* pucTo =
                poOut->m_pucTexels + (static_cast<size_t>(iOutHeight - 1 - y) * iOutWidth + x) * uiTexel;
            memcpy(pucTo, pucFrom, uiTexel);
        }
    return poOut;
}
