// Palette building, queries and palette files.
//
// Oracles: histograms and palettes small enough to work out by hand (each case
// says how), a straightforward builder written here from the algorithm's
// description that calls fColorDelta for every distance (the library looks
// distances up in tables and skips empty bins; both must give the same palette
// bit for bit), invariants on larger pictures, and byte layouts of the files.

#include "qev/color/palette.h"

#include "qev/base/sample_picture.h"
#include "qev/color/color_delta.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
// ---------------------------------------------------------------------------
// Pictures

Image* poUniform(int iWidth, int iHeight, Color oColor)
{
    Image* po = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
            po->vSetPixel(x, y, &oColor);
    return po;
}

// A picture of one row holding each colour as many times as its count.
Image* poStrip(const std::vector<std::pair<Color, int>>& aoRuns)
{
    int iWidth = 0;
    for (const auto& o : aoRuns)
        iWidth += o.second;
    Image* po = new Image(iWidth, 1, 3, Background_None, 1.0);
    int x = 0;
    for (const auto& o : aoRuns)
        for (int i = 0; i < o.second; i++)
            po->vSetPixel(x++, 0, &o.first);
    return po;
}

// Smooth multi-colour waves with noise of +-iNoise / 2, like a photograph.
Image* poPhotoLike(int iWidth, int iHeight, uint32_t uiSeed, int iNoise)
{
    Image* po = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    uint32_t uiState = uiSeed * 2654435761u + 1;
    double fPhase = uiSeed * 0.7;
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
        {
            double afWave[3] = {
                sin(x * 0.031 + y * 0.012 + fPhase),
                sin(x * 0.011 - y * 0.027 + 2.0 * fPhase + 1.0),
                sin((x + y) * 0.019 + 3.0 * fPhase + 2.0) * cos(y * 0.023),
            };
            unsigned char auc[3];
            for (int c = 0; c < 3; c++)
            {
                uiState = uiState * 1664525u + 1013904223u;
                int iNoiseValue =
                    iNoise ? static_cast<int>((uiState >> 8) % static_cast<uint32_t>(iNoise + 1)) - iNoise / 2
                           : 0;
                int v = static_cast<int>(lround(127.5 + 127.5 * afWave[c])) + iNoiseValue;
                auc[c] = static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
            Color o = {auc[0], auc[1], auc[2], 255};
            po->vSetPixel(x, y, &o);
        }
    return po;
}

// Every pixel random: nearly all 512 bins used.
Image* poNoise(int iWidth, int iHeight, uint32_t uiSeed)
{
    Image* po = new Image(iWidth, iHeight, 3, Background_None, 1.0);
    uint32_t uiState = uiSeed;
    for (int y = 0; y < iHeight; y++)
        for (int x = 0; x < iWidth; x++)
        {
            uiState = uiState * 1664525u + 1013904223u;
            Color o = {static_cast<unsigned char>(uiState >> 24), static_cast<unsigned char>(uiState >> 16),
                       static_cast<unsigned char>(uiState >> 8), 255};
            po->vSetPixel(x, y, &o);
        }
    return po;
}

Color oRGB(int r, int g, int b)
{
    return {static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b), 0};
}

bool bSameRGB(const Color& o1, const Color& o2)
{
    return o1.r == o2.r && o1.g == o2.g && o1.b == o2.b;
}

std::string sRGB(const Color& o)
{
    return "(" + std::to_string(o.r) + "," + std::to_string(o.g) + "," + std::to_string(o.b) + ")";
}

#define EXPECT_RGB(color, red, green, blue) EXPECT_EQ(sRGB(color), sRGB(oRGB(red, green, blue)))

// ---------------------------------------------------------------------------
// The straightforward builder: the algorithm as described, every distance from
// fColorDelta, every bin visited, links as indices (-1 for none). The library's
// decisions on degenerate input are mirrored: requested counts are taken as
// 1..16, a bin without a second contributes nothing to a cost, costs that never
// beat DBL_MAX remove the lowest used bin, and a bin without a nearest keeps its
// weight at the end.

struct tdRefBin
{
    bool bUsed = false;
    double fWeight = 0.0;
    double fCost = 0.0;
    int iNearest = -1;
    int iSecond = -1;
};

struct tdRefBuilder
{
    tdDeltaMethod m_eMethod;
    double m_fWeight;
    double m_fExponent;
    unsigned int m_uiCount = 16;
    Color m_aoColors[16] = {};
    tdRefBin m_aoBins[512];
    tdRefBin m_aoOriginal[512];

    static Color oBin(int i) { return oRGB(i >> 6, (i >> 3) & 7, i & 7); }

    double fBinDelta(int i, int j, double fExponent) const
    {
        Color o1 = oBin(i), o2 = oBin(j);
        return fColorDelta(&o1, &o2, fExponent, 7.0, m_eMethod, m_fWeight);
    }

    double fValue(int t) const
    {
        double fSum = 0.0;
        for (int x = 0; x < 512; x++)
        {
            const tdRefBin& o = m_aoBins[x];
            if (o.iNearest != t || o.iSecond < 0) continue;
            fSum += fabs(fBinDelta(t, x, m_fExponent) - fBinDelta(o.iSecond, x, m_fExponent)) * o.fWeight;
        }
        return fSum;
    }

    void vInit(int e)
    {
        double fBest = DBL_MAX, fSecond = DBL_MAX;
        int iBest = -1, iSecond = -1;
        for (int u = 0; u < 512; u++)
        {
            if (!m_aoBins[u].bUsed) continue;
            double d = fBinDelta(e, u, m_fExponent);
            if (d <= fBest)
            {
                iSecond = iBest;
                fSecond = fBest;
                iBest = u;
                fBest = d;
            }
            else if (d <= fSecond)
            {
                iSecond = u;
                fSecond = d;
            }
        }
        int iOld = m_aoBins[e].iNearest;
        m_aoBins[e].iNearest = iBest;
        m_aoBins[e].iSecond = iSecond;
        if (iOld >= 0) m_aoBins[iOld].fCost = fValue(iOld);
        if (iBest >= 0) m_aoBins[iBest].fCost = fValue(iBest);
    }

    int iUsed() const
    {
        int n = 0;
        for (const tdRefBin& o : m_aoBins)
            n += o.bUsed ? 1 : 0;
        return n;
    }

    void vReduce(int iTarget)
    {
        for (int i = 0; i < 512; i++)
            vInit(i);
        while (iUsed() > iTarget)
        {
            double fBest = DBL_MAX;
            int iRemove = -1;
            for (int i = 0; i < 512; i++)
                if (m_aoBins[i].bUsed && m_aoBins[i].fCost < fBest)
                {
                    fBest = m_aoBins[i].fCost;
                    iRemove = i;
                }
            if (iRemove < 0)
                for (int i = 511; i >= 0; i--)
                    if (m_aoBins[i].bUsed) iRemove = i;
            m_aoBins[iRemove].bUsed = false;
            for (int i = 0; i < 512; i++)
                if (m_aoBins[i].iNearest == iRemove || m_aoBins[i].iSecond == iRemove) vInit(i);
        }
        for (int i = 0; i < 512; i++)
        {
            tdRefBin& o = m_aoBins[i];
            if (o.bUsed)
                o.iNearest = o.iSecond = -1;
            else if (o.iNearest >= 0)
            {
                m_aoBins[o.iNearest].fWeight += o.fWeight;
                o.fWeight = 0.0;
            }
        }
    }

