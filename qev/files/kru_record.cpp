#include "qev/files/kru_record.h"

#include "qev/base/assert.h"
#include "qev/base/report.h"
#include "qev/compress/kru_compressor.h"
#include "qev/msx/tile_budget.h"
#include "qev/msx/vdp.h"

// The window of every KRU block: offsets have 11 bits.
static const int g_iKRUWindow = 2048;

static const unsigned char g_aucKRUMagic[6] = {'M', 'S', 'X', 'K', 'R', 'U'};

// Command bytes of the stream (the palette command, 1, comes from Palette).
static const unsigned char g_ucCommandRegisters = 0;
static const unsigned char g_ucCommandVRAM = 2;
static const unsigned char g_ucCommandEnd = 255;

// Per screen mode: the VDP register table and its length in bytes, the KRU screen
// class, R2 (name table base) plain and interlaced, palette entries written (0:
// no palette command), whether the border colour is a full byte (else a palette
// index in bits 0-3), and the second page's VRAM address (0: no second page).
struct tdKRUScreen
{
    const unsigned char* m_pucRegs;
    int m_iRegsLength;
    int m_iClass;
    unsigned char m_ucR2;
    unsigned char m_ucR2Interlaced;
    unsigned int m_uiPaletteEntries;
    bool m_bFullBorder;
    int m_iSecondPage;
};

// clang-format off
//                   register table     table bytes                class R2  R2 il palette full   page 2
static const tdKRUScreen g_aoKRUScreens[ScreenMode_Count] = {
    /* Screen 2  */ {g_acScreen2Regs,   sizeof(g_acScreen2Regs),   0,    6,  6,    16,     false, 0},
    /* Screen 3  */ {g_acScreen3Regs,   sizeof(g_acScreen3Regs),   0,    2,  2,    16,     false, 0},
    /* Screen 5  */ {g_acScreen5Regs,   sizeof(g_acScreen5Regs),   1,    31, 63,   16,     false, 0x08000},
    /* Screen 6  */ {g_acScreen6Regs,   sizeof(g_acScreen6Regs),   1,    31, 63,   4,      false, 0x08000},
    /* Screen 7  */ {g_acScreen7Regs,   sizeof(g_acScreen7Regs),   1,    31, 63,   16,     false, 0x10000},
    /* Screen 8  */ {g_acScreen8Regs,   sizeof(g_acScreen8Regs),   1,    31, 63,   0,      true,  0x10000},
    /* Screen 10 */ {g_acScreen10Regs,  sizeof(g_acScreen10Regs),  2,    31, 63,   16,     false, 0x10000},
    /* Screen 12 */ {g_acScreen12Regs,  sizeof(g_acScreen12Regs),  2,    31, 63,   0,      true,  0x10000},
    /* Screen 4  */ {g_acScreen4Regs,   sizeof(g_acScreen4Regs),   0,    6,  6,    16,     false, 0},
};
// clang-format on

// R9: bit 7 gives 212 lines, bits 2 and 3 interlace with alternating pages. The mask
// 0x8C names those three bits.
static const unsigned char g_ucR9 = 0x80;
static const unsigned char g_ucR9Interlaced = 0x8C;
static const unsigned char g_ucR9Mask = 0x8C;

static void vAppendLittleEndian(tdByteArray* poArray, unsigned int uiValue, int iBytes)
{
    for (int i = 0; i < iBytes; i++)
        poArray->vAppend(static_cast<unsigned char>((uiValue >> (8 * i)) & 0xFF));
}

static void vAppendTriple(tdByteArray* poArray, unsigned char ucRegister, unsigned char ucValue,
                          unsigned char ucMask)
{
    poArray->vAppend(ucRegister);
    poArray->vAppend(ucValue);
    poArray->vAppend(ucMask);
}

