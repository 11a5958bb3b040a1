#include "qev/msx/screen_dump.h"

#include "qev/color/palette.h"

void vAppendBSAVEHeader(tdByteArray* poBytes, int iStart, int iEnd)
{
    // clang-format off
    const unsigned char acHeader[g_iBSAVEHeaderSize] = {
        0xFE,
        static_cast<unsigned char>(iStart & 0xFF), static_cast<unsigned char>((iStart >> 8) & 0xFF),
        static_cast<unsigned char>(iEnd & 0xFF),   static_cast<unsigned char>((iEnd >> 8) & 0xFF),
        0x00, 0x00};
    // clang-format on
    poBytes->vAppend(acHeader, g_iBSAVEHeaderSize);
}

bool bLoadBSAVE(FILE* poFile, VDP* poVDP, int iPageBase, int iPictureEnd, bool* pbShort)
{
    unsigned char acHeader[g_iBSAVEHeaderSize];
    if (fread(acHeader, 1, sizeof(acHeader), poFile) != sizeof(acHeader) || acHeader[0] != 0xFE) return false;
    const long lStart = acHeader[1] | (acHeader[2] << 8);
    const long lEnd = acHeader[3] | (acHeader[4] << 8);
    if (lEnd < lStart) return true;
    const long lFirst = iPageBase + lStart;
    if (lFirst < 0 || lFirst >= g_iVRAMSize) return true;
    long lCount = lEnd - lStart + 1;
    if (lFirst + lCount > g_iVRAMSize) lCount = g_iVRAMSize - lFirst;
    const size_t uiRead = fread(poVDP->m_pucVRAM + lFirst, 1, static_cast<size_t>(lCount), poFile);
    const long lNeeded = (lEnd < iPictureEnd ? lEnd : iPictureEnd) - lStart + 1;
    if (pbShort && static_cast<long>(uiRead) < (lNeeded < lCount ? lNeeded : lCount)) *pbShort = true;
    return true;
}

namespace
{
struct tdScreenDumpLayout
{
    int iScreen;         // MSX screen number
    int iPaletteAddress; // -1: no palette
    int iPaletteEntries;
    int iSecondPageBase; // 0: never interlaced
    int iPictureEnd;     // the last address of the pattern, name, colour or pixel tables
};
} // namespace

// Screens 2, 3 and 4: patterns from 0000, names from 1800 (Screen 3: 0800), Screen 2's
// and 4's colours 2000-37FF; bitmap screens: 212 lines of 128 or 256 bytes. Each
// palette table follows its screen's sprite attribute table.
// screen, palette address, palette entries, second page, picture end
// clang-format off
static const tdScreenDumpLayout g_aoLayouts[] = {
    { 2, 0x1B80, 16,       0, 0x37FF},
    { 3, 0x2020, 16,       0, 0x0AFF},
    { 4, 0x1E80, 16,       0, 0x37FF},
    { 5, 0x7680, 16,  0x8000, 0x69FF},
    { 6, 0x7680,  4,  0x8000, 0x69FF},
    { 7, 0xFA80, 16, 0x10000, 0xD3FF},
    { 8,     -1,  0, 0x10000, 0xD3FF},
    {10, 0xFA80, 16, 0x10000, 0xD3FF},
    {12,     -1,  0, 0x10000, 0xD3FF},
};
// clang-format on

static const tdScreenDumpLayout* poFindLayout(int iScreen)
{
    for (const tdScreenDumpLayout& oLayout : g_aoLayouts)
        if (oLayout.iScreen == iScreen) return &oLayout;
    return nullptr;
}

int iGetPaletteAddress(int iScreen)
{
    const tdScreenDumpLayout* po = poFindLayout(iScreen);
    return po ? po->iPaletteAddress : -1;
}

int iGetPaletteEntries(int iScreen)
{
    const tdScreenDumpLayout* po = poFindLayout(iScreen);
    return po ? po->iPaletteEntries : 0;
}

int iGetSecondPageBase(int iScreen)
{
    const tdScreenDumpLayout* po = poFindLayout(iScreen);
    return po ? po->iSecondPageBase : 0;
}

int iGetPictureEnd(int iScreen)
{
    const tdScreenDumpLayout* po = poFindLayout(iScreen);
    return po ? po->iPictureEnd : -1;
}

void vFillScreen3NameTable(unsigned char* pucNames)
{
    for (int r = 0; r < 24; r++)
        for (int c = 0; c < 32; c++)
            pucNames[32 * r + c] = static_cast<unsigned char>(32 * (r / 4) + c);
}

int iGetScreenNumber(int eScreenMode)
{
    static const int aiNumbers[ScreenMode_Count] = {2, 3, 5, 6, 7, 8, 10, 12, 4};
    return (eScreenMode >= 0 && eScreenMode < ScreenMode_Count) ? aiNumbers[eScreenMode] : 0;
}

Image* poRenderScreenDump(VDP* poVDP, int iScreen, const tdSettings* poSettings, bool bSecondPage,
                          Palette* poPalette)
{
    if (iGetPaletteAddress(iScreen) >= 0)
        poVDP->vReadPaletteFromVRAM(iGetPaletteAddress(iScreen), iGetPaletteEntries(iScreen), poPalette);
    const tdYJK2RGBInterpolation eInterpolation = poSettings->YJK2RGBInterpolation;
    Image* poImage = nullptr;
    switch (iScreen)
    {
    case 2:
    case 4:
        poImage = poVDP->poGetScreen2Image();
        break;
    case 3:
        poImage = poVDP->poGetScreen3Image();
        break;
    case 5:
        poImage = poVDP->poGetScreen5Image(bSecondPage, bSecondPage);
        break;
    case 6:
        poImage = poVDP->poGetScreen6Image(bSecondPage, bSecondPage);
        break;
    case 7:
        poImage = poVDP->poGetScreen7Image(bSecondPage, bSecondPage);
        break;
    case 8:
        poImage = poVDP->poGetScreen8Image(bSecondPage, bSecondPage);
        break;
    case 10:
        poImage = poVDP->poGetScreen11Image(bSecondPage, eInterpolation, bSecondPage);
        break;
    case 12:
        poImage = poVDP->poGetScreen12Image(bSecondPage, eInterpolation, bSecondPage);
        break;
    default:
        return nullptr;
    }
    if (poImage) poImage->m_fAspectRatio *= fGetMSXAspectRatio(poSettings);
    return poImage;
}
