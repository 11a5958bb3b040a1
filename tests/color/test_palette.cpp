// Palette building, queries and palette files.
//
// Oracles: a plain builder written here from the algorithm's description, which
// takes every distance from fColorDelta and visits every bin (the library
// shares distance tables between builds and skips empty bins; both must agree
// bit for bit, links and costs included) on a few chosen pictures; searches and
// areas small enough to work out by hand (each case says how); and file bytes
// typed in.

#include "qev/color/palette.h"

#include "qev/color/color_delta.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{
Color oRGB(int r, int g, int b)
{
    return {static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b), 0};
}

// The first n colours as "r g b,r g b,...".
std::string sColors(const Color* po, int n)
{
    std::string s;
    for (int k = 0; k < n; k++)
        s += (k ? "," : "") + std::to_string(po[k].r) + " " + std::to_string(po[k].g) + " " +
             std::to_string(po[k].b);
    return s;
}

int iCountOf(const std::string& sColors)
{
    return 1 + static_cast<int>(std::count(sColors.begin(), sColors.end(), ','));
}

// A picture of one row: the colours of "r g b*n,..." n times each ("*n" may be
// left out).
Image* poStrip(const std::string& sRuns)
{
    std::vector<Color> ao;
    std::istringstream oRuns(sRuns);
    for (int r, g, b, n = 1; oRuns >> r >> g >> b; n = 1, oRuns.ignore())
    {
        if (oRuns.peek() == '*') oRuns.ignore() >> n;
        ao.insert(ao.end(), static_cast<size_t>(n), oRGB(r, g, b));
    }
    Image* po = new Image(static_cast<int>(ao.size()), 1, 3, Background_None, 1.0);
    for (size_t x = 0; x < ao.size(); x++)
        po->vSetPixel(static_cast<int>(x), 0, &ao[x]);
    return po;
}

// The plain builder: every bin visited, links as indices (-1 for none),
// distances fColorDelta(bin i, bin j) with exponent p and 1.0 kept in two
// arrays. On degenerate distances it takes the library's documented decisions:
// a bin without a second adds nothing to a cost, costs that never beat DBL_MAX
// remove the lowest used bin.
struct tdRefBuilder
{
    struct tdBin
    {
        bool bUsed = false;
        double fWeight = 0.0, fCost = 0.0;
        int iNearest = -1, iSecond = -1;
    };
    std::vector<double> m_afP, m_afOne;
    tdBin m_aoBins[512], m_aoOriginal[512];
    unsigned int m_uiCount = 0;
    Color m_aoColors[16] = {};

    static Color oBin(int i) { return oRGB(i >> 6, (i >> 3) & 7, i & 7); }
    static int iBin(const Color& o) { return o.r * 64 + o.g * 8 + o.b; }
    double fP(int i, int j) const { return m_afP[static_cast<size_t>(i) * 512 + j]; }
    unsigned char* puc(int i) // channel i % 3 of colour i / 3
    {
        return i % 3 == 0 ? &m_aoColors[i / 3].r : (i % 3 == 1 ? &m_aoColors[i / 3].g : &m_aoColors[i / 3].b);
    }

    double fValue(int t) const
    {
        double fSum = 0.0;
        for (int x = 0; x < 512; x++)
            if (m_aoBins[x].iNearest == t && m_aoBins[x].iSecond >= 0)
                fSum += fabs(fP(t, x) - fP(m_aoBins[x].iSecond, x)) * m_aoBins[x].fWeight;
        return fSum;
    }
    void vInit(int e)
    {
        double fBest = DBL_MAX, fSecond = DBL_MAX;
        int iBest = -1, iSecond = -1, iOld = m_aoBins[e].iNearest;
        for (int u = 0; u < 512; u++)
            if (m_aoBins[u].bUsed && fP(e, u) <= fBest)
                iSecond = iBest, fSecond = fBest, iBest = u, fBest = fP(e, u);
            else if (m_aoBins[u].bUsed && fP(e, u) <= fSecond)
                iSecond = u, fSecond = fP(e, u);
        m_aoBins[e].iNearest = iBest;
        m_aoBins[e].iSecond = iSecond;
        if (iOld >= 0) m_aoBins[iOld].fCost = fValue(iOld);
        if (iBest >= 0) m_aoBins[iBest].fCost = fValue(iBest);
    }
    double fPaletteDelta() const
    {
        double fTotal = 0.0;
        for (int i = 0; i < 512; i++)
        {
            unsigned int uiNearest = 0;
            double fBest = DBL_MAX;
            for (unsigned int k = 0; k < m_uiCount; k++)
                if (m_afOne[i * 512 + iBin(m_aoColors[k])] < fBest)
                    fBest = m_afOne[i * 512 + iBin(m_aoColors[k])], uiNearest = k;
            if (m_aoOriginal[i].fWeight != 0.0)
                fTotal += m_aoOriginal[i].fWeight * fP(i, iBin(m_aoColors[uiNearest]));
        }
        return fTotal;
    }

