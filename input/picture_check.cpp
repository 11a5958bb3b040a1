#include "input/picture_check.h"

#include "qev/base/image.h"

#include <cstdio>
#include <cstring>

const char g_szFileEndsEarly[] = "the file ends before the picture does";

static const char g_szTooLarge[] = "picture size beyond 16384 x 16384";
static const char g_szNoPicture[] = "no picture in the file";

namespace
{
// A bounded cursor over the file: reads past the end give 0 and set bShort.
struct tdCursor
{
    const unsigned char* puc;
    size_t uiSize;
    size_t uiPos;
    bool bShort;

    unsigned int uiByte()
    {
        if (uiPos >= uiSize)
        {
            bShort = true;
            return 0;
        }
        return puc[uiPos++];
    }
    void vSkip(size_t ui)
    {
        if (ui > uiSize - (uiPos < uiSize ? uiPos : uiSize))
        {
            bShort = true;
            uiPos = uiSize;
        }
        else
            uiPos += ui;
    }
};
} // namespace

static unsigned int uiLE16(const unsigned char* puc)
{
    return puc[0] | (puc[1] << 8);
}

static unsigned long uiLE32(const unsigned char* puc)
{
    return puc[0] | (puc[1] << 8) | (puc[2] << 16) | (static_cast<unsigned long>(puc[3]) << 24);
}

static unsigned long uiBE32(const unsigned char* puc)
{
    return (static_cast<unsigned long>(puc[0]) << 24) | (puc[1] << 16) | (puc[2] << 8) | puc[3];
}

// The size check every format ends with: within the dimension limit, within the
// read's memory bound (the file's bytes are held too), and no denser than the
// format's densest encoding (lPixelsPerByte; 0 for data checked exactly).
static const char* pszCheckSize(long long lWidth, long long lHeight, size_t uiFileBytes,
                                long long lBytesPerPixel, long long lDataBytes, long long lPixelsPerByte)
{
    if (lWidth < 1 || lHeight < 1) return g_szNoPicture;
    if (!bImageSizeValid(lWidth, lHeight, 4)) return g_szTooLarge;
    const long long lPixels = lWidth * lHeight;
    if (lPixels * lBytesPerPixel + static_cast<long long>(uiFileBytes) > g_lMaxReadBytes)
        return "the picture needs more memory than one read may use";
    if (lPixelsPerByte > 0 && !bPixelsFitBytes(lPixels, lDataBytes, lPixelsPerByte)) return g_szFileEndsEarly;
    return nullptr;
}

// Windows bitmap. Layout: "BM", file size (4), reserved (4), offset of the pixels
// (4) at 10; the information header at 14 starts with its own size: 12 (OS/2:
// width, height 16-bit at 18, 20; bits per pixel at 24) or 40 and more (width,
// height 32-bit at 18, 22, negative height for top-down rows; bits per pixel at
// 28, compression at 30: 0 none, 1 RLE8, 2 RLE4, 3 and 6 bit fields).
// Uncompressed rows are padded to 4 bytes; the last row may lack its padding.
static const char* pszCheckBMP(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    if (uiSize < 26) return g_szFileEndsEarly;
    const unsigned long uiHeader = uiLE32(puc + 14);
    long long lWidth, lHeight;
    unsigned int uiBits;
    unsigned long uiCompression = 0;
    if (uiHeader == 12)
    {
        lWidth = uiLE16(puc + 18);
        lHeight = uiLE16(puc + 20);
        uiBits = uiLE16(puc + 24);
    }
    else
    {
        if (uiSize < 34) return g_szFileEndsEarly;
        lWidth = static_cast<int32_t>(uiLE32(puc + 18));
        lHeight = static_cast<int32_t>(uiLE32(puc + 22));
        if (lHeight < 0) lHeight = -lHeight;
        uiBits = uiLE16(puc + 28);
        uiCompression = uiLE32(puc + 30);
    }
    unsigned long uiOffset = uiLE32(puc + 10);
    if (uiOffset < 14 + uiHeader) uiOffset = 14 + uiHeader;
    if (uiOffset > uiSize) return g_szFileEndsEarly;
    const long long lData = static_cast<long long>(uiSize - uiOffset);
    if (uiCompression == 0 || uiCompression == 3 || uiCompression == 6)
    {
        if (const char* psz = pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, 0, 0)) return psz;
        const long long lRowBits = lWidth * uiBits;
        const long long lNeeded = (lRowBits + 31) / 32 * 4 * (lHeight - 1) + (lRowBits + 7) / 8;
        return lNeeded <= lData ? nullptr : g_szFileEndsEarly;
    }
    if ((uiCompression != 1 || uiBits != 8) && (uiCompression != 2 || uiBits != 4))
        return "unsupported BMP compression";
    // Two bytes give at most 255 pixels.
    if (const char* psz = pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, lData, 128)) return psz;
    // Run-length data: (count, value) runs; 0 0 ends a row, 0 1 the picture, 0 2 dx
    // dy jumps, 0 n gives n literal pixels padded to an even byte count. Every
    // pixel must be written: jumps and rows or pictures ended early would leave
    // pixels the decoder never sets.
    tdCursor o = {puc, uiSize, uiOffset, false};
    long long lX = 0, lY = 0;
    while (lY < lHeight)
    {
        const unsigned int uiCount = o.uiByte();
        const unsigned int uiValue = o.uiByte();
        if (o.bShort) return g_szFileEndsEarly;
        if (uiCount > 0)
            lX += uiCount;
        else if (uiValue == 0 || uiValue == 1)
        {
            if (lX < lWidth) return g_szFileEndsEarly;
            lX = 0;
            lY++;
            if (uiValue == 1 && lY < lHeight) return g_szFileEndsEarly;
        }
        else if (uiValue == 2)
            return "the picture leaves pixels undefined";
        else
        {
            const size_t uiBytes = uiCompression == 1 ? uiValue : (uiValue + 1) / 2;
            o.vSkip(uiBytes + (uiBytes & 1));
            lX += uiValue;
        }
        if (o.bShort) return g_szFileEndsEarly;
    }
    return nullptr;
}

