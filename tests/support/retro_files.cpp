#include "tests/support/retro_files.h"

#include "tests/support/testutil.h"

#include "retro/recoil.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool bDecodeRetro(const std::string& sName, const tdBytes& aucContent, tdRetroPixels* poPixels)
{
    RECOIL* poDecoder = RECOIL_New();
    if (!poDecoder) return false;
    bool bOK =
        RECOIL_Decode(poDecoder, sName.c_str(), aucContent.data(), static_cast<int>(aucContent.size()));
    int iWidth = RECOIL_GetWidth(poDecoder);
    int iHeight = RECOIL_GetHeight(poDecoder);
    const int* piPixels = RECOIL_GetPixels(poDecoder);
    if (bOK && piPixels && iWidth > 0 && iHeight > 0)
    {
        poPixels->m_iWidth = iWidth;
        poPixels->m_iHeight = iHeight;
        poPixels->m_aiPixels.assign(piPixels, piPixels + static_cast<size_t>(iWidth) * iHeight);
    }
    else if (!bOK && (iWidth != 0 || iHeight != 0 || piPixels))
    {
        bOK = false;
        poPixels->m_iWidth = -1; // a failed decode that still reports a picture
    }
    else
    {
        bOK = false;
    }
    RECOIL_Delete(poDecoder);
    return bOK;
}

int iWiden(int iLevel, int iBits)
{
    int iMax = (1 << iBits) - 1;
    return (iLevel * 255 + iMax / 2) / iMax;
}

tdBytes aucPackBits(const unsigned char* pucData, size_t uiLength)
{
    tdBytes aucOut;
    size_t i = 0;
    while (i < uiLength)
    {
        size_t uiRun = 1;
        while (i + uiRun < uiLength && uiRun < 128 && pucData[i + uiRun] == pucData[i])
            uiRun++;
        if (uiRun >= 3)
        {
            aucOut.push_back(static_cast<unsigned char>(257 - uiRun)); // 1 - n as a signed byte
            aucOut.push_back(pucData[i]);
            i += uiRun;
            continue;
        }
        // Literal block up to the next run of three or 128 bytes.
        size_t uiStart = i;
        while (i < uiLength && i - uiStart < 128)
        {
            if (i + 2 < uiLength && pucData[i] == pucData[i + 1] && pucData[i] == pucData[i + 2]) break;
            i++;
        }
        aucOut.push_back(static_cast<unsigned char>(i - uiStart - 1));
        aucOut.insert(aucOut.end(), pucData + uiStart, pucData + i);
    }
    return aucOut;
}

static void vPutBE16(tdBytes* paucOut, unsigned uiValue)
{
    paucOut->push_back(static_cast<unsigned char>(uiValue >> 8));
    paucOut->push_back(static_cast<unsigned char>(uiValue));
}

static void vPutBE32(tdBytes* paucOut, uint32_t uiValue)
{
    vPutBE16(paucOut, uiValue >> 16);
    vPutBE16(paucOut, uiValue & 0xFFFF);
}

static void vPutLE16(tdBytes* paucOut, unsigned uiValue)
{
    paucOut->push_back(static_cast<unsigned char>(uiValue));
    paucOut->push_back(static_cast<unsigned char>(uiValue >> 8));
}

std::vector<int> aiRunValues(size_t uiCount, int iLimit, uint32_t uiSeed)
{
    tdTestRandom oRandom = {uiSeed};
    std::vector<int> ai;
    while (ai.size() < uiCount)
    {
        int iValue = static_cast<int>(oRandom.uiNext(static_cast<unsigned>(iLimit)));
        size_t uiRun = 1 + oRandom.uiNext(40);
        for (size_t i = 0; i < uiRun && ai.size() < uiCount; i++)
            ai.push_back(iValue);
    }
    return ai;
}

// ---------------------------------------------------------------- Atari ST

int iSTWidth(int iResolution)
{
    return iResolution == 0 ? 320 : 640;
}

int iSTHeight(int iResolution)
{
    return iResolution == 2 ? 400 : 200;
}

int iSTPlanes(int iResolution)
{
    return iResolution == 0 ? 4 : (iResolution == 1 ? 2 : 1);
}

