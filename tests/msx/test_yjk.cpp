// The YJK colour model. Oracles: the decoding formula and estimate matrices written out,
// hand-worked groups, the plain reference search beside every optimised search (kept
// pixels, both brute force ways), the Screen 10 histogram rebuilt from the reference.

#include "tests/msx/msx_helpers.h"

#include "qev/color/color_delta.h"
#include "qev/msx/yjk.h"
#include "qev/msx/yjk_converter.h"
#include "qev/msx/yjk_palette.h"

#include <memory>
#include <vector>

namespace
{
// Clamp to 0..31, blue divided with truncation toward zero, 5-bit values to bytes.
Color oDecode(int iY, int iJ, int iK)
{
    auto iClamp = [](int v) { return v < 0 ? 0 : (v > 31 ? 31 : v); };
    auto ucExpand = [](int v) { return static_cast<unsigned char>((255 * v + 15) / 31); };
    return {ucExpand(iClamp(iY + iJ)), ucExpand(iClamp(iY + iK)),
            ucExpand(iClamp((5 * iY - 2 * iJ - iK + 2) / 4)), 255};
}

Color oRandomColor(tdTestRandom* po)
{
    return {static_cast<unsigned char>(po->uiNext(256)), static_cast<unsigned char>(po->uiNext(256)),
            static_cast<unsigned char>(po->uiNext(256)), 255};
}

// Groups of six kinds in turn: noise, ramps, flat, cube corners or near, near black or
// white, one (J, K) with Ys that clamp or not (some exact): channels clamp, candidates tie.
std::vector<Color> aoTestGroups(int iCount, uint32_t uiSeed)
{
    tdTestRandom oRandom{uiSeed};
    std::vector<Color> ao;
    const unsigned char aucCorner[] = {0, 0, 255, 255, 8, 247};
    const int aiY[8] = {0, 1, 2, 29, 30, 31, 10, 17};
    for (int g = 0; g < iCount; g++)
    {
        const Color oBase = oRandomColor(&oRandom);
        const int iJ = static_cast<int>(oRandom.uiNext(64)) - 32,
                  iK = static_cast<int>(oRandom.uiNext(64)) - 32;
        const int iStep = static_cast<int>(oRandom.uiNext(19)), iNear = oRandom.uiNext(2) ? 0 : 226;
        for (int p = 0; p < 4; p++)
        {
            Color o = oRandomColor(&oRandom);
            // clang-format off
            switch (g % 6)
            {
            case 1: o = {static_cast<unsigned char>(oBase.r / 2 + p * iStep), oBase.g, oBase.b, 255}; break;
            case 2: o = oBase; break;
            case 3: o = {aucCorner[o.r % 6], aucCorner[o.g % 6], aucCorner[o.b % 6], 255}; break;
            case 4: o = {static_cast<unsigned char>(iNear + o.r % 30), static_cast<unsigned char>(iNear + o.g % 30),
                         static_cast<unsigned char>(iNear + o.b % 30), 255}; break;
            case 5: o = oDecode(o.r % 2 ? aiY[o.g % 8] : o.g % 32, iJ, iK);
                    o.r = static_cast<unsigned char>(o.r < 250 && o.b % 3 == 0 ? o.r + o.b % 5 : o.r); break;
            }
            // clang-format on
            ao.push_back(o);
        }
    }
    return ao;
}
} // namespace