// GIF: "GIF87a"/"GIF89a", logical screen width and height (16-bit) at 6 and 8,
// flags at 10 (bit 7: a global colour table of 3 << ((flags & 7) + 1) bytes
// follows the 13-byte header). Then blocks: 0x21 extensions and 0x2C pictures
// (9 bytes: left, top, width, height, flags with the same colour table rule, a
// code size byte), each followed by sub-blocks (a length byte, that many bytes)
// up to an empty one. The first picture is read, over the whole logical screen;
// its sub-blocks must all be in the file. LZW codes of at most 12 bits stand for
// at most 4096 pixels: 2731 pixels a byte at most.
static const char* pszCheckGIF(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    if (uiSize < 13) return g_szFileEndsEarly;
    long long lWidth = uiLE16(puc + 6), lHeight = uiLE16(puc + 8);
    tdCursor o = {puc, uiSize, 13, false};
    if (puc[10] & 0x80) o.vSkip(3u << ((puc[10] & 7) + 1));
    for (;;)
    {
        const unsigned int uiBlock = o.uiByte();
        if (o.bShort) return g_szFileEndsEarly;
        if (uiBlock == 0x3B) return g_szNoPicture;
        long long lData = 0;
        if (uiBlock == 0x2C)
        {
            unsigned char auc[9];
            for (unsigned char& uc : auc)
                uc = static_cast<unsigned char>(o.uiByte());
            if (auc[8] & 0x80) o.vSkip(3u << ((auc[8] & 7) + 1));
            o.uiByte();
            const long long lRight = uiLE16(auc) + static_cast<long long>(uiLE16(auc + 4));
            const long long lBottom = uiLE16(auc + 2) + static_cast<long long>(uiLE16(auc + 6));
            if (lRight > lWidth) lWidth = lRight;
            if (lBottom > lHeight) lHeight = lBottom;
        }
        else if (uiBlock == 0x21)
            o.uiByte();
        else
            return "damaged GIF block";
        for (unsigned int uiLength = o.uiByte(); uiLength != 0 && !o.bShort; uiLength = o.uiByte())
        {
            o.vSkip(uiLength);
            lData += uiLength;
        }
        if (o.bShort) return g_szFileEndsEarly;
        if (uiBlock == 0x2C) return pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, lData, 2731);
    }
}