    void vBuild(const Image* poImage, unsigned int uiCount, tdDeltaMethod eMethod, double fExponent,
                double fWeight)
    {
        for (int i = 0; i < 512 * 512; i++)
        {
            Color o1 = oBin(i / 512), o2 = oBin(i % 512);
            m_afP.push_back(fColorDelta(&o1, &o2, fExponent, 7.0, eMethod, fWeight));
            m_afOne.push_back(fColorDelta(&o1, &o2, 1.0, 7.0, eMethod, fWeight));
        }
        int iUsed = 0;
        for (int i = 0; i < poImage->m_iWidth * poImage->m_iHeight; i++)
        {
            Color o = poImage->oGetPixel(i % poImage->m_iWidth, i / poImage->m_iWidth);
            tdBin& oB =
                m_aoBins[(7 * o.r + 127) / 255 * 64 + (7 * o.g + 127) / 255 * 8 + (7 * o.b + 127) / 255];
            iUsed += oB.bUsed ? 0 : 1;
            oB.bUsed = true;
            oB.fWeight += 1.0;
        }
        std::copy(std::begin(m_aoBins), std::end(m_aoBins), std::begin(m_aoOriginal));
        // Greedy merging: the cheapest bin goes, the lowest on a tie.
        for (int i = 0; i < 512 && iUsed > static_cast<int>(uiCount); i++)
            vInit(i);
        for (; iUsed > static_cast<int>(uiCount); iUsed--)
        {
            int iRemove = -1, iLowest = -1;
            for (int i = 511; i >= 0; i--)
                iLowest = m_aoBins[i].bUsed ? i : iLowest;
            for (int i = 0; i < 512; i++)
                if (m_aoBins[i].bUsed &&
                    m_aoBins[i].fCost < (iRemove < 0 ? DBL_MAX : m_aoBins[iRemove].fCost))
                    iRemove = i;
            iRemove = iRemove < 0 ? iLowest : iRemove;
            m_aoBins[iRemove].bUsed = false;
            for (int i = 0; i < 512; i++)
                if (m_aoBins[i].iNearest == iRemove || m_aoBins[i].iSecond == iRemove) vInit(i);
        }
        for (tdBin& o : m_aoBins) // merged pixels count for the bin that absorbed them
            if (o.bUsed)
                o.iNearest = o.iSecond = -1;
            else if (o.iNearest >= 0)
                m_aoBins[o.iNearest].fWeight += o.fWeight, o.fWeight = 0.0;
        // The survivors by decreasing weight, a stable sort; filler: the last
        // colour.
        std::vector<std::pair<double, int>> aoList;
        for (int i = 0; i < 512; i++)
            if (m_aoBins[i].bUsed) aoList.push_back({-m_aoBins[i].fWeight, i});
        std::stable_sort(aoList.begin(), aoList.end(), [](auto& a, auto& b) { return a.first < b.first; });
        m_uiCount = static_cast<unsigned int>(aoList.size());
        for (unsigned int k = 0; k < 16; k++)
            m_aoColors[k] = oBin(aoList[k < m_uiCount ? k : m_uiCount - 1].second);
        // Coordinate descent by single steps (a tie moves down), then one
        // exhaustive pass (the lowest level on a tie).
        for (bool bChanged = true; bChanged;)
        {
            bChanged = false;
            double fError = fPaletteDelta();
            for (int i = 0; i < static_cast<int>(m_uiCount) * 3; i++)
            {
                unsigned char* p = puc(i);
                const unsigned char v = *p;
                double fDown = DBL_MAX, fUp = DBL_MAX;
                if (v > 0) *p = static_cast<unsigned char>(v - 1), fDown = fPaletteDelta();
                if (v < 7) *p = static_cast<unsigned char>(v + 1), fUp = fPaletteDelta();
                *p = v;
                if ((fError > fUp || fError > fDown) && (fDown > fUp ? v < 7 : v > 0))
                {
                    *p = static_cast<unsigned char>(fDown > fUp ? v + 1 : v - 1);
                    fError = fDown > fUp ? fUp : fDown;
                    bChanged = true;
                }
            }
        }
        for (int i = 0; i < static_cast<int>(m_uiCount) * 3; i++)
        {
            unsigned char* p = puc(i);
            unsigned char ucBest = *p;
            double fBest = DBL_MAX;
            for (int l = 0; l < 8; l++)
            {
                *p = static_cast<unsigned char>(l);
                double f = fPaletteDelta();
                if (f < fBest) fBest = f, ucBest = static_cast<unsigned char>(l);
            }
            *p = ucBest;
        }
        for (int i = 0; i < static_cast<int>(m_uiCount) * 3; i++)
            *puc(i) = static_cast<unsigned char>((255 * *puc(i) + 3) / 7);
    }
};

