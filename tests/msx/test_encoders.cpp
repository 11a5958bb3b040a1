// The screen encoders (Screens 2, 3, 5, 6, 7, 8, 10, 12). Oracles: the video chip model
// (the decoded streams, loaded in the screen's layout, render as the encoder's output
// picture) and plain reference encoders beside the optimised ones, tie rules included.

#include "tests/msx/msx_helpers.h"

#include "qev/color/color_delta.h"
#include "qev/color/diffuser.h"
#include "qev/msx/encoder_bitmap.h"
#include "qev/msx/encoder_pattern.h"
#include "qev/msx/encoder_yjk.h"
#include "qev/msx/yjk.h"
#include "qev/msx/yjk_palette.h"

#include <cfloat>
#include <memory>
#include <tuple>

namespace
{
const tdTestPictureKind eN = TestPicture_Noise, eG = TestPicture_Gradient, eF = TestPicture_Flat,
                        eT = TestPicture_Transparency;

// clang-format off
// Renderers by index: Screens 2, 3, 5, 6, 7, 8, 10, 12 (without interpolation).
Image* poRender(const VDP& oVDP, int iIndex, bool bInterlaced, bool bInterleave)
{
    switch (iIndex)
    {
    case 0: return oVDP.poGetScreen2Image();
    case 1: return oVDP.poGetScreen3Image();
    case 2: return oVDP.poGetScreen5Image(bInterlaced, bInterleave);
    case 3: return oVDP.poGetScreen6Image(bInterlaced, bInterleave);
    case 4: return oVDP.poGetScreen7Image(bInterlaced, bInterleave);
    case 5: return oVDP.poGetScreen8Image(bInterlaced, bInterleave);
    case 6: return oVDP.poGetScreen11Image(bInterlaced, YJK2RGB_None, bInterleave);
    default: return oVDP.poGetScreen12Image(bInterlaced, YJK2RGB_None, bInterleave);
    }
}

// Width, height, palette entries (0: none), line bytes (0: pattern screen), page 1.
struct tdScreen { int m_iWidth, m_iHeight, m_iColors, m_iLineBytes, m_iPageOne; };
const tdScreen g_aoScreens[8] = {{256, 192, 16, 0, 0}, {64, 48, 16, 0, 0}, {256, 212, 16, 128, 0x8000},
    {512, 212, 4, 128, 0x8000}, {512, 212, 16, 256, 0x10000}, {256, 212, 0, 256, 0x10000},
    {256, 212, 16, 256, 0x10000}, {256, 212, 0, 256, 0x10000}};

// The encoder of screen iIndex; poPalette null on Screen 10 means no palette.
tdErrorTriple oEncode(int iIndex, Image* po, Palette* poPalette, double f, tdByteArray* po1, tdByteArray* po2,
                      tdCompressionType e = CompressionType_None, Image* poOut = nullptr,
                      tdDeltaMethod eDelta = DeltaMethod_RGB, bool bNameTable = true,
                      tdRGB2YJKMethod eYJK = RGB2YJK_AreaSearch, double fExponent = 1.0)
{
    switch (iIndex)
    {
    case 0: return oWriteImageToScreen2(po, poPalette, f, po1, e, poOut, fExponent, bNameTable, eDelta, 0.7);
    case 1: return oWriteImageToScreen3(po, poPalette, f, po1, e, poOut, eDelta, 0.7);
    case 5: return oWriteImageToRGB(po, f, po1, po2, e, poOut, eDelta);
    case 6: return oWriteImageToYJKPlusPalette(po, poPalette, f, po1, po2, e, eYJK, poOut, fExponent, eDelta, 0.7);
    case 7: return oWriteImageToYJK(po, f, po1, po2, e, eYJK, poOut, fExponent, eDelta, 0.7);
    default: return oWriteImageToIndexed(po, poPalette, f, po1, po2, e, poOut, eDelta, 0.7);
    }
}
// clang-format on

tdBytes aucLines(const Image* po, int iLines)
{
    tdBytes auc = aucTopDownTexels(po);
    auc.resize(static_cast<size_t>(3 * po->m_iWidth * iLines));
    return auc;
}

// Indexed with floor(log2 N) bits a pixel, or Screen 8 levels refined by a search ±4 levels
// around the rounded ones; the fields of all lines one after the other, zero bits at the end.
tdErrorTriple oReferenceBitmap(const Image* poImage, const Palette* poPalette, double fDiffusion,
                               tdDeltaMethod eMethod, tdBytes* paucOut, Image* poOutput)
{
    int iBits = poPalette ? 0 : 8;
    while (poPalette && (2u << iBits) <= poPalette->m_uiColorCount)
        iBits++;
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fDiffusion);
    unsigned int uiBits = 0, uiPending = 0;
    for (int y = 0; y < poImage->m_iHeight; y++, oDiffuser.vNewLine())
        for (int x = 0; x < poImage->m_iWidth; x++)
        {
            Color oPixel = poImage->oGetPixel(x, y);
            oDiffuser.vAdjust(x, &oPixel);
            Color oChosen = {0, 0, 0, 255};
            int iValue = 0, R = 0, G = 0, B = 0;
            if (poPalette)
            {
                iValue = oPixel.a == 0 ? 0 : poPalette->iNearestColor(oPixel, eMethod, 0.7);
                oChosen = poPalette->m_aoColors[iValue];
            }
            else if (oPixel.a != 0)
            {
                R = (7 * oPixel.r + 127) / 255;
                G = (7 * oPixel.g + 127) / 255;
                B = oPixel.b < 37 ? 0 : (oPixel.b < 110 ? 1 : (oPixel.b < 201 ? 2 : 3));
                double fBest = DBL_MAX;
                // RGB (0) and Hit9918 (4) take the plain levels.
                for (int r = std::max(R - 4, 0); eMethod % 4 && r <= std::min(R + 4, 7); r++)
                    for (int g = std::max(G - 4, 0); g <= std::min(G + 4, 7); g++)
                        for (int c = 0; c < 4; c++)
                        {
                            const Color oCandidate = {cExpand3(r), cExpand3(g), cExpand2(c), 255};
                            const double f = fColorDelta(&oCandidate, &oPixel, 1.0, 255.0, eMethod, 0.0);
                            if (f < fBest) fBest = f, R = r, G = g, B = c;
                        }
                iValue = 32 * G + 4 * R + B;
                oChosen = {cExpand3(R), cExpand3(G), cExpand2(B), 255};
            }
            oDiffuser.vDiffuse(x, &oPixel, &oChosen);
            poOutput->vSetPixel(x, y, &oChosen);
            for (int b = iBits - 1; b >= 0; b--)
                if (uiBits = 2 * uiBits + ((iValue >> b) & 1), ++uiPending == 8)
                    paucOut->push_back(static_cast<unsigned char>(uiBits)), uiBits = uiPending = 0;
        }
    if (uiPending) paucOut->push_back(static_cast<unsigned char>(uiBits << (8 - uiPending)));
    return oDiffuser.oGetError();
}