// TIFF: "II*\0" (little-endian) or "MM\0*", the offset of the first directory at 4;
// a directory is a 16-bit entry count and 12-byte entries (tag, type, count,
// value or offset). Width 256, height 257, compression 259. libtiff checks the
// strips against the file itself; here only the density: uncompressed 1-bit
// pixels give 8 a byte, fax coding (2, 3, 4) a bit per blank row of 16384.
static const char* pszCheckTIFF(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    if (uiSize < 8) return g_szFileEndsEarly;
    const bool bLittle = puc[0] == 'I';
    auto ui16 = [&](size_t ui) { return bLittle ? uiLE16(puc + ui) : (puc[ui] << 8 | puc[ui + 1]); };
    auto ui32 = [&](size_t ui) { return bLittle ? uiLE32(puc + ui) : uiBE32(puc + ui); };
    const unsigned long uiDirectory = ui32(4);
    if (uiDirectory > uiSize - 2) return g_szFileEndsEarly;
    const unsigned int uiEntries = ui16(uiDirectory);
    if (uiEntries > (uiSize - uiDirectory - 2) / 12) return g_szFileEndsEarly;
    long long lWidth = 0, lHeight = 0;
    unsigned long uiCompression = 1;
    for (unsigned int i = 0; i < uiEntries; i++)
    {
        const size_t uiEntry = uiDirectory + 2 + 12 * static_cast<size_t>(i);
        const unsigned int uiTag = ui16(uiEntry);
        // SHORT (3) values sit in the first two bytes of the field, LONG (4) fill it.
        const unsigned long uiValue = ui16(uiEntry + 2) == 3 ? ui16(uiEntry + 8) : ui32(uiEntry + 8);
        if (uiTag == 256) lWidth = uiValue;
        if (uiTag == 257) lHeight = uiValue;
        if (uiTag == 259) uiCompression = uiValue;
    }
    long long lPixelsPerByte = 65536;
    if (uiCompression == 1) lPixelsPerByte = 8;
    if (uiCompression >= 2 && uiCompression <= 4) lPixelsPerByte = 8 * 16384;
    return pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, static_cast<long long>(uiSize),
                        lPixelsPerByte);
}

// WebP: "RIFF", the size of what follows (32-bit) at 4, "WEBP", then chunks:
// "VP8X" (canvas width - 1 and height - 1, 24-bit, at 24 and 27), "VP8 " (lossy:
// frame tag at 20, 9D 01 2A, 14-bit width and height at 26 and 28) or "VP8L"
// (lossless: 0x2F at 20, then 14-bit width - 1 and height - 1 packed from bit 0).
static const char* pszCheckWebP(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    if (uiSize < 30) return g_szFileEndsEarly;
    if (uiLE32(puc + 4) > uiSize - 8) return g_szFileEndsEarly;
    long long lWidth = 0, lHeight = 0;
    if (memcmp(puc + 12, "VP8X", 4) == 0)
    {
        lWidth = (uiLE32(puc + 24) & 0xFFFFFF) + 1;
        lHeight = (uiLE32(puc + 27) & 0xFFFFFF) + 1;
    }
    else if (memcmp(puc + 12, "VP8 ", 4) == 0)
    {
        lWidth = uiLE16(puc + 26) & 0x3FFF;
        lHeight = uiLE16(puc + 28) & 0x3FFF;
    }
    else if (memcmp(puc + 12, "VP8L", 4) == 0)
    {
        const unsigned long uiBits = uiLE32(puc + 21);
        lWidth = (uiBits & 0x3FFF) + 1;
        lHeight = ((uiBits >> 14) & 0x3FFF) + 1;
    }
    else
        return "damaged WebP header";
    return pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, static_cast<long long>(uiSize), 65536);
}

// Netpbm: "P1" to "P6", then width, height and (but for P1 and P4) the largest
// sample value, in decimal text separated by white space and "#" comments; one
// white space character, then the samples. P4 to P6 hold raw rows (P4 one bit a
// pixel, padded to a byte; P5, P6 one or, above 255, two bytes a sample), P1 to
// P3 text (P1 a digit a pixel, P2, P3 a number and a separator a sample).
static const char* pszCheckPNM(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    if (uiSize < 3) return g_szFileEndsEarly;
    const int iKind = puc[1] - '0';
    long long alValues[3] = {0, 0, 0}; // width, height, largest sample (P2, P3, P5, P6)
    const int iValues = iKind == 1 || iKind == 4 ? 2 : 3;
    size_t uiPos = 2;
    for (int i = 0; i < iValues; i++)
    {
        for (;;)
        {
            if (uiPos >= uiSize) return g_szFileEndsEarly;
            if (puc[uiPos] == '#')
                while (uiPos < uiSize && puc[uiPos] != '\n')
                    uiPos++;
            else if (strchr(" \t\r\n\v\f", puc[uiPos]))
                uiPos++;
            else
                break;
        }
        if (puc[uiPos] < '0' || puc[uiPos] > '9') return "damaged Netpbm header";
        for (; uiPos < uiSize && puc[uiPos] >= '0' && puc[uiPos] <= '9'; uiPos++)
            if ((alValues[i] = alValues[i] * 10 + (puc[uiPos] - '0')) > 1 << 30) return g_szTooLarge;
    }
    uiPos++;
    const long long lWidth = alValues[0], lHeight = alValues[1];
    if (const char* psz = pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, 0, 0)) return psz;
    const long long lSamples = lWidth * lHeight * (iKind == 3 || iKind == 6 ? 3 : 1);
    long long lNeeded;
    if (iKind == 4)
        lNeeded = (lWidth + 7) / 8 * lHeight;
    else if (iKind >= 5)
        lNeeded = lSamples * (alValues[2] > 255 ? 2 : 1);
    else
        lNeeded = iKind == 1 ? lSamples : 2 * lSamples - 1;
    return uiPos <= uiSize && lNeeded <= static_cast<long long>(uiSize - uiPos) ? nullptr : g_szFileEndsEarly;
}