TEST(PaletteReference, SamePaletteLinksAndCostsAsThePlainBuilder)
{
    // Rows of one method share its distance table with the rows before them, so a
    // table found under the wrong key shows too.
    std::unique_ptr<Image> poGradient(poMakeTestPicture(TestPicture_Gradient, 40, 32, 1.0, 1, 1, 1));
    std::unique_ptr<Image> poNoise(poMakeTestPicture(TestPicture_Noise, 32, 24, 1.0, 7, 1, 1));
    std::unique_ptr<Image> poFew(poStrip("255 0 0*7,250 10 0*5,0 0 0*7,20 20 20*7,0 255 0*3,128 128 255*7"));
    const struct
    {
        const Image* poImage;
        tdDeltaMethod eMethod;
        unsigned int uiCount;
        double fExponent, fWeight;
    } aoRows[] = {
        {poGradient.get(), DeltaMethod_RGB, 16, 1.0, 1.0},
        {poGradient.get(), DeltaMethod_LAB, 5, 1.0, 1.0},
        {poGradient.get(), DeltaMethod_LAB, 5, 0.5, 1.0},
        {poNoise.get(), DeltaMethod_Hit9918, 16, 1.0, 0.0},
        {poNoise.get(), DeltaMethod_Hit9918, 3, 1.0, 2.5},
        {poNoise.get(), DeltaMethod_Oklab, 4, 2.0, 1.0},
        {poFew.get(), DeltaMethod_XYZ, 4, 1.0, 1.0},
        // Degenerate distances: all zero (unknown method), all one (exponent 0),
        // infinite from a zero distance (negative exponent).
        {poGradient.get(), static_cast<tdDeltaMethod>(6), 4, 1.0, 1.0},
        {poFew.get(), DeltaMethod_RGB, 3, 0.0, 1.0},
        {poFew.get(), DeltaMethod_RGB, 2, -1.0, 1.0},
    };
    for (const auto& o : aoRows)
    {
        SCOPED_TRACE(testing::Message() << "method " << o.eMethod << " count " << o.uiCount << " p "
                                        << o.fExponent << " w " << o.fWeight);
        tdRefBuilder oRef;
        oRef.vBuild(o.poImage, o.uiCount, o.eMethod, o.fExponent, o.fWeight);
        Palette oPalette(o.poImage, o.uiCount, nullptr, o.fExponent, o.eMethod, o.fWeight);
        ASSERT_EQ(oPalette.m_uiColorCount, oRef.m_uiCount);
        EXPECT_EQ(sColors(oPalette.m_aoColors, 16), sColors(oRef.m_aoColors, 16));
        for (int i = 0; i < 512; i++)
        {
            const Palette::Entry& oE = oPalette.m_aoEntries[i];
            const tdRefBuilder::tdBin& oR = oRef.m_aoBins[i];
            ASSERT_EQ(oE.bUsed != 0, oR.bUsed) << i;
            ASSERT_EQ(oE.fWeight, oR.fWeight) << i;
            ASSERT_EQ(oE.poNearest ? oE.poNearest - oPalette.m_aoEntries : -1, oR.iNearest) << i;
            ASSERT_EQ(oE.poSecond ? oE.poSecond - oPalette.m_aoEntries : -1, oR.iSecond) << i;
            ASSERT_EQ(oE.bUsed ? oE.fCost : 0.0, oR.bUsed ? oR.fCost : 0.0) << i;
        }
    }
}

