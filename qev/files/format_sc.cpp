#include "qev/files/format_sc.h"

#include "qev/base/report.h"
#include "qev/msx/pipeline.h"
#include "qev/msx/screen_dump.h"
#include "qev/msx/vdp.h"

// End address of the SC file of each tdScreenMode.
static const int g_aiSCEndAddresses[ScreenMode_Count] = {0x37FF, 0x203F, 0x769F, 0x769F, 0xFA9F,
                                                         0xD3FF, 0xFA9F, 0xD3FF, 0x37FF};

// BLOAD of a Screen 3 SC file loads its name table with the rest.
static void vPutScreen3NameTable(tdByteArray* poFile)
{
    const int iBase = g_iBSAVEHeaderSize + g_iScreen3NameTableAddress;
    if (poFile->m_iSize < iBase + g_iScreen3NameTableSize) poFile->vSetSize(iBase + g_iScreen3NameTableSize);
    vFillScreen3NameTable(poFile->m_pucData + iBase);
}

// Builds one SC file: header, the page, zeros up to the palette table, the palette.
static void vBuildSCFile(int eMode, const tdByteArray* poPage, const Palette* poWorking, bool bPalette,
                         tdByteArray* poFile)
{
    vAppendBSAVEHeader(poFile, 0, g_aiSCEndAddresses[eMode]);
    poFile->vAppend(poPage->m_pucData, poPage->m_iSize);
    if (eMode == ScreenMode_Screen3)
    {
        // The pattern bytes end before the name table: pad with zeros up to it.
        int iOld = poFile->m_iSize;
        poFile->vSetSize(g_iBSAVEHeaderSize + 0x0800);
        for (int i = iOld; i < poFile->m_iSize; i++)
            poFile->m_pucData[i] = 0;
        vPutScreen3NameTable(poFile);
    }
    const int iAddress = iGetPaletteAddress(iGetScreenNumber(eMode));
    if (!bPalette || iAddress < 0) return;
    tdByteArray oWords;
    poWorking->vWriteToBinaryArray(&oWords);
    const int iOffset = g_iBSAVEHeaderSize + iAddress;
    const int iOld = poFile->m_iSize;
    if (iOld < iOffset + oWords.m_iSize) poFile->vSetSize(iOffset + oWords.m_iSize);
    for (int i = iOld; i < iOffset; i++)
        poFile->m_pucData[i] = 0;
    for (int i = 0; i < oWords.m_iSize; i++)
        poFile->m_pucData[iOffset + i] = oWords.m_pucData[i];
}

static void vWriteBytes(const tdByteArray* poBytes, FILE* poFile)
{
    if (poBytes->m_iSize > 0) fwrite(poBytes->m_pucData, 1, static_cast<size_t>(poBytes->m_iSize), poFile);
}

tdErrorTriple oWriteImageToSCFile(const Image* poImage, const tdSettings* poSettings, FILE* poFirst,
                                  FILE* poSecond, Image** ppoOut, Palette* poPalette,
                                  const tdRunContext* poRun)
{
    tdErrorTriple oError = {0.0, 0.0, 0.0};
    const int eMode = poSettings->ScreenMode;
    if (eMode < 0 || eMode >= ScreenMode_Count)
    {
        vError(__FILE__, "oWriteImageToSCFile", __LINE__, "Unhandled screen type.");
        return oError;
    }
    const tdWriterProfile oProfile = {CompressionType_None, true,
                                      poSettings->ConversionType != ConversionType_RAW};
    tdByteArray oPage0;
    tdByteArray oPage1;
    Palette oWorking;
    oError = oConvertImage(poImage, poSettings, &oProfile, poFirst ? &oPage0 : nullptr,
                           poSecond ? &oPage1 : nullptr, ppoOut, &oWorking, nullptr, poRun);
    const bool bPaletted = iGetPaletteAddress(iGetScreenNumber(eMode)) >= 0;
    if (poFirst)
    {
        tdByteArray oFile;
        vBuildSCFile(eMode, &oPage0, &oWorking, bPaletted, &oFile);
        vWriteBytes(&oFile, poFirst);
    }
    if (poSecond)
    {
        tdByteArray oFile;
        vBuildSCFile(eMode, &oPage1, &oWorking, bPaletted, &oFile);
        vWriteBytes(&oFile, poSecond);
    }
    vHandOverPalette(poSettings, &oWorking, poPalette);
    return oError;
}

Image* poReadImageFromSCFile(int iScreen, const tdSettings* poSettings, FILE* poFirst, FILE* poSecond,
                             Palette* poPalette)
{
    if (iScreen == 11) iScreen = 10;
    if (iScreen < 2 || iScreen > 12 || iScreen == 9)
    {
        vError(__FILE__, "poReadImageFromSCFile", __LINE__, "Unhandled screen type.");
        return nullptr;
    }
    VDP oVDP;
    bool bShort = false;
    if (!bLoadBSAVE(poFirst, &oVDP, 0, iGetPictureEnd(iScreen), &bShort))
    {
        vError(__FILE__, "poReadImageFromSCFile", __LINE__, "Not a screen dump: no BSAVE header.\n");
        return nullptr;
    }
    const bool bSecondPage = poSecond && iGetSecondPageBase(iScreen) > 0;
    if (bSecondPage &&
        !bLoadBSAVE(poSecond, &oVDP, iGetSecondPageBase(iScreen), iGetPictureEnd(iScreen), &bShort))
        vError(__FILE__, "poReadImageFromSCFile", __LINE__, "The second page has no BSAVE header.\n");
    // Picture tables a file promised and did not give would show as a picture.
    if (bShort)
    {
        vError(__FILE__, "poReadImageFromSCFile", __LINE__, "the file ends before the picture does\n");
        return nullptr;
    }
    return poRenderScreenDump(&oVDP, iScreen, poSettings, bSecondPage, poPalette);
}
