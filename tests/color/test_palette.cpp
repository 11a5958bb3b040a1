// Palette building, queries and palette files. Oracles: a plain merging written from
// the algorithm's description with every distance from fColorDelta and every bin
// visited (the library shares distance tables and skips empty bins; links and costs
// must agree bit for bit) on a few pictures; searches and areas small enough to work
// out by hand (each case says how); file bytes typed in.

#include "qev/color/palette.h"

#include "qev/color/color_delta.h"
#include "qev/files/palette_file.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace
{
Color oRGB(int r, int g, int b)
{
    return {static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b), 0};
}

// The colours of "r g b*n,...", n times each ("*n" may be left out).
std::vector<Color> aoParse(const std::string& sRuns)
{
    std::vector<Color> ao;
    std::istringstream oRuns(sRuns);
    for (int r, g, b, n = 1; oRuns >> r >> g >> b; n = 1, oRuns.ignore())
    {
        if (oRuns.peek() == '*') oRuns.ignore() >> n;
        ao.insert(ao.end(), static_cast<size_t>(n), oRGB(r, g, b));
    }
    return ao;
}

// The first n colours as "r g b,r g b,...".
std::string sColors(const Color* po, size_t n)
{
    std::string s;
    for (size_t k = 0; k < n; k++)
        s += (k ? "," : "") + std::to_string(po[k].r) + " " + std::to_string(po[k].g) + " " +
             std::to_string(po[k].b);
    return s;
}

// The 16 slots, those beyond the colours given holding the last one, and the count.
std::string sPalette(std::vector<Color> ao, unsigned int uiCount)
{
    ao.resize(16, ao.back());
    return sColors(ao.data(), 16) + " count " + std::to_string(uiCount);
}
std::string sPalette(const Palette& o)
{
    return sPalette({o.m_aoColors, o.m_aoColors + 16}, o.m_uiColorCount);
}

// A picture of one row of those colours.
Image* poStrip(const std::string& sRuns)
{
    const std::vector<Color> ao = aoParse(sRuns);
    Image* po = new Image(static_cast<int>(ao.size()), 1, 3, Background_None, 1.0);
    for (size_t x = 0; x < ao.size(); x++)
        po->vSetPixel(static_cast<int>(x), 0, &ao[x]);
    return po;
}

// The plain merging: every bin visited, links as indices (-1: none), distances
// fColorDelta(bin i, bin j) at scale 7 with exponent p. On degenerate distances it
// takes the library's documented decisions: a bin without a second adds nothing
// to a cost, costs that never beat DBL_MAX remove the lowest used bin.
struct tdRefBuilder
{
    std::vector<double> m_afP;
    bool m_abUsed[512] = {};
    double m_afWeight[512] = {}, m_afCost[512] = {};
    int m_aiNearest[512], m_aiSecond[512];

