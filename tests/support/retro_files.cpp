#include "tests/support/retro_files.h"

#include "retro/recoil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool bDecodeRetro(const std::string& sName, const tdBytes& aucContent, tdRetroPixels* poPixels)
{
    RECOIL* poDecoder = RECOIL_New();
    bool bOK =
        RECOIL_Decode(poDecoder, sName.c_str(), aucContent.data(), static_cast<int>(aucContent.size()));
    poPixels->m_iWidth = RECOIL_GetWidth(poDecoder);
    poPixels->m_iHeight = RECOIL_GetHeight(poDecoder);
    const int* piPixels = RECOIL_GetPixels(poDecoder);
    // A failed decode that still reports a picture fails too, with width -1.
    if (!bOK && (poPixels->m_iWidth || poPixels->m_iHeight || piPixels)) poPixels->m_iWidth = -1;
    bOK = bOK && piPixels && poPixels->m_iWidth > 0 && poPixels->m_iHeight > 0;
    poPixels->m_aiPixels.assign(
        piPixels, piPixels + (bOK ? static_cast<size_t>(poPixels->m_iWidth) * poPixels->m_iHeight : 0));
    RECOIL_Delete(poDecoder);
    return bOK;
}

tdRetroPixels oDecoded(const std::string& sName, const tdBytes& aucContent)
{
    tdRetroPixels o;
    EXPECT_TRUE(bDecodeRetro(sName, aucContent, &o)) << sName;
    return o;
}

