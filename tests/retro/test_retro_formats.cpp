// Atari ST, IFF, PC Paintbrush, MacPaint and GEM pictures, and hostile input for
// every retro decoder. Oracles: netpbm writes each layout it knows from a picture
// made here, which the decoder must give back, as must netpbm's own reader; other
// rules on netpbm files patched here or small files typed in, against colours typed
// in. Mutated and cut files must fail and leave no picture, or give a whole one
// within the limits (the sanitizer build stops at any access out of bounds).

#include "tests/support/codecs.h"
#include "tests/support/retro_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace
{
typedef std::vector<std::pair<std::string, tdBytes>> tdChunks;

// Pixels of iColors distinct colours in runs of 1 to 40 (for the packers): colour k
// holds the digits (base iLevels, widened to 8 bits) of an odd multiple of k.
tdRetroPixels oRunPicture(int iWidth, int iHeight, int iColors, int iLevels, uint32_t uiSeed)
{
    std::vector<int> aiPalette(static_cast<size_t>(iColors));
    for (long k = 0; k < iColors; k++)
        for (long c = 0, l = iLevels == 2 ? 7 * k : (k * 40503 + uiSeed) % (iLevels * iLevels * iLevels);
             c < 3; c++, l /= iLevels)
            aiPalette[k] =
                aiPalette[k] << 8 | static_cast<int>((l % iLevels * 255 + (iLevels - 1) / 2) / (iLevels - 1));
    tdTestRandom oRandom = {uiSeed};
    tdRetroPixels o = {iWidth, iHeight, {}};
    const size_t uiCount = static_cast<size_t>(iWidth) * iHeight;
    for (size_t uiRun = 0; o.m_aiPixels.size() < uiCount; uiRun = 1 + oRandom.uiNext(40))
        o.m_aiPixels.resize(std::min(uiCount, o.m_aiPixels.size() + uiRun),
                            aiPalette[oRandom.uiNext(iColors)]);
    for (size_t i = 0; i < aiPalette.size() && i < uiCount; i++) // every colour at least once
        o.m_aiPixels[i * 7 % uiCount] = aiPalette[i];
    return o;
}

// The standard output of the shell command run in the folder on the bytes (empty when it fails).
tdBytes aucRun(const tdTempFolder& oFolder, const std::string& sCommand, const tdBytes& aucInput)
{
    const std::string sShell = "cd '" + oFolder.m_sPath + "' && (" + sCommand + ") < in > out 2>/dev/null";
    const bool bOK = bWriteFile(oFolder.sFile("in"), aucInput) && system(sShell.c_str()) == 0;
    return bOK ? aucReadFile(oFolder.sFile("out")) : tdBytes();
}

// What netpbm's reader makes of the file, every sample widened to 8 bits, top row
// first (empty when the reader fails).
std::vector<int> aiNetpbmRead(const tdTempFolder& oFolder, const std::string& sReader, const tdBytes& aucFile)
{
    const tdBytes aucRef = aucRun(oFolder, sReader + " | ppmtoppm | pnmtoplainpnm", aucFile);
    std::istringstream oPPM(std::string(aucRef.begin(), aucRef.end()));
    int iWidth = 0, iHeight = 0, iMaxval = 0;
    if (!(oPPM.ignore(2) >> iWidth >> iHeight >> iMaxval) || iMaxval <= 0) return {}; // after "P3"
    std::vector<int> aiPixels(static_cast<size_t>(iWidth) * iHeight);
    for (int& iColor : aiPixels)
        for (int c = 0, iSample = 0; c < 3 && oPPM >> iSample; c++)
            iColor = iColor << 8 | (iSample * 255 + iMaxval / 2) / iMaxval;
    return aiPixels;
}

// A .spu file (screen, then 48 palette words a line) as .spc: the bitmap stream
// plane by plane in repeat runs (3 to 130 bytes) and literal blocks; each palette
// with a random set of colours 0..14 (and bit 15), the others (and 15) made black
// in *paucSPU, so that both files show the same picture.
tdBytes aucSpectrumCompressed(tdBytes* paucSPU, uint32_t uiSeed)
{
    tdBytes &auc = *paucSPU, aucIn, aucOut = tdBytes(12, 0);
    for (int i = 0; i < 31840; i++) // plane i / 7960, line 1 + i % 7960 / 40
        aucIn.push_back(
            auc[static_cast<size_t>(160 + i % 7960 / 40 * 160 + i % 40 / 2 * 8 + i / 7960 * 2 + i % 2)]);
    auto bRun = [&](size_t i)
    { return i + 2 < aucIn.size() && aucIn[i] == aucIn[i + 1] && aucIn[i] == aucIn[i + 2]; };
    for (size_t i = 0, n = 1; i < aucIn.size(); i += n, n = 1)
    {
        while (i + n < aucIn.size() &&
               (bRun(i) ? n < 130 && aucIn[i + n] == aucIn[i] : n < 128 && !bRun(i + n)))
            n++;
        aucOut.push_back(static_cast<unsigned char>(bRun(i) ? 2 - n : n - 1));
        aucOut.insert(aucOut.end(), aucIn.begin() + static_cast<long>(i),
                      aucIn.begin() + static_cast<long>(i + (bRun(i) ? 1 : n)));
    }
    const size_t uiBitmap = aucOut.size() - 12;
    tdTestRandom oRandom = {uiSeed};
    for (size_t w = 16000; w < 25552; w += 16)
    {
        const unsigned uiPresent = oRandom.uiNext(0x10000);
        aucOut.insert(aucOut.end(),
                      {static_cast<unsigned char>(uiPresent >> 8), static_cast<unsigned char>(uiPresent)});
        for (size_t c = 2 * w; c < 2 * w + 32; c += 2)
            if (c < 2 * w + 30 && uiPresent >> (c / 2 - w) & 1)
                aucOut.insert(aucOut.end(), &auc[c], &auc[c] + 2);
            else
                auc[c] = auc[c + 1] = 0;
    }
    const size_t auiLengths[2] = {uiBitmap, aucOut.size() - 12 - uiBitmap};
    for (size_t i = 0; i < 8; i++)
        aucOut[4 + i] = static_cast<unsigned char>(auiLengths[i / 4] >> (24 - 8 * (i % 4)));
    return aucPatched(aucOut, {{0, 'S'}, {1, 'P'}});
}

// A Degas file as Degas Elite compressed: resolution word with bit 15 set, each
// line stored plane by plane, each plane line one literal block of PackBits.
tdBytes aucDegasElite(const tdBytes& aucDegas)
{
    const int iPlanes = aucDegas[1] == 0 ? 4 : (aucDegas[1] == 1 ? 2 : 1), iLine = iPlanes == 1 ? 80 : 160;
    tdBytes aucOut(aucDegas.begin(), aucDegas.begin() + 34);
    aucOut[0] = 0x80;
    for (int y = 0; y < 32000 / iLine; y++)
        for (int p = 0; p < iPlanes; p++)
        {
            aucOut.push_back(static_cast<unsigned char>(iLine / iPlanes - 1)); // one literal block
            for (int i = 0; i < iLine / iPlanes; i++)
                aucOut.push_back(
                    aucDegas[static_cast<size_t>(34 + iLine * y + (i / 2 * iPlanes + p) * 2 + i % 2)]);
        }
    return aucOut;
}

// IFF: a FORM of the type holding the chunks (id, data) with their pad bytes, and
// the data of a FORM's first chunk with the id. BMHD chunks typed here hold width,
// height, position 0, planes, masking, compression, transparent colour 0, aspect
// 1 : 1 and page size 0.
tdBytes aucIFF(const char* pszType, const tdChunks& aoChunks)
{
    tdBytes auc = aucBytes({'F', 'O', 'R', 'M', 0, 0, 0, 0, pszType[0], pszType[1], pszType[2], pszType[3]});
    for (const std::pair<std::string, tdBytes>& o : aoChunks)
    {
        const int n = static_cast<int>(o.second.size());
        const tdBytes aucHead =
            aucBytes({o.first[0], o.first[1], o.first[2], o.first[3], n >> 24, n >> 16, n >> 8, n});
        auc.insert(auc.end(), aucHead.begin(), aucHead.end());
        auc.insert(auc.end(), o.second.begin(), o.second.end());
        auc.resize(auc.size() + (n & 1));
    }
    for (size_t i = 0; i < 4; i++)
        auc[4 + i] = static_cast<unsigned char>((auc.size() - 8) >> (24 - 8 * i));
    return auc;
}

tdBytes aucIFFChunk(const tdBytes& auc, const char* pszID)
{
    const size_t i =
        static_cast<size_t>(std::search(auc.begin() + 12, auc.end(), pszID, pszID + 4) - auc.begin()) + 8;
    return tdBytes(auc.begin() + i,
                   auc.begin() + i + (auc[i - 4] << 24 | auc[i - 3] << 16 | auc[i - 2] << 8 | auc[i - 1]));
}

// The index of a colour in a colour map of red, green, blue bytes (-1 when absent).
int iIndexIn(const tdBytes& aucMap, int iColor)
{
    for (size_t i = 0; i + 2 < aucMap.size(); i += 3)
        if ((aucMap[i] << 16 | aucMap[i + 1] << 8 | aucMap[i + 2]) == iColor) return static_cast<int>(i / 3);
    return -1;
}

// Levels of each channel; 2 levels: black and white (a PBM).
struct tdNetpbmCase
{
    const char *pszName, *pszWriter, *pszReader;
    int iWidth, iHeight, iColors, iLevels;
};

// clang-format off
const tdNetpbmCase g_aoNetpbmCases[] = {
    {"p.pi1", "ppmtopi1", "pi1toppm", 320, 200, 16, 8},                            // 0
    {"p.neo", "ppmtoneo", "neotoppm", 320, 200, 16, 8},                            // 1
    {"p.pi3", "pbmtopi3", "pi3topbm", 640, 400, 2, 2},                             // 2
    {"p.pcx", "ppmtopcx -planes=1", "pcxtoppm", 77, 45, 2, 256},                   // 3
    {"p.pcx", "ppmtopcx -planes=2", "pcxtoppm", 77, 45, 4, 256},                   // 4
    {"p.pcx", "ppmtopcx -planes=3", "pcxtoppm", 77, 45, 8, 256},                   // 5
    {"p.PCX", "ppmtopcx -planes=4 -xpos=-7 -ypos=300", "pcxtoppm", 77, 45, 16, 256}, // 6
    {"p.pcx", "ppmtopcx -packed", "pcxtoppm", 77, 45, 4, 256},                     // 7
    {"p.pcx", "ppmtopcx -packed", "pcxtoppm", 77, 45, 16, 256},                    // 8
    {"p.pcx", "ppmtopcx -8bit", "pcxtoppm", 77, 45, 200, 256},                     // 9
    {"p.pcx", "ppmtopcx -24bit", "pcxtoppm", 77, 45, 1000, 256},                   // 10
    {"p.iff", "ppmtoilbm -fixplanes 1", "ilbmtoppm", 77, 45, 2, 256},              // 11
    {"p.iff", "ppmtoilbm -fixplanes 3", "ilbmtoppm", 77, 45, 8, 256},              // 12
    {"p.iff", "ppmtoilbm -fixplanes 6", "ilbmtoppm", 77, 45, 64, 256},             // 13
    {"p.iff", "ppmtoilbm -maxplanes 8 -fixplanes 8", "ilbmtoppm", 77, 45, 256, 256}, // 14
    {"p.ilbm", "ppmtoilbm -nocompress", "ilbmtoppm", 77, 45, 16, 256},             // 15
    {"p.iff", "ppmtoilbm -24force", "ilbmtoppm", 77, 45, 1000, 256},               // 16
    {"p.iff", "ppmtoilbm -ham6", "ilbmtoppm", 77, 45, 1000, 256},                  // 17: lossy
    {"p.lbm", "ppmtoilbm -ham8", "ilbmtoppm", 77, 45, 1000, 256},                  // 18: lossy
    {"p.mac", "pbmtomacp", "macptopbm", 576, 720, 2, 2},                           // 19
    {"p.img", "pbmtogem", "gemtopbm", 301, 77, 2, 2},                              // 20
};
// clang-format on

// One random change: up to 8 bytes replaced (half of them in the header), a
// header byte set to an extreme, the file cut, bytes inserted or removed.
tdBytes aucMutate(tdBytes auc, tdTestRandom* po)
{
    const unsigned uiSize = static_cast<unsigned>(auc.size()), uiAt = po->uiNext(uiSize),
                   uiKind = po->uiNext(5), uiCount = 1 + po->uiNext(64), uiHeader = std::min(uiSize, 256u);
    for (unsigned n = uiKind == 0 ? 1 + uiCount % 8 : 0; n > 0; n--)
        auc[po->uiNext(po->uiNext(2) ? uiHeader : uiSize)] = static_cast<unsigned char>(po->uiNext(256));
    if (uiKind == 1)
        auc[po->uiNext(uiHeader)] = static_cast<unsigned char>("\x00\x01\x7F\x80\xFE\xFF"[uiCount % 6]);
    if (uiKind == 2) auc.resize(uiAt);
    if (uiKind == 3) auc.insert(auc.begin() + uiAt, uiCount, static_cast<unsigned char>(uiCount * 37));
    if (uiKind == 4) auc.erase(auc.begin() + uiAt, auc.begin() + std::min(uiSize, uiAt + uiCount));
    return auc;
}

// The netpbm file of a row (or of another writer) made from the row's picture,
// given as a plain PPM of its levels (a PBM for 2 levels).
tdBytes aucNetpbmFile(const tdTempFolder& oFolder, int iCase, tdRetroPixels* poPicture = nullptr,
                      const char* pszWriter = nullptr)
{
    const tdNetpbmCase& o = g_aoNetpbmCases[iCase];
    const tdRetroPixels oPicture = oRunPicture(o.iWidth, o.iHeight, o.iColors, o.iLevels, 7 + iCase);
    if (poPicture) *poPicture = oPicture;
    std::ostringstream oPNM;
    oPNM << "P3 " << o.iWidth << " " << o.iHeight << " " << o.iLevels - 1;
    for (size_t i = 0; i < 3 * oPicture.m_aiPixels.size(); i++)
        oPNM << (i % 24 ? " " : "\n")
             << (((oPicture.m_aiPixels[i / 3] >> (16 - i % 3 * 8)) & 255) * (o.iLevels - 1) + 127) / 255;
    const std::string s = oPNM.str() + "\n";
    return aucRun(oFolder,
                  (o.iLevels == 2 ? "ppmtopgm | pgmtopbm -threshold | " : "") +
                      std::string(pszWriter ? pszWriter : o.pszWriter),
                  tdBytes(s.begin(), s.end()));
}
} // namespace