    double fValue(int t) const
    {
        double fSum = 0.0;
        for (int x = 0; x < 512; x++)
            if (m_aiNearest[x] == t && m_aiSecond[x] >= 0)
                fSum += fabs(m_afP[t * 512 + x] - m_afP[m_aiSecond[x] * 512 + x]) * m_afWeight[x];
        return fSum;
    }
    void vInit(int e) // a later bin wins a tie
    {
        const double* pfRow = &m_afP[e * 512];
        double fBest = DBL_MAX, fSecond = DBL_MAX;
        const int iOld = m_aiNearest[e];
        m_aiNearest[e] = m_aiSecond[e] = -1;
        for (int u = 0; u < 512; u++)
            if (m_abUsed[u] && pfRow[u] <= fBest)
                m_aiSecond[e] = m_aiNearest[e], fSecond = fBest, m_aiNearest[e] = u, fBest = pfRow[u];
            else if (m_abUsed[u] && pfRow[u] <= fSecond)
                m_aiSecond[e] = u, fSecond = pfRow[u];
        if (iOld >= 0) m_afCost[iOld] = fValue(iOld);
        if (m_aiNearest[e] >= 0) m_afCost[m_aiNearest[e]] = fValue(m_aiNearest[e]);
    }
    void vBuild(const Image* poImage, int iCount, tdDeltaMethod eMethod, double fExponent, double fWeight)
    {
        std::fill(std::begin(m_aiNearest), std::end(m_aiNearest), -1);
        std::fill(std::begin(m_aiSecond), std::end(m_aiSecond), -1);
        for (int i = 0; i < 512 * 512; i++)
        {
            const Color o1 = oRGB(i >> 15, i >> 12 & 7, i >> 9 & 7), o2 = oRGB(i >> 6 & 7, i >> 3 & 7, i & 7);
            m_afP.push_back(fColorDelta(&o1, &o2, fExponent, 7.0, eMethod, fWeight));
        }
        int iUsed = 0;
        for (int i = 0; i < poImage->m_iWidth * poImage->m_iHeight; i++)
        {
            const Color o = poImage->oGetPixel(i % poImage->m_iWidth, i / poImage->m_iWidth);
            const int iBin = (7 * o.r + 127) / 255 * 64 + (7 * o.g + 127) / 255 * 8 + (7 * o.b + 127) / 255;
            iUsed += m_abUsed[iBin] ? 0 : 1;
            m_abUsed[iBin] = true;
            m_afWeight[iBin] += 1.0;
        }
        // Greedy merging: the cheapest bin goes, the lowest on a tie.
        for (int i = 0; i < 512 && iUsed > iCount; i++)
            vInit(i);
        for (; iUsed > iCount; iUsed--)
        {
            int iRemove = -1, iLowest = -1;
            for (int i = 511; i >= 0; i--)
                iLowest = m_abUsed[i] ? i : iLowest;
            for (int i = 0; i < 512; i++)
                if (m_abUsed[i] && m_afCost[i] < (iRemove < 0 ? DBL_MAX : m_afCost[iRemove])) iRemove = i;
            iRemove = iRemove < 0 ? iLowest : iRemove;
            m_abUsed[iRemove] = false;
            for (int i = 0; i < 512; i++)
                if (m_aiNearest[i] == iRemove || m_aiSecond[i] == iRemove) vInit(i);
        }
        for (int i = 0; i < 512; i++) // merged pixels count for the bin that absorbed them
            if (m_abUsed[i])
                m_aiNearest[i] = m_aiSecond[i] = -1;
            else if (m_aiNearest[i] >= 0)
                m_afWeight[m_aiNearest[i]] += m_afWeight[i], m_afWeight[i] = 0.0;
    }
};

// The order of the colours and the searches are worked by hand below.
TEST(PaletteReference, SameLinksAndCostsAsThePlainMerging)
{
    // Rows of a method share its distance table: one found under a wrong key shows.
    const std::unique_ptr<Image> apo[] = {
        std::unique_ptr<Image>(poMakeTestPicture(TestPicture_Gradient, 40, 32, 1.0, 1, 1, 1)),
        std::unique_ptr<Image>(poMakeTestPicture(TestPicture_Noise, 32, 24, 1.0, 7, 1, 1)),
        std::unique_ptr<Image>(poStrip("255 0 0*7,250 10 0*5,0 0 0*7,20 20 20*7,0 255 0*3,128 128 255*7"))};
    const Image *poG = apo[0].get(), *poN = apo[1].get(), *poF = apo[2].get();
    // clang-format off
    const struct { const Image* poImage; int iMethod, iCount; double fExponent, fWeight; } aoRows[] = {
        {poG, DeltaMethod_RGB, 16, 1.0, 1.0},    {poG, DeltaMethod_LAB, 5, 1.0, 1.0},    {poG, DeltaMethod_LAB, 5, 0.5, 1.0},
        {poN, DeltaMethod_Hit9918, 16, 1.0, 0.0}, {poN, DeltaMethod_Hit9918, 3, 1.0, 2.5}, {poN, DeltaMethod_Oklab, 4, 2.0, 1.0},
        {poF, DeltaMethod_XYZ, 4, 1.0, 1.0},     {poN, DeltaMethod_CIEDE2000, 16, 1.0, 1.0},
        // method 6 is unknown: all distances zero; exponent 0: all one; -1: infinite from a zero distance
        {poG, 6, 4, 1.0, 1.0}, {poF, DeltaMethod_RGB, 3, 0.0, 1.0}, {poF, DeltaMethod_RGB, 2, -1.0, 1.0},
    };
    // clang-format on
    for (const auto& o : aoRows)
    {
        SCOPED_TRACE(testing::Message() << "method " << o.iMethod << " count " << o.iCount << " p "
                                        << o.fExponent << " w " << o.fWeight);
        const tdDeltaMethod eMethod = static_cast<tdDeltaMethod>(o.iMethod);
        tdRefBuilder oRef;
        oRef.vBuild(o.poImage, o.iCount, eMethod, o.fExponent, o.fWeight);
        const Palette oPalette(o.poImage, static_cast<unsigned int>(o.iCount), nullptr, o.fExponent, eMethod,
                               o.fWeight);
        const auto iIndex = [&](const Palette::Entry* po)
        { return po ? static_cast<int>(po - oPalette.m_aoEntries) : -1; };
        for (int i = 0; i < 512; i++)
        {
            const Palette::Entry& oE = oPalette.m_aoEntries[i];
            ASSERT_EQ(std::make_tuple(oE.bUsed != 0, oE.fWeight, iIndex(oE.poNearest), iIndex(oE.poSecond),
                                      oE.bUsed ? oE.fCost : 0.0),
                      std::make_tuple(oRef.m_abUsed[i], oRef.m_afWeight[i], oRef.m_aiNearest[i],
                                      oRef.m_aiSecond[i], oRef.m_abUsed[i] ? oRef.m_afCost[i] : 0.0))
                << i;
        }
    }
}

