#include "qev/files/format_rom.h"

#include "qev/base/report.h"
#include "qev/files/format_kru.h"
#include "qev/files/rom_code.h"

#include <cstring>

// The smallest ROM size that holds iBytes: 16 or 32 KiB plain, else a power of two
// from 64 KiB (an ASCII16 MegaROM); 0 when it exceeds the largest.
static int iROMSizeFor(long long lBytes, bool* pbMapper)
{
    *pbMapper = false;
    if (lBytes <= 16384) return 16384;
    if (lBytes <= 32768) return 32768;
    *pbMapper = true;
    for (long long lSize = 65536; lSize <= g_iROMMaxSize; lSize *= 2)
        if (lBytes <= lSize) return static_cast<int>(lSize);
    return 0;
}

bool bBuildROM(const std::vector<const tdByteArray*>& apoRecords, int iSlideSeconds, tdByteArray* poROM,
               std::string* psError)
{
    std::string sError;
    poROM->vSetSize(0);
    const long long lCount = static_cast<long long>(apoRecords.size());
    long long lBytes = g_iROMCodeSize + g_iROMDirEntries + 3 * lCount;
    for (const tdByteArray* poRecord : apoRecords)
        lBytes += poRecord ? poRecord->m_iSize : 0;
    bool bMapper = false;
    const int iSize = iROMSizeFor(lBytes, &bMapper);
    char acText[160];
    if (lCount < 1)
        sError = "a cartridge needs at least one picture";
    else if (lCount > g_iROMMaxPictures)
    {
        snprintf(acText, sizeof(acText), "%lld pictures are more than the %d a cartridge holds", lCount,
                 g_iROMMaxPictures);
        sError = acText;
    }
    else if (iSlideSeconds < 0 || iSlideSeconds > g_iROMMaxSlideSeconds)
    {
        snprintf(acText, sizeof(acText), "%d seconds per picture are outside 0..%d", iSlideSeconds,
                 g_iROMMaxSlideSeconds);
        sError = acText;
    }
    else if (iSize == 0)
    {
        snprintf(acText, sizeof(acText),
                 "the pictures need %lld bytes, more than the 4 MiB (%d bytes) of the largest cartridge ROM",
                 lBytes, g_iROMMaxSize);
        sError = acText;
    }
    if (sError.empty())
    {
        poROM->vSetSize(iSize);
        if (poROM->m_iSize != iSize) sError = "not enough memory for the cartridge";
    }
    if (!sError.empty())
    {
        poROM->vSetSize(0);
        if (psError) *psError = sError;
        return false;
    }

    unsigned char* pucROM = poROM->m_pucData;
    memset(pucROM, 0xFF, static_cast<size_t>(iSize));
    memcpy(pucROM, g_aucROMCode, static_cast<size_t>(g_iROMCodeSize));
    unsigned char* pucDirectory = pucROM + g_iROMCodeSize;
    pucDirectory[g_iROMDirCount] = static_cast<unsigned char>(lCount);
    pucDirectory[g_iROMDirSeconds] = static_cast<unsigned char>(iSlideSeconds);
    pucDirectory[g_iROMDirMapper] = bMapper ? 1 : 0;
    int iOffset = g_iROMCodeSize + g_iROMDirEntries + 3 * static_cast<int>(lCount);
    for (size_t i = 0; i < apoRecords.size(); i++)
    {
        unsigned char* pucEntry = pucDirectory + g_iROMDirEntries + 3 * i;
        pucEntry[0] = static_cast<unsigned char>(iOffset & 0xFF);
        pucEntry[1] = static_cast<unsigned char>((iOffset >> 8) & 0xFF);
        pucEntry[2] = static_cast<unsigned char>((iOffset >> 16) & 0xFF);
        if (apoRecords[i] && apoRecords[i]->m_iSize > 0)
        {
            memcpy(pucROM + iOffset, apoRecords[i]->m_pucData, static_cast<size_t>(apoRecords[i]->m_iSize));
            iOffset += apoRecords[i]->m_iSize;
        }
    }
    return true;
}

tdErrorTriple oWriteImageToROMFile(const Image* poImage, const tdSettings* poSettings, FILE* poFile,
                                   Image** ppoOut, Palette* poPalette, const tdRunContext* poRun)
{
    tdByteArray oRecord;
    bool bBuilt = true;
    tdErrorTriple oError = oBuildKRURecordOfImage(poImage, poSettings, poFile ? &oRecord : nullptr, ppoOut,
                                                  poPalette, CompressionType_None, poRun, &bBuilt);
    if (!poFile) return oError;
    tdByteArray oROM;
    std::string sError;
    if (!bBuilt || !bBuildROM({&oRecord}, 0, &oROM, &sError))
    {
        if (bBuilt) vError(__FILE__, __func__, __LINE__, "No cartridge written: %s.\n", sError.c_str());
        return {0.0, 0.0, 0.0};
    }
    fwrite(oROM.m_pucData, 1, static_cast<size_t>(oROM.m_iSize), poFile);
    return oError;
}