tdBytes aucSTScreenMemory(const tdTestSTScreen& oScreen)
{
    const int iWidth = iSTWidth(oScreen.m_iResolution);
    const int iPlanes = iSTPlanes(oScreen.m_iResolution);
    tdBytes aucScreen(32000, 0);
    for (int y = 0; y < iSTHeight(oScreen.m_iResolution); y++)
    {
        for (int x = 0; x < iWidth; x++)
        {
            int iValue = oScreen.m_aiValues[static_cast<size_t>(y) * iWidth + x];
            for (int p = 0; p < iPlanes; p++)
            {
                if (!((iValue >> p) & 1)) continue;
                // Word of plane p in group x / 16; bit 15 leftmost.
                size_t uiWord =
                    static_cast<size_t>(y) * (iWidth / 8 * iPlanes) + ((x / 16) * iPlanes + p) * 2;
                int iBit = 15 - x % 16;
                aucScreen[uiWord + (iBit >= 8 ? 0 : 1)] |= static_cast<unsigned char>(1 << (iBit % 8));
            }
        }
    }
    return aucScreen;
}

static void vPutSTPalette(tdBytes* paucOut, const tdTestSTScreen& oScreen)
{
    for (unsigned uiWord : oScreen.m_auiPalette)
        vPutBE16(paucOut, uiWord);
}

tdBytes aucDegas(const tdTestSTScreen& oScreen, bool bCompressed)
{
    tdBytes aucOut;
    vPutBE16(&aucOut, static_cast<unsigned>(oScreen.m_iResolution) | (bCompressed ? 0x8000 : 0));
    vPutSTPalette(&aucOut, oScreen);
    tdBytes aucScreen = aucSTScreenMemory(oScreen);
    if (!bCompressed)
    {
        aucOut.insert(aucOut.end(), aucScreen.begin(), aucScreen.end());
        return aucOut;
    }
    const int iPlanes = iSTPlanes(oScreen.m_iResolution);
    const int iPlaneBytes = iSTWidth(oScreen.m_iResolution) / 8;
    for (int y = 0; y < iSTHeight(oScreen.m_iResolution); y++)
    {
        for (int p = 0; p < iPlanes; p++)
        {
            tdBytes aucPlane;
            for (int i = 0; i < iPlaneBytes; i++)
                aucPlane.push_back(aucScreen[static_cast<size_t>(y) * iPlaneBytes * iPlanes +
                                             ((i / 2) * iPlanes + p) * 2 + i % 2]);
            tdBytes aucPacked = aucPackBits(aucPlane.data(), aucPlane.size());
            aucOut.insert(aucOut.end(), aucPacked.begin(), aucPacked.end());
        }
    }
    aucOut.insert(aucOut.end(), 32, 0); // colour animation words
    return aucOut;
}

tdBytes aucNEOchrome(const tdTestSTScreen& oScreen)
{
    tdBytes aucOut;
    vPutBE16(&aucOut, 0);
    vPutBE16(&aucOut, static_cast<unsigned>(oScreen.m_iResolution));
    vPutSTPalette(&aucOut, oScreen);
    const char acName[] = "  TEST  .NEO";
    aucOut.insert(aucOut.end(), acName, acName + 12);
    aucOut.resize(128, 0);
    tdBytes aucScreen = aucSTScreenMemory(oScreen);
    aucOut.insert(aucOut.end(), aucScreen.begin(), aucScreen.end());
    return aucOut;
}

tdTestSTScreen oRandomSTScreen(int iResolution, uint32_t uiSeed)
{
    tdTestSTScreen oScreen;
    oScreen.m_iResolution = iResolution;
    tdTestRandom oRandom = {uiSeed};
    for (unsigned& uiWord : oScreen.m_auiPalette)
        uiWord = oRandom.uiNext(0x1000) & 0x777;
    oScreen.m_auiPalette[0] |= 1;
    oScreen.m_aiValues = aiRunValues(static_cast<size_t>(iSTWidth(iResolution)) * iSTHeight(iResolution),
                                     1 << iSTPlanes(iResolution), uiSeed);
    return oScreen;
}

// ---------------------------------------------------------------- IFF