TEST(PaletteSearch, TieRulesAndOrderWorkedByHand)
{
    // Bins 0 and 1 (blue levels 0 and 1) cost 1/49 each, the heavy white far more: bin 0
    // goes and bin 1 takes both pixels. A copy links its own bins: reducing it further
    // (a target below 1 counts as 1; with all distances 1 every bin is visited) leaves
    // the original alone.
    Palette oPalette;
    oPalette.vAddPixel(oRGB(0, 0, 0));
    oPalette.vAddPixel(oRGB(0, 0, 1));
    oPalette.vAddWeightedPixel(oRGB(7, 7, 7), 100.0);
    oPalette.vAddWeightedPixel(oRGB(3, 3, 3), 0.0); // ignored
    EXPECT_EQ(oPalette.m_uiUsedEntries, 3u);
    oPalette.m_fDetailsEnhancement = 1.0;
    oPalette.m_uiColorCount = 2;
    oPalette.vCreatePalette(DeltaMethod_RGB, 1.0);
    EXPECT_EQ(sPalette(oPalette) + " " + std::to_string(oPalette.m_aoEntries[1].fWeight),
              sPalette(aoParse("7 7 7,0 0 1"), 2) + " 2.000000");
    Palette oCopy(oPalette);
    const double fCost = oPalette.m_aoEntries[1].fCost;
    oCopy.m_fDetailsEnhancement = 0.0;
    oCopy.vReduce(0, DeltaMethod_RGB, 1.0);
    EXPECT_TRUE(oCopy.m_uiUsedEntries == 1 && oCopy.m_aoEntries[511].fWeight == 102.0);
    EXPECT_TRUE(oPalette.m_aoEntries[1].fCost == fCost && oPalette.m_aoEntries[511].fWeight == 100.0);
    // clang-format off
    const struct { const char *pszPixels, *pszColors; double fExponent; bool bGradient; const char* pszExpected; } aoRows[] = {
        // pixels and colours as levels; bGradient: the descent, else the area search
        // Pixels at blue 0 and 2, colour at 1, p 0.25: the error is 2 (1/7)^0.5 at 1
        // and (2/7)^0.5 at both 0 and 2: a tie up and down moves down.
        {"0 0 0,0 0 2", "0 0 1", 0.25, true, "0 0 0"},
        // Pixels at blue 0 and 1, colour at 1, p 0.5: the error is 1/7 at 0 and at 1;
        // the descent needs a strictly smaller error (the area search: below).
        {"0 0 0,0 0 1", "0 0 1", 0.5, true, "0 0 1"},
        // The squared RGB error is separable: the descent walks each channel there.
        {"5 1 6*4", "0 7 3", 1.0, true, "5 1 6"},
        // Errors in 49ths. While colour 0's green is 7, white is nearer to the
        // (5, 1, 6) pixels whatever red is: red stays at the lowest level, 0; green
        // goes to 1, blue to 6. Colour 1: red stays 7; green 2 gives 4 x 6 + 25 = 49,
        // below 7 (100), 1 (56) and 3 (52); blue 6 then 4 x 5 + 26 = 46.
        {"5 1 6*4,7 7 7", "0 7 3,7 7 7", 1.0, false, "0 1 6,7 2 6"},
        // p -1: the error is 1/d of the nearest colour, chosen by d itself. Colour 0
        // flees: at red 7 (d 50/49) colour 1 (d 1) is the nearer, an error of 1 for
        // every green and blue, which take 0. Colour 1 keeps blue 7: at 7 colour 0 ties
        // and is taken, below it colour 1 is nearer, an error of 49/b^2.
        {"0 0 0", "0 0 1,0 0 7", -1.0, false, "7 0 0,0 0 7"},
    };
    // clang-format on
    for (const auto& o : aoRows)
    {
        Palette oHand;
        for (const Color& oPixel : aoParse(o.pszPixels))
            oHand.vAddPixel(oPixel);
        memcpy(oHand.m_aoOriginalEntries, oHand.m_aoEntries, sizeof(oHand.m_aoEntries));
        oHand.m_fDetailsEnhancement = o.fExponent;
        const std::vector<Color> aoColors = aoParse(o.pszColors);
        oHand.m_uiColorCount = static_cast<unsigned int>(aoColors.size());
        std::copy(aoColors.begin(), aoColors.end(), oHand.m_aoColors);
        (oHand.*(o.bGradient ? &Palette::vAdjustGradient : &Palette::vAdjustAreaSearch))(DeltaMethod_RGB,
                                                                                         1.0);
        EXPECT_EQ(sColors(oHand.m_aoColors, aoColors.size()), o.pszExpected);
    }
}