static void vAppendVRAMCommand(tdByteArray* poStream, unsigned int uiAddress, const unsigned char* pucData,
                               int iLength)
{
    QEV_ASSERT(iLength >= 0 && iLength <= 0xFFFFFF);
    poStream->vAppend(g_ucCommandVRAM);
    vAppendLittleEndian(poStream, uiAddress, 3);
    vAppendLittleEndian(poStream, static_cast<unsigned int>(iLength), 3);
    poStream->vAppend(pucData, iLength);
}

static void vAppendVRAMCommand(tdByteArray* poStream, unsigned int uiAddress, const tdByteArray* poPage)
{
    vAppendVRAMCommand(poStream, uiAddress, poPage->m_pucData, poPage->m_iSize);
}

// A Screen 2 or 4 picture whose thirds share one tile bank: its page is the image of
// 0000-37FF with the bank stored three times. The record loads the bank once, the
// name table and the rest of 1800-1FFF, and the bank's colours; R3 and R4 (after
// the screen's table) make every third show bank 0.
static bool bSharedBankPage(const tdSettings* poSettings, const tdByteArray* poPage)
{
    return oGetTileBudget(poSettings).m_bSharedBank && poPage && poPage->m_iSize == 0x3800;
}

int iKRUScreenClass(int eScreenMode)
{
    if (eScreenMode < 0 || eScreenMode >= ScreenMode_Count) return 0;
    return g_aoKRUScreens[eScreenMode].m_iClass;
}

void vBuildKRUCommandStream(const tdSettings* poSettings, const Palette* poPalette,
                            const tdByteArray* poPage0, const tdByteArray* poPage1, tdByteArray* poStream)
{
    if (!poStream) return;
    int eMode = poSettings ? poSettings->ScreenMode : -1;
    if (eMode < 0 || eMode >= ScreenMode_Count)
    {
        poStream->vAppend(g_ucCommandEnd);
        return;
    }
    const tdKRUScreen& oScreen = g_aoKRUScreens[eMode];
    bool bInterlaced = bSettingsInterlaced(poSettings);

    if (poPalette && oScreen.m_uiPaletteEntries > 0)
    {
        if (poPalette->m_uiColorCount == oScreen.m_uiPaletteEntries)
            poPalette->vWriteToKRUArray(poStream);
        else
        {
            Palette* poResized = new Palette(*poPalette);
            poResized->vResize(oScreen.m_uiPaletteEntries);
            poResized->vWriteToKRUArray(poStream);
            delete poResized;
        }
    }

    const bool bShared = bSharedBankPage(poSettings, poPage0);
    int iTriples = oScreen.m_iRegsLength / 3 + 2 + (oScreen.m_iClass > 0 ? 1 : 0) + (bShared ? 2 : 0);
    poStream->vAppend(g_ucCommandRegisters);
    poStream->vAppend(static_cast<unsigned char>(iTriples));
    poStream->vAppend(oScreen.m_pucRegs, oScreen.m_iRegsLength);
    vAppendTriple(poStream, 2, bInterlaced ? oScreen.m_ucR2Interlaced : oScreen.m_ucR2, 0xFF);
    if (oScreen.m_bFullBorder)
        vAppendTriple(poStream, 7, poSettings->Bordercolor, 0xFF);
    else
        vAppendTriple(poStream, 7, static_cast<unsigned char>(poSettings->Bordercolor & 15), 0x0F);
    if (oScreen.m_iClass > 0) vAppendTriple(poStream, 9, bInterlaced ? g_ucR9Interlaced : g_ucR9, g_ucR9Mask);
    if (bShared)
        for (const unsigned char* pucTriple : g_acSharedBankRegs)
            vAppendTriple(poStream, pucTriple[0], pucTriple[1], pucTriple[2]);

    if (bShared)
    {
        vAppendVRAMCommand(poStream, 0x0000, poPage0->m_pucData, 0x0800);
        vAppendVRAMCommand(poStream, 0x1800, poPage0->m_pucData + 0x1800, 0x0800);
        vAppendVRAMCommand(poStream, 0x2000, poPage0->m_pucData + 0x2000, 0x0800);
    }
    else if (poPage0)
        vAppendVRAMCommand(poStream, 0, poPage0);
    if (poPage1 && bInterlaced && oScreen.m_iSecondPage > 0)
        vAppendVRAMCommand(poStream, static_cast<unsigned int>(oScreen.m_iSecondPage), poPage1);
    poStream->vAppend(g_ucCommandEnd);
}