TEST(RetroNetpbmTest, NetpbmFilesGiveTheirPictureAndWhatNetpbmReads)
{
    tdTempFolder oFolder;
    for (int iCase = 0; iCase < static_cast<int>(std::size(g_aoNetpbmCases)); iCase++)
    {
        const tdNetpbmCase& o = g_aoNetpbmCases[iCase];
        SCOPED_TRACE(std::string(o.pszWriter) + " " + std::to_string(o.iColors));
        tdRetroPixels oPicture, oPixels;
        const tdBytes aucFile = aucNetpbmFile(oFolder, iCase, &oPicture);
        ASSERT_TRUE(bDecodeRetro(o.pszName, aucFile, &oPixels));
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, o.iWidth * 1000 + o.iHeight);
        EXPECT_TRUE(iCase == 17 || iCase == 18 || oPixels.m_aiPixels == oPicture.m_aiPixels);
        // netpbm keeps a HAM6 change's low bits from the pixel to the left, the chip
        // set shows level x 17: with ppmtoilbm's map each low nibble repeats the high.
        std::vector<int> aiReference = aiNetpbmRead(oFolder, o.pszReader, aucFile);
        for (int& iColor : aiReference)
            iColor = iCase == 17 ? (iColor & 0xF0F0F0) | ((iColor >> 4) & 0x0F0F0F) : iColor;
        EXPECT_EQ(oPixels.m_aiPixels, aiReference);
    }
}

