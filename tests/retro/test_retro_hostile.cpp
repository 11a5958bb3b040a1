// Hostile input for every retro decoder: empty and tiny files, headers that lie
// about sizes, plane counts and compression, and a bounded mutation loop per
// decoder (bytes changed, cut, inserted and removed from a valid file). Under the
// sanitizer build any read or write out of bounds stops the test; here each
// decode must either fail or give a whole picture within the limits whose every
// pixel is a 24-bit colour. QEV_RETRO_MUTATIONS sets the iterations per decoder
// (default 200) for longer runs.

#include "tests/support/retro_files.h"
#include "tests/support/testutil.h"

#include "retro/recoil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
// Decodes and checks the result's invariants; true when a picture came out.
bool bDecodeChecked(const char* pszName, const tdBytes& aucContent)
{
    RECOIL* poDecoder = RECOIL_New();
    bool bOK = RECOIL_Decode(poDecoder, pszName, aucContent.data(), static_cast<int>(aucContent.size()));
    const int iWidth = RECOIL_GetWidth(poDecoder);
    const int iHeight = RECOIL_GetHeight(poDecoder);
    const int* piPixels = RECOIL_GetPixels(poDecoder);
    if (bOK)
    {
        EXPECT_GE(iWidth, 1);
        EXPECT_GE(iHeight, 1);
        EXPECT_LE(iWidth, 16384);
        EXPECT_LE(iHeight, 16384);
        EXPECT_NE(piPixels, nullptr);
        int iBadPixels = 0;
        if (piPixels)
            for (long long i = 0; i < static_cast<long long>(iWidth) * iHeight; i++)
                if (piPixels[i] < 0 || piPixels[i] > 0xFFFFFF) iBadPixels++;
        EXPECT_EQ(iBadPixels, 0) << pszName;
    }
    else
    {
        EXPECT_EQ(iWidth, 0);
        EXPECT_EQ(iHeight, 0);
        EXPECT_EQ(piPixels, nullptr);
    }
    RECOIL_Delete(poDecoder);
    return bOK;
}

struct tdSeed
{
    const char* pszName;
    tdBytes (*pfnMake)();
};

tdBytes aucRandom(size_t uiCount, uint32_t uiSeed)
{
    tdTestRandom oRandom = {uiSeed};
    tdBytes auc(uiCount);
    for (unsigned char& c : auc)
        c = static_cast<unsigned char>(oRandom.uiNext(256));
    return auc;
}

tdTestILBM oSeedILBM(int iPlanes, uint32_t uiCAMG)
{
    tdTestILBM o;
    o.m_iWidth = 53;
    o.m_iHeight = 21;
    o.m_iPlanes = iPlanes;
    o.m_bCAMG = uiCAMG != 0;
    o.m_uiCAMG = uiCAMG;
    o.m_aucCMAP = aucRandom(3 * 64, 7);
    std::vector<int> ai = aiRunValues(53 * 21, iPlanes >= 24 ? 1 << 24 : 1 << iPlanes, 8);
    o.m_auiValues.assign(ai.begin(), ai.end());
    return o;
}

tdTestPCX oSeedPCX(int iBits, int iPlanes)
{
    tdTestPCX o;
    o.m_iWidth = 61;
    o.m_iHeight = 19;
    o.m_iBits = iBits;
    o.m_iPlanes = iPlanes;
    int iValueBits = iPlanes >= 3 ? 24 : iBits * iPlanes;
    std::vector<int> ai = aiRunValues(61 * 19, 1 << iValueBits, 9);
    o.m_auiValues.assign(ai.begin(), ai.end());
    tdBytes aucPalette = aucRandom(48, 10);
    std::copy(aucPalette.begin(), aucPalette.end(), o.m_acHeaderPalette);
    if (iBits == 8 && iPlanes == 1) o.m_aucVGAPalette = aucRandom(768, 11);
    return o;
}

tdBytes aucSeedGEM(int iPlanes, bool bXIMG)
{
    tdTestGEM o;
    o.m_iWidth = 70;
    o.m_iHeight = 24;
    o.m_iPlanes = iPlanes;
    o.m_aiValues = aiRunValues(70 * 24, 1 << iPlanes, 12);
    for (int x = 0; x < 70; x++)
        for (int y = 5; y < 9; y++)
            o.m_aiValues[static_cast<size_t>(y * 70 + x)] = o.m_aiValues[static_cast<size_t>(4 * 70 + x)];
    if (bXIMG)
        for (int i = 0; i < 3 << iPlanes; i++)
            o.m_aiXIMG.push_back(i * 37 % 1001);
    return aucGEM(o);
}

