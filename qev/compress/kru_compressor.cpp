#include "qev/compress/kru_compressor.h"

#include "qev/base/assert.h"

#include <cstdlib>

// Window: the ring position of a block position is its counter value modulo N.
// Every position in the window sits in the chain of its byte value, oldest first:
// g_aiOldest[v] -> g_piNext[...] -> ... -> g_aiNewest[v], -1 ending the chain and
// marking an empty one. The window holds the up to N - 1 positions before the
// current one, so distances run 1 .. N - 1.
static int g_iWindow = 0;        // N, a power of two; 0 while no tables exist
static int* g_piNext = nullptr;  // N ring links to the next newer occurrence, owned
static int g_aiOldest[256];      // ring position of each byte value's oldest occurrence
static int g_aiNewest[256];      // ring position of each byte value's newest occurrence
static unsigned int g_uiCounter; // positions entered since the block start
static unsigned char* g_pucBlockStart;
static unsigned char* g_pucBlockEnd;

// Bit state: the flag byte being filled (bits enter at the low end) and the data
// bytes of the items whose flag bits stand in it.
static tdByteArray* g_poOutput;
static unsigned int g_uiFlags;
static int g_iFlagBits;             // 0 .. 8
static unsigned char g_aucGroup[9]; // index 0 reserved for the flag byte, then data bytes
static int g_iDataBytes;            // 0 .. 8

// The Elias-gamma value whose code ends a block.
static const unsigned int g_uiEndOfBlockLength = 65536;

void vEncode_Init(int iWindow)
{
    QEV_ASSERT(iWindow >= 2 && iWindow <= 2048 && (iWindow & (iWindow - 1)) == 0);
    vEncode_Release();
    g_piNext = static_cast<int*>(malloc(static_cast<size_t>(iWindow) * sizeof(int)));
    QEV_ASSERT(g_piNext != nullptr);
    g_iWindow = iWindow;
}

void vEncode_Release()
{
    free(g_piNext);
    g_piNext = nullptr;
    g_iWindow = 0;
}

// Writes the flag byte, filled up with zero bits at the low end, and its data bytes.
static void vEncode_FlushGroup()
{
    g_aucGroup[0] = static_cast<unsigned char>(g_uiFlags << (8 - g_iFlagBits));
    g_poOutput->vAppend(g_aucGroup, 1 + g_iDataBytes);
    g_uiFlags = 0;
    g_iFlagBits = 0;
    g_iDataBytes = 0;
}

void vEncode_WriteBit(unsigned char ucBit)
{
    if (g_iFlagBits == 8) vEncode_FlushGroup();
    g_uiFlags = (g_uiFlags << 1) | (ucBit & 1u);
    g_iFlagBits++;
}

// A data byte of the item whose flag bit was written last.
static void vEncode_WriteDataByte(unsigned char ucByte)
{
    g_aucGroup[1 + g_iDataBytes] = ucByte;
    g_iDataBytes++;
}

void vEncode_WriteEliasGamma(unsigned int uiValue)
{
    QEV_ASSERT(uiValue >= 1);
    int iTopBit = 31;
    while (!(uiValue >> iTopBit))
        iTopBit--;
    for (int i = 0; i < iTopBit; i++)
        vEncode_WriteBit(1);
    vEncode_WriteBit(0);
    for (int i = iTopBit - 1; i >= 0; i--)
        vEncode_WriteBit(static_cast<unsigned char>((uiValue >> i) & 1u));
}

void vEncode_EncodeMatch(unsigned int uiOffset, unsigned int uiLength)
{
    QEV_ASSERT(uiOffset >= 1 && uiOffset <= 2047 && uiLength >= 2);
    unsigned int uiCode = uiOffset - 1;
    vEncode_WriteBit(1);
    if (uiCode < 128)
        vEncode_WriteDataByte(static_cast<unsigned char>(uiCode));
    else
    {
        vEncode_WriteDataByte(static_cast<unsigned char>(128 + (uiCode & 127)));
        for (int i = 10; i >= 7; i--)
            vEncode_WriteBit(static_cast<unsigned char>((uiCode >> i) & 1u));
    }
    vEncode_WriteEliasGamma(uiLength - 1);
}

