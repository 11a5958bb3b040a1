// The decoders against netpbm, an independent implementation of these formats:
// a picture made here is written by a netpbm tool (or, for Degas Elite, here),
// read back by netpbm's reader and by RECOIL, and the two compared pixel for
// pixel. netpbm keeps a format's own channel levels (maxval 7 for the Atari ST),
// which are widened here as documented. A case whose tools are missing is
// skipped (scripts/setup installs netpbm).

#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
enum tdSource
{
    Source_ST,      // 320 x 200 Atari ST low-resolution screen (16 colours of 3-bit levels)
    Source_STElite, // the same, written here as Degas Elite compressed
    Source_Colors,  // iWidth x iHeight in iColors random 8-bit colours
    Source_Bits,    // iWidth x iHeight black and white
};

struct tdNetpbmCase
{
    const char* pszName;
    const char* pszExtension;
    const char* pszWriter; // reads "in.ppm" or "in.pbm", its output goes to the file; null: written here
    const char* pszReader;
    tdSource eSource;
    int iWidth;
    int iHeight;
    int iColors;
    int iHAMBits; // hold-and-modify files: bits of a changed channel
};

void PrintTo(const tdNetpbmCase& o, std::ostream* po)
{
    *po << o.pszName;
}

// clang-format off
//  name            ext    writer                                     reader       source          width height colours HAM
const tdNetpbmCase g_aoNetpbmCases[] = {
    {"Degas",        "pi1", "ppmtopi1 in.ppm",                         "pi1toppm",  Source_ST,       320, 200, 16,  0},
    {"DegasElite",   "pc1", nullptr,                                   "pc1toppm",  Source_STElite,  320, 200, 16,  0},
    {"NEOchrome",    "neo", "ppmtoneo in.ppm",                         "neotoppm",  Source_ST,       320, 200, 16,  0},
    {"DegasHigh",    "pi3", "pbmtopi3 in.pbm",                         "pi3topbm",  Source_Bits,     640, 400, 2,   0},
    {"PCX1Plane",    "pcx", "ppmtopcx -planes=1 in.ppm",               "pcxtoppm",  Source_Colors,   77,  45,  2,   0},
    {"PCX2Planes",   "pcx", "ppmtopcx -planes=2 in.ppm",               "pcxtoppm",  Source_Colors,   77,  45,  4,   0},
    {"PCX3Planes",   "pcx", "ppmtopcx -planes=3 in.ppm",               "pcxtoppm",  Source_Colors,   77,  45,  8,   0},
    {"PCX4Planes",   "pcx", "ppmtopcx -planes=4 in.ppm",               "pcxtoppm",  Source_Colors,   77,  45,  16,  0},
    {"PCXPacked1",   "pcx", "ppmtopcx -packed in.ppm",                 "pcxtoppm",  Source_Colors,   77,  45,  2,   0},
    {"PCXPacked2",   "pcx", "ppmtopcx -packed in.ppm",                 "pcxtoppm",  Source_Colors,   77,  45,  4,   0},
    {"PCXPacked4",   "pcx", "ppmtopcx -packed in.ppm",                 "pcxtoppm",  Source_Colors,   77,  45,  16,  0},
    {"PCX8Bits",     "pcx", "ppmtopcx -8bit in.ppm",                   "pcxtoppm",  Source_Colors,   77,  45,  200, 0},
    {"PCX24Bits",    "pcx", "ppmtopcx -24bit in.ppm",                  "pcxtoppm",  Source_Colors,   77,  45,  1000, 0},
    {"ILBM1Plane",   "iff", "ppmtoilbm -maxplanes 8 -fixplanes 1 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  2,   0},
    {"ILBM2Planes",  "iff", "ppmtoilbm -maxplanes 8 -fixplanes 2 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  4,   0},
    {"ILBM3Planes",  "iff", "ppmtoilbm -maxplanes 8 -fixplanes 3 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  8,   0},
    {"ILBM4Planes",  "iff", "ppmtoilbm -maxplanes 8 -fixplanes 4 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  16,  0},
    {"ILBM5Planes",  "iff", "ppmtoilbm -maxplanes 8 -fixplanes 5 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  32,  0},
    {"ILBM6Planes",  "iff", "ppmtoilbm -maxplanes 8 -fixplanes 6 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  64,  0},
    {"ILBM7Planes",  "iff", "ppmtoilbm -maxplanes 8 -fixplanes 7 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  128, 0},
    {"ILBM8Planes",  "iff", "ppmtoilbm -maxplanes 8 -fixplanes 8 in.ppm", "ilbmtoppm", Source_Colors, 77,  45,  256, 0},
    {"ILBMPlain",    "ilbm", "ppmtoilbm -nocompress in.ppm",           "ilbmtoppm", Source_Colors,   77,  45,  16,  0},
    {"ILBM24Bits",   "iff", "ppmtoilbm -24force in.ppm",               "ilbmtoppm", Source_Colors,   77,  45,  1000, 0},
    {"ILBMHAM6",     "iff", "ppmtoilbm -ham6 in.ppm",                  "ilbmtoppm", Source_Colors,   77,  45,  1000, 4},
    {"ILBMHAM8",     "lbm", "ppmtoilbm -ham8 in.ppm",                  "ilbmtoppm", Source_Colors,   77,  45,  1000, 6},
    {"MacPaint",     "mac", "pbmtomacp in.pbm",                        "macptopbm", Source_Bits,     576, 720, 2,   0},
    {"GEM",          "img", "pbmtogem in.pbm",                         "gemtopbm",  Source_Bits,     301, 77,  2,   0},
};
// clang-format on

std::string sFirstWord(const char* psz)
{
    return std::string(psz, strcspn(psz, " "));
}

} // namespace

class NetpbmTest : public ::testing::TestWithParam<tdNetpbmCase>
{
protected:
    tdTempFolder m_oFolder;
};

TEST_P(NetpbmTest, RECOILAndNetpbmReadTheSamePicture)
{
    const tdNetpbmCase& oCase = GetParam();
    for (const char* pszTool : {oCase.pszWriter, oCase.pszReader})
        if (pszTool && !bHaveTool(sFirstWord(pszTool).c_str()))
            GTEST_SKIP() << sFirstWord(pszTool) << " (netpbm) is not installed";

    const std::string sFile = m_oFolder.sFile(std::string("picture.") + oCase.pszExtension);
    const uint32_t uiSeed =
        static_cast<uint32_t>(strlen(oCase.pszName) * 131 + static_cast<size_t>(oCase.iColors));
    if (oCase.eSource == Source_ST || oCase.eSource == Source_STElite)
    {
        tdTestSTScreen oScreen = oRandomSTScreen(0, uiSeed);
        if (oCase.eSource == Source_STElite)
        {
            ASSERT_TRUE(bWriteFile(sFile, aucDegas(oScreen, true)));
        }
        else
        {
            std::vector<int> aiRGB;
            for (int iValue : oScreen.m_aiValues)
            {
                unsigned uiWord = oScreen.m_auiPalette[iValue];
                aiRGB.push_back((iWiden((uiWord >> 8) & 7, 3) << 16) | (iWiden((uiWord >> 4) & 7, 3) << 8) |
                                iWiden(uiWord & 7, 3));
            }
            ASSERT_TRUE(bWritePPM(m_oFolder.sFile("in.ppm"), 320, 200, aiRGB));
        }
    }
    else if (oCase.eSource == Source_Bits)
    {
        std::vector<int> ai = aiRunValues(static_cast<size_t>(oCase.iWidth) * oCase.iHeight, 2, uiSeed);
        ASSERT_TRUE(bWritePBM(m_oFolder.sFile("in.pbm"), oCase.iWidth, oCase.iHeight,
                              std::vector<unsigned char>(ai.begin(), ai.end())));
    }
    else
    {
        tdTestRandom oRandom = {uiSeed};
        std::vector<int> aiColors;
        for (int i = 0; i < oCase.iColors; i++)
            aiColors.push_back(static_cast<int>(oRandom.uiNext(1u << 24)));
        std::vector<int> aiRGB;
        for (int iIndex :
             aiRunValues(static_cast<size_t>(oCase.iWidth) * oCase.iHeight, oCase.iColors, uiSeed))
            aiRGB.push_back(aiColors[static_cast<size_t>(iIndex)]);
        // Every colour at least once, so the writer chooses the layout the case names.
        for (int i = 0; i < oCase.iColors && i < oCase.iWidth * oCase.iHeight; i++)
            aiRGB[static_cast<size_t>(i) * 7 % aiRGB.size()] = aiColors[static_cast<size_t>(i)];
        ASSERT_TRUE(bWritePPM(m_oFolder.sFile("in.ppm"), oCase.iWidth, oCase.iHeight, aiRGB));
    }
    if (oCase.pszWriter)
    {
        ASSERT_TRUE(bRunShell("cd " + sShellQuote(m_oFolder.m_sPath) + " && " + oCase.pszWriter + " > " +
                              sShellQuote(sFile)))
            << oCase.pszWriter;
    }
    const tdBytes aucFile = aucReadFile(sFile);
    const std::string sReference = m_oFolder.sFile("reference.pnm");
    ASSERT_TRUE(
        bRunShell(std::string(oCase.pszReader) + " " + sShellQuote(sFile) + " > " + sShellQuote(sReference)));
    tdPNM oReference;
    ASSERT_TRUE(bReadPNM(sReference, &oReference));

    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro(sFile, aucFile, &oPixels));
    ASSERT_EQ(oPixels.m_iWidth, oReference.m_iWidth);
    ASSERT_EQ(oPixels.m_iHeight, oReference.m_iHeight);
    for (int y = 0; y < oPixels.m_iHeight; y++)
    {
        for (int x = 0; x < oPixels.m_iWidth; x++)
        {
            int iExpected = oReference.iRGBAt(x, y);
            // netpbm keeps the low bits of a HAM6 change from the pixel to the left,
            // where the original chip set shows a 4-bit level times 17; ppmtoilbm's
            // colour map has equal nibbles, so each channel's low nibble repeats its high one.
            if (oCase.iHAMBits == 4) iExpected = (iExpected & 0xF0F0F0) | ((iExpected >> 4) & 0x0F0F0F);
            ASSERT_EQ(oPixels.iAt(x, y), iExpected) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, NetpbmTest, ::testing::ValuesIn(g_aoNetpbmCases),
                         [](const ::testing::TestParamInfo<tdNetpbmCase>& o)
                         { return std::string(o.param.pszName); });