TEST(AtariSTTest, EliteMediumSTEPolarityAndHeaders)
{
    tdTempFolder oFolder;
    // Pixels 0-3 show colours 0-3 (words of planes 0 and 1 at 34 and 36: 0x5000,
    // 0x3000). Medium resolution shows every line twice: red, green, blue, white
    // on lines 0 and 1, red on line 2.
    const tdBytes aucDegas = aucPatched(tdBytes(34 + 32000, 0), {{34, 0x50}, {36, 0x30}});
    const tdBytes aucMedium = aucPatched(aucDegas, {{1, 1}, {2, 7}, {5, 0x70}, {7, 7}, {8, 7}, {9, 0x77}});
    const tdRetroPixels oMedium = oDecoded("p.pi2", aucMedium);
    ASSERT_EQ(oMedium.m_iWidth * 1000 + oMedium.m_iHeight, 640400);
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(oMedium.iAt(i % 4, i / 4), iLevelColor("700070007777", i == 8 ? 0 : i % 4)) << i;
    // All three resolutions as Degas Elite, with animation words or not; in high
    // resolution colour 0 is white while bit 0 of palette word 0 is set.
    const tdBytes aucLow = aucNetpbmFile(oFolder, 0), aucHigh = aucNetpbmFile(oFolder, 2);
    for (const tdBytes& auc : {aucLow, aucMedium, aucHigh})
    {
        tdBytes aucElite = aucDegasElite(auc);
        const tdRetroPixels oPlain = oDecoded("p.pi1", auc);
        EXPECT_EQ(oDecoded("p.pc3", aucElite).m_aiPixels, oPlain.m_aiPixels);
        aucElite.insert(aucElite.end(), 32, 0);
        EXPECT_EQ(oDecoded("p.pc1", aucElite).m_aiPixels, oPlain.m_aiPixels);
    }
    tdRetroPixels oInverted = oDecoded("p.pi3", aucPatched(aucHigh, {{3, 0x76}}));
    for (int& i : oInverted.m_aiPixels)
        i ^= 0xFFFFFF;
    EXPECT_EQ(oInverted.m_aiPixels, oDecoded("p.pi3", aucHigh).m_aiPixels);
    // Any STE bit (bits 11, 7, 3; the blue one alone too) makes every level
    // (bits 2-0) * 2 + STE bit.
    const tdBytes aucSTE = aucPatched(aucDegas, {{2, 0x0F}, {3, 0x8F}, {4, 7}, {7, 0x80}, {8, 1}, {9, 0x23}});
    const tdRetroPixels oSTE = oDecoded("p.pi1", aucSTE);
    const tdRetroPixels oST = oDecoded("p.pi1", aucPatched(aucSTE, {{2, 7}, {3, 7}, {7, 0x10}}));
    const tdRetroPixels oBlue = oDecoded("p.pi1", aucPatched(aucSTE, {{2, 0}, {3, 8}, {7, 0}}));
    EXPECT_TRUE(oBlue.iAt(0, 0) == 0x000011 && oBlue.iAt(1, 0) == 0xEE0000);
    const int aiSTE[4] = {0xFF11FF, 0xEE0000, 0x001100, 0x224466};
    for (int x = 0; x < 4; x++)
        EXPECT_TRUE(oSTE.iAt(x, 0) == aiSTE[x] && oST.iAt(x, 0) == iLevelColor("707700010123", x)) << x;
    // Degas: 32034 to 32066 bytes, resolution 0..2 without bit 15; Elite with
    // bit 15; NEOchrome 32128 bytes, resolution at offset 2.
    tdBytes aucPadded = aucLow;
    aucPadded.resize(32066, 0);
    EXPECT_EQ(oDecoded("p.pi1", aucPadded).m_iWidth, 320);
    vExpectRefused("p.pi1", aucPadded, {{1, 3}, {0, 0x80}}, {32067, 32033});
    vExpectRefused("p.pc1", aucDegasElite(aucLow), {{0, 0}, {1, 3}}, {16000});
    vExpectRefused("p.neo", aucNetpbmFile(oFolder, 1), {{3, 3}}, {-1});
}