// X bitmap: C text, "#define <name>_width <n>" and "#define <name>_height <n>",
// then an array of (width + 7) / 8 bytes a row written "0x" and two hex digits:
// every one of them must be there.
static const char* pszCheckXBM(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    const char* psz = reinterpret_cast<const char*>(puc);
    const char* pszEnd = psz + uiSize;
    long long alValues[2] = {-1, -1};
    const char* const apszKeys[2] = {"_width", "_height"};
    for (int i = 0; i < 2; i++)
    {
        const size_t uiKey = strlen(apszKeys[i]);
        for (const char* pc = psz; pc + uiKey < pszEnd && alValues[i] < 0; pc++)
            if (memcmp(pc, apszKeys[i], uiKey) == 0)
            {
                const char* pcNumber = pc + uiKey;
                while (pcNumber < pszEnd && (*pcNumber == ' ' || *pcNumber == '\t'))
                    pcNumber++;
                long long l = 0;
                for (; pcNumber < pszEnd && *pcNumber >= '0' && *pcNumber <= '9' && l <= 1 << 30; pcNumber++)
                    l = l * 10 + (*pcNumber - '0');
                alValues[i] = l;
            }
    }
    if (alValues[0] < 0 || alValues[1] < 0) return "damaged XBM header";
    if (const char* pszWhy = pszCheckSize(alValues[0], alValues[1], uiSize, lBytesPerPixel, 0, 0))
        return pszWhy;
    const long long lNeeded = (alValues[0] + 7) / 8 * alValues[1];
    const char* pc = static_cast<const char*>(memchr(psz, '{', uiSize));
    long long lFound = 0;
    for (; pc && pc + 1 < pszEnd && lFound < lNeeded; pc++)
        if (pc[0] == '0' && (pc[1] == 'x' || pc[1] == 'X')) lFound++;
    return lFound >= lNeeded ? nullptr : g_szFileEndsEarly;
}

// X pixmap: C text whose first string holds width, height, colour count and
// characters per pixel; every pixel then takes that many characters.
static const char* pszCheckXPM(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    const char* psz = reinterpret_cast<const char*>(puc);
    const char* pcQuote = static_cast<const char*>(memchr(psz, '"', uiSize));
    if (!pcQuote) return "damaged XPM header";
    char acValues[64] = {};
    const size_t uiLeft = uiSize - static_cast<size_t>(pcQuote + 1 - psz);
    memcpy(acValues, pcQuote + 1, uiLeft < sizeof(acValues) - 1 ? uiLeft : sizeof(acValues) - 1);
    long long lWidth = 0, lHeight = 0, lColors = 0, lChars = 0;
    if (sscanf(acValues, "%lld %lld %lld %lld", &lWidth, &lHeight, &lColors, &lChars) != 4 || lChars < 1 ||
        lChars > 16)
        return "damaged XPM header";
    if (const char* pszWhy = pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, 0, 0)) return pszWhy;
    return lWidth * lHeight * lChars <= static_cast<long long>(uiSize) ? nullptr : g_szFileEndsEarly;
}