TEST(PaletteBuild, RemovalCostTieRemovesTheLowerBinAndCopiesKeepTheirBins)
{
    // Bins 0 and 1 (blue levels 0 and 1) cost 1/49 each, the heavy white far
    // more: bin 0 goes and bin 1 takes both pixels.
    Palette oPalette;
    oPalette.vAddPixel(oRGB(0, 0, 0));
    oPalette.vAddPixel(oRGB(0, 0, 1));
    oPalette.vAddWeightedPixel(oRGB(7, 7, 7), 100.0);
    oPalette.vAddWeightedPixel(oRGB(3, 3, 3), 0.0); // ignored
    EXPECT_EQ(oPalette.m_uiUsedEntries, 3u);
    oPalette.m_fDetailsEnhancement = 1.0;
    oPalette.m_uiColorCount = 2;
    oPalette.vCreatePalette(DeltaMethod_RGB, 1.0);
    EXPECT_EQ(sColors(oPalette.m_aoColors, 3), "7 7 7,0 0 1,0 0 1");
    EXPECT_EQ(oPalette.m_aoEntries[1].fWeight, 2.0);
    // A copy links its own bins: reducing it further (a target below 1 counts as 1;
    // with all distances 1 every bin is visited) leaves the original alone.
    Palette oCopy(oPalette);
    const double fCost = oPalette.m_aoEntries[1].fCost;
    oCopy.m_fDetailsEnhancement = 0.0;
    oCopy.vReduce(0, DeltaMethod_RGB, 1.0);
    EXPECT_EQ(oCopy.m_uiUsedEntries, 1u);
    EXPECT_EQ(oCopy.m_aoEntries[511].fWeight, 102.0);
    EXPECT_EQ(oPalette.m_aoEntries[1].fCost, fCost);
    EXPECT_EQ(oPalette.m_aoEntries[511].fWeight, 100.0);
}

TEST(PaletteSearch, TieRulesAndOrderWorkedByHand)
{
    // clang-format off
    const struct
    {
        const char* pszPixels; // levels
        const char* pszColors;
        double fExponent;
        bool bGradient; // else the area search
        const char* pszExpected;
    } aoRows[] = {
        // Pixels at blue 0 and 2, colour at 1, p 0.25: the error is 2 (1/7)^0.5 at 1
        // and (2/7)^0.5 at both 0 and 2: a tie up and down moves down.
        {"0 0 0,0 0 2", "0 0 1", 0.25, true, "0 0 0"},
        // Pixels at blue 0 and 1, colour at 1, p 0.5: the error is 1/7 at 0 and at 1;
        // the descent needs a strictly smaller error, the area search keeps the lowest.
        {"0 0 0,0 0 1", "0 0 1", 0.5, true, "0 0 1"},
        {"0 0 0,0 0 1", "0 0 1", 0.5, false, "0 0 0"},
        // The squared RGB error is separable: the descent walks each channel there.
        {"5 1 6*4", "0 7 3", 1.0, true, "5 1 6"},
        // Errors in 49ths. While colour 0's green is 7, white is nearer to the
        // (5, 1, 6) pixels whatever red is: red stays at the lowest level, 0; green
        // goes to 1, blue to 6. Colour 1: red stays 7; green 2 gives 4 x 6 + 25 = 49,
        // below 7 (100), 1 (56) and 3 (52); blue 6 then 4 x 5 + 26 = 46.
        {"5 1 6*4,7 7 7", "0 7 3,7 7 7", 1.0, false, "0 1 6,7 2 6"},
    };
    // clang-format on
    for (const auto& o : aoRows)
    {
        Palette oPalette;
        std::unique_ptr<Image> poPixels(poStrip(o.pszPixels)), poColors(poStrip(o.pszColors));
        for (int x = 0; x < poPixels->m_iWidth; x++)
            oPalette.vAddPixel(poPixels->oGetPixel(x, 0));
        memcpy(oPalette.m_aoOriginalEntries, oPalette.m_aoEntries, sizeof(oPalette.m_aoEntries));
        oPalette.m_fDetailsEnhancement = o.fExponent;
        oPalette.m_uiColorCount = static_cast<unsigned int>(poColors->m_iWidth);
        for (int k = 0; k < poColors->m_iWidth; k++)
            oPalette.m_aoColors[k] = poColors->oGetPixel(k, 0);
        if (o.bGradient)
            oPalette.vAdjustGradient(DeltaMethod_RGB, 1.0);
        else
            oPalette.vAdjustAreaSearch(DeltaMethod_RGB, 1.0);
        EXPECT_EQ(sColors(oPalette.m_aoColors, poColors->m_iWidth), o.pszExpected);
    }
}