// Screen 2 over lines 0..iLines-1, without name table. Each pair trial drives the Diffuser and is
// undone with vRestore; the later pair wins a tie, the foreground a tie of the final pass.
tdErrorTriple oReferenceScreen2(const Image* poImage, const Palette& oPalette, double fDiffusion,
                                double fExponent, tdDeltaMethod eMethod, int iLines, tdBytes* paucOut,
                                Image* poOutput)
{
    const Color* pal = oPalette.m_aoColors;
    paucOut->assign(12288, 0);
    Diffuser oDiffuser(256, 192, poImage->m_fAspectRatio, fDiffusion);
    auto fDelta = [&](const Color& o, int i, double fPower)
    { return fColorDelta(&o, &pal[i], fPower, 255.0, eMethod, 0.7); };
    for (int y = 0; y < iLines; y++, oDiffuser.vNewLine())
        for (int x = 0; x < 256; x += 8)
        {
            Color aoPixels[8];
            oDiffuser.vSave(x);
            double fBest = DBL_MAX;
            int F = 0, B = 0;
            for (int i = 0; i < 15; i++)
                for (int j = i + 1; j < 16; j++)
                {
                    double fTotal = 0.0;
                    for (int k = 0; k < 8; k++)
                    {
                        aoPixels[k] = poImage->oGetPixel(x + k, y);
                        oDiffuser.vAdjust(x + k, &aoPixels[k]);
                        const double di = fDelta(aoPixels[k], i, fExponent),
                                     dj = fDelta(aoPixels[k], j, fExponent);
                        oDiffuser.vDiffuse(x + k, &aoPixels[k], &pal[dj > di ? i : j]);
                        fTotal += std::min(di, dj);
                    }
                    oDiffuser.vRestore(x);
                    if (fTotal <= fBest) fBest = fTotal, F = i, B = j;
                }
            const size_t uiAt = static_cast<size_t>(256 * (y / 8) + x + y % 8);
            (*paucOut)[6144 + uiAt] = static_cast<unsigned char>(16 * F + B);
            for (int k = 0; k < 8; k++)
            {
                aoPixels[k] = poImage->oGetPixel(x + k, y);
                oDiffuser.vAdjust(x + k, &aoPixels[k]);
                const bool bForeground = fDelta(aoPixels[k], F, 1.0) <= fDelta(aoPixels[k], B, 1.0);
                oDiffuser.vDiffuse(x + k, &aoPixels[k], &pal[bForeground ? F : B]);
                poOutput->vSetPixel(x + k, y, &pal[bForeground ? F : B]);
                if (bForeground) (*paucOut)[uiAt] |= static_cast<unsigned char>(0x80 >> k);
            }
        }
    return oDiffuser.oGetError();
}