TEST(PaletteBuild, AreasAndEmptyAreas)
{
    // clang-format off
    const struct { const char* pszPixels; tdRectangle oArea; unsigned int uiCount; double fExponent; const char* pszExpected; } aoRows[] = {
        {"255 0 0*4,0 0 255*4", {4, 0, 4, 4}, 17, 1.0, "0 0 255"},
        {"255 0 0*4,0 0 255*4", {-3, -3, 4, 100}, 17, 1.0, "255 0 0"},      // corners from 0, the size cut to the picture's
        {"255 0 0*4,0 0 255*4", {6, 0, 4, 4}, 17, 1.0, "0 0 0,0 0 255"},    // past the right edge: black, 2 pixels each
        {"255 0 0*4,0 0 255*4", {0, 0, 100, 1}, 17, 1.0, "0 0 255,255 0 0"}, // as many of each: bin order
        // The searches run: blue levels 0 and 1 at p 0.5 merge into 1 (the lower bin goes
        // on the cost tie), where the descent stays and the area search takes 0 (1/7 both).
        {"0 0 0,0 0 36", {0, 0, 2, 1}, 1, 0.5, "0 0 0"},
    };
    // clang-format on
    for (const auto& o : aoRows)
    {
        std::unique_ptr<Image> po(poStrip(o.pszPixels));
        Palette oPalette(po.get(), o.uiCount, &o.oArea, o.fExponent, DeltaMethod_RGB, 1.0);
        EXPECT_EQ(sColors(oPalette.m_aoColors, oPalette.m_uiColorCount), o.pszExpected);
    }
    // No pixels: count 0, colours as they were; then vResize makes them all zero.
    std::unique_ptr<Image> po(poStrip("255 0 0*4"));
    Palette oEmpty(g_aoMSX2Palette);
    const tdRectangle oNone = {0, 0, 0, 4};
    oEmpty.vLoadFromImage(po.get(), 16, &oNone, 1.0, DeltaMethod_LAB, 1.0);
    EXPECT_EQ(sPalette(oEmpty), sPalette({g_aoMSX2Palette, g_aoMSX2Palette + 16}, 0));
    oEmpty.vResize(16);
    EXPECT_EQ(sPalette(oEmpty), sPalette(aoParse("0 0 0"), 16));
    // A whole build is the level histogram, the merging, the descent and the area
    // search in this order, on pictures where each step changes colours.
    for (tdTestPictureKind eKind : {TestPicture_Gradient, TestPicture_Noise})
    {
        std::unique_ptr<Image> poPicture(poMakeTestPicture(eKind, 24, 16, 1.0, 5, 4, 4));
        Palette oBuilt(poPicture.get(), 6, nullptr, 1.5, DeltaMethod_RGB, 1.0), oSteps;
        oSteps.m_uiColorCount = 6;
        oSteps.m_fDetailsEnhancement = 1.5;
        for (int i = 0; i < 24 * 16; i++)
        {
            const Color o = poPicture->oGetPixel(i % 24, i / 24);
            oSteps.vAddPixel({static_cast<unsigned char>(iLevelFromByte(o.r)),
                              static_cast<unsigned char>(iLevelFromByte(o.g)),
                              static_cast<unsigned char>(iLevelFromByte(o.b)), 0});
        }
        memcpy(oSteps.m_aoOriginalEntries, oSteps.m_aoEntries, sizeof(oSteps.m_aoEntries));
        oSteps.vCreatePalette(DeltaMethod_RGB, 1.0);
        oSteps.vAdjustGradient(DeltaMethod_RGB, 1.0);
        oSteps.vAdjustAreaSearch(DeltaMethod_RGB, 1.0);
        for (Color& o : oSteps.m_aoColors)
            o = {static_cast<unsigned char>(iByteFromLevel(o.r)),
                 static_cast<unsigned char>(iByteFromLevel(o.g)),
                 static_cast<unsigned char>(iByteFromLevel(o.b)), 0};
        EXPECT_EQ(sColors(oBuilt.m_aoColors, 6), sColors(oSteps.m_aoColors, 6)) << eKind;
    }
}

