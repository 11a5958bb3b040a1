#include "qev/base/image.h"

#include "qev/base/assert.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

bool bImageSizeValid(long long lWidth, long long lHeight, int iTexelSize)
{
    return lWidth >= 1 && lHeight >= 1 && lWidth <= g_iMaxImageDimension && lHeight <= g_iMaxImageDimension &&
           iTexelSize >= 1 && iTexelSize <= 4;
}

bool bPixelsFitBytes(long long lPixels, long long lBytes, long long lPixelsPerByte)
{
    if (lPixels <= g_lPixelsWithoutDensityCheck || lBytes < 0) return true;
    return (lPixels + lPixelsPerByte - 1) / lPixelsPerByte <= lBytes;
}

// Allocates a texel buffer, or returns null when the size is not one the program
// builds or the allocation fails.
static unsigned char* pucAllocateTexels(int iWidth, int iHeight, int iTexelSize)
{
    if (!bImageSizeValid(iWidth, iHeight, iTexelSize)) return nullptr;
    return static_cast<unsigned char*>(malloc(static_cast<size_t>(iWidth) * iHeight * iTexelSize));
}

Image::Image(double fAspectRatio)
    : m_iWidth(0), m_iHeight(0), m_iTexelSize(0), m_pucTexels(nullptr), m_fAspectRatio(fAspectRatio),
      m_eDitheringMode(Dithering_None), m_piBayerMatrix(nullptr), m_iBayerLowThreshold(0),
      m_iBayerHighThreshold(0)
{
}

Image::Image(int iWidth, int iHeight, int iTexelSize, tdBackgroundType eBackground, double fAspectRatio)
    : m_iWidth(iWidth), m_iHeight(iHeight), m_iTexelSize(iTexelSize), m_pucTexels(nullptr),
      m_fAspectRatio(fAspectRatio), m_eDitheringMode(Dithering_None), m_piBayerMatrix(nullptr),
      m_iBayerLowThreshold(0), m_iBayerHighThreshold(0)
{
    m_pucTexels = pucAllocateTexels(iWidth, iHeight, iTexelSize);
    if (!m_pucTexels)
    {
        m_iWidth = 0;
        m_iHeight = 0;
        return;
    }
    vFill(eBackground);
}

Image::~Image()
{
    free(m_pucTexels);
    free(m_piBayerMatrix);
}

void Image::vFill(tdBackgroundType eBackground)
{
    if (!m_pucTexels) return;
    if (eBackground == Background_Black)
    {
        memset(m_pucTexels, 0, static_cast<size_t>(m_iWidth) * m_iHeight * m_iTexelSize);
    }
    else if (eBackground == Background_Checkerboard)
    {
        static const Color oWhite = {255, 255, 255, 255};
        static const Color oBlack = {0, 0, 0, 255};
        for (int iY = 0; iY < m_iHeight; iY++)
            for (int iX = 0; iX < m_iWidth; iX++)
                vSetPixel(iX, iY, ((iX + iY) & 1) ? &oBlack : &oWhite);
    }
}

Image* Image::poCopy() const
{
    Image* poCopy = new Image(m_fAspectRatio);
    poCopy->m_iTexelSize = m_iTexelSize;
    if (m_pucTexels)
    {
        poCopy->m_pucTexels = pucAllocateTexels(m_iWidth, m_iHeight, m_iTexelSize);
        if (poCopy->m_pucTexels)
        {
            memcpy(poCopy->m_pucTexels, m_pucTexels,
                   static_cast<size_t>(m_iWidth) * m_iHeight * m_iTexelSize);
            poCopy->m_iWidth = m_iWidth;
            poCopy->m_iHeight = m_iHeight;
        }
    }
    else
    {
        // Keep the shape of a picture without texels (a scale to width 0, say).
        poCopy->m_iWidth = m_iWidth;
        poCopy->m_iHeight = m_iHeight;
    }
    return poCopy;
}

