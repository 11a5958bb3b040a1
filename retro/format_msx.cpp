// MSX BSAVE screen dumps kept by MSX graphic editors (.ge5, .ge6, .ge7, .ge8 and
// the Screen 2 .grp), loaded into the program's video chip model and rendered by
// it. Words are little-endian.
//
//   offset 0  0xFE
//   offset 1  start address, 3 end address (inclusive), 5 execution address
//   offset 7  the bytes of video memory start..end
//
// The dump must start at address 0 and its header and data must reach the end
// of the screen's picture data; a dump that goes on to the palette table brings
// its palette, otherwise the MSX2 start-up palette stands (as after SCREEN n).
//
//   screen  picture data   palette             rendered   shown
//   2       0000-37FF      start-up palette    256 x 192  256 x 192
//   5       0000-69FF      7680, 16 colours    256 x 212  256 x 212
//   6       0000-69FF      7680, 4 colours     512 x 212  512 x 424
//   7       0000-D3FF      FA80, 16 colours    512 x 212  512 x 424
//   8       0000-D3FF      none (GGGRRRBB)     256 x 212  256 x 212
//
// Screens 6 and 7 have pixels half as wide as high: every line is shown twice.
// Screen 2 pictures come from MSX1 machines, whose palette is fixed, so the
// palette table address of an MSX2 is not read for them.

#include "retro/retro_formats.h"

#include "qev/base/image.h"
#include "qev/msx/vdp.h"

#include <cstring>
#include <memory>

namespace
{
struct tdMSXScreen
{
    int iScreen;
    int iDataEnd;        // last address of the picture data
    int iPaletteAddress; // 0: none read from the dump
    int iPaletteCount;
};
} // namespace

// clang-format off
//                                           screen data end palette count
static const tdMSXScreen g_aoMSXScreens[] = {{2,     0x37FF,  0,      16},
                                             {5,     0x69FF,  0x7680, 16},
                                             {6,     0x69FF,  0x7680, 4},
                                             {7,     0xD3FF,  0xFA80, 16},
                                             {8,     0xD3FF,  0,      0}};
// clang-format on

bool bDecodeMSXDump(const unsigned char* pucContent, int iLength, int iVariant, tdRetroPicture* poPicture)
{
    const tdMSXScreen* poScreen = nullptr;
    for (const tdMSXScreen& oScreen : g_aoMSXScreens)
        if (oScreen.iScreen == iVariant) poScreen = &oScreen;
    if (!poScreen || iLength < 7 || pucContent[0] != 0xFE) return false;
    tdRetroCursor oHeader(pucContent + 1, 6);
    const int iStart = static_cast<int>(oHeader.uiGetLE16());
    const int iEnd = static_cast<int>(oHeader.uiGetLE16());
    if (iStart != 0 || iEnd < poScreen->iDataEnd || iLength - 7 < poScreen->iDataEnd + 1) return false;

    VDP oVDP;
    // A new video chip holds the start-up palette at both palette table addresses.
    oVDP.vReadPaletteFromVRAM(0x7680, 16, nullptr);
    const int iLoad = iEnd + 1 < iLength - 7 ? iEnd + 1 : iLength - 7;
    memcpy(oVDP.m_pucVRAM, pucContent + 7, static_cast<size_t>(iLoad));
    if (poScreen->iPaletteAddress)
        oVDP.vReadPaletteFromVRAM(poScreen->iPaletteAddress, poScreen->iPaletteCount, nullptr);

    std::unique_ptr<Image> poImage;
    switch (poScreen->iScreen)
    {
    case 2:
        poImage.reset(oVDP.poGetScreen2Image());
        break;
    case 5:
        poImage.reset(oVDP.poGetScreen5Image(false, false));
        break;
    case 6:
        poImage.reset(oVDP.poGetScreen6Image(false, false));
        break;
    case 7:
        poImage.reset(oVDP.poGetScreen7Image(false, false));
        break;
    default:
        poImage.reset(oVDP.poGetScreen8Image(false, false));
        break;
    }
    if (!poImage || !poImage->m_pucTexels || poImage->m_iTexelSize != 3) return false;
    if (!poPicture->bAllocate(poImage->m_iWidth, poImage->m_iHeight)) return false;
    for (int y = 0; y < poImage->m_iHeight; y++)
    {
        // Pictures store their rows bottom-up.
        const unsigned char* pucRow =
            poImage->m_pucTexels + static_cast<long long>(poImage->m_iHeight - 1 - y) * poImage->m_iWidth * 3;
        for (int x = 0; x < poImage->m_iWidth; x++)
            poPicture->vSetPixel(x, y, iRGB(pucRow[3 * x], pucRow[3 * x + 1], pucRow[3 * x + 2]));
    }
    // The renderer's aspect ratio is pixel width / height: 0.5 for 512-pixel lines.
    poPicture->vMagnify(1, poImage->m_fAspectRatio < 0.75 ? 2 : 1);
    return true;
}