    void vCreate()
    {
        if (iUsed() > static_cast<int>(m_uiCount)) vReduce(static_cast<int>(m_uiCount));
        unsigned int n = 0;
        double afWeights[16];
        for (int i = 0; i < 512 && n < 16; i++)
            if (m_aoBins[i].bUsed)
            {
                Color o = oBin(i);
                m_aoColors[n].r = o.r;
                m_aoColors[n].g = o.g;
                m_aoColors[n].b = o.b;
                afWeights[n++] = m_aoBins[i].fWeight;
            }
        for (bool bSwapped = true; bSwapped;)
        {
            bSwapped = false;
            for (unsigned int k = 0; k + 1 < n; k++)
                if (afWeights[k + 1] > afWeights[k])
                {
                    std::swap(afWeights[k], afWeights[k + 1]);
                    std::swap(m_aoColors[k], m_aoColors[k + 1]);
                    bSwapped = true;
                }
        }
        m_uiCount = n;
        if (n >= 1)
            for (unsigned int k = n; k < 16; k++)
                m_aoColors[k] = m_aoColors[n - 1];
    }

    double fPaletteDelta() const
    {
        double fTotal = 0.0;
        for (int i = 0; i < 512; i++)
        {
            if (m_aoOriginal[i].fWeight == 0.0) continue;
            Color oBinColor = oBin(i);
            double fBest = DBL_MAX;
            unsigned int uiNearest = 0;
            for (unsigned int k = 0; k < m_uiCount; k++)
            {
                double d = fColorDelta(&oBinColor, &m_aoColors[k], 1.0, 7.0, m_eMethod, m_fWeight);
                if (d < fBest)
                {
                    fBest = d;
                    uiNearest = k;
                }
            }
            fTotal += m_aoOriginal[i].fWeight *
                      fColorDelta(&oBinColor, &m_aoColors[uiNearest], m_fExponent, 7.0, m_eMethod, m_fWeight);
        }
        return fTotal;
    }

    static unsigned char* puc(Color* po, int c) { return c == 0 ? &po->r : (c == 1 ? &po->g : &po->b); }

    void vGradient()
    {
        for (;;)
        {
            double fError = fPaletteDelta();
            if (m_uiCount == 0) return;
            bool bChanged = false;
            for (unsigned int k = 0; k < m_uiCount; k++)
                for (int c = 0; c < 3; c++)
                {
                    unsigned char* p = puc(&m_aoColors[k], c);
                    int v = *p;
                    double fDown = DBL_MAX, fUp = DBL_MAX;
                    if (v > 0)
                    {
                        *p = static_cast<unsigned char>(v - 1);
                        fDown = fPaletteDelta();
                    }
                    if (v < 7)
                    {
                        *p = static_cast<unsigned char>(v + 1);
                        fUp = fPaletteDelta();
                    }
                    *p = static_cast<unsigned char>(v);
                    if ((fError > fUp || fError > fDown) && (fDown > fUp ? v < 7 : v > 0))
                    {
                        *p = static_cast<unsigned char>(fDown > fUp ? v + 1 : v - 1);
                        fError = fDown > fUp ? fUp : fDown;
                        bChanged = true;
                    }
                }
            if (!bChanged) return;
        }
    }

    void vAreaSearch()
    {
        for (unsigned int k = 0; k < m_uiCount; k++)
            for (int c = 0; c < 3; c++)
            {
                unsigned char* p = puc(&m_aoColors[k], c);
                unsigned char ucBest = *p;
                double fBest = DBL_MAX;
                for (int l = 0; l < 8; l++)
                {
                    *p = static_cast<unsigned char>(l);
                    double f = fPaletteDelta();
                    if (f < fBest)
                    {
                        fBest = f;
                        ucBest = static_cast<unsigned char>(l);
                    }
                }
                *p = ucBest;
            }
    }

    void vBuild(const Image* poImage, unsigned int uiCount)
    {
        m_uiCount = uiCount < 1 ? 1 : (uiCount > 16 ? 16 : uiCount);
        for (int y = 0; y < poImage->m_iHeight; y++)
            for (int x = 0; x < poImage->m_iWidth; x++)
            {
                Color o = poImage->oGetPixel(x, y);
                int iBin = (7 * o.r + 127) / 255 * 64 + (7 * o.g + 127) / 255 * 8 + (7 * o.b + 127) / 255;
                if (m_aoBins[iBin].fWeight == 0.0) m_aoBins[iBin].bUsed = true;
                m_aoBins[iBin].fWeight += 1.0;
            }
        std::copy(std::begin(m_aoBins), std::end(m_aoBins), std::begin(m_aoOriginal));
        vCreate();
        vGradient();
        vAreaSearch();
        for (unsigned int k = 0; k < m_uiCount; k++)
            for (int c = 0; c < 3; c++)
                *puc(&m_aoColors[k], c) = static_cast<unsigned char>((255 * *puc(&m_aoColors[k], c) + 3) / 7);
    }
};

// ---------------------------------------------------------------------------
// Levels

TEST(PaletteLevelsTest, ByteToLevelBoundariesAndBack)
{
    // clang-format off
    //                          level:  0   1   2    3    4    5    6    7
    const int aiFirstByte[8] =        { 0, 19, 55,  92, 128, 164, 201, 237};
    const int aiByte[8] =             { 0, 36, 73, 109, 146, 182, 219, 255};
    // clang-format on
    for (int l = 0; l < 8; l++)
    {
        EXPECT_EQ(iLevelFromByte(aiFirstByte[l]), l);
        if (l > 0)
        {
            EXPECT_EQ(iLevelFromByte(aiFirstByte[l] - 1), l - 1);
        }
        EXPECT_EQ(iByteFromLevel(l), aiByte[l]);
        EXPECT_EQ(iLevelFromByte(aiByte[l]), l);
    }
    for (int v = 0; v < 256; v++)
        EXPECT_EQ(iLevelFromByte(v), static_cast<int>(floor((7.0 * v + 127.0) / 255.0))) << v;
}

// ---------------------------------------------------------------------------
// Building from small pictures worked out by hand

TEST(PaletteBuildTest, FewColoursAreKeptInOrderOfDecreasingCount)
{
    // Three level colours, fewer than requested: no merging, the count is 3, the
    // colours come by count (9, 5, 2) and the filler slots hold the last colour
    // still as levels. Each colour is its own nearest, so both searches find
    // error 0 and move nothing.
    std::unique_ptr<Image> po(
        poStrip({{oRGB(255, 0, 0), 5}, {oRGB(0, 36, 73), 9}, {oRGB(146, 146, 146), 2}}));
    Palette oPalette(po.get(), 16, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 3u);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 36, 73);
    EXPECT_RGB(oPalette.m_aoColors[1], 255, 0, 0);
    EXPECT_RGB(oPalette.m_aoColors[2], 146, 146, 146);
    for (int k = 3; k < 16; k++)
        EXPECT_RGB(oPalette.m_aoColors[k], 4, 4, 4);
}

TEST(PaletteBuildTest, BytesWithinOneLevelShareABin)
{
    // 18 and 0 are level 0, 19 and 54 level 1: two bins of 4 and 6 pixels.
    std::unique_ptr<Image> po(
        poStrip({{oRGB(18, 0, 0), 2}, {oRGB(0, 0, 0), 2}, {oRGB(19, 19, 19), 3}, {oRGB(54, 54, 54), 3}}));
    Palette oPalette(po.get(), 4, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 2u);
    EXPECT_RGB(oPalette.m_aoColors[0], 36, 36, 36);
    EXPECT_RGB(oPalette.m_aoColors[1], 0, 0, 0);
    EXPECT_EQ(oPalette.m_aoOriginalEntries[0].fWeight, 4.0);
    EXPECT_EQ(oPalette.m_aoOriginalEntries[73].fWeight, 6.0);
    EXPECT_EQ(oPalette.m_uiUsedEntries, 2u);
}