// Four pixels (the last may differ), bytes worked out by hand; every search way agrees.
TEST(YJKConversionTest, WorkedGroupsGiveTheirBytesAndColours)
{
    const Color W = {255, 255, 255, 255}, oOther = {115, 115, 82, 255};
    // clang-format off
    struct tdRow { Color m_oPixel, m_oLast; tdRGB2YJKMethod m_eMethod; bool m_bEvenY; const char* m_pszBytes; };
    const tdRow aoRows[] = {
        // Y 27, J = K = 4; Y 8, J 23, K -7 (255, 8, 0); Y 2, J = K = -1, bits 2-0 all 7 (8, 8, 25).
        {W, W, RGB2YJK_LeastSquares, false, "DC D8 DC D8"}, {{255, 0, 0, 255}, {255, 0, 0, 255}, RGB2YJK_Standard, false, "41 47 47 42"},
        {{0, 0, 27, 255}, {0, 0, 27, 255}, RGB2YJK_Standard, false, "17 17 17 17"},
        // J, K 1..7, Y 25..29: first total 0 at (2, 2), Y 29; even Y (Y 24..28): (3, 3), Y 28.
        {W, W, RGB2YJK_AreaSearch, false, "EA E8 EA E8"},            {W, W, RGB2YJK_AreaSearch, true, "E3 E0 E3 E0"},
        // All J, K: (0, 0), Y 31; even Y (1, 1), Y 30. With (115, 115, 82) last only (4, 4) is
        // exact, where white decodes for Y 27 to 31: the lowest Y wins (28 with even Y).
        {W, W, RGB2YJK_BruteForce, false, "F8 F8 F8 F8"},            {W, W, RGB2YJK_BruteForce, true, "F1 F0 F1 F0"},
        {W, oOther, RGB2YJK_BruteForce, false, "DC D8 DC 50"},       {W, oOther, RGB2YJK_BruteForce, true, "E4 E0 E4 50"},
        // Estimate (27, 4, 4) is exact, yet Y0 moves to 28 (down worse, up equal, best starts above all).
        {W, W, RGB2YJK_GradientDescent, false, "E4 D8 DC D8"},
    };
    // clang-format on
    for (const tdRow& o : aoRows)
    {
        SCOPED_TRACE("row " + std::to_string(&o - aoRows));
        const Color aoPixels[4] = {o.m_oPixel, o.m_oPixel, o.m_oPixel, o.m_oLast};
        for (int iWay = 0; iWay < 3; iWay++)
        {
            unsigned char auc[4];
            Color aoColors[4];
            YJKConverter oConverter(o.m_eMethod, o.m_bEvenY, 1.0, DeltaMethod_RGB, 1.0);
            oConverter.m_lMaxColourTriples = 0; // the pair scan for brute force
            if (iWay == 2) oConverter.vConvert(aoPixels, auc, aoColors);
            if (iWay < 2)
                (iWay ? vRGB2YJKReference : vRGB2YJK)(aoPixels, auc, aoColors, o.m_eMethod, o.m_bEvenY, 1.0,
                                                      DeltaMethod_RGB, 1.0);
            EXPECT_EQ(tdBytes(auc, auc + 4), aucHexBytes(o.m_pszBytes)) << iWay;
        }
    }
}

// Standard and Least squares are the matrix estimate alone (16.16 fixed point; the Y of
// pixel p from its own channels and the others', J and K from all four).
TEST(YJKConversionTest, MatrixEstimatesOfManyGroups)
{
    const int aiOwn[2][3] = {{16384, 8192, 32768}, {17893, 15845, 25438}},
              aiOther[2][3] = {{0, 0, 0}, {-503, -2551, 2443}};
    const int aiJK[2][3] = {{12288, -2048, -8192}, {-4096, 14336, -8192}};
    const std::vector<Color> ao = aoTestGroups(3000, 3);
    for (size_t g = 0; g < ao.size(); g += 4)
        for (int iMatrix = 0; iMatrix < 2; iMatrix++)
            for (int iEven = 0; iEven < 2; iEven++)
            {
                auto iValue = [&](const int* aiA, const int* aiB, int iPixel)
                {
                    long long l = 0;
                    for (int p = 0; p < 4; p++)
                        for (int c = 0; c < 3; c++)
                            l += (p == iPixel ? aiA : aiB)[c] * (&ao[g + p].r)[c];
                    return static_cast<int>((31 * ((l + 32768) / 65536) + 127) / 255);
                };
                const int iJ = std::clamp(iValue(aiJK[0], aiJK[0], -1), -32, 31) & 63;
                const int iK = std::clamp(iValue(aiJK[1], aiJK[1], -1), -32, 31) & 63;
                tdBytes aucExpected;
                for (int p = 0; p < 4; p++)
                    aucExpected.push_back(static_cast<unsigned char>(
                        8 * (std::clamp(iValue(aiOwn[iMatrix], aiOther[iMatrix], p), 0, 31) & ~iEven) +
                        (((p < 2 ? iK : iJ) >> (3 * (p % 2))) & 7)));
                unsigned char auc[4];
                Color aoColors[4];
                vRGB2YJK(&ao[g], auc, aoColors, static_cast<tdRGB2YJKMethod>(iMatrix), iEven, 1.0,
                         DeltaMethod_RGB, 1.0);
                ASSERT_EQ(tdBytes(auc, auc + 4), aucExpected) << "group " << g / 4 << " matrix " << iMatrix;
            }
}