// YJK: the reference search for every conversion; with a palette, a pixel at least as close to
// its nearest palette colour takes it and turns white for the next conversions.
void vReferenceGroup(const Color* poPixels, const Palette* poPalette, bool bEvenY, tdRGB2YJKMethod eMethod,
                     double fExponent, tdDeltaMethod eDelta, unsigned char* puc, Color* poColors)
{
    Color aoWork[4] = {poPixels[0], poPixels[1], poPixels[2], poPixels[3]};
    int aiAssigned[4] = {-1, -1, -1, -1};
    for (bool bChanged = true; bChanged;)
    {
        vRGB2YJKReference(aoWork, puc, poColors, eMethod, bEvenY, fExponent, eDelta, 0.7);
        bChanged = false;
        for (int k = 0; poPalette && k < 4; k++)
        {
            const int i =
                aiAssigned[k] >= 0 ? aiAssigned[k] : poPalette->iNearestColor(aoWork[k], eDelta, 0.7);
            if (aiAssigned[k] < 0 &&
                fColorDelta(&aoWork[k], &poColors[k], 1.0, 255.0, eDelta, 0.7) <
                    fColorDelta(&aoWork[k], &poPalette->m_aoColors[i], 1.0, 255.0, eDelta, 0.7))
                continue;
            bChanged |= aiAssigned[k] < 0;
            aiAssigned[k] = i;
            aoWork[k].r = aoWork[k].g = aoWork[k].b = 255;
            poColors[k] = poPalette->m_aoColors[i];
            puc[k] = static_cast<unsigned char>(16 * i + 8 + (puc[k] & 7));
        }
    }
}

tdErrorTriple oReferenceYJK(const Image* poImage, const Palette* poPalette, bool bEvenY, double fDiffusion,
                            tdRGB2YJKMethod eMethod, double fExponent, tdDeltaMethod eDelta,
                            tdBytes* paucFirst, tdBytes* paucSecond, Image* poOutput)
{
    Diffuser oDiffuser(poImage->m_iWidth, poImage->m_iHeight, poImage->m_fAspectRatio, fDiffusion);
    for (int y = 0; y < poImage->m_iHeight; y++, oDiffuser.vNewLine())
        for (int x = 0; x < poImage->m_iWidth; x += 4)
        {
            Color aoPixels[4], aoColors[4];
            unsigned char auc[4];
            for (int k = 0; k < 4; k++)
                aoPixels[k] = poImage->oGetPixel(x + k, y);
            // Without diffusion the four conversions are one: nothing is carried.
            for (int k = 0; k < 4; k++)
            {
                oDiffuser.vAdjust(x + k, &aoPixels[k]);
                vReferenceGroup(aoPixels, poPalette, bEvenY, eMethod, fExponent, eDelta, auc, aoColors);
                oDiffuser.vDiffuse(x + k, &aoPixels[k], &aoColors[k]);
            }
            tdBytes* pauc = (y & 1) ? paucSecond : paucFirst;
            pauc->insert(pauc->end(), auc, auc + 4);
            for (int k = 0; k < 4; k++)
                poOutput->vSetPixel(x + k, y, &aoColors[k]);
        }
    return oDiffuser.oGetError();
}