TEST(PaletteBuildTest, EqualCountsKeepBinOrder)
{
    std::unique_ptr<Image> po(
        poStrip({{oRGB(255, 255, 255), 3}, {oRGB(0, 0, 255), 3}, {oRGB(255, 0, 0), 3}}));
    Palette oPalette(po.get(), 16, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 3u);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 255);     // bin 7
    EXPECT_RGB(oPalette.m_aoColors[1], 255, 0, 0);     // bin 448
    EXPECT_RGB(oPalette.m_aoColors[2], 255, 255, 255); // bin 511
}

TEST(PaletteBuildTest, UniformPictureGivesOneColourAndResizeCopiesIt)
{
    std::unique_ptr<Image> po(poUniform(7, 5, oRGB(100, 200, 30)));
    Palette oPalette(po.get(), 16, nullptr, 1.0, DeltaMethod_CIEDE2000, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 1u);
    EXPECT_RGB(oPalette.m_aoColors[0], 109, 182, 36);
    oPalette.vResize(16);
    EXPECT_EQ(oPalette.m_uiColorCount, 16u);
    for (int k = 0; k < 16; k++)
        EXPECT_RGB(oPalette.m_aoColors[k], 109, 182, 36);
}

TEST(PaletteBuildTest, OneMerge)
{
    // Black x10, (36, 0, 0) x3, white x5, two colours wanted. A used bin's cost is
    // its weight times the distance to its second-nearest bin (empty bins weigh 0):
    // black 10/49, (1, 0, 0) 3/49, white 5 * ((6/7)^2 + 2). (1, 0, 0) goes, its
    // pixels join black (13 against 5). Moving black's red up to level 1 would cost
    // the 10 black pixels 10/49 for the 3 others' 3/49, so neither search moves.
    // Black's cost afterwards counts its own pixels (second nearest: white, 3.0)
    // and the merged bin's (1/49 to black against 36/49 + 2 to white).
    std::unique_ptr<Image> po(poStrip({{oRGB(0, 0, 0), 10}, {oRGB(36, 0, 0), 3}, {oRGB(255, 255, 255), 5}}));
    Palette oPalette(po.get(), 2, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 2u);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 0);
    EXPECT_RGB(oPalette.m_aoColors[1], 255, 255, 255);
    EXPECT_EQ(oPalette.m_aoEntries[0].fWeight, 13.0);
    EXPECT_EQ(oPalette.m_aoEntries[64].fWeight, 0.0);
    EXPECT_EQ(oPalette.m_aoEntries[64].bUsed, 0);
    EXPECT_EQ(oPalette.m_aoOriginalEntries[64].fWeight, 3.0);
    EXPECT_NEAR(oPalette.m_aoEntries[0].fCost, 10.0 * 3.0 + 3.0 * (36.0 / 49.0 + 2.0 - 1.0 / 49.0), 1e-12);
}

TEST(PaletteBuildTest, RemovalCostTieRemovesTheLowerBin)
{
    // Bins 0 and 1 (blue levels 0 and 1) of weight 1 cost 1/49 each; the far white
    // bin costs far more. Bin 0 goes, so bin 1 survives with both pixels.
    Palette oPalette;
    oPalette.vAddPixel(oRGB(0, 0, 0));
    oPalette.vAddPixel(oRGB(0, 0, 1));
    oPalette.vAddWeightedPixel(oRGB(7, 7, 7), 100.0);
    EXPECT_EQ(oPalette.m_uiUsedEntries, 3u);
    oPalette.m_fDetailsEnhancement = 1.0;
    oPalette.m_uiColorCount = 2;
    oPalette.vCreatePalette(DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 2u);
    EXPECT_RGB(oPalette.m_aoColors[0], 7, 7, 7);
    EXPECT_RGB(oPalette.m_aoColors[1], 0, 0, 1);
    EXPECT_EQ(oPalette.m_aoEntries[1].fWeight, 2.0);
    EXPECT_EQ(oPalette.m_aoEntries[0].bUsed, 0);
}

// Sets up a level palette and an original histogram for the searches.
void vSetUpSearch(Palette* po, std::vector<std::pair<Color, double>> aoPixels, std::vector<Color> aoColors,
                  double fExponent)
{
    for (const auto& o : aoPixels)
        po->vAddWeightedPixel(o.first, o.second);
    memcpy(po->m_aoOriginalEntries, po->m_aoEntries, sizeof(po->m_aoEntries));
    po->m_fDetailsEnhancement = fExponent;
    po->m_uiColorCount = static_cast<unsigned int>(aoColors.size());
    for (size_t k = 0; k < aoColors.size(); k++)
        po->m_aoColors[k] = aoColors[k];
}

TEST(PaletteSearchTest, GradientTieMovesDown)
{
    // Pixels at blue levels 0 and 2, one colour at blue 1, exponent 0.25. The error
    // at 1 is 2 (1/7)^0.5; at 0 and at 2 it is (2/7)^0.5 both, which is smaller:
    // equal errors up and down move down.
    Palette oPalette;
    vSetUpSearch(&oPalette, {{oRGB(0, 0, 0), 1.0}, {oRGB(0, 0, 2), 1.0}}, {oRGB(0, 0, 1)}, 0.25);
    double fBefore = oPalette.fPaletteDelta(DeltaMethod_RGB, 1.0);
    oPalette.vAdjustGradient(DeltaMethod_RGB, 1.0);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 0);
    EXPECT_LT(oPalette.fPaletteDelta(DeltaMethod_RGB, 1.0), fBefore);
}

TEST(PaletteSearchTest, GradientDoesNotMoveOnAnEqualNeighbour)
{
    // Pixels at blue 0 and 1, colour at blue 1, exponent 0.5: the error is 1/7 at
    // both 0 and 1; a step needs a strictly smaller error.
    Palette oPalette;
    vSetUpSearch(&oPalette, {{oRGB(0, 0, 0), 1.0}, {oRGB(0, 0, 1), 1.0}}, {oRGB(0, 0, 1)}, 0.5);
    oPalette.vAdjustGradient(DeltaMethod_RGB, 1.0);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 1);
}

TEST(PaletteSearchTest, GradientWalksDownhillStepByStep)
{
    // One colour at (0, 7, 3), all pixels at (5, 1, 6): squared RGB error is
    // separable, so the descent walks each channel to the pixels' level.
    Palette oPalette;
    vSetUpSearch(&oPalette, {{oRGB(5, 1, 6), 4.0}}, {oRGB(0, 7, 3)}, 1.0);
    oPalette.vAdjustGradient(DeltaMethod_RGB, 1.0);
    EXPECT_RGB(oPalette.m_aoColors[0], 5, 1, 6);
    EXPECT_EQ(oPalette.fPaletteDelta(DeltaMethod_RGB, 1.0), 0.0);
}

TEST(PaletteSearchTest, AreaSearchTieKeepsTheLowestLevel)
{
    // The same set-up as above: levels 0 and 1 give the same error; 0 is kept.
    Palette oPalette;
    vSetUpSearch(&oPalette, {{oRGB(0, 0, 0), 1.0}, {oRGB(0, 0, 1), 1.0}}, {oRGB(0, 0, 1)}, 0.5);
    oPalette.vAdjustAreaSearch(DeltaMethod_RGB, 1.0);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 0);
}