// Every method and distance against the reference: single calls, one converter over many
// groups (pixels changing and coming back, as under error diffusion), the brute force pair
// scan; the colour table holds the decoded colours, the converter's distances equal
// fColorDelta of them bit for bit.
TEST(YJKConversionTest, EverySearchGivesTheReferenceBytes)
{
    // clang-format off
    const struct { tdDeltaMethod m_eDelta; double m_fExponent, m_fWeight; int m_iBruteGroups; } aoCases[] = {
        {DeltaMethod_RGB, 1.0, 1.0, 14},      {DeltaMethod_RGB, 0.5, 1.0, 2},     {DeltaMethod_RGB, 2.0, 1.0, 2},
        {DeltaMethod_XYZ, 1.0, 1.0, 2},       {DeltaMethod_LAB, 1.0, 1.0, 2},     {DeltaMethod_CIEDE2000, 1.0, 1.0, 1},
        {DeltaMethod_CIEDE2000, 1.5, 1.0, 1}, {DeltaMethod_Hit9918, 1.0, 1.0, 8}, {DeltaMethod_Hit9918, 1.0, 2.5, 6},
        {DeltaMethod_Hit9918, 1.0, 0.0, 2},   {DeltaMethod_Oklab, 1.0, 1.0, 2},
        {DeltaMethod_Count, 1.0, 1.0, 1}}; // no such method: every distance 0
    // clang-format on
    for (const auto& o : aoCases)
    {
        SCOPED_TRACE("case " + std::to_string(&o - aoCases));
        const auto [eDelta, fExponent, fWeight, iBruteForce] = o;
        YJKConverter oDistances(RGB2YJK_AreaSearch, false, fExponent, eDelta, fWeight);
        tdTestRandom oRandom{17};
        for (int i = 0; i < 3000; i++)
        {
            Color oPixel = i % 5 ? oRandomColor(&oRandom) : oDecode(oRandom.uiNext(32), 0, 0); // greys exact
            const int iY = static_cast<int>(oRandom.uiNext(32));
            const int iJ = i % 7 ? static_cast<int>(oRandom.uiNext(64)) - 32 : 0,
                      iK = i % 7 ? (iJ + 32 + 17 * iY) % 64 - 32 : 0;
            const Color oColor = oDecode(iY, iJ, iK); // the colour table, sampled
            ASSERT_EQ(memcmp(&g_poColors[2048 * iJ + 32 * iK + iY], &oColor, 4), 0)
                << iY << " " << iJ << " " << iK;
            double fExpected = fColorDelta(&oColor, &oPixel, fExponent, 255.0, eDelta, fWeight);
            double f = oDistances.fCandidateDelta(oPixel, iY, iJ, iK);
            ASSERT_EQ(memcmp(&f, &fExpected, sizeof(f)), 0) << f << " " << fExpected << " at " << i;
        }

        std::vector<Color> ao = aoTestGroups(60, 11 + static_cast<uint32_t>(eDelta));
        if (eDelta == DeltaMethod_CIEDE2000) // ties: MSX colours and colours halfway between them
        {
            const std::vector<Color> aoTies = aoTieProneColors(0);
            for (size_t i = 0; i < aoTies.size() && ao.size() < 4 * 90; i += 13)
                ao.push_back(aoTies[i]);
        }
        for (int iMethod = 0; iMethod <= RGB2YJK_BruteForce; iMethod++)
            for (int iEven = 0; iEven < 2; iEven++)
            {
                const tdRGB2YJKMethod eMethod = static_cast<tdRGB2YJKMethod>(iMethod);
                YJKConverter oConverter(eMethod, iEven, fExponent, eDelta, fWeight);
                YJKConverter oPairScan(eMethod, iEven, fExponent, eDelta, fWeight);
                oPairScan.m_lMaxColourTriples = 0;
                const bool bBrute = eMethod == RGB2YJK_BruteForce;
                // CIEDE2000 brute force by colour: beyond the reference's groups, the pair scan is the
                // oracle.
                const bool bMoreByPairScan = bBrute && eDelta == DeltaMethod_CIEDE2000 && fExponent == 1.0;
                const size_t uiGroups =
                    bBrute ? (bMoreByPairScan ? 40 : static_cast<size_t>(iBruteForce)) : ao.size() / 2;
                for (size_t g = 0; g < uiGroups; g++)
                {
                    // Brute force: every kind in turn; the others: each group twice, one pixel changed.
                    Color aoGroup[4];
                    std::copy_n(&ao[4 * (bBrute ? (g * 5) % (ao.size() / 4) : g / 2)], 4, aoGroup);
                    if (!bBrute && g % 2)
                        aoGroup[g % 4].b = static_cast<unsigned char>(aoGroup[g % 4].b ^ (g % 7));
                    unsigned char aucRef[4], auc[4], aucSingle[4];
                    Color aoRef[4], aoColors[4], aoSingle[4];
                    const bool bReference = !bBrute || g < static_cast<size_t>(iBruteForce);
                    if (bReference)
                        vRGB2YJKReference(aoGroup, aucRef, aoRef, eMethod, iEven, fExponent, eDelta, fWeight);
                    else
                        oPairScan.vConvert(aoGroup, aucRef, aoRef);
                    oConverter.vConvert(aoGroup, auc, aoColors);
                    vRGB2YJK(aoGroup, aucSingle, aoSingle, eMethod, iEven, fExponent, eDelta, fWeight);
                    SCOPED_TRACE(testing::Message() << iMethod << " " << iEven << " " << g);
                    ASSERT_EQ(memcmp(auc, aucRef, 4), 0);
                    ASSERT_EQ(memcmp(aucSingle, aucRef, 4), 0);
                    ASSERT_EQ(memcmp(aoColors, aoRef, sizeof(aoColors)), 0);
                    ASSERT_EQ((auc[0] | auc[1] | auc[2] | auc[3]) & (iEven ? 8 : 0), 0) << "even Y ";
                    if (!bBrute || !bReference) continue;
                    oPairScan.vConvert(aoGroup, auc, aoColors);
                    ASSERT_EQ(memcmp(auc, aucRef, 4), 0) << "pair scan ";
                }
            }
    }
}