// Lets the byte N positions back leave the window once the block is that long; it
// is the oldest entry of its chain, at the ring position iRing about to be reused.
static void vEncode_Slide(const unsigned char* pucPosition, int iRing)
{
    if (pucPosition - g_pucBlockStart < g_iWindow) return;
    unsigned char ucLeaving = pucPosition[-g_iWindow];
    g_aiOldest[ucLeaving] = g_piNext[iRing];
    if (g_aiOldest[ucLeaving] < 0) g_aiNewest[ucLeaving] = -1;
    g_piNext[iRing] = -1;
}

// Makes iRing the newest occurrence of ucByte.
static void vEncode_Link(unsigned char ucByte, int iRing)
{
    if (g_aiOldest[ucByte] < 0)
        g_aiOldest[ucByte] = iRing;
    else
        g_piNext[g_aiNewest[ucByte]] = iRing;
    g_aiNewest[ucByte] = iRing;
}

// Enters a position covered by a match, without searching.
static void vEncode_Insert(const unsigned char* pucPosition)
{
    int iRing = static_cast<int>(g_uiCounter & static_cast<unsigned int>(g_iWindow - 1));
    vEncode_Slide(pucPosition, iRing);
    vEncode_Link(*pucPosition, iRing);
    g_uiCounter++;
}

unsigned int uiEncode_FindMatches(unsigned char* pucPosition, unsigned char** ppucMatch)
{
    int iRing = static_cast<int>(g_uiCounter & static_cast<unsigned int>(g_iWindow - 1));
    vEncode_Slide(pucPosition, iRing);
    unsigned char ucByte = *pucPosition;
    unsigned int uiBest = 1;
    unsigned int uiLeft = static_cast<unsigned int>(g_pucBlockEnd - pucPosition);
    // Oldest to newest, taking equal lengths: the longest match wins, and among
    // equally long ones the nearest.
    for (int iCandidate = g_aiOldest[ucByte]; iCandidate >= 0; iCandidate = g_piNext[iCandidate])
    {
        int iDistance = iRing - iCandidate;
        if (iDistance <= 0) iDistance += g_iWindow;
        unsigned char* pucCandidate = pucPosition - iDistance;
        // A candidate differing at index uiBest - 1 is shorter than the best.
        if (pucCandidate[uiBest - 1] != pucPosition[uiBest - 1]) continue;
        unsigned int uiLength = 1;
        while (uiLength < uiLeft && pucCandidate[uiLength] == pucPosition[uiLength])
            uiLength++;
        if (uiLength >= uiBest)
        {
            uiBest = uiLength;
            *ppucMatch = pucCandidate;
        }
    }
    vEncode_Link(ucByte, iRing);
    g_uiCounter++;
    return uiBest;
}

tdByteArray* poEncode_Encode(unsigned char* pucData, unsigned int uiLength)
{
    QEV_ASSERT(g_piNext != nullptr);
    QEV_ASSERT(pucData != nullptr || uiLength == 0);
    // A match of 65537 bytes would read as the end marker.
    QEV_ASSERT(uiLength <= g_uiEndOfBlockLength);
    tdByteArray* poOutput = new tdByteArray();
    g_poOutput = poOutput;
    g_uiCounter = 0;
    g_pucBlockStart = pucData;
    g_pucBlockEnd = pucData + uiLength;
    for (int i = 0; i < 256; i++)
    {
        g_aiOldest[i] = -1;
        g_aiNewest[i] = -1;
    }
    for (int i = 0; i < g_iWindow; i++)
        g_piNext[i] = -1;
    g_uiFlags = 0;
    g_iFlagBits = 0;
    g_iDataBytes = 0;

    unsigned char* pucPosition = pucData;
    while (pucPosition < g_pucBlockEnd)
    {
        unsigned char* pucMatch = nullptr;
        unsigned int uiMatchLength = uiEncode_FindMatches(pucPosition, &pucMatch);
        if (uiMatchLength < 2)
        {
            vEncode_WriteBit(0);
            vEncode_WriteDataByte(*pucPosition);
            pucPosition++;
            continue;
        }
        vEncode_EncodeMatch(static_cast<unsigned int>(pucPosition - pucMatch), uiMatchLength);
        for (unsigned int i = 1; i < uiMatchLength; i++)
            vEncode_Insert(pucPosition + i);
        pucPosition += uiMatchLength;
    }
    vEncode_EncodeMatch(1, g_uiEndOfBlockLength + 1);
    vEncode_FlushGroup();
    g_poOutput = nullptr;
    return poOutput;
}
