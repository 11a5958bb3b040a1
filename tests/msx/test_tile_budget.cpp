// Tile budgets of the pattern screens. Oracles: the video chip model (the stream,
// loaded as video memory, renders as the encoder's painted picture), the tables
// themselves (distinct tiles per bank counted from the names), and a picture made of
// few tiles, which a budget must leave exactly as the encoder without one paints it.

#include "tests/msx/msx_helpers.h"

#include "qev/base/settings.h"
#include "qev/msx/encoder_pattern.h"
#include "qev/msx/tile_budget.h"

#include <array>
#include <memory>
#include <set>

namespace
{
using tdTileBytes = std::array<unsigned char, 16>; // 8 pattern bytes, 8 colour bytes

// The tile each cell shows, as its pattern and colour bytes read through the name table.
tdTileBytes oTileOfCell(const unsigned char* pucVRAM, int iCell)
{
    const int iBank = 0x800 * (iCell / 256);
    const int iName = pucVRAM[0x1800 + iCell];
    tdTileBytes a;
    std::copy(pucVRAM + iBank + 8 * iName, pucVRAM + iBank + 8 * iName + 8, a.begin());
    std::copy(pucVRAM + 0x2000 + iBank + 8 * iName, pucVRAM + 0x2000 + iBank + 8 * iName + 8, a.begin() + 8);
    return a;
}

// A 256 x 192 picture of palette colours built from iTiles different tiles, each row of
// a tile in two colours, spread over the cells at random.
Image* poFewTiles(int iTiles, const Color* poPalette)
{
    Image* po = new Image(256, 192, 3, Background_Black, 1.0);
    uint32_t uiState = 99;
    auto iRandom = [&uiState](int iRange)
    {
        uiState = uiState * 1664525u + 1013904223u;
        return static_cast<int>((uiState >> 8) % static_cast<uint32_t>(iRange));
    };
    std::vector<std::array<int, 64>> aaiTiles(iTiles);
    for (auto& ai : aaiTiles)
        for (int l = 0; l < 8; l++)
        {
            const int iA = iRandom(16), iB = iRandom(16), iPattern = iRandom(256);
            for (int k = 0; k < 8; k++)
                ai[8 * l + k] = iPattern & (0x80 >> k) ? iA : iB;
        }
    for (int n = 0; n < 768; n++)
    {
        const auto& ai = aaiTiles[n < iTiles ? n : iRandom(iTiles)];
        for (int p = 0; p < 64; p++)
            po->vSetPixel(8 * (n % 32) + p % 8, 8 * (n / 32) + p / 8, &poPalette[ai[p]]);
    }
    return po;
}
} // namespace