// Groups of the rectangle (past the right edge: black) converted by the reference, each pixel's
// distance to its colour added to its level bin; colours on MSX levels; exact YJK touches nothing.
TEST(YJKPaletteTest, HistogramWeighsEachPixelByItsYJKError)
{
    std::unique_ptr<Image> poImage(poMakeTestPicture(TestPicture_Gradient, 30, 9, 1.0, 4, 5, 5));
    // Taller than one band of rows that the search converts in parallel.
    std::unique_ptr<Image> poTall(poMakeTestPicture(TestPicture_Noise, 12, 37, 1.0, 4, 5, 5));
    Image oBlack(24, 2, 3, Background_Black, 1.0);
    const tdDeltaMethod eLab = DeltaMethod_LAB;
    auto iBin = [](Color o)
    { return iLevelFromByte(o.r) * 64 + iLevelFromByte(o.g) * 8 + iLevelFromByte(o.b); };
    const tdRectangle aoRects[] = {
        {0, 0, 30, 9}, {3, -2, 100, 5}, {-1, 4, 14, 3}, {0, 0, 24, 2}, {0, 0, 12, 37}};
    for (int iCase = 0; iCase < 5; iCase++)
    {
        const tdRectangle& oRect = aoRects[iCase];
        const Image* po = iCase == 3 ? &oBlack : (iCase == 4 ? poTall.get() : poImage.get());
        const double fPaletteExponent = iCase == 2 ? 2.0 : 1.0;
        double afExpected[512] = {};
        const int x0 = std::max(oRect.iX, 0), y0 = std::max(oRect.iY, 0);
        for (int y = y0; y < y0 + std::min(oRect.iHeight, po->m_iHeight); y++)
            for (int x = x0; x < x0 + std::min(oRect.iWidth, po->m_iWidth); x += 4)
            {
                Color aoPixels[4], aoColors[4];
                for (int p = 0; p < 4; p++)
                    aoPixels[p] = po->oGetPixel(x + p, y);
                unsigned char auc[4];
                vRGB2YJKReference(aoPixels, auc, aoColors, RGB2YJK_AreaSearch, true, 1.0, eLab, 1.0);
                for (int p = 0; p < 4; p++)
                    afExpected[iBin(aoPixels[p])] +=
                        fColorDelta(&aoPixels[p], &aoColors[p], fPaletteExponent, 255.0, eLab, 1.0);
            }
        Palette oPalette(g_aoOddPalette);
        vLoadPaletteFromYJKImage(&oPalette, po, iCase % 3 ? &oRect : nullptr, RGB2YJK_AreaSearch,
                                 fPaletteExponent, 1.0, eLab, 1.0);
        for (int i = 0; i < 512; i++)
            ASSERT_TRUE(oPalette.m_aoOriginalEntries[i].fWeight == afExpected[i] &&
                        oPalette.m_aoOriginalEntries[i].bUsed == (afExpected[i] != 0.0))
                << "bin " << i << ": " << oPalette.m_aoOriginalEntries[i].fWeight << " " << afExpected[i];
        if (iCase == 4) continue;
        EXPECT_EQ(oPalette.m_uiColorCount, iCase == 3 ? 0u : 16u);
        EXPECT_EQ(oPalette.m_uiUsedEntries == 0, iCase == 3);
        for (const Color& o : oPalette.m_aoColors)
            for (unsigned char c : {o.r, o.g, o.b})
                ASSERT_TRUE(iCase == 3 || iByteFromLevel(iLevelFromByte(c)) == c) << "not an MSX level";
        EXPECT_EQ(memcmp(oPalette.m_aoColors, g_aoOddPalette, sizeof(g_aoOddPalette)) == 0, iCase == 3);
    }
}