TEST(PaletteQuery, NearestResizeAndSettings)
{
    // Among the first count colours (at most 16): grey 14 is next to white 15.
    Palette oPalette(g_aoMSX1Palette);
    for (auto ai : {std::pair<unsigned int, int>{16, 15}, {200, 15}, {15, 14}, {0, 0}}) // count, nearest
    {
        oPalette.m_uiColorCount = ai.first;
        EXPECT_EQ(oPalette.iNearestColor(oRGB(255, 255, 255), DeltaMethod_RGB, 0.0), ai.second) << ai.first;
    }
    EXPECT_TRUE(oPalette.poEntry(15) == &oPalette.m_aoColors[15] && !oPalette.poEntry(16) &&
                !oPalette.poEntry(-1));
    // Levels at scale 7: 5/7 grey is nearer to black than to white in linear light.
    EXPECT_EQ(Palette(aoParse("0 0 0,7 7 7*15").data()).oNearestColor(oRGB(5, 5, 5), DeltaMethod_XYZ, 1.0).r,
              0);
    // Resizing keeps min(count, n) colours and fills from the last one kept.
    for (auto ai : {std::pair<unsigned int, unsigned int>{4, 1000}, {16, 2}}) // count, n
    {
        Palette oResized(g_aoMSX2Palette);
        oResized.m_uiColorCount = ai.first;
        oResized.vResize(ai.second);
        EXPECT_EQ(sPalette(oResized),
                  sPalette({g_aoMSX2Palette, g_aoMSX2Palette + std::min(ai.first, ai.second)},
                           std::min(16u, ai.second)));
    }
    // The palette of each type; Auto and unknown types leave it, and the count.
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
        EXPECT_EQ(sPalette(oChosen), sPalette({o.second, o.second + 16}, 5)) << o.first;
    }
    vGetPalette(nullptr, nullptr);
    // Sorting: by red + green + blue, then red, green, blue.
    Palette oSorted(aoParse("9 0 0,0 0 9,0 9 0,1 1 1,0 0 0*12").data());
    oSorted.m_uiColorCount = 5;
    oSorted.vSort();
    EXPECT_EQ(sColors(oSorted.m_aoColors, 5), "0 0 0,1 1 1,0 0 9,0 9 0,9 0 0");
}

TEST(PaletteDeathTest, AddingAByteColourStopsWithAMessage)
{
    Palette oPalette;
    EXPECT_DEATH(oPalette.vAddPixel(oRGB(8, 0, 0)), "MSX levels");
}