tdBytes aucSeedDump(int iEnd)
{
    return aucBSAVE(aucRandom(0x10000, 13), 0, iEnd);
}

tdBytes aucSeedMacPaint()
{
    std::vector<int> ai = aiRunValues(720 * 72, 256, 14);
    return aucMacPaint(tdBytes(ai.begin(), ai.end()), true);
}

// clang-format off
// One valid file per decoder and layout.
const tdSeed g_aoSeeds[] = {
    {"s.scr",  [] { return aucRandom(6912, 1); }},
    {"s.koa",  [] { return aucRandom(10003, 2); }},
    {"s.dd",   [] { return aucRandom(9218, 3); }},
    {"s.art",  [] { return aucRandom(9009, 4); }},
    {"s.pi1",  [] { return aucDegas(oRandomSTScreen(0, 5), false); }},
    {"s.pi2",  [] { return aucDegas(oRandomSTScreen(1, 5), false); }},
    {"s.pi3",  [] { return aucDegas(oRandomSTScreen(2, 5), false); }},
    {"s.pc1",  [] { return aucDegas(oRandomSTScreen(0, 6), true); }},
    {"s.pc2",  [] { return aucDegas(oRandomSTScreen(1, 6), true); }},
    {"s.pc3",  [] { return aucDegas(oRandomSTScreen(2, 6), true); }},
    {"s.neo",  [] { return aucNEOchrome(oRandomSTScreen(0, 7)); }},
    {"s.iff",  [] { return aucILBM(oSeedILBM(5, 0)); }},
    {"s.iff",  [] { return aucILBM(oSeedILBM(6, 0x800)); }},
    {"s.iff",  [] { return aucILBM(oSeedILBM(8, 0x800)); }},
    {"s.iff",  [] { return aucILBM(oSeedILBM(6, 0x80)); }},
    {"s.iff",  [] { return aucILBM(oSeedILBM(24, 0x8004)); }},
    {"s.iff",  [] { tdTestILBM o = oSeedILBM(3, 0); o.m_iMasking = 1; o.m_bCompress = false; return aucILBM(o); }},
    {"s.lbm",  [] { tdTestILBM o = oSeedILBM(8, 0); o.m_bChunky = true; return aucILBM(o); }},
    {"s.pcx",  [] { return aucPCX(oSeedPCX(1, 4)); }},
    {"s.pcx",  [] { return aucPCX(oSeedPCX(2, 1)); }},
    {"s.pcx",  [] { return aucPCX(oSeedPCX(8, 1)); }},
    {"s.pcx",  [] { return aucPCX(oSeedPCX(8, 3)); }},
    {"s.mac",  aucSeedMacPaint},
    {"s.img",  [] { return aucSeedGEM(1, false); }},
    {"s.img",  [] { return aucSeedGEM(4, true); }},
    {"s.grp",  [] { return aucSeedDump(0x37FF); }},
    {"s.ge5",  [] { return aucSeedDump(0x769F); }},
    {"s.ge6",  [] { return aucSeedDump(0x769F); }},
    {"s.ge7",  [] { return aucSeedDump(0xFA9F); }},
    {"s.ge8",  [] { return aucSeedDump(0xD3FF); }},
};
// clang-format on

void PrintTo(const tdSeed& o, std::ostream* po)
{
    *po << o.pszName;
}

int iMutationCount()
{
    const char* psz = getenv("QEV_RETRO_MUTATIONS");
    int iCount = psz ? atoi(psz) : 0;
    return iCount > 0 ? iCount : 200;
}

// One random change: bytes replaced (mostly in the header), the file cut,
// bytes inserted or removed, a header byte set to an extreme, garbage appended.
tdBytes aucMutate(const tdBytes& aucSeed, tdTestRandom* poRandom)
{
    tdBytes auc = aucSeed;
    const unsigned uiKind = poRandom->uiNext(6);
    const size_t uiSize = auc.size();
    const size_t uiHeader = uiSize < 256 ? uiSize : 256;
    switch (uiKind)
    {
    case 0:
        for (unsigned n = 1 + poRandom->uiNext(8); n > 0 && !auc.empty(); n--)
        {
            bool bHeader = poRandom->uiNext(2) == 0;
            size_t uiAt = poRandom->uiNext(static_cast<unsigned>(bHeader ? uiHeader : uiSize));
            auc[uiAt] = static_cast<unsigned char>(poRandom->uiNext(256));
        }
        break;
    case 1:
        auc.resize(poRandom->uiNext(static_cast<unsigned>(uiSize)));
        break;
    case 2:
    {
        size_t uiAt = poRandom->uiNext(static_cast<unsigned>(uiSize + 1));
        tdBytes aucInsert(1 + poRandom->uiNext(64));
        for (unsigned char& c : aucInsert)
            c = static_cast<unsigned char>(poRandom->uiNext(256));
        auc.insert(auc.begin() + static_cast<long>(uiAt), aucInsert.begin(), aucInsert.end());
        break;
    }
    case 3:
    {
        size_t uiAt = poRandom->uiNext(static_cast<unsigned>(uiSize));
        size_t uiCount = 1 + poRandom->uiNext(64);
        if (uiAt + uiCount > uiSize) uiCount = uiSize - uiAt;
        auc.erase(auc.begin() + static_cast<long>(uiAt), auc.begin() + static_cast<long>(uiAt + uiCount));
        break;
    }
    case 4:
    {
        static const unsigned char acExtremes[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
        auc[poRandom->uiNext(static_cast<unsigned>(uiHeader))] = acExtremes[poRandom->uiNext(6)];
        break;
    }
    default:
        for (unsigned n = 1 + poRandom->uiNext(300); n > 0; n--)
            auc.push_back(static_cast<unsigned char>(poRandom->uiNext(256)));
        break;
    }
    return auc;
}
} // namespace

