#include "tests/support/retro_files.h"

#include "retro/recoil.h"

#include <gtest/gtest.h>

#include <algorithm>

bool bDecodeRetro(const std::string& sName, const tdBytes& aucContent, tdRetroPixels* poPixels)
{
    RECOIL* poDecoder = RECOIL_New();
    bool bOK =
        RECOIL_Decode(poDecoder, sName.c_str(), aucContent.data(), static_cast<int>(aucContent.size()));
    poPixels->m_iWidth = RECOIL_GetWidth(poDecoder);
    poPixels->m_iHeight = RECOIL_GetHeight(poDecoder);
    const int* piPixels = RECOIL_GetPixels(poDecoder);
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

const int g_aiLevel3[8] = {0, 36, 73, 109, 146, 182, 219, 255};

int iLevelColor(const char* psz, int iIndex)
{
    int iColor = 0;
    for (int c = 0; c < 3; c++)
        iColor = iColor << 8 | g_aiLevel3[psz[3 * iIndex + c] - '0'];
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
    tdRetroPixels oNone;
    for (const std::pair<int, int>& o : aoPatches)
        EXPECT_FALSE(bDecodeRetro(pszName, aucPatched(auc, {o}), &oNone))
            << pszName << " byte " << o.first << " = " << o.second;
    for (int i : aiCuts)
    {
        tdBytes aucCut(auc.begin(), i < 0 ? auc.end() + i : auc.begin() + std::min<size_t>(i, auc.size()));
        aucCut.resize(i < 0 ? aucCut.size() : static_cast<size_t>(i), 0);
        EXPECT_FALSE(bDecodeRetro(pszName, aucCut, &oNone)) << pszName << " cut " << i;
    }
}

tdBytes aucBytes(std::initializer_list<int> ai)
{
    return tdBytes(ai.begin(), ai.end());
}

tdBytes aucRandom(size_t uiCount, uint32_t uiSeed)
{
    tdTestRandom oRandom = {uiSeed};
    tdBytes auc(uiCount);
    for (unsigned char& c : auc)
        c = static_cast<unsigned char>(oRandom.uiNext(256));
    return auc;
}

tdBytes aucBSAVE(const tdBytes& aucVRAM, int iEnd)
{
    tdBytes aucOut = aucBytes({0xFE, 0, 0, iEnd, iEnd >> 8, 0, 0});
    aucOut.resize(static_cast<size_t>(8 + iEnd));
    std::copy_n(aucVRAM.begin(), iEnd + 1, aucOut.begin() + 7);
    return aucOut;
}