void Image::vSetPixel(int iX, int iY, const Color* poColor)
{
    if (iX < 0 || iY < 0 || iX >= m_iWidth || iY >= m_iHeight || !m_pucTexels) return;
    if (m_iTexelSize < 1 || m_iTexelSize > 4) return;
    unsigned char* puc = m_pucTexels + (static_cast<size_t>(m_iHeight - 1 - iY) * m_iWidth + iX) *
                                           static_cast<size_t>(m_iTexelSize);
    switch (m_iTexelSize)
    {
    case 1:
    case 2:
        // (r + g + b + 1) * 0x5556 >> 16: a third of the sum, rounded.
        puc[0] = static_cast<unsigned char>(((poColor->r + poColor->g + poColor->b + 1) * 21846) >> 16);
        if (m_iTexelSize == 2) puc[1] = poColor->a;
        break;
    default:
        puc[0] = poColor->r;
        puc[1] = poColor->g;
        puc[2] = poColor->b;
        if (m_iTexelSize == 4) puc[3] = poColor->a;
        break;
    }
}

static unsigned char ucDither(unsigned char ucValue, int iOffset, int iLow, int iHigh)
{
    if (ucValue < iLow || ucValue > iHigh) return ucValue;
    int iValue = ucValue + iOffset;
    return static_cast<unsigned char>(iValue < 0 ? 0 : (iValue > 255 ? 255 : iValue));
}

Color Image::oGetPixel(int iX, int iY) const
{
    Color oColor = {0, 0, 0, 255};
    if (iX >= 0 && iY >= 0 && iX < m_iWidth && iY < m_iHeight && m_pucTexels)
    {
        const unsigned char* puc = m_pucTexels + (static_cast<size_t>(m_iHeight - 1 - iY) * m_iWidth + iX) *
                                                     static_cast<size_t>(m_iTexelSize);
        switch (m_iTexelSize)
        {
        case 1:
            oColor = {puc[0], puc[0], puc[0], 255};
            break;
        case 2:
            oColor = {puc[0], puc[0], puc[0], puc[1]};
            break;
        case 3:
            oColor = {puc[0], puc[1], puc[2], 255};
            break;
        case 4:
            oColor = {puc[0], puc[1], puc[2], puc[3]};
            break;
        default:
            break;
        }
    }
    if (m_piBayerMatrix && m_eDitheringMode >= Dithering_Bayer2x2 && m_eDitheringMode <= Dithering_Bayer8x8)
    {
        // Matrix side n = 2, 4, 8 for modes 2, 3, 4.
        int iN = 1 << (m_eDitheringMode - 1);
        int iOffset = m_piBayerMatrix[(iX & (iN - 1)) + (iY & (iN - 1)) * iN];
        oColor.r = ucDither(oColor.r, iOffset, m_iBayerLowThreshold, m_iBayerHighThreshold);
        oColor.g = ucDither(oColor.g, iOffset, m_iBayerLowThreshold, m_iBayerHighThreshold);
        oColor.b = ucDither(oColor.b, iOffset, m_iBayerLowThreshold, m_iBayerHighThreshold);
    }
    return oColor;
}

void Image::vBlit(const Image* poSource, int iX, int iY)
{
    for (int i = 0; i < poSource->m_iWidth; i++)
    {
        int iTX = iX + i;
        if (iTX < 0 || iTX >= m_iWidth) continue;
        for (int j = 0; j < poSource->m_iHeight; j++)
        {
            int iTY = iY + j;
            if (iTY < 0 || iTY >= m_iHeight) continue;
            Color oColor = poSource->oGetPixel(i, j);
            vSetPixel(iTX, iTY, &oColor);
        }
    }
}

void Image::vReplaceTexels(unsigned char* pucTexels, int iWidth, int iHeight)
{
    free(m_pucTexels);
    m_pucTexels = pucTexels;
    m_iWidth = iWidth;
    m_iHeight = iHeight;
}