TEST(PaletteBuild, AreasAndLevels)
{
    std::unique_ptr<Image> po(poStrip("255 0 0*4,0 0 255*4")); // left half red, right half blue
    const std::pair<tdRectangle, const char*> aoRows[] = {
        {{4, 0, 4, 4}, "0 0 255"},
        {{-3, -3, 4, 100}, "255 0 0"},       // corners from 0, the size cut to the picture's
        {{6, 0, 4, 4}, "0 0 0,0 0 255"},     // past the right edge: black, 2 pixels each
        {{0, 0, 100, 1}, "0 0 255,255 0 0"}, // as many of each: bin order
    };
    for (const auto& o : aoRows)
    {
        Palette oPalette(po.get(), 17, &o.first, 1.0, DeltaMethod_RGB, 1.0);
        EXPECT_EQ(sColors(oPalette.m_aoColors, static_cast<int>(oPalette.m_uiColorCount)), o.second);
    }
    // No pixels: count 0, colours as they were; then vResize makes them all zero.
    Palette oEmpty(g_aoMSX2Palette);
    tdRectangle oNone = {0, 0, 0, 4};
    oEmpty.vLoadFromImage(po.get(), 16, &oNone, 1.0, DeltaMethod_LAB, 1.0);
    EXPECT_EQ(oEmpty.m_uiColorCount, 0u);
    EXPECT_EQ(0, memcmp(oEmpty.m_aoColors, g_aoMSX2Palette, sizeof(oEmpty.m_aoColors)));
    oEmpty.vResize(16);
    EXPECT_EQ(sColors(oEmpty.m_aoColors, 16), sColors(Palette().m_aoColors, 16));
    // Levels cover the bytes 0-18, 19-54, 55-91, 92-127, 128-163, 164-200,
    // 201-236, 237-255.
    for (int v = 0; v < 256; v++)
        EXPECT_EQ(iLevelFromByte(v),
                  (v >= 19) + (v >= 55) + (v >= 92) + (v >= 128) + (v >= 164) + (v >= 201) + (v >= 237))
            << v;
}

