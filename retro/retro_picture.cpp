#include "retro/retro_picture.h"

#include <cmath>
#include <cstdlib>

tdRetroPicture::~tdRetroPicture()
{
    free(m_piPixels);
}

void tdRetroPicture::vClear()
{
    free(m_piPixels);
    m_piPixels = nullptr;
    m_iWidth = 0;
    m_iHeight = 0;
}

bool tdRetroPicture::bAllocate(long long lWidth, long long lHeight)
{
    vClear();
    if (lWidth < 1 || lHeight < 1 || lWidth > g_iRetroMaxDimension || lHeight > g_iRetroMaxDimension)
        return false;
    if (lWidth * lHeight > g_lRetroMaxPixels) return false;
    m_piPixels = static_cast<int*>(calloc(static_cast<size_t>(lWidth * lHeight), sizeof(int)));
    if (!m_piPixels) return false;
    m_iWidth = static_cast<int>(lWidth);
    m_iHeight = static_cast<int>(lHeight);
    return true;
}

void tdRetroPicture::vMagnify(int iXFactor, int iYFactor)
{
    if (iXFactor < 1 || iYFactor < 1 || !m_piPixels || (iXFactor == 1 && iYFactor == 1)) return;
    long long lWidth = static_cast<long long>(m_iWidth) * iXFactor;
    long long lHeight = static_cast<long long>(m_iHeight) * iYFactor;
    if (lWidth > g_iRetroMaxDimension || lHeight > g_iRetroMaxDimension ||
        lWidth * lHeight > g_lRetroMaxPixels)
        return;
    int* piNew = static_cast<int*>(malloc(static_cast<size_t>(lWidth * lHeight) * sizeof(int)));
    if (!piNew) return;
    for (long long y = 0; y < lHeight; y++)
    {
        const int* piSource = m_piPixels + (y / iYFactor) * m_iWidth;
        int* piTarget = piNew + y * lWidth;
        for (long long x = 0; x < lWidth; x++)
            piTarget[x] = piSource[x / iXFactor];
    }
    free(m_piPixels);
    m_piPixels = piNew;
    m_iWidth = static_cast<int>(lWidth);
    m_iHeight = static_cast<int>(lHeight);
}

void tdRetroCursor::vSkip(long long lCount)
{
    long long lTarget = m_iPosition + lCount;
    if (lTarget < 0) lTarget = 0;
    if (lTarget > m_iLength)
    {
        m_bOverrun = true;
        lTarget = m_iLength;
    }
    m_iPosition = static_cast<int>(lTarget);
}

int iUnpackBits(tdRetroCursor* poIn, unsigned char* pucOut, int iCount)
{
    int iWritten = 0;
    while (iWritten < iCount && !poIn->bAtEnd())
    {
        int iControl = static_cast<signed char>(poIn->cGet());
        if (iControl >= 0)
        {
            for (int i = 0; i <= iControl; i++)
            {
                if (poIn->bAtEnd()) return iWritten;
                unsigned char c = poIn->cGet();
                if (iWritten < iCount) pucOut[iWritten++] = c;
            }
        }
        else if (iControl != -128)
        {
            if (poIn->bAtEnd()) return iWritten;
            unsigned char c = poIn->cGet();
            for (int i = 0; i < 1 - iControl && iWritten < iCount; i++)
                pucOut[iWritten++] = c;
        }
    }
    return iWritten;
}

int iUnpackPCX(tdRetroCursor* poIn, unsigned char* pucOut, int iCount)
{
    int iWritten = 0;
    while (iWritten < iCount && !poIn->bAtEnd())
    {
        unsigned char c = poIn->cGet();
        int iRun = 1;
        if ((c & 0xC0) == 0xC0)
        {
            if (poIn->bAtEnd()) return iWritten;
            iRun = c & 0x3F;
            c = poIn->cGet();
        }
        for (int i = 0; i < iRun && iWritten < iCount; i++)
            pucOut[iWritten++] = c;
    }
    return iWritten;
}

int iExpandLevel(int iLevel, int iBits)
{
    int iMax = (1 << iBits) - 1;
    iLevel &= iMax;
    return (iLevel * 255 + iMax / 2) / iMax;
}

void vSquarePixelFactors(double fWidth, double fHeight, int* piXFactor, int* piYFactor)
{
    *piXFactor = 1;
    *piYFactor = 1;
    if (!(fWidth > 0.0) || !(fHeight > 0.0)) return;
    long lLog = lround(log2(fWidth / fHeight));
    if (lLog > 2) lLog = 2;
    if (lLog < -2) lLog = -2;
    if (lLog > 0) *piXFactor = 1 << lLog;
    if (lLog < 0) *piYFactor = 1 << -lLog;
}