void Image::vTakeTexels(Image* poOther)
{
    vReplaceTexels(poOther->m_pucTexels, poOther->m_iWidth, poOther->m_iHeight);
    m_iTexelSize = poOther->m_iTexelSize;
    poOther->m_pucTexels = nullptr;
    poOther->m_iWidth = 0;
    poOther->m_iHeight = 0;
}

void Image::vCrop(int iWidth, int iHeight)
{
    if (iWidth == m_iWidth && iHeight == m_iHeight) return;
    unsigned char* pucNew = pucAllocateTexels(iWidth, iHeight, m_iTexelSize);
    if (!pucNew)
    {
        // A size below 1 leaves a picture of that shape without texels; beyond the
        // limit (or out of memory) the picture stays as it was.
        if (iWidth >= 0 && iHeight >= 0 && (iWidth == 0 || iHeight == 0))
            vReplaceTexels(nullptr, iWidth, iHeight);
        return;
    }
    size_t uiNewRow = static_cast<size_t>(iWidth) * m_iTexelSize;
    size_t uiOldRow = static_cast<size_t>(m_iWidth) * m_iTexelSize;
    size_t uiKeep = uiNewRow < uiOldRow ? uiNewRow : uiOldRow;
    for (int iRow = 0; iRow < iHeight; iRow++)
    {
        unsigned char* pucDst = pucNew + iRow * uiNewRow;
        if (iRow < m_iHeight && m_pucTexels)
        {
            memcpy(pucDst, m_pucTexels + iRow * uiOldRow, uiKeep);
            memset(pucDst + uiKeep, 0, uiNewRow - uiKeep);
        }
        else
        {
            memset(pucDst, 0, uiNewRow);
        }
    }
    vReplaceTexels(pucNew, iWidth, iHeight);
}

void Image::vRGBToBGR()
{
    QEV_ASSERT((m_iTexelSize == 4) || (m_iTexelSize == 3));
    if (!m_pucTexels) return;
    size_t uiCount = static_cast<size_t>(m_iWidth) * m_iHeight;
    unsigned char* puc = m_pucTexels;
    for (size_t i = 0; i < uiCount; i++, puc += m_iTexelSize)
    {
        unsigned char uc = puc[0];
        puc[0] = puc[2];
        puc[2] = uc;
    }
}

long Image::lGetUniqueColorsUsed() const
{
    // One bit per 24-bit colour: 2 MiB.
    std::vector<uint32_t> aiSeen(1u << 19, 0);
    long lCount = 0;
    for (int iY = 0; iY < m_iHeight; iY++)
    {
        for (int iX = 0; iX < m_iWidth; iX++)
        {
            Color oColor = oGetPixel(iX, iY);
            uint32_t uiKey = oColor.r | (oColor.g << 8) | (static_cast<uint32_t>(oColor.b) << 16);
            uint32_t uiBit = 1u << (uiKey & 31);
            if (!(aiSeen[uiKey >> 5] & uiBit))
            {
                aiSeen[uiKey >> 5] |= uiBit;
                lCount++;
            }
        }
    }
    return lCount;
}

tdReadArea oGetReadArea(const Image* poImage, const tdRectangle* poRect, int iMargin)
{
    tdReadArea o = {0, 0, poImage->m_iWidth, poImage->m_iHeight};
    if (poRect)
    {
        o.lX = poRect->iX > 0 ? poRect->iX : 0;
        o.lY = poRect->iY > 0 ? poRect->iY : 0;
        o.lWidth = poRect->iWidth < poImage->m_iWidth ? poRect->iWidth : poImage->m_iWidth;
        o.lHeight = poRect->iHeight < poImage->m_iHeight ? poRect->iHeight : poImage->m_iHeight;
    }
    // Coordinates stay within int; beyond the picture every pixel is black anyway.
    if (o.lX + o.lWidth > INT_MAX - iMargin) o.lWidth = INT_MAX - iMargin - o.lX;
    if (o.lY + o.lHeight > INT_MAX) o.lHeight = INT_MAX - o.lY;
    return o;
}
