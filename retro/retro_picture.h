#pragma once

// What every retro-format decoder shares: the decoded picture, a bounded reader
// over the file's bytes, the two run-length schemes several formats use, and the
// colour expansions of their palette words.

#include <cstdint>

// Largest width or height a decoder produces (the program's own picture limit),
// and the largest pixel count, checked before anything is allocated.
constexpr int g_iRetroMaxDimension = 16384;
constexpr long long g_lRetroMaxPixels = 1LL << 26;

// A decoded picture: m_iWidth x m_iHeight pixels, each an int 0xRRGGBB, top row
// first, left pixel first. Owns m_piPixels; empty (0 x 0, null) until bAllocate.
struct tdRetroPicture
{
    int m_iWidth = 0;
    int m_iHeight = 0;
    int* m_piPixels = nullptr;

    tdRetroPicture() = default;
    ~tdRetroPicture();
    tdRetroPicture(const tdRetroPicture&) = delete;
    tdRetroPicture& operator=(const tdRetroPicture&) = delete;

    // Replaces the picture with a black one of the size. False (and empty) for a
    // width or height outside 1..g_iRetroMaxDimension, a pixel count beyond
    // g_lRetroMaxPixels or an allocation failure.
    bool bAllocate(long long lWidth, long long lHeight);
    void vClear();

    // Writes outside the picture are ignored.
    void vSetPixel(int iX, int iY, int iRGB)
    {
        if (iX >= 0 && iY >= 0 && iX < m_iWidth && iY < m_iHeight)
            m_piPixels[static_cast<long long>(iY) * m_iWidth + iX] = iRGB;
    }
    int iGetPixel(int iX, int iY) const { return m_piPixels[static_cast<long long>(iY) * m_iWidth + iX]; }

    // Repeats every pixel iXFactor times across and every row iYFactor times down,
    // so that pixels of a non-square display come out square. When the result
    // would pass the limits above (or memory runs out) the picture stays as it is:
    // a whole picture with its stored pixels beats none.
    void vMagnify(int iXFactor, int iYFactor);
};

// A reader over a byte range that cannot run past its end: reads beyond it give
// 0 and set m_bOverrun, so decoders check once after a block of reads.
struct tdRetroCursor
{
    const unsigned char* m_pucData;
    int m_iLength;
    int m_iPosition = 0;
    bool m_bOverrun = false;

    tdRetroCursor(const unsigned char* pucData, int iLength) : m_pucData(pucData), m_iLength(iLength) {}

    int iRemaining() const { return m_iLength - m_iPosition; }
    bool bAtEnd() const { return m_iPosition >= m_iLength; }
    unsigned char cGet()
    {
        if (m_iPosition >= m_iLength)
        {
            m_bOverrun = true;
            return 0;
        }
        return m_pucData[m_iPosition++];
    }
    unsigned uiGetBE16()
    {
        unsigned uiHigh = cGet();
        return (uiHigh << 8) | cGet();
    }
    unsigned uiGetLE16()
    {
        unsigned uiLow = cGet();
        return uiLow | (static_cast<unsigned>(cGet()) << 8);
    }
    uint32_t uiGetBE32()
    {
        uint32_t uiHigh = uiGetBE16();
        return (uiHigh << 16) | uiGetBE16();
    }
    // Moves by iCount bytes (held to the range; past the end sets m_bOverrun).
    void vSkip(long long lCount);
};

// Unpacks the run-length scheme of MacPaint, Degas Elite and IFF ByteRun1: a
// control byte n 0..127 copies the next n + 1 bytes, n -127..-1 (as signed)
// repeats the next byte 1 - n times, -128 does nothing. Fills pucOut with exactly
// iCount bytes unless the input ends first; a run reaching past iCount is cut
// there. Returns the number of bytes written.
int iUnpackBits(tdRetroCursor* poIn, unsigned char* pucOut, int iCount);

// Unpacks PCX run-length data: a byte with both top bits set repeats the next
// byte (its low six bits) times, any other byte stands for itself. Same contract
// as iUnpackBits.
int iUnpackPCX(tdRetroCursor* poIn, unsigned char* pucOut, int iCount);

// 0xRRGGBB from 8-bit channels.
constexpr int iRGB(int iRed, int iGreen, int iBlue)
{
    return ((iRed & 255) << 16) | ((iGreen & 255) << 8) | (iBlue & 255);
}

// An n-bit channel level widened to 8 bits by rounding level * 255 / (2^n - 1)
// to the nearest integer: 3 bits 0, 36, 73, 109, 146, 182, 219, 255; 4 bits
// level * 17.
int iExpandLevel(int iLevel, int iBits);

// Whole magnification factors that make pixels of the shape width : height
// square: the shape is rounded to the nearest power of two from 1/4 to 4 (so
// 10 : 11 stays 1 x 1, 5 : 11 gives 1 x 2). 1 x 1 when either side is not above 0.
void vSquarePixelFactors(double fWidth, double fHeight, int* piXFactor, int* piYFactor);