void vBuildKRURecord(int iScreenClass, const unsigned char* pucStream, int iLength, int iBlockSize,
                     tdByteArray* poRecord)
{
    if (!poRecord) return;
    if (iBlockSize < g_iKRUMinBlockSize || iBlockSize > g_iKRUMaxBlockSize) return;
    if (iLength < 0 || !pucStream) iLength = 0;

    // The array keeps its old size when it cannot grow: iExpected tells whether every
    // append arrived.
    int iStart = poRecord->m_iSize;
    long long lExpected = iStart + 6 + 4 + 1 + 2;
    poRecord->vAppend(g_aucKRUMagic, 6);
    vAppendLittleEndian(poRecord, 0, 4);
    poRecord->vAppend(static_cast<unsigned char>(iScreenClass));

    vEncode_Init(g_iKRUWindow);
    for (int iDone = 0; iDone < iLength;)
    {
        int iBlock = iLength - iDone < iBlockSize ? iLength - iDone : iBlockSize;
        // The compressor takes non-const input but only reads it.
        tdByteArray* poPacked =
            poEncode_Encode(const_cast<unsigned char*>(pucStream + iDone), static_cast<unsigned int>(iBlock));
        QEV_ASSERT(poPacked->m_iSize <= 0xFFFF);
        vAppendLittleEndian(poRecord, static_cast<unsigned int>(iBlock), 2);
        vAppendLittleEndian(poRecord, static_cast<unsigned int>(poPacked->m_iSize), 2);
        poRecord->vAppend(poPacked->m_pucData, poPacked->m_iSize);
        lExpected += 4 + poPacked->m_iSize;
        delete poPacked;
        iDone += iBlock;
    }
    vEncode_Release();
    vAppendLittleEndian(poRecord, 0, 2);

    if (poRecord->m_iSize != lExpected)
    {
        poRecord->vSetSize(iStart);
        return;
    }
    unsigned int uiSize = static_cast<unsigned int>(poRecord->m_iSize - iStart - 6);
    for (int i = 0; i < 4; i++)
        poRecord->m_pucData[iStart + 6 + i] = static_cast<unsigned char>((uiSize >> (8 * i)) & 0xFF);
}

bool bBuildKRURecord(int iScreenClass, const unsigned char* pucStream, int iLength, int iBlockSize,
                     tdByteArray* poRecord)
{
    if (!poRecord) return false;
    if (iBlockSize < g_iKRUMinBlockSize || iBlockSize > g_iKRUMaxBlockSize)
    {
        vError(__FILE__, __func__, __LINE__, "KRUBlockSize %d is outside %d..%d: no KRU record written.\n",
               iBlockSize, g_iKRUMinBlockSize, g_iKRUMaxBlockSize);
        return false;
    }
    int iBefore = poRecord->m_iSize;
    vBuildKRURecord(iScreenClass, pucStream, iLength, iBlockSize, poRecord);
    if (poRecord->m_iSize == iBefore)
    {
        vError(__FILE__, __func__, __LINE__, "Out of memory: no KRU record written.\n");
        return false;
    }
    return true;
}

bool bWriteKRURecord(FILE* poFile, int iScreenClass, const tdByteArray* poStream, int iBlockSize)
{
    if (!poFile) return false;
    tdByteArray oRecord;
    if (!bBuildKRURecord(iScreenClass, poStream ? poStream->m_pucData : nullptr,
                         poStream ? poStream->m_iSize : 0, iBlockSize, &oRecord))
        return false;
    size_t uiLength = static_cast<size_t>(oRecord.m_iSize);
    return fwrite(oRecord.m_pucData, 1, uiLength, poFile) == uiLength;
}