// Spectrum 512: random bodies (palette words with STE bits, which netpbm reads as
// ST levels) against sputoppm; compressed files made from them, with runs of every
// length and palettes missing colours, against spctoppm and the plain file.
TEST(Spectrum512Test, FilesGiveWhatNetpbmReadsAndLyingLengthsAreRefused)
{
    tdTempFolder oFolder;
    for (unsigned uiRepeat : {0u, 112u, 127u}) // chance in 128 that a byte repeats its plane's last
    {
        tdBytes aucSPU = aucRandom(51104, 20 + uiRepeat);
        tdTestRandom oRandom = {uiRepeat};
        for (size_t i = 168; i < 32000; i++)
            if (oRandom.uiNext(128) < uiRepeat) aucSPU[i] = aucSPU[i - (i % 2 ? 1 : 7)];
        EXPECT_EQ(oDecoded("p.spu", aucSPU).m_aiPixels, aiNetpbmRead(oFolder, "sputoppm", aucSPU));
        const tdBytes aucSPC = aucSpectrumCompressed(&aucSPU, uiRepeat);
        const tdRetroPixels oSPC = oDecoded("p.SPC", aucSPC);
        EXPECT_EQ(oSPC.m_iWidth * 1000 + oSPC.m_iHeight, 320200);
        EXPECT_EQ(oSPC.m_aiPixels, aiNetpbmRead(oFolder, "spctoppm", aucSPC));
        EXPECT_EQ(oSPC.m_aiPixels, oDecoded("p.spu", aucSPU).m_aiPixels) << uiRepeat;
        // Not "SP", a bitmap length beyond the file or 256 bytes short of its
        // stream; cut in the palettes, in the bitmap stream, in the header.
        vExpectRefused("p.spc", aucSPC, {{0, 'X'}, {4, 1}, {6, aucSPC[6] - 1}}, {-1, 5000, 11});
    }
    vExpectRefused("p.spu", tdBytes(51104, 0), {}, {51103});
}