TEST(PaletteSearchTest, AreaSearchJumpsToTheBestLevelPerChannel)
{
    Palette oPalette;
    vSetUpSearch(&oPalette, {{oRGB(5, 1, 6), 4.0}}, {oRGB(0, 7, 3)}, 1.0);
    oPalette.vAdjustAreaSearch(DeltaMethod_RGB, 1.0);
    EXPECT_RGB(oPalette.m_aoColors[0], 5, 1, 6);
}

TEST(PaletteSearchTest, AreaSearchSearchesChannelsInTurnWithTheOthersAsTheyAre)
{
    // Colour 0 (0, 7, 3), colour 1 white; pixels (5, 1, 6) x4 and white x1, errors
    // in 49ths. While colour 0's green is 7, white is nearer to the (5, 1, 6) pixels
    // whatever red is, so every red level errs alike and red stays at the lowest,
    // 0; green then goes to 1 and blue to 6 ((5, 1, 6) now errs 4 x 25). Colour 1:
    // red stays 7; green 2 gives 4 x 6 + 25 = 49, below 7 (100), 1 (56) and 3 (52);
    // blue 6 then gives 4 x 5 + 26 = 46, below 7 (49) and 5 (53).
    Palette oPalette;
    vSetUpSearch(&oPalette, {{oRGB(5, 1, 6), 4.0}, {oRGB(7, 7, 7), 1.0}}, {oRGB(0, 7, 3), oRGB(7, 7, 7)},
                 1.0);
    oPalette.vAdjustAreaSearch(DeltaMethod_RGB, 1.0);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 1, 6);
    EXPECT_RGB(oPalette.m_aoColors[1], 7, 2, 6);
}

TEST(PaletteSearchTest, PaletteErrorUsesNearestByExponentOneAndWeighsByExponentP)
{
    // Bin (0, 0, 2) of weight 3 against colours (0, 0, 0) and (0, 0, 3): nearest is
    // (0, 0, 3) at (1/7)^2; with p = 2 the error is 3 (1/7)^4.
    Palette oPalette;
    vSetUpSearch(&oPalette, {{oRGB(0, 0, 2), 3.0}}, {oRGB(0, 0, 0), oRGB(0, 0, 3)}, 2.0);
    double fSeventh = 1.0 / 7.0;
    EXPECT_NEAR(oPalette.fPaletteDelta(DeltaMethod_RGB, 1.0), 3.0 * pow(fSeventh * fSeventh, 2.0), 1e-15);
    // Without colours nothing is measured against nothing.
    Palette oEmpty;
    EXPECT_EQ(oEmpty.fPaletteDelta(DeltaMethod_RGB, 1.0), 0.0);
}

TEST(PaletteBuildTest, RectangleSelectsTheArea)
{
    // Left half red, right half blue.
    std::unique_ptr<Image> po(new Image(8, 4, 3, Background_None, 1.0));
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 8; x++)
        {
            Color o = x < 4 ? oRGB(255, 0, 0) : oRGB(0, 0, 255);
            po->vSetPixel(x, y, &o);
        }
    tdRectangle oRight = {4, 0, 4, 4};
    Palette oPalette(po.get(), 16, &oRight, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 1u);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 255);

    // Negative corners start at 0; the size is limited to the picture's.
    tdRectangle oLeft = {-3, -3, 4, 100};
    oPalette.vLoadFromImage(po.get(), 16, &oLeft, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 1u);
    EXPECT_RGB(oPalette.m_aoColors[0], 255, 0, 0);
    EXPECT_EQ(oPalette.m_aoOriginalEntries[448].fWeight, 16.0);

    // A rectangle reaching past the right edge reads black there: 2 blue and 2
    // black columns of 4 rows, equal counts in bin order.
    tdRectangle oPast = {6, 0, 4, 4};
    oPalette.vLoadFromImage(po.get(), 16, &oPast, 1.0, DeltaMethod_RGB, 1.0);
    ASSERT_EQ(oPalette.m_uiColorCount, 2u);
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 0);
    EXPECT_RGB(oPalette.m_aoColors[1], 0, 0, 255);
    EXPECT_EQ(oPalette.m_aoOriginalEntries[0].fWeight, 8.0);
}

TEST(PaletteBuildTest, EmptyAreaLeavesCountZeroAndColoursAlone)
{
    std::unique_ptr<Image> po(poUniform(4, 4, oRGB(255, 255, 255)));
    Palette oPalette(g_aoMSX2Palette);
    tdRectangle oNone = {0, 0, 0, 4};
    oPalette.vLoadFromImage(po.get(), 16, &oNone, 1.0, DeltaMethod_LAB, 1.0);
    EXPECT_EQ(oPalette.m_uiColorCount, 0u);
    EXPECT_EQ(0, memcmp(oPalette.m_aoColors, g_aoMSX2Palette, sizeof(oPalette.m_aoColors)));
    EXPECT_EQ(oPalette.fPaletteDelta(DeltaMethod_LAB, 1.0), 0.0);
    oPalette.vResize(16);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(oPalette.m_aoColors[k].r | oPalette.m_aoColors[k].g | oPalette.m_aoColors[k].b |
                      oPalette.m_aoColors[k].a,
                  0);

    Palette oNull;
    oNull.vLoadFromImage(nullptr, 16, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oNull.m_uiColorCount, 0u);
}