class RetroHostileTest : public ::testing::TestWithParam<tdSeed>
{
};

TEST_P(RetroHostileTest, MutatedFilesFailOrGiveWholePictures)
{
    const tdSeed& oSeed = GetParam();
    const tdBytes aucSeed = oSeed.pfnMake();
    ASSERT_TRUE(bDecodeChecked(oSeed.pszName, aucSeed)) << "the seed itself must decode";
    tdTestRandom oRandom = {static_cast<uint32_t>(aucSeed.size())};
    const int iCount = iMutationCount();
    int iDecoded = 0;
    for (int i = 0; i < iCount; i++)
    {
        tdBytes auc = aucMutate(aucSeed, &oRandom);
        if (bDecodeChecked(oSeed.pszName, auc)) iDecoded++;
        if (::testing::Test::HasFailure()) FAIL() << "mutation " << i;
    }
    // Most small changes keep a file decodable: the loop reaches the decoding code.
    EXPECT_GT(iDecoded, 0);
}

TEST_P(RetroHostileTest, EveryShortPrefixIsHandled)
{
    const tdSeed& oSeed = GetParam();
    const tdBytes aucSeed = oSeed.pfnMake();
    // Every cut inside the first 300 bytes, then 64 cuts spread over the rest.
    std::vector<size_t> auiCuts;
    for (size_t i = 0; i <= 300 && i < aucSeed.size(); i++)
        auiCuts.push_back(i);
    for (size_t i = 1; i <= 64; i++)
        auiCuts.push_back(aucSeed.size() * i / 65);
    for (size_t uiCut : auiCuts)
    {
        bDecodeChecked(oSeed.pszName, tdBytes(aucSeed.begin(), aucSeed.begin() + static_cast<long>(uiCut)));
        if (::testing::Test::HasFailure()) FAIL() << "cut at " << uiCut;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RetroHostileTest, ::testing::ValuesIn(g_aoSeeds),
                         [](const ::testing::TestParamInfo<tdSeed>& o)
                         { return std::to_string(o.index) + "_" + std::string(o.param.pszName + 2); });

// Headers whose sizes promise far more than the file holds are refused before
// a picture of that size is allocated; compression runs that overrun the
// picture are cut at its end.
TEST(RetroLyingSizesTest, SizesBeyondTheDataAreRefused)
{
    tdTestILBM oILBM = oSeedILBM(4, 0);
    tdBytes aucBig = aucILBM(oILBM);
    aucBig[20] = 0x40; // width 0x4035
    aucBig[22] = 0x40; // height 0x4015
    EXPECT_FALSE(bDecodeChecked("l.iff", aucBig));
    aucBig[20] = 0x3F; // 16181 x 16405: one side beyond the limit
    EXPECT_FALSE(bDecodeChecked("l.iff", aucBig));
    aucBig[22] = 0x3F; // 16181 x 16149: within the limits, far beyond the body
    EXPECT_FALSE(bDecodeChecked("l.iff", aucBig));

    tdBytes aucWide = aucPCX(oSeedPCX(8, 3));
    aucWide[9] = 0x3F;  // x max 0x3F3C
    aucWide[11] = 0x3F; // y max 0x3F12
    aucWide[67] = 0x3F; // bytes per line 0x3F3E
    EXPECT_FALSE(bDecodeChecked("l.pcx", aucWide));

    // GEM: 8192 x 1024 mono, every line solid runs, replicated 255 times a code:
    // a few hundred bytes that do describe the whole picture are decoded; the
    // same header with more lines than the data holds is refused.
    tdBytes aucGEM = {0, 1, 0, 8, 0, 1, 0, 1, 0, 85, 0, 85, 0x20, 0x00, 0x04, 0x00};
    for (int iLines = 0; iLines < 1024; iLines += 255)
    {
        int iRepeat = 1024 - iLines < 255 ? 1024 - iLines : 255;
        aucGEM.insert(aucGEM.end(), {0x00, 0x00, 0xFF, static_cast<unsigned char>(iRepeat)});
        for (int iBytes = 0; iBytes < 1024; iBytes += 127)
            aucGEM.push_back(static_cast<unsigned char>(0x80 | (1024 - iBytes < 127 ? 1024 - iBytes : 127)));
    }
    ASSERT_LT(aucGEM.size(), 100u);
    ASSERT_TRUE(bDecodeChecked("l.img", aucGEM));
    aucGEM[15] = 0x01; // 1025 lines
    EXPECT_FALSE(bDecodeChecked("l.img", aucGEM));
    aucGEM[12] = 0x40; // 16384 x 65281
    aucGEM[14] = 0xFF;
    EXPECT_FALSE(bDecodeChecked("l.img", aucGEM));
}

TEST(RetroLyingSizesTest, OverrunningRunsAreCutAtThePictureEnd)
{
    // ILBM: a body of repeat runs far longer than the picture.
    tdTestILBM oILBM = oSeedILBM(2, 0);
    oILBM.m_auiValues.assign(oILBM.m_auiValues.size(), 3);
    tdBytes aucFile = aucILBM(oILBM);
    tdBytes aucRuns;
    for (int i = 0; i < 2000; i++)
        aucRuns.insert(aucRuns.end(), {0x81, 0xFF});
    tdRetroPixels oExpected;
    ASSERT_TRUE(bDecodeRetro("r.iff", aucFile, &oExpected));
    // Rebuild the file with the long body in place of the real one.
    size_t uiBody = 0;
    for (size_t i = 12; i + 4 <= aucFile.size(); i++)
        if (aucFile[i] == 'B' && aucFile[i + 1] == 'O' && aucFile[i + 2] == 'D' && aucFile[i + 3] == 'Y')
            uiBody = i;
    ASSERT_GT(uiBody, 0u);
    tdBytes aucLong(aucFile.begin(), aucFile.begin() + static_cast<long>(uiBody) + 4);
    aucLong.insert(aucLong.end(), {0x00, 0x00, 0x0F, 0xA0}); // 4000 bytes
    aucLong.insert(aucLong.end(), aucRuns.begin(), aucRuns.end());
    uint32_t uiForm = static_cast<uint32_t>(aucLong.size() - 8);
    aucLong[4] = static_cast<unsigned char>(uiForm >> 24);
    aucLong[5] = static_cast<unsigned char>(uiForm >> 16);
    aucLong[6] = static_cast<unsigned char>(uiForm >> 8);
    aucLong[7] = static_cast<unsigned char>(uiForm);
    tdRetroPixels oPixels;
    ASSERT_TRUE(bDecodeRetro("r.iff", aucLong, &oPixels));
    EXPECT_EQ(oPixels.m_aiPixels, oExpected.m_aiPixels);

    // PackBits literal blocks that promise more bytes than the file has.
    tdBytes aucMac = aucSeedMacPaint();
    aucMac.resize(128 + 512);
    aucMac.push_back(0x7F); // 128 literal bytes follow, but only 3 do
    aucMac.insert(aucMac.end(), {1, 2, 3});
    EXPECT_FALSE(bDecodeChecked("r.mac", aucMac));
}

TEST(RetroLyingSizesTest, EmptyAndTinyFilesAreRefusedUnderEveryName)
{
    const char* const apszNames[] = {"e.scr",  "e.koa", "e.kla", "e.dd",  "e.art",  "e.ocp", "e.pi1",
                                     "e.pi2",  "e.pi3", "e.pc1", "e.pc2", "e.pc3",  "e.neo", "e.iff",
                                     "e.ilbm", "e.lbm", "e.pcx", "e.mac", "e.pntg", "e.img", "e.ximg",
                                     "e.grp",  "e.ge5", "e.ge6", "e.ge7", "e.ge8"};
    tdTestRandom oRandom = {99};
    for (const char* pszName : apszNames)
    {
        EXPECT_FALSE(bDecodeChecked(pszName, tdBytes())) << pszName;
        for (size_t uiLength = 1; uiLength <= 16; uiLength++)
        {
            tdBytes auc(uiLength);
            for (unsigned char& c : auc)
                c = static_cast<unsigned char>(oRandom.uiNext(256));
            EXPECT_FALSE(bDecodeChecked(pszName, auc)) << pszName << " " << uiLength;
        }
    }
}