// Fixed colours (MSX2, or four off-level ones), built from the picture for noise and Screen 10.
Palette oPaletteFor(int iIndex, tdTestPictureKind eKind, const Image* poImage)
{
    const int iColors = std::max(g_aoScreens[iIndex].m_iColors, 1);
    Palette oPalette(iColors == 4 ? g_aoOddPalette : g_aoMSX2Palette);
    if (iIndex == 6)
        vLoadPaletteFromYJKImage(&oPalette, poImage, nullptr, RGB2YJK_AreaSearch, 1.0, 1.0, DeltaMethod_RGB, 0.7);
    if (iIndex != 6 && eKind == TestPicture_Noise)
        oPalette.vLoadFromImage(poImage, static_cast<unsigned>(iColors), nullptr, 1.0, DeltaMethod_RGB, 0.7);
    oPalette.vResize(static_cast<unsigned>(iIndex == 6 ? 16 : iColors));
    return oPalette;
}
} // namespace

// Encode, decode, load in the screen's layout, render: the output picture, of the documented size
// and ratio. Paging 1: two pages, 2: all lines in one buffer; the flag: the Screen 10 palette.
TEST(EncoderRoundTripTest, RenderedVideoMemoryIsTheOutputPicture)
{
    // clang-format off
    struct tdRow { int m_iIndex; tdTestPictureKind m_eKind; double m_fDiffusion; int m_iPaging, m_iCompression, m_bFlag; };
    const tdRow aoRows[] = {{0, eN, 0.8, 0, 0, 1}, {0, eG, 0.0, 0, 2, 1}, {0, eF, 0.8, 0, 1, 1}, {1, eT, 0.8, 0, 2, 0},
                            {1, eN, 0.0, 0, 0, 0}, {2, eN, 0.8, 1, 0, 0}, {2, eG, 0.0, 0, 1, 0}, {3, eF, 0.8, 2, 2, 0},
                            {3, eT, 0.0, 1, 0, 0}, {4, eG, 0.8, 1, 2, 0}, {4, eN, 0.0, 0, 0, 0}, {5, eT, 0.8, 1, 1, 0},
                            {5, eN, 0.0, 2, 0, 0}, {6, eN, 0.8, 1, 1, 1}, {6, eF, 0.0, 0, 0, 0}, {6, eF, 0.0, 2, 2, 1},
                            {7, eG, 0.8, 1, 2, 0}, {7, eT, 0.0, 0, 0, 0}};
    // clang-format on
    for (const tdRow& o : aoRows)
    {
        SCOPED_TRACE("row " + std::to_string(&o - aoRows));
        const auto [iIndex, eKind, fDiffusion, iPaging, iCompression, bFlag] = o;
        const tdScreen& oScreen = g_aoScreens[iIndex];
        const int iWidth = oScreen.m_iWidth,
                  iLines = (iIndex >= 6 ? 24 : oScreen.m_iHeight) * (iPaging ? 2 : 1);
        const double fRatio = (iWidth == 512 ? 0.5 : 1.0) * (iPaging ? 2.0 : 1.0);
        std::unique_ptr<Image> poImage(poMakeTestPicture(eKind, iWidth, iLines, fRatio, 7, 37, 23));
        poImage->vSetDitheringMode((iIndex + iPaging) % 2 ? Dithering_Bayer4x4 : Dithering_None, 0.2, 0, 1);
        Palette oPalette = oPaletteFor(iIndex, eKind, poImage.get());
        Image oOutput(iWidth, iLines, 3, Background_Black, fRatio);
        tdByteArray aoPages[2];
        aoPages[0].vAppend(0xAA); // the encoders append
        oEncode(iIndex, poImage.get(), iIndex == 6 && !bFlag ? nullptr : &oPalette, fDiffusion, &aoPages[0],
                iPaging == 1 ? &aoPages[1] : nullptr, static_cast<tdCompressionType>(iCompression), &oOutput);
        VDP oVDP;
        std::copy(oPalette.m_aoColors, oPalette.m_aoColors + 16, oVDP.m_poPalette);
        tdBytes aauc[2];
        for (int p = 0; p < 2 && aoPages[p].m_iSize; p++)
        {
            const tdBytes auc(aoPages[p].m_pucData + (p ? 0 : 1), aoPages[p].m_pucData + aoPages[p].m_iSize);
            ASSERT_TRUE(p || aoPages[0].m_pucData[0] == 0xAA);
            ASSERT_TRUE(iCompression ? (iCompression == 2 ? bDecodeLZW : bDecodeRunLength)(auc, &aauc[p])
                                     : (aauc[p] = auc, true));
            memcpy(oVDP.m_pucVRAM + p * oScreen.m_iPageOne, aauc[p].data(), aauc[p].size());
        }
        const size_t uiPage =
            static_cast<size_t>(oScreen.m_iLineBytes * (iPaging == 1 ? iLines / 2 : iLines));
        EXPECT_EQ(aauc[0].size(), iIndex == 0 ? 14336u : iIndex == 1 ? 1536u : uiPage);
        for (size_t n = 6144; iIndex == 0 && n < 8192; n++)
            ASSERT_EQ(aauc[0].at(n), n < 6912 ? n % 256 : 0) << "name table and gap at " << n;
        EXPECT_EQ(aauc[1].size(), iPaging == 1 ? uiPage : 0u);
        std::unique_ptr<Image> poRendered(poRender(oVDP, iIndex, iPaging, iPaging == 1));
        EXPECT_EQ(aucLines(&oOutput, iLines), aucLines(poRendered.get(), iLines));
        EXPECT_EQ(poRendered->m_iHeight, iIndex >= 6 ? 212 * iLines / 24 : iLines); // YJK: a band
        EXPECT_EQ(poRendered->m_fAspectRatio, fRatio);
    }
}