int iLevelColor(const char* psz, int iIndex)
{
    const int aiLevel3[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    int iColor = 0;
    for (int c = 0; c < 3; c++)
        iColor = iColor << 8 | aiLevel3[psz[3 * iIndex + c] - '0'];
    return iColor;
}

tdBytes aucPatched(tdBytes auc, std::initializer_list<std::pair<int, int>> aoPatches)
{
    for (const std::pair<int, int>& o : aoPatches)
        auc[static_cast<size_t>(o.first)] = static_cast<unsigned char>(o.second);
    return auc;
}

void vExpectRefused(const char* pszName, const tdBytes& auc,
                    std::initializer_list<std::pair<int, int>> aoPatches, std::initializer_list<int> aiCuts)
{
    tdRetroPixels oPixels;
    for (const std::pair<int, int>& o : aoPatches)
        EXPECT_FALSE(bDecodeRetro(pszName, aucPatched(auc, {o}), &oPixels))
            << pszName << " byte " << o.first << " = " << o.second;
    for (int i : aiCuts)
        EXPECT_FALSE(
            bDecodeRetro(pszName, tdBytes(auc.begin(), i < 0 ? auc.end() + i : auc.begin() + i), &oPixels))
            << pszName << " cut " << i;
}

tdRetroPixels oRunPicture(int iWidth, int iHeight, int iColors, int iLevels, uint32_t uiSeed)
{
    tdTestRandom oRandom = {uiSeed};
    std::vector<int> aiPalette;
    while (static_cast<int>(aiPalette.size()) < iColors)
    {
        int iColor = 0;
        for (int c = 0; c < 3; c++)
            iColor = iColor << 8 | (static_cast<int>(oRandom.uiNext(static_cast<unsigned>(iLevels))) * 255 +
                                    (iLevels - 1) / 2) /
                                       (iLevels - 1);
        if (iLevels == 2 && iColors == 2) iColor = aiPalette.empty() ? 0 : 0xFFFFFF;
        if (std::find(aiPalette.begin(), aiPalette.end(), iColor) == aiPalette.end())
            aiPalette.push_back(iColor);
    }
    tdRetroPixels o;
    o.m_iWidth = iWidth;
    o.m_iHeight = iHeight;
    const size_t uiCount = static_cast<size_t>(iWidth) * iHeight;
    while (o.m_aiPixels.size() < uiCount)
    {
        const int iColor = aiPalette[oRandom.uiNext(static_cast<unsigned>(iColors))];
        for (size_t n = 1 + oRandom.uiNext(40); n > 0 && o.m_aiPixels.size() < uiCount; n--)
            o.m_aiPixels.push_back(iColor);
    }
    for (size_t i = 0; i < aiPalette.size() && i < uiCount; i++)
        o.m_aiPixels[i * 7 % uiCount] = aiPalette[i];
    return o;
}

static bool bRunInFolder(const tdTempFolder& oFolder, const std::string& sCommand)
{
    return system(("cd '" + oFolder.m_sPath + "' && " + sCommand + " 2>/dev/null").c_str()) == 0;
}

tdBytes aucNetpbmWrite(const tdTempFolder& oFolder, const tdRetroPixels& oPicture, int iMaxval,
                       const std::string& sWriter)
{
    const std::string sHeader = (iMaxval == 1 ? "P4\n" : "P6\n") + std::to_string(oPicture.m_iWidth) + " " +
                                std::to_string(oPicture.m_iHeight) +
                                (iMaxval == 1 ? "\n" : " " + std::to_string(iMaxval) + "\n");
    tdBytes aucPNM(sHeader.begin(), sHeader.end());
    for (int y = 0; y < oPicture.m_iHeight; y++)
    {
        tdBytes aucBits(static_cast<size_t>((oPicture.m_iWidth + 7) / 8), 0);
        for (int x = 0; x < oPicture.m_iWidth; x++)
        {
            if (oPicture.iAt(x, y) == 0) aucBits[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            for (int c = 16; c >= 0 && iMaxval > 1; c -= 8)
                aucPNM.push_back(
                    static_cast<unsigned char>((((oPicture.iAt(x, y) >> c) & 255) * iMaxval + 127) / 255));
        }
        if (iMaxval == 1) aucPNM.insert(aucPNM.end(), aucBits.begin(), aucBits.end());
    }
    if (!bWriteFile(oFolder.sFile("in.pnm"), aucPNM) || !bRunInFolder(oFolder, sWriter + " in.pnm > out.bin"))
        return tdBytes();
    return aucReadFile(oFolder.sFile("out.bin"));
}

// The next header number of a PNM file after white space.
static int iPNMNumber(const tdBytes& auc, size_t* puiAt)
{
    while (*puiAt < auc.size() && strchr(" \t\r\n", auc[*puiAt]))
        ++*puiAt;
    int iValue = 0;
    while (*puiAt < auc.size() && auc[*puiAt] >= '0' && auc[*puiAt] <= '9')
        iValue = iValue * 10 + (auc[(*puiAt)++] - '0');
    return iValue;
}

bool bNetpbmRead(const tdTempFolder& oFolder, const std::string& sReader, const tdBytes& aucFile,
                 tdRetroPixels* poPicture)
{
    if (!bWriteFile(oFolder.sFile("file.bin"), aucFile) ||
        !bRunInFolder(oFolder, sReader + " file.bin > ref.pnm"))
        return false;
    const tdBytes auc = aucReadFile(oFolder.sFile("ref.pnm"));
    if (auc.size() < 2 || auc[0] != 'P' || (auc[1] != '4' && auc[1] != '6')) return false;
    const bool bBits = auc[1] == '4';
    size_t uiAt = 2;
    const int iWidth = poPicture->m_iWidth = iPNMNumber(auc, &uiAt);
    const int iHeight = poPicture->m_iHeight = iPNMNumber(auc, &uiAt);
    const int iMaxval = bBits ? 1 : iPNMNumber(auc, &uiAt);
    const size_t uiRow = bBits ? static_cast<size_t>((iWidth + 7) / 8) : static_cast<size_t>(3 * iWidth);
    if (++uiAt + uiRow * iHeight > auc.size() || iMaxval < 1 || iMaxval > 255) return false;
    poPicture->m_aiPixels.clear();
    for (int y = 0; y < iHeight; y++)
    {
        for (int x = 0; x < iWidth; x++)
        {
            const unsigned char* puc = &auc[uiAt + uiRow * y];
            int iColor = ((puc[x / 8] >> (7 - x % 8)) & 1) ? 0 : 0xFFFFFF;
            for (int c = 0; c < 3 && !bBits; c++)
                iColor = (c ? iColor << 8 : 0) | ((puc[3 * x + c] * 255 + iMaxval / 2) / iMaxval);
            poPicture->m_aiPixels.push_back(iColor);
        }
    }
    return true;
}

tdBytes aucDegasElite(const tdBytes& aucDegas)
{
    const int iPlanes = aucDegas[1] == 0 ? 4 : (aucDegas[1] == 1 ? 2 : 1);
    const int iLine = iPlanes == 1 ? 80 : 160;
    tdBytes aucOut(aucDegas.begin(), aucDegas.begin() + 34);
    aucOut[0] = 0x80;
    // Word i of plane p sits at word i * planes + p of the interleaved line.
    for (int y = 0; y < 32000 / iLine; y++)
    {
        for (int p = 0; p < iPlanes; p++)
        {
            aucOut.push_back(static_cast<unsigned char>(iLine / iPlanes - 1)); // one literal block
            for (int i = 0; i < iLine / iPlanes; i++)
                aucOut.push_back(
                    aucDegas[static_cast<size_t>(34 + iLine * y + ((i / 2) * iPlanes + p) * 2 + i % 2)]);
        }
    }
    return aucOut;
}

static void vPutBE32(tdBytes* pauc, size_t uiValue)
{
    for (int iShift = 24; iShift >= 0; iShift -= 8)
        pauc->push_back(static_cast<unsigned char>(uiValue >> iShift));
}

tdBytes aucIFF(const char* pszType, const std::vector<std::pair<std::string, tdBytes>>& aoChunks)
{
    tdBytes aucBody(pszType, pszType + 4);
    for (const std::pair<std::string, tdBytes>& o : aoChunks)
    {
        aucBody.insert(aucBody.end(), o.first.begin(), o.first.end());
        vPutBE32(&aucBody, o.second.size());
        aucBody.insert(aucBody.end(), o.second.begin(), o.second.end());
        if (o.second.size() & 1) aucBody.push_back(0);
    }
    tdBytes aucOut = {'F', 'O', 'R', 'M'};
    vPutBE32(&aucOut, aucBody.size());
    aucOut.insert(aucOut.end(), aucBody.begin(), aucBody.end());
    return aucOut;
}

tdBytes aucIFFChunk(const tdBytes& aucForm, const char* pszID)
{
    size_t uiSize = 0;
    for (size_t i = 12; i + 8 <= aucForm.size(); i += 8 + uiSize + (uiSize & 1))
    {
        uiSize = static_cast<size_t>(aucForm[i + 4]) << 24 | aucForm[i + 5] << 16 | aucForm[i + 6] << 8 |
                 aucForm[i + 7];
        if (memcmp(&aucForm[i], pszID, 4) == 0 && i + 8 + uiSize <= aucForm.size())
            return tdBytes(&aucForm[i + 8], &aucForm[i + 8] + uiSize);
    }
    return tdBytes();
}

tdBytes aucRandom(size_t uiCount, uint32_t uiSeed)
{
    tdTestRandom oRandom = {uiSeed};
    tdBytes auc(uiCount);
    for (unsigned char& c : auc)
        c = static_cast<unsigned char>(oRandom.uiNext(256));
    return auc;
}

tdBytes aucBytes(std::initializer_list<int> ai)
{
    tdBytes auc;
    for (int i : ai)
        auc.push_back(static_cast<unsigned char>(i));
    return auc;
}

tdBytes aucBMHD(int iWidth, int iHeight, int iPlanes, int iMasking, int iCompression)
{
    return aucBytes({iWidth >> 8,
                     iWidth,
                     iHeight >> 8,
                     iHeight,
                     0,
                     0,
                     0,
                     0,
                     iPlanes,
                     iMasking,
                     iCompression,
                     0,
                     0,
                     0,
                     1,
                     1,
                     0,
                     0,
                     0,
                     0});
}

tdBytes aucBSAVE(const tdBytes& aucVRAM, int iStart, int iEnd)
{
    tdBytes aucOut = aucBytes({0xFE, iStart, iStart >> 8, iEnd, iEnd >> 8, 0, 0});
    aucOut.insert(aucOut.end(), aucVRAM.begin() + iStart, aucVRAM.begin() + iEnd + 1);
    return aucOut;
}