TEST(TileBudgetTest, BanksKeepTheBudgetAndRenderAsPainted)
{
    // clang-format off
    struct tdRow { tdTestPictureKind m_eKind; double m_fDiffusion; int m_iTiles; bool m_bShared; bool m_bBayer; };
    const tdRow aoRows[] = {{TestPicture_Noise, 0.8, 64, false, false}, {TestPicture_Gradient, 0.8, 256, true, false},
                            {TestPicture_Noise, 0.0, 1, true, false},    {TestPicture_Gradient, 0.0, 100, false, true},
                            {TestPicture_Flat, 0.8, 32, true, true},      {TestPicture_Noise, 0.8, 255, false, false}};
    // clang-format on
    for (const tdRow& o : aoRows)
    {
        SCOPED_TRACE("row " + std::to_string(&o - aoRows));
        std::unique_ptr<Image> poImage(poMakeTestPicture(o.m_eKind, 256, 192, 1.0, 11, 29, 13));
        if (o.m_bBayer) poImage->vSetDitheringMode(Dithering_Bayer4x4, 0.2, 0, 1);
        Palette oPalette(g_aoOddPalette);
        Image oPainted(256, 192, 3, Background_Black, 1.0);
        tdByteArray oStream;
        const tdTileBudget oBudget = {o.m_iTiles, o.m_bShared};
        const tdErrorTriple oError = oWriteImageToScreen2WithBudget(poImage.get(), &oPalette, o.m_fDiffusion,
                                                                    &oStream, CompressionType_None, &oPainted,
                                                                    1.0, DeltaMethod_RGB, 0.7, oBudget);
        EXPECT_GT(oError.fRed + oError.fGreen + oError.fBlue, 0.0);
        ASSERT_EQ(oStream.m_iSize, 0x3800);
        const unsigned char* puc = oStream.m_pucData;

        // Per bank (or the one shared): the distinct tiles the names reach, within the
        // budget, in slots 0, 1, ... in order of first use, and all slots beyond them zero.
        std::set<tdTileBytes> oShared;
        std::set<tdTileBytes> oBank;
        int iNextSlot = 0;
        for (int b = 0; b < 3; b++)
        {
            if (!o.m_bShared)
            {
                oBank.clear();
                iNextSlot = 0;
            }
            for (int n = 256 * b; n < 256 * (b + 1); n++)
            {
                const int iName = puc[0x1800 + n];
                ASSERT_LE(iName, iNextSlot) << "cell " << n;
                if (iName == iNextSlot) iNextSlot++;
                oBank.insert(oTileOfCell(puc, n));
                oShared.insert(oTileOfCell(puc, n));
            }
            EXPECT_EQ(static_cast<int>(oBank.size()), iNextSlot) << "a tile stands in the bank twice";
            EXPECT_LE(iNextSlot, o.m_iTiles);
            for (int i = 0x800 * b + 8 * iNextSlot; i < 0x800 * (b + 1) && (!o.m_bShared || b == 2); i++)
                ASSERT_TRUE(puc[i] == 0 && puc[0x2000 + i] == 0) << "unused slot byte " << i;
            for (int i = 0; o.m_bShared && b > 0 && i < 0x800; i++)
                ASSERT_TRUE(puc[0x800 * b + i] == puc[i] && puc[0x2000 + 0x800 * b + i] == puc[0x2000 + i])
                    << "the shared bank differs in third " << b << " at " << i;
        }
        if (o.m_bShared)
        {
            EXPECT_LE(static_cast<int>(oShared.size()), o.m_iTiles);
        }
        for (int i = 0x1B00; i < 0x2000; i++)
            ASSERT_EQ(puc[i], 0);

        VDP oVDP;
        std::copy(oPalette.m_aoColors, oPalette.m_aoColors + 16, oVDP.m_poPalette);
        memcpy(oVDP.m_pucVRAM, puc, 0x3800);
        std::unique_ptr<Image> poRendered(oVDP.poGetScreen2Image());
        EXPECT_EQ(aucTopDownTexels(&oPainted), aucTopDownTexels(poRendered.get()));

        int aiCounts[3];
        vCountTiles(&oPainted, o.m_bShared, aiCounts);
        EXPECT_TRUE(aiCounts[0] > 0 && aiCounts[0] <= o.m_iTiles && aiCounts[1] <= o.m_iTiles &&
                    aiCounts[2] <= o.m_iTiles && (!o.m_bShared || aiCounts[1] + aiCounts[2] == 0));
    }
}

TEST(TileBudgetTest, APictureWithinTheBudgetKeepsExactlyItsTiles)
{
    Palette oPalette(g_aoOddPalette);
    std::unique_ptr<Image> poImage(poFewTiles(40, g_aoOddPalette));
    Image oPlain(256, 192, 3, Background_Black, 1.0);
    const tdErrorTriple oPlainError =
        oWriteImageToScreen2(poImage.get(), &oPalette, 0.8, nullptr, CompressionType_None, &oPlain, 1.0, true,
                             DeltaMethod_RGB, 0.7);
    EXPECT_EQ(oPlainError.fRed + oPlainError.fGreen + oPlainError.fBlue, 0.0);
    for (const bool bShared : {false, true})
    {
        Image oBudgeted(256, 192, 3, Background_Black, 1.0);
        tdByteArray oStream;
        const tdErrorTriple oError = oWriteImageToScreen2WithBudget(
            poImage.get(), &oPalette, 0.8, &oStream, CompressionType_None, &oBudgeted, 1.0, DeltaMethod_RGB,
            0.7, {bShared ? 40 : 64, bShared});
        EXPECT_EQ(oError.fRed + oError.fGreen + oError.fBlue, 0.0);
        EXPECT_EQ(aucTopDownTexels(&oPlain), aucTopDownTexels(&oBudgeted));
        int aiCounts[3], aiPlainCounts[3];
        vCountTiles(&oBudgeted, bShared, aiCounts);
        vCountTiles(&oPlain, bShared, aiPlainCounts);
        EXPECT_TRUE(std::equal(aiCounts, aiCounts + 3, aiPlainCounts));
        EXPECT_EQ(aiCounts[0], 40);
    }
}