TEST(PaletteFile, ReadersSnapToLevelsAndWritersRoundTrip)
{
    tdTempFolder oFolder;
    std::string sMany;
    for (int i = 0; i < 16; i++)
        sMany += "1 1 1\n";
    // clang-format off
    const struct { const char* pszName; std::string sText; unsigned int uiCount; const char* pszColors; } aoRows[] = {
        {"colours.gpl", "GIMP Palette\nName: test\n# comment 1 2 3\n91 128   0\tOrange\n  18  19 54\r\n\n12abc\n"
                        "1 2 x\n+255 -0 +0\n", 3, "73 146 0,0 36 36,255 0 0"},
        // Truncating divisions: 300 -> level 8 -> 291 & 255 = 35; -100 -> level -2 ->
        // -72 & 255 = 184; beyond int counts as INT_MAX: 2147483629 & 255 = 237.
        {"odd.GPL", "300 -100 99999999999999999999\n", 1, "35 184 237"},
        // The tail of a long line is no line; a line whose first 1024 characters hold
        // no number is skipped.
        {"long.gpl", "36 36 36" + std::string(1500, ' ') + "255 255 255\n" + std::string(1010, ' ') + "146 146 146\n" +
                     std::string(1024, ' ') + "255 0 0\n73 73 73", 3, "36 36 36,146 146 146,73 73 73"},
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
        const std::string sPath = oFolder.sFile(o.pszName);
        ASSERT_TRUE(bWriteFile(sPath, std::vector<unsigned char>(o.sText.begin(), o.sText.end())));
        Palette oPalette(g_aoMSX2Palette);
        vLoadPaletteFile(&oPalette, sPath.c_str());
        EXPECT_EQ(sPalette(oPalette), sPalette(aoParse(o.pszColors), o.uiCount)) << o.pszName;
    }
    // A file that cannot be opened is reported and leaves the palette.
    Palette oPalette(g_aoMSX2Palette);
    oPalette.m_uiColorCount = 7;
    tdCaptured oOutput =
        oCaptureOutput([&] { vLoadPaletteFile(&oPalette, oFolder.sFile("missing.gpl").c_str()); });
    EXPECT_NE(oOutput.m_sErr.find("Palette file not found."), std::string::npos) << oOutput.m_sErr;
    EXPECT_EQ(sPalette(oPalette), sPalette({g_aoMSX2Palette, g_aoMSX2Palette + 16}, 7));

    // Writers: a text file (the extension made "gpl") read back, register words.
    const tdTempFolder oOut;
    oPalette = Palette(g_aoMSX1Palette);
    oPalette.m_uiColorCount = 3;
    const std::string sBase = oOut.sFile("saved");
    vWritePaletteTextFile(&oPalette, nullptr, (sBase + ".txt").c_str()); // written as saved.gpl
    vWritePaletteTextFile(&oPalette, nullptr, (sBase + "3").c_str());
    vWritePaletteTextFile(&oPalette, nullptr, (oOut.sFile("none") + "/x.gpl").c_str()); // no folder: nothing
    oPalette.m_uiColorCount = 16;
    vWritePaletteTextFile(&oPalette, nullptr, (sBase + "2.GPL").c_str());
    EXPECT_EQ(asListFolder(oOut.m_sPath),
              (std::vector<std::string>{"saved.gpl", "saved2.GPL", "saved3.gpl"}));
    const std::vector<unsigned char> auc = aucReadFile(sBase + ".gpl");
    EXPECT_EQ(std::string(auc.begin(), auc.end()), "GIMP Palette\nName: saved\n#\n0 0 0\n0 0 0\n73 182 73\n");
    Palette oReadBack;
    vLoadPaletteFile(&oReadBack, (sBase + "2.GPL").c_str());
    EXPECT_EQ(sPalette(oReadBack), sPalette({g_aoMSX1Palette, g_aoMSX1Palette + 16}, 16));
    // Register words from the levels of the bytes: (255, 182, 36) is 0x0571; an empty
    // palette gives a command of no word.
    oPalette.m_aoColors[0] = oRGB(255, 182, 36);
    oPalette.m_aoColors[1] = oRGB(18, 19, 237); // levels 0, 1, 7
    tdByteArray oArray;
    for (unsigned int uiCount : {2u, 0u})
    {
        oPalette.m_uiColorCount = uiCount;
        oPalette.vWriteToKRUArray(&oArray);
    }
    EXPECT_EQ(std::vector<unsigned char>(oArray.m_pucData, oArray.m_pucData + oArray.m_iSize),
              (std::vector<unsigned char>{1, 0, 2, 0x71, 0x05, 0x07, 0x01, 1, 0, 0}));
}
} // namespace