// Windows icon: reserved 0, type 1, count (16-bit each), then 16-byte entries:
// width and height (a byte, 0 for 256), ..., the size and offset of the picture
// (32-bit) at 8 and 12. Every picture must lie inside the file.
static const char* pszCheckICO(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    if (uiSize < 6) return g_szFileEndsEarly;
    const unsigned int uiCount = uiLE16(puc + 4);
    if (uiCount == 0) return g_szNoPicture;
    if (uiCount > (uiSize - 6) / 16) return g_szFileEndsEarly;
    for (unsigned int i = 0; i < uiCount; i++)
    {
        const unsigned char* pucEntry = puc + 6 + 16 * static_cast<size_t>(i);
        const unsigned long uiBytes = uiLE32(pucEntry + 8), uiOffset = uiLE32(pucEntry + 12);
        if (uiOffset > uiSize || uiBytes > uiSize - uiOffset) return g_szFileEndsEarly;
        // A PNG inside: its own header says the size (width and height at 16, 20).
        if (uiBytes >= 24 && memcmp(puc + uiOffset, "\x89PNG", 4) == 0)
        {
            if (const char* psz = pszCheckSize(uiBE32(puc + uiOffset + 16), uiBE32(puc + uiOffset + 20),
                                               uiSize, lBytesPerPixel, uiBytes, 8256))
                return psz;
        }
        else if (const char* psz =
                     pszCheckSize(pucEntry[0] ? pucEntry[0] : 256, pucEntry[1] ? pucEntry[1] : 256, uiSize,
                                  lBytesPerPixel, 0, 0))
            return psz;
    }
    return nullptr;
}

// Targa: an 18-byte header: identification length (0), colour map type (1),
// picture type (2: 1 colour-mapped, 2 true colour, 3 grey; 9, 10, 11 the same
// run-length coded), colour map length (16-bit, 5) and entry bits (7), width and
// height (16-bit, 12 and 14), bits per pixel (16). Then the identification, the
// colour map and the pixels. Run-length packets: a byte n, then with bit 7 one
// pixel repeated (n & 0x7F) + 1 times, else that many pixels; they must cover
// the picture inside the file.
static const char* pszCheckTGA(const unsigned char* puc, size_t uiSize, long long lBytesPerPixel)
{
    if (uiSize < 18) return g_szFileEndsEarly;
    const unsigned int uiType = puc[2];
    if (uiType == 0) return g_szNoPicture;
    if ((uiType & ~8u) < 1 || (uiType & ~8u) > 3) return "not a readable Targa picture";
    const long long lWidth = uiLE16(puc + 12), lHeight = uiLE16(puc + 14);
    if (const char* psz = pszCheckSize(lWidth, lHeight, uiSize, lBytesPerPixel, 0, 0)) return psz;
    const size_t uiPixel = (puc[16] + 7u) / 8;
    if (uiPixel < 1 || uiPixel > 4) return "not a readable Targa picture";
    tdCursor o = {puc, uiSize, 18, false};
    o.vSkip(puc[0]);
    if (puc[1] == 1) o.vSkip(uiLE16(puc + 5) * ((puc[7] + 7u) / 8));
    const long long lPixels = lWidth * lHeight;
    if (uiType < 8)
    {
        o.vSkip(static_cast<size_t>(lPixels) * uiPixel);
        return o.bShort ? g_szFileEndsEarly : nullptr;
    }
    for (long long lDone = 0; lDone < lPixels;)
    {
        const unsigned int uiPacket = o.uiByte();
        const unsigned int uiCount = (uiPacket & 0x7F) + 1;
        o.vSkip(uiPacket & 0x80 ? uiPixel : uiPixel * uiCount);
        if (o.bShort) return g_szFileEndsEarly;
        lDone += uiCount;
    }
    return nullptr;
}

const char* pszCheckPictureFile(const char* pszFormat, const unsigned char* puc, size_t uiSize,
                                long long lBytesPerPixel)
{
    struct tdCheck
    {
        const char* pszFormat;
        const char* (*pfnCheck)(const unsigned char*, size_t, long long);
    };
    static const tdCheck g_aoChecks[] = {
        {"bmp", pszCheckBMP}, {"gif", pszCheckGIF}, {"tiff", pszCheckTIFF}, {"webp", pszCheckWebP},
        {"pbm", pszCheckPNM}, {"pgm", pszCheckPNM}, {"ppm", pszCheckPNM},   {"xbm", pszCheckXBM},
        {"xpm", pszCheckXPM}, {"ico", pszCheckICO}, {"tga", pszCheckTGA},
    };
    for (const tdCheck& o : g_aoChecks)
        if (strcmp(o.pszFormat, pszFormat) == 0) return o.pfnCheck(puc, uiSize, lBytesPerPixel);
    return "unknown file type";
}