TEST(PaletteQuery, NearestResizeSortAndSettings)
{
    Palette oPalette(g_aoMSX1Palette);
    // Entries 0 and 1 are both black: the lower index. Grey 14 is next to
    // white 15.
    EXPECT_EQ(oPalette.iNearestColor(oRGB(5, 5, 5), DeltaMethod_RGB, 0.0), 0);
    for (auto ai : {std::pair<unsigned int, int>{16, 15}, {200, 15}, {15, 14}, {0, 0}}) // count, nearest
    {
        oPalette.m_uiColorCount = ai.first;
        EXPECT_EQ(oPalette.iNearestColor(oRGB(255, 255, 255), DeltaMethod_RGB, 0.0), ai.second) << ai.first;
    }
    oPalette.m_fDetailsEnhancement = 0.5; // between bins, exponent p at scale 7: sqrt(3)
    EXPECT_DOUBLE_EQ(
        oPalette.fDelta(&oPalette.m_aoOriginalEntries[0], &oPalette.m_aoEntries[511], DeltaMethod_RGB, 1.0),
        sqrt(3.0));
    // Levels at scale 7: 5/7 grey is nearer to black than to white in linear light.
    Palette oLevels;
    oLevels.m_uiColorCount = 2;
    oLevels.m_aoColors[1] = oRGB(7, 7, 7);
    EXPECT_EQ(oLevels.oNearestColor(oRGB(5, 5, 5), DeltaMethod_XYZ, 1.0).r, 0);
    EXPECT_EQ(oLevels.poEntry(15), &oLevels.m_aoColors[15]);
    EXPECT_EQ(oLevels.poEntry(16), nullptr);
    EXPECT_EQ(oLevels.poEntry(-1), nullptr);

    // Resizing keeps min(count, n) colours and fills from the last one kept.
    for (auto ai : {std::pair<int, int>{4, 1000}, {16, 2}}) // count, n
    {
        Palette oResized(g_aoMSX2Palette);
        oResized.m_uiColorCount = static_cast<unsigned int>(ai.first);
        oResized.vResize(static_cast<unsigned int>(ai.second));
        std::vector<Color> aoExpected(g_aoMSX2Palette, g_aoMSX2Palette + std::min(ai.first, ai.second));
        aoExpected.resize(16, aoExpected.back());
        EXPECT_EQ(sColors(oResized.m_aoColors, 16) + " count " + std::to_string(oResized.m_uiColorCount),
                  sColors(aoExpected.data(), 16) + " count " + std::to_string(std::min(16, ai.second)));
    }
    std::unique_ptr<Image> poSort(poStrip("9 0 0,0 0 9,0 9 0,1 1 1,0 0 0,2 0 1,255 255 255"));
    for (int k = 0; k < 7; k++)
        oLevels.m_aoColors[k] = poSort->oGetPixel(k, 0);
    oLevels.m_uiColorCount = 6; // the white stays where it is
    oLevels.vSort();
    EXPECT_EQ(sColors(oLevels.m_aoColors, 7), "0 0 0,1 1 1,2 0 1,0 0 9,0 9 0,9 0 0,255 255 255");

    tdSettings oSettings;
    vGetDefaultSettings(&oSettings);
    for (int k = 0; k < 16; k++)
        oSettings.CustomPalette[k] = oRGB(k, 2 * k, 3 * k);
    const std::pair<int, const Color*> aoTypes[] = {
        {PaletteType_Custom, oSettings.CustomPalette}, {PaletteType_MSX1, g_aoMSX1Palette},
        {PaletteType_MSX2, g_aoMSX2Palette},           {PaletteType_Grey, g_aoGreyPalette},
        {PaletteType_Auto, g_aoMSX1Palette},           {9, g_aoMSX1Palette}};
    for (const auto& o : aoTypes)
    {
        Palette oChosen(g_aoMSX1Palette);
        oChosen.m_uiColorCount = 5;
        oSettings.PaletteType = static_cast<tdPaletteType>(o.first);
        vGetPalette(&oSettings, &oChosen);
        EXPECT_EQ(sColors(oChosen.m_aoColors, 16) + " count " + std::to_string(oChosen.m_uiColorCount),
                  sColors(o.second, 16) + " count 5");
    }
    vGetPalette(nullptr, nullptr);
}

TEST(PaletteDeathTest, AddingAByteColourStopsWithAMessage)
{
    Palette oPalette;
    EXPECT_DEATH(oPalette.vAddPixel(oRGB(8, 0, 0)), "MSX levels");
}

// ---------------------------------------------------------------------------
// Palette files and bytes