// Bytes, output picture and error triple of the plain encoders. Index 8: Screen 10 with a palette;
// extra: the colour count (indexed), the lines drawn (pattern screens) or the YJK method.
TEST(EncoderReferenceTest, EncodersAsThePlainAlgorithms)
{
    const tdDeltaMethod R = DeltaMethod_RGB, X = DeltaMethod_XYZ, L = DeltaMethod_LAB,
                        C = DeltaMethod_CIEDE2000, H = DeltaMethod_Hit9918, O = DeltaMethod_Oklab,
                        Z = DeltaMethod_Count; // no such method: every distance 0, every candidate ties
#ifdef QEV_TEST_SANITIZED
    const int iLong = 16; // lines of the costliest Screen 2 row
#else
    const int iLong = 64;
#endif
    // clang-format off
    const std::tuple<int, tdDeltaMethod, double, int, tdTestPictureKind, int, int, double> aoRows[] = {
        {0, R, 1.0, iLong, eN, 256, 192, 0.8}, {0, R, 0.5, 24, eG, 256, 192, 0.8}, {0, H, 1.5, 16, eT, 256, 192, 0.8},
        {0, L, 1.0, 16, eN, 256, 192, 0.0},    {0, C, 2.0, 8, eN, 256, 192, 0.8},  {0, O, 1.0, 8, eF, 256, 192, 0.8},
        {1, R, 1.0, 48, eN, 64, 48, 0.8},      {1, L, 1.0, 48, eG, 64, 48, 0.8},   {1, H, 1.0, 48, eF, 64, 48, 0.0},
        {2, R, 1.0, 16, eT, 48, 24, 0.8},      {2, L, 1.0, 4, eN, 48, 24, 0.8},    {2, H, 1.0, 3, eG, 101, 7, 0.8},
        {2, R, 1.0, 8, eN, 3, 5, 0.0},         {2, R, 1.0, 1, eN, 17, 1, 0.8},     {2, O, 1.0, 2, eF, 48, 24, 0.0},
        {5, R, 1.0, 0, eT, 48, 24, 0.8},       {5, H, 1.0, 0, eN, 48, 24, 0.8},    {5, L, 1.0, 0, eN, 48, 24, 0.8},
        {5, C, 1.0, 0, eG, 48, 24, 0.8},       {5, X, 1.0, 0, eT, 48, 24, 0.0},    {5, O, 1.0, 0, eN, 48, 24, 0.0},
        {5, Z, 1.0, 0, eN, 16, 4, 0.8},
        {7, R, 1.0, RGB2YJK_AreaSearch, eN, 32, 6, 0.8},   {6, R, 1.0, RGB2YJK_Standard, eG, 32, 6, 0.0},
        {8, R, 1.0, RGB2YJK_LeastSquares, eF, 32, 6, 0.8}, {7, R, 2.0, RGB2YJK_GradientDescent, eN, 32, 6, 0.0},
        {6, R, 1.0, RGB2YJK_BruteForce, eN, 8, 2, 0.8},    {8, H, 1.0, RGB2YJK_AreaSearch, eT, 10, 3, 0.8},
        {8, C, 1.0, RGB2YJK_AreaSearch, eN, 16, 4, 0.0},   {6, L, 1.0, RGB2YJK_GradientDescent, eF, 16, 4, 0.8},
        {8, O, 0.5, RGB2YJK_AreaSearch, eG, 257, 2, 0.8},  {8, R, 1.0, RGB2YJK_AreaSearch, eN, 32, 6, 0.0}};
    // clang-format on
    for (const auto& o : aoRows)
    {
        SCOPED_TRACE("row " + std::to_string(&o - aoRows));
        const auto [iIndex, eDelta, fExponent, iExtra, eKind, iWidth, iHeight, fDiffusion] = o;
        const bool bPattern = iIndex < 2;
        const int iDrawn = bPattern ? iExtra : iHeight; // the rest reads as black
        std::unique_ptr<Image> poImage(poMakeTestPicture(eKind, iWidth, iDrawn, 1.0, 5, 13, 11));
        poImage->vSetDitheringMode(iWidth % 2 ? Dithering_None : Dithering_Bayer2x2, 0.1, 0.0, 1.0);
        Palette oPalette(g_aoOddPalette);
        if (iIndex == 2) oPalette.vResize(static_cast<unsigned>(iExtra));
        if (iIndex == 8) oPalette = oPaletteFor(6, eKind, poImage.get());
        Palette* poPalette = iIndex == 5 || iIndex == 6 || iIndex == 7 ? nullptr : &oPalette;
        Image oOutput(iWidth, iHeight, 3, Background_Black, 1.0),
            oExpectedOutput(iWidth, iHeight, 3, Background_Black, 1.0);
        tdByteArray aoPages[2];
        const tdRGB2YJKMethod eYJK = static_cast<tdRGB2YJKMethod>(iExtra);
        const tdErrorTriple oError = oEncode(std::min(iIndex, 6 + (iIndex == 7)), poImage.get(), poPalette,
                                             fDiffusion, &aoPages[0], iIndex < 6 ? nullptr : &aoPages[1],
                                             CompressionType_None, &oOutput, eDelta, false, eYJK, fExponent);
        tdBytes aauc[2];
        const tdErrorTriple oExpected =
            iIndex == 0 ? oReferenceScreen2(poImage.get(), oPalette, fDiffusion, fExponent, eDelta, iExtra,
                                            &aauc[0], &oExpectedOutput)
            : iIndex < 6
                ? oReferenceBitmap(poImage.get(), poPalette, fDiffusion, eDelta, &aauc[0], &oExpectedOutput)
                : oReferenceYJK(poImage.get(), poPalette, iIndex != 7, fDiffusion, eYJK, fExponent, eDelta,
                                &aauc[0], &aauc[1], &oExpectedOutput);
        tdBytes aucBlocks; // Screen 3: the 4-bit bitmap in block order
        for (size_t i = 0; iIndex == 1 && i < 1536; i++)
            aucBlocks.push_back(aauc[0][256 * (i / 256) + 32 * (i % 8) + i % 256 / 8]);
        if (iIndex == 1) aauc[0] = aucBlocks;
        tdBytes auc = aucArrayBytes(aoPages[0]);
        // Pattern screens: only the rows drawn (the reference leaves the others zero).
        for (long lTable = 0; bPattern && lTable < static_cast<long>(auc.size()); lTable += 6144)
            std::fill(auc.begin() + lTable + 32 * ((iExtra + 7) & ~7),
                      auc.begin() + std::min(lTable + 6144, static_cast<long>(auc.size())), 0);
        EXPECT_EQ(auc, aauc[0]);
        EXPECT_EQ(aucArrayBytes(aoPages[1]), aauc[1]);
        EXPECT_EQ(aucLines(&oExpectedOutput, iDrawn), aucLines(&oOutput, iDrawn));
        EXPECT_TRUE(iDrawn < iHeight || memcmp(&oError, &oExpected, sizeof(oError)) == 0);
    }
}