TEST(PaletteBuildTest, RequestedCountsAreTakenAsOneToSixteen)
{
    std::unique_ptr<Image> po(poPhotoLike(40, 30, 3, 40));
    Palette oZero(po.get(), 0, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    Palette oOne(po.get(), 1, nullptr, 1.0, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oZero.m_uiColorCount, 1u);
    EXPECT_TRUE(bSameRGB(oZero.m_aoColors[0], oOne.m_aoColors[0]));
    for (unsigned int uiCount : {17u, 100u, 0xFFFFFFFFu})
    {
        Palette oMany(po.get(), uiCount, nullptr, 1.0, DeltaMethod_RGB, 1.0);
        Palette oSixteen(po.get(), 16, nullptr, 1.0, DeltaMethod_RGB, 1.0);
        EXPECT_EQ(oMany.m_uiColorCount, 16u);
        EXPECT_EQ(0, memcmp(oMany.m_aoColors, oSixteen.m_aoColors, sizeof(oMany.m_aoColors)));
    }
}

// ---------------------------------------------------------------------------
// Properties on larger pictures

struct tdPropertyCase
{
    int iPicture; // 0 sample picture, 1 photo-like, 2 noise
    tdDeltaMethod eMethod;
    unsigned int uiCount;
    double fExponent;
};

class PalettePropertyTest : public ::testing::TestWithParam<tdPropertyCase>
{
};

Image* poPicture(int iPicture)
{
    switch (iPicture)
    {
    case 0:
        return poCreateSamplePicture();
    case 1:
        return poPhotoLike(128, 96, 11, 30);
    default:
        return poNoise(64, 64, 5);
    }
}

TEST_P(PalettePropertyTest, StepsNeverWorsenTheErrorAndColoursAreLevels)
{
    const tdPropertyCase& o = GetParam();
    std::unique_ptr<Image> poImage(poPicture(o.iPicture));
    const double fWeight = 1.5;

    // The steps of vLoadFromImage one by one.
    Palette oSteps;
    oSteps.m_fDetailsEnhancement = o.fExponent;
    oSteps.m_uiColorCount = o.uiCount;
    for (int y = 0; y < poImage->m_iHeight; y++)
        for (int x = 0; x < poImage->m_iWidth; x++)
        {
            Color oPixel = poImage->oGetPixel(x, y);
            oSteps.vAddPixel(
                oRGB(iLevelFromByte(oPixel.r), iLevelFromByte(oPixel.g), iLevelFromByte(oPixel.b)));
        }
    memcpy(oSteps.m_aoOriginalEntries, oSteps.m_aoEntries, sizeof(oSteps.m_aoEntries));
    oSteps.vCreatePalette(o.eMethod, fWeight);
    ASSERT_GE(oSteps.m_uiColorCount, 1u);
    ASSERT_LE(oSteps.m_uiColorCount, o.uiCount);
    double fCreated = oSteps.fPaletteDelta(o.eMethod, fWeight);
    oSteps.vAdjustGradient(o.eMethod, fWeight);
    double fGradient = oSteps.fPaletteDelta(o.eMethod, fWeight);
    EXPECT_LE(fGradient, fCreated);
    oSteps.vAdjustAreaSearch(o.eMethod, fWeight);
    double fArea = oSteps.fPaletteDelta(o.eMethod, fWeight);
    EXPECT_LE(fArea, fGradient);

    // The merged weights add up to the pixel count.
    double fTotal = 0.0;
    for (const Palette::Entry& oEntry : oSteps.m_aoEntries)
        fTotal += oEntry.fWeight;
    EXPECT_EQ(fTotal, static_cast<double>(poImage->m_iWidth) * poImage->m_iHeight);

    Palette oBuilt(poImage.get(), o.uiCount, nullptr, o.fExponent, o.eMethod, fWeight);
    ASSERT_EQ(oBuilt.m_uiColorCount, oSteps.m_uiColorCount);
    const int aiBytes[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    for (unsigned int k = 0; k < oBuilt.m_uiColorCount; k++)
    {
        EXPECT_EQ(oBuilt.m_aoColors[k].r, aiBytes[oSteps.m_aoColors[k].r]) << k;
        EXPECT_EQ(oBuilt.m_aoColors[k].g, aiBytes[oSteps.m_aoColors[k].g]) << k;
        EXPECT_EQ(oBuilt.m_aoColors[k].b, aiBytes[oSteps.m_aoColors[k].b]) << k;
    }
}

// clang-format off
const tdPropertyCase g_aoPropertyCases[] = {
    // picture  method                   count  exponent
    {0,         DeltaMethod_RGB,         16,    1.0},
    {0,         DeltaMethod_XYZ,         16,    1.0},
    {0,         DeltaMethod_LAB,         16,    1.0},
    {0,         DeltaMethod_CIEDE2000,   16,    1.0},
    {0,         DeltaMethod_Hit9918,     16,    1.0},
    {0,         DeltaMethod_Oklab,       16,    1.0},
    {1,         DeltaMethod_RGB,          4,    1.0},
    {1,         DeltaMethod_CIEDE2000,    4,    1.5},
    {1,         DeltaMethod_Oklab,       16,    0.5},
    {2,         DeltaMethod_RGB,         16,    2.0},
    {2,         DeltaMethod_LAB,          7,    1.0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Palette, PalettePropertyTest, ::testing::ValuesIn(g_aoPropertyCases));

// ---------------------------------------------------------------------------
// The library's builder against the straightforward one

struct tdReferenceCase
{
    int iPicture; // 0 photo-like, 1 noise, 2 sample picture (cut), 3 few colours, 4 photo-like without noise
    tdDeltaMethod eMethod;
    unsigned int uiCount;
    double fExponent;
    double fWeight;
};

class PaletteReferenceTest : public ::testing::TestWithParam<tdReferenceCase>
{
};

Image* poReferencePicture(int iPicture)
{
    switch (iPicture)
    {
    case 0:
        return poPhotoLike(48, 40, 7, 36);
    case 1:
        return poNoise(40, 40, 17);
    case 2:
    {
        Image* po = poCreateSamplePicture();
        po->vCrop(120, 60);
        return po;
    }
    case 3:
        return poStrip({{oRGB(255, 0, 0), 7},
                        {oRGB(250, 10, 0), 5},
                        {oRGB(0, 0, 0), 7},
                        {oRGB(20, 20, 20), 7},
                        {oRGB(0, 255, 0), 3},
                        {oRGB(128, 128, 255), 7}});
    default:
        return poPhotoLike(64, 48, 23, 0);
    }
}

TEST_P(PaletteReferenceTest, SamePaletteBitForBit)
{
    const tdReferenceCase& o = GetParam();
    std::unique_ptr<Image> poImage(poReferencePicture(o.iPicture));

    tdRefBuilder oRef;
    oRef.m_eMethod = o.eMethod;
    oRef.m_fWeight = o.fWeight;
    oRef.m_fExponent = o.fExponent;
    oRef.vBuild(poImage.get(), o.uiCount);

    Palette oPalette(poImage.get(), o.uiCount, nullptr, o.fExponent, o.eMethod, o.fWeight);
    ASSERT_EQ(oPalette.m_uiColorCount, oRef.m_uiCount);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(sRGB(oPalette.m_aoColors[k]), sRGB(oRef.m_aoColors[k])) << k;
    for (int i = 0; i < 512; i++)
    {
        const Palette::Entry& oEntry = oPalette.m_aoEntries[i];
        ASSERT_EQ(oEntry.bUsed != 0, oRef.m_aoBins[i].bUsed) << i;
        ASSERT_EQ(oEntry.fWeight, oRef.m_aoBins[i].fWeight) << i;
        int iNearest = oEntry.poNearest ? static_cast<int>(oEntry.poNearest - oPalette.m_aoEntries) : -1;
        int iSecond = oEntry.poSecond ? static_cast<int>(oEntry.poSecond - oPalette.m_aoEntries) : -1;
        ASSERT_EQ(iNearest, oRef.m_aoBins[i].iNearest) << i;
        ASSERT_EQ(iSecond, oRef.m_aoBins[i].iSecond) << i;
        if (oEntry.bUsed)
        {
            ASSERT_EQ(oEntry.fCost, oRef.m_aoBins[i].fCost) << i;
        }
    }
}

// clang-format off
const tdReferenceCase g_aoReferenceCases[] = {
    // picture  method                        count  exponent  weight
    {0,         DeltaMethod_RGB,              16,    1.0,      1.0},
    {0,         DeltaMethod_RGB,               4,    1.0,      1.0},
    {0,         DeltaMethod_XYZ,              16,    1.0,      1.0},
    {0,         DeltaMethod_LAB,               8,    1.0,      1.0},
    {0,         DeltaMethod_CIEDE2000,        16,    1.0,      1.0},
    {0,         DeltaMethod_Hit9918,          16,    1.0,      2.5},
    {0,         DeltaMethod_Oklab,             4,    1.0,      1.0},
    {0,         DeltaMethod_RGB,              16,    2.0,      1.0},
    {0,         DeltaMethod_LAB,               5,    0.5,      1.0},
    {1,         DeltaMethod_RGB,              16,    1.0,      1.0},
    {1,         DeltaMethod_Hit9918,           2,    1.0,      0.0},
    {1,         DeltaMethod_CIEDE2000,         3,    1.25,     1.0},
    {2,         DeltaMethod_RGB,              16,    1.0,      1.0},
    {2,         DeltaMethod_Oklab,            16,    3.0,      1.0},
    {2,         DeltaMethod_XYZ,               1,    1.0,      1.0},
    {3,         DeltaMethod_RGB,               4,    1.0,      1.0},
    {3,         DeltaMethod_LAB,               2,    1.0,      1.0},
    {4,         DeltaMethod_RGB,              16,    1.0,      1.0},
    {4,         DeltaMethod_CIEDE2000,        16,    0.75,     1.0},
    // Degenerate distances: all zero (unknown method), all one (exponent 0),
    // infinite from a zero distance (negative exponent).
    {0,         static_cast<tdDeltaMethod>(6), 4,    1.0,      1.0},
    {3,         DeltaMethod_RGB,               3,    0.0,      1.0},
    {3,         DeltaMethod_RGB,               2,   -1.0,      1.0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Palette, PaletteReferenceTest, ::testing::ValuesIn(g_aoReferenceCases));

TEST(PaletteReferenceTest, SameAfterTablesAreReleasedAndForRepeatedBuilds)
{
    std::unique_ptr<Image> poImage(poPhotoLike(48, 40, 9, 20));
    Palette oFirst(poImage.get(), 16, nullptr, 1.0, DeltaMethod_Oklab, 1.0);
    // Fill the table cache with other keys, then release it.
    for (double fExponent : {0.5, 2.0, 3.0})
        Palette oOther(poImage.get(), 16, nullptr, fExponent, DeltaMethod_LAB, 1.0);
    Palette oSecond(poImage.get(), 16, nullptr, 1.0, DeltaMethod_Oklab, 1.0);
    vReleasePaletteDeltaTables();
    Palette oThird(poImage.get(), 16, nullptr, 1.0, DeltaMethod_Oklab, 1.0);
    EXPECT_EQ(0, memcmp(oFirst.m_aoColors, oSecond.m_aoColors, sizeof(oFirst.m_aoColors)));
    EXPECT_EQ(0, memcmp(oFirst.m_aoColors, oThird.m_aoColors, sizeof(oFirst.m_aoColors)));
}

TEST(PaletteDegenerateTest, AbsurdWeightsAndExponentsDoNotCrash)
{
    std::unique_ptr<Image> poImage(poPhotoLike(32, 24, 2, 30));
    for (double fWeight : {double(NAN), double(INFINITY), -1e300})
        for (double fExponent : {1.0, 400.0, double(NAN)})
        {
            Palette oPalette(poImage.get(), 4, nullptr, fExponent, DeltaMethod_Hit9918, fWeight);
            EXPECT_GE(oPalette.m_uiColorCount, 1u);
            EXPECT_LE(oPalette.m_uiColorCount, 4u);
        }
    Palette oReduced;
    oReduced.vAddPixel(oRGB(1, 2, 3));
    oReduced.vAddPixel(oRGB(7, 2, 3));
    oReduced.m_fDetailsEnhancement = 1.0;
    oReduced.vReduce(0, DeltaMethod_RGB, 1.0); // a target below 1 counts as 1
    EXPECT_EQ(oReduced.m_uiUsedEntries, 1u);
}

// ---------------------------------------------------------------------------
// Queries and editing

TEST(PaletteQueryTest, NearestColourSearches)
{
    Palette oPalette(g_aoMSX1Palette);
    // Entries 0 and 1 are both black: the lower index.
    EXPECT_EQ(oPalette.iNearestColor(oRGB(5, 5, 5), DeltaMethod_RGB, 0.0), 0);
    EXPECT_EQ(oPalette.iNearestColor(oRGB(255, 255, 255), DeltaMethod_RGB, 0.0), 15);
    EXPECT_EQ(oPalette.iNearestColor(oRGB(182, 109, 182), DeltaMethod_CIEDE2000, 1.0), 13);
    oPalette.m_uiColorCount = 0;
    EXPECT_EQ(oPalette.iNearestColor(oRGB(255, 255, 255), DeltaMethod_RGB, 0.0), 0);
    oPalette.m_uiColorCount = 200; // beyond 16: the 16 slots are searched
    EXPECT_EQ(oPalette.iNearestColor(oRGB(255, 255, 255), DeltaMethod_RGB, 0.0), 15);

    Palette oLevels;
    oLevels.m_uiColorCount = 3;
    oLevels.m_aoColors[0] = oRGB(0, 0, 0);
    oLevels.m_aoColors[1] = oRGB(7, 0, 0);
    oLevels.m_aoColors[2] = oRGB(7, 7, 7);
    EXPECT_RGB(oLevels.oNearestColor(oRGB(6, 1, 0), DeltaMethod_RGB, 1.0), 7, 0, 0);
    oLevels.m_uiColorCount = 0;
    EXPECT_RGB(oLevels.oNearestColor(oRGB(6, 6, 6), DeltaMethod_RGB, 1.0), 0, 0, 0);
}

TEST(PaletteQueryTest, DeltaBetweenBinsAndSlotPointers)
{
    Palette oPalette;
    oPalette.m_fDetailsEnhancement = 0.5;
    // Bin 511 is white, bin 0 black: sqrt(3) at exponent 0.5, in either histogram.
    EXPECT_DOUBLE_EQ(
        oPalette.fDelta(&oPalette.m_aoEntries[0], &oPalette.m_aoEntries[511], DeltaMethod_RGB, 1.0),
        sqrt(3.0));
    EXPECT_DOUBLE_EQ(
        oPalette.fDelta(&oPalette.m_aoOriginalEntries[0], &oPalette.m_aoEntries[511], DeltaMethod_RGB, 1.0),
        sqrt(3.0));
    EXPECT_EQ(oPalette.poEntry(0), &oPalette.m_aoColors[0]);
    EXPECT_EQ(oPalette.poEntry(15), &oPalette.m_aoColors[15]);
    EXPECT_EQ(oPalette.poEntry(16), nullptr);
    EXPECT_EQ(oPalette.poEntry(-1), nullptr);
}

TEST(PaletteEditTest, ResizeCopiesTheLastKeptColour)
{
    Palette oPalette(g_aoMSX2Palette);
    oPalette.m_uiColorCount = 4;
    oPalette.vResize(16);
    EXPECT_EQ(oPalette.m_uiColorCount, 16u);
    for (int k = 4; k < 16; k++)
        EXPECT_EQ(0, memcmp(&oPalette.m_aoColors[k], &g_aoMSX2Palette[3], sizeof(Color))) << k;

    // Shrinking keeps n colours and fills from colour n - 1.
    Palette oShrink(g_aoMSX2Palette);
    oShrink.vResize(2);
    EXPECT_EQ(oShrink.m_uiColorCount, 2u);
    for (int k = 2; k < 16; k++)
        EXPECT_EQ(0, memcmp(&oShrink.m_aoColors[k], &g_aoMSX2Palette[1], sizeof(Color))) << k;

    Palette oZero(g_aoMSX2Palette);
    oZero.vResize(0);
    EXPECT_EQ(oZero.m_uiColorCount, 0u);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(oZero.m_aoColors[k].r | oZero.m_aoColors[k].g | oZero.m_aoColors[k].b, 0);

    Palette oLarge(g_aoMSX2Palette);
    oLarge.vResize(1000);
    EXPECT_EQ(oLarge.m_uiColorCount, 16u);
    EXPECT_EQ(0, memcmp(oLarge.m_aoColors, g_aoMSX2Palette, sizeof(oLarge.m_aoColors)));
}

TEST(PaletteEditTest, SortOrdersBySumThenRedGreenBlue)
{
    Palette oPalette;
    const Color aoColors[] = {oRGB(9, 0, 0), oRGB(0, 0, 9), oRGB(0, 9, 0),      oRGB(1, 1, 1),
                              oRGB(0, 0, 0), oRGB(2, 0, 1), oRGB(255, 255, 255)};
    memcpy(oPalette.m_aoColors, aoColors, sizeof(aoColors));
    oPalette.m_uiColorCount = 6; // the white stays where it is
    oPalette.vSort();
    EXPECT_RGB(oPalette.m_aoColors[0], 0, 0, 0);
    EXPECT_RGB(oPalette.m_aoColors[1], 1, 1, 1);
    EXPECT_RGB(oPalette.m_aoColors[2], 2, 0, 1);
    EXPECT_RGB(oPalette.m_aoColors[3], 0, 0, 9);
    EXPECT_RGB(oPalette.m_aoColors[4], 0, 9, 0);
    EXPECT_RGB(oPalette.m_aoColors[5], 9, 0, 0);
    EXPECT_RGB(oPalette.m_aoColors[6], 255, 255, 255);
}

TEST(PaletteEditTest, AddPixelCountsLevelColours)
{
    Palette oPalette;
    oPalette.vAddPixel(oRGB(7, 0, 1));
    oPalette.vAddWeightedPixel(oRGB(7, 0, 1), 2.5);
    oPalette.vAddWeightedPixel(oRGB(0, 0, 0), 0.0); // ignored
    EXPECT_EQ(oPalette.m_aoEntries[7 * 64 + 1].fWeight, 3.5);
    EXPECT_EQ(oPalette.m_aoEntries[7 * 64 + 1].bUsed, 1);
    EXPECT_EQ(oPalette.m_aoEntries[0].bUsed, 0);
    EXPECT_EQ(oPalette.m_uiUsedEntries, 1u);
}

using PaletteDeathTest = ::testing::Test;

TEST(PaletteDeathTest, AddingAByteColourStopsWithAMessage)
{
    Palette oPalette;
    EXPECT_DEATH(oPalette.vAddPixel(oRGB(8, 0, 0)), "MSX levels");
}

TEST(PaletteEditTest, SettingsChooseTheColours)
{
    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    for (int k = 0; k < 16; k++)
        oSettings.CustomPalette[k] = oRGB(k, 2 * k, 3 * k);
    struct
    {
        tdPaletteType eType;
        const Color* poExpected;
    } aoCases[] = {
        {PaletteType_Custom, oSettings.CustomPalette},
        {PaletteType_MSX1, g_aoMSX1Palette},
        {PaletteType_MSX2, g_aoMSX2Palette},
        {PaletteType_Grey, g_aoGreyPalette},
    };
    for (const auto& o : aoCases)
    {
        Palette oPalette;
        oPalette.m_uiColorCount = 5;
        oSettings.PaletteType = o.eType;
        vGetPalette(&oSettings, &oPalette);
        EXPECT_EQ(0, memcmp(oPalette.m_aoColors, o.poExpected, sizeof(oPalette.m_aoColors))) << o.eType;
        EXPECT_EQ(oPalette.m_uiColorCount, 5u);
    }
    for (int iType : {int(PaletteType_Auto), 9})
    {
        Palette oPalette(g_aoMSX1Palette);
        oSettings.PaletteType = static_cast<tdPaletteType>(iType);
        vGetPalette(&oSettings, &oPalette);
        EXPECT_EQ(0, memcmp(oPalette.m_aoColors, g_aoMSX1Palette, sizeof(oPalette.m_aoColors)));
    }
    vGetPalette(nullptr, nullptr);
}

TEST(PaletteEditTest, CopiesLinkTheirOwnBins)
{
    Palette oPalette;
    for (int i = 0; i < 20; i++)
        oPalette.vAddPixel(oRGB(i % 8, (i * 3) % 8, (i * 5) % 8));
    oPalette.m_fDetailsEnhancement = 1.0;
    oPalette.vReduce(3, DeltaMethod_RGB, 1.0);
    Palette oCopy(oPalette);
    int iLinks = 0;
    for (int i = 0; i < 512; i++)
    {
        if (!oPalette.m_aoEntries[i].poNearest) continue;
        iLinks++;
        EXPECT_EQ(oCopy.m_aoEntries[i].poNearest - oCopy.m_aoEntries,
                  oPalette.m_aoEntries[i].poNearest - oPalette.m_aoEntries);
    }
    EXPECT_GT(iLinks, 0);
    // Reducing the copy further leaves the original untouched.
    Palette oBefore(oPalette);
    oCopy.vReduce(1, DeltaMethod_RGB, 1.0);
    for (int i = 0; i < 512; i++)
        EXPECT_EQ(oPalette.m_aoEntries[i].fCost, oBefore.m_aoEntries[i].fCost);
}

// ---------------------------------------------------------------------------
// Palette files and bytes

class PaletteFileTest : public ::testing::Test
{
protected:
    tdTempFolder m_oFolder;

    std::string sWrite(const std::string& sName, const std::string& sText)
    {
        std::string sPath = m_oFolder.sFile(sName);
        EXPECT_TRUE(bWriteFile(sPath, std::vector<unsigned char>(sText.begin(), sText.end())));
        return sPath;
    }
};

TEST_F(PaletteFileTest, GimpPaletteValuesSnapToLevels)
{
    std::string sPath = sWrite("colours.gpl", "GIMP Palette\n"
                                              "Name: test\n"
                                              "Columns: 4\n"
                                              "# comment 1 2 3\n"
                                              "255 128   0\tOrange\n"
                                              "  18  19 54\r\n"
                                              "\n"
                                              "12abc\n"
                                              "1 2 x\n"
                                              "+255 -0 +0\n");
    Palette oPalette;
    oPalette.vLoadFromTextFile(sPath.c_str());
    ASSERT_EQ(oPalette.m_uiColorCount, 3u);
    EXPECT_RGB(oPalette.m_aoColors[0], 255, 146, 0);
    EXPECT_RGB(oPalette.m_aoColors[1], 0, 36, 36);
    EXPECT_RGB(oPalette.m_aoColors[2], 255, 0, 0);
    for (int k = 3; k < 16; k++)
        EXPECT_RGB(oPalette.m_aoColors[k], 255, 0, 0);
}

TEST_F(PaletteFileTest, GimpPaletteOutOfRangeValuesKeepTheLowEightBits)
{
    // Worked with truncating divisions: 300 -> level 8 -> 291 & 255 = 35;
    // -100 -> level -2 -> -72 & 255 = 184; beyond the int range counts as INT_MAX:
    // level 58950531 -> 2147483629 & 255 = 237.
    std::string sPath = sWrite("odd.GPL", "300 -100 99999999999999999999\n");
    Palette oPalette;
    oPalette.vLoadFromTextFile(sPath.c_str());
    ASSERT_EQ(oPalette.m_uiColorCount, 1u);
    EXPECT_RGB(oPalette.m_aoColors[0], 35, 184, 237);
}

TEST_F(PaletteFileTest, GimpPaletteStopsAtSixteenColours)
{
    std::string sText;
    for (int i = 0; i < 17; i++)
        sText += std::to_string(i * 15) + " 0 0\n";
    std::string sPath = sWrite("many.gpl", sText);
    Palette oPalette;
    oPalette.vLoadFromTextFile(sPath.c_str());
    EXPECT_EQ(oPalette.m_uiColorCount, 16u);
    EXPECT_EQ(oPalette.m_aoColors[15].r, iByteFromLevel(iLevelFromByte(225)));
}

TEST_F(PaletteFileTest, LongLinesAreReadOnceAndCutAt1024Characters)
{
    // The tail of the long line holds numbers; it must not count as a line. A
    // line whose first 1024 characters hold no number is skipped.
    std::string sLong = "36 36 36" + std::string(1500, ' ') + "255 255 255\n";
    std::string sLate = std::string(1024, ' ') + "255 0 0\n";
    std::string sPath = sWrite("long.gpl", sLong + sLate + std::string("73 73 73"));
    Palette oPalette;
    oPalette.vLoadFromTextFile(sPath.c_str());
    ASSERT_EQ(oPalette.m_uiColorCount, 2u);
    EXPECT_RGB(oPalette.m_aoColors[0], 36, 36, 36);
    EXPECT_RGB(oPalette.m_aoColors[1], 73, 73, 73);
}

TEST_F(PaletteFileTest, BinaryPaletteWordsRoundTrip)
{
    // Word 0x0571: blue 1, red 7, green 5.
    std::string sPath = sWrite("colours.pal", std::string("\x71\x05\x00\x07", 4));
    Palette oPalette;
    oPalette.vLoadFromTextFile(sPath.c_str());
    ASSERT_EQ(oPalette.m_uiColorCount, 2u);
    EXPECT_RGB(oPalette.m_aoColors[0], 255, 182, 36);
    EXPECT_RGB(oPalette.m_aoColors[1], 0, 255, 0);
    EXPECT_RGB(oPalette.m_aoColors[15], 0, 255, 0);

    std::string sOut = m_oFolder.sFile("out.pal");
    FILE* poFile = fopen(sOut.c_str(), "wb");
    ASSERT_NE(poFile, nullptr);
    oPalette.vWriteToBinaryFile(poFile);
    fclose(poFile);
    EXPECT_EQ(aucReadFile(sOut), (std::vector<unsigned char>{0x71, 0x05, 0x00, 0x07}));
}

TEST_F(PaletteFileTest, BinaryPaletteIgnoresUnusedBitsAndAnOddLastByte)
{
    std::string sPath = sWrite("p", std::string("\xFF\xFF\x12", 3)); // short name: binary
    Palette oPalette;
    oPalette.vLoadFromTextFile(sPath.c_str());
    ASSERT_EQ(oPalette.m_uiColorCount, 1u);
    EXPECT_RGB(oPalette.m_aoColors[0], 255, 255, 255);

    std::string sEmpty = sWrite("empty.pal", "");
    Palette oEmpty(g_aoMSX1Palette);
    oEmpty.vLoadFromTextFile(sEmpty.c_str());
    EXPECT_EQ(oEmpty.m_uiColorCount, 0u);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(oEmpty.m_aoColors[k].r | oEmpty.m_aoColors[k].g | oEmpty.m_aoColors[k].b, 0);

    std::string sLong;
    for (int i = 0; i < 40; i++)
        sLong += std::string("\x07\x00", 2);
    Palette oLong;
    oLong.vLoadFromTextFile(sWrite("long.pal", sLong).c_str());
    EXPECT_EQ(oLong.m_uiColorCount, 16u);
}

TEST_F(PaletteFileTest, MissingFileIsReportedAndLeavesThePalette)
{
    Palette oPalette(g_aoMSX2Palette);
    oPalette.m_uiColorCount = 7;
    std::string sMissing = m_oFolder.sFile("missing.gpl");
    tdCaptured oOutput = oCaptureOutput([&] { oPalette.vLoadFromTextFile(sMissing.c_str()); });
    EXPECT_NE(oOutput.m_sErr.find("Message: Palette file not found."), std::string::npos) << oOutput.m_sErr;
    EXPECT_EQ(oPalette.m_uiColorCount, 7u);
    EXPECT_EQ(0, memcmp(oPalette.m_aoColors, g_aoMSX2Palette, sizeof(oPalette.m_aoColors)));

    // A new palette read from a missing file holds 16 black colours.
    std::unique_ptr<Palette> poNew;
    tdCaptured oFresh = oCaptureOutput([&] { poNew.reset(new Palette(sMissing.c_str())); });
    EXPECT_NE(oFresh.m_sErr.find("Palette file not found."), std::string::npos);
    EXPECT_EQ(poNew->m_uiColorCount, 16u);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(poNew->m_aoColors[k].r | poNew->m_aoColors[k].g | poNew->m_aoColors[k].b, 0);
}

TEST_F(PaletteFileTest, TextFileGetsTheGplExtensionAndRoundTrips)
{
    Palette oPalette(g_aoMSX1Palette);
    oPalette.m_uiColorCount = 3;
    std::string sBase = m_oFolder.sFile("saved");
    oPalette.vWriteToTextFile(nullptr, (sBase + ".txt").c_str());
    EXPECT_FALSE(bFileExists(sBase + ".txt"));
    std::vector<unsigned char> auc = aucReadFile(sBase + ".gpl");
    EXPECT_EQ(std::string(auc.begin(), auc.end()), "0 0 0\n0 0 0\n73 182 73\n");

    oPalette.m_uiColorCount = 16;
    oPalette.vWriteToTextFile(nullptr, (sBase + "2.GPL").c_str());
    ASSERT_TRUE(bFileExists(sBase + "2.GPL"));
    Palette oRead((sBase + "2.GPL").c_str());
    EXPECT_EQ(oRead.m_uiColorCount, 16u);
    EXPECT_EQ(0, memcmp(oRead.m_aoColors, g_aoMSX1Palette, sizeof(oRead.m_aoColors)));

    oPalette.vWriteToTextFile(nullptr, (sBase + "3").c_str());
    EXPECT_TRUE(bFileExists(sBase + "3.gpl"));

    // A folder that does not exist: nothing is written and nothing fails.
    oPalette.vWriteToTextFile(nullptr, (m_oFolder.sFile("none") + "/x.gpl").c_str());
    oPalette.vWriteToTextFile(nullptr, nullptr);
}

TEST(PaletteBytesTest, KRUArrayAndBinaryWords)
{
    Palette oPalette;
    oPalette.m_uiColorCount = 2;
    oPalette.m_aoColors[0] = oRGB(255, 182, 36); // levels 7, 5, 1
    oPalette.m_aoColors[1] = oRGB(18, 19, 237);  // levels 0, 1, 7
    tdByteArray oArray;
    oPalette.vWriteToKRUArray(&oArray);
    ASSERT_EQ(oArray.m_iSize, 7);
    const unsigned char aucExpected[7] = {1, 0, 2, 0x71, 0x05, 0x07, 0x01};
    EXPECT_EQ(0, memcmp(oArray.m_pucData, aucExpected, 7));
    oPalette.vWriteToKRUArray(nullptr);

    Palette oEmpty;
    oEmpty.m_uiColorCount = 0;
    tdByteArray oEmptyArray;
    oEmpty.vWriteToKRUArray(&oEmptyArray);
    ASSERT_EQ(oEmptyArray.m_iSize, 3);
    EXPECT_EQ(oEmptyArray.m_pucData[2], 0);
    oEmpty.vWriteToBinaryFile(nullptr);
    FILE* poFile = tmpfile();
    ASSERT_NE(poFile, nullptr);
    oEmpty.vWriteToBinaryFile(poFile);
    EXPECT_EQ(ftell(poFile), 0);
    fclose(poFile);
}
} // namespace