TEST(ILBMTest, ViewportModesAspectsColourMapRulesMasksAndChunkyRows)
{
    tdTempFolder oFolder;
    tdRetroPixels oPicture;
    const tdBytes aucFile = aucNetpbmFile(oFolder, 13, &oPicture); // 6 planes, 64 colours
    const tdBytes aucRows =
        aucIFFChunk(aucNetpbmFile(oFolder, 13, nullptr, "ppmtoilbm -fixplanes 6 -nocompress"), "BODY");
    const tdBytes aucHeader = aucIFFChunk(aucFile, "BMHD"), aucCMAP = aucIFFChunk(aucFile, "CMAP"),
                  aucBody = aucIFFChunk(aucFile, "BODY");
    ASSERT_EQ(aucCMAP.size() * 10000 + aucRows.size(), 1922700u);
    // A mask plane after each row's planes; the same pixels as chunky rows of one
    // byte a pixel, padded to even.
    tdBytes aucMasked, aucChunky, aucFour(aucCMAP.size());
    std::transform(aucCMAP.begin(), aucCMAP.end(), aucFour.begin(), [](unsigned char c) { return c & 0xF0; });
    for (int y = 0; y < 45; y++)
    {
        aucMasked.insert(aucMasked.end(), aucRows.begin() + 60 * y, aucRows.begin() + 60 * (y + 1));
        aucMasked.insert(aucMasked.end(), 10, static_cast<unsigned char>(y * 37));
        for (int x = 0; x < 78; x++)
            aucChunky.push_back(
                static_cast<unsigned char>(x < 77 ? iIndexIn(aucCMAP, oPicture.iAt(x, y)) : 0xEE));
    }
    // Forms, the factors across and down that make their pixels square, and their
    // colours: 0 the picture's, 1 extra half-brite (32-63 are 0-31 halved), 2 4-bit
    // map levels (0xF0 gives 0xFF), 3 no map: a grey ramp. Then CAMG mode (none:
    // -1), BMHD aspect, factors.
    // clang-format off
    std::vector<std::pair<tdBytes, std::vector<int>>> aoForms = {
        {aucIFF("ILBM", {{"BMHD", aucPatched(aucHeader, {{9, 1}, {10, 0}})}, {"CMAP", aucCMAP}, {"BODY", aucMasked}}), {1, 1, 0}},
        {aucIFF("ILBM", {{"BMHD", aucPatched(aucHeader, {{9, 2}, {10, 0}})}, {"CMAP", aucCMAP}, {"BODY", aucRows}}), {1, 1, 0}},
        {aucIFF("PBM ", {{"BMHD", aucPatched(aucHeader, {{8, 8}, {10, 0}})}, {"CMAP", aucCMAP}, {"BODY", aucChunky}}), {1, 1, 0}},
        {aucIFF("ILBM", {{"BMHD", aucHeader}, {"CMAP", aucCMAP}, {"CAMG", {0, 0, 0, 0x80}}, {"ANNO", {1, 2, 3}}, {"BODY", aucBody}}), {1, 1, 1}},
        {aucIFF("ILBM", {{"BMHD", aucHeader}, {"CMAP", aucFour}, {"BODY", aucBody}}), {1, 1, 2}},
        {aucIFF("ILBM", {{"BMHD", aucHeader}, {"BODY", aucBody}}), {1, 1, 3}}};
    const int aiModeAspectFactors[][5] = {
        {0x0000, 10, 11, 1, 1}, {0x8000, 10, 11, 1, 2}, {0x0004, 10, 11, 2, 1}, {0x8004, 10, 11, 1, 1},
        {0x8020, 10, 11, 1, 4}, {0x8024, 10, 11, 1, 2}, {0x29004, 1, 1, 1, 1},  {-1, 10, 11, 1, 1},
        {-1, 5, 11, 1, 2},      {-1, 20, 11, 2, 1},     {-1, 1, 3, 1, 4},       {-1, 3, 1, 4, 1},
        {-1, 1, 9, 1, 4},       {-1, 0, 11, 1, 1},      {-1, 9, 1, 4, 1}};
    for (const auto& ai : aiModeAspectFactors)
    {
        tdChunks aoChunks = {{"BMHD", aucPatched(aucHeader, {{14, ai[1]}, {15, ai[2]}})}, {"CMAP", aucCMAP}, {"BODY", aucBody}};
        if (ai[0] >= 0) aoChunks.insert(aoChunks.begin() + 2, {"CAMG", aucBytes({0, ai[0] >> 16, ai[0] >> 8, ai[0]})});
        aoForms.push_back({aucIFF("ILBM", aoChunks), {ai[3], ai[4], 0}});
    }
    // clang-format on
    auto iEntry = [&](int i) { return aucCMAP[3 * i] << 16 | aucCMAP[3 * i + 1] << 8 | aucCMAP[3 * i + 2]; };
    for (size_t f = 0; f < aoForms.size(); f++)
    {
        const std::vector<int>& ai = aoForms[f].second;
        tdRetroPixels oPixels;
        ASSERT_TRUE(bDecodeRetro("p.lbm", aoForms[f].first, &oPixels)) << f;
        ASSERT_EQ(oPixels.m_iWidth * 1000 + oPixels.m_iHeight, 77000 * ai[0] + 45 * ai[1]) << f;
        for (int i = 0; i < 77 * 45 * ai[0] * ai[1]; i++)
        {
            const int iColor = oPicture.iAt(i % oPixels.m_iWidth / ai[0], i / oPixels.m_iWidth / ai[1]);
            const int iIndex = iIndexIn(aucCMAP, iColor);
            const int aiExpected[4] = {iColor, iIndex < 32 ? iColor : iEntry(iIndex - 32) >> 1 & 0x7F7F7F,
                                       (iColor & 0xF0F0F0) | (iColor >> 4 & 0x0F0F0F),
                                       iIndex * 255 / 63 * 0x010101};
            ASSERT_EQ(oPixels.m_aiPixels[static_cast<size_t>(i)], aiExpected[ai[2]]) << f << ": " << i;
        }
    }
    // HAM6 (control bits 5-4: 01 blue, 10 red, 11 green, level x 17) from entry 0
    // (10 20 33: not 4-bit levels) at the row start: values 1F 23 30 05 38 give blue 15, red 3,
    // green 0, entry 5, green 8 (one byte of each plane, plane 0 first). Hires rows
    // shown twice would pass the row limit (9000 x 2): the stored rows stay.
    // clang-format off
    EXPECT_EQ(oDecoded("p.iff", aucIFF("ILBM", {{"BMHD", aucHexBytes("00 05 00 01 00*4 06 00*5 01 01 00*4")}, {"CMAP", aucHexBytes("10 20 33 00*12 90 A0 BB 00*174")},
                                                {"CAMG", {0, 0, 8, 0}}, {"BODY", aucHexBytes("D0 00 C0 00 90 00 88 00 A8 00 68 00")}})).m_aiPixels,
              std::vector<int>({0x1020FF, 0x3320FF, 0x3300FF, 0x90A0BB, 0x9088BB}));
    EXPECT_EQ(oDecoded("p.iff", aucIFF("ILBM", {{"BMHD", aucHexBytes("00 10 23 28 00*4 01 00*5 01 01 00*4")}, {"CAMG", {0, 0, 0x80, 0}}, {"BODY", tdBytes(18000, 1)}})).m_iHeight, 9000);
    // clang-format on
    // Width 0, planes 0, 9 and 25, masking 4, compression 2, no BMHD, another
    // FORM type; a body cut short (packed or not), less than a FORM header.
    vExpectRefused("p.iff", aucIFF("ILBM", {{"BMHD", aucPatched(aucHeader, {{10, 0}})}, {"BODY", aucRows}}),
                   {}, {-1});
    vExpectRefused("p.iff", aucFile,
                   {{21, 0}, {28, 0}, {28, 9}, {28, 25}, {29, 4}, {30, 2}, {12, 'X'}, {8, 'A'}}, {-10, 11});
}