// Absent pictures and palettes encode nothing; a larger picture is clipped to the screen
// by the pattern encoders; the second buffer alone receives the odd lines.
TEST(EncoderWorkedTest, MissingArgumentsOtherBuffersAndSizes)
{
    std::unique_ptr<Image> poImage(poMakeTestPicture(TestPicture_Gradient, 260, 194, 1.0, 1, 5, 5));
    Image oScreen(256, 192, 3, Background_Black, 1.0);
    Image* po = poImage.get();
    oScreen.vBlit(po, 0, 0);
    for (int i = 0; i < 8; i++)
    {
        Palette oFixed(g_aoMSX2Palette);
        oFixed.vResize(static_cast<unsigned>(std::max(g_aoScreens[i].m_iColors, 1)));
        tdByteArray ao[4];
        tdErrorTriple o = oEncode(i, nullptr, &oFixed, 0.8, &ao[0], &ao[1], CompressionType_LZW);
        if (i < 5) o.fRed += oEncode(i, po, nullptr, 0.8, &ao[0], &ao[1], CompressionType_LZW).fRed;
        EXPECT_EQ(o.fRed + o.fGreen + o.fBlue + ao[0].m_iSize + ao[1].m_iSize, 0.0) << i;
        oEncode(i, i < 2 ? &oScreen : po, &oFixed, 0.8, &ao[0], &ao[1]);
        oEncode(i, po, &oFixed, 0.8, i < 2 ? &ao[2] : nullptr, &ao[3]);
        EXPECT_EQ(aucArrayBytes(ao[i < 2 ? 0 : 1]), aucArrayBytes(ao[i < 2 ? 2 : 3])) << i;
    }
}