static void vPutChunk(tdBytes* paucOut, const char* pszID, const tdBytes& aucData)
{
    paucOut->insert(paucOut->end(), pszID, pszID + 4);
    vPutBE32(paucOut, static_cast<uint32_t>(aucData.size()));
    paucOut->insert(paucOut->end(), aucData.begin(), aucData.end());
    if (aucData.size() & 1) paucOut->push_back(0);
}

tdBytes aucILBM(const tdTestILBM& oILBM)
{
    tdBytes aucHeader;
    vPutBE16(&aucHeader, static_cast<unsigned>(oILBM.m_iWidth));
    vPutBE16(&aucHeader, static_cast<unsigned>(oILBM.m_iHeight));
    vPutBE32(&aucHeader, 0);
    aucHeader.push_back(static_cast<unsigned char>(oILBM.m_iPlanes));
    aucHeader.push_back(static_cast<unsigned char>(oILBM.m_iMasking));
    aucHeader.push_back(oILBM.m_bCompress ? 1 : 0);
    aucHeader.push_back(0);
    vPutBE16(&aucHeader, 0);
    aucHeader.push_back(static_cast<unsigned char>(oILBM.m_iXAspect));
    aucHeader.push_back(static_cast<unsigned char>(oILBM.m_iYAspect));
    vPutBE16(&aucHeader, static_cast<unsigned>(oILBM.m_iWidth));
    vPutBE16(&aucHeader, static_cast<unsigned>(oILBM.m_iHeight));

    tdBytes aucBody;
    const size_t uiWidth = static_cast<size_t>(oILBM.m_iWidth);
    for (int y = 0; y < oILBM.m_iHeight; y++)
    {
        std::vector<tdBytes> aaucRows;
        if (oILBM.m_bChunky)
        {
            tdBytes aucRow(uiWidth + (uiWidth & 1), 0);
            for (size_t x = 0; x < uiWidth; x++)
                aucRow[x] = static_cast<unsigned char>(oILBM.m_auiValues[y * uiWidth + x]);
            aaucRows.push_back(aucRow);
        }
        else
        {
            const size_t uiRowBytes = (uiWidth + 15) / 16 * 2;
            for (int p = 0; p < oILBM.m_iPlanes + (oILBM.m_iMasking == 1 ? 1 : 0); p++)
            {
                tdBytes aucRow(uiRowBytes, 0);
                for (size_t x = 0; x < uiWidth; x++)
                {
                    bool bSet = p == oILBM.m_iPlanes || ((oILBM.m_auiValues[y * uiWidth + x] >> p) & 1);
                    if (bSet) aucRow[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
                }
                aaucRows.push_back(aucRow);
            }
        }
        for (const tdBytes& aucRow : aaucRows)
        {
            tdBytes aucStored = oILBM.m_bCompress ? aucPackBits(aucRow.data(), aucRow.size()) : aucRow;
            aucBody.insert(aucBody.end(), aucStored.begin(), aucStored.end());
        }
    }

    tdBytes aucForm;
    const char* pszType = oILBM.m_bChunky ? "PBM " : "ILBM";
    aucForm.insert(aucForm.end(), pszType, pszType + 4);
    vPutChunk(&aucForm, "BMHD", aucHeader);
    if (!oILBM.m_aucCMAP.empty()) vPutChunk(&aucForm, "CMAP", oILBM.m_aucCMAP);
    if (oILBM.m_bCAMG)
    {
        tdBytes aucMode;
        vPutBE32(&aucMode, oILBM.m_uiCAMG);
        vPutChunk(&aucForm, "CAMG", aucMode);
    }
    vPutChunk(&aucForm, "BODY", aucBody);
    tdBytes aucOut = {'F', 'O', 'R', 'M'};
    vPutBE32(&aucOut, static_cast<uint32_t>(aucForm.size()));
    aucOut.insert(aucOut.end(), aucForm.begin(), aucForm.end());
    return aucOut;
}

// ---------------------------------------------------------------- PCX

// PCX run-length: runs of up to 63, and any byte of 0xC0 or more as a run of 1.
static void vPackPCX(const tdBytes& aucData, tdBytes* paucOut)
{
    size_t i = 0;
    while (i < aucData.size())
    {
        size_t uiRun = 1;
        while (i + uiRun < aucData.size() && uiRun < 63 && aucData[i + uiRun] == aucData[i])
            uiRun++;
        if (uiRun > 1 || aucData[i] >= 0xC0) paucOut->push_back(static_cast<unsigned char>(0xC0 | uiRun));
        paucOut->push_back(aucData[i]);
        i += uiRun;
    }
}

tdBytes aucPCX(const tdTestPCX& oPCX)
{
    const int iMinimum = (oPCX.m_iWidth * oPCX.m_iBits + 7) / 8;
    int iLineBytes = iMinimum + oPCX.m_iPadBytes;
    iLineBytes += iLineBytes & 1;
    tdBytes aucOut;
    aucOut.push_back(0x0A);
    aucOut.push_back(5);
    aucOut.push_back(oPCX.m_bRLE ? 1 : 0);
    aucOut.push_back(static_cast<unsigned char>(oPCX.m_iBits));
    vPutLE16(&aucOut, static_cast<unsigned>(oPCX.m_iXMin) & 0xFFFF);
    vPutLE16(&aucOut, static_cast<unsigned>(oPCX.m_iYMin) & 0xFFFF);
    vPutLE16(&aucOut, static_cast<unsigned>(oPCX.m_iXMin + oPCX.m_iWidth - 1) & 0xFFFF);
    vPutLE16(&aucOut, static_cast<unsigned>(oPCX.m_iYMin + oPCX.m_iHeight - 1) & 0xFFFF);
    vPutLE16(&aucOut, 72);
    vPutLE16(&aucOut, 72);
    aucOut.insert(aucOut.end(), oPCX.m_acHeaderPalette, oPCX.m_acHeaderPalette + 48);
    aucOut.push_back(0);
    aucOut.push_back(static_cast<unsigned char>(oPCX.m_iPlanes));
    vPutLE16(&aucOut, static_cast<unsigned>(iLineBytes));
    vPutLE16(&aucOut, 1);
    aucOut.resize(128, 0);

    tdBytes aucAll;
    const size_t uiWidth = static_cast<size_t>(oPCX.m_iWidth);
    for (int y = 0; y < oPCX.m_iHeight; y++)
    {
        tdBytes aucRow;
        for (int p = 0; p < oPCX.m_iPlanes; p++)
        {
            tdBytes aucLine(static_cast<size_t>(iLineBytes), 0);
            for (size_t x = 0; x < uiWidth; x++)
            {
                uint32_t uiValue = oPCX.m_auiValues[y * uiWidth + x];
                if (oPCX.m_iBits == 8 && oPCX.m_iPlanes >= 3)
                    aucLine[x] = p < 3 ? static_cast<unsigned char>(uiValue >> (16 - 8 * p)) : 0xFF;
                else if (oPCX.m_iBits == 8)
                    aucLine[x] = static_cast<unsigned char>(uiValue);
                else if (oPCX.m_iBits == 1)
                    aucLine[x / 8] |= static_cast<unsigned char>(((uiValue >> p) & 1) << (7 - x % 8));
                else
                {
                    int iPerByte = 8 / oPCX.m_iBits;
                    int iShift = 8 - oPCX.m_iBits * (static_cast<int>(x) % iPerByte + 1);
                    aucLine[x / iPerByte] |= static_cast<unsigned char>(uiValue << iShift);
                }
            }
            aucRow.insert(aucRow.end(), aucLine.begin(), aucLine.end());
        }
        if (oPCX.m_bRunsAcrossLines || !oPCX.m_bRLE)
        {
            aucAll.insert(aucAll.end(), aucRow.begin(), aucRow.end());
        }
        else
        {
            // Runs kept inside each plane line, as most writers do.
            for (int p = 0; p < oPCX.m_iPlanes; p++)
                vPackPCX(tdBytes(aucRow.begin() + p * iLineBytes, aucRow.begin() + (p + 1) * iLineBytes),
                         &aucOut);
        }
    }
    if (!oPCX.m_bRLE)
        aucOut.insert(aucOut.end(), aucAll.begin(), aucAll.end());
    else if (oPCX.m_bRunsAcrossLines)
        vPackPCX(aucAll, &aucOut);
    if (!oPCX.m_aucVGAPalette.empty())
    {
        aucOut.push_back(0x0C);
        aucOut.insert(aucOut.end(), oPCX.m_aucVGAPalette.begin(), oPCX.m_aucVGAPalette.end());
    }
    return aucOut;
}

// ---------------------------------------------------------------- MacPaint

tdBytes aucMacPaint(const tdBytes& aucBits, bool bMacBinary)
{
    tdBytes aucOut;
    if (bMacBinary)
    {
        aucOut.assign(128, 0);
        const char acName[] = "Test picture";
        aucOut[1] = sizeof(acName) - 1;
        memcpy(&aucOut[2], acName, sizeof(acName) - 1);
        memcpy(&aucOut[65], "PNTGMPNT", 8);
    }
    tdBytes aucHeader(512, 0);
    aucHeader[3] = 2; // version 2
    for (size_t i = 4; i < 4 + 38 * 8; i++)
        aucHeader[i] = static_cast<unsigned char>(i * 37);
    aucOut.insert(aucOut.end(), aucHeader.begin(), aucHeader.end());
    for (int y = 0; y < 720; y++)
    {
        tdBytes aucPacked = aucPackBits(aucBits.data() + y * 72, 72);
        aucOut.insert(aucOut.end(), aucPacked.begin(), aucPacked.end());
    }
    return aucOut;
}

// ---------------------------------------------------------------- GEM

// One plane line of a GEM scan line in solid, pattern and literal codes.
static void vPackGEMLine(const unsigned char* pucLine, int iLength, int iPatternLength, tdBytes* paucOut)
{
    int i = 0;
    tdBytes aucLiteral;
    auto vFlushLiteral = [&]()
    {
        for (size_t uiStart = 0; uiStart < aucLiteral.size(); uiStart += 255)
        {
            size_t uiCount = aucLiteral.size() - uiStart < 255 ? aucLiteral.size() - uiStart : 255;
            paucOut->push_back(0x80);
            paucOut->push_back(static_cast<unsigned char>(uiCount));
            paucOut->insert(paucOut->end(), aucLiteral.begin() + static_cast<long>(uiStart),
                            aucLiteral.begin() + static_cast<long>(uiStart + uiCount));
        }
        aucLiteral.clear();
    };
    while (i < iLength)
    {
        if (pucLine[i] == 0x00 || pucLine[i] == 0xFF)
        {
            int iRun = 1;
            while (i + iRun < iLength && iRun < 127 && pucLine[i + iRun] == pucLine[i])
                iRun++;
            if (iRun >= 2)
            {
                vFlushLiteral();
                paucOut->push_back(static_cast<unsigned char>((pucLine[i] ? 0x80 : 0) | iRun));
                i += iRun;
                continue;
            }
        }
        int iRepeats = 1;
        if (i + iPatternLength <= iLength)
            while (iRepeats < 255 && i + (iRepeats + 1) * iPatternLength <= iLength &&
                   memcmp(pucLine + i, pucLine + i + iRepeats * iPatternLength, iPatternLength) == 0)
                iRepeats++;
        if (iRepeats >= 2)
        {
            vFlushLiteral();
            paucOut->push_back(0);
            paucOut->push_back(static_cast<unsigned char>(iRepeats));
            paucOut->insert(paucOut->end(), pucLine + i, pucLine + i + iPatternLength);
            i += iRepeats * iPatternLength;
            continue;
        }
        aucLiteral.push_back(pucLine[i++]);
    }
    vFlushLiteral();
}

tdBytes aucGEM(const tdTestGEM& oGEM)
{
    const bool bXIMG = !oGEM.m_aiXIMG.empty();
    const int iColors = 1 << oGEM.m_iPlanes;
    tdBytes aucOut;
    vPutBE16(&aucOut, 1);
    vPutBE16(&aucOut, static_cast<unsigned>(bXIMG ? 11 + 3 * iColors : 8));
    vPutBE16(&aucOut, static_cast<unsigned>(oGEM.m_iPlanes));
    vPutBE16(&aucOut, static_cast<unsigned>(oGEM.m_iPatternLength));
    vPutBE16(&aucOut, static_cast<unsigned>(oGEM.m_iPixelWidth));
    vPutBE16(&aucOut, static_cast<unsigned>(oGEM.m_iPixelHeight));
    vPutBE16(&aucOut, static_cast<unsigned>(oGEM.m_iWidth));
    vPutBE16(&aucOut, static_cast<unsigned>(oGEM.m_iHeight));
    if (bXIMG)
    {
        aucOut.insert(aucOut.end(), {'X', 'I', 'M', 'G'});
        vPutBE16(&aucOut, 0);
        for (int i = 0; i < 3 * iColors; i++)
            vPutBE16(&aucOut, static_cast<unsigned>(oGEM.m_aiXIMG[static_cast<size_t>(i)]));
    }
    const int iLineBytes = (oGEM.m_iWidth + 7) / 8;
    std::vector<tdBytes> aaucScans;
    for (int y = 0; y < oGEM.m_iHeight; y++)
    {
        tdBytes aucScan(static_cast<size_t>(iLineBytes * oGEM.m_iPlanes), 0);
        for (int x = 0; x < oGEM.m_iWidth; x++)
            for (int p = 0; p < oGEM.m_iPlanes; p++)
                if ((oGEM.m_aiValues[static_cast<size_t>(y) * oGEM.m_iWidth + x] >> p) & 1)
                    aucScan[static_cast<size_t>(p * iLineBytes + x / 8)] |=
                        static_cast<unsigned char>(0x80 >> (x % 8));
        aaucScans.push_back(aucScan);
    }
    for (size_t y = 0; y < aaucScans.size();)
    {
        size_t uiSame = 1;
        while (y + uiSame < aaucScans.size() && uiSame < 255 && aaucScans[y + uiSame] == aaucScans[y])
            uiSame++;
        if (uiSame > 1) aucOut.insert(aucOut.end(), {0x00, 0x00, 0xFF, static_cast<unsigned char>(uiSame)});
        for (int p = 0; p < oGEM.m_iPlanes; p++)
            vPackGEMLine(aaucScans[y].data() + p * iLineBytes, iLineBytes, oGEM.m_iPatternLength, &aucOut);
        y += uiSame;
    }
    return aucOut;
}

// ---------------------------------------------------------------- MSX

tdBytes aucBSAVE(const tdBytes& aucVRAM, int iStart, int iEnd)
{
    tdBytes aucOut = {0xFE};
    vPutLE16(&aucOut, static_cast<unsigned>(iStart));
    vPutLE16(&aucOut, static_cast<unsigned>(iEnd));
    vPutLE16(&aucOut, 0);
    aucOut.insert(aucOut.end(), aucVRAM.begin() + iStart, aucVRAM.begin() + iEnd + 1);
    return aucOut;
}

// ---------------------------------------------------------------- netpbm

std::string sShellQuote(const std::string& s)
{
    std::string sQuoted = "'";
    for (char c : s)
        sQuoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return sQuoted + "'";
}

bool bHaveTool(const char* pszTool)
{
    return bRunShell(std::string("command -v ") + pszTool + " >/dev/null");
}

bool bRunShell(const std::string& sCommand)
{
    std::string sQuiet = "(" + sCommand + ") 2>/dev/null";
    return system(sQuiet.c_str()) == 0;
}

int tdPNM::iRGBAt(int iX, int iY) const
{
    const int* pi = &m_aiSamples[(static_cast<size_t>(iY) * m_iWidth + iX) * 3];
    int aiChannel[3];
    for (int c = 0; c < 3; c++)
        aiChannel[c] = (pi[c] * 255 + m_iMaxval / 2) / m_iMaxval;
    return (aiChannel[0] << 16) | (aiChannel[1] << 8) | aiChannel[2];
}

// The next header number of a PNM file, skipping white space and comments.
static bool bPNMNumber(const tdBytes& auc, size_t* puiAt, int* piValue)
{
    size_t i = *puiAt;
    while (i < auc.size() && (isspace(auc[i]) || auc[i] == '#'))
    {
        if (auc[i] == '#')
            while (i < auc.size() && auc[i] != '\n')
                i++;
        else
            i++;
    }
    if (i >= auc.size() || !isdigit(auc[i])) return false;
    long lValue = 0;
    while (i < auc.size() && isdigit(auc[i]) && lValue < 100000000)
        lValue = lValue * 10 + (auc[i++] - '0');
    *piValue = static_cast<int>(lValue);
    *puiAt = i;
    return true;
}

bool bReadPNM(const std::string& sName, tdPNM* poPNM)
{
    tdBytes auc;
    FILE* poFile = fopen(sName.c_str(), "rb");
    if (!poFile) return false;
    unsigned char acBuffer[65536];
    size_t uiRead;
    while ((uiRead = fread(acBuffer, 1, sizeof(acBuffer), poFile)) > 0)
        auc.insert(auc.end(), acBuffer, acBuffer + uiRead);
    fclose(poFile);
    if (auc.size() < 3 || auc[0] != 'P' || auc[1] < '1' || auc[1] > '6') return false;
    const int iKind = auc[1] - '0';
    size_t uiAt = 2;
    int iWidth;
    int iHeight;
    int iMaxval = 1;
    if (!bPNMNumber(auc, &uiAt, &iWidth) || !bPNMNumber(auc, &uiAt, &iHeight)) return false;
    if (iKind != 1 && iKind != 4 && !bPNMNumber(auc, &uiAt, &iMaxval)) return false;
    if (iWidth <= 0 || iHeight <= 0 || iMaxval <= 0 || iMaxval > 255) return false;
    poPNM->m_iWidth = iWidth;
    poPNM->m_iHeight = iHeight;
    poPNM->m_iMaxval = iMaxval;
    poPNM->m_aiSamples.assign(static_cast<size_t>(iWidth) * iHeight * 3, 0);
    const bool bRaw = iKind >= 4;
    if (bRaw) uiAt++; // the single white-space byte before the raster
    const int iChannels = (iKind == 3 || iKind == 6) ? 3 : 1;
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < iWidth; x++)
        {
            int* pi = &poPNM->m_aiSamples[(static_cast<size_t>(y) * iWidth + x) * 3];
            for (int c = 0; c < iChannels; c++)
            {
                int iValue;
                if (iKind == 4)
                {
                    size_t uiByte = uiAt + static_cast<size_t>(y) * ((iWidth + 7) / 8) + x / 8;
                    if (uiByte >= auc.size()) return false;
                    iValue = ((auc[uiByte] >> (7 - x % 8)) & 1) ? 0 : 1;
                }
                else if (bRaw)
                {
                    size_t uiByte = uiAt + (static_cast<size_t>(y) * iWidth + x) * iChannels + c;
                    if (uiByte >= auc.size()) return false;
                    iValue = auc[uiByte];
                }
                else
                {
                    if (iKind == 1)
                    {
                        while (uiAt < auc.size() && isspace(auc[uiAt]))
                            uiAt++;
                        if (uiAt >= auc.size()) return false;
                        iValue = auc[uiAt++] == '1' ? 0 : 1;
                    }
                    else if (!bPNMNumber(auc, &uiAt, &iValue))
                    {
                        return false;
                    }
                }
                if (iChannels == 1)
                    pi[0] = pi[1] = pi[2] = iValue;
                else
                    pi[c] = iValue;
            }
        }
    }
    return true;
}

