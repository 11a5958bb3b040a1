#include "qev/files/format_sr.h"

#include "qev/base/report.h"
#include "qev/msx/pipeline.h"
#include "qev/msx/screen_dump.h"
#include "qev/msx/vdp.h"

// End address of the SR picture file of each tdScreenMode.
static const int g_aiSREndAddresses[ScreenMode_Count] = {0x37FF, 0x05FF, 0x69FF, 0x69FF, 0xD3FF,
                                                         0xD3FF, 0xD3FF, 0xD3FF, 0x37FF};

// BSAVE headers of the palette files: they load the palette table of the screen.
static const unsigned char aaucPaletteHeaders[5][7] = {
    {0xFE, 0x80, 0x1B, 0x9F, 0x1B, 0x00, 0x00}, // Screen 2: 1B80-1B9F
    {0xFE, 0x20, 0x20, 0x3F, 0x20, 0x00, 0x00}, // Screen 3: 2020-203F
    {0xFE, 0x80, 0x76, 0x9F, 0x76, 0x00, 0x00}, // Screens 5, 6: 7680-769F
    {0xFE, 0x80, 0xFA, 0x9F, 0xFA, 0x00, 0x00}, // Screens 7, 10: FA80-FA9F
    {0xFE, 0x80, 0x1E, 0x9F, 0x1E, 0x00, 0x00}, // Screen 4: 1E80-1E9F
};

// The palette header row of a tdScreenMode, or -1 for the screens without palette.
static int iPaletteHeaderRow(int eMode)
{
    switch (eMode)
    {
    case ScreenMode_Screen2:
        return 0;
    case ScreenMode_Screen3:
        return 1;
    case ScreenMode_Screen5:
    case ScreenMode_Screen6:
        return 2;
    case ScreenMode_Screen7:
    case ScreenMode_Screen10:
        return 3;
    case ScreenMode_Screen4:
        return 4;
    default:
        return -1;
    }
}

static void vWritePage(const tdByteArray* poPage, int iEnd, bool bHeader, FILE* poFile)
{
    tdByteArray oFile;
    if (bHeader) vAppendBSAVEHeader(&oFile, 0, iEnd);
    oFile.vAppend(poPage->m_pucData, poPage->m_iSize);
    if (oFile.m_iSize > 0) fwrite(oFile.m_pucData, 1, static_cast<size_t>(oFile.m_iSize), poFile);
}

tdErrorTriple oWriteImageToSRFile(const Image* poImage, const tdSettings* poSettings, FILE* poPicture,
                                  FILE* poPaletteFile, FILE* poSecond, Image** ppoOut, Palette* poPalette,
                                  const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    const int eMode = poSettings->ScreenMode;
    if (eMode < 0 || eMode >= ScreenMode_Count)
    {
        vError(__FILE__, "oWriteImageToSRFile", __LINE__, "Unhandled screen type.");
        return oError;
    }
    const bool bRaw = poSettings->ConversionType == ConversionType_RAW;
    const tdWriterProfile oProfile = {CompressionType_None, true, !bRaw};
    tdByteArray oPage0;
    tdByteArray oPage1;
    Palette oWorking;
    oError = oConvertImage(poImage, poSettings, &oProfile, poPicture ? &oPage0 : nullptr,
                           poSecond ? &oPage1 : nullptr, ppoOut, &oWorking, nullptr, poRun);

    // The palette goes first: for RAW output the palette stream may be the picture stream.
    const int iRow = iPaletteHeaderRow(eMode);
    if (poPaletteFile && iRow >= 0)
    {
        tdByteArray oFile;
        if (!bRaw) oFile.vAppend(aaucPaletteHeaders[iRow], 7);
        oWorking.vWriteToBinaryArray(&oFile);
        fwrite(oFile.m_pucData, 1, static_cast<size_t>(oFile.m_iSize), poPaletteFile);
    }
    if (poPicture) vWritePage(&oPage0, g_aiSREndAddresses[eMode], !bRaw, poPicture);
    if (poSecond) vWritePage(&oPage1, g_aiSREndAddresses[eMode], !bRaw, poSecond);
    vHandOverPalette(poSettings, &oWorking, poPalette);
    return oError;
}

Image* poReadImageFromSRFile(int iScreen, const tdSettings* poSettings, FILE* poPicture, FILE* poPaletteFile,
                             FILE* poSecond, Palette* poPalette)
{
    if (iScreen == 11) iScreen = 10;
    if (iScreen < 2 || iScreen > 12 || iScreen == 9)
    {
        vError(__FILE__, "poReadImageFromSRFile", __LINE__, "Unhandled screen type.");
        return nullptr;
    }
    VDP oVDP;
    bool bShort = false;
    if (!bLoadBSAVE(poPicture, &oVDP, 0, iGetPictureEnd(iScreen), &bShort))
    {
        vError(__FILE__, "poReadImageFromSRFile", __LINE__, "Not a screen dump: no BSAVE header.\n");
        return nullptr;
    }
    if (poPaletteFile && !bLoadBSAVE(poPaletteFile, &oVDP, 0))
        vError(__FILE__, "poReadImageFromSRFile", __LINE__, "The palette file has no BSAVE header.\n");
    const bool bSecondPage = poSecond && iGetSecondPageBase(iScreen) > 0;
    if (bSecondPage &&
        !bLoadBSAVE(poSecond, &oVDP, iGetSecondPageBase(iScreen), iGetPictureEnd(iScreen), &bShort))
        vError(__FILE__, "poReadImageFromSRFile", __LINE__, "The second page has no BSAVE header.\n");
    // Picture tables a file promised and did not give would show as a picture.
    if (bShort)
    {
        vError(__FILE__, "poReadImageFromSRFile", __LINE__, "the file ends before the picture does\n");
        return nullptr;
    }
    return poRenderScreenDump(&oVDP, iScreen, poSettings, bSecondPage, poPalette);
}