// Screen 8: the bytes of the encoder's search (measured colours, remembered answers,
// CIEDE2000 candidates skipped by their bound) are the plain search's, for every
// method, on colours that provoke ties; each colour is asked twice.
TEST(EncoderReferenceTest, Screen8SearchAsThePlainSearch)
{
#ifdef QEV_TEST_SANITIZED
    std::vector<Color> aoColors = aoTieProneColors(500);
#else
    std::vector<Color> aoColors = aoTieProneColors(1500);
#endif
    const size_t uiDistinct = aoColors.size();
    aoColors.insert(aoColors.end(), aoColors.begin(), aoColors.end());
    for (tdDeltaMethod eMethod : {DeltaMethod_RGB, DeltaMethod_XYZ, DeltaMethod_LAB, DeltaMethod_CIEDE2000,
                                  DeltaMethod_Hit9918, DeltaMethod_Oklab, DeltaMethod_Count})
    {
        std::vector<unsigned char> auc(aoColors.size());
        vScreen8Bytes(aoColors.data(), static_cast<int>(aoColors.size()), eMethod, auc.data());
        int iMismatches = 0;
        for (size_t i = 0; i < uiDistinct; i++)
        {
            const unsigned char ucPlain = ucScreen8ByteReference(aoColors[i], eMethod);
            iMismatches += (auc[i] != ucPlain) + (auc[i + uiDistinct] != ucPlain);
        }
        EXPECT_EQ(iMismatches, 0) << "method " << eMethod;
    }
}