TEST(PaletteFile, ReadersSnapToLevels)
{
    tdTempFolder oFolder;
    std::string sMany;
    for (int i = 0; i < 16; i++)
        sMany += "1 1 1\n";
    // clang-format off
    const struct
    {
        const char* pszName;
        std::string sText;
        int iCount;
        const char* pszColors; // the slots after these hold the last one
    } aoRows[] = {
        {"colours.gpl", "GIMP Palette\nName: test\n# comment 1 2 3\n91 128   0\tOrange\n  18  19 54\r\n\n12abc\n"
                        "1 2 x\n+255 -0 +0\n", 3, "73 146 0,0 36 36,255 0 0"},
        // Truncating divisions: 300 -> level 8 -> 291 & 255 = 35; -100 -> level -2 ->
        // -72 & 255 = 184; beyond int counts as INT_MAX: 2147483629 & 255 = 237.
        {"odd.GPL", "300 -100 99999999999999999999\n", 1, "35 184 237"},
        // The tail of a long line is no line; a line whose first 1024 characters hold
        // no number is skipped.
        {"long.gpl", "36 36 36" + std::string(1500, ' ') + "255 255 255\n" + std::string(1010, ' ') +
                     "146 146 146\n" + std::string(1024, ' ') + "255 0 0\n73 73 73", 3,
         "36 36 36,146 146 146,73 73 73"},
        {"many.gpl", sMany + "99 99 99\n", 16, "0 0 0"}, // at most 16 colours
        // Binary words, low byte first: 0x0571 is blue 1, red 7, green 5; unused bits
        // are ignored, and so is an odd last byte; a short name is binary too.
        {"colours.pal", std::string("\x71\x05\xFF\xF8\x12", 5), 2, "255 182 36,255 0 255"},
        {"p", std::string(32, '\0') + "\x70", 16, "0 0 0"},
        {"empty.pal", "", 0, "0 0 0"}, // no colour: all slots zero
    };
    // clang-format on
    for (const auto& o : aoRows)
    {
        std::string sPath = oFolder.sFile(o.pszName);
        ASSERT_TRUE(bWriteFile(sPath, std::vector<unsigned char>(o.sText.begin(), o.sText.end())));
        Palette oPalette(g_aoMSX2Palette);
        oPalette.vLoadFromTextFile(sPath.c_str());
        EXPECT_EQ(oPalette.m_uiColorCount, static_cast<unsigned int>(o.iCount)) << o.pszName;
        std::string sExpected = o.pszColors, sLast = sExpected.substr(sExpected.find_last_of(',') + 1);
        for (int k = iCountOf(sExpected); k < 16; k++)
            sExpected += "," + sLast;
        EXPECT_EQ(sColors(oPalette.m_aoColors, 16), sExpected) << o.pszName;
    }
    // A file that cannot be opened is reported and leaves the palette.
    Palette oPalette(g_aoMSX2Palette);
    oPalette.m_uiColorCount = 7;
    std::string sMissing = oFolder.sFile("missing.gpl");
    tdCaptured oOutput = oCaptureOutput([&] { oPalette.vLoadFromTextFile(sMissing.c_str()); });
    EXPECT_NE(oOutput.m_sErr.find("Message: Palette file not found."), std::string::npos) << oOutput.m_sErr;
    EXPECT_EQ(sColors(oPalette.m_aoColors, 16) + " count " + std::to_string(oPalette.m_uiColorCount),
              sColors(g_aoMSX2Palette, 16) + " count 7");
}
TEST(PaletteFile, WritersRoundTrip)
{
    tdTempFolder oFolder;
    Palette oPalette(g_aoMSX1Palette);
    oPalette.m_uiColorCount = 3;
    std::string sBase = oFolder.sFile("saved");
    oPalette.vWriteToTextFile(nullptr, (sBase + ".txt").c_str());
    EXPECT_FALSE(bFileExists(sBase + ".txt"));
    std::vector<unsigned char> auc = aucReadFile(sBase + ".gpl");
    EXPECT_EQ(std::string(auc.begin(), auc.end()), "0 0 0\n0 0 0\n73 182 73\n");
    oPalette.vWriteToTextFile(nullptr, (sBase + "3").c_str());
    EXPECT_TRUE(bFileExists(sBase + "3.gpl"));
    oPalette.m_uiColorCount = 16;
    oPalette.vWriteToTextFile(nullptr, (sBase + "2.GPL").c_str());
    Palette oRead((sBase + "2.GPL").c_str());
    EXPECT_EQ(oRead.m_uiColorCount, 16u);
    EXPECT_EQ(0, memcmp(oRead.m_aoColors, g_aoMSX1Palette, sizeof(oRead.m_aoColors)));
    oPalette.vWriteToTextFile(nullptr,
                              (oFolder.sFile("none") + "/x.gpl").c_str()); // no folder: nothing

    // Register words from the levels of the bytes: (255, 182, 36) is 0x0571.
    oPalette.m_uiColorCount = 2;
    oPalette.m_aoColors[0] = oRGB(255, 182, 36);
    oPalette.m_aoColors[1] = oRGB(18, 19, 237); // levels 0, 1, 7
    tdByteArray oArray;
    oPalette.vWriteToKRUArray(&oArray);
    EXPECT_EQ(std::vector<unsigned char>(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize),
              (std::vector<unsigned char>{1, 0, 2, 0x71, 0x05, 0x07, 0x01}));
    std::string sOut = oFolder.sFile("out.pal");
    FILE* poFile = fopen(sOut.c_str(), "wb");
    ASSERT_NE(poFile, nullptr);
    oPalette.vWriteToBinaryFile(poFile);
    oPalette.m_uiColorCount = 0;
    oPalette.vWriteToBinaryFile(poFile);
    fclose(poFile);
    EXPECT_EQ(aucReadFile(sOut), (std::vector<unsigned char>{0x71, 0x05, 0x07, 0x01}));
    tdByteArray oEmpty;
    oPalette.vWriteToKRUArray(&oEmpty);
    EXPECT_EQ(std::vector<unsigned char>(oEmpty.m_pucData, oEmpty.m_pucData + oEmpty.m_iSize),
              (std::vector<unsigned char>{1, 0, 0}));
}
} // namespace