bool bWritePPM(const std::string& sName, int iWidth, int iHeight, const std::vector<int>& aiRGB)
{
    FILE* poFile = fopen(sName.c_str(), "wb");
    if (!poFile) return false;
    fprintf(poFile, "P6\n%d %d\n255\n", iWidth, iHeight);
    for (int iPixel : aiRGB)
    {
        unsigned char ac[3] = {static_cast<unsigned char>(iPixel >> 16),
                               static_cast<unsigned char>(iPixel >> 8), static_cast<unsigned char>(iPixel)};
        fwrite(ac, 1, 3, poFile);
    }
    return fclose(poFile) == 0;
}

bool bWritePBM(const std::string& sName, int iWidth, int iHeight, const std::vector<unsigned char>& aucBlack)
{
    FILE* poFile = fopen(sName.c_str(), "wb");
    if (!poFile) return false;
    fprintf(poFile, "P4\n%d %d\n", iWidth, iHeight);
    for (int y = 0; y < iHeight; y++)
    {
        tdBytes aucRow(static_cast<size_t>((iWidth + 7) / 8), 0);
        for (int x = 0; x < iWidth; x++)
            if (aucBlack[static_cast<size_t>(y) * iWidth + x])
                aucRow[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
        fwrite(aucRow.data(), 1, aucRow.size(), poFile);
    }
    return fclose(poFile) == 0;
}