// The Screen 5, 8, 10 and 12 encoders spread their rows over the run's threads,
// under diffusion as a wave that follows the row above: one thread and several
// give the same bytes (both pages), picture and error triple. Rows: screen,
// method, picture kind, dithering, diffusion.
TEST(EncoderThreadsTest, OneThreadAndSeveralGiveTheSameResult)
{
    // clang-format off
    const std::tuple<int, tdDeltaMethod, tdTestPictureKind, tdDitheringMode, double> aoRows[] = {
        {5, DeltaMethod_CIEDE2000, TestPicture_Noise, Dithering_None, 0.0},
        {5, DeltaMethod_RGB, TestPicture_Transparency, Dithering_Bayer4x4, 0.0},
        {5, DeltaMethod_CIEDE2000, TestPicture_Noise, Dithering_None, 0.8},
        {8, DeltaMethod_CIEDE2000, TestPicture_Gradient, Dithering_None, 0.0},
        {8, DeltaMethod_Oklab, TestPicture_Flat, Dithering_Bayer2x2, 0.0},
        {8, DeltaMethod_CIEDE2000, TestPicture_Noise, Dithering_None, 1.0},
        {8, DeltaMethod_LAB, TestPicture_Gradient, Dithering_None, 0.8},
        {12, DeltaMethod_Oklab, TestPicture_Noise, Dithering_None, 0.8},
        {10, DeltaMethod_RGB, TestPicture_Gradient, Dithering_None, 0.8},
        {12, DeltaMethod_RGB, TestPicture_Noise, Dithering_None, 0.0}};
    // clang-format on
    for (const auto& [iScreen, eMethod, eKind, eDithering, fDiffusion] : aoRows)
    {
        SCOPED_TRACE(testing::Message() << iScreen << " " << eMethod << " " << eKind << " " << fDiffusion);
        std::unique_ptr<Image> poImage(poMakeTestPicture(eKind, 61, 23, 1.0, 9, 7, 5));
        poImage->vSetDitheringMode(eDithering, 0.1, 0.0, 1.0);
        std::string asResults[2];
        for (int iThreads = 1; iThreads <= 2; iThreads++)
        {
            tdRunContext oRun;
            oRun.m_iThreads = iThreads == 1 ? 1 : 3;
            Palette oPalette(g_aoOddPalette);
            Image oOutput(61, 23, 3, Background_Black, 1.0);
            tdByteArray aoBytes[2];
            tdErrorTriple o = {0.0, 0.0, 0.0};
            if (iScreen == 8)
                o = oWriteImageToRGB(poImage.get(), fDiffusion, &aoBytes[0], &aoBytes[1],
                                     CompressionType_None, &oOutput, eMethod, &oRun);
            else if (iScreen == 5)
                o = oWriteImageToIndexed(poImage.get(), &oPalette, fDiffusion, &aoBytes[0], nullptr,
                                         CompressionType_None, &oOutput, eMethod, 1.0, &oRun);
            else if (iScreen == 12)
                o = oWriteImageToYJK(poImage.get(), fDiffusion, &aoBytes[0], &aoBytes[1],
                                     CompressionType_None, RGB2YJK_AreaSearch, &oOutput, 1.0, eMethod, 1.0,
                                     &oRun);
            else
            {
                // The Screen 10 palette search is spread over the threads as well.
                vLoadPaletteFromYJKImage(&oPalette, poImage.get(), nullptr, RGB2YJK_GradientDescent, 1.0, 1.0, eMethod,
                                           1.0, &oRun);
                o = oWriteImageToYJKPlusPalette(poImage.get(), &oPalette, fDiffusion, &aoBytes[0], nullptr,
                                                CompressionType_None, RGB2YJK_GradientDescent, &oOutput, 1.0,
                                                eMethod, 1.0, &oRun);
            }
            const std::vector<unsigned char> aucPicture = aucTopDownTexels(&oOutput);
            asResults[iThreads - 1] = std::string(aucPicture.begin(), aucPicture.end()) + "|" +
                                      std::string(reinterpret_cast<const char*>(&o), sizeof(o));
            for (const tdByteArray& oBytes : aoBytes)
            {
                const tdBytes auc = aucArrayBytes(oBytes);
                asResults[iThreads - 1] += "|" + std::string(auc.begin(), auc.end());
            }
        }
        EXPECT_EQ(asResults[0], asResults[1]);
    }
}