TEST(PCXTest, DefaultPalettesRawLinesAndHeadersThatDescribeNoPicture)
{
    tdTempFolder oFolder;
    tdRetroPixels oPicture, oPixels;
    // Source: the IBM EGA default palette (colour 6 brown).
    const int aiEGA[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
                           0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
    // An all-black header colour map was not filled in: the EGA palette, or black
    // and white for 1 bit x 1 plane. 8 bits without the map at the end: grey.
    for (int iCase : {3, 6, 8, 9})
    {
        tdBytes aucFile = aucNetpbmFile(oFolder, iCase, &oPicture);
        const tdBytes aucMap(iCase == 9 ? aucFile.end() - 768 : aucFile.begin() + 16,
                             iCase == 9 ? aucFile.end() : aucFile.begin() + 64);
        aucFile.resize(aucFile.size() - (iCase == 9 ? 769 : 0));
        std::fill(aucFile.begin() + 16, aucFile.begin() + 64, 0);
        ASSERT_TRUE(bDecodeRetro("p.pcx", aucFile, &oPixels)) << iCase;
        for (size_t i = 0; i < oPicture.m_aiPixels.size(); i++)
        {
            const int iIndex = iIndexIn(aucMap, oPicture.m_aiPixels[i]);
            ASSERT_EQ(oPixels.m_aiPixels[i],
                      iCase == 9 ? iIndex * 0x010101 : (iCase == 3 ? iIndex * 0xFFFFFF : aiEGA[iIndex]))
                << iCase << ": " << i;
        }
    }
    // Encoding 0, 8 bits x 3 planes, 2 x 1 pixels, lines of 4 bytes: red, green, blue
    // (a fourth plane ignored).
    for (const std::string sPlanes : {"03", "04"})
        EXPECT_EQ(oDecoded("p.pcx", aucHexBytes("0A 05 00 08 00 00 00 00 01 00 00*55 " + sPlanes +
                                                " 04 00*61 11 12 00 00 21 22 00 00 31 32 00 00 77 78 00 00"))
                      .m_aiPixels,
                  std::vector<int>({0x112131, 0x122232}))
            << sPlanes;
    // Not PC Paintbrush, version 6, encoding 2, 3 bits, 5 planes, 8 bits x 4 planes
    // in 10 bytes, 9 bytes a line for 77 pixels, x max < x min; data cut, header only.
    vExpectRefused("p.pcx", aucNetpbmFile(oFolder, 6),
                   {{0, 0x0B}, {1, 6}, {2, 2}, {3, 3}, {65, 5}, {3, 8}, {66, 9}, {9, 0xFF}}, {-1, 129});
}

TEST(MacPaintGEMTest, MacBinaryHeadersGEMCodesPalettesAndPixelShapes)
{
    tdTempFolder oFolder;
    // A MacBinary header (name length 1, type PNTG) is skipped, of another type not,
    // nor PNTG in a plain file's patterns (name length 0). Version 4; data cut short, header only.
    const tdBytes aucPlain = aucNetpbmFile(oFolder, 19);
    tdBytes aucMacBinary = aucPatched(tdBytes(128, 0), {{1, 1}, {65, 'P'}, {66, 'N'}, {67, 'T'}, {68, 'G'}});
    aucMacBinary.insert(aucMacBinary.end(), aucPlain.begin(), aucPlain.end());
    for (const tdBytes& auc :
         {aucMacBinary, aucPatched(aucPlain, {{65, 'P'}, {66, 'N'}, {67, 'T'}, {68, 'G'}})})
        EXPECT_EQ(oDecoded("p.PNTG", auc).m_aiPixels, oDecoded("p.mac", aucPlain).m_aiPixels);
    vExpectRefused("p.mac", aucPlain, {{3, 4}}, {-1, 512});
    vExpectRefused("p.mac", aucMacBinary, {{65, 'X'}}, {});
    // GEM 16 x 4, 2 planes, pattern length 2. Scan 0: literal F0 0F, solid FF x 2;
    // scans 1-2: vertical replication, pattern A5 5A once, solid 00 x 2; scan 3:
    // solid FF, literal 00, solid FF x 5 cut at the end of the scan. XIMG: 23
    // header words, RGB model, levels 0..1000: black, 500 grey, blue, 1000 1000 0;
    // 22 header words cannot hold 4 colours. Without XIMG the ST desktop's colours.
    const std::string sCodes = " 80 02 F0 0F 82 00 00 FF 02 00 01 A5 5A 02 81 80 01 00 85";
    const std::string sSize = " 00 02 00 02 00 55 00 55 00 10 00 04",
                      sXIMG = " 58 49 4D 47 00*8 01 F4 01 F4 01 F4 00*4 03 E8 03 E8 03 E8";
    const tdRetroPixels oTwo = oDecoded("p.img", aucHexBytes("00 01 00 08" + sSize + sCodes));
    const tdRetroPixels oXIMG =
        oDecoded("p.ximg", aucHexBytes("00 01 00 17" + sSize + sXIMG + " 00 00" + sCodes));
    EXPECT_EQ(oDecoded("p.img", aucHexBytes("00 01 00 16" + sSize + sXIMG + sCodes)).m_aiPixels,
              oTwo.m_aiPixels);
    const std::string sValues = "3333222222223333101001010101101010100101010110103333333322222222";
    const int aiXIMG[4] = {0x000000, 0x808080, 0x0000FF, 0xFFFF00};
    ASSERT_TRUE(oTwo.m_iWidth == 16 && oTwo.m_iHeight == 4 && oXIMG.m_aiPixels.size() == 64);
    for (size_t i = 0; i < 64; i++)
        EXPECT_TRUE(oTwo.m_aiPixels[i] == iLevelColor("777700070000", sValues[i] - '0') &&
                    oXIMG.m_aiPixels[i] == aiXIMG[sValues[i] - '0'])
            << i;
    // 16 x 1, 4 planes: pixel x has value x.
    const tdRetroPixels oFour =
        oDecoded("p.img", aucHexBytes("00 01 00 08 00 04 00 01 00 55 00 55 00 10 00 01 80 02 55 55 80 02 33 "
                                      "33 80 02 0F 0F 80 02 00 FF"));
    for (int x = 0; x < 16; x++)
        EXPECT_EQ(oFour.iAt(x, 0), iLevelColor("777700070770007707077555333733373773337737377000", x)) << x;
    // Micrometre sizes 169 x 372 (ST medium) make every row shown twice.
    const tdBytes aucMono = aucNetpbmFile(oFolder, 20);
    const tdRetroPixels oTall = oDecoded("p.img", aucPatched(aucMono, {{8, 0}, {9, 169}}));
    EXPECT_EQ(oTall.m_iWidth * 1000 + oTall.m_iHeight, 301154);
    // Header of 7 words, header longer than the file, planes 0, 9 and 3 (no
    // palette), pattern length 0 and 9, height 0, width 0; data cut short, header only.
    vExpectRefused("p.img", aucMono, {{3, 7}, {2, 0x40}, {5, 0}, {5, 9}, {5, 3}, {7, 0}, {7, 9}, {15, 0}},
                   {-1, 16});
    vExpectRefused("p.img", aucPatched(aucMono, {{12, 0}}), {{13, 0}}, {});
}

// Seeds: one valid file per decoder and layout, changed at random and cut; out
// comes a picture within the limits with 24-bit pixels, or none (not even a size).
TEST(RetroHostileTest, MutatedAndCutFilesFailOrGiveWholePictures)
{
    auto bDecodeChecked = [](const std::string& sName, const tdBytes& auc)
    {
        tdRetroPixels o;
        const bool bOK = bDecodeRetro(sName, auc, &o);
        EXPECT_TRUE(o.m_iWidth >= 0 && o.m_iWidth <= 16384 && o.m_iHeight <= 16384 &&
                    std::all_of(o.m_aiPixels.begin(), o.m_aiPixels.end(), [](int i) { return i >> 24 == 0; }))
            << sName << " " << o.m_iWidth << " x " << o.m_iHeight;
        return bOK;
    };
    tdTempFolder oFolder;
    const tdBytes aucMedium = aucPatched(aucRandom(34 + 32032, 5), {{0, 0}, {1, 1}}),
                  aucVRAM = aucRandom(0x10000, 7);
    // clang-format off
    std::vector<std::pair<std::string, tdBytes>> aoSeeds = {
        {"s.scr", aucRandom(6912, 1)}, {"s.koa", aucRandom(10003, 2)}, {"s.dd", aucRandom(9218, 3)}, {"s.art", aucRandom(9009, 4)},
        {"s.pi2", aucMedium}, {"s.pc2", aucDegasElite(aucMedium)}, {"s.pc1", aucDegasElite(aucNetpbmFile(oFolder, 0))}, {"s.pc3", aucDegasElite(aucNetpbmFile(oFolder, 2))},
        {"s.iff", aucIFF("ILBM", {{"BMHD", aucHexBytes("00 35 00 15 00*4 06 00*5 01 01 00*4")}, {"CMAP", aucRandom(96, 8)}, {"CAMG", {0, 0, 0x80, 0x80}}, {"BODY", aucRandom(8 * 6 * 21, 9)}})},
        {"s.iff", aucIFF("ILBM", {{"BMHD", aucHexBytes("00 35 00 15 00*4 03 01 00*4 01 01 00*4")}, {"BODY", aucRandom(8 * 4 * 21, 10)}})},
        {"s.lbm", aucIFF("PBM ", {{"BMHD", aucHexBytes("00 35 00 15 00*4 08 00*5 01 01 00*4")}, {"CMAP", aucRandom(768, 11)}, {"BODY", aucRandom(54 * 21, 6)}})},
        {"s.grp", aucBSAVE(aucVRAM, 0x37FF)}, {"s.ge5", aucBSAVE(aucVRAM, 0x769F)}, {"s.ge6", aucBSAVE(aucVRAM, 0x769F)}, {"s.ge7", aucBSAVE(aucVRAM, 0xFA9F)},
        {"s.ge8", aucBSAVE(aucVRAM, 0xD3FF)}};
    // clang-format on
    tdBytes aucSpectrum = aucRandom(51104, 12);
    aoSeeds.emplace_back("s.spc", aucSpectrumCompressed(&aucSpectrum, 12));
    aoSeeds.emplace_back("s.spu", aucSpectrum);
    for (int iCase = 0; iCase < static_cast<int>(std::size(g_aoNetpbmCases)); iCase++)
        aoSeeds.emplace_back(g_aoNetpbmCases[iCase].pszName, aucNetpbmFile(oFolder, iCase));
    for (const std::pair<std::string, tdBytes>& oSeed : aoSeeds)
    {
        SCOPED_TRACE(oSeed.first + " of " + std::to_string(oSeed.second.size()) + " bytes");
        ASSERT_TRUE(bDecodeChecked(oSeed.first, oSeed.second)) << "the seed itself must decode";
        tdTestRandom oRandom = {static_cast<uint32_t>(oSeed.second.size())};
        int iDecoded = 0;
        for (int i = 0; i < 150 && !HasFailure(); i++)
            iDecoded += bDecodeChecked(oSeed.first, aucMutate(oSeed.second, &oRandom));
        EXPECT_GT(iDecoded, 0); // most small changes keep a file decodable
        // Every cut inside the first 300 bytes, then 32 cuts spread over the rest.
        for (size_t uiCut = 0; uiCut < oSeed.second.size() && !HasFailure();
             uiCut += uiCut < 300 ? 1 : oSeed.second.size() / 33)
            bDecodeChecked(oSeed.first,
                           tdBytes(oSeed.second.begin(), oSeed.second.begin() + static_cast<long>(uiCut)));
    }
}
